#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/error_info.h"
#include "deradidezivizoda/core/throw_exception.h"
#include "host_root_fixture.h"
#include "tarn/json/json_text.h"

using namespace TarnConfigManager;
using TarnConfigStore::ConfigStoreException;

namespace {

// Raises code through ThrowException with the argument its template takes and returns what
// was caught as the common base.
ConfigStoreException RaiseCaught(CMErrorCodes code) {
    bool takesArgument = std::strstr(ErrorMessageTemplates().at(code), "%s") != nullptr;
    try {
        if (takesArgument) {
            ThrowException<ConfigManagerException>(code, "x");
        }
        ThrowException<ConfigManagerException>(code);
    } catch (const ConfigStoreException& e) {
        return e;
    }
    return ConfigStoreException(0, "");
}

}  // namespace

TEST(ErrorCatalogue, HoldsEveryCodeWithItsIdAndEveryTemplateButUnexpectedError) {
    EXPECT_EQ(ErrorMessageIds().size(), 23u);
    EXPECT_EQ(ErrorMessageTemplates().size(), 22u);
    EXPECT_EQ(ErrorMessageTemplates().count(UNEXPECTED_ERROR), 0u);
    EXPECT_STREQ(ErrorMessageIds().at(UNEXPECTED_ERROR),
                 "com.corvid.tarn.settings.configmanager.unexpected-error");
    EXPECT_STREQ(ErrorMessageIds().at(SCHEMA_STORE_ERROR),
                 "com.corvid.tarn.settings.configmanager.schema-store-error");
    EXPECT_EQ(static_cast<int>(SCHEMA_STORE_ERROR), 2180);
    EXPECT_EQ(static_cast<int>(UNSUPPORTED_CONFIG), 2181);
    for (const auto& entry : ErrorMessageTemplates()) {
        EXPECT_EQ(ErrorMessageIds().count(entry.first), 1u) << entry.first;
    }
}

TEST(ThrowException, FormatsEveryTemplateAndKeepsTheArguments) {
    for (const auto& entry : ErrorMessageTemplates()) {
        ConfigStoreException e = RaiseCaught(entry.first);
        std::string expected = entry.second;
        size_t placeholder = expected.find("%s");
        EXPECT_EQ(e.GetCode(), static_cast<int>(entry.first));
        if (placeholder == std::string::npos) {
            EXPECT_EQ(std::string(e.what()), expected);
            EXPECT_TRUE(e.GetArgs().empty());
        } else {
            expected.replace(placeholder, 2, "x");
            EXPECT_EQ(std::string(e.what()), expected);
            EXPECT_EQ(e.GetArgs(), std::vector<std::string>{"x"});
        }
    }
}

TEST(ThrowException, AcceptsEveryArgumentTypeInUse) {
    std::string text = "Schema not found for some key(s).";
    try {
        ThrowException<SchemaNotFound>(SCHEMA_NOT_FOUND, text.c_str());
    } catch (const SchemaNotFound& e) {
        EXPECT_STREQ(e.what(), "Schema object not found: Schema not found for some key(s).");
        EXPECT_EQ(e.GetArgs(), std::vector<std::string>{text});
    }
    char mutableText[] = "k";
    EXPECT_THROW(ThrowException<ConfigManagerException>(INVALID_KEY_VALUE, mutableText),
                 ConfigManagerException);
    EXPECT_THROW(ThrowException<ConfigManagerException>(INVALID_KEY_VALUE, text),
                 ConfigManagerException);
    EXPECT_THROW(ThrowException<InvalidImpact>(INVALID_IMPACT), InvalidImpact);
    EXPECT_THROW(ThrowException<HostNotInMM>(NOT_IN_MAINT_MODE), HostNotInMM);
    EXPECT_THROW(ThrowException<HostInDBM>(HOST_IN_DBM), HostInDBM);
    EXPECT_THROW(ThrowException<InvalidArgumentException>(EMPTY_DOC), InvalidArgumentException);
}

TEST(ThrowException, UnexpectedErrorCarriesTheRaisersSentence) {
    try {
        ThrowException<ConfigManagerException>(UNEXPECTED_ERROR, "Plugin x has 50% of nothing");
        FAIL();
    } catch (const ConfigManagerException& e) {
        EXPECT_EQ(e.GetCode(), 3000);
        EXPECT_STREQ(e.what(), "Plugin x has 50% of nothing");
        EXPECT_EQ(e.GetArgs(), std::vector<std::string>{"Plugin x has 50% of nothing"});
    }
}

TEST(ExceptionTree, EachCatchClauseCatchesExactlyItsFamily) {
    auto caughtAsManager = [](auto raise) {
        try {
            raise();
        } catch (const ConfigManagerException&) {
            return true;
        } catch (const ConfigStoreException&) {
            return false;
        }
        return false;
    };
    EXPECT_TRUE(caughtAsManager([] { ThrowException<HostNotInMM>(NOT_IN_MAINT_MODE); }));
    EXPECT_TRUE(caughtAsManager([] { ThrowException<SchemaNotFound>(SCHEMA_NOT_FOUND, "k"); }));
    EXPECT_TRUE(
        caughtAsManager([] { ThrowException<ConfigManagerException>(UNEXPECTED_ERROR, "boom"); }));
    EXPECT_FALSE(caughtAsManager([] { throw ConfigStoreException(1082, "JSON error"); }));
    EXPECT_FALSE(caughtAsManager([] { throw ConfigStoreException(2000, "no data"); }));

    try {
        ThrowException<InvalidArgumentException>(PARSE_ERROR);
    } catch (const HostCtl::Lib::HostCtlException& e) {
        EXPECT_STREQ(e.what(), "Failed to parse JSON String");
    }
    try {
        ThrowException<InvalidImpact>(INVALID_IMPACT);
    } catch (const HostNotInMM&) {
        ADD_FAILURE() << "a sibling leaf caught the exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "The impact result is not applicable anymore.");
    }
}

TEST(ErrorInfoRecord, EmptyIdMeansSuccessAndMoveEmptiesTheSourceList) {
    ErrorInfo ok;
    EXPECT_TRUE(ok.id.empty());
    ErrorInfo failed("com.example.id", {"a", "b"}, "text");
    ErrorInfo target("old.id", {"z"}, "old");
    target = std::move(failed);
    EXPECT_EQ(target, ErrorInfo("com.example.id", {"a", "b"}, "text"));
    EXPECT_TRUE(failed.args.empty());
    ErrorInfo constructed(std::move(target));
    EXPECT_TRUE(target.args.empty());
    EXPECT_EQ(constructed.args.size(), 2u);
}

TEST(ErrorInfoRecord, SerializeAndDeserializeAreInverse) {
    ErrorInfo original("com.corvid.tarn.x", {"quote \" and \\ back", "ünïcode ✓", ""},
                       "line\nbreak\ttab");
    ErrorInfo read;
    read.Deserialize(original.Serialize());
    EXPECT_EQ(read, original);
    ErrorInfo empty;
    read.Deserialize(empty.Serialize());
    EXPECT_EQ(read, empty);
    EXPECT_EQ(original.Serialize(),
              R"({"id":"com.corvid.tarn.x","args":["quote \" and \\ back","ünïcode ✓",""],)"
              R"("message":"line\nbreak\ttab"})");
    EXPECT_THROW(read.Deserialize("[1]"), ConfigStoreException);
    EXPECT_THROW(read.Deserialize(R"({"args":[1]})"), ConfigStoreException);
    EXPECT_THROW(read.Deserialize("{"), ConfigStoreException);
}

TEST(ErrorInfoRecord, LoadsAResultFileAndNamesABadOne) {
    TarnTest::ResetHostRoot();
    std::string path = TarnTest::RootPath("result.json");
    TarnTest::WriteFile(path, R"({"id":"x.y","args":["p"]})");
    ErrorInfo loaded = ErrorInfo::Load(path);
    EXPECT_EQ(loaded, ErrorInfo("x.y", {"p"}, ""));
    TarnTest::WriteFile(path, R"({"id":"x.y",)");
    try {
        ErrorInfo::Load(path);
        FAIL();
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
    }
    EXPECT_THROW(ErrorInfo::Load(TarnTest::RootPath("missing.json")), std::runtime_error);

    rapidjson::Document doc(rapidjson::kObjectType);
    ErrorInfo("i", {"a"}, "m").convertToJson(doc, doc.GetAllocator());
    EXPECT_EQ(TarnConfigStore::WriteJsonText(doc), R"({"id":"i","args":["a"],"message":"m"})");
}
