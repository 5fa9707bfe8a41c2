#include "text_table.h"

#include <algorithm>

namespace Tarnctl {

namespace {

constexpr size_t kGap = 2;

bool StartsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

// Characters of a UTF-8 text: every byte that does not continue a sequence.
size_t Width(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), StartsCharacter));
}

}  // namespace

std::vector<std::string> Wrapped(const std::string& text, size_t width) {
    std::vector<std::string> pieces(1);
    size_t characters = 0;
    for (char c : text) {
        if (width > 0 && StartsCharacter(c) && characters == width) {
            // Break after the last comma or space of the piece's second half, if it has one.
            std::string& full = pieces.back();
            size_t cut = full.find_last_of(", ");
            std::string carried;
            if (cut != std::string::npos && cut + 1 >= full.size() / 2) {
                carried = full.substr(cut + 1);
                full.erase(cut + 1);
            }
            characters = Width(carried);
            pieces.push_back(std::move(carried));
        }
        pieces.back().push_back(c);
        characters += StartsCharacter(c) ? 1 : 0;
    }
    return pieces;
}

std::string Joined(const std::vector<std::string>& texts, const char* separator) {
    std::string joined;
    for (const std::string& text : texts) {
        joined += (joined.empty() ? "" : separator) + text;
    }
    return joined;
}

TextTable::TextTable(std::vector<std::string> headings) : headings_(std::move(headings)) {}

void TextTable::AddRow(std::vector<Cell> cells) {
    cells.resize(headings_.size(), Cell(""));
    rows_.push_back(std::move(cells));
}

void TextTable::Print(const Console& console) const {
    std::vector<size_t> widths;
    for (const std::string& heading : headings_) {
        widths.push_back(Width(heading));
    }
    for (const auto& row : rows_) {
        for (size_t column = 0; column < row.size(); ++column) {
            widths[column] = std::max(widths[column], Width(row[column].text));
        }
    }
    // Padding goes outside the colour, so escape sequences never count as width.
    auto printRow = [&](const std::vector<Cell>& cells) {
        std::string line;
        for (size_t column = 0; column < cells.size(); ++column) {
            line += console.Paint(cells[column].text, cells[column].colour);
            if (column + 1 < cells.size()) {
                line += std::string(widths[column] - Width(cells[column].text) + kGap, ' ');
            }
        }
        console.Line(line);
    };
    std::vector<Cell> headings;
    for (const std::string& heading : headings_) {
        headings.emplace_back(heading, Colour::kBold);
    }
    printRow(headings);
    for (const auto& row : rows_) {
        printRow(row);
    }
}

}  // namespace Tarnctl
