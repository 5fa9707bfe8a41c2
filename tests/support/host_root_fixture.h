// The host root every suite runs against: ResetHostRoot() wipes the compiled-in root (only
// ever a folder inside the build tree) and lays out a clean host: the folders of every fixed
// path, an empty store folder, state files and the DMI product UUID. Test-only; one thread.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace TarnTest {

// The product UUID a fresh root reports, as Linux writes it (upper case, with a newline).
extern const char kFreshProductUuid[];

void ResetHostRoot();

// Writes text to a path (absolute, or relative to the root), creating missing folders.
void WriteFile(const std::string& path, const std::string& text);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
// Absolute path of a path below the root ("var/x" -> "<root>/var/x").
std::string RootPath(const std::string& relative);

// Fixture for suites whose every test starts from a clean host root.
class HostRootTest : public ::testing::Test {
protected:
    void SetUp() override { ResetHostRoot(); }
};

}  // namespace TarnTest
