// Console: where tarnctl writes. Results go to standard output, as text for people or as JSON
// (--json) for programs; progress, notifications and errors go to standard error, so the
// output of a command can always be piped; quiet leaves errors, JSON and documents only.
// Colour only on a terminal and never with NO_COLOR set. One per process, main thread.
#pragma once

#include <string>

#include "tarn/json/json.h"

namespace Tarnctl {

enum class Colour { kNone, kRed, kGreen, kYellow, kBold };
enum class Stream { kOut, kErr };

struct ConsoleOptions {
    bool json = false;   // results as JSON
    bool quiet = false;  // no progress, notifications or text results: errors only
};

class Console {
public:
    // Looks at the environment (NO_COLOR, TERM) and at which streams are terminals.
    explicit Console(ConsoleOptions options);

    bool Json() const { return options_.json; }
    bool Quiet() const { return options_.quiet; }
    // Standard error is a terminal: progress is one line redrawn in place.
    bool ErrIsTerminal() const { return errTerminal_; }
    // Columns of the terminal standard output goes to; 0 when it is no terminal (then nothing
    // is wrapped, so lines stay whole for programs that read them).
    size_t Columns() const { return columns_; }

    // text in colour when the stream takes colour, else text unchanged.
    std::string Paint(const std::string& text, Colour colour, Stream stream = Stream::kOut) const;

    // A line of the result on standard output: for people unless quiet, always with --json.
    void Line(const std::string& text) const;
    // A line on standard error, unless quiet.
    void Note(const std::string& text) const;
    // Raw text on standard error (progress drawing), unless quiet; flushed.
    void Draw(const std::string& text) const;
    // A question on standard error, also when quiet; flushed.
    void Ask(const std::string& text) const;
    // value as one line of compact JSON on standard output, also when quiet.
    void PrintJson(const rapidjson::Value& value) const;
    // value as indented JSON on standard output (a document asked for), also when quiet.
    void PrintPrettyJson(const rapidjson::Value& value) const;
    // text as it is on standard output (a document asked for, already written), also when quiet.
    void Print(const std::string& text) const;

private:
    ConsoleOptions options_;
    bool outColour_;
    bool errColour_;
    bool errTerminal_;
    size_t columns_;
};

}  // namespace Tarnctl
