// Configuration rows, the desired configuration, boot state and named objects.
#include "tarn/configstore/store_rows.h"
#include "expect_store_error.h"
#include "host_root_fixture.h"
#include "tarn/configstore/boot_state.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/configstore/config_store_object.h"
#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_doc.h"

namespace {

using namespace TarnConfigStore;
using ConfigStoreDocument::CreateDocument;

class StoreRowsTest : public TarnTest::HostRootTest {
protected:
    void SetUp() override {
        TarnTest::HostRootTest::SetUp();
        connection_ = GetDBStore(DBStore::CONFIG_STORE, true);
    }
    std::shared_ptr<DBStore::StoreConnection> connection_;
};

// "name=identifier:value" of each row, in order.
std::vector<std::string> Summary(const ConfigRowList& rows) {
    std::vector<std::string> out;
    for (const auto& row : rows) {
        out.push_back(row->at("Name") + "=" + row->at("Identifier") + ":" + row->at("Value"));
    }
    return out;
}

void ExpectDataError(const std::function<void()>& body, const std::string& named) {
    ExpectStoreError(kStoreDataError, body, {named});
}

TEST_F(StoreRowsTest, RowsComeBackInFirstWrittenOrderWithEveryColumn) {
    PutCurrentRow(connection_, "tarn", "net", "ntp", "", R"( { "on" : true } )");
    PutCurrentRow(connection_, "tarn", "net", "dns", "b", R"({"n":"b"})", R"({"mtu": 9000})");
    PutCurrentRow(connection_, "tarn", "net", "dns", "a", R"({"n":"a"})");
    PutCurrentRow(connection_, "tarn", "net", "ntp", "", R"({"on":false})");  // keeps its place
    ConfigRowList rows = GetUserConfigContents(connection_);
    EXPECT_EQ((std::vector<std::string>{R"(ntp=:{"on":false})", R"(dns=b:{"n":"b"})",
                                        R"(dns=a:{"n":"a"})"}),
              Summary(rows));
    EXPECT_EQ((ConfigRow{{"Component", "tarn"},
                         {"ConfigGroup", "net"},
                         {"Name", "dns"},
                         {"Identifier", "b"},
                         {"Value", R"({"n":"b"})"},
                         {"AutoConfValue", R"({"mtu":9000})"}}),
              *rows[1]);
    std::vector<StoreRow> records = ReadStoreRows(connection_, RowTable::kCurrent);
    ASSERT_EQ(rows.size(), records.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const StoreRow& r = records[i];
        EXPECT_EQ(*rows[i], (ConfigRow{{"Component", r.component},
                                       {"ConfigGroup", r.group},
                                       {"Name", r.key},
                                       {"Identifier", r.identifier},
                                       {"Value", r.value},
                                       {"AutoConfValue", r.autoConfValue}}));
    }
    EXPECT_TRUE(GetDesiredUserConfigContents(connection_).empty());
    EXPECT_TRUE(GetSmartnicConfiguration(connection_).empty());
}

TEST_F(StoreRowsTest, BadRowsAreRefusedNamingTheRow) {
    ExpectDataError([&] { PutCurrentRow(connection_, "tarn", "net", "dns", "x", "{oops"); },
                    "comp tarn grp net key dns id x");
    ExpectDataError([&] { PutDefaultRow(connection_, "tarn", "net", "dns", "", "{}", "[1,"); },
                    "auto-configuration");
    ExpectDataError([&] { PutSmartnicRow(connection_, "tarn", "", "dns", "", "{}"); },
                    "lacks a component");
    EXPECT_TRUE(GetUserConfigContents(connection_).empty());
    PutDefaultRow(connection_, "tarn", "net", "dns", "x", kDeleteDefaultValue);
    EXPECT_EQ(kDeleteDefaultValue, ReadRows(connection_, RowTable::kDefault)[0]->at("Value"));
}

TEST_F(StoreRowsTest, DefaultRowsAndDesiredChecksSelectByKeyAndInstance) {
    PutDefaultRow(connection_, "tarn", "auth", "users", "root", R"({"name":"root"})");
    PutDefaultRow(connection_, "tarn", "auth", "users", "dcui", R"({"name":"dcui"})");
    PutDefaultRow(connection_, "tarn", "auth", "policy", "", "{}");
    EXPECT_EQ(2u, GetDefaultUserConfigMapList({"users", "auth", "tarn"}, connection_).size());
    ConfigRowList one = GetDefaultUserConfigMapList({"users", "auth", "tarn", "dcui"}, connection_);
    EXPECT_EQ((std::vector<std::string>{R"(users=dcui:{"name":"dcui"})"}), Summary(one));
    EXPECT_TRUE(GetDefaultUserConfigMapList({"users", "auth", "tarn", "x"}, connection_).empty());

    PutRow(connection_, RowTable::kDesired, {"tarn", "auth", "users", "root", "{}", ""});
    EXPECT_TRUE(CheckDesiredObjectExists({"users", "auth", "tarn"}, connection_));
    EXPECT_TRUE(CheckDesiredObjectExists({"users", "auth", "tarn", "root"}, connection_));
    EXPECT_FALSE(CheckDesiredObjectExists({"users", "auth", "tarn", "dcui"}, connection_));
    EXPECT_FALSE(CheckDesiredObjectExists({"policy", "auth", "tarn"}, connection_));

    EXPECT_EQ(2, DeleteRows(connection_, RowTable::kDefault, {"users", "auth", "tarn"}));
    EXPECT_EQ(1u, ReadRows(connection_, RowTable::kDefault).size());
    EXPECT_THROW(GetUserConfigContents(nullptr), ConfigStoreException);
}

TEST_F(StoreRowsTest, KeyRowsAreThoseOfOneKeyOrInstanceInOrder) {
    PutCurrentRow(connection_, "tarn", "ssh", "keys", "b", R"({"k":"b"})");
    PutCurrentRow(connection_, "tarn", "ssh", "other", "", "{}");
    PutCurrentRow(connection_, "tarn", "net", "keys", "a", "{}");
    PutCurrentRow(connection_, "tarn", "ssh", "keys", "a", R"({"k":"a"})");
    EXPECT_EQ((std::vector<std::string>{R"(keys=b:{"k":"b"})", R"(keys=a:{"k":"a"})"}),
              Summary(ReadKeyRows(connection_, RowTable::kCurrent, {"keys", "ssh", "tarn"})));
    EXPECT_EQ((std::vector<std::string>{R"(keys=a:{"k":"a"})"}),
              Summary(ReadKeyRows(connection_, RowTable::kCurrent, {"keys", "ssh", "tarn", "a"})));
    EXPECT_TRUE(ReadKeyRows(connection_, RowTable::kDesired, {"keys", "ssh", "tarn"}).empty());
    EXPECT_THROW(ReadKeyRows(nullptr, RowTable::kCurrent, {"keys", "ssh", "tarn"}),
                 ConfigStoreException);
}

TEST_F(StoreRowsTest, VisitedRowsAreTheReadRowsWholeOrOfSomeKeysInOrder) {
    PutCurrentRow(connection_, "tarn", "ssh", "keys", "b", R"({"k":"b"})", R"({"mtu":1})");
    PutCurrentRow(connection_, "tarn", "ssh", "other", "", "{}");
    PutCurrentRow(connection_, "tarn", "net", "keys", "a", R"({"n":"a"})");
    PutCurrentRow(connection_, "tarn", "ssh", "keys", "a", R"({"k":"a"})");
    PutCurrentRow(connection_, "tarn", "net", "ntp", "", "{}");
    auto visit = [this](const std::vector<ConfigStoreObjectId>* keys) {
        std::vector<std::string> seen;
        VisitStoreRows(
            connection_, RowTable::kCurrent,
            [&seen](const StoreRowView& view) {
                StoreRow r = CopyRow(view);
                seen.push_back(r.component + "/" + r.group + "/" + r.key + "/" + r.identifier +
                               "=" + r.value + r.autoConfValue);
            },
            keys);
        return seen;
    };
    std::vector<std::string> read;
    for (const StoreRow& r : ReadStoreRows(connection_, RowTable::kCurrent)) {
        read.push_back(r.component + "/" + r.group + "/" + r.key + "/" + r.identifier + "=" +
                       r.value + r.autoConfValue);
    }
    EXPECT_EQ(read, visit(nullptr));
    // Rows of different keys keep the store's order between them; instance ids play no part.
    std::vector<ConfigStoreObjectId> keys = {{"keys", "net", "tarn"}, {"keys", "ssh", "tarn", "b"}};
    EXPECT_EQ(
        (std::vector<std::string>{R"(tarn/ssh/keys/b={"k":"b"}{"mtu":1})",
                                  R"(tarn/net/keys/a={"n":"a"})", R"(tarn/ssh/keys/a={"k":"a"})"}),
        visit(&keys));
    std::vector<ConfigStoreObjectId> none;
    EXPECT_TRUE(visit(&none).empty());
    int visited = 0;
    EXPECT_THROW(VisitStoreRows(connection_, RowTable::kCurrent,
                                [&visited](const StoreRowView&) {
                                    ++visited;
                                    throw ConfigStoreException(kStoreDataError, "stop");
                                }),
                 ConfigStoreException);
    EXPECT_EQ(1, visited);
}

TEST_F(StoreRowsTest, RowSpanCountsUpToItsLimitAcrossGapsInThePositions) {
    EXPECT_EQ(0, GetRowSpan(connection_, RowTable::kCurrent).end);
    for (const char* id : {"a", "b", "c", "d", "e"}) {
        PutCurrentRow(connection_, "tarn", "net", "keys", id, "{}");
    }
    DeleteRows(connection_, RowTable::kCurrent, {"keys", "net", "tarn", "b"});
    DeleteRows(connection_, RowTable::kCurrent, {"keys", "net", "tarn", "e"});
    const RowSpan all = GetRowSpan(connection_, RowTable::kCurrent);
    EXPECT_EQ(3, all.count);
    EXPECT_EQ(4, all.end - all.first);  // a, (b), c, d
    std::vector<std::string> ids;
    VisitStoreRowsBetween(connection_, RowTable::kCurrent, all.first, all.end,
                          [&ids](const StoreRowView& r) { ids.emplace_back(r.identifier); });
    EXPECT_EQ((std::vector<std::string>{"a", "c", "d"}), ids);
    const RowSpan limited = GetRowSpan(connection_, RowTable::kCurrent, 2);
    EXPECT_EQ(2, limited.count);
    EXPECT_EQ(all.first, limited.first);
    EXPECT_EQ(all.end, limited.end);
}

TEST_F(StoreRowsTest, SetDesiredUserConfigReplacesTheRowsAndAwaitsAReboot) {
    PutRow(connection_, RowTable::kDesired, {"old", "g", "k", "", "{}", ""});
    auto resolver = [](const std::string&, const std::string&, const std::string& key) {
        return key == "users" ? std::string("name") : std::string();
    };
    SetDesiredUserConfig(CreateDocument(R"({"profile": {"tarn": {
        "net": {"ntp": {"on": true}},
        "auth": {"users": [{"name": "root"}, {"name": "dcui"}],
                 "keys": [{"cs_generated_id": "k-1", "t": 1}, {"t": 2}]}}}})"),
                         resolver);
    EXPECT_EQ(
        (std::vector<std::string>{
            R"(ntp=:{"on":true})", R"(users=root:{"name":"root"})", R"(users=dcui:{"name":"dcui"})",
            R"(keys=k-1:{"cs_generated_id":"k-1","t":1})", R"(keys=#1:{"t":2})"}),
        Summary(GetDesiredUserConfigContents(connection_)));
    EXPECT_EQ(DESIRED_PENDING, GetBootMode());

    SetDesiredSmartnicConfiguration(CreateDocument(R"({"nic": {"port": {"speed": {"g": 25}}}})"));
    EXPECT_EQ((std::vector<std::string>{R"(speed=:{"g":25})"}),
              Summary(ReadRows(connection_, RowTable::kDesiredSmartnic)));
    EXPECT_EQ(5u, GetDesiredUserConfigContents(connection_).size());
}

TEST_F(StoreRowsTest, AMisshapenDesiredDocumentChangesNothing) {
    SetDesiredUserConfig(CreateDocument(R"({"c": {"g": {"k": {}}}})"));
    SetBootMode(NORMAL);
    for (const char* text :
         {R"([])", R"({"c": []})", R"({"c": {"g": 1}})", R"({"c": {"g": {"k": "v"}}})",
          R"({"c": {"g": {"k": [1]}}})", R"({"c": {"g": {"k": [{"cs_generated_id": "a"},
                                                              {"cs_generated_id": "a"}]}}})"}) {
        EXPECT_THROW(SetDesiredUserConfig(CreateDocument(text)), ConfigStoreException) << text;
    }
    ExpectDataError([] { SetDesiredUserConfig(CreateDocument(R"({"c": {"g": {"k": 7}}})")); },
                    "/c/g/k");
    EXPECT_EQ((std::vector<std::string>{"k=:{}"}),
              Summary(GetDesiredUserConfigContents(connection_)));
    EXPECT_EQ(NORMAL, GetBootMode());
}

TEST_F(StoreRowsTest, BootStateFollowsTheBoot) {
    EXPECT_EQ(NORMAL, GetBootMode());
    EXPECT_EQ(R"({"isBootComplete":false,"bootApplyRecord":""})", getBootApplyRecord());
    ExpectDataError([] { SetBootMode(static_cast<BOOTMODE>(2)); }, "Boot mode 2");

    SetBootMode(HOSTAPI_PENDING);
    setBootApplyRecord(R"({"errorInfo":"{}","time":"01-02-2025 03-04-05"})");
    AddBootTimeRestoreFailure("tarn", "net", "dns");
    AddBootTimeRestoreFailure("tarn", "auth", "users");
    EXPECT_EQ(HOSTAPI_PENDING, GetBootMode());
    EXPECT_FALSE(CreateDocument(getBootApplyRecord())["isBootComplete"].GetBool());
    MarkBootComplete();
    rapidjson::Document state = CreateDocument(getBootApplyRecord());
    EXPECT_TRUE(state["isBootComplete"].GetBool());
    EXPECT_STREQ(R"({"errorInfo":"{}","time":"01-02-2025 03-04-05"})",
                 state["bootApplyRecord"].GetString());
    std::vector<BootRestoreFailure> failures = GetBootTimeRestoreFailures();
    ASSERT_EQ(2u, failures.size());
    EXPECT_EQ("users", failures[1].key);
    EXPECT_EQ("auth", failures[1].group);

    MarkBootStarted();
    EXPECT_EQ(NORMAL, GetBootMode());
    EXPECT_EQ(R"({"isBootComplete":false,"bootApplyRecord":""})", getBootApplyRecord());
    EXPECT_TRUE(GetBootTimeRestoreFailures().empty());
}

TEST_F(StoreRowsTest, NamedObjectsLiveInTheirNamespace) {
    ConfigStoreObjectId id("fleetboot", "bootstrap", "tarn");
    auto object = std::make_shared<ConfigStoreObject>(id);
    object->SetValue("waiter_notify", R"({"a":1})");
    object->SetValue("firewall", "<rules/>");
    auto global = ConfigStore::GetStore(sGlobalNamespace);
    global->WriteObject(object);
    global->WriteObject(CreateObject({"k", "g", "c", "i"}, R"({"v": [1, 2]})", std::nullopt));
    global.reset();
    connection_.reset();  // read back on a fresh connection

    global = ConfigStore::GetStore(sGlobalNamespace);
    std::shared_ptr<ConfigStoreObject> read = global->GetObject(id);
    ASSERT_TRUE(read);
    std::string text;
    EXPECT_TRUE(read->GetValue("firewall", &text));
    EXPECT_EQ("<rules/>", text);
    EXPECT_FALSE(read->GetValue("missing", &text));
    EXPECT_FALSE(read->HasValue());
    EXPECT_EQ(R"({"v":[1,2]})", global->GetObject({"k", "g", "c", "i"})->GetSerializedData());
    EXPECT_FALSE(global->GetObject({"k", "g", "c"}));
    EXPECT_FALSE(ConfigStore::GetStore("other")->GetObject(id));
    EXPECT_FALSE(ConfigStore::GetStore(""));

    EXPECT_TRUE(global->RemoveObject(id));
    EXPECT_FALSE(global->RemoveObject(id));
    EXPECT_FALSE(global->GetObject(id));
}

}  // namespace
