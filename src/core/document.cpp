#include "deradidezivizoda/core/document.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "deradidezivizoda/core/throw_exception.h"
#include "tarn/configstore/json_text.h"
#include "tarn/logger/cs_logger.h"

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

void ParseValue(const std::string& text, rapidjson::Value& out,
                rapidjson::MemoryPoolAllocator<>& allocator) {
    TarnConfigStore::JsonParseError error;
    if (!TarnConfigStore::ParseJsonText(text.c_str(), text.size(), out, allocator, &error)) {
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

}  // namespace TarnConfigManager
