// TextTable: rows of text cells printed in aligned columns under bold headings, for the
// human-readable output of tarnctl. Widths count characters, not bytes, so UTF-8 values line
// up. A value built and printed on one thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "console.h"

namespace Tarnctl {

struct Cell {
    // Not explicit: a plain text is a cell without colour.
    Cell(std::string text, Colour colour = Colour::kNone) : text(std::move(text)), colour(colour) {}
    Cell(const char* text, Colour colour = Colour::kNone) : Cell(std::string(text), colour) {}
    std::string text;
    Colour colour;
};

class TextTable {
public:
    explicit TextTable(std::vector<std::string> headings);

    // A row of as many cells as there are headings (missing cells are empty).
    void AddRow(std::vector<Cell> cells);
    bool Empty() const { return rows_.empty(); }

    // Prints the headings and rows on standard output; the last column is not padded.
    void Print(const Console& console) const;

private:
    std::vector<std::string> headings_;
    std::vector<std::vector<Cell>> rows_;
};

// text cut into pieces of at most width characters (never inside a UTF-8 sequence); the whole
// text as one piece when width is 0.
std::vector<std::string> Wrapped(const std::string& text, size_t width);

// The texts with separator between them.
std::string Joined(const std::vector<std::string>& texts, const char* separator);

}  // namespace Tarnctl
