#include "deradidezivizoda/core/document.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "deradidezivizoda/core/throw_exception.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/schemastore/schema_store.h"

namespace TarnConfigManager {

namespace {

// PARSE_ERROR carrying the parser's reason and place, for callers that show them.
template <typename E, typename... Args>
[[noreturn]] void ThrowParseError(const TarnConfigStore::JsonParseError& error,
                                  const Args&... args) {
    E exception = MakeException<E>(PARSE_ERROR, args...);
    exception.SetParseError(error);
    throw exception;
}

}  // namespace

void ParseDocument(const std::string& text, rapidjson::Document& out) {
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonText(text, out, &error)) {
        ThrowParseError<InvalidArgumentException>(error);
    }
}

void ParseValue(std::string_view text, rapidjson::Value& out,
                rapidjson::MemoryPoolAllocator<>& allocator) {
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonText(text.data(), text.size(), out, allocator, &error)) {
        ThrowParseError<InvalidArgumentException>(error);
    }
}

void CreateDocumentFromFile(const char* path, rapidjson::Document& out) {
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonFile(path, out, &error)) {
        ThrowParseError<ConfigManagerException>(error, path);
    }
}

void CreateFileFromDocument(const char* path, const rapidjson::Document& doc) {
    std::string text;
    try {
        TarnConfigStore::WriteJsonText(doc, text);
    } catch (const std::exception&) {
        return;  // best effort: a document that cannot be written leaves no file
    }
    // A crash or a full disk leaves the old file or the new one, never a torn one.
    TarnConfigStore::WriteFileAtomically(path, text);
}

void SerializeValue(const rapidjson::Value& value, std::string& out) {
    TarnConfigStore::WriteJsonText(value, out);
}

void AddMember(rapidjson::Document* doc, rapidjson::Value* object, const std::string& name,
               rapidjson::Value& value) {
    rapidjson::Value key(name.c_str(), static_cast<rapidjson::SizeType>(name.size()),
                         doc->GetAllocator());
    object->AddMember(key, value, doc->GetAllocator());
}

bool IsEqualArray(const rapidjson::Value& a, const rapidjson::Value& b) {
    if (a.IsNull() || !a.IsArray() || !b.IsArray()) {
        return false;
    }
    if (a.Size() != b.Size()) {
        return false;
    }
    std::vector<bool> used(b.Size(), false);
    for (const rapidjson::Value& element : a.GetArray()) {
        bool matched = false;
        for (rapidjson::SizeType i = 0; i < b.Size() && !matched; ++i) {
            if (!used[i] && element == b[i]) {
                used[i] = true;
                matched = true;
            }
        }
        if (!matched) {
            return false;
        }
    }
    return true;
}

bool fileExists(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        int err = errno;
        if (err != ENOENT && err != ENOTDIR) {
            CSLogger::Log(
                0, "Failed to query the status of \"%s\", error code: %d, error message: \"%s\"",
                path.c_str(), err, std::strerror(err));
        }
        return false;
    }
    return S_ISREG(st.st_mode);
}

namespace {

const char* TypeName(const rapidjson::Value& value) {
    switch (value.GetType()) {
        case rapidjson::kNullType:
            return "null";
        case rapidjson::kFalseType:
        case rapidjson::kTrueType:
            return "a boolean";
        case rapidjson::kObjectType:
            return "an object";
        case rapidjson::kArrayType:
            return "an array";
        case rapidjson::kStringType:
            return "a string";
        case rapidjson::kNumberType:
            break;
    }
    return "a number";
}

// found: what is at path ("an array", "missing").
[[noreturn]] void WrongShape(const std::string& path, const char* found, const char* expected) {
    std::string message = "The value at " + (path.empty() ? std::string("/") : path) + " is " +
                          found + "; " + expected;
    TarnConfigStore::ConfigStoreException error(TarnConfigStore::kStoreJsonError, message.c_str());
    error.AddArg(path);
    throw error;
}

bool IsEmptyValue(const rapidjson::Value& value) {
    return value.IsNull() || (value.IsObject() && value.MemberCount() == 0) ||
           (value.IsArray() && value.Empty());
}

// instanceKey: the member that names an instance, or empty for content-identified instances.
void CheckInstances(const rapidjson::Value& key, const std::string& path,
                    const std::string& instanceKey) {
    if (IsEmptyValue(key)) {
        return;
    }
    if (!key.IsArray()) {
        WrongShape(path, TypeName(key), "a multi-instance key is an array of instances");
    }
    for (rapidjson::SizeType i = 0; i < key.Size(); ++i) {
        const std::string instancePath = path + "/" + std::to_string(i);
        const rapidjson::Value& instance = key[i];
        if (!instance.IsObject()) {
            WrongShape(instancePath, TypeName(instance), "an instance is an object");
        }
        if (instanceKey.empty()) {
            continue;
        }
        auto name = instance.FindMember(instanceKey.c_str());
        if (name == instance.MemberEnd()) {
            WrongShape(instancePath + "/" + instanceKey, "missing",
                       "every instance has its instance key");
        }
        if (!name->value.IsString()) {
            WrongShape(instancePath + "/" + instanceKey, TypeName(name->value),
                       "an instance key is a string");
        }
    }
}

}  // namespace

void CheckDocumentShape(const rapidjson::Value& document,
                        const std::shared_ptr<TarnSchemaStore::SchemaStore>& schemas) {
    if (!document.IsObject()) {
        WrongShape("", TypeName(document), "a configuration document is an object");
    }
    for (const auto& component : document.GetObject()) {
        std::string path = std::string("/") + component.name.GetString();
        if (!component.value.IsObject()) {
            WrongShape(path, TypeName(component.value), "a component is an object of groups");
        }
        for (const auto& group : component.value.GetObject()) {
            std::string groupPath = path + "/" + group.name.GetString();
            if (!group.value.IsObject()) {
                WrongShape(groupPath, TypeName(group.value), "a group is an object of keys");
            }
            for (const auto& key : group.value.GetObject()) {
                auto schema =
                    TarnSchemaStore::GetSchema(component.name.GetString(), group.name.GetString(),
                                               key.name.GetString(), schemas);
                if (schema && schema->IsMultiInstance()) {
                    const std::string& instanceKey = schema->GetInstanceKey();
                    CheckInstances(key.value, groupPath + "/" + key.name.GetString(),
                                   instanceKey == "cs_generated_id" ? "" : instanceKey);
                }
            }
        }
    }
}

}  // namespace TarnConfigManager
