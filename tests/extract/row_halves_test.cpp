// Extractions large enough to convert their rows on two threads (current, desired and the
// export's view) give the document, the log lines and the first error that converting every row
// in order gives (ProcessConfigMapList).
#include <gtest/gtest.h>

#include "deadline.h"
#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/core/host_state.h"
#include "deradidezivizoda/extract/config_map_list.h"
#include "deradidezivizoda/extract/export_document.h"
#include "deradidezivizoda/extract/extract_configuration.h"
#include "deradidezivizoda/extract/extract_user_configuration.h"
#include "extract_fixture.h"
#include "row_cut.h"
#include "tarn/configstore/config_store.h"
#include "tarn/configstore/config_store_document.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;
using namespace ExtractTest;
using TarnConfigStore::RowTable;
using TarnConfigStore::StoreRow;

namespace {

const char kInstance[] = R"({"type": "object", "required": ["name"],
    "properties": {"name": {"type": "string"}, "mtu": {"type": "integer", "default": 1500},
                   "state": {"type": "string", "readOnly": true}}})";
const char kSingle[] = R"({"type": "object", "properties": {"size": {"type": "integer",
    "default": 100}, "note": {"type": "string"}}})";
const char kMulti[] = R"(,"multiInstance": true, "instanceKey": "name")";

// The lines from the first of text on.
std::vector<CSLogger::Line> From(const std::vector<CSLogger::Line>& lines,
                                 const std::string& text) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].text == text) {
            return std::vector<CSLogger::Line>(lines.begin() + static_cast<long>(i), lines.end());
        }
    }
    ADD_FAILURE() << "no line " << text;
    return {};
}

void ExpectSameLines(const std::vector<CSLogger::Line>& expected,
                     const std::vector<CSLogger::Line>& actual) {
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(expected[i].text, actual[i].text) << "line " << i;
        ASSERT_EQ(expected[i].priority, actual[i].priority) << expected[i].text;
    }
}

const char kConversionStart[] = "ProcessConfigMapList invoked with DocumentType=";

class RowHalves : public ExtractionTest {
protected:
    void SetUp() override {
        ExtractionTest::SetUp();
        for (int k = 0; k < kKeys; ++k) {
            Schema(Component(k), Group(k), "k" + std::to_string(k), kInstance, kMulti);
            Schema(Component(k), Group(k), "single" + std::to_string(k), kSingle);
        }
        Schema(
            "net", "links", "interfaces", kInstance,
            R"(,"multiInstance": true, "instanceKey": "name", "reservedInstanceIds": ["mgmt0"])");
        Schema("legacy", "agent", "settings", kSingle, R"(,"integrated": false)");
        for (const char* key : {"server_config", "client_config", "authorized_keys"}) {
            TarnTest::InstallKeySchema(
                "tarn", "ssh", key,
                TarnTest::ReadFile(std::string(TARN_SOURCE_DIR) +
                                   "/platform/sablectl/schemas/tarn/ssh/" + key + ".json"));
        }
    }

    static constexpr int kKeys = 60;
    static constexpr int kInstances = 40;

    // Components and groups recur across the keys, so that both halves add to the same ones.
    static std::string Component(int k) { return "comp" + std::to_string(k % 7); }
    static std::string Group(int k) { return "group" + std::to_string(k % 3); }

    void Put(RowTable table, const std::string& c, const std::string& g, const std::string& k,
             const std::string& id, const std::string& value, const std::string& autoConf = "") {
        TarnConfigStore::PutRow(connection_, table, {c, g, k, id, value, autoConf});
    }

    // A host of 2 400 instances and what every filter and cleanup does to rows: defaults and
    // read-only members dropped, values cleaned up to nothing, a reserved instance, a key
    // left out of documents, a missing member filled in from auto-configuration, and one key
    // whose instances were stored first and last (on both sides of any cut).
    void StoreHost(RowTable table) {
        TarnConfigStore::ConfigStoreTransaction transaction(connection_);
        Put(table, "net", "links", "interfaces", "eth0", R"({"name":"eth0","mtu":9000})");
        for (int k = 0; k < kKeys; ++k) {
            const std::string key = "k" + std::to_string(k);
            for (int i = 0; i < kInstances; ++i) {
                const std::string name = "i" + std::to_string(i);
                Put(table, Component(k), Group(k), key, name,
                    R"({"name":")" + name + R"(","mtu":)" + std::to_string(1400 + i * 5) +
                        R"(,"state":"up"})");
            }
            Put(table, Component(k), Group(k), "single" + std::to_string(k), "",
                k % 2 ? R"({"size":100})" : R"({"size":7,"note":"n"})");
        }
        Put(table, "legacy", "agent", "settings", "", R"({"size":1})");
        Put(table, "net", "links", "interfaces", "mgmt0", R"({"name":"mgmt0"})");
        Put(table, "net", "links", "interfaces", "eth1", R"({"mtu":1500})", R"({"name":"eth1"})");
        transaction.Commit();
    }

    // The rows converted in order on one thread.
    static std::string Sequential(RowList rows, DocumentType type) {
        rapidjson::Document document(rapidjson::kObjectType);
        ProcessConfigMapList(document, rows, TarnSchemaStore::SchemaStore::GetStore(), type,
                             nullptr);
        return Text(document);
    }

    // Where the rows of table are cut for a second thread: their positions from there on.
    int64_t Cut(RowTable table) {
        RowPositionCut cut = CutRowPositions(connection_, table);
        EXPECT_LT(cut.at, cut.end) << "the host is not converted on two threads";
        return cut.at;
    }

    // The position of a row of the table, counted as the store counts them.
    int64_t Position(RowTable table, const std::string& key, const std::string& identifier) {
        std::vector<StoreRow> rows = TarnConfigStore::ReadStoreRows(connection_, table);
        int64_t first = TarnConfigStore::GetRowSpan(connection_, table).first;
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].key == key && rows[i].identifier == identifier) {
                return first + static_cast<int64_t>(i);
            }
        }
        ADD_FAILURE() << "no row " << key << "/" << identifier;
        return -1;
    }

    // The extraction of table gives the document and the lines of its rows converted in order
    // on one thread.
    // type EXPORT_CONFIG: the export's view of the current rows.
    void ExpectAsOneThread(RowTable table, DocumentType type) {
        const bool current = table == RowTable::kCurrent;
        CSLogger::Capture log;
        rapidjson::Document document = type == EXPORT_CONFIG ? ExtractUserConfiguration(type)
                                       : current             ? ExtractCurrentConfiguration()
                                                             : ExtractDesiredConfiguration();
        std::vector<CSLogger::Line> lines = log.Lines();
        RowList rows = current ? TarnConfigStore::GetUserConfigContents(connection_)
                               : TarnConfigStore::GetDesiredUserConfigContents(connection_);
        CSLogger::Capture sequentialLog;
        EXPECT_EQ(Sequential(rows, type), Text(document));
        const std::string start = kConversionStart + std::to_string(type);
        ExpectSameLines(From(sequentialLog.Lines(), start), From(lines, start));
        if (current) {
            EXPECT_NE(
                Text(document).find(R"("interfaces":[{"name":"eth0","mtu":9000},{"name":"eth1"}])"),
                std::string::npos);
        }
    }
};

}  // namespace

TEST_F(RowHalves, DocumentsAndLinesAreThoseOfOneThread) {
    TarnTest::Deadline deadline("extractions of 2 400 rows");
    for (RowTable table : {RowTable::kCurrent, RowTable::kDesired}) {
        StoreHost(table);
        Cut(table);
        ExpectAsOneThread(table, table == RowTable::kCurrent ? CURRENT_CONFIG : DESIRED_CONFIG);
    }
    ExpectAsOneThread(RowTable::kCurrent, EXPORT_CONFIG);
    // A key both halves add to, once as a single object: the rows are then converted on one
    // thread, the later single object replacing the instances before it.
    Put(RowTable::kDesired, "comp1", "group1", "k1", "", R"({"name":"one"})");
    EXPECT_GE(Position(RowTable::kDesired, "k1", ""), Cut(RowTable::kDesired));
    ExpectAsOneThread(RowTable::kDesired, DESIRED_CONFIG);
}

TEST_F(RowHalves, TheFirstErrorInRowOrderIsThrownAfterTheLinesBeforeIt) {
    StoreHost(RowTable::kDesired);
    const int64_t cut = Cut(RowTable::kDesired);
    // Written past the store's own check of what it stores.
    auto bad = [&](int k, int i, const std::string& value) {
        connection_->Execute(("UPDATE desired_config SET value = '" + value + "' WHERE name = 'k" +
                              std::to_string(k) + "' AND identifier = 'i" + std::to_string(i) + "'")
                                 .c_str());
    };
    auto expectAsOneThread = [&](int code) {
        std::vector<CSLogger::Line> expected;
        try {
            CSLogger::Capture log;
            try {
                Sequential(TarnConfigStore::GetDesiredUserConfigContents(connection_),
                           DESIRED_CONFIG);
            } catch (...) {
                expected = log.Lines();
                throw;
            }
            FAIL() << "no error from one thread";
        } catch (const TarnConfigStore::ConfigStoreException& error) {
            EXPECT_EQ(code, error.GetCode());
        }
        CSLogger::Capture log;
        try {
            ExtractDesiredConfiguration();
            FAIL() << "no error from two threads";
        } catch (const TarnConfigStore::ConfigStoreException& error) {
            EXPECT_EQ(code, error.GetCode()) << error.what();
        }
        const std::string start = kConversionStart + std::to_string(DESIRED_CONFIG);
        ExpectSameLines(From(expected, start), From(log.Lines(), start));
    };
    // Rows of the second half: a value that does not parse, then one of a key without schema.
    bad(kKeys - 2, 3, R"({"name":)");
    Put(RowTable::kDesired, "comp0", "group0", "gone", "", "{}");
    expectAsOneThread(2080);
    // And before them, in the first half, a row that asks to delete a default.
    bad(1, 2, "DELETE_DEFAULT");
    expectAsOneThread(2027);
    EXPECT_LT(Position(RowTable::kDesired, "k1", "i2"), cut);
    EXPECT_GE(Position(RowTable::kDesired, "k" + std::to_string(kKeys - 2), "i3"), cut);
    EXPECT_GE(Position(RowTable::kDesired, "gone", ""), cut);
}

// The export writes each value's text as its row is converted, on both threads: its text and
// its lines are those of the extracted document written out in normal form.
TEST_F(RowHalves, TheExportIsTheExtractedDocumentInNormalForm) {
    StoreHost(RowTable::kCurrent);
    // Members out of order, an integral double, nested values, escapes, text beyond ASCII, in
    // both halves; a single object; an instance that cleans up to nothing.
    for (const char* k : {"k0", "k59"}) {
        Put(RowTable::kCurrent, k == std::string("k0") ? "comp0" : "comp3",
            k == std::string("k0") ? "group0" : "group2", k, "z9",
            R"({"state":"up","mtu":1.0e3,"name":"z9\"\u00e9\n","x":{"b":[2.50,{"d":1,"c":null}],"a":0}})");
    }
    Put(RowTable::kCurrent, "comp0", "group0", "single0", "", R"({"note":"n","size":7.0})");
    Put(RowTable::kCurrent, "comp1", "group1", "k1", "gone", R"({"state":"down"})");
    Cut(RowTable::kCurrent);
    std::string exported;
    std::vector<CSLogger::Line> exportLines;
    {
        CSLogger::Capture log;
        exported = ExportDocument();
        exportLines = log.Lines();
    }
    CSLogger::Capture log;
    rapidjson::Document document = ExtractUserConfiguration(EXPORT_CONFIG);
    const std::string start = kConversionStart + std::to_string(EXPORT_CONFIG);
    std::vector<CSLogger::Line> lines = From(log.Lines(), start);
    AddReferenceHost(GetBIOSUUID(), document);
    EXPECT_EQ(ConfigStoreDocument::NormalizeInPlace(document), exported);
    EXPECT_NE(exported.find(R"({"mtu":1000,"name":"z9\"é\n","x":{"a":0,"b":[2.5,{"d":1}]}})"),
              std::string::npos);
    exportLines = From(exportLines, start);
    ASSERT_GE(exportLines.size(), lines.size());
    exportLines.resize(lines.size());
    ExpectSameLines(lines, exportLines);
}
