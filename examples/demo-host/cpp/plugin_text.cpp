#include "plugin_text.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tarn/configstore/json_text.h"
#include "tarn_plugin.h"

namespace DemoHost {

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
    std::ifstream in(path);
    if (!in) {
        if (errno == ENOENT) {
            return false;
        }
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    }
    lines.clear();
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    if (in.bad()) {
        throw std::runtime_error("cannot read " + path);
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

std::vector<std::string> StringListMember(const std::string& config, const char* name) {
    rapidjson::Document value;
    TarnConfigStore::ParseJsonText(config, value);
    auto invalid = [&] {
        return TarnPlugin::PluginError("com.example.demohost.invalid-value", {name, config});
    };
    if (!value.IsObject() || !value.HasMember(name) || !value[name].IsArray()) {
        throw invalid();
    }
    std::vector<std::string> words;
    for (const rapidjson::Value& word : value[name].GetArray()) {
        if (!word.IsString()) {
            throw invalid();
        }
        words.emplace_back(word.GetString(), word.GetStringLength());
    }
    return words;
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
