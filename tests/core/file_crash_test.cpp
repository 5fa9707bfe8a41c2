// The host-root file writers killed at every fault point of the atomic writer (after the
// temporary file is written and flushed, after the rename and the folder's flush): each time
// the file holds the old text or the new one, whole, and the reader sees the matching state.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "crash_child.h"
#include "deradidezivizoda/core/document.h"
#include "deradidezivizoda/core/host_state.h"
#include "host_root_fixture.h"
#include "tarn/hostctl/sys_info.h"
#include "tarn/paths.h"

namespace {

using CrashedWriter = TarnTest::HostRootTest;

// Kills write at each of its fault points in turn, with the file reset to oldText first, and
// checks the file is then whole: old or new. Returns how many points write passes.
unsigned KillAtEveryPoint(const std::string& path, const std::string& oldText,
                          const std::string& newText, const std::function<void()>& write) {
    TarnTest::WriteFile(path, oldText);
    TarnTest::ChildEnd whole = TarnTest::RunInChild(0, write);
    EXPECT_EQ(newText, TarnTest::ReadFile(path));
    unsigned points = whole.exitCode > 0 ? static_cast<unsigned>(whole.exitCode) : 0;
    bool sawOld = false;
    bool sawNew = false;
    for (unsigned point = 1; point <= points; ++point) {
        TarnTest::WriteFile(path, oldText);
        EXPECT_TRUE(TarnTest::RunInChild(point, write).killed) << "fault point " << point;
        std::string text = TarnTest::ReadFile(path);
        EXPECT_TRUE(text == oldText || text == newText) << "fault point " << point << ": " << text;
        sawOld = sawOld || text == oldText;
        sawNew = sawNew || text == newText;
    }
    EXPECT_TRUE(sawOld && sawNew) << "a kill before the rename and one after it";
    return points;
}

TEST_F(CrashedWriter, MaintenanceModeIsTheOldStateOrTheNew) {
    unsigned points = KillAtEveryPoint(TarnPaths::kMaintenanceModeFile, "0\n", "1\n", [] {
        if (SysInfo_SetMaintenanceMode(true) != 0) {
            throw std::runtime_error("not written");
        }
    });
    EXPECT_GE(points, 2u);
    EXPECT_TRUE(TarnConfigManager::IsMaintenanceModeEnabled());
}

TEST_F(CrashedWriter, ADocumentFileIsTheOldDocumentOrTheNew) {
    const std::string path = TarnTest::RootPath("var/tmp/written.json");
    // Large enough that a torn file could not pass for either.
    const std::string oldText = "{\"old\":\"" + std::string(200000, 'o') + "\"}";
    const std::string newText = "{\"new\":\"" + std::string(300000, 'n') + "\"}";
    rapidjson::Document document;
    document.Parse(newText.c_str());
    EXPECT_GE(KillAtEveryPoint(
                  path, oldText, newText,
                  [&] { TarnConfigManager::CreateFileFromDocument(path.c_str(), document); }),
              2u);
}

}  // namespace
