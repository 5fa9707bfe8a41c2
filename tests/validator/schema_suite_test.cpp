// Runs every draft-04 case of the JSON Schema Test Suite (and the optional cases of the
// formats and number forms the validator supports) through both entry points.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tarn/json/json_text.h"
#include "tarn/validator/json_validator.h"

namespace {

const char kSuiteDir[] = "/usr/share/json-schema-test-suite";

std::vector<std::string> JsonFilesIn(const std::string& dir) {
    std::vector<std::string> files;
    if (DIR* handle = opendir(dir.c_str())) {
        while (dirent* entry = readdir(handle)) {
            std::string name = entry->d_name;
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) {
                files.push_back(dir + "/" + name);
            }
        }
        closedir(handle);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every "error" text must be a printf format whose only conversion is one "%s".
bool IsSafeFormat(const std::string& text) {
    int conversions = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '%') {
            ++i;
        } else if (i + 1 < text.size() && text[i + 1] == 's') {
            ++conversions;
        } else {
            return false;
        }
    }
    return conversions <= 1;
}

struct SuiteRun {
    int cases = 0;
    std::vector<std::string> mismatches;

    void RunFile(const std::string& path) {
        rapidjson::Document groups;
        TarnConfigStore::JsonParseError error;
        ASSERT_TRUE(TarnConfigStore::ParseJsonFile(path.c_str(), groups, &error))
            << path << ": " << error.message;
        for (const auto& group : groups.GetArray()) {
            for (const auto& test : group["tests"].GetArray()) {
                RunCase(path, group, test);
            }
        }
    }

    void RunCase(const std::string& path, const rapidjson::Value& group,
                 const rapidjson::Value& test) {
        // Unknown keywords are advisory; the suite's schemas use a few on purpose.
        const std::unordered_set<int> codes = {JsonValidator::kUnknownKeyword};
        rapidjson::Document errors;
        rapidjson::Document documentErrors;
        JsonValidator::Validate(group["schema"], test["data"], errors, codes, "");
        JsonValidator::ValidateCMDocument(group["schema"], test["data"], documentErrors, codes, "");
        ++cases;
        bool expected = test["valid"].GetBool();
        std::string name = path.substr(path.rfind("/tests/") + 7) + ": " +
                           group["description"].GetString() + " / " +
                           test["description"].GetString();
        if (errors.Empty() != expected || documentErrors.Size() != errors.Size()) {
            mismatches.push_back(name + " -> " + TarnConfigStore::WriteJsonText(errors));
        }
        for (const auto& reported : errors.GetArray()) {
            if (!IsSafeFormat(reported["error"].GetString())) {
                mismatches.push_back(name + ": unsafe error text " + reported["error"].GetString());
            }
        }
    }
};

TEST(JsonSchemaSuite, Draft4CasesAllPass) {
    JsonValidator::MapRemoteSchemas("http://localhost:1234/", std::string(kSuiteDir) + "/remotes");
    SuiteRun run;
    std::string tests = std::string(kSuiteDir) + "/tests/draft4";
    for (const std::string& file : JsonFilesIn(tests)) {
        run.RunFile(file);
    }
    for (const std::string& file : JsonFilesIn(tests + "/optional")) {
        run.RunFile(file);
    }
    EXPECT_GT(run.cases, 350);
    for (const std::string& mismatch : run.mismatches) {
        ADD_FAILURE() << mismatch;
    }
}

}  // namespace
