#include "deployment_files.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "deradidezivizoda/core/document.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/json/json_text.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

namespace TarnConfigManager {

namespace {

constexpr const char kWaiterNotifyAttribute[] = "waiter_notify";
constexpr const char kFirewallAttribute[] = "firewall";
// Suffix of a file moved aside until the store has committed its text.
constexpr const char kAsideSuffix[] = ".handover";

const TarnConfigStore::ConfigStoreObjectId& PreservingId() {
    static const TarnConfigStore::ConfigStoreObjectId id("fleetboot", "bootstrap", "tarn");
    return id;
}

std::string Aside(const char* path) {
    return std::string(path) + kAsideSuffix;
}

bool ReadText(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return !in.bad();
}

// The notification document as the store keeps it: its compact JSON text.
std::string NotificationText(const std::string& path) {
    rapidjson::Document document;
    CreateDocumentFromFile(path.c_str(), document);
    std::string text;
    SerializeValue(document, text);
    return text;
}

// What the store would keep of the file at path; "" when it cannot be read.
std::string PreservedText(const std::string& path, bool json) {
    std::string text;
    try {
        if (json) {
            return NotificationText(path);
        }
        ReadText(path, text);
    } catch (const std::exception&) {
        return "";
    }
    return text;
}

std::shared_ptr<TarnConfigStore::ConfigStore> GlobalStore() {
    auto store = TarnConfigStore::ConfigStore::GetStore(TarnConfigStore::sGlobalNamespace);
    if (!store) {
        throw std::runtime_error("Failed to access ConfigStore.");
    }
    return store;
}

// Moves a file aside in place of deleting it; false (logged) when it cannot be moved.
bool SetAside(const char* path) {
    if (TarnConfigStore::MoveFileDurably(path, Aside(path))) {
        return true;
    }
    CSLogger::Log(0, "Failed to remove {%s} rc=%d", path, -1);
    return false;
}

void PutBack(const char* path) {
    if (!TarnConfigStore::MoveFileDurably(Aside(path), path)) {
        CSLogger::Log(0, "Failed to put {%s} back from {%s}", path, Aside(path).c_str());
    }
}

void RecoverFile(const char* path, const char* attribute, bool json,
                 const TarnConfigStore::ConfigStoreObject* object) {
    std::string aside = Aside(path);
    if (!fileExists(aside)) {
        return;
    }
    std::string stored;
    bool committed =
        object && object->GetValue(attribute, &stored) && stored == PreservedText(aside, json);
    if (committed || fileExists(path)) {
        CSLogger::Log(2, "Removing {%s} left by an interrupted bootstrap.", aside.c_str());
        std::remove(aside.c_str());
    } else {
        CSLogger::Log(2, "Putting back {%s} set aside by an interrupted bootstrap.", path);
        PutBack(path);
    }
}

void RestoreNotification(const std::string& text) {
    const char* path = TarnPaths::kWaiterNotifyFile;
    CSLogger::Log(2, "Generating {%s} file from ConfigStore contents", path);
    rapidjson::Document document = ConfigStoreDocument::CreateDocument(text);
    CreateFileFromDocument(path, document);
    // CreateFileFromDocument reports nothing: check, so the object is never dropped for a
    // file that did not reach the disk.
    std::string written;
    std::string expected;
    SerializeValue(document, expected);
    if (!ReadText(path, written) || written != expected) {
        throw std::runtime_error("Failed to create waiterNotify.json");
    }
}

void RestoreFirewall(const std::string& text) {
    const char* path = TarnPaths::kFleetbootFirewallFile;
    CSLogger::Log(2, "Generating {%s} file from ConfigStore contents", path);
    TarnConfigStore::WriteStep failed = TarnConfigStore::WriteStep::kWrite;
    if (!TarnConfigStore::WriteFileAtomically(path, text, 0644,
                                              TarnConfigStore::Durability::kSynced, &failed)) {
        throw std::runtime_error(failed == TarnConfigStore::WriteStep::kCreate
                                     ? "Failed to create fleetboot.xml"
                                     : "Failed to write to fleetboot.xml");
    }
}

}  // namespace

DeploymentFilesHandover::~DeploymentFilesHandover() {
    if (finished_) {
        return;
    }
    if (notifyAside_) {
        PutBack(TarnPaths::kWaiterNotifyFile);
    }
    if (firewallAside_) {
        PutBack(TarnPaths::kFleetbootFirewallFile);
    }
}

void DeploymentFilesHandover::Preserve() {
    const char* notifyPath = TarnPaths::kWaiterNotifyFile;
    const char* firewallPath = TarnPaths::kFleetbootFirewallFile;
    if (!fileExists(notifyPath)) {
        throw std::runtime_error("waiterNotify.json file does not exists.");
    }
    if (!fileExists(firewallPath)) {
        throw std::runtime_error("fleetboot.xml firewall config does not exists.");
    }
    CSLogger::Log(2, "Preserving {%s} contents in ConfigStore.", notifyPath);
    std::string notification = NotificationText(notifyPath);
    CSLogger::Log(2, "Preserving {%s} contents in ConfigStore.", firewallPath);
    std::string firewall;
    if (!ReadText(firewallPath, firewall)) {
        throw std::runtime_error("fleetboot.xml firewall config failed to open.");
    }
    auto object = std::make_shared<TarnConfigStore::ConfigStoreObject>(PreservingId());
    object->SetValue(kWaiterNotifyAttribute, notification);
    object->SetValue(kFirewallAttribute, firewall);
    GlobalStore()->WriteObject(object);
    notifyAside_ = SetAside(notifyPath);
    if (!notifyAside_) {
        throw std::runtime_error("Failed to remove waiterNotify.json.");
    }
    firewallAside_ = SetAside(firewallPath);
}

void DeploymentFilesHandover::Finish() {
    finished_ = true;
    if (notifyAside_) {
        std::remove(Aside(TarnPaths::kWaiterNotifyFile).c_str());
    }
    if (firewallAside_) {
        std::remove(Aside(TarnPaths::kFleetbootFirewallFile).c_str());
    }
}

void RecoverDeploymentFiles(TarnConfigStore::ConfigStore& store) {
    std::shared_ptr<TarnConfigStore::ConfigStoreObject> object = store.GetObject(PreservingId());
    RecoverFile(TarnPaths::kWaiterNotifyFile, kWaiterNotifyAttribute, true, object.get());
    RecoverFile(TarnPaths::kFleetbootFirewallFile, kFirewallAttribute, false, object.get());
}

void RestoreDeploymentFiles(TarnConfigStore::ConfigStore& store) {
    std::shared_ptr<TarnConfigStore::ConfigStoreObject> object = store.GetObject(PreservingId());
    if (!object) {
        return;
    }
    std::string text;
    if (object->GetValue(kWaiterNotifyAttribute, &text) && !text.empty()) {
        RestoreNotification(text);
    }
    if (object->GetValue(kFirewallAttribute, &text) && !text.empty()) {
        RestoreFirewall(text);
    }
    // Dropped only once both files are on disk: a crash before this restores them again.
    store.RemoveObject(PreservingId());
}

}  // namespace TarnConfigManager
