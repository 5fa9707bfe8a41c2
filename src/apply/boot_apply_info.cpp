#include "deradidezivizoda/apply/boot_apply_info.h"

#include <cstring>

#include "deradidezivizoda/core/document.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"

namespace TarnConfigManager {

namespace {

constexpr const char kTimeFormat[] = "%d-%m-%Y %H-%M-%S";

[[noreturn]] void ThrowMalformed(const char* what) {
    std::string message = std::string("Boot apply record: ") + what;
    throw TarnConfigStore::ConfigStoreException(TarnConfigStore::kStoreJsonError, message.c_str());
}

const rapidjson::Value* StringMember(const rapidjson::Value& record, const char* name) {
    auto member = record.FindMember(name);
    if (member == record.MemberEnd()) {
        return nullptr;
    }
    if (!member->value.IsString()) {
        ThrowMalformed((std::string("\"") + name + "\" is not a string").c_str());
    }
    return &member->value;
}

}  // namespace

std::string BootApplyErrorInfo::Serialize() const {
    struct tm local {};
    localtime_r(&time, &local);
    char stamp[64];
    size_t length = strftime(stamp, sizeof stamp, kTimeFormat, &local);
    std::string errorText = error.Serialize();
    rapidjson::Document record(rapidjson::kObjectType);
    auto& allocator = record.GetAllocator();
    record.AddMember("errorInfo", rapidjson::StringRef(errorText.data(), errorText.size()),
                     allocator);
    record.AddMember("time", rapidjson::StringRef(stamp, length), allocator);
    return TarnConfigStore::WriteJsonText(record);
}

void BootApplyErrorInfo::Deserialize(const std::string& text) {
    rapidjson::Document record;
    ParseDocument(text, record);
    if (!record.IsObject()) {
        ThrowMalformed("not a JSON object");
    }
    if (const rapidjson::Value* errorText = StringMember(record, "errorInfo")) {
        error.Deserialize(errorText->GetString());
    }
    if (const rapidjson::Value* stamp = StringMember(record, "time")) {
        struct tm local {};
        const char* end = strptime(stamp->GetString(), kTimeFormat, &local);
        if (!end || *end != '\0') {
            ThrowMalformed("\"time\" is not dd-mm-YYYY HH-MM-SS");
        }
        local.tm_isdst = -1;  // let mktime decide whether daylight saving time applied
        time = mktime(&local);
    }
}

}  // namespace TarnConfigManager
