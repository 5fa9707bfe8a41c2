// The SSH files of the host copied into the store, and the feature switch that stops the
// client and server files from being copied.
#include <gtest/gtest.h>

#include <stdexcept>

#include "deradidezivizoda/extract/ssh_sync.h"
#include "extract_fixture.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"
#include "tarn/sablectl/ssh_config.h"

using namespace TarnConfigManager;
using namespace ExtractTest;

namespace {

const char kKeysFile[] = "etc/ssh/keys-root/authorized_keys";
const char kClientFile[] = "etc/ssh/ssh_config";
const char kServerFile[] = "etc/ssh/sshd_config";
const char kFeatureFile[] = "var/lib/tarn/state/features";

const char kAuthorizedKeys[] = R"(# root's keys
ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOMq alice@laptop
from="10.0.0.0/8,192.168.1.1",no-pty,command="echo \"hi there\"" ssh-rsa AAAAB3NzaC1yc2E= backup key

  sk-ssh-ed25519@openssh.com AAAAGnNrLXNzaC1lZDI1NTE5
)";
const char kClientConfig[] = R"(# client
ForwardAgent no
SendEnv LANG
sendenv LC_*
Host *.lan
    User admin
    Port=2222
Match host build exec "true"
    IdentityFile ~/.ssh/build
)";
const char kServerConfig[] =
    "Port 22\nPermitRootLogin prohibit-password\n"
    "Match User backup\n  ForceCommand internal-sftp\n";

class SshSync : public ExtractionTest {
protected:
    void WriteAll() {
        TarnTest::WriteFile(kKeysFile, kAuthorizedKeys);
        TarnTest::WriteFile(kClientFile, kClientConfig);
        TarnTest::WriteFile(kServerFile, kServerConfig);
    }
    // "<key>/<identifier>=<value>" of every current row, in store order.
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (const auto& row : TarnConfigStore::GetUserConfigContents(connection_)) {
            rows.push_back(row->at("Name") + "/" + row->at("Identifier") + "=" + row->at("Value"));
        }
        return rows;
    }
};

const std::vector<std::string> kKeyRows = {
    R"(authorized_keys/AAAAC3NzaC1lZDI1NTE5AAAAIOMq={"type":"ssh-ed25519",)"
    R"("key":"AAAAC3NzaC1lZDI1NTE5AAAAIOMq","comment":"alice@laptop"})",
    R"(authorized_keys/AAAAB3NzaC1yc2E=={"type":"ssh-rsa","key":"AAAAB3NzaC1yc2E=",)"
    R"("comment":"backup key","options":["from=\"10.0.0.0/8,192.168.1.1\"","no-pty",)"
    R"("command=\"echo \\\"hi there\\\"\""]})",
    R"(authorized_keys/AAAAGnNrLXNzaC1lZDI1NTE5={"type":"sk-ssh-ed25519@openssh.com",)"
    R"("key":"AAAAGnNrLXNzaC1lZDI1NTE5"})"};
const std::string kClientRow =
    R"(client_config/={"settings":[{"keyword":"ForwardAgent","values":["no"]},)"
    R"({"keyword":"SendEnv","values":["LANG","LC_*"]}],)"
    R"("blocks":[{"condition":"Host *.lan","settings":[{"keyword":"User","values":["admin"]},)"
    R"({"keyword":"Port","values":["2222"]}]},{"condition":"Match host build exec \"true\"",)"
    R"("settings":[{"keyword":"IdentityFile","values":["~/.ssh/build"]}]}]})";
const std::string kServerRow =
    R"(server_config/={"settings":[{"keyword":"Port","values":["22"]},)"
    R"({"keyword":"PermitRootLogin","values":["prohibit-password"]}],)"
    R"("blocks":[{"condition":"Match User backup",)"
    R"("settings":[{"keyword":"ForceCommand","values":["internal-sftp"]}]}]})";

std::vector<std::string> Plus(std::vector<std::string> rows,
                              std::initializer_list<std::string> more) {
    rows.insert(rows.end(), more);
    return rows;
}

}  // namespace

TEST_F(SshSync, CopiesTheFilesTheFeatureSwitchLeavesToThem) {
    WriteAll();
    // A line that names a switch but no state of it is ignored too: the switch stays enabled.
    TarnTest::WriteFile(kFeatureFile,
                        " Sableapps_BlockSshFileEdits = enabled \nbroken line\n"
                        "Sableapps_BlockSshFileEdits = off\n");
    CSLogger::Capture log;
    SyncSshConfiguration();
    EXPECT_EQ(Rows(), kKeyRows);
    EXPECT_TRUE(
        log.Contains(2, "SSH auth keys configuration synced to config store successfully."));
    EXPECT_TRUE(log.Contains(2,
                             "Sableapps_BlockSshFileEdits FSS is enabled, skip syncing "
                             "sshd_config and ssh_config files."));
    EXPECT_TRUE(log.Contains(0, std::string("Feature state file ") + TarnPaths::kFeatureStateFile +
                                    " line 2 ignored: \"broken line\" is not <name>=enabled or "
                                    "<name>=disabled"));
    EXPECT_TRUE(log.Contains(0, std::string("Feature state file ") + TarnPaths::kFeatureStateFile +
                                    " line 3 ignored: \"Sableapps_BlockSshFileEdits = off\" is "
                                    "not <name>=enabled or <name>=disabled"));

    TarnTest::WriteFile(kFeatureFile, "# switches\nSableapps_BlockSshFileEdits=disabled\n");
    SyncSshConfiguration();
    EXPECT_EQ(Rows(), Plus(kKeyRows, {kClientRow, kServerRow}));
    EXPECT_TRUE(log.Contains(2, "SSH server configuration synced to config store successfully"));
    EXPECT_TRUE(log.Contains(2, "SSH configurations synced."));
}

TEST_F(SshSync, AFileThatDoesNotParseIsLoggedAndTheOthersStillGo) {
    TarnTest::WriteFile(kKeysFile, "ssh-ed25519 AAAA a\nno-pty ssh-ed25519 AAAA b\n");
    TarnTest::WriteFile(kClientFile, "ForwardAgent no\n\nCompression\n");
    TarnTest::WriteFile(kServerFile, kServerConfig);
    CSLogger::Capture log;
    SyncSshConfiguration();
    EXPECT_EQ(Rows(), std::vector<std::string>{kServerRow});
    std::string root = TarnPaths::kRoot;
    EXPECT_TRUE(log.Contains(0,
                             "SSH auth keys configuration failed to sync to config store "
                             "error=" +
                                 root + "/" + kKeysFile +
                                 ":2: the key repeats the key of line 1."));
    EXPECT_TRUE(
        log.Contains(0, "SSH client configuration failed to sync to config store error=" + root +
                            "/" + kClientFile + ":3: the keyword \"Compression\" has no value."));
    EXPECT_TRUE(log.Contains(2, "SSH configurations synced."));
}

TEST_F(SshSync, BadKeyLinesNameTheirLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"ssh-ed25519@openssh.com AAAA\n", ":1: no known key type (such as ssh-ed25519) found"},
        {"\nssh-rsa not*base64\n", ":2: the ssh-rsa key is not base64 text"},
        {"command=\"unclosed ssh-rsa AAAA\n", ":1: a quoted option is not closed"},
    };
    for (const auto& [text, error] : cases) {
        TarnTest::WriteFile(kKeysFile, text);
        SableCtl::System::SshAuthKeysConfigImpl keys(SableCtl::System::SYSTEM_STATE_RUNNING);
        try {
            keys.UpgradeConfigToConfigStore();
            ADD_FAILURE() << text;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), TarnTest::RootPath(kKeysFile) + error);
        }
    }
    EXPECT_TRUE(Rows().empty());
}

TEST_F(SshSync, RowsFollowTheFilesAndStayPutWhileTheyAreUnchanged) {
    WriteAll();
    SyncSshConfiguration();
    Current("net", "dns", "resolver", "", "{}");
    SyncSshConfiguration();
    std::vector<std::string> all = Plus(kKeyRows, {kClientRow, kServerRow, "resolver/={}"});
    EXPECT_EQ(Rows(), all);

    TarnTest::WriteFile(kKeysFile, "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIOMq alice@laptop\n");
    std::remove(TarnTest::RootPath(kServerFile).c_str());
    SyncSshConfiguration();
    EXPECT_EQ(Rows(), (std::vector<std::string>{kKeyRows[0], kClientRow, "resolver/={}"}));
}

TEST_F(SshSync, NothingIsCopiedWhileTheHostBoots) {
    WriteAll();
    SableCtl::System::SshServerConfigImpl server(SableCtl::System::SYSTEM_STATE_BOOT);
    EXPECT_FALSE(server.UpgradeConfigToConfigStore());
    EXPECT_TRUE(Rows().empty());
    EXPECT_THROW(SableCtl::System::SshClientConfigImpl(7), std::invalid_argument);
}
