// ConfigStoreException: the configuration store's exception, carrying an integer code, the
// message text and an ordered list of argument strings (empty after construction); when it is
// raised for a JSON text that does not parse, also why and where (GetParseError). It lives with
// the JSON layer, the lowest library that raises it (1082). Values; owned by whoever holds them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tarn/export.h"
#include "tarn/hostctl/host_ctl_exception.h"
#include "tarn/json/json_parse_error.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigStore {

class ConfigStoreException : public HostCtl::Lib::HostCtlException {
public:
    ConfigStoreException(int code, const char* message)
        : HostCtl::Lib::HostCtlException(message ? message : ""), code_(code) {}
    ~ConfigStoreException() override = default;

    int GetCode() const { return code_; }
    const std::vector<std::string>& GetArgs() const { return args_; }
    void AddArg(std::string arg) { args_.push_back(std::move(arg)); }

    // The parser's reason and place; null unless a JSON text failed to parse.
    const JsonParseError* GetParseError() const { return parseError_ ? &*parseError_ : nullptr; }
    void SetParseError(JsonParseError error) { parseError_ = std::move(error); }

private:
    int code_;
    std::vector<std::string> args_;
    std::optional<JsonParseError> parseError_;
};

// Codes of the store's own space that the host libraries raise.
enum ConfigStoreErrorCode {
    kStoreDataError = 2000,    // data a query or a document walk failed to supply
    kStoreJsonError = 1082,    // a consistency check inside the JSON library failed
    kStoreAccessError = 1001,  // the database file is missing, locked, corrupt or unwritable
};

}  // namespace TarnConfigStore

TARN_PUBLIC_END
