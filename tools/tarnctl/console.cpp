#include "console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/plugins/plugin_schema_check.h"

namespace Tarnctl {

namespace {

// NO_COLOR set to anything but the empty text turns colour off, and so does a dumb terminal.
bool ColourAllowed() {
    const char* noColour = std::getenv("NO_COLOR");
    if (noColour && *noColour) {
        return false;
    }
    const char* term = std::getenv("TERM");
    return !(term && std::strcmp(term, "dumb") == 0);
}

const char* Escape(Colour colour) {
    switch (colour) {
        case Colour::kRed:
            return "\033[31m";
        case Colour::kGreen:
            return "\033[32m";
        case Colour::kYellow:
            return "\033[33m";
        case Colour::kBold:
            return "\033[1m";
        case Colour::kNone:
            break;
    }
    return "";
}

size_t TerminalColumns(int fd) {
    winsize size{};
    if (!isatty(fd) || ioctl(fd, TIOCGWINSZ, &size) != 0) {
        return 0;
    }
    return size.ws_col;
}

void Write(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace

Console::Console(ConsoleOptions options)
    : options_(options),
      outColour_(ColourAllowed() && isatty(STDOUT_FILENO)),
      errColour_(ColourAllowed() && isatty(STDERR_FILENO)),
      errTerminal_(isatty(STDERR_FILENO)),
      columns_(TerminalColumns(STDOUT_FILENO)) {}

std::string Console::Paint(const std::string& text, Colour colour, Stream stream) const {
    bool colourOn = stream == Stream::kOut ? outColour_ : errColour_;
    if (!colourOn || colour == Colour::kNone) {
        return text;
    }
    return Escape(colour) + text + "\033[0m";
}

void Console::Line(const std::string& text) const {
    if (!options_.quiet || options_.json) {
        Write(stdout, text + "\n");
    }
}

void Console::Note(const std::string& text) const {
    if (!options_.quiet) {
        Write(stderr, text + "\n");
    }
}

void Console::Draw(const std::string& text) const {
    if (!options_.quiet) {
        Write(stderr, text);
    }
}

void Console::Ask(const std::string& text) const {
    Write(stderr, text);
}

void Console::PrintJson(const rapidjson::Value& value) const {
    std::string text;
    TarnConfigManager::SerializeValue(value, text);
    Write(stdout, text + "\n");
}

void Console::PrintPrettyJson(const rapidjson::Value& value) const {
    Write(stdout, JsonToString(value) + "\n");
}

void Console::Print(const std::string& text) const {
    Write(stdout, text);
}

}  // namespace Tarnctl
