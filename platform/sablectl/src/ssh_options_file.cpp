// Keyword files (ssh_config, sshd_config): "<Keyword> <value>" or "<Keyword>=<value>" per
// line; a block keyword (Host, Match) starts a conditional block that lasts to the next one.
#include <algorithm>
#include <map>

#include "ssh_text.h"
#include "tarn/json/json.h"
#include "tarn/json/json_text.h"

namespace SableCtl {
namespace System {

namespace {

using Allocator = rapidjson::MemoryPoolAllocator<>;

struct Setting {
    std::string keyword;
    std::string value;
};

Setting SplitSetting(const TextLine& line, const std::string& path) {
    std::string_view text = line.text;
    size_t end = text.find_first_of(" \t=");
    Setting setting{std::string(text.substr(0, end)), ""};
    std::string_view rest = end == std::string_view::npos ? "" : Trim(text.substr(end));
    if (!rest.empty() && rest.front() == '=') {
        rest = Trim(rest.substr(1));
    }
    if (setting.keyword.empty() || rest.empty()) {
        ThrowLineError(path, line.number, "the keyword \"" + setting.keyword + "\" has no value");
    }
    setting.value = std::string(rest);
    return setting;
}

// Appends value to the entry of settings whose keyword equals the setting's in any case (the
// first spelling names it), so repeated keywords keep their values in file order. Entries stay
// in the order their keywords first appear.
void AddSetting(rapidjson::Value& settings, const Setting& setting, Allocator& allocator) {
    auto entry = std::find_if(settings.Begin(), settings.End(), [&setting](const auto& e) {
        const rapidjson::Value& keyword = e["keyword"];
        return EqualsIgnoringCase(std::string_view(keyword.GetString(), keyword.GetStringLength()),
                                  setting.keyword);
    });
    if (entry == settings.End()) {
        rapidjson::Value added(rapidjson::kObjectType);
        added.AddMember("keyword", rapidjson::Value(setting.keyword, allocator), allocator);
        added.AddMember("values", rapidjson::Value(rapidjson::kArrayType), allocator);
        settings.PushBack(added, allocator);
        entry = settings.End() - 1;
    }
    (*entry)["values"].PushBack(rapidjson::Value(setting.value, allocator), allocator);
}

bool IsBlockKeyword(const std::string& keyword, const std::vector<std::string>& blockKeywords) {
    return std::any_of(blockKeywords.begin(), blockKeywords.end(),
                       [&keyword](const std::string& k) { return EqualsIgnoringCase(k, keyword); });
}

}  // namespace

std::vector<SshConfigRow> ParseKeywordFile(const std::string& text, const std::string& path,
                                           const std::vector<std::string>& blockKeywords) {
    rapidjson::Document value(rapidjson::kObjectType);
    Allocator& allocator = value.GetAllocator();
    value.AddMember("settings", rapidjson::Value(rapidjson::kArrayType), allocator);
    value.AddMember("blocks", rapidjson::Value(rapidjson::kArrayType), allocator);
    rapidjson::Value* settings = &value["settings"];
    std::map<std::string, int> conditions;
    for (const TextLine& line : SignificantLines(text, path)) {
        Setting setting = SplitSetting(line, path);
        if (!IsBlockKeyword(setting.keyword, blockKeywords)) {
            AddSetting(*settings, setting, allocator);
            continue;
        }
        std::string condition = setting.keyword + " " + setting.value;
        auto [first, added] = conditions.emplace(condition, line.number);
        if (!added) {
            ThrowLineError(
                path, line.number,
                "\"" + condition + "\" repeats the block of line " + std::to_string(first->second));
        }
        rapidjson::Value block(rapidjson::kObjectType);
        block.AddMember("condition", rapidjson::Value(condition, allocator), allocator);
        block.AddMember("settings", rapidjson::Value(rapidjson::kArrayType), allocator);
        value["blocks"].PushBack(block, allocator);
        settings = &value["blocks"][value["blocks"].Size() - 1]["settings"];
    }
    return {{"", TarnConfigStore::WriteJsonText(value)}};
}

}  // namespace System
}  // namespace SableCtl
