// Document handles: creation, and the walk from a handle's root along its path.
#include "tarn/json/json_doc.h"

#include "deradidezivizoda/core/document.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/logger/cs_logger.h"

namespace TarnConfigManager {

namespace {

// Small documents dominate (one object per key), so their pool grows in small steps.
constexpr size_t kHandleChunkCapacity = 64;

}  // namespace

std::shared_ptr<TarnConfigStore::JsonDoc> CreateDocument() {
    return std::make_shared<TarnConfigStore::JsonDoc>(kHandleChunkCapacity);
}

std::shared_ptr<TarnConfigStore::JsonDoc> CreateDocumentFromString(const std::string& text) {
    std::shared_ptr<TarnConfigStore::JsonDoc> handle = CreateDocument();
    ParseDocument(text, handle->GetDocument());
    return handle;
}

}  // namespace TarnConfigManager

namespace TarnConfigStore {

namespace {

rapidjson::Value* FindInstance(rapidjson::Value& array, const JsonDoc::PathSegment& segment) {
    if (!array.IsArray()) {
        return nullptr;
    }
    for (rapidjson::Value& element : array.GetArray()) {
        if (!ConfigStoreDocument::ValueExists(element, segment.keyName.c_str())) {
            continue;
        }
        const rapidjson::Value& key = element[segment.keyName.c_str()];
        if (key.IsString() && segment.keyValue == key.GetString()) {
            return &element;
        }
    }
    return nullptr;
}

}  // namespace

rapidjson::Value* JsonDoc::GetJsonValuePtr() {
    rapidjson::Value* current = &document_;
    for (const PathSegment& segment : path_) {
        if (!ConfigStoreDocument::ValueExists(*current, segment.name.c_str())) {
            CSLogger::Log(0, "Cannot find subobject %s", segment.name.c_str());
            throw ConfigStoreException(kStoreDataError, "Subobject does not exists.");
        }
        current = &(*current)[segment.name.c_str()];
        if (segment.keyName.empty()) {
            continue;
        }
        current = FindInstance(*current, segment);
        if (!current) {
            CSLogger::Log(0, "Cannot find subobject instance %s=%s", segment.keyName.c_str(),
                          segment.keyValue.c_str());
            throw ConfigStoreException(kStoreDataError, "Subobject instance does not exists.");
        }
    }
    return current;
}

}  // namespace TarnConfigStore
