#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include <sys/stat.h>

#include "deradidezivizoda/core/document.h"
#include "expect_store_error.h"
#include "host_root_fixture.h"
#include "tarn/json/json_doc.h"
#include "tarn/logger/cs_logger.h"

using namespace TarnConfigManager;

namespace {

rapidjson::Document Parsed(const char* text) {
    rapidjson::Document doc;
    ParseDocument(text, doc);
    return doc;
}

}  // namespace

TEST(IsEqualArray, ComparesAsMultisets) {
    EXPECT_TRUE(IsEqualArray(Parsed("[]"), Parsed("[]")));
    EXPECT_FALSE(IsEqualArray(Parsed("null"), Parsed("[]")));
    EXPECT_FALSE(IsEqualArray(Parsed("[]"), Parsed("{}")));
    EXPECT_TRUE(IsEqualArray(Parsed("[1]"), Parsed("[1.0]")));
    EXPECT_TRUE(IsEqualArray(Parsed("[1,2,2]"), Parsed("[2,1,2]")));
    EXPECT_FALSE(IsEqualArray(Parsed("[1,2,2]"), Parsed("[1,1,2]")));
    EXPECT_FALSE(IsEqualArray(Parsed("[1,1,2]"), Parsed("[1,2,2]")));
    EXPECT_FALSE(IsEqualArray(Parsed("[1,2]"), Parsed("[1,2,2]")));
    EXPECT_FALSE(IsEqualArray(Parsed("[\"1\"]"), Parsed("[1]")));
    EXPECT_TRUE(
        IsEqualArray(Parsed(R"([{"a":1,"b":[1,2]},"x"])"), Parsed(R"(["x",{"b":[1,2],"a":1}])")));
    EXPECT_FALSE(IsEqualArray(Parsed(R"([{"b":[1,2]}])"), Parsed(R"([{"b":[2,1]}])")));
}

TEST(AddMember, AppendsEvenWhenTheNameExists) {
    rapidjson::Document doc(rapidjson::kObjectType);
    rapidjson::Value first(1);
    rapidjson::Value second("two");
    AddMember(&doc, &doc, "k", first);
    AddMember(&doc, &doc, "k", second);
    EXPECT_TRUE(first.IsNull());
    std::string text;
    SerializeValue(doc, text);
    EXPECT_EQ(text, R"({"k":1,"k":"two"})");
}

TEST(DocumentFiles, WriteCompactlyAndNeverReportFailure) {
    TarnTest::ResetHostRoot();
    std::string path = TarnTest::RootPath("written/out.json");
    rapidjson::Document doc = Parsed(" { \"a\" : [ 1 , { } ] } ");
    TarnTest::WriteFile(path, "an older, longer text that must not show through");
    CreateFileFromDocument(path.c_str(), doc);
    EXPECT_EQ(TarnTest::ReadFile(path), R"({"a":[1,{}]})");
    auto entries = std::filesystem::directory_iterator(TarnTest::RootPath("written"));
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 1) << "no temporary file is left";
    std::string unwritable = TarnTest::RootPath("no/such/folder/out.json");
    CreateFileFromDocument(unwritable.c_str(), doc);
    EXPECT_FALSE(TarnTest::PathExists(unwritable));
}

TEST(FileExists, IsTrueOnlyForRegularFiles) {
    TarnTest::ResetHostRoot();
    TarnTest::WriteFile("file", "x");
    EXPECT_TRUE(fileExists(TarnTest::RootPath("file")));
    EXPECT_FALSE(fileExists(TarnTest::RootPath("")));
    EXPECT_FALSE(fileExists(TarnTest::RootPath("missing")));
    EXPECT_FALSE(fileExists(TarnTest::RootPath("file/below")));
}

// A path walks members and, for an array, the element whose key member holds the value; a
// step that finds nothing is logged as an error and refused.
TEST(JsonDocPath, NamesASubObjectOrIsRefusedWithTheMissingStep) {
    auto doc = CreateDocumentFromString(
        R"({"net": {"routes": [{"name": "a", "via": 1}, {"name": "b", "via": 2}]}})");
    EXPECT_EQ(&doc->GetDocument(), doc->GetJsonValuePtr());
    doc->SetPath({{"net", "", ""}, {"routes", "name", "b"}});
    EXPECT_EQ(2, (*doc->GetJsonValuePtr())["via"].GetInt());

    CSLogger::Capture capture;
    doc->SetPath({{"net", "", ""}, {"routes", "name", "c"}});
    ExpectStoreError(2000, [&] { doc->GetJsonValuePtr(); },
                     {"Subobject instance does not exists."});
    EXPECT_TRUE(capture.Contains(0, "Cannot find subobject instance name=c"));
    doc->SetPath({{"net", "", ""}, {"links", "", ""}});
    ExpectStoreError(2000, [&] { doc->GetJsonValuePtr(); }, {"Subobject does not exists."});
    EXPECT_TRUE(capture.Contains(0, "Cannot find subobject links"));
}
