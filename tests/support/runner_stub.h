// Stand-in runner programs for plugin run tests: small /bin/sh scripts installed at the fixed
// runner paths, so a launcher test starts a real child without the real runners. A script runs
// with an empty environment; it finds the fixed files in the shell variables IN (request
// file), OUT (result file) and ROOT (host root). Test-only; one thread.
#pragma once

#include <string>

namespace TarnTest {

// Installs body as both runner programs (C++ and Python).
void InstallRunnerStub(const std::string& body);
// Installs cppBody as the C++ runner and pythonBody as the Python runner.
void InstallRunnerStubs(const std::string& cppBody, const std::string& pythonBody);

}  // namespace TarnTest
