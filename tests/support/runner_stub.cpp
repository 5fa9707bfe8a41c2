#include "runner_stub.h"

#include <sys/stat.h>

#include <stdexcept>

#include "host_root_fixture.h"
#include "tarn/paths.h"

namespace TarnTest {

namespace {

void InstallScript(const char* path, const std::string& body) {
    WriteFile(path, std::string("#!/bin/sh\n") + "IN='" + TarnPaths::kPluginInputFile + "'\n" +
                        "OUT='" + TarnPaths::kPluginOutputFile + "'\n" + "ROOT='" +
                        TarnPaths::kRoot + "'\n" + body + "\n");
    if (chmod(path, 0755) != 0) {
        throw std::runtime_error(std::string("cannot make executable: ") + path);
    }
}

}  // namespace

void InstallRunnerStub(const std::string& body) {
    InstallRunnerStubs(body, body);
}

void InstallRunnerStubs(const std::string& cppBody, const std::string& pythonBody) {
    InstallScript(TarnPaths::kCppPluginRunner, cppBody);
    InstallScript(TarnPaths::kPyPluginRunner, pythonBody);
}

}  // namespace TarnTest
