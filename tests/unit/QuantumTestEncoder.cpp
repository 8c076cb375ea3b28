#include "QuantumTestEncoder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace brik::cab::test {

namespace {

constexpr uint32_t kFrame = 32768;

// Slot tables, generated the way the format describes them.
struct Slots {
    uint32_t positionBase[42];
    unsigned positionExtra[42];
    uint32_t lengthBase[27];
    unsigned lengthExtra[27];

    Slots() {
        uint32_t next = 0;
        for (unsigned i = 0; i < 42; ++i) {
            positionBase[i] = next;
            positionExtra[i] = (i < 2 ? 0 : i - 2) / 2;
            next += 1u << positionExtra[i];
        }
        next = 0;
        for (unsigned i = 0; i < 26; ++i) {
            lengthBase[i] = next;
            lengthExtra[i] = (i < 2 ? 0 : i - 2) / 4;
            next += 1u << lengthExtra[i];
        }
        lengthBase[26] = 254;
        lengthExtra[26] = 0;
    }
};

const Slots& Tables() {
    static const Slots slots;
    return slots;
}

unsigned OffsetModelSize(unsigned windowBits, uint32_t length) {
    if (length == 3) return std::min(2 * windowBits, 24u);
    if (length == 4) return std::min(2 * windowBits, 36u);
    return 2 * windowBits;
}

// An adaptive model kept as plain frequencies in table order: coding a
// symbol adds 8 to its frequency; when the total passes 3800 the table is
// rescaled, and every 50th time (the 4th the first time) re-sorted.
class Model {
public:
    Model(unsigned first, unsigned count) {
        for (unsigned i = 0; i < count; ++i) {
            symbols_.push_back(first + i);
            freqs_.push_back(1);
        }
    }

    // The symbol's share of the total as [below, below + freq).
    void Range(unsigned symbol, uint32_t& below, uint32_t& freq, uint32_t& total, size_t& index) const {
        index = static_cast<size_t>(std::find(symbols_.begin(), symbols_.end(), symbol) - symbols_.begin());
        if (index == symbols_.size()) throw std::invalid_argument("symbol outside the model");
        below = 0;
        for (size_t i = index + 1; i < freqs_.size(); ++i) below += freqs_[i];
        freq = freqs_[index];
        total = below;
        for (size_t i = 0; i <= index; ++i) total += freqs_[i];
    }

    void Count(size_t index) {
        freqs_[index] += 8;
        uint32_t total = 0;
        for (uint32_t f : freqs_) total += f;
        if (total <= 3800) return;
        if (--timeToReorder_ > 0) {
            // The table's running totals (from the end) are halved; none may
            // fall to or below the one after it.
            std::vector<uint32_t> cum(freqs_.size() + 1, 0);
            for (size_t i = freqs_.size(); i-- > 0;) cum[i] = cum[i + 1] + freqs_[i];
            for (size_t i = freqs_.size(); i-- > 0;) cum[i] = std::max(cum[i] / 2, cum[i + 1] + 1);
            for (size_t i = 0; i < freqs_.size(); ++i) freqs_[i] = cum[i] - cum[i + 1];
            return;
        }
        timeToReorder_ = 50;
        for (uint32_t& f : freqs_) f = (f + 1) / 2;
        for (size_t i = 0; i + 1 < freqs_.size(); ++i)
            for (size_t j = i + 1; j < freqs_.size(); ++j)
                if (freqs_[i] < freqs_[j]) {
                    std::swap(freqs_[i], freqs_[j]);
                    std::swap(symbols_[i], symbols_[j]);
                }
    }

private:
    std::vector<unsigned> symbols_;
    std::vector<uint32_t> freqs_;
    int timeToReorder_ = 4;
};

struct Models {
    explicit Models(unsigned windowBits)
        : selector(0, 7),
          literals{Model(0, 64), Model(64, 64), Model(128, 64), Model(192, 64)},
          offsets3(0, OffsetModelSize(windowBits, 3)),
          offsets4(0, OffsetModelSize(windowBits, 4)),
          offsetsLong(0, OffsetModelSize(windowBits, 5)),
          lengths(0, 27) {}
    Model selector;
    Model literals[4];
    Model offsets3, offsets4, offsetsLong, lengths;
};

// One frame's arithmetic coder (the classic 16-bit integer coder with
// pending "follow" bits). The decoder reads raw bits from the stream 16 bits
// ahead of its place in the arithmetic code, so raw bits are kept aside with
// that position and merged in when the frame is finished.
class FrameCoder {
public:
    void Encode(Model& model, unsigned symbol) {
        uint32_t below = 0, freq = 0, total = 0;
        size_t index = 0;
        model.Range(symbol, below, freq, total, index);
        const uint32_t range = high_ - low_ + 1;
        high_ = low_ + range * (below + freq) / total - 1;
        low_ = low_ + range * below / total;
        model.Count(index);
        for (;;) {
            if (high_ < 0x8000) {
                Emit(0);
            } else if (low_ >= 0x8000) {
                Emit(1);
                low_ -= 0x8000;
                high_ -= 0x8000;
            } else if (low_ >= 0x4000 && high_ < 0xC000) {
                ++pending_;
                low_ -= 0x4000;
                high_ -= 0x4000;
            } else {
                break;
            }
            low_ = 2 * low_;
            high_ = 2 * high_ + 1;
            ++shifts_;
        }
    }

    void Raw(uint32_t value, unsigned count) {
        if (count) raw_.push_back({shifts_ + 16, value, count});
    }

    std::vector<uint8_t> Finish() {
        ++pending_;
        Emit(low_ < 0x4000 ? 0 : 1);
        // The decoder holds 16 bits of code beyond its last shift.
        while (code_.size() < shifts_ + 16) code_.push_back(0);
        std::vector<uint8_t> out;
        uint32_t acc = 0;
        unsigned fill = 0;
        auto put = [&](unsigned bit) {
            acc = acc << 1 | bit;
            if (++fill == 8) {
                out.push_back(static_cast<uint8_t>(acc));
                acc = 0;
                fill = 0;
            }
        };
        size_t next = 0;
        for (size_t i = 0; i <= code_.size(); ++i) {
            for (; next < raw_.size() && raw_[next].at == i; ++next)
                for (unsigned b = raw_[next].count; b-- > 0;) put((raw_[next].value >> b) & 1);
            if (i < code_.size()) put(code_[i]);
        }
        while (fill != 0) put(0);
        return out;
    }

private:
    struct RawBits {
        size_t at;
        uint32_t value;
        unsigned count;
    };

    void Emit(unsigned bit) {
        code_.push_back(static_cast<uint8_t>(bit));
        for (; pending_ > 0; --pending_) code_.push_back(static_cast<uint8_t>(bit ^ 1));
    }

    uint32_t low_ = 0;
    uint32_t high_ = 0xFFFF;
    unsigned pending_ = 0;
    size_t shifts_ = 0;
    std::vector<uint8_t> code_;
    std::vector<RawBits> raw_;
};

unsigned SlotOf(const uint32_t* base, unsigned count, uint32_t value) {
    unsigned slot = 0;
    while (slot + 1 < count && base[slot + 1] <= value) ++slot;
    return slot;
}

}  // namespace

uint32_t QtmMaxOffset(unsigned windowBits, uint32_t length) {
    const Slots& t = Tables();
    const unsigned last = OffsetModelSize(windowBits, length) - 1;
    return t.positionBase[last] + (1u << t.positionExtra[last]);
}

std::vector<QtmChunk> WriteQuantum(const std::vector<QtmToken>& tokens, const QtmWriteOptions& options) {
    const Slots& t = Tables();
    Models models(options.windowBits);
    std::vector<QtmChunk> chunks;
    FrameCoder coder;
    uint32_t frameOut = 0;
    size_t frames = 0;

    auto finishFrame = [&] {
        std::vector<uint8_t> data = coder.Finish();
        const unsigned pad = options.padding.empty() ? 0 : options.padding[frames % options.padding.size()];
        data.insert(data.end(), pad, 0);
        const unsigned parts = std::max(1u, options.blocksPerFrame);
        size_t from = 0;
        for (unsigned p = 0; p < parts; ++p) {
            const size_t to = p + 1 == parts ? data.size() : data.size() * (p + 1) / parts;
            QtmChunk chunk;
            chunk.data.assign(data.begin() + static_cast<std::ptrdiff_t>(from),
                              data.begin() + static_cast<std::ptrdiff_t>(to));
            chunk.uncompressed = p + 1 == parts ? frameOut - frameOut / parts * (parts - 1) : frameOut / parts;
            chunks.push_back(std::move(chunk));
            from = to;
        }
        coder = FrameCoder();
        frameOut = 0;
        ++frames;
    };

    for (const QtmToken& token : tokens) {
        if (token.length == 0) {
            coder.Encode(models.selector, token.literal / 64);
            coder.Encode(models.literals[token.literal / 64], token.literal);
            frameOut += 1;
        } else {
            if (token.length < 3 || token.length > 259) throw std::invalid_argument("match length");
            if (token.offset < 1 || token.offset > QtmMaxOffset(options.windowBits, token.length))
                throw std::invalid_argument("match offset");
            const uint32_t position = token.offset - 1;
            const unsigned slot = SlotOf(t.positionBase, 42, position);
            Model* offsets = &models.offsetsLong;
            if (token.length == 3) {
                coder.Encode(models.selector, 4);
                offsets = &models.offsets3;
            } else if (token.length == 4) {
                coder.Encode(models.selector, 5);
                offsets = &models.offsets4;
            } else {
                coder.Encode(models.selector, 6);
                const uint32_t rest = token.length - 5;
                const unsigned lengthSlot = SlotOf(t.lengthBase, 27, rest);
                coder.Encode(models.lengths, lengthSlot);
                coder.Raw(rest - t.lengthBase[lengthSlot], t.lengthExtra[lengthSlot]);
            }
            coder.Encode(*offsets, slot);
            coder.Raw(position - t.positionBase[slot], t.positionExtra[slot]);
            frameOut += token.length;
        }
        if (frameOut >= kFrame) finishFrame();
    }
    if (frameOut > 0) finishFrame();
    if (options.lastBlockClaimsWholeFrame && !chunks.empty()) chunks.back().uncompressed = kFrame;
    return chunks;
}

std::vector<QtmToken> ParseQuantum(const std::vector<uint8_t>& data, const QtmParseOptions& options) {
    const uint32_t max3 = QtmMaxOffset(options.windowBits, 3);
    const uint32_t max4 = QtmMaxOffset(options.windowBits, 4);
    const uint32_t maxLong = QtmMaxOffset(options.windowBits, 5);
    const size_t n = data.size();
    std::vector<int64_t> head(1 << 16, -1);
    std::vector<int64_t> prev(n, -1);
    auto hash = [&](size_t p) {
        const uint32_t v = data[p] | data[p + 1] << 8 | data[p + 2] << 16;
        return (v * 2654435761u) >> 16;
    };
    auto insert = [&](size_t p) {
        if (p + 3 > n) return;
        const uint32_t h = hash(p);
        prev[p] = head[h];
        head[h] = static_cast<int64_t>(p);
    };

    std::vector<QtmToken> tokens;
    size_t p = 0;
    while (p < n) {
        const size_t frameEnd = (p / kFrame + 1) * kFrame;
        const size_t maxLen = std::min<size_t>({options.maxLength, std::min(n, frameEnd) - p});
        size_t bestLen = 0, bestOff = 0, off4 = 0, off3 = 0;
        if (maxLen >= 3) {
            unsigned depth = 0;
            for (int64_t c = head[hash(p)]; c >= 0 && depth < options.chainDepth; c = prev[static_cast<size_t>(c)], ++depth) {
                const size_t off = p - static_cast<size_t>(c);
                if (off > maxLong) break;
                size_t len = 0;
                while (len < maxLen && data[static_cast<size_t>(c) + len] == data[p + len]) ++len;
                if (len >= 5 && len > bestLen) {
                    bestLen = len;
                    bestOff = off;
                }
                if (len >= 4 && off <= max4 && off4 == 0) off4 = off;
                if (len >= 3 && off <= max3 && off3 == 0) off3 = off;
            }
        }
        QtmToken token;
        if (bestLen >= 5) {
            token.length = static_cast<uint32_t>(bestLen);
            token.offset = static_cast<uint32_t>(bestOff);
        } else if (off4) {
            token.length = 4;
            token.offset = static_cast<uint32_t>(off4);
        } else if (off3) {
            token.length = 3;
            token.offset = static_cast<uint32_t>(off3);
        } else {
            token.literal = data[p];
        }
        const size_t advance = token.length ? token.length : 1;
        for (size_t i = 0; i < advance; ++i) insert(p + i);
        p += advance;
        tokens.push_back(token);
    }
    return tokens;
}

std::vector<uint8_t> ExpandTokens(const std::vector<QtmToken>& tokens) {
    std::vector<uint8_t> out;
    for (const QtmToken& token : tokens) {
        if (token.length == 0) {
            out.push_back(token.literal);
            continue;
        }
        // Before the first byte the window holds zeros.
        for (size_t i = 0; i < token.length; ++i) {
            const size_t at = out.size();
            out.push_back(token.offset > at ? 0 : out[at - token.offset]);
        }
    }
    return out;
}

}  // namespace brik::cab::test
