#include "tarn/pluginsupport/error_info.h"

#include <stdexcept>

#include "result_record_io.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"

namespace TarnConfigManager {

namespace {

[[noreturn]] void ThrowShapeError(const char* what) {
    throw TarnConfigStore::ConfigStoreException(
        TarnConfigStore::kStoreJsonError, (std::string("JSON error: ErrorInfo ") + what).c_str());
}

std::string StringMember(const rapidjson::Value& object, const char* name) {
    auto it = object.FindMember(name);
    if (it == object.MemberEnd()) {
        return std::string();
    }
    if (!it->value.IsString()) {
        ThrowShapeError((std::string("member \"") + name + "\" is not a string").c_str());
    }
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

}  // namespace

ErrorInfo::ErrorInfo(ErrorInfo&& other) noexcept
    : id(std::move(other.id)), args(std::move(other.args)), message(std::move(other.message)) {
    other.args.clear();
}

ErrorInfo& ErrorInfo::operator=(ErrorInfo&& other) noexcept {
    id.swap(other.id);
    message.swap(other.message);
    args = std::move(other.args);
    other.args.clear();
    return *this;
}

void ErrorInfo::convertToJson(rapidjson::Value& out,
                              rapidjson::MemoryPoolAllocator<>& allocator) const {
    out.AddMember(
        "id", rapidjson::Value(id.c_str(), static_cast<rapidjson::SizeType>(id.size()), allocator),
        allocator);
    rapidjson::Value list(rapidjson::kArrayType);
    for (const std::string& arg : args) {
        list.PushBack(
            rapidjson::Value(arg.c_str(), static_cast<rapidjson::SizeType>(arg.size()), allocator),
            allocator);
    }
    out.AddMember("args", list, allocator);
    out.AddMember("message",
                  rapidjson::Value(message.c_str(),
                                   static_cast<rapidjson::SizeType>(message.size()), allocator),
                  allocator);
}

void ErrorInfo::FromJson(const rapidjson::Value& value) {
    if (!value.IsObject()) {
        ThrowShapeError("is not an object");
    }
    ErrorInfo read;
    read.id = StringMember(value, "id");
    read.message = StringMember(value, "message");
    auto list = value.FindMember("args");
    if (list != value.MemberEnd()) {
        if (!list->value.IsArray()) {
            ThrowShapeError("member \"args\" is not an array");
        }
        for (const rapidjson::Value& arg : list->value.GetArray()) {
            if (!arg.IsString()) {
                ThrowShapeError("member \"args\" holds a value that is not a string");
            }
            read.args.emplace_back(arg.GetString(), arg.GetStringLength());
        }
    }
    *this = std::move(read);
}

std::string ErrorInfo::Serialize() const {
    rapidjson::Document doc(rapidjson::kObjectType);
    convertToJson(doc, doc.GetAllocator());
    return TarnConfigStore::WriteJsonText(doc);
}

void ErrorInfo::Deserialize(const std::string& text) {
    rapidjson::Document doc;
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonText(text, doc, &error)) {
        ThrowShapeError(("text does not parse: " + error.message).c_str());
    }
    FromJson(doc);
}

ErrorInfo ErrorInfo::Load(const std::string& path) {
    return LoadResultRecord<ErrorInfo>(path);
}

}  // namespace TarnConfigManager
