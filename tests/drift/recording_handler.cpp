#include "recording_handler.h"

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/compute_drift.h"
#include "schema_files.h"

namespace TarnTest {

namespace {

std::string Text(const rapidjson::Value& value) {
    std::string text;
    TarnConfigManager::SerializeValue(value, text);
    return text;
}

std::string IdText(const TarnConfigStore::ConfigStoreObjectId& id) {
    return id.GetComponent() + ":" + id.GetGroup() + ":" + id.GetKey() + ":" + id.GetInstanceId();
}

}  // namespace

void RecordingHandler::Add(const Value& desired, const ObjectId& id, const Schema&,
                           const std::string& path) {
    lines.push_back("Add " + path + " " + IdText(id) + " " + Text(desired));
}

void RecordingHandler::Set(const Value& desired, const Value& host, const ObjectId& id,
                           const Schema&, const std::string& path, const Value& driftObject) {
    lines.push_back("Set " + path + " " + IdText(id) + " " + Text(desired) + " " + Text(host) +
                    " " + Text(driftObject));
}

void RecordingHandler::Delete(const Value& host, const ObjectId& id, const Schema&,
                              const std::string& path) {
    lines.push_back("Delete " + path + " " + IdText(id) + " " + Text(host));
}

void RecordingHandler::PropertyDrift(const Value& desired, const Value& host, const Value&,
                                     const std::string& path, TarnConfigManager::ACTION action) {
    lines.push_back(std::string("Prop ") + TarnConfigManager::kActionNames[action] + " " + path +
                    " " + Text(desired) + " " + Text(host));
}

void InstallDriftSchemas() {
    InstallKeySchema("host", "time", "ntp", R"({"definition": {"type": "object", "properties": {
        "enabled": {"type": "boolean"}, "level": {"type": "integer"},
        "servers": {"type": "array", "items": {"type": "string"}},
        "options": {"type": "object", "properties": {
            "iburst": {"type": "boolean"}, "minpoll": {"type": "integer"}}},
        "peers": {"type": "array", "instanceId": "name", "items": {"type": "object",
            "properties": {"name": {"type": "string"}, "port": {"type": "integer"}}}},
        "pools": {"type": "array", "instanceId": "cs_generated_id", "items": {"type": "object",
            "properties": {"host": {"type": "string"}, "cs_generated_id": {"type": "string"}}}},
        "cs_generated_id": {"type": "string"}}}})");
    InstallKeySchema("host", "accounts", "users", R"({"multiInstance": true, "instanceKey": "name",
        "definition": {"type": "object", "properties": {
            "name": {"type": "string"}, "uid": {"type": "integer"},
            "shell": {"type": "string"}}}})");
    InstallKeySchema("host", "dns", "servers", R"({"multiInstance": true,
        "instanceKey": "cs_generated_id", "definition": {"type": "object", "properties": {
            "ip": {"type": "string"}, "cs_generated_id": {"type": "string"}}}})");
}

std::vector<std::string> Drift(const std::string& desired, const std::string& host,
                               RecordingHandler& handler) {
    rapidjson::Document desiredDoc;
    TarnConfigManager::ParseDocument(desired, desiredDoc);
    rapidjson::Document hostDoc;
    TarnConfigManager::ParseDocument(host, hostDoc);
    handler.hostDocument = std::move(hostDoc);
    TarnConfigManager::ComputeDrift(desiredDoc, desiredDoc.GetAllocator(), handler);
    return handler.lines;
}

}  // namespace TarnTest
