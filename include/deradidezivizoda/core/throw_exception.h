// ThrowException<E>(code, args...): the one way the library raises its errors. Formats the
// code's message template with the arguments, throws E(code, message) carrying each argument
// as text. UNEXPECTED_ERROR has no template: its one argument is the whole message.
// MakeException<E>(code, args...) builds the same exception without throwing it.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "deradidezivizoda/core/error_codes.h"
#include "deradidezivizoda/core/exceptions.h"
#include "tarn/logger/str_asprintf.h"

namespace TarnConfigManager {

namespace detail {

inline const char* FormatArg(const std::string& arg) {
    return arg.c_str();
}
inline const char* FormatArg(const char* arg) {
    return arg;
}

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};

template <typename... Args>
std::unique_ptr<char, FreeDeleter> FormatMessage(CMErrorCodes code, const Args&... args) {
    if (code == UNEXPECTED_ERROR) {
        if constexpr (sizeof...(Args) == 0) {
            return std::unique_ptr<char, FreeDeleter>(Str_Asprintf("%s", ""));
        } else {
            return std::unique_ptr<char, FreeDeleter>(Str_Asprintf("%s", FormatArg(args)...));
        }
    }
    const char* format = ErrorMessageTemplates().at(code);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    return std::unique_ptr<char, FreeDeleter>(Str_Asprintf(format, FormatArg(args)...));
#pragma GCC diagnostic pop
}

}  // namespace detail

// The exception ThrowException throws, for a caller that adds to it first.
template <typename E, typename... Args>
E MakeException(CMErrorCodes code, const Args&... args) {
    static_assert(sizeof...(Args) <= 1, "message templates take at most one argument");
    auto message = detail::FormatMessage(code, args...);
    E exception(static_cast<int>(code), message ? message.get() : "");
    (exception.AddArg(std::string(args)), ...);
    return exception;
}

template <typename E, typename... Args>
[[noreturn]] void ThrowException(CMErrorCodes code, const Args&... args) {
    throw MakeException<E>(code, args...);
}

}  // namespace TarnConfigManager
