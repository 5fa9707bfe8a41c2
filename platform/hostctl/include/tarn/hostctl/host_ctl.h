// HostCtl: the host-control library's hardware information and fast-reboot capability
// queries. The BIOS UUID is read from the DMI product UUID file Linux itself exposes; the
// fast-reboot kinds from the quick-boot state file under the host root (words "quickboot"
// and "stm", whitespace separated). Stateless; any thread.
#pragma once

#include <memory>
#include <string>

#include "tarn/export.h"
#include "tarn/hostctl/host_ctl_exception.h"

TARN_PUBLIC_BEGIN

namespace HostCtl {

namespace Host {

class HardwareInfo {
public:
    explicit HardwareInfo(std::string biosUuid) : biosUuid_(std::move(biosUuid)) {}
    const std::string& GetBiosUuid() const { return biosUuid_; }

private:
    std::string biosUuid_;
};

// Throws Lib::HostCtlException naming the file when the product UUID cannot be read.
std::unique_ptr<HardwareInfo> GetHardwareInfo();

}  // namespace Host

namespace System {
namespace LoadTarn {

// Whether the host can restart the hypervisor without a firmware reboot.
bool IsSupported();
// Whether the host supports the suspend-to-memory kind of fast reboot.
bool IsSTMSupported();

}  // namespace LoadTarn
}  // namespace System

}  // namespace HostCtl

TARN_PUBLIC_END
