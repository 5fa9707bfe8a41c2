// The compact writer against rapidjson's own Writer: the same bytes for every kind of value,
// and a refusal of text that is not UTF-8 or numbers that are not finite. Deep copies against
// rapidjson's copying constructor. Parse errors as the iterative reader words them, with the
// line and column people look for.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <string>

#include "tarn/json/config_store_exception.h"
#include "tarn/json/json_copy.h"
#include "tarn/json/json_text.h"
#include "tarn/paths.h"

namespace {

using TarnConfigStore::WriteJsonText;

std::string RapidjsonText(const rapidjson::Value& value) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    EXPECT_TRUE(value.Accept(writer));
    return std::string(buffer.GetString(), buffer.GetSize());
}

int WriteErrorCode(const rapidjson::Value& value, std::string& out) {
    try {
        WriteJsonText(value, out);
    } catch (const TarnConfigStore::ConfigStoreException& e) {
        return e.GetCode();
    }
    return 0;
}

TEST(CompactWriterTest, WritesWhatRapidjsonWrites) {
    rapidjson::Document doc(rapidjson::kObjectType);
    auto& a = doc.GetAllocator();
    std::string everyAscii;
    for (int c = 0; c < 0x80; ++c) {
        everyAscii += static_cast<char>(c);
    }
    std::string unicode = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBF\x7F";
    doc.AddMember("ascii", rapidjson::Value(everyAscii, a), a);
    doc.AddMember(rapidjson::Value(unicode, a), rapidjson::Value(unicode, a), a);
    doc.AddMember(rapidjson::Value(std::string("k\"\\\n\x01", 5), a), rapidjson::Value(true), a);
    rapidjson::Value numbers(rapidjson::kArrayType);
    for (int64_t i : {int64_t{0}, int64_t{-1}, int64_t{INT32_MIN}, int64_t{INT32_MAX},
                      int64_t{UINT32_MAX}, INT64_MIN, INT64_MAX}) {
        numbers.PushBack(i, a);
    }
    numbers.PushBack(UINT64_MAX, a);
    for (double d : {0.0, -0.0, 0.1, -1.5, 1e-7, 1e21, 123456789012345678.0, 5e-324, DBL_MAX,
                     -DBL_MIN, 2.0 / 3.0}) {
        numbers.PushBack(d, a);
    }
    doc.AddMember("numbers", numbers, a);
    rapidjson::Value empties(rapidjson::kArrayType);
    empties.PushBack(rapidjson::Value(rapidjson::kObjectType), a);
    empties.PushBack(rapidjson::Value(rapidjson::kArrayType), a);
    empties.PushBack(rapidjson::Value(rapidjson::kNullType), a);
    empties.PushBack(false, a);
    empties.PushBack(rapidjson::Value("", a), a);
    doc.AddMember("empties", empties, a);
    doc.AddMember("", rapidjson::Value(rapidjson::kObjectType), a);
    // A string long enough to make the output grow several times while it is written.
    doc.AddMember("long", rapidjson::Value(std::string(100000, '"'), a), a);

    EXPECT_EQ(RapidjsonText(doc), WriteJsonText(doc));
    for (const auto& member : doc.GetObject()) {
        EXPECT_EQ(RapidjsonText(member.value), WriteJsonText(member.value));
    }
    EXPECT_EQ("{}", WriteJsonText(rapidjson::Value(rapidjson::kObjectType)));
    EXPECT_EQ("[[]]", WriteJsonText(
                          doc["empties"][1].PushBack(rapidjson::Value(rapidjson::kArrayType), a)));
    EXPECT_EQ("\"\"", WriteJsonText(rapidjson::Value("")));
    EXPECT_EQ("-7", WriteJsonText(rapidjson::Value(-7)));
}

// Strings of every length up to three words, clean or with one byte that needs care at each
// place: whole words, the last bytes (written as a word of their own) and the escapes come out
// as rapidjson writes them, in a value and appended alone.
TEST(CompactWriterTest, WritesEveryLengthAndPlaceOfASpecialByteAsRapidjson) {
    for (size_t n = 0; n <= 24; ++n) {
        for (size_t place = 0; place <= n; ++place) {
            for (const char* special : {"\"", "\\", "\n", "\x01", "\xC3\xA9"}) {
                std::string text;
                for (size_t i = 0; i < n; ++i) {
                    text += static_cast<char>('a' + i);
                }
                if (place < n) {
                    text.replace(place, 1, special);
                }
                rapidjson::Document doc(rapidjson::kArrayType);
                doc.PushBack(rapidjson::Value(text, doc.GetAllocator()), doc.GetAllocator());
                const std::string expected = RapidjsonText(doc);
                ASSERT_EQ(expected, WriteJsonText(doc)) << n << " " << place;
                std::string out = "[";
                TarnConfigStore::AppendJsonString(text, out);
                ASSERT_EQ(expected, out + "]") << n << " " << place;
            }
        }
    }
}

// Strings named as texts go in as they are, and so do the string elements of an array named
// so; everything else, the same strings elsewhere included, is written as usual.
TEST(CompactWriterTest, WritesTheStringsNamedAsTextsAsTheyAre) {
    rapidjson::Document doc;
    ASSERT_TRUE(TarnConfigStore::ParseJsonText(
        R"({"one":"{\"a\":1}","many":["[1]","{}",7,"\"s\""],"plain":"{}","in":{"x":"[2]"}})", doc));
    TarnConfigStore::JsonTextValues texts = {&doc["one"], &doc["many"], &doc["in"]["x"]};
    std::string out;
    WriteJsonText(doc, texts, out);
    EXPECT_EQ(R"({"one":{"a":1},"many":[[1],{},7,"s"],"plain":"{}","in":{"x":[2]}})", out);
    WriteJsonText(doc, TarnConfigStore::JsonTextValues{}, out);
    EXPECT_EQ(WriteJsonText(doc), out);
}

TEST(CompactWriterTest, RefusesTextThatIsNotUtf8AndNumbersThatAreNotFinite) {
    const char* broken[] = {
        "\xC0\x80",          // overlong NUL
        "\xE0\x80\xAF",      // overlong slash
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // above U+10FFFF
        "\xF5\x80\x80\x80",  // no such lead byte
        "ok \xE2\x82",       // cut short at the end
        "\xE2\x82 ok",       // cut short inside
        "\x80",              // a lone continuation byte
    };
    for (const char* text : broken) {
        rapidjson::Value value(rapidjson::StringRef(text));
        std::string out = "kept";
        EXPECT_EQ(1082, WriteErrorCode(value, out)) << text;
        EXPECT_EQ("kept", out);

        rapidjson::Document named(rapidjson::kObjectType);
        named.AddMember(rapidjson::StringRef(text), 1, named.GetAllocator());
        EXPECT_EQ(1082, WriteErrorCode(named, out)) << text;
    }
    for (double d :
         {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
          std::numeric_limits<double>::quiet_NaN()}) {
        rapidjson::Document doc(rapidjson::kArrayType);
        doc.PushBack(1, doc.GetAllocator()).PushBack(d, doc.GetAllocator());
        std::string out;
        EXPECT_EQ(1082, WriteErrorCode(doc, out));
        EXPECT_THROW(TarnConfigStore::WriteJsonPretty(doc), TarnConfigStore::ConfigStoreException);
    }
}

// Strings are written several bytes at a time between the bytes that need care: each such
// byte, and each broken sequence, at every place in a run of plain text.
TEST(CompactWriterTest, BytesThatNeedCareAreFoundWhereverTheyStand) {
    const std::string pieces[] = {"\"",   "\\",       std::string(1, '\0'), "\x1F",
                                  "\x7F", "\xC3\xA9", "\xE2\x82\xAC",       "\xF0\x9F\x98\x80"};
    const char* broken[] = {"\xC0\x80", "\xED\xA0\x80", "\xE2\x82", "\x80", "\xF5\x80\x80\x80"};
    for (size_t before = 0; before < 18; ++before) {
        for (const std::string& piece : pieces) {
            const std::string text = std::string(before, 'a') + piece + std::string(17, 'b');
            rapidjson::Value value(rapidjson::StringRef(text.data(), text.size()));
            EXPECT_EQ(RapidjsonText(value), WriteJsonText(value)) << before;
        }
        for (const char* piece : broken) {
            const std::string text = std::string(before, 'a') + piece + std::string(17, 'b');
            rapidjson::Value value(rapidjson::StringRef(text.data(), text.size()));
            std::string out;
            EXPECT_EQ(1082, WriteErrorCode(value, out)) << before << " " << piece;
            // cut short where the string ends
            const std::string atEnd = std::string(before, 'a') + piece;
            rapidjson::Value last(rapidjson::StringRef(atEnd.data(), atEnd.size() - 1));
            if (atEnd.size() - 1 > before) {
                EXPECT_EQ(1082, WriteErrorCode(last, out)) << before << " " << piece;
            }
        }
    }
}

TEST(CopyJsonValueTest, CopiesWhatTheCopyingConstructorCopies) {
    rapidjson::Document source(rapidjson::kObjectType);
    auto& a = source.GetAllocator();
    static const char kLiteral[] = "held by reference";
    rapidjson::Value wide(rapidjson::kArrayType);  // more than the stack buffer holds
    for (int i = 0; i < 2000; ++i) {
        rapidjson::Value entry(rapidjson::kObjectType);
        entry.AddMember("name", rapidjson::Value(("p" + std::to_string(i)).c_str(), a), a);
        entry.AddMember("ref", rapidjson::StringRef(kLiteral), a);
        wide.PushBack(entry, a);
    }
    source.AddMember("wide", wide, a);
    source.AddMember("nested", rapidjson::Value(rapidjson::kObjectType), a);
    source["nested"].AddMember("list", rapidjson::Value(rapidjson::kArrayType), a);
    source["nested"]["list"].PushBack(1.5, a).PushBack(rapidjson::Value(), a).PushBack(true, a);

    rapidjson::Document target;
    const rapidjson::Value* values[] = {&source,
                                        &source["nested"],
                                        &source["wide"][7],
                                        &source["wide"][7]["name"],
                                        &source["wide"][7]["ref"],
                                        &source["nested"]["list"][0]};
    for (const rapidjson::Value* value : values) {
        rapidjson::Value expected(*value, target.GetAllocator());
        rapidjson::Value copy = TarnConfigStore::CopyJsonValue(*value, target.GetAllocator());
        EXPECT_EQ(expected, copy);
        EXPECT_EQ(WriteJsonText(expected), WriteJsonText(copy));
    }
    rapidjson::Value copy = TarnConfigStore::CopyJsonValue(source, target.GetAllocator());
    EXPECT_EQ(kLiteral, copy["wide"][1999]["ref"].GetString());
    EXPECT_NE(source["wide"][1999]["name"].GetString(), copy["wide"][1999]["name"].GetString());
    source["wide"][1999]["name"].SetString("changed", a);
    EXPECT_STREQ("p1999", copy["wide"][1999]["name"].GetString());
}

TEST(ParseJsonTextTest, ErrorsAreWordedAndPlacedAsTheIterativeReaderDoes) {
    // Texts the faster recursive reader would refuse in other words or at another offset.
    std::string deep = std::string(600, '[') + std::string(600, ']');
    struct Case {
        std::string text;
        const char* message;
        size_t offset;
        size_t line;
        size_t column;
    } cases[] = {
        {",[1]", "The document is empty.", 0, 1, 1},
        {"[1,]", "Invalid value.", 3, 1, 4},
        {deep, "Nesting is deeper than the limit of 512 levels.", 512, 1, 513},
        {"[1]\n\n [2]", "The document root must not be followed by other values.", 6, 3, 2},
        {"[\"\xe2\x82\xac\", \n  \"\xe2\x82\xac\",]", "Invalid value.", 17, 2, 7},
        {"\n\n[\"\xe2\x82\"]", "Invalid encoding in string.", 4, 3, 3},
        {"", "The document is empty.", 0, 0, 0}};
    for (const Case& c : cases) {
        rapidjson::Document doc;
        TarnConfigStore::JsonParseError error;
        EXPECT_FALSE(TarnConfigStore::ParseJsonText(c.text, doc, &error)) << c.text;
        EXPECT_EQ(c.message, error.message) << c.text;
        EXPECT_EQ(c.offset, error.offset) << c.text;
        EXPECT_EQ(c.line, error.line) << c.text;
        EXPECT_EQ(c.column, error.column) << c.text;
        EXPECT_TRUE(doc.IsNull());
    }
}

TEST(ParseJsonTextTest, AFileAboveTheSizeLimitIsRefusedBeforeItIsRead) {
    // A sparse file one byte above the limit: it costs no disk and is never read.
    const std::string path = TARN_ROOT_DIR "/oversized.json";
    const size_t size = TarnConfigStore::kMaxJsonBytes + 1;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ftruncate(fd, static_cast<off_t>(size)));
    ASSERT_EQ(2, pwrite(fd, "{}", 2, 0));
    close(fd);
    rapidjson::Document doc;
    TarnConfigStore::JsonParseError error;
    EXPECT_FALSE(TarnConfigStore::ParseJsonFile(path.c_str(), doc, &error));
    EXPECT_EQ("The text is " + std::to_string(size) + " bytes, more than the limit of " +
                  std::to_string(TarnConfigStore::kMaxJsonBytes) + " bytes (" +
                  std::to_string(TarnConfigStore::kMaxJsonBytes >> 20) + " MiB).",
              error.message);
    EXPECT_TRUE(doc.IsNull());
    unlink(path.c_str());
}

}  // namespace

// Indenting written text gives what indenting the value it holds gives, numbers of every kind
// included; text that is not JSON or not UTF-8 is refused.
TEST(IndentJsonTextTest, EqualsThePrettyTextOfTheValue) {
    rapidjson::Document value;
    value.Parse(R"({"i": -12, "u": 18446744073709551615, "big": 1e300, "d": -0.000125,
        "third": 0.3333333333333333, "s": "tab\t \"q\" \u00e9 \u20ac", "e": {}, "a": [],
        "n": [null, true, false, [1, [2.5, {"k": "v"}]]], "k": "v", "k": "dup"})");
    ASSERT_FALSE(value.HasParseError());
    const std::string compact = WriteJsonText(value);
    EXPECT_EQ(TarnConfigStore::IndentJsonText(compact),
              TarnConfigStore::WriteJsonPretty(value) + "\n");
    for (const std::string& bad : {std::string("{\"a\":"), std::string("[\"\x80\"]")}) {
        EXPECT_THROW(TarnConfigStore::IndentJsonText(bad), TarnConfigStore::ConfigStoreException)
            << bad;
    }
}
