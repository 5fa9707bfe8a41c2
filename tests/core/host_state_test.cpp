#include <gtest/gtest.h>

#include "deradidezivizoda/core/exceptions.h"
#include "deradidezivizoda/core/host_state.h"
#include "host_root_fixture.h"
#include "tarn/configstore/db_store.h"
#include "tarn/configstore/store_rows.h"
#include "tarn/hostctl/host_ctl.h"
#include "tarn/logger/cs_logger.h"
#include "tarn/paths.h"

using namespace TarnConfigManager;

using HostState = TarnTest::HostRootTest;

TEST_F(HostState, MaintenanceModeIsOnOnlyForTheValueOne) {
    EXPECT_FALSE(IsMaintenanceModeEnabled());
    TarnTest::WriteFile(TarnPaths::kMaintenanceModeFile, "1\n");
    EXPECT_TRUE(IsMaintenanceModeEnabled());
    TarnTest::WriteFile(TarnPaths::kMaintenanceModeFile, "2\n");
    CSLogger::Capture capture;
    EXPECT_FALSE(IsMaintenanceModeEnabled());
    EXPECT_TRUE(capture.Contains(2, "Checking if host is in maintenanceMode"));
    EXPECT_TRUE(capture.Contains(2, "Host maintenanceMode state=2"));
}

TEST_F(HostState, MaintenanceModeFailuresReadAsOff) {
    TarnTest::WriteFile(TarnPaths::kMaintenanceModeFile, "1\n");
    TarnTest::WriteFile(TarnPaths::kKernelSignatureFile, "20\n");
    {
        CSLogger::Capture capture;
        EXPECT_FALSE(IsMaintenanceModeEnabled());
        EXPECT_GE(capture.IndexOf("Sablekernel signature check failed: rc=71"), 0);
        EXPECT_LT(capture.IndexOf("Host maintenanceMode state=1"), 0);
    }
    TarnTest::WriteFile(TarnPaths::kKernelSignatureFile, "21\n");
    // Not a number, or beyond 32 bits (2^32 + 1 would read as 1 when cut to 32 bits).
    for (const char* state : {"on\n", "4294967297\n"}) {
        TarnTest::WriteFile(TarnPaths::kMaintenanceModeFile, state);
        CSLogger::Capture capture;
        EXPECT_FALSE(IsMaintenanceModeEnabled()) << state;
        EXPECT_TRUE(capture.Contains(0, "Failed to read MaintenanceMode state: rc=5")) << state;
    }
}

TEST_F(HostState, QuickBootStatusPrefersTheSuspendKind) {
    EXPECT_EQ(FetchQuickBootStatus(), QUICK_BOOT_UNSUPPORTED);
    TarnTest::WriteFile(TarnPaths::kQuickBootFile, "quickboot\n");
    EXPECT_EQ(FetchQuickBootStatus(), QUICK_BOOT_SUPPORTED);
    TarnTest::WriteFile(TarnPaths::kQuickBootFile, "stm\n");
    EXPECT_EQ(FetchQuickBootStatus(), QUICK_BOOT_STM_SUPPORTED);
    TarnTest::WriteFile(TarnPaths::kQuickBootFile, "quickboot stm\n");
    EXPECT_EQ(FetchQuickBootStatus(), QUICK_BOOT_STM_SUPPORTED);
}

TEST_F(HostState, BiosUuidIsTheNormalisedProductUuid) {
    EXPECT_EQ(GetBIOSUUID(), "4c4c4544-0042-3510-8052-b4c04f503232");
    std::remove(TarnPaths::kProductUuidFile);
    try {
        GetBIOSUUID();
        FAIL();
    } catch (const HostCtl::Lib::HostCtlException& e) {
        EXPECT_NE(std::string(e.what()).find(TarnPaths::kProductUuidFile), std::string::npos);
    }
}

TEST_F(HostState, SmartnicConfigurationIsStoredOnlyWhenItParses) {
    auto connection = TarnConfigStore::GetDBStore(DBStore::Type(0), true);
    try {
        SetSmartnicConfiguration("");
        FAIL();
    } catch (const InvalidArgumentException& e) {
        EXPECT_EQ(e.GetCode(), 2080);
    }
    using TarnConfigStore::RowTable;
    EXPECT_TRUE(TarnConfigStore::ReadRows(connection, RowTable::kDesiredSmartnic).empty());
    SetSmartnicConfiguration(R"({"nic":{"offload":{"settings":{"mtu":9000}}}})");
    auto rows = TarnConfigStore::ReadRows(connection, RowTable::kDesiredSmartnic);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]->at("Component"), "nic");
    EXPECT_EQ(rows[0]->at("Value"), R"({"mtu":9000})");
}
