// Where a setup package ends inside its file. Authors sign finished
// packages with Authenticode, which appends the signature (the PE's
// certificate table) behind our trailer, after up to 7 zero bytes that pad
// the file to a multiple of 8. The engine and the builder both find the
// trailer through this, so they accept and refuse the same files.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brik::cab {

// Reads exactly `size` bytes at `offset` of the file; false when it cannot.
using ReadAtFunction = bool (*)(void* context, uint64_t offset, void* buffer, size_t size);

struct PackageExtent {
    // Where the trailer ends: just before the signature (and its padding)
    // when the file's certificate table ends exactly at the file's end and
    // a trailer naming its own offset lies there; the file's end otherwise.
    uint64_t end = 0;
    // The certificate table, when the headers name one that lies within the
    // file; both 0 otherwise. A table that ends before the file does was
    // followed by bytes after the file was signed.
    uint32_t signatureAt = 0;
    uint32_t signatureEnd = 0;
};

// The PE headers are read with every offset checked against the file: a
// damaged or foreign header never leads a read outside it, it only makes
// the file count as unsigned.
PackageExtent FindPackageEnd(uint64_t fileSize, ReadAtFunction read, void* context);

}  // namespace brik::cab
