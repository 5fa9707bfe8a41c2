// GetTelemetryData over the SQLite store and the store's file system: the filter and paging
// of the nine names, the RAM-disk figures, and the canary secret that must never leave.
#include <gtest/gtest.h>

#include <set>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/extract/export_document.h"
#include "deradidezivizoda/telemetry/config_manager_telemetry_info.h"
#include "deradidezivizoda/telemetry/ramdisk_stats.h"
#include "expect_store_error.h"
#include "tarn/logger/cs_logger.h"
#include "user_host.h"

using namespace TarnConfigManager;
using namespace TelemetryTest;
using HostCtl::System::TelemetryFilter;
using HostCtl::System::TelemetryValue;

namespace {

using Data = std::unordered_map<std::string, TelemetryValue>;

const char* const kNames[] = {"configManagerRowCount",
                              "configManagerRamDiskUsage",
                              "configManagerRamDiskReservedSize",
                              "configManagerTotalVitalConfigSize",
                              "configManagerTotalUserConfigSize",
                              "configManagerTotalCachedConfigSize",
                              "configManagerTarnBiosUuid",
                              "configManagerTarnConfig",
                              "configManagerConfigStoreMetrics"};

std::set<std::string> Names(const Data& data) {
    std::set<std::string> names;
    for (const auto& entry : data) {
        names.insert(entry.first);
    }
    return names;
}

class TelemetryData : public UserHost {
protected:
    void SetUp() override {
        UserHost::SetUp();
        Populate();
        AllowEverything();
    }

    static unsigned Get(const TelemetryFilter& filter, Data& data, unsigned index = 0) {
        return ConfigManagerTelemetryInfo::GetTelemetryData(filter, data, index);
    }
};

}  // namespace

TEST_F(TelemetryData, EmptyFilterGivesAllNineValuesOfTheirKinds) {
    Data data;
    EXPECT_EQ(Get(TelemetryFilter{}, data), 9u);
    EXPECT_EQ(Names(data), std::set<std::string>(std::begin(kNames), std::end(kNames)));
    // Eight current rows (the SSH files are absent) and one default row.
    EXPECT_EQ(std::get<long>(data["configManagerRowCount"]), 8);
    EXPECT_GT(std::get<long>(data["configManagerTotalUserConfigSize"]), 100);
    EXPECT_EQ(std::get<long>(data["configManagerTotalVitalConfigSize"]), 0);
    EXPECT_EQ(std::get<long>(data["configManagerTotalCachedConfigSize"]),
              static_cast<long>(std::string(R"({"servers":["10.0.0.53"]})").size()));
    EXPECT_EQ(std::get<std::string>(data["configManagerTarnConfig"]).rfind("{\"metadata\"", 0), 0u);
    const auto& metrics =
        std::get<std::vector<std::string>>(data["configManagerConfigStoreMetrics"]);
    ASSERT_EQ(metrics.size(), 6u);
    EXPECT_EQ(metrics[2], "default_config rows=1 bytes=25");
}

TEST_F(TelemetryData, FilterAndPaging) {
    Data data;
    EXPECT_EQ(Get(TelemetryFilter{0, 2, {}, {}}, data), 2u);
    EXPECT_EQ(Names(data),
              (std::set<std::string>{"configManagerRowCount", "configManagerRamDiskUsage"}));
    // A full map produces nothing more, and the index stays.
    EXPECT_EQ(Get(TelemetryFilter{0, 2, {}, {}}, data, 5), 5u);

    data.clear();
    EXPECT_EQ(Get(TelemetryFilter{7, 100, {}, {}}, data), 9u);
    EXPECT_EQ(Names(data), (std::set<std::string>{"configManagerTarnConfig",
                                                  "configManagerConfigStoreMetrics"}));

    // An excluded name is not counted: start index 1 then skips the second name as well.
    data.clear();
    EXPECT_EQ(Get(TelemetryFilter{1, 100, {}, {"configManagerRowCount"}}, data), 8u);
    EXPECT_EQ(data.count("configManagerRamDiskUsage"), 0u);
    EXPECT_EQ(data.size(), 7u);

    data.clear();
    data["configManagerTarnBiosUuid"] = std::string("kept");
    EXPECT_EQ(
        Get(TelemetryFilter{0, 100, {"configManagerTarnBiosUuid", "configManagerRowCount"}, {}},
            data),
        2u);
    EXPECT_EQ(std::get<std::string>(data["configManagerTarnBiosUuid"]), "kept");
    EXPECT_EQ(data.size(), 2u);
}

TEST_F(TelemetryData, RamDiskFiguresComeFromTheStoresFileSystem) {
    TarnTest::WriteFile(TarnPaths::kRamdiskReservedFile, "512\n");
    EXPECT_EQ(GetReservedRamdiskSize(), 536870912L);
    long used = GetRamDiskUsage();
    EXPECT_GT(used, 0);
    EXPECT_EQ(used % 4096, 0);
    LodeFS_SysInfoRamStats stats{};
    ASSERT_TRUE(GetCurrentConfigStoreStats(&stats));
    EXPECT_STREQ(stats.name, "configstore");
}

TEST_F(TelemetryData, FailedStatisticsReadEndsTheCallWithWhatWasInserted) {
    TarnTest::WriteFile(TarnPaths::kKernelSignatureFile, "20\n");
    CSLogger::Capture log;
    LodeFS_SysInfoRamStats stats{};
    EXPECT_FALSE(GetCurrentConfigStoreStats(&stats));
    EXPECT_TRUE(log.Contains(0, "SysInfo Check Sig Failed: Protocol error"));
    Data data;
    ExpectStoreError(2000, [&] { Get(TelemetryFilter{}, data); },
                     {"Failed to get data from GetRamDiskUsage"});
    EXPECT_EQ(Names(data), std::set<std::string>{"configManagerRowCount"});

    TarnTest::WriteFile(TarnPaths::kKernelSignatureFile, "21\n");
    TarnTest::WriteFile(TarnPaths::kRamdiskReservedFile, "lots\n");
    ExpectStoreError(2000, [] { GetReservedRamdiskSize(); },
                     {"Failed to get data from GetReservedRamdiskSize"});
    EXPECT_TRUE(log.Contains(0,
                             "Failed to get the size of ram utilization for configstore: "
                             "Input/output error"));
}

TEST_F(TelemetryData, CanarySecretNeverLeavesTheHost) {
    Data data;
    Get(TelemetryFilter{}, data);
    EXPECT_EQ(std::get<std::string>(data["configManagerTarnConfig"]).find(kCanary),
              std::string::npos);
    EXPECT_EQ(ExportDocumentTelemetry().find(kCanary), std::string::npos);
    // A failing export names no secret either.
    TarnTest::WriteFile(std::string(TarnPaths::kTelemetryDir) + "bad.json", "[1]");
    try {
        ExportDocumentTelemetry();
        ADD_FAILURE() << "no exception";
    } catch (const std::exception& error) {
        EXPECT_EQ(std::string(error.what()).find(kCanary), std::string::npos);
    }
    CSLogger::Flush();
    EXPECT_EQ(TarnTest::ReadFile(TarnPaths::kLogFile).find(kCanary), std::string::npos);
}
