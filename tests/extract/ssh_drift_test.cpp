// Compliance of SSH settings: the rows copied from sshd_config against a desired value, with
// the shipped key schema, through the real extraction and drift engine.
#include <gtest/gtest.h>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/drift/check_compliance.h"
#include "deradidezivizoda/plugins/task_handle.h"
#include "extract_fixture.h"

using namespace TarnConfigManager;
using namespace ExtractTest;

namespace {

const char kServerFile[] =
    "PermitRootLogin yes\n"
    "Port 22\n"
    "X11Forwarding yes\n"
    "AcceptEnv LANG\n"
    "acceptenv LC_*\n"
    "Match User backup\n"
    "    ForceCommand internal-sftp\n";

class SshDrift : public ExtractionTest {
protected:
    void SetUp() override {
        ExtractionTest::SetUp();
        TarnTest::InstallKeySchema(
            "tarn", "ssh", "server_config",
            TarnTest::ReadFile(std::string(TARN_SOURCE_DIR) +
                               "/platform/sablectl/schemas/tarn/ssh/server_config.json"));
        TarnTest::WriteFile("etc/ssh/sshd_config", kServerFile);
    }

    // The compliance report of the host's sshd_config against a desired server_config value.
    static std::string Report(const std::string& serverConfig, bool* compliant = nullptr) {
        rapidjson::Document desired;
        ParseDocument(R"({"tarn": {"ssh": {"server_config": )" + serverConfig + "}}}", desired);
        ComplianceResult result;
        CheckCompliance(desired, false, result, TaskHandle::Dummy());
        if (compliant) {
            *compliant = result.compliant;
        }
        return Text(result.document);
    }
};

}  // namespace

TEST_F(SshDrift, TheFileMatchesItsOwnSettingsInAnyValueOrder) {
    bool compliant = false;
    EXPECT_EQ(Report(R"({"settings": [
            {"keyword": "X11Forwarding", "values": ["yes"]},
            {"keyword": "AcceptEnv", "values": ["LC_*", "LANG"]},
            {"keyword": "PermitRootLogin", "values": ["yes"]},
            {"keyword": "Port", "values": ["22"]}],
        "blocks": [{"condition": "Match User backup",
                    "settings": [{"keyword": "ForceCommand", "values": ["internal-sftp"]}]}]})",
                     &compliant),
              R"({"ADDS":[],"DELETES":[],"SETS":[]})");
    EXPECT_TRUE(compliant);
}

TEST_F(SshDrift, ChangedAddedAndRemovedSettingsAreReportedByPosition) {
    bool compliant = true;
    EXPECT_EQ(
        Report(R"({"settings": [
            {"keyword": "PermitRootLogin", "values": ["no"]},
            {"keyword": "Port", "values": ["22"]},
            {"keyword": "AcceptEnv", "values": ["LANG", "LC_*"]},
            {"keyword": "AllowTcpForwarding", "values": ["no"]}],
        "blocks": [{"condition": "Match User backup",
                    "settings": [{"keyword": "ForceCommand", "values": ["internal-sftp", "-R"]},
                                 {"keyword": "PermitTTY", "values": ["no"]}]}]})",
               &compliant),
        R"({"ADDS":[{"path":"/tarn/ssh/server_config/settings/3",)"
        R"("desiredValue":"{\"keyword\":\"AllowTcpForwarding\",\"values\":[\"no\"]}"},)"
        R"({"path":"/tarn/ssh/server_config/blocks/0/settings/1",)"
        R"("desiredValue":"{\"keyword\":\"PermitTTY\",\"values\":[\"no\"]}"}],)"
        R"("DELETES":[{"path":"/tarn/ssh/server_config/settings/4",)"
        R"("hostValue":"{\"keyword\":\"X11Forwarding\",\"values\":[\"yes\"]}"}],)"
        R"("SETS":[{"path":"/tarn/ssh/server_config/settings/0/values",)"
        R"("desiredValue":"[\"no\"]","hostValue":"[\"yes\"]"},)"
        R"({"path":"/tarn/ssh/server_config/blocks/0/settings/0/values",)"
        R"("desiredValue":"[\"internal-sftp\",\"-R\"]","hostValue":"[\"internal-sftp\"]"}]})");
    EXPECT_FALSE(compliant);
}

TEST_F(SshDrift, BlocksAreMatchedByTheirCondition) {
    EXPECT_EQ(Report(R"({"settings": [
            {"keyword": "PermitRootLogin", "values": ["yes"]},
            {"keyword": "Port", "values": ["22"]},
            {"keyword": "X11Forwarding", "values": ["yes"]},
            {"keyword": "AcceptEnv", "values": ["LANG", "LC_*"]}],
        "blocks": [{"condition": "Match User admin",
                    "settings": [{"keyword": "ForceCommand", "values": ["internal-sftp"]}]}]})"),
              R"({"ADDS":[{"path":"/tarn/ssh/server_config/blocks/0",)"
              R"("desiredValue":"{\"condition\":\"Match User admin\",\"settings\":)"
              R"([{\"keyword\":\"ForceCommand\",\"values\":[\"internal-sftp\"]}]}"}],)"
              R"("DELETES":[{"path":"/tarn/ssh/server_config/blocks/1",)"
              R"("hostValue":"{\"condition\":\"Match User backup\",\"settings\":)"
              R"([{\"keyword\":\"ForceCommand\",\"values\":[\"internal-sftp\"]}]}"}],"SETS":[]})");
}
