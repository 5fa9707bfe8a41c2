#include "tarn/sablectl/system_info.h"

#include <sys/utsname.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace SableCtl {
namespace System {

namespace {

// The leading run of digits of text from pos on, advancing pos past it.
std::string Digits(const std::string& text, size_t& pos) {
    size_t start = pos;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
        ++pos;
    }
    return text.substr(start, pos - start);
}

std::string OrZero(std::string text) {
    return text.empty() ? "0" : text;
}

}  // namespace

SableVersion ParseSableVersion(const std::string& release, const std::string& version) {
    SableVersion record;
    size_t pos = 0;
    std::string major = OrZero(Digits(release, pos));
    std::string minor = "0";
    if (pos < release.size() && release[pos] == '.') {
        minor = OrZero(Digits(release, ++pos));
    }
    record.version = major + "." + minor;
    record.patch = "0";
    if (pos < release.size() && release[pos] == '.') {
        record.patch = OrZero(Digits(release, ++pos));
    }
    size_t dash = release.find('-', pos);
    record.update = dash == std::string::npos ? "0" : OrZero(release.substr(dash + 1));
    size_t hash = 0;
    record.build = version.rfind('#', 0) == 0 ? OrZero(Digits(version, ++hash)) : "0";
    return record;
}

SableVersion SystemInfoImpl::GetSableVersion() const {
    struct utsname names;
    if (uname(&names) != 0) {
        throw std::runtime_error(std::string("uname failed: ") + std::strerror(errno));
    }
    return ParseSableVersion(names.release, names.version);
}

}  // namespace System
}  // namespace SableCtl
