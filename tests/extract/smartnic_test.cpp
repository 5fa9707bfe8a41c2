// The SmartNIC configuration as normalised text.
#include <gtest/gtest.h>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "extract_fixture.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;
using namespace ExtractTest;

namespace {

class Smartnic : public ExtractionTest {
protected:
    void Put(const char* group, const char* key, const char* id, const char* value) {
        TarnConfigStore::PutSmartnicRow(connection_, "nic", group, key, id, value);
    }
};

}  // namespace

TEST_F(Smartnic, RowsBecomeOneNormalisedDocument) {
    EXPECT_EQ(ExtractSmartnicConfiguration(), "{}");
    Put("ports", "speed", "", R"({"mtu": 9000.0, "gbps": 2.50, "auto": true})");
    Put("ports", "lanes", "p1", R"({"name": "p1", "width": 4})");
    Put("ports", "lanes", "p0", R"({"width": 1E1, "name": "p0"})");
    Put("fw", "image", "", R"({"version": "1.2"})");
    CSLogger::Capture log;
    EXPECT_EQ(ExtractSmartnicConfiguration(),
              R"({"nic":{"fw":{"image":{"version":"1.2"}},"ports":{"lanes":[{"name":"p1",)"
              R"("width":4},{"name":"p0","width":10}],"speed":{"auto":true,"gbps":2.5,)"
              R"("mtu":9000}}}})");
    EXPECT_TRUE(log.Contains(3, "ExtractSmartnicConfiguration invoked"));
    EXPECT_TRUE(log.Contains(2, "Configuration for {nic/ports/lanes/p0} was found."));
}

TEST_F(Smartnic, DeletedDefaultNamesTheKeyWithSlashes) {
    Put("ports", "speed", "", R"({"gbps": 25})");
    Put("ports", "lanes", "p0", "DELETE_DEFAULT");
    ExpectError<ConfigManagerException>(
        2027, "Deleting default configuration for nic/ports/lanes is not supported.",
        [] { ExtractSmartnicConfiguration(); });
}

TEST_F(Smartnic, SmartnicDefaultsAreLeftOutWhenUnchanged) {
    Schema("nic", "ports", "speed", R"({"type": "object", "properties": {
        "gbps": {"type": "integer"}}})",
           R"(,"mutableDefault": true, "smartnic": true)");
    TarnConfigStore::PutDefaultRow(connection_, "nic", "ports", "speed", "", R"({"gbps": 25})");
    Put("ports", "speed", "", R"({"gbps": 25})");
    Put("fw", "image", "", R"({"version": "1.2"})");
    EXPECT_EQ(ExtractSmartnicConfiguration(), R"({"nic":{"fw":{"image":{"version":"1.2"}}}})");
    ExpectError<ConfigManagerException>(
        2027, "Deleting default configuration for comp nic grp ports key speed is not supported.",
        [&] {
            TarnConfigStore::DeleteRows(
                connection_, TarnConfigStore::RowTable::kSmartnic,
                TarnConfigStore::ConfigStoreObjectId("speed", "ports", "nic"));
            ExtractSmartnicConfiguration();
        });
}
