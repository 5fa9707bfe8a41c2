#include "tarn/configstore/boot_state.h"

#include "sqlite_statement.h"
#include "store_json.h"
#include "tarn/configstore/config_store.h"
#include "tarn/json/json_text.h"

namespace TarnConfigStore {

namespace {

std::shared_ptr<DBStore::StoreConnection> Connection() {
    return GetDBStore(DBStore::CONFIG_STORE, true);
}

std::string BootApplyState(bool complete, const std::string& record) {
    rapidjson::Document state(rapidjson::kObjectType);
    state.AddMember("isBootComplete", complete, state.GetAllocator());
    state.AddMember("bootApplyRecord", rapidjson::StringRef(record.data(), record.size()),
                    state.GetAllocator());
    return WriteJsonText(state);
}

void WriteBootApplyState(DBStore::StoreConnection& connection, bool complete,
                         const std::string& record) {
    Statement(connection,
              "INSERT INTO boot_apply_state (id, is_boot_complete, boot_apply_record)"
              " VALUES (1, ?1, ?2) ON CONFLICT (id) DO UPDATE"
              " SET is_boot_complete = excluded.is_boot_complete,"
              " boot_apply_record = excluded.boot_apply_record")
        .Bind(1, int64_t{complete})
        .Bind(2, record)
        .Run();
}

}  // namespace

BOOTMODE GetBootMode() {
    auto connection = Connection();
    Statement statement(*connection, "SELECT mode FROM boot_mode WHERE id = 1");
    return statement.Step() ? static_cast<BOOTMODE>(statement.Integer(0)) : NORMAL;
}

void SetBootMode(BOOTMODE mode) {
    if (mode != NORMAL && mode != DESIRED_PENDING && mode != HOSTAPI_PENDING) {
        ThrowDataError("Boot mode " + std::to_string(static_cast<int>(mode)) +
                       " is not a known mode");
    }
    auto connection = Connection();
    Statement(*connection,
              "INSERT INTO boot_mode (id, mode) VALUES (1, ?1)"
              " ON CONFLICT (id) DO UPDATE SET mode = excluded.mode")
        .Bind(1, int64_t{mode})
        .Run();
}

void setBootApplyRecord(const std::string& record) {
    BootApplyState(false, record);  // refuses text that could not be read back as JSON
    auto connection = Connection();
    Statement(*connection,
              "INSERT INTO boot_apply_state (id, is_boot_complete, boot_apply_record)"
              " VALUES (1, 0, ?1) ON CONFLICT (id) DO UPDATE"
              " SET boot_apply_record = excluded.boot_apply_record")
        .Bind(1, record)
        .Run();
}

void MarkBootComplete() {
    auto connection = Connection();
    Statement(*connection,
              "INSERT INTO boot_apply_state (id, is_boot_complete, boot_apply_record)"
              " VALUES (1, 1, '') ON CONFLICT (id) DO UPDATE SET is_boot_complete = 1")
        .Run();
}

std::string getBootApplyRecord() {
    auto connection = Connection();
    Statement statement(*connection,
                        "SELECT is_boot_complete, boot_apply_record FROM boot_apply_state"
                        " WHERE id = 1");
    if (!statement.Step()) {
        return BootApplyState(false, "");
    }
    return BootApplyState(statement.Integer(0) != 0, statement.Text(1));
}

std::vector<BootRestoreFailure> GetBootTimeRestoreFailures() {
    auto connection = Connection();
    Statement statement(*connection,
                        "SELECT component, config_group, name FROM boot_restore_failures"
                        " ORDER BY seq");
    std::vector<BootRestoreFailure> failures;
    while (statement.Step()) {
        failures.push_back({statement.Text(0), statement.Text(1), statement.Text(2)});
    }
    return failures;
}

void AddBootTimeRestoreFailure(const std::string& component, const std::string& group,
                               const std::string& key) {
    auto connection = Connection();
    Statement(*connection,
              "INSERT INTO boot_restore_failures (component, config_group, name)"
              " VALUES (?1, ?2, ?3)")
        .Bind(1, component)
        .Bind(2, group)
        .Bind(3, key)
        .Run();
}

void MarkBootStarted() {
    auto connection = Connection();
    ConfigStoreTransaction transaction(connection);
    WriteBootApplyState(*connection, false, "");
    connection->Execute("DELETE FROM boot_restore_failures");
    SetBootMode(NORMAL);
    transaction.Commit();
}

}  // namespace TarnConfigStore
