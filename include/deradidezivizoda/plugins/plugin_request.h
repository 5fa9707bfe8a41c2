// PluginRequest: the request document of one plugin run, built from the plugin's identity and
// the operation's inputs and written to the fixed request file for the runner; its reading
// side rebuilds typed values from such a file. Owns its JSON document; one thread.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "deradidezivizoda/export.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/drift_object.h"
#include "tarn/json/json.h"

namespace TarnConfigManager {

// The drift an earlier impact run remembered for an object: the drift (may be empty) and the
// operation name.
struct CachedDriftObject {
    std::shared_ptr<TarnConfigStore::DriftObject> drift;
    std::string operation;
};

// The cluster context every plugin of an operation receives must be text a request file can
// carry: valid UTF-8 and within the size of a JSON text. Throws InvalidArgumentException 3000
// saying what is wrong with it otherwise; the operations check it before any plugin runs.
void CheckClusterContext(const std::string& clusterContext);

// One changed configuration object handed to an apply or impact run.
struct DesiredConfigInput {
    std::shared_ptr<TarnConfigStore::ConfigStoreObject> object;
    std::shared_ptr<TarnConfigStore::DriftObject> drift;  // may be empty
    std::string operation;
    std::shared_ptr<CachedDriftObject> cachedDrift;  // may be empty
};

class TARN_EXPORT PluginRequest {
public:
    // An empty request, to be filled by Load.
    PluginRequest();
    // Apply and impact requests: one "data" member per input.
    PluginRequest(const std::string& id, const std::string& operation, const std::string& module,
                  int version, const std::vector<DesiredConfigInput>& inputs);
    // Extract requests: "csoIds" lists the keys to extract.
    PluginRequest(const std::string& id, const std::string& operation, const std::string& module,
                  int version, const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids);
    // Validate requests: the objects to validate in "data", the objects they refer to in
    // "references".
    PluginRequest(
        const std::string& id, const std::string& operation, const std::string& module, int version,
        const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& configs,
        const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& references);
    virtual ~PluginRequest();

    PluginRequest(const PluginRequest&) = delete;
    PluginRequest& operator=(const PluginRequest&) = delete;

    // Sets "taskId" and "clusterContext" and writes the document as compact JSON to path,
    // through a fresh file (mode 0600) renamed over path, so a symbolic link planted there
    // is replaced, never followed. Missing parent folders are created (mode 0700).
    // Throws ConfigManagerException 3000 naming the file when it cannot be written.
    void Dump(const std::string& path, const std::string& taskId,
              const std::string& clusterContext);

    // Reading side, for the runner end of the exchange.
    // Replaces the document with the file's. Throws std::runtime_error "Failed to load plugin
    // input json." when the file is missing, unreadable or not JSON.
    void Load(const std::string& path);
    // Each throws std::runtime_error when its member is missing, ConfigStoreException 1082
    // when it has the wrong JSON type.
    int GetVersion() const;
    std::string GetTaskId() const;
    std::string GetClusterContext() const;
    std::string GetType() const;
    std::string GetId() const;
    std::string GetModule() const;
    // The inputs of an apply or impact request; instances of one key get indexes 0, 1, ...
    std::vector<DesiredConfigInput> GetData() const;
    // The referenced objects of a validate request; empty when there is no "references".
    std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>> GetReferences() const;
    // The keys of an extract request (empty instance ids).
    std::vector<TarnConfigStore::ConfigStoreObjectId> GetCSOIdsForExtract() const;

protected:
    using Allocator = rapidjson::MemoryPoolAllocator<>;

    void PopulateMetadata(const std::string& id, const std::string& operation,
                          const std::string& module, int version, Allocator& allocator);
    void PopulateTaskId(const std::string& taskId, Allocator& allocator);
    void PopulateClusterContext(const std::string& clusterContext, Allocator& allocator);
    // Adds the four id members of the object to value; returns component, group, key and
    // instance id concatenated, the object's member name in "data".
    std::string PopulateCSOId(rapidjson::Value& value,
                              const std::shared_ptr<TarnConfigStore::ConfigStoreObject>& input,
                              Allocator& allocator);
    // Adds the object member name with one member ("config" and the id) per object.
    void PopulateCSOList(
        const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& configs,
        const char* name, Allocator& allocator);
    void PopulateCSOIds(const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
                        Allocator& allocator);

    rapidjson::Document document;

private:
    // An apply or impact request writes its text when it is built, up to its "data" member
    // (each object's text straight into it), rather than as a document written out in Dump.
    void WriteDataText(const std::vector<DesiredConfigInput>& inputs);
    // Appends "taskId", "clusterContext" and the closing brace to the text; returns the size
    // it had before.
    size_t CompleteText(const std::string& taskId, const std::string& clusterContext);
    static void WriteRequestFile(const std::string& path, const std::string& text);
    // The text's buffer comes from the thread's spare one and goes back to it, so that the
    // requests of a thread reuse memory already in use.
    static std::string BorrowTextBuffer();
    static void ReturnTextBuffer(std::string& text);

    bool dataAsText_ = false;
    // The request's text: the metadata members, then "data" (an apply or impact request).
    std::string text_;
    size_t metadataSize_ = 0;  // of the metadata members' text at the front of text_
    // What writing the data text threw; Dump throws it, where writing the document would.
    std::exception_ptr unwritable_;
};

}  // namespace TarnConfigManager
