#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/exceptions.h"
#include "host_root_fixture.h"
#include "tarn/json/json_text.h"

using namespace TarnConfigManager;

namespace {

const char kSuiteDir[] = "../shared/testdata/JSONTestSuite/test_parsing";

// The implementation-defined cases we accept; every other i_ case is refused. Accepted:
// integers too big for 64 bits (read as doubles), exponents that underflow to zero, and
// nesting within the 512-level limit. Refused: numbers beyond the double range (they would
// write back as something else), lone or broken surrogate escapes (they decode to bytes that
// are not UTF-8, so the text could not be written back), invalid UTF-8, UTF-16 and
// BOM-prefixed input.
const std::set<std::string> kAcceptedImplementationDefined = {
    "i_number_double_huge_neg_exp.json",   "i_number_real_underflow.json",
    "i_number_too_big_neg_int.json",       "i_number_too_big_pos_int.json",
    "i_number_very_big_negative_int.json", "i_structure_500_nested_arrays.json",
};

std::vector<std::string> SuiteFiles() {
    std::vector<std::string> names;
    DIR* dir = opendir(kSuiteDir);
    if (!dir) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) {
            names.push_back(name);
        }
    }
    closedir(dir);
    return names;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

bool Parses(const std::string& text, rapidjson::Document& doc) {
    try {
        ParseDocument(text, doc);
        return true;
    } catch (const InvalidArgumentException& e) {
        EXPECT_EQ(e.GetCode(), 2080);
        return false;
    }
}

std::string Nested(size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

}  // namespace

TEST(ParseDocument, DecidesEveryJsonTestSuiteCaseAndRoundTripsWhatItAccepts) {
    std::vector<std::string> files = SuiteFiles();
    if (files.empty()) {
        GTEST_SKIP() << "JSONTestSuite not found at " << kSuiteDir
                     << " (run from the project root)";
    }
    size_t accepted = 0;
    for (const std::string& name : files) {
        rapidjson::Document doc;
        bool ok = Parses(ReadBytes(std::string(kSuiteDir) + "/" + name), doc);
        bool expected =
            name[0] == 'y' || (name[0] == 'i' && kAcceptedImplementationDefined.count(name));
        EXPECT_EQ(ok, expected) << name;
        if (!ok) {
            continue;
        }
        ++accepted;
        std::string written;
        SerializeValue(doc, written);
        rapidjson::Document reread;
        ASSERT_TRUE(Parses(written, reread)) << name << " wrote " << written;
        // Compared as text: rapidjson's == cannot compare objects with duplicate names.
        std::string rewritten;
        SerializeValue(reread, rewritten);
        EXPECT_EQ(rewritten, written) << name;
    }
    EXPECT_GT(accepted, 90u);
}

TEST(ParseDocument, AcceptsExactlyOneValueBetweenBlanks) {
    rapidjson::Document doc;
    EXPECT_FALSE(Parses("", doc));
    EXPECT_FALSE(Parses(" \n\t ", doc));
    EXPECT_FALSE(Parses("{}{}", doc));
    EXPECT_FALSE(Parses("{} 1", doc));
    EXPECT_FALSE(Parses(std::string("{}\0{}", 5), doc));
    EXPECT_FALSE(Parses(std::string("{}\0", 3), doc));
    EXPECT_FALSE(Parses("{\"a\":1,}", doc));
    EXPECT_FALSE(Parses("NaN", doc));
    ASSERT_TRUE(Parses(" \n{\"a\": [1, 2.5, \"x\"]}\t ", doc));
    EXPECT_EQ(doc["a"][1].GetDouble(), 2.5);
}

TEST(ParseDocument, RefusesDeepNestingWithoutExhaustingTheStack) {
    rapidjson::Document doc;
    EXPECT_TRUE(Parses(Nested(TarnConfigStore::kMaxJsonDepth), doc));
    EXPECT_FALSE(Parses(Nested(TarnConfigStore::kMaxJsonDepth + 1), doc));
    EXPECT_FALSE(Parses(Nested(100000), doc));
    EXPECT_FALSE(Parses(std::string(100000, '['), doc));
    std::string objects;
    for (int i = 0; i < 100000; ++i) {
        objects += "{\"a\":";
    }
    EXPECT_FALSE(Parses(objects + "1" + std::string(100000, '}'), doc));
}

TEST(ParseDocument, RefusesTextThatCouldNotBeWrittenBack) {
    rapidjson::Document doc;
    EXPECT_FALSE(Parses(R"(["\uDC00"])", doc));
    EXPECT_FALSE(Parses(R"(["\uD800"])", doc));
    EXPECT_FALSE(Parses(R"({"\uDFFF":1})", doc));
    EXPECT_FALSE(Parses("[\"\xED\xA0\x80\"]", doc));
    EXPECT_FALSE(Parses("[\"\xC3\"]", doc));
    ASSERT_TRUE(Parses(R"(["\uD834\uDD1E"])", doc));
    EXPECT_STREQ(doc[0].GetString(), "\xF0\x9D\x84\x9E");
}

TEST(ParseDocument, FailedParseLeavesANullDocument) {
    rapidjson::Document doc;
    ASSERT_TRUE(Parses("{\"keep\":1}", doc));
    EXPECT_FALSE(Parses("{\"keep\":", doc));
    EXPECT_TRUE(doc.IsNull());
}

// The exception names the file and carries the parser's reason and place: on the line and
// column for text that does not parse, without a place for a file that holds no text at all.
TEST(CreateDocumentFromFile, ReportsThePathAndWhereTheFileFails) {
    TarnTest::ResetHostRoot();
    std::string good = TarnTest::RootPath("good.json");
    TarnTest::WriteFile(good, "{\"k\": [true]}\n");
    TarnTest::WriteFile("bad.json", "{\"k\":\n  [true}\n");
    TarnTest::WriteFile("accent.json", "{\"\xc3\xa9\": 1,\n\"\xc3\xa9\xff\": 2}");
    TarnTest::WriteFile("blank.json", "\n \n");
    TarnTest::WriteFile("empty.json", "");
    rapidjson::Document doc;
    CreateDocumentFromFile(good.c_str(), doc);
    EXPECT_TRUE(doc["k"][0].GetBool());
    struct Case {
        std::string path;
        std::string reason;
        size_t line;
        size_t column;
    } cases[] = {
        {TarnTest::RootPath("bad.json"), "Missing a comma or ']' after an array element.", 2, 8},
        // Columns count characters; the place of bad UTF-8 is its first byte.
        {TarnTest::RootPath("accent.json"), "Invalid encoding in string.", 2, 3},
        {TarnTest::RootPath("blank.json"), "The document is empty.", 3, 1},
        {TarnTest::RootPath("empty.json"), "The file is empty.", 0, 0},
        {TarnTest::RootPath("missing.json"),
         "The file cannot be opened: No such file or directory.", 0, 0},
        {TarnTest::RootPath(""), "The path names a folder, not a file.", 0, 0}};
    for (const Case& c : cases) {
        try {
            CreateDocumentFromFile(c.path.c_str(), doc);
            ADD_FAILURE() << c.path;
        } catch (const InvalidArgumentException&) {
            ADD_FAILURE() << "file errors are not argument errors";
        } catch (const ConfigManagerException& e) {
            EXPECT_EQ(e.GetCode(), 2080);
            EXPECT_STREQ(e.what(), "Failed to parse JSON String");
            EXPECT_EQ(e.GetArgs(), std::vector<std::string>{c.path});
            ASSERT_NE(e.GetParseError(), nullptr) << c.path;
            EXPECT_EQ(c.reason, e.GetParseError()->message) << c.path;
            EXPECT_EQ(c.line, e.GetParseError()->line) << c.path;
            EXPECT_EQ(c.column, e.GetParseError()->column) << c.path;
        }
    }
    try {
        ParseDocument("[1,\n\t2,,]", doc);
        ADD_FAILURE() << "parsed";
    } catch (const InvalidArgumentException& e) {
        ASSERT_NE(e.GetParseError(), nullptr);
        EXPECT_EQ(e.GetParseError()->offset, 7u);
        EXPECT_EQ(e.GetParseError()->line, 2u);
        EXPECT_EQ(e.GetParseError()->column, 4u);
    }
}

TEST(JsonConsistencyChecks, RaiseStoreErrorInsteadOfAborting) {
    rapidjson::Document doc;
    ParseDocument("[1, \"two\"]", doc);
    try {
        (void)doc["member"];
        FAIL();
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        EXPECT_EQ(e.GetCode(), 1082);
        EXPECT_EQ(std::string(e.what()).rfind("JSON error: \"", 0), 0u) << e.what();
    }
    EXPECT_THROW((void)doc[1].GetInt(), TarnConfigStore::ConfigStoreException);
    EXPECT_THROW((void)doc[7], TarnConfigStore::ConfigStoreException);
    rapidjson::Value notObject(5);
    rapidjson::Value value("v");
    EXPECT_THROW(AddMember(&doc, &notObject, "k", value), TarnConfigStore::ConfigStoreException);
}

TEST(ParseDocument, SurvivesInputsThatBreakRapidjsonsOwnChecks) {
    rapidjson::Document doc;
    // A text ending inside a multi-byte sequence, and a very long fraction: both once read
    // past the end of their buffers.
    EXPECT_FALSE(Parses(std::string("[\"") + std::string(40, ' ') + "\xF2]", doc));
    ASSERT_TRUE(Parses("[-0." + std::string(5000, '0') + "1]", doc));
    EXPECT_TRUE(doc[0].IsDouble());
    // Exponents far below the double range are zero, never an infinity.
    ASSERT_TRUE(Parses("[1e-400, -1e-999]", doc));
    std::string text;
    SerializeValue(doc, text);
    EXPECT_EQ(text, "[0.0,-0.0]");
}

TEST(ParseDocument, TypesIntegersByTheSmallestTypeThatHoldsThem) {
    rapidjson::Document doc;
    ASSERT_TRUE(
        Parses("[-2147483648, 4294967295, -9223372036854775808, 18446744073709551615,"
               "18446744073709551616, 30000000000000000000, -0]",
               doc));
    EXPECT_TRUE(doc[0].IsInt());
    EXPECT_TRUE(doc[1].IsUint() && !doc[1].IsInt());
    EXPECT_EQ(doc[2].GetInt64(), INT64_MIN);
    EXPECT_EQ(doc[3].GetUint64(), UINT64_MAX);
    EXPECT_TRUE(doc[4].IsDouble());
    EXPECT_DOUBLE_EQ(doc[5].GetDouble(), 3e19);
    EXPECT_TRUE(doc[6].IsInt());
}
