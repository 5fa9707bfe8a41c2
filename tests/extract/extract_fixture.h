// The host every extraction test starts from: a clean root, a store connection and helpers
// to install key schemas and read documents as text. Test-only; one thread.
#pragma once

#include <memory>
#include <string>

#include "host_root_fixture.h"
#include "schema_files.h"
#include "tarn/configstore/db_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/json/json.h"
#include "tarn/json/json_text.h"

namespace ExtractTest {

inline std::string Text(const rapidjson::Value& value) {
    return TarnConfigStore::WriteJsonText(value);
}

inline std::shared_ptr<TarnConfigStore::ConfigRow> Row(const std::string& component,
                                                       const std::string& group,
                                                       const std::string& key,
                                                       const std::string& identifier,
                                                       const std::string& value) {
    return std::make_shared<TarnConfigStore::ConfigRow>(
        TarnConfigStore::ConfigRow{{"Component", component},
                                   {"ConfigGroup", group},
                                   {"Name", key},
                                   {"Identifier", identifier},
                                   {"Value", value}});
}

// Runs body and expects an exception of type E with code whose message is exactly message.
template <typename E, typename Body>
void ExpectError(int code, const std::string& message, Body body) {
    try {
        body();
        ADD_FAILURE() << "no exception; expected " << code << " " << message;
    } catch (const E& error) {
        EXPECT_EQ(error.GetCode(), code) << error.what();
        EXPECT_EQ(std::string(error.what()), message);
    }
}

class ExtractionTest : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        TarnTest::HostRootTest::SetUp();
        connection_ = TarnConfigStore::GetDBStore(DBStore::CONFIG_STORE, true);
    }
    void TearDown() override { connection_.reset(); }

    // A schema file of definition (JSON text) with further facts (",..." members or "").
    static void Schema(const std::string& component, const std::string& group,
                       const std::string& key, const std::string& definition,
                       const std::string& facts = "") {
        TarnTest::InstallKeySchema(component, group, key,
                                   "{\"definition\":" + definition + facts + "}");
    }

    void Current(const std::string& component, const std::string& group, const std::string& key,
                 const std::string& identifier, const std::string& value,
                 const std::string& autoConf = "") {
        TarnConfigStore::PutCurrentRow(connection_, component, group, key, identifier, value,
                                       autoConf);
    }

    std::shared_ptr<DBStore::StoreConnection> connection_;
};

}  // namespace ExtractTest
