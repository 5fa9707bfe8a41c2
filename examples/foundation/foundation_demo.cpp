// Lays out a small host under the compiled-in host root (key schemas, store rows, state
// files), then uses the library the way a host agent would: reads the host's identity and
// state, turns stored rows into documents, checks stored objects against their schemas and
// shows how a bad document is reported.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>

#include "deradidezivizoda/core/config_object.h"
#include "deradidezivizoda/core/config_rows.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/core/host_state.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/hostctl/sys_info.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"
#include "tarn/schemastore/schema_store.h"

namespace fs = std::filesystem;
using namespace TarnConfigManager;

namespace {

void Write(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    if (!TarnConfigStore::WriteFileAtomically(path, text)) {
        throw std::runtime_error("cannot write " + path);
    }
}

// This machine's own product UUID when it is readable, otherwise a fixed one.
std::string ProductUuid() {
    std::ifstream in("/sys/class/dmi/id/product_uuid");
    std::string uuid;
    if (in && std::getline(in, uuid) && !uuid.empty()) {
        return uuid;
    }
    return "4C4C4544-0042-3510-8052-B4C04F503232";
}

void LayOutHost() {
    std::string schemas = TarnPaths::kSchemaDir;
    Write(schemas + "host/time/zone.json",
          R"({"definition":{"type":"object","properties":{"name":{"type":"string"}},
              "required":["name"]}})");
    Write(schemas + "host/accounts/users.json",
          R"({"multiInstance":true,"instanceKey":"name","rebootRequired":[],
              "definition":{"type":"object","required":["name"],"properties":{
                "name":{"type":"string","pattern":"^[a-z_][a-z0-9_-]*$"},
                "uid":{"type":"integer","minimum":1000},
                "shell":{"type":"string"}}}})");
    Write(TarnPaths::kProductUuidFile, ProductUuid() + "\n");
    if (SysInfo_SetMaintenanceMode(false) != 0) {
        throw std::runtime_error(std::string("cannot write ") + TarnPaths::kMaintenanceModeFile);
    }
    Write(TarnPaths::kQuickBootFile, "quickboot\n");
    fs::create_directories(fs::path(TarnPaths::kConfigStoreDb).parent_path());
    fs::create_directories(fs::path(TarnPaths::kLogFile).parent_path());
}

void StoreRows(const std::shared_ptr<DBStore::StoreConnection>& connection) {
    TarnConfigStore::PutCurrentRow(connection, "host", "time", "zone", "", R"({"name":"UTC"})");
    TarnConfigStore::PutCurrentRow(connection, "host", "accounts", "users", "alice",
                                   R"({"name":"alice","uid":1001,"shell":"/bin/bash"})");
    TarnConfigStore::PutCurrentRow(connection, "host", "accounts", "users", "bob",
                                   R"({"name":"bob","uid":12,"shell":"/bin/sh"})");
}

void ShowHost() {
    std::cout << "Host\n"
              << "  BIOS UUID         " << GetBIOSUUID() << "\n"
              << "  maintenance mode  " << (IsMaintenanceModeEnabled() ? "on" : "off") << "\n"
              << "  quick boot status " << FetchQuickBootStatus() << "\n\n";
}

void ShowKey(const std::shared_ptr<DBStore::StoreConnection>& connection,
             const std::shared_ptr<TarnSchemaStore::SchemaStore>& store, const char* group,
             const char* key) {
    TarnConfigStore::ConfigRowList rows;
    for (const auto& row : TarnConfigStore::GetUserConfigContents(connection)) {
        if (row->at("ConfigGroup") == group && row->at("Name") == key) {
            rows.push_back(row);
        }
    }
    rapidjson::Document document = CreateDocumentFromMap(rows);
    std::cout << "host/" << group << "/" << key << " = "
              << TarnConfigStore::WriteJsonPretty(document) << "\n";
    auto schema = TarnSchemaStore::GetSchema("host", group, key, store);
    for (const auto& row : rows) {
        TarnConfigStore::ConfigStoreObjectId id(key, group, "host", row->at("Identifier"));
        bool valid =
            IsValidCSO(schema, TarnConfigStore::CreateObject(id, row->at("Value"), std::nullopt));
        std::cout << "  " << id.toString() << ": " << (valid ? "valid" : "INVALID (see the log)")
                  << "\n";
    }
    std::cout << "\n";
}

void ShowBadDocument() {
    rapidjson::Document document;
    try {
        ParseDocument(R"({"host": {"time": {"zone": {"name": "UTC"})", document);
    } catch (const ConfigManagerException& e) {
        std::cout << "A truncated document is refused:\n  code " << e.GetCode() << ", id "
                  << ErrorMessageIds().at(static_cast<CMErrorCodes>(e.GetCode())) << "\n  \""
                  << e.what() << "\"\n";
    }
}

}  // namespace

int main() {
    try {
        std::cout << std::unitbuf;  // keep order with the log lines on stderr
        std::cout << "Host root: " << TarnPaths::kRoot << "\n\n";
        LayOutHost();
        auto connection = TarnConfigStore::GetDBStore(DBStore::Type(0), true);
        StoreRows(connection);
        ShowHost();
        auto store = TarnSchemaStore::SchemaStore::GetStore();
        ShowKey(connection, store, "time", "zone");
        ShowKey(connection, store, "accounts", "users");
        ShowBadDocument();
        std::cout << "\nLog: " << TarnPaths::kLogFile << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "demo failed: " << e.what() << "\n";
        return 1;
    }
}
