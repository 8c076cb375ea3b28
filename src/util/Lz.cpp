#include "util/Lz.h"

#include <cstring>
#include <limits>
#include <vector>

namespace brik {

namespace {

// The reader's side: a stream that runs out or announces a number no
// stream of ours holds marks itself bad, and the expansion stops.
struct TLzReader {
    const uint8_t* in;
    const uint8_t* end;
    unsigned tag = 0;
    int left = 0;
    bool bad = false;

    unsigned Byte() {
        if (in == end) {
            bad = true;
            return 0;
        }
        return *in++;
    }
    unsigned Bit() {
        if (left == 0) {
            tag = Byte();
            left = 8;
        }
        --left;
        const unsigned bit = tag >> 7;
        tag = (tag << 1) & 0xFF;
        return bit;
    }
    uint32_t Gamma() {
        uint32_t value = 1;
        do {
            if (value >= (1u << 30)) {
                bad = true;
                return 2;
            }
            value = value * 2 + Bit();
        } while (Bit() != 0 && !bad);
        return value;
    }
};

// The writer's side.
constexpr uint32_t kMinMatch = 2;
constexpr uint32_t kMaxMatch = 65535;
constexpr uint32_t kLiteralBits = 1 + 8;
// Candidates looked at per position: the engine's library is small, so the
// search can afford to be nearly exhaustive.
constexpr int kMaxCandidates = 4096;
// A match this long is taken as it is: the positions it covers are not
// searched, which keeps long runs from costing the square of their length.
constexpr uint32_t kNiceLength = 256;
constexpr size_t kNoTag = std::numeric_limits<size_t>::max();

uint32_t GammaBits(uint32_t value) {
    uint32_t bits = 0;
    while (value > 1) {
        value >>= 1;
        bits += 2;
    }
    return bits;
}

uint32_t NewMatchBits(uint32_t distance, uint32_t length) {
    return 2 + GammaBits(((distance - 1) >> 8) + 2) + 8 + GammaBits(length);
}

uint32_t RepeatMatchBits(uint32_t length) { return 2 + GammaBits(length); }

class TLzWriter {
public:
    explicit TLzWriter(std::string& out) : out_(out) {}
    void Bit(unsigned bit) {
        if (tag_ == kNoTag || used_ == 8) {
            tag_ = out_.size();
            out_.push_back('\0');
            used_ = 0;
        }
        if (bit) out_[tag_] = static_cast<char>(static_cast<uint8_t>(out_[tag_]) | (0x80u >> used_));
        ++used_;
    }
    void Byte(uint8_t byte) { out_.push_back(static_cast<char>(byte)); }
    void Gamma(uint32_t value) {
        int top = 31;
        while ((value >> top) == 0) --top;
        for (int bit = top - 1; bit >= 0; --bit) {
            Bit((value >> bit) & 1);
            Bit(bit > 0 ? 1 : 0);
        }
    }

private:
    std::string& out_;
    size_t tag_ = kNoTag;
    int used_ = 0;
};

uint32_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit) {
    uint32_t length = 0;
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

// How each position is best reached.
struct TStep {
    uint64_t cost = std::numeric_limits<uint64_t>::max();
    uint32_t from = 0;
    uint32_t length = 0;    // 0: a literal
    uint32_t distance = 0;  // of a match; the last distance after it
    bool repeat = false;
};

}  // namespace

int64_t LzExpandedSize(const uint8_t* data, size_t size) {
    if (size < kLzHeaderSize || std::memcmp(data, kLzMagic, sizeof kLzMagic) != 0) return -1;
    return static_cast<int64_t>(data[4] | data[5] << 8 | data[6] << 16 | static_cast<uint32_t>(data[7]) << 24);
}

bool LzExpand(const uint8_t* data, size_t size, uint8_t* out, size_t outSize) {
    if (LzExpandedSize(data, size) != static_cast<int64_t>(outSize)) return false;
    TLzReader reader{data + kLzHeaderSize, data + size};
    size_t pos = 0;
    size_t distance = 0;
    while (pos < outSize && !reader.bad) {
        if (reader.Bit() == 0) {
            out[pos++] = static_cast<uint8_t>(reader.Byte());
            continue;
        }
        if (reader.Bit() == 0) {
            const size_t high = reader.Gamma() - 2;
            distance = high * 256 + reader.Byte() + 1;
        }
        const size_t length = reader.Gamma();
        if (reader.bad || distance == 0 || distance > pos || length > outSize - pos) return false;
        for (const size_t stop = pos + length; pos < stop; ++pos) out[pos] = out[pos - distance];
    }
    return !reader.bad;
}

std::string LzCompress(std::string_view text) {
    const auto* data = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    std::string out(kLzMagic, sizeof kLzMagic);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((n >> shift) & 0xFF));
    if (n == 0) return out;

    // Chains of earlier positions by their first two bytes.
    std::vector<int32_t> head(1 << 16, -1);
    std::vector<int32_t> previous(n, -1);
    std::vector<TStep> best(n + 1);
    best[0].cost = 0;
    // Per position, the nearest distance for each match length.
    std::vector<uint32_t> nearest;
    size_t searchFrom = 0;
    for (size_t i = 0; i < n; ++i) {
        const TStep here = best[i];
        const auto relax = [&](size_t to, uint64_t cost, uint32_t length, uint32_t distance, bool repeat) {
            if (cost < best[to].cost) best[to] = {cost, static_cast<uint32_t>(i), length, distance, repeat};
        };
        // The lengths tried below a long match: each costs a step.
        const auto relaxLengths = [&](uint32_t longest, const auto& bits, uint32_t distanceOf, bool repeat) {
            const uint32_t from = longest >= kNiceLength ? longest : kMinMatch;
            for (uint32_t l = from; l <= longest; ++l) relax(i + l, here.cost + bits(l), l, distanceOf, repeat);
            if (longest >= kNiceLength) searchFrom = std::max(searchFrom, i + longest);
        };
        relax(i + 1, here.cost + kLiteralBits, 0, here.distance, false);
        const size_t limit = std::min<size_t>(n - i, kMaxMatch);
        const bool search = i >= searchFrom;
        if (search && here.distance != 0 && here.distance <= i) {
            const uint32_t length = CommonLength(data + i, data + i - here.distance, limit);
            relaxLengths(length, RepeatMatchBits, here.distance, true);
        }
        if (i + 1 < n) {
            const uint32_t key = static_cast<uint32_t>(data[i]) << 8 | data[i + 1];
            nearest.clear();
            if (!search) {
                previous[i] = head[key];
                head[key] = static_cast<int32_t>(i);
                continue;
            }
            int candidates = 0;
            for (int32_t j = head[key]; j >= 0 && candidates < kMaxCandidates; j = previous[j], ++candidates) {
                const uint32_t length = CommonLength(data + i, data + j, limit);
                const auto distance = static_cast<uint32_t>(i - static_cast<size_t>(j));
                while (nearest.size() < length + 1) nearest.push_back(distance);
                if (length == limit) break;
            }
            if (nearest.size() > kMinMatch) {
                const auto longest = static_cast<uint32_t>(nearest.size() - 1);
                if (longest >= kNiceLength) {
                    relaxLengths(longest, [&](uint32_t l) { return NewMatchBits(nearest[l], l); }, nearest[longest], false);
                } else {
                    for (uint32_t l = kMinMatch; l <= longest; ++l)
                        relax(i + l, here.cost + NewMatchBits(nearest[l], l), l, nearest[l], false);
                }
            }
            previous[i] = head[key];
            head[key] = static_cast<int32_t>(i);
        }
    }

    std::vector<uint32_t> path;
    for (size_t at = n; at != 0; at = best[at].from) path.push_back(static_cast<uint32_t>(at));
    TLzWriter writer(out);
    size_t pos = 0;
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        const TStep& step = best[*it];
        if (step.length == 0) {
            writer.Bit(0);
            writer.Byte(data[pos]);
        } else if (step.repeat) {
            writer.Bit(1);
            writer.Bit(1);
            writer.Gamma(step.length);
        } else {
            writer.Bit(1);
            writer.Bit(0);
            writer.Gamma(((step.distance - 1) >> 8) + 2);
            writer.Byte(static_cast<uint8_t>((step.distance - 1) & 0xFF));
            writer.Gamma(step.length);
        }
        pos = *it;
    }
    return out;
}

}  // namespace brik
