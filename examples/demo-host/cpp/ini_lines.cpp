#include "ini_lines.h"

namespace DemoHost {

namespace {

const char kBlanks[] = " \t\r";

std::string Trim(const std::string& text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The name of a "[name]" line.
bool SectionHeader(const std::string& line, std::string& section) {
    std::string text = Trim(line);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
        return false;
    }
    section = text.substr(1, text.size() - 2);
    return true;
}

// The name and value of an active "name=value" line.
bool Setting(const std::string& line, std::string& name, std::string& value) {
    std::string text = Trim(line);
    size_t equals = text.find('=');
    if (text.empty() || text[0] == '#' || text[0] == ';' || equals == std::string::npos) {
        return false;
    }
    name = Trim(text.substr(0, equals));
    value = Trim(text.substr(equals + 1));
    return true;
}

// Calls visit(index, isNamedSetting, value) for every line inside section, and returns the
// index just past the section's last setting line (lines.size() + 1 when there is no section).
template <typename Visit>
size_t WalkSection(const std::vector<std::string>& lines, const std::string& section,
                   const std::string& name, Visit visit) {
    std::string current;
    std::string key;
    std::string value;
    size_t end = lines.size() + 1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (SectionHeader(lines[i], current)) {
            if (current == section) {
                end = i + 1;
            }
            continue;
        }
        if (current != section || !Setting(lines[i], key, value)) {
            continue;
        }
        end = i + 1;
        if (key == name) {
            visit(i, value);
        }
    }
    return end;
}

}  // namespace

bool FindIniValue(const std::vector<std::string>& lines, const std::string& section,
                  const std::string& name, std::string& value) {
    bool found = false;
    WalkSection(lines, section, name, [&](size_t, const std::string& setting) {
        value = setting;
        found = true;
    });
    return found;
}

void SetIniValue(std::vector<std::string>& lines, const std::string& section,
                 const std::string& name, const std::string& value) {
    std::vector<size_t> matches;
    size_t end = WalkSection(lines, section, name,
                             [&](size_t index, const std::string&) { matches.push_back(index); });
    std::string line = name + "=" + value;
    if (!matches.empty()) {
        lines[matches.front()] = line;
        for (auto it = matches.rbegin(); it + 1 != matches.rend(); ++it) {
            lines.erase(lines.begin() + static_cast<long>(*it));
        }
    } else if (end > lines.size()) {
        lines.push_back("[" + section + "]");
        lines.push_back(line);
    } else {
        lines.insert(lines.begin() + static_cast<long>(end), line);
    }
}

void RemoveIniValue(std::vector<std::string>& lines, const std::string& section,
                    const std::string& name) {
    std::vector<size_t> matches;
    WalkSection(lines, section, name,
                [&](size_t index, const std::string&) { matches.push_back(index); });
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
        lines.erase(lines.begin() + static_cast<long>(*it));
    }
}

}  // namespace DemoHost
