#include "deradidezivizoda/plugins/plugin_request.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "deradidezivizoda/core/throw_exception.h"
#include "plugins/run_folder.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_text.h"
#include "tarn/pluginsupport/config_object_json.h"

namespace TarnConfigManager {

void CheckClusterContext(const std::string& clusterContext) {
    const size_t size = clusterContext.size();
    if (size > TarnConfigStore::kMaxJsonBytes) {
        ThrowException<InvalidArgumentException>(
            UNEXPECTED_ERROR, "The cluster context is " + std::to_string(size) +
                                  " bytes long, more than the limit of " +
                                  std::to_string(TarnConfigStore::kMaxJsonBytes) + " bytes");
    }
    const size_t invalid = TarnConfigStore::FirstInvalidUtf8(clusterContext.data(), size);
    if (invalid != size) {
        char byte[8];
        std::snprintf(byte, sizeof(byte), "0x%02x",
                      static_cast<unsigned char>(clusterContext[invalid]));
        ThrowException<InvalidArgumentException>(
            UNEXPECTED_ERROR, "The cluster context is not valid UTF-8: the byte " +
                                  std::string(byte) + " at offset " + std::to_string(invalid) +
                                  " does not begin a character");
    }
}

namespace {

void SetStringMember(rapidjson::Document& document, const char* name, const std::string& text) {
    auto it = document.FindMember(name);
    if (it != document.MemberEnd()) {
        it->value.SetString(text, document.GetAllocator());
        return;
    }
    document.AddMember(rapidjson::StringRef(name), rapidjson::Value(text, document.GetAllocator()),
                       document.GetAllocator());
}

const rapidjson::Value& RequestMember(const rapidjson::Value& root, const char* name,
                                      const char* missing) {
    auto it = root.FindMember(name);
    if (it == root.MemberEnd()) {
        throw std::runtime_error(missing);
    }
    return it->value;
}

std::string RequestString(const rapidjson::Value& root, const char* name, const char* missing) {
    const rapidjson::Value& value = RequestMember(root, name, missing);
    return std::string(value.GetString(), value.GetStringLength());
}

std::string OptionalString(const rapidjson::Value& object, const char* name) {
    auto it = object.FindMember(name);
    if (it == object.MemberEnd()) {
        return std::string();
    }
    return std::string(it->value.GetString(), it->value.GetStringLength());
}

std::shared_ptr<CachedDriftObject> ReadCachedDrift(const rapidjson::Value& cached,
                                                   const TarnConfigStore::ConfigStoreObjectId& id) {
    auto result = std::make_shared<CachedDriftObject>();
    result->operation = RequiredString(cached, "operation");
    if (cached.HasMember("drift")) {
        result->drift = TarnConfigStore::CreateDriftObject(id, result->operation,
                                                           RequiredString(cached, "drift"));
    }
    return result;
}

// The member name of an object in a request (what PopulateCSOId returns: component, group,
// key and instance id), written straight into the document's pool. The value refers to that
// text, which lives as long as the document.
rapidjson::Value MemberName(const TarnConfigStore::ConfigStoreObjectId& id,
                            rapidjson::MemoryPoolAllocator<>& allocator) {
    const std::string* parts[] = {&id.GetComponent(), &id.GetGroup(), &id.GetKey(),
                                  &id.GetInstanceId()};
    size_t size = 0;
    for (const std::string* part : parts) {
        size += part->size();
    }
    char* text = static_cast<char*>(allocator.Malloc(size + 1));
    char* end = text;
    for (const std::string* part : parts) {
        end = std::copy(part->begin(), part->end(), end);
    }
    *end = '\0';
    return rapidjson::Value(rapidjson::StringRef(text, static_cast<rapidjson::SizeType>(size)));
}

// A request's text of 1 000 objects takes a quarter of a megabyte, and memory the C library
// handed back to the system costs a page fault per page when it is touched again. Each thread
// keeps the buffer of its last request for the next one, up to this size.
constexpr size_t kKeptTextBytes = 4u << 20;

std::string& SpareTextBuffer() {
    thread_local std::string spare;
    return spare;
}

DesiredConfigInput ReadInput(const rapidjson::Value& entry, InstanceIndex& index) {
    DesiredConfigInput input;
    input.operation = OptionalString(entry, "operation");
    input.object = ReadConfigObject(entry, index);
    const TarnConfigStore::ConfigStoreObjectId& id = input.object->GetConfigStoreObjectId();
    if (entry.HasMember("drift")) {
        input.drift =
            TarnConfigStore::CreateDriftObject(id, input.operation, RequiredString(entry, "drift"));
    }
    auto cached = entry.FindMember("cachedDrift");
    if (cached != entry.MemberEnd()) {
        input.cachedDrift = ReadCachedDrift(cached->value, id);
    }
    return input;
}

}  // namespace

std::string PluginRequest::BorrowTextBuffer() {
    std::string text;
    text.swap(SpareTextBuffer());
    text.clear();
    return text;
}

void PluginRequest::ReturnTextBuffer(std::string& text) {
    std::string& spare = SpareTextBuffer();
    if (text.capacity() <= kKeptTextBytes && text.capacity() > spare.capacity()) {
        text.clear();
        spare.swap(text);
    }
}

PluginRequest::PluginRequest() : document(rapidjson::kObjectType) {}

PluginRequest::PluginRequest(const std::string& id, const std::string& operation,
                             const std::string& module, int version,
                             const std::vector<DesiredConfigInput>& inputs)
    : document(rapidjson::kObjectType), dataAsText_(true), text_(BorrowTextBuffer()) {
    PopulateMetadata(id, operation, module, version, document.GetAllocator());
    try {
        TarnConfigStore::WriteJsonText(document, text_);
        text_.back() = ',';  // the metadata's closing brace: "data" follows them
        metadataSize_ = text_.size();
    } catch (const TarnConfigStore::ConfigStoreException&) {
        text_.clear();  // Dump writes the metadata again and throws there, after the data's error
    }
    // A text that cannot be written fails the write, as it would if it were in the document.
    try {
        WriteDataText(inputs);
    } catch (const TarnConfigStore::ConfigStoreException&) {
        unwritable_ = std::current_exception();
        text_.clear();
        metadataSize_ = 0;
    }
}

void PluginRequest::WriteDataText(const std::vector<DesiredConfigInput>& inputs) {
    using TarnConfigStore::AppendJsonString;
    std::string config;  // each object's text in turn, in one buffer
    std::string name;    // and its member name
    std::string& text = text_;
    text.reserve(text.size() + inputs.size() * 256);
    text += R"("data":{)";
    for (const DesiredConfigInput& input : inputs) {
        const TarnConfigStore::ConfigStoreObjectId& id = input.object->GetConfigStoreObjectId();
        input.object->GetSerializedData(config);
        name.assign(id.GetComponent()).append(id.GetGroup()).append(id.GetKey());
        name.append(id.GetInstanceId());
        AppendJsonString(name, text);
        text += R"(:{"operation":)";
        AppendJsonString(input.operation, text);
        text += R"(,"config":)";
        AppendJsonString(config, text);
        if (input.drift) {
            text += R"(,"drift":)";
            AppendJsonString(input.drift->GetDriftData(), text);
        }
        if (input.cachedDrift) {
            text += R"(,"cachedDrift":{)";
            if (input.cachedDrift->drift) {
                text += R"("drift":)";
                AppendJsonString(input.cachedDrift->drift->GetDriftData(), text);
                text += ',';
            }
            text += R"("operation":)";
            AppendJsonString(input.cachedDrift->operation, text);
            text += '}';
        }
        text += R"(,"component":)";
        AppendJsonString(id.GetComponent(), text);
        text += R"(,"group":)";
        AppendJsonString(id.GetGroup(), text);
        text += R"(,"key":)";
        AppendJsonString(id.GetKey(), text);
        text += R"(,"instanceId":)";
        AppendJsonString(id.GetInstanceId(), text);
        text += "},";
    }
    if (text.back() == ',') {
        text.back() = '}';
    } else {
        text += '}';
    }
}

PluginRequest::PluginRequest(const std::string& id, const std::string& operation,
                             const std::string& module, int version,
                             const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids)
    : document(rapidjson::kObjectType) {
    PopulateMetadata(id, operation, module, version, document.GetAllocator());
    PopulateCSOIds(ids, document.GetAllocator());
}

PluginRequest::PluginRequest(
    const std::string& id, const std::string& operation, const std::string& module, int version,
    const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& configs,
    const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& references)
    : document(rapidjson::kObjectType) {
    PopulateMetadata(id, operation, module, version, document.GetAllocator());
    PopulateCSOList(configs, "data", document.GetAllocator());
    PopulateCSOList(references, "references", document.GetAllocator());
}

PluginRequest::~PluginRequest() {
    ReturnTextBuffer(text_);
}

void PluginRequest::PopulateMetadata(const std::string& id, const std::string& operation,
                                     const std::string& module, int version, Allocator& allocator) {
    document.AddMember("key", rapidjson::Value(id, allocator), allocator);
    document.AddMember("version", version, allocator);
    document.AddMember("type", rapidjson::Value(operation, allocator), allocator);
    if (!module.empty()) {
        document.AddMember("module", rapidjson::Value(module, allocator), allocator);
    }
}

void PluginRequest::PopulateTaskId(const std::string& taskId, Allocator&) {
    SetStringMember(document, "taskId", taskId);
}

void PluginRequest::PopulateClusterContext(const std::string& clusterContext, Allocator&) {
    SetStringMember(document, "clusterContext", clusterContext);
}

std::string PluginRequest::PopulateCSOId(
    rapidjson::Value& value, const std::shared_ptr<TarnConfigStore::ConfigStoreObject>& input,
    Allocator& allocator) {
    const TarnConfigStore::ConfigStoreObjectId& id = input->GetConfigStoreObjectId();
    AddObjectIdMembers(id, value, allocator);
    rapidjson::Value name = MemberName(id, allocator);
    return std::string(name.GetString(), name.GetStringLength());
}

void PluginRequest::PopulateCSOList(
    const std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>>& configs,
    const char* name, Allocator& allocator) {
    rapidjson::Value list(rapidjson::kObjectType);
    std::string text;  // each object's text in turn, in one buffer
    for (const auto& config : configs) {
        rapidjson::Value entry(rapidjson::kObjectType);
        config->GetSerializedData(text);
        entry.AddMember("config", rapidjson::Value(text, allocator), allocator);
        const TarnConfigStore::ConfigStoreObjectId& id = config->GetConfigStoreObjectId();
        AddObjectIdMembers(id, entry, allocator);
        list.AddMember(MemberName(id, allocator), entry, allocator);
    }
    document.AddMember(rapidjson::StringRef(name), list, allocator);
}

void PluginRequest::PopulateCSOIds(const std::vector<TarnConfigStore::ConfigStoreObjectId>& ids,
                                   Allocator& allocator) {
    rapidjson::Value list(rapidjson::kArrayType);
    for (const auto& id : ids) {
        rapidjson::Value entry(rapidjson::kObjectType);
        entry.AddMember("component", rapidjson::Value(id.GetComponent(), allocator), allocator);
        entry.AddMember("group", rapidjson::Value(id.GetGroup(), allocator), allocator);
        entry.AddMember("key", rapidjson::Value(id.GetKey(), allocator), allocator);
        list.PushBack(entry, allocator);
    }
    document.AddMember("csoIds", list, allocator);
}

void PluginRequest::Dump(const std::string& path, const std::string& taskId,
                         const std::string& clusterContext) {
    if (dataAsText_) {
        const size_t dataEnd = CompleteText(taskId, clusterContext);
        // The text goes back to ending with "data", whether or not the write succeeds.
        struct Trim {
            std::string& text;
            size_t size;
            ~Trim() { text.resize(size); }
        } trim{text_, dataEnd};
        WriteRequestFile(path, text_);
        return;
    }
    PopulateTaskId(taskId, document.GetAllocator());
    PopulateClusterContext(clusterContext, document.GetAllocator());
    WriteRequestFile(path, TarnConfigStore::WriteJsonText(document));
}

void PluginRequest::WriteRequestFile(const std::string& path, const std::string& text) {
    MakeRunFolder(path);
    if (!TarnConfigStore::WriteFileAtomically(path, text, 0600,
                                              TarnConfigStore::Durability::kTransient)) {
        std::string reason = std::strerror(errno);
        ThrowException<ConfigManagerException>(
            UNEXPECTED_ERROR, "Failed to write plugin request file " + path + ": " + reason);
    }
}

size_t PluginRequest::CompleteText(const std::string& taskId, const std::string& clusterContext) {
    if (unwritable_) {
        std::rethrow_exception(unwritable_);
    }
    // The metadata as the document holds them now, in case they changed since the request
    // was built.
    std::string metadata;
    TarnConfigStore::WriteJsonText(document, metadata);
    metadata.back() = ',';
    if (text_.compare(0, metadataSize_, metadata) != 0) {
        text_.replace(0, metadataSize_, metadata);
        metadataSize_ = metadata.size();
    }
    const size_t dataEnd = text_.size();
    try {
        text_ += R"(,"taskId":)";
        TarnConfigStore::AppendJsonString(taskId, text_);
        text_ += R"(,"clusterContext":)";
        TarnConfigStore::AppendJsonString(clusterContext, text_);
        text_ += '}';
    } catch (...) {
        text_.resize(dataEnd);
        throw;
    }
    return dataEnd;
}

void PluginRequest::Load(const std::string& path) {
    dataAsText_ = false;
    text_.clear();
    metadataSize_ = 0;
    unwritable_ = nullptr;
    rapidjson::Document loaded;
    if (!TarnConfigStore::ParseJsonFile(path.c_str(), loaded)) {
        throw std::runtime_error("Failed to load plugin input json.");
    }
    document.Swap(loaded);
}

int PluginRequest::GetVersion() const {
    return RequestMember(document, "version",
                         "The PluginRequest structure does not contain version.")
        .GetInt();
}

std::string PluginRequest::GetTaskId() const {
    return RequestString(document, "taskId", "The PluginRequest structure does not contain taskId");
}

std::string PluginRequest::GetClusterContext() const {
    return RequestString(document, "clusterContext",
                         "The PluginRequest structure does not contain context");
}

std::string PluginRequest::GetType() const {
    return RequestString(document, "type", "The PluginRequest structure does not contain type");
}

std::string PluginRequest::GetId() const {
    return RequestString(document, "key", "The PluginRequest structure does not contain key");
}

std::string PluginRequest::GetModule() const {
    return RequestString(document, "module", "The PluginRequest structure does not contain module");
}

std::vector<DesiredConfigInput> PluginRequest::GetData() const {
    const rapidjson::Value& data =
        RequestMember(document, "data", "The PluginRequest structure does not contain data");
    std::vector<DesiredConfigInput> inputs;
    inputs.reserve(data.MemberCount());
    InstanceIndex index;
    for (const auto& member : data.GetObject()) {
        inputs.push_back(ReadInput(member.value, index));
    }
    return inputs;
}

std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>> PluginRequest::GetReferences()
    const {
    std::vector<std::shared_ptr<TarnConfigStore::ConfigStoreObject>> references;
    auto it = document.FindMember("references");
    if (it == document.MemberEnd()) {
        return references;
    }
    InstanceIndex index;
    for (const auto& member : it->value.GetObject()) {
        references.push_back(ReadConfigObject(member.value, index));
    }
    return references;
}

std::vector<TarnConfigStore::ConfigStoreObjectId> PluginRequest::GetCSOIdsForExtract() const {
    const rapidjson::Value& list = RequestMember(
        document, "csoIds", "The Extract PluginRequest structure does not contain csoIds.");
    if (!list.IsArray()) {
        throw std::runtime_error("The Extract PluginRequest's csoIds should be a list.");
    }
    std::vector<TarnConfigStore::ConfigStoreObjectId> ids;
    for (const rapidjson::Value& entry : list.GetArray()) {
        if (!entry.IsObject() || !entry.HasMember("key") || !entry.HasMember("group") ||
            !entry.HasMember("component")) {
            throw std::runtime_error("The Extract PluginRequest format is invalid");
        }
        ids.emplace_back(RequiredString(entry, "key"), RequiredString(entry, "group"),
                         RequiredString(entry, "component"));
    }
    return ids;
}

}  // namespace TarnConfigManager
