#include "tarn/hostctl/host_ctl.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "tarn/paths.h"

namespace HostCtl {

namespace Host {

std::unique_ptr<HardwareInfo> GetHardwareInfo() {
    std::ifstream in(TarnPaths::kProductUuidFile);
    std::string uuid;
    if (!in || !std::getline(in, uuid)) {
        int err = errno;
        throw Lib::HostCtlException(std::string("Failed to read hardware information from ") +
                                    TarnPaths::kProductUuidFile + ": " +
                                    (err ? std::strerror(err) : "file is empty"));
    }
    while (!uuid.empty() && (uuid.back() == '\r' || uuid.back() == ' ')) {
        uuid.pop_back();
    }
    return std::make_unique<HardwareInfo>(uuid);
}

}  // namespace Host

namespace System {
namespace LoadTarn {

namespace {

bool QuickBootFileHas(const std::string& word) {
    std::ifstream in(TarnPaths::kQuickBootFile);
    std::string token;
    while (in >> token) {
        if (token == word) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool IsSupported() {
    return QuickBootFileHas("quickboot");
}

bool IsSTMSupported() {
    return QuickBootFileHas("stm");
}

}  // namespace LoadTarn
}  // namespace System

}  // namespace HostCtl
