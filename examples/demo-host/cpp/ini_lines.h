// Reading and editing one setting of an INI-style file (systemd's "[Section]" and "Name=value"
// lines) held as lines, leaving every other line, comments included, as it was.
// Plain functions without state; any thread.
#pragma once

#include <string>
#include <vector>

namespace DemoHost {

// The value of the last active "name=" line in section (blanks around it trimmed); false when
// the section holds no such line. Lines starting with '#' or ';' are comments.
bool FindIniValue(const std::vector<std::string>& lines, const std::string& section,
                  const std::string& name, std::string& value);
// Makes "name=value" the section's only active setting of that name: the first such line is
// replaced, later ones removed; without one the line goes after the section's last setting,
// and a missing section is appended.
void SetIniValue(std::vector<std::string>& lines, const std::string& section,
                 const std::string& name, const std::string& value);
// Removes every active "name=" line of the section.
void RemoveIniValue(std::vector<std::string>& lines, const std::string& section,
                    const std::string& name);

}  // namespace DemoHost
