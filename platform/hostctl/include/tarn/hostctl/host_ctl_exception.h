// HostCtlException: the root of every exception the host libraries raise. It carries only
// the message text. Values; owned by whoever holds them.
#pragma once

#include <exception>
#include <string>

#include "tarn/export.h"

TARN_PUBLIC_BEGIN

namespace HostCtl {
namespace Lib {

class HostCtlException : public std::exception {
public:
    explicit HostCtlException(std::string message) : message_(std::move(message)) {}
    ~HostCtlException() override = default;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

}  // namespace Lib
}  // namespace HostCtl

TARN_PUBLIC_END
