// Keys with a mutable default: equal to the default is left out, no configuration is an error.
#include <gtest/gtest.h>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/mutable_default.h"
#include "extract_fixture.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;
using namespace ExtractTest;

namespace {

const char kResolverText[] = "comp net grp dns key resolver";
const char kUsersText[] = "comp host grp accounts key users";

class MutableDefault : public ExtractionTest {
protected:
    void SetUp() override {
        ExtractionTest::SetUp();
        Schema("net", "dns", "resolver", R"({"type": "object", "properties": {
            "servers": {"type": "array", "items": {"type": "string"}},
            "timeout": {"type": "integer", "default": 5}}})",
               R"(,"mutableDefault": true)");
        Schema("host", "accounts", "users", R"({"type": "object", "properties": {
            "name": {"type": "string"}, "shell": {"type": "string"}}})",
               R"(,"mutableDefault": true, "multiInstance": true, "instanceKey": "name",)"
               R"("reservedInstanceIds": ["root"])");
        Schema("nic", "ports", "speed", R"({"type": "object", "properties": {}})",
               R"(,"mutableDefault": true, "smartnic": true)");
        auto put = [&](const char* key, const char* group, const char* component, const char* id,
                       const char* value) {
            TarnConfigStore::PutDefaultRow(connection_, component, group, key, id, value);
        };
        put("resolver", "dns", "net", "", R"({"servers":["a","b"]})");
        put("users", "accounts", "host", "root", R"({"name":"root","shell":"sh"})");
        put("users", "accounts", "host", "alice", R"({"name":"alice","shell":"sh"})");
    }

    RowList Processed(RowList rows) {
        ProcessMutableDefaultConfig(rows, connection_, TarnSchemaStore::SchemaStore::GetStore(),
                                    false);
        return rows;
    }
};

std::vector<std::string> Identifiers(const RowList& rows) {
    std::vector<std::string> ids;
    for (const auto& row : rows) {
        ids.push_back(row->at("Name") + "/" + row->at("Identifier"));
    }
    return ids;
}

}  // namespace

TEST_F(MutableDefault, ConfigurationEqualToTheDefaultIsLeftOut) {
    CSLogger::Capture log;
    RowList rows = Processed({
        Row("host", "accounts", "users", "alice", R"({"name":"alice","shell":"sh"})"),
        Row("net", "dns", "resolver", "", R"({"servers":["b","a"],"timeout":5})"),
        Row("host", "accounts", "users", "root", R"({"name":"root","shell":"zsh"})"),
        Row("net", "dns", "zone", "", "{}"),
    });
    // The solution's own instance does not count: alice alone equals the defaults' alice.
    EXPECT_EQ(Identifiers(rows), std::vector<std::string>{"zone/"});
    EXPECT_TRUE(log.Contains(0, std::string("User configuration is same as default for "
                                            "mutableDefaultConfig schema ") +
                                    kResolverText + " "));
}

TEST_F(MutableDefault, ChangedConfigurationMovesToTheEndWithoutReservedInstances) {
    CSLogger::Capture log;
    RowList rows = Processed({
        Row("host", "accounts", "users", "root", R"({"name":"root","shell":"sh"})"),
        Row("host", "accounts", "users", "bob", R"({"name":"bob","shell":"sh"})"),
        Row("net", "dns", "resolver", "", R"({"servers":["a","b"],"timeout":5})"),
        Row("net", "dns", "zone", "", "{}"),
    });
    EXPECT_EQ(Identifiers(rows), (std::vector<std::string>{"zone/", "users/bob"}));
    EXPECT_TRUE(log.Contains(0, std::string("User configuration is not same as default for "
                                            "mutableDefaultConfig schema ") +
                                    kUsersText + " "));
}

TEST_F(MutableDefault, MissingOrOnlyReservedConfigurationIsAnError) {
    std::string users =
        std::string("Deleting default configuration for ") + kUsersText + " is not supported.";
    RowList rows = {Row("net", "dns", "resolver", "", "{}")};
    ExpectError<ConfigManagerException>(2027, users, [&] { Processed(rows); });
    rows.push_back(Row("host", "accounts", "users", "root", R"({"name":"root"})"));
    ExpectError<ConfigManagerException>(2027, users, [&] { Processed(rows); });
}

TEST_F(MutableDefault, DeletedHostDefaultsAreNamedTogether) {
    auto store = TarnSchemaStore::SchemaStore::GetStore();
    ExpectError<ConfigManagerException>(
        2027,
        std::string("Deleting default configuration for ") + kUsersText + "," + kResolverText +
            " is not supported.",
        [&] { ProcessMutableDefaultDeletes({Row("net", "dns", "zone", "", "{}")}, store); });
    ProcessMutableDefaultDeletes(
        {Row("net", "dns", "resolver", "", "{}"), Row("host", "accounts", "users", "root", "{}")},
        store);
}
