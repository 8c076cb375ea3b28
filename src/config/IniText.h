// The bytes of an INI file that may be written back, line by line. Most
// files the setup writes are not its own (a target system's INI files, which
// other programs read with rules of their own): a write must change the
// lines it sets, adds or deletes and keep every other byte, comments, blank
// lines, padding, quotes, lines no reading understands, sections a reading
// drops, and the file's line ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brik {

// How a line ends. Lines end at a carriage return, which takes one line feed
// after it along; only the last line of a file can have no end.
enum class LineEnd : uint8_t { None, Cr, CrLf };

struct TextLine {
    std::string text;  // the bytes between line ends, line feeds included
    LineEnd end = LineEnd::None;
};

// A file's lines in blocks: block 0 holds what stands before the first
// section header, each further block a header line and what follows it up
// to the next header. Blocks keep their numbers for the object's life (an
// erased block is only emptied), so that a section can name its block.
class TIniText {
public:
    void Clear();
    // Loading, in file order: a header line opens a block of its own; every
    // other line goes to the last block. Returns the line's place there.
    int AddLine(std::string text, LineEnd end, bool header);
    int LastBlock() const { return static_cast<int>(blocks_.size()) - 1; }

    // Replaces a line's bytes; its end stays.
    void SetLine(int block, int line, std::string text);
    // A new line after the block's last line that is not blank, so that
    // blank lines closing a section keep closing it. Returns its place.
    int InsertLine(int block, std::string text);
    // Takes a line out; the lines after it move up by one.
    void EraseLine(int block, int line);
    // Takes out a block with every line in it.
    void EraseBlock(int block);
    // A new block at the end of the text made of a header line (and, in a
    // file whose last line is blank, or a new one, a blank line closing it,
    // as the engine has always separated sections). Returns its number.
    int AppendBlock(std::string header);
    // Whether a block holds nothing but its header and blank lines.
    bool IsBare(int block) const;
    // The whole text, every byte in place.
    std::string Render() const;

    // Blank as a reading sees it: nothing left once trimmed (the trim takes
    // the end-of-file byte and line feeds too).
    static bool IsBlank(std::string_view text);

private:
    // The end new lines take: the file's first one; a file without any
    // takes CR LF, the only end the engine's reading splits at.
    LineEnd NewLineEnd() const;
    // The text's last line, or null when there is none.
    TextLine* LastLine();
    // Before a line is added after the text's last line: a last line
    // without an end gets one, and the new last line goes without, so that
    // a file that ended without a line end still does. Returns the end of
    // the new last line.
    LineEnd OpenLastLine();
    // After the text's last line was taken away when it had no end: the
    // line now last loses its end, as if the lines after it had never been
    // added. The rule needs no memory of what was added, so an uninstall
    // takes back what an install added to such a file byte for byte.
    void CloseLastLine();

    std::vector<std::vector<TextLine>> blocks_;
};

}  // namespace brik
