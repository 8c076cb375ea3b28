// The cabinet reader on arbitrary host files: locating, header and list
// checks (a setup package's layout too), and a full walk through whichever
// decoders the folders name.
#include <cstddef>
#include <cstdint>

#include "cab/Cabinet.h"

namespace {

class Sink final : public brik::cab::WalkHandler {
public:
    brik::cab::FileAction BeginFile(const brik::cab::CabFile&) override {
        // Skipping every third file exercises the lazy folder walk too.
        return (++count_ % 3 == 0) ? brik::cab::FileAction::Skip : brik::cab::FileAction::Write;
    }
    bool WriteData(const brik::cab::CabFile&, const uint8_t* data, uint32_t size) override {
        for (uint32_t i = 0; i < size; ++i) sum_ += data[i];
        return true;
    }
    bool EndFile(const brik::cab::CabFile&) override { return true; }

private:
    unsigned count_ = 0;
    unsigned sum_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    brik::cab::MemorySource source(data, size);
    brik::cab::Cabinet cab;
    if (cab.Open(source) != brik::cab::CabStatus::Ok) return 0;
    // A setup package's folders are checked whole, as brikpack does.
    if (cab.IsPackage() && cab.CheckFolders() != brik::cab::CabStatus::Ok) return 0;
    Sink sink;
    cab.Walk(sink);
    return 0;
}
