#include "LzxTestEncoder.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <queue>
#include <stdexcept>
#include <utility>

namespace brik::cab::test {

namespace {

constexpr uint32_t kFrame = 32768;
constexpr unsigned kMaxSlots = 50;
constexpr unsigned kLengthSymbols = 249;
constexpr unsigned kMainMax = 256 + kMaxSlots * 8;

struct SlotTables {
    uint32_t base[kMaxSlots];
    uint8_t extra[kMaxSlots];
    SlotTables() {
        uint32_t b = 0;
        for (unsigned i = 0; i < kMaxSlots; ++i) {
            extra[i] = static_cast<uint8_t>(i < 4 ? 0 : std::min(i / 2 - 1, 17u));
            base[i] = b;
            b += 1u << extra[i];
        }
    }
};
const SlotTables kSlots;

unsigned SlotOf(uint32_t formatted) {
    unsigned s = 0;
    while (s + 1 < kMaxSlots && kSlots.base[s + 1] <= formatted) ++s;
    return s;
}

class BitWriter {
public:
    void Bits(uint32_t value, unsigned count) {
        if (count == 0) return;
        acc_ = (acc_ << count) | (value & ((uint64_t{1} << count) - 1));
        n_ += count;
        while (n_ >= 16) {
            const auto word = static_cast<uint16_t>(acc_ >> (n_ - 16));
            out_.push_back(static_cast<uint8_t>(word & 0xFF));
            out_.push_back(static_cast<uint8_t>(word >> 8));
            n_ -= 16;
        }
        acc_ &= (uint64_t{1} << n_) - 1;
    }
    void Align() {
        if (n_) Bits(0, 16 - n_);
    }
    // The uncompressed block's padding: 1 to 16 bits, never none.
    void PadHeader() { Bits(0, n_ ? 16 - n_ : 16); }
    void Byte(uint8_t b) {
        if (n_) throw std::logic_error("raw byte inside a bit word");
        out_.push_back(b);
    }
    std::vector<uint8_t>& Out() { return out_; }

private:
    std::vector<uint8_t> out_;
    uint64_t acc_ = 0;
    unsigned n_ = 0;
};

// Huffman code lengths no longer than `limit`; rare symbols are flattened
// until the tree fits. Needs at least two used symbols for a complete code.
std::vector<uint8_t> CodeLengths(std::vector<uint32_t> freq, unsigned limit) {
    const size_t n = freq.size();
    std::vector<uint8_t> lengths(n, 0);
    for (;;) {
        using Item = std::pair<uint64_t, int>;
        std::priority_queue<Item, std::vector<Item>, std::greater<Item>> heap;
        std::vector<int> parent;
        for (size_t i = 0; i < n; ++i) {
            if (freq[i]) heap.push({freq[i], static_cast<int>(i)});
        }
        parent.assign(n, -1);
        if (heap.size() < 2) throw std::logic_error("a tree needs two symbols");
        while (heap.size() > 1) {
            Item a = heap.top();
            heap.pop();
            Item b = heap.top();
            heap.pop();
            const int node = static_cast<int>(parent.size());
            parent.push_back(-1);
            parent[a.second] = node;
            parent[b.second] = node;
            heap.push({a.first + b.first, node});
        }
        unsigned longest = 0;
        for (size_t i = 0; i < n; ++i) {
            if (!freq[i]) continue;
            unsigned depth = 0;
            for (int p = parent[i]; p >= 0; p = parent[p]) ++depth;
            lengths[i] = static_cast<uint8_t>(depth);
            longest = std::max(longest, depth);
        }
        if (longest <= limit) return lengths;
        for (auto& f : freq) {
            if (f) f = (f + 1) / 2;
        }
    }
}

std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths) {
    unsigned count[18] = {};
    for (uint8_t l : lengths) count[l]++;
    count[0] = 0;
    uint32_t next[18] = {};
    uint32_t code = 0;
    for (unsigned len = 1; len < 18; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    std::vector<uint32_t> codes(lengths.size(), 0);
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i]) codes[i] = next[lengths[i]]++;
    }
    return codes;
}

// Makes sure a tree that must be complete has two used symbols.
void AtLeastTwo(std::vector<uint32_t>& freq) {
    size_t used = 0;
    for (uint32_t f : freq) used += f != 0;
    for (size_t i = 0; used < 2 && i < freq.size(); ++i) {
        if (!freq[i]) {
            freq[i] = 1;
            ++used;
        }
    }
}

struct PreSymbol {
    unsigned symbol;
    unsigned extra = 0;
    unsigned extraBits = 0;
    unsigned second = 0;  // code 19: the delta symbol that follows
};

// Lengths of symbols [first, last) through a pretree, as deltas against the
// previous block's lengths, with runs of zeros and of equal values.
void WriteLengths(BitWriter& w, uint8_t* prev, const uint8_t* next, unsigned first, unsigned last) {
    std::vector<PreSymbol> syms;
    auto delta = [&](unsigned x) { return (prev[x] + 17u - next[x]) % 17u; };
    unsigned x = first;
    while (x < last) {
        unsigned run = 1;
        while (x + run < last && next[x + run] == next[x]) ++run;
        if (next[x] == 0 && run >= 20) {
            const unsigned n = std::min(run, 51u);
            syms.push_back({18, n - 20, 5});
            x += n;
        } else if (next[x] == 0 && run >= 4) {
            const unsigned n = std::min(run, 19u);
            syms.push_back({17, n - 4, 4});
            x += n;
        } else if (run >= 4) {
            const unsigned n = std::min(run, 5u);
            syms.push_back({19, n - 4, 1, delta(x)});
            x += n;
        } else {
            syms.push_back({delta(x)});
            ++x;
        }
    }
    std::vector<uint32_t> freq(20, 0);
    for (const PreSymbol& s : syms) {
        freq[s.symbol]++;
        if (s.symbol == 19) freq[s.second]++;
    }
    AtLeastTwo(freq);
    const std::vector<uint8_t> lengths = CodeLengths(freq, 15);
    const std::vector<uint32_t> codes = CanonicalCodes(lengths);
    for (unsigned i = 0; i < 20; ++i) w.Bits(lengths[i], 4);
    for (const PreSymbol& s : syms) {
        w.Bits(codes[s.symbol], lengths[s.symbol]);
        w.Bits(s.extra, s.extraBits);
        if (s.symbol == 19) w.Bits(codes[s.second], lengths[s.second]);
    }
    std::copy(next + first, next + last, prev + first);
}

struct Coded {
    bool literal = true;
    unsigned main = 0;
    int lengthSym = -1;
    unsigned slot = 0;
    uint32_t footer = 0;
};

class Writer {
public:
    explicit Writer(const LzxStream& s) : stream_(s), slots_(LzxSlotCount(s.windowBits)) {}

    std::vector<LzxChunk> Run() {
        w_.Bits(stream_.e8Size ? 1 : 0, 1);
        if (stream_.e8Size) {
            w_.Bits(stream_.e8Size >> 16, 16);
            w_.Bits(stream_.e8Size & 0xFFFF, 16);
        }
        for (const LzxBlock& b : stream_.blocks) Block(b);
        if (pos_ > cutPos_) {
            w_.Align();
            Cut();
        }
        return std::move(chunks_);
    }

private:
    void Advance(uint32_t count) {
        pos_ += count;
        while (pos_ - cutPos_ >= kFrame) {
            w_.Align();
            Cut(kFrame);
        }
    }
    void Cut(uint64_t frame = 0) {
        std::vector<uint8_t>& out = w_.Out();
        LzxChunk c;
        c.data.assign(out.begin() + static_cast<std::ptrdiff_t>(cutByte_), out.end());
        c.uncompressed = static_cast<uint32_t>(frame ? frame : pos_ - cutPos_);
        cutPos_ += c.uncompressed;
        cutByte_ = out.size();
        chunks_.push_back(std::move(c));
    }

    Coded Code(const LzxToken& t) {
        Coded c;
        if (t.length == 0) {
            c.main = t.literal;
            return c;
        }
        c.literal = false;
        if (t.forceRepeat >= 0) {
            c.slot = static_cast<unsigned>(t.forceRepeat);
            if (c.slot == 1) std::swap(r_[0], r_[1]);
            if (c.slot == 2) std::swap(r_[0], r_[2]);
        } else if (t.offset == r_[0]) {
            c.slot = 0;
        } else if (t.offset == r_[1]) {
            c.slot = 1;
            std::swap(r_[0], r_[1]);
        } else if (t.offset == r_[2]) {
            c.slot = 2;
            std::swap(r_[0], r_[2]);
        } else {
            const uint32_t formatted = t.offset + 2;
            c.slot = SlotOf(formatted);
            c.footer = formatted - kSlots.base[c.slot];
            r_[2] = r_[1];
            r_[1] = r_[0];
            r_[0] = t.offset;
        }
        const unsigned header = std::min(t.length - 2, 7u);
        c.main = 256 + c.slot * 8 + header;
        if (header == 7) c.lengthSym = static_cast<int>(t.length - 2 - 7);
        return c;
    }

    void Block(const LzxBlock& b) {
        if (pendingPad_) {
            w_.Byte(0);
            pendingPad_ = false;
        }
        uint32_t size = 0;
        if (b.type == LzxBlockType::Uncompressed) {
            size = static_cast<uint32_t>(b.raw.size());
        } else {
            for (const LzxToken& t : b.tokens) size += t.length ? t.length : 1;
        }
        if (b.declaredSize) size = *b.declaredSize;
        w_.Bits(b.rawType ? *b.rawType : static_cast<unsigned>(b.type), 3);
        w_.Bits(size >> 8, 16);
        w_.Bits(size & 0xFF, 8);

        if (b.type == LzxBlockType::Uncompressed) {
            w_.PadHeader();
            if (b.storedRepeats) {
                for (unsigned i = 0; i < 3; ++i) r_[i] = (*b.storedRepeats)[i];
            }
            for (uint32_t r : r_) {
                for (unsigned i = 0; i < 4; ++i) w_.Byte(static_cast<uint8_t>(r >> (8 * i)));
            }
            for (uint8_t byte : b.raw) {
                w_.Byte(byte);
                Advance(1);
            }
            pendingPad_ = (b.raw.size() & 1) != 0;
            return;
        }

        std::vector<Coded> coded;
        coded.reserve(b.tokens.size());
        for (const LzxToken& t : b.tokens) coded.push_back(Code(t));
        const bool aligned = b.type == LzxBlockType::Aligned;
        const unsigned mainCount = 256 + slots_ * 8;
        std::vector<uint32_t> mainFreq(mainCount, 0), lenFreq(kLengthSymbols, 0), alignFreq(8, 1);
        for (const Coded& c : coded) {
            mainFreq[c.main]++;
            if (c.lengthSym >= 0) lenFreq[static_cast<size_t>(c.lengthSym)]++;
            if (!c.literal && aligned && c.slot >= 3 && kSlots.extra[c.slot] >= 3) alignFreq[c.footer & 7] += 4;
        }
        AtLeastTwo(mainFreq);
        bool anyLength = false;
        for (uint32_t f : lenFreq) anyLength |= f != 0;
        if (b.emptyLengthTree) anyLength = false;
        if (anyLength) AtLeastTwo(lenFreq);

        const std::vector<uint8_t> mainLen = CodeLengths(mainFreq, 16);
        std::vector<uint8_t> lenLen(kLengthSymbols, 0);
        if (anyLength) lenLen = CodeLengths(lenFreq, 16);
        const std::vector<uint32_t> mainCode = CanonicalCodes(mainLen);
        const std::vector<uint32_t> lenCode = CanonicalCodes(lenLen);
        std::vector<uint8_t> alignLen, alignCode8;
        std::vector<uint32_t> alignCode;
        if (aligned) {
            alignLen = CodeLengths(alignFreq, 7);
            alignCode = CanonicalCodes(alignLen);
            for (unsigned i = 0; i < 8; ++i) w_.Bits(alignLen[i], 3);
        }
        std::vector<uint8_t> nextMain(kMainMax, 0);
        std::copy(mainLen.begin(), mainLen.end(), nextMain.begin());
        WriteLengths(w_, prevMain_, nextMain.data(), 0, 256);
        WriteLengths(w_, prevMain_, nextMain.data(), 256, mainCount);
        WriteLengths(w_, prevLength_, lenLen.data(), 0, kLengthSymbols);

        for (size_t i = 0; i < coded.size(); ++i) {
            const Coded& c = coded[i];
            w_.Bits(mainCode[c.main], mainLen[c.main]);
            if (!c.literal) {
                if (c.lengthSym >= 0 && anyLength) {
                    const auto s = static_cast<size_t>(c.lengthSym);
                    w_.Bits(lenCode[s], lenLen[s]);
                }
                if (c.slot >= 3) {
                    const unsigned extra = kSlots.extra[c.slot];
                    if (aligned && extra >= 3) {
                        w_.Bits(c.footer >> 3, extra - 3);
                        w_.Bits(alignCode[c.footer & 7], alignLen[c.footer & 7]);
                    } else {
                        w_.Bits(c.footer, extra);
                    }
                }
            }
            const LzxToken& t = b.tokens[i];
            Advance(t.length ? t.length : 1);
        }
    }

    const LzxStream& stream_;
    const unsigned slots_;
    BitWriter w_;
    uint32_t r_[3] = {1, 1, 1};
    uint8_t prevMain_[kMainMax] = {};
    uint8_t prevLength_[kLengthSymbols] = {};
    bool pendingPad_ = false;
    uint64_t pos_ = 0;
    uint64_t cutPos_ = 0;
    size_t cutByte_ = 0;
    std::vector<LzxChunk> chunks_;
};

}  // namespace

unsigned LzxSlotCount(unsigned windowBits) {
    static const unsigned kCounts[] = {30, 32, 34, 36, 38, 42, 50};
    if (windowBits < 15 || windowBits > 21) throw std::invalid_argument("window size");
    return kCounts[windowBits - 15];
}

std::vector<LzxChunk> WriteLzx(const LzxStream& stream) { return Writer(stream).Run(); }

void TranslateE8(std::vector<uint8_t>& data, uint32_t e8Size) {
    const int64_t size = static_cast<int32_t>(e8Size);
    for (size_t start = 0, frame = 0; start < data.size() && frame < 32768; start += kFrame, ++frame) {
        const size_t len = std::min<size_t>(kFrame, data.size() - start);
        if (len <= 10) continue;
        for (size_t i = 0; i < len - 10;) {
            uint8_t* p = &data[start + i];
            if (*p != 0xE8) {
                ++i;
                continue;
            }
            const int64_t cur = static_cast<int64_t>(start + i);
            const int64_t rel = static_cast<int32_t>(p[1] | p[2] << 8 | p[3] << 16 | uint32_t{p[4]} << 24);
            if (rel >= -cur && rel < size) {
                const int64_t abs = rel < size - cur ? rel + cur : rel - size;
                const auto v = static_cast<uint32_t>(abs);
                for (unsigned k = 0; k < 4; ++k) p[1 + k] = static_cast<uint8_t>(v >> (8 * k));
            }
            i += 5;
        }
    }
}

LzxStream ParseLzx(const std::vector<uint8_t>& input, const LzxEncodeOptions& options) {
    std::vector<uint8_t> data = input;
    if (options.e8Size) TranslateE8(data, options.e8Size);
    const size_t n = data.size();
    LzxStream stream;
    stream.windowBits = options.windowBits;
    stream.e8Size = options.e8Size;
    const unsigned slots = LzxSlotCount(options.windowBits);
    const uint32_t window = 1u << options.windowBits;
    const uint32_t maxOffset = std::min(window - 3, kSlots.base[slots - 1] + (1u << kSlots.extra[slots - 1]) - 3);

    std::vector<int64_t> head(1u << 16, -1);
    std::vector<int64_t> prev(n, -1);
    auto hash = [&](size_t p) {
        const uint32_t v = uint32_t{data[p]} << 16 | uint32_t{data[p + 1]} << 8 | data[p + 2];
        return (v * 2654435761u) >> 16;
    };
    auto insert = [&](size_t p) {
        if (p + 2 >= n) return;
        const uint32_t h = hash(p);
        prev[p] = head[h];
        head[h] = static_cast<int64_t>(p);
    };
    auto common = [&](size_t a, size_t b, size_t limit) {
        size_t len = 0;
        while (len < limit && data[a + len] == data[b + len]) ++len;
        return len;
    };
    uint32_t r[3] = {1, 1, 1};

    size_t index = 0;
    for (size_t bs = 0; bs < n; bs += options.blockSize, ++index) {
        const size_t be = std::min(n, bs + options.blockSize);
        LzxBlock block;
        block.type = options.types[index % options.types.size()];
        if (block.type == LzxBlockType::Uncompressed) {
            block.raw.assign(data.begin() + static_cast<std::ptrdiff_t>(bs),
                             data.begin() + static_cast<std::ptrdiff_t>(be));
            for (size_t p = bs; p < be; ++p) insert(p);
            stream.blocks.push_back(std::move(block));
            continue;
        }
        size_t pos = bs;
        while (pos < be) {
            const size_t frameEnd = (pos / kFrame + 1) * kFrame;
            const size_t limit = std::min({size_t{257}, be - pos, frameEnd - pos});
            size_t best = 0, bestOffset = 0, rep = 0, repOffset = 0;
            if (options.matches && limit >= 2) {
                for (uint32_t o : r) {
                    if (o > pos || o > window) continue;
                    const size_t len = common(pos, pos - o, limit);
                    if (len > rep) {
                        rep = len;
                        repOffset = o;
                    }
                }
                if (limit >= 3 && pos + 2 < n) {
                    int64_t cand = head[hash(pos)];
                    for (unsigned depth = options.chainDepth; cand >= 0 && depth; --depth) {
                        const size_t off = pos - static_cast<size_t>(cand);
                        if (off > maxOffset) break;
                        const size_t len = common(pos, static_cast<size_t>(cand), limit);
                        if (len > best) {
                            best = len;
                            bestOffset = off;
                        }
                        cand = prev[static_cast<size_t>(cand)];
                    }
                }
            }
            LzxToken t;
            if (rep >= 2 && rep + 1 >= best) {
                t.length = static_cast<uint32_t>(rep);
                t.offset = static_cast<uint32_t>(repOffset);
            } else if (best >= 3) {
                t.length = static_cast<uint32_t>(best);
                t.offset = static_cast<uint32_t>(bestOffset);
            } else {
                t.literal = data[pos];
            }
            if (t.length) {
                if (t.offset == r[1]) {
                    std::swap(r[0], r[1]);
                } else if (t.offset == r[2]) {
                    std::swap(r[0], r[2]);
                } else if (t.offset != r[0]) {
                    r[2] = r[1];
                    r[1] = r[0];
                    r[0] = t.offset;
                }
            }
            const size_t step = t.length ? t.length : 1;
            for (size_t p = pos; p < pos + step; ++p) insert(p);
            pos += step;
            block.tokens.push_back(t);
        }
        stream.blocks.push_back(std::move(block));
    }
    return stream;
}

}  // namespace brik::cab::test
