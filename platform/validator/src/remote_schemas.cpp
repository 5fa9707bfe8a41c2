#include "remote_schemas.h"

#include <map>
#include <memory>
#include <mutex>

#include "draft04_metaschema.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"

namespace TarnValidator {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::string> folders;  // URI prefix -> folder
    std::map<std::string, std::unique_ptr<rapidjson::Document>> documents;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// The file a URI maps to, or "" when no prefix covers it. The longest prefix wins; a path
// that climbs out of its folder is refused.
std::string MappedPath(const Registry& registry, const std::string& uri) {
    std::string path;
    size_t bestLength = 0;
    for (const auto& [prefix, folder] : registry.folders) {
        if (prefix.size() > bestLength && uri.compare(0, prefix.size(), prefix) == 0) {
            bestLength = prefix.size();
            path = folder + "/" + uri.substr(prefix.size());
        }
    }
    if (path.find("/../") != std::string::npos || path.find('?') != std::string::npos) {
        return std::string();
    }
    return path;
}

std::unique_ptr<rapidjson::Document> LoadDocument(const Registry& registry,
                                                  const std::string& uri) {
    auto document = std::make_unique<rapidjson::Document>();
    if (uri == kDraft04MetaSchemaUri) {
        TarnConfigStore::ParseJsonText(kDraft04MetaSchemaText, *document);
        return document;
    }
    std::string path = MappedPath(registry, uri);
    TarnConfigStore::JsonParseError error;
    if (path.empty() || !TarnConfigStore::ParseJsonFile(path.c_str(), *document, &error)) {
        if (!path.empty()) {
            CSLogger::Log(CSLogger::kWarning, "Schema %s (file %s) cannot be read: %s", uri.c_str(),
                          path.c_str(), error.message.c_str());
        }
        return nullptr;
    }
    return document;
}

}  // namespace

void MapRemoteSchemaFolder(const std::string& prefix, const std::string& folder) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.folders[prefix] = folder;
}

const rapidjson::Value* FindRemoteSchema(const std::string& uri) {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.documents.find(uri);
    if (found != registry.documents.end()) {
        return found->second.get();
    }
    auto document = LoadDocument(registry, uri);
    if (!document) {
        return nullptr;
    }
    return registry.documents.emplace(uri, std::move(document)).first->second.get();
}

}  // namespace TarnValidator
