#include "validation/validation_errors.h"

#include <boost/container_hash/hash.hpp>

#include "tarn/validator/json_validator.h"

namespace TarnConfigManager {

namespace {

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> pieces(1);
    for (char c : path) {
        if (c == '/') {
            pieces.emplace_back();
        } else {
            pieces.back().push_back(c);
        }
    }
    return pieces;
}

// The entry of path, created (and its object recorded) when the path is new.
ValidationErrorInfo& EntryOf(const std::string& path, ValidationErrorMap& errorMap,
                             FailedObjectSet& failedObjects) {
    auto inserted = errorMap.try_emplace(path);
    ValidationErrorInfo& entry = inserted.first->second;
    if (!inserted.second) {
        return entry;
    }
    entry.path = path;
    std::vector<std::string> pieces = SplitPath(path);
    if (pieces.size() >= 4) {
        failedObjects.emplace(pieces[3], pieces[2], pieces[1]);
    }
    return entry;
}

}  // namespace

size_t CsoIdHash::operator()(const TarnConfigStore::ConfigStoreObjectId& id) const {
    size_t seed = 0;
    for (char c : id.toString()) {
        boost::hash_combine(seed, c);
    }
    return seed;
}

void CollectValidationErrors(const rapidjson::Value& errors, ValidationErrorMap& errorMap,
                             FailedObjectSet& failedObjects) {
    for (const rapidjson::Value& error : errors.GetArray()) {
        const rapidjson::Value& field = error["field"];
        const int errId = error["errId"].GetInt();
        const rapidjson::Value& errArgs = error["errArgs"];
        ErrorInfo message(JsonValidator::ConvertErrorCodeToMsgId(errId), {});
        for (const rapidjson::Value& arg : errArgs.GetArray()) {
            message.args.emplace_back(arg.GetString(), arg.GetStringLength());
        }
        std::string path(field.GetString(), field.GetStringLength());
        EntryOf(path, errorMap, failedObjects).messages.push_back(std::move(message));
    }
}

void AddValidationError(const std::string& path, ErrorInfo message, ValidationErrorMap& errorMap,
                        FailedObjectSet& failedObjects) {
    EntryOf(path, errorMap, failedObjects).messages.push_back(std::move(message));
}

std::vector<ValidationErrorInfo> TakeErrorList(ValidationErrorMap& errorMap) {
    std::vector<ValidationErrorInfo> list;
    list.reserve(errorMap.size());
    for (auto& entry : errorMap) {
        list.push_back(std::move(entry.second));
    }
    return list;
}

}  // namespace TarnConfigManager
