// Text helpers shared by the demo host's native plugins: whitespace-separated words, whole
// files as lines, and the plugins' JSON values (an object holding one list of strings).
// Plain functions without state; any thread.
#pragma once

#include <string>
#include <vector>

namespace DemoHost {

std::vector<std::string> SplitWords(const std::string& text);
std::string JoinWords(const std::vector<std::string>& words);

// The lines of a file without their line ends; false when the file does not exist.
// Throws TarnPlugin::PluginError ("com.example.demohost.unreadable-file", args: the path and
// why) when it exists but cannot be read.
bool ReadLines(const std::string& path, std::vector<std::string>& lines);
// Replaces the file by the lines, each ended by "\n", through a temporary file and a rename
// (creating missing folders).
// Throws std::runtime_error naming the file on failure.
void WriteLines(const std::string& path, const std::vector<std::string>& lines);

// The JSON text {"<name>": [words...]}.
std::string StringListConfig(const char* name, const std::vector<std::string>& words);

}  // namespace DemoHost
