#include "config/IniText.h"

#include <utility>

namespace brik {

namespace {

std::string_view EndBytes(LineEnd end) {
    switch (end) {
        case LineEnd::Cr: return "\r";
        case LineEnd::CrLf: return "\r\n";
        case LineEnd::None: break;
    }
    return {};
}

}  // namespace

bool TIniText::IsBlank(std::string_view text) {
    // The trim of a reading takes every byte up to the blank, the
    // end-of-file byte and line feeds included.
    for (const char c : text)
        if (static_cast<unsigned char>(c) > ' ') return false;
    return true;
}

void TIniText::Clear() { blocks_.clear(); }

int TIniText::AddLine(std::string text, LineEnd end, bool header) {
    if (blocks_.empty() || header) blocks_.emplace_back();
    std::vector<TextLine>& block = blocks_.back();
    block.push_back({std::move(text), end});
    return static_cast<int>(block.size()) - 1;
}

void TIniText::SetLine(int block, int line, std::string text) {
    blocks_[static_cast<size_t>(block)][static_cast<size_t>(line)].text = std::move(text);
}

int TIniText::InsertLine(int block, std::string text) {
    std::vector<TextLine>& lines = blocks_[static_cast<size_t>(block)];
    size_t at = lines.size();
    // The header stays above whatever is added.
    while (at > 1 && IsBlank(lines[at - 1].text)) --at;
    const bool last = at == lines.size() && !lines.empty() && LastLine() == &lines.back();
    const LineEnd end = last ? OpenLastLine() : NewLineEnd();
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), TextLine{std::move(text), end});
    return static_cast<int>(at);
}

void TIniText::EraseLine(int block, int line) {
    std::vector<TextLine>& lines = blocks_[static_cast<size_t>(block)];
    // Only the text's last line can be without an end.
    const bool open = lines[static_cast<size_t>(line)].end == LineEnd::None;
    lines.erase(lines.begin() + line);
    if (open) CloseLastLine();
}

void TIniText::EraseBlock(int block) {
    std::vector<TextLine>& lines = blocks_[static_cast<size_t>(block)];
    const bool open = !lines.empty() && lines.back().end == LineEnd::None;
    lines.clear();
    if (open) CloseLastLine();
}

int TIniText::AppendBlock(std::string header) {
    const TextLine* last = LastLine();
    const bool separate = last == nullptr || (last->end != LineEnd::None && IsBlank(last->text));
    const LineEnd end = OpenLastLine();
    std::vector<TextLine>& block = blocks_.emplace_back();
    block.push_back({std::move(header), end});
    if (separate) block.push_back({std::string(), end});
    return LastBlock();
}

bool TIniText::IsBare(int block) const {
    const std::vector<TextLine>& lines = blocks_[static_cast<size_t>(block)];
    for (size_t i = 1; i < lines.size(); ++i)
        if (!IsBlank(lines[i].text)) return false;
    return true;
}

std::string TIniText::Render() const {
    size_t total = 0;
    for (const std::vector<TextLine>& block : blocks_)
        for (const TextLine& line : block) total += line.text.size() + EndBytes(line.end).size();
    std::string text;
    text.reserve(total);
    for (const std::vector<TextLine>& block : blocks_)
        for (const TextLine& line : block) text.append(line.text).append(EndBytes(line.end));
    return text;
}

LineEnd TIniText::NewLineEnd() const {
    for (const std::vector<TextLine>& block : blocks_)
        if (!block.empty()) return block.front().end != LineEnd::None ? block.front().end : LineEnd::CrLf;
    return LineEnd::CrLf;
}

TextLine* TIniText::LastLine() {
    for (auto block = blocks_.rbegin(); block != blocks_.rend(); ++block)
        if (!block->empty()) return &block->back();
    return nullptr;
}

LineEnd TIniText::OpenLastLine() {
    const LineEnd style = NewLineEnd();
    TextLine* last = LastLine();
    if (last == nullptr || last->end != LineEnd::None) return style;
    last->end = style;
    return LineEnd::None;
}

void TIniText::CloseLastLine() {
    if (TextLine* last = LastLine()) last->end = LineEnd::None;
}

}  // namespace brik
