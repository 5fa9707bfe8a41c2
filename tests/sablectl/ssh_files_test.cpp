// The SSH file parsers: what each line form becomes, the refusals naming their line, and the
// rule that every row a file gives is valid against the key schema shipped for it (the rows
// are the host's current configuration, which compliance and export validate).
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ssh_text.h"
#include "tarn/json/json_text.h"
#include "tarn/schemastore/schema_object.h"
#include "tarn/validator/json_validator.h"

namespace SableCtl {
namespace System {
namespace {

const std::string kPath = "/etc/ssh/file";

// The errors of row against the key schema shipped for key, with the codes the library ignores
// (keywords and formats the validator does not know); "" when it is valid.
std::string SchemaErrors(const std::string& key, const SshConfigRow& row) {
    rapidjson::Document file;
    std::string path =
        std::string(TARN_SOURCE_DIR) + "/platform/sablectl/schemas/tarn/ssh/" + key + ".json";
    EXPECT_TRUE(TarnConfigStore::ParseJsonFile(path.c_str(), file)) << path;
    auto schema = TarnSchemaStore::SchemaObject::Create({"tarn", "ssh", key}, file, path);
    rapidjson::Document value;
    EXPECT_TRUE(TarnConfigStore::ParseJsonText(row.value, value)) << row.value;
    rapidjson::Document errors;
    JsonValidator::Validate(schema->GetDefinition(), value, errors,
                            {JsonValidator::kUnknownKeyword, JsonValidator::kUnknownFormat,
                             JsonValidator::kInvalidKeyword},
                            "");
    return errors.Empty() ? "" : TarnConfigStore::WriteJsonText(errors);
}

// The message of the error parse throws, or "parsed".
template <typename Parse>
std::string Refusal(Parse parse) {
    try {
        parse();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "parsed";
}

TEST(AuthorizedKeys, LineFormsBecomeValidRowsNamedByTheirKey) {
    auto rows = ParseAuthorizedKeys(
        "# root's keys\n"
        "\n"
        "ssh-ed25519 AAAAC3Nza== root@a\n"
        "  command=\"echo \\\"a, b\\\"\",no-pty,from=\"10.0.0.1,10.0.0.2\" ssh-rsa AAAAB3 x y\n"
        "sk-ssh-ed25519@openssh.com AAAAGnNr\n"
        "ssh-ed25519-cert-v01@openssh.com AAAAIHNz\t comment \r\n",
        kPath);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].identifier, "AAAAC3Nza==");
    EXPECT_EQ(rows[0].value, R"({"type":"ssh-ed25519","key":"AAAAC3Nza==","comment":"root@a"})");
    EXPECT_EQ(rows[1].value,
              R"({"type":"ssh-rsa","key":"AAAAB3","comment":"x y","options":)"
              R"(["command=\"echo \\\"a, b\\\"\"","no-pty","from=\"10.0.0.1,10.0.0.2\""]})");
    EXPECT_EQ(rows[2].value, R"({"type":"sk-ssh-ed25519@openssh.com","key":"AAAAGnNr"})");
    EXPECT_EQ(
        rows[3].value,
        R"({"type":"ssh-ed25519-cert-v01@openssh.com","key":"AAAAIHNz","comment":"comment"})");
    for (const auto& row : rows) {
        EXPECT_EQ(SchemaErrors("authorized_keys", row), "") << row.value;
    }
}

TEST(AuthorizedKeys, BadLinesAreRefusedNamingTheirLine) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"ssh-foo AAAA", ":1: no known key type (such as ssh-ed25519) found"},
        {"sk-ssh-ed25519 AAAA", ":1: no known key type (such as ssh-ed25519) found"},
        {"ssh-ed25519@openssh.com AAAA", ":1: no known key type (such as ssh-ed25519) found"},
        {"\n\ncommand=\"x ssh-rsa AAAA", ":3: a quoted option is not closed"},
        {"ssh-rsa not*base64", ":1: the ssh-rsa key is not base64 text"},
        {"ssh-rsa", ":1: the ssh-rsa key is not base64 text"},
        {"ssh-rsa ==", ":1: the ssh-rsa key is not base64 text"},
        {"ssh-rsa AA=A", ":1: the ssh-rsa key is not base64 text"},
        {"ssh-rsa AAAA a\n#\nssh-ed25519 AAAA b", ":3: the key repeats the key of line 1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Refusal([&] { ParseAuthorizedKeys(c.text, kPath); }), kPath + c.message)
            << c.text;
    }
}

TEST(KeywordFiles, SettingsMergeByKeywordAndBlocksCollectTheirOwn) {
    auto rows = ParseKeywordFile(
        "Port 22\n"
        "port=2222\n"
        "AcceptEnv = LANG LC_*\n"
        "Host *.example\n"
        "  User admin\n"
        "match user x\n"
        "\tX11Forwarding no\n",
        kPath, {"Host", "Match"});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].identifier, "");
    EXPECT_EQ(
        rows[0].value,
        R"({"settings":[{"keyword":"Port","values":["22","2222"]},)"
        R"({"keyword":"AcceptEnv","values":["LANG LC_*"]}],"blocks":[)"
        R"({"condition":"Host *.example","settings":[{"keyword":"User","values":["admin"]}]},)"
        R"({"condition":"match user x","settings":[{"keyword":"X11Forwarding","values":["no"]}]}]})");
    EXPECT_EQ(SchemaErrors("client_config", rows[0]), "");
    // For the server, Host is a setting like any other.
    auto server = ParseKeywordFile("Host a\nPort 1\n", kPath, {"Match"});
    EXPECT_EQ(
        server[0].value,
        R"({"settings":[{"keyword":"Host","values":["a"]},{"keyword":"Port","values":["1"]}],)"
        R"("blocks":[]})");
    EXPECT_EQ(SchemaErrors("server_config", server[0]), "");
}

TEST(KeywordFiles, BadLinesAreRefusedNamingTheirLine) {
    EXPECT_EQ(Refusal([] { ParseKeywordFile("Port 22\nPermitRootLogin\n", kPath, {"Match"}); }),
              kPath + ":2: the keyword \"PermitRootLogin\" has no value");
    EXPECT_EQ(Refusal([] { ParseKeywordFile("=yes\n", kPath, {"Match"}); }),
              kPath + ":1: the keyword \"\" has no value");
    EXPECT_EQ(Refusal([] { ParseKeywordFile("Port =\n", kPath, {"Match"}); }),
              kPath + ":1: the keyword \"Port\" has no value");
    EXPECT_EQ(
        Refusal([] { ParseKeywordFile("Match User a\nX y\nMatch User a\n", kPath, {"Match"}); }),
        kPath + ":3: \"Match User a\" repeats the block of line 1");
}

TEST(SshFiles, TextThatIsNotUtf8IsRefusedNamingItsLine) {
    EXPECT_EQ(
        Refusal([] { ParseAuthorizedKeys("ssh-rsa AAAA ok\nssh-rsa AAAB r\xE9sum\xE9\n", kPath); }),
        kPath + ":2: the line is not UTF-8 text");
    EXPECT_EQ(Refusal([] { ParseKeywordFile("Banner \xFF\n", kPath, {"Match"}); }),
              kPath + ":1: the line is not UTF-8 text");
}

}  // namespace
}  // namespace System
}  // namespace SableCtl
