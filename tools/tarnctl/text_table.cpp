#include "text_table.h"

#include <algorithm>

namespace Tarnctl {

namespace {

constexpr size_t kGap = 2;

// Characters of a UTF-8 text: every byte that does not continue a sequence.
size_t Width(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

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
