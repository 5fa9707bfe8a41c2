#include "word_list.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "tarn/json/json_text.h"

namespace DemoHost {

namespace {

const std::string kMessage = "com.example.demohost.";

// The character as a message shows it: quoted when printable, else its code.
std::string CharacterName(char c) {
    char text[16];
    if (c > ' ' && c != '\x7f') {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    }
    return text;
}

void CheckWord(const std::string& field, const rapidjson::Value& word, const char* separators,
               std::vector<Problem>& problems) {
    if (!word.IsString()) {
        problems.push_back({field, kMessage + "wrong-type", {"string"}});
        return;
    }
    std::string text(word.GetString(), word.GetStringLength());
    if (text.empty()) {
        problems.push_back({field, kMessage + "empty", {}});
    }
    const bool blanks = std::strchr(separators, ' ') != nullptr;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < ' ' || c == '\x7f') {
            problems.push_back({field, kMessage + "control-character", {CharacterName(c)}});
            return;
        }
        if (std::strchr(separators, c) != nullptr ||
            (blanks && std::isspace(static_cast<unsigned char>(c)))) {
            problems.push_back({field, kMessage + "separator", {CharacterName(c)}});
            return;
        }
    }
}

std::string ObjectPath(const TarnPlugin::ObjectId& id) {
    return "/" + id.component + "/" + id.group + "/" + id.key;
}

std::string FieldPath(const std::string& base, const std::string& field) {
    return field.empty() ? base : base + "/" + field;
}

}  // namespace

std::vector<Problem> WordListProblems(const WordList& list, const std::string& config) {
    rapidjson::Document value;
    TarnConfigStore::ParseJsonText(config, value);
    std::vector<Problem> problems;
    if (!value.IsObject()) {
        return {{"", kMessage + "wrong-type", {"object"}}};
    }
    if (!value.HasMember(list.member)) {
        return {{list.member, kMessage + "missing", {}}};
    }
    const rapidjson::Value& words = value[list.member];
    if (!words.IsArray()) {
        return {{list.member, kMessage + "wrong-type", {"array"}}};
    }
    for (rapidjson::SizeType i = 0; i < words.Size(); ++i) {
        CheckWord(std::string(list.member) + "/" + std::to_string(i), words[i], list.separators,
                  problems);
    }
    return problems;
}

std::vector<TarnPlugin::InvalidField> InvalidWordLists(const WordList& list,
                                                       const TarnPlugin::Request& request) {
    std::vector<TarnPlugin::InvalidField> invalid;
    for (const TarnPlugin::ConfigInput& input : request.inputs) {
        for (Problem& problem : WordListProblems(list, input.config)) {
            invalid.push_back({FieldPath(ObjectPath(input.id), problem.field),
                               {{problem.id, problem.details, ""}}});
        }
    }
    return invalid;
}

void RefuseBadWordLists(const WordList& list, const TarnPlugin::Request& request) {
    for (const TarnPlugin::ConfigInput& input : request.inputs) {
        if (input.operation != "DELETE") {
            Words(list, input);
        }
    }
}

std::vector<std::string> Words(const WordList& list, const TarnPlugin::ConfigInput& input) {
    std::vector<Problem> problems = WordListProblems(list, input.config);
    if (!problems.empty()) {
        Problem& first = problems.front();
        first.details.insert(first.details.begin(), FieldPath(ObjectPath(input.id), first.field));
        throw TarnPlugin::PluginError(first.id, first.details);
    }
    rapidjson::Document value;
    TarnConfigStore::ParseJsonText(input.config, value);
    std::vector<std::string> words;
    for (const rapidjson::Value& word : value[list.member].GetArray()) {
        words.emplace_back(word.GetString(), word.GetStringLength());
    }
    return words;
}

}  // namespace DemoHost
