#include "plugin_text.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "tarn/json/json_text.h"
#include "tarn_plugin.h"

namespace DemoHost {

namespace {

TarnPlugin::PluginError Unreadable(const std::string& path, const char* reason) {
    return TarnPlugin::PluginError("com.example.demohost.unreadable-file", {path, reason});
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string JoinWords(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        throw Unreadable(path, std::strerror(EISDIR));
    }
    std::ifstream in(path);
    if (!in) {
        if (errno == ENOENT) {
            return false;
        }
        throw Unreadable(path, std::strerror(errno));
    }
    lines.clear();
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    if (in.bad()) {
        throw Unreadable(path, std::strerror(errno));
    }
    return true;
}

void WriteLines(const std::string& path, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (!TarnConfigStore::WriteFileAtomically(path, text)) {
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    }
}

std::string StringListConfig(const char* name, const std::vector<std::string>& words) {
    rapidjson::Document value(rapidjson::kObjectType);
    rapidjson::Value list(rapidjson::kArrayType);
    auto& allocator = value.GetAllocator();
    for (const std::string& word : words) {
        list.PushBack(rapidjson::Value(word.c_str(), allocator), allocator);
    }
    value.AddMember(rapidjson::StringRef(name), list, allocator);
    return TarnConfigStore::WriteJsonText(value);
}

}  // namespace DemoHost
