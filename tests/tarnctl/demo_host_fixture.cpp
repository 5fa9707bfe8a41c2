#include "demo_host_fixture.h"

#include <cstdlib>
#include <filesystem>

#include "json_test_text.h"
#include "tarn/json/json.h"
#include "tarnctl_fixture.h"
#include "tarnctl_process.h"

#include <rapidjson/pointer.h>

namespace TarnTest {

std::string DemoDocument(const std::string& name) {
    return TARN_SOURCE_DIR "/examples/demo-host/documents/" + name;
}

std::string DesiredDocumentWith(const std::vector<std::pair<std::string, std::string>>& values) {
    rapidjson::Document document;
    EXPECT_TRUE(TarnConfigStore::ParseJsonFile(DemoDocument("desired.json").c_str(), document));
    for (const auto& [pointer, text] : values) {
        rapidjson::Value value(ParseJson(text), document.GetAllocator());
        rapidjson::Pointer(pointer.c_str()).Set(document, value, document.GetAllocator());
    }
    return DocumentFile(JsonText(document));
}

std::vector<std::string> UnvalidatedApply(const std::string& document) {
    return {"apply", "--yes", "--no-validate", document};
}

std::map<std::string, std::string> HostFiles() {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(RootPath("etc"))) {
        if (entry.is_regular_file()) {
            files[entry.path().string()] = ReadFile(entry.path().string());
        }
    }
    return files;
}

void DemoHostTest::SetUp() {
    HostRootTest::SetUp();
    ASSERT_EQ(std::system(TARN_BINARY_DIR "/examples/demo-host/lay-out.sh"), 0);
}

void DemoHostTest::Apply(const std::string& document, bool inMaintenanceMode) {
    if (inMaintenanceMode) {
        ASSERT_EQ(RunTarnctl({"host", "maintenance", "enter"}).exitCode, 0);
    }
    TarnctlResult run = RunTarnctl({"apply", "--yes", DemoDocument(document)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(RunTarnctl({"host", "maintenance", "exit"}).exitCode, 0);
}

}  // namespace TarnTest
