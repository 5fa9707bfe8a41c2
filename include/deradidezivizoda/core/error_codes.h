// The library's error vocabulary: every code it raises, with a printf-style message template
// (every code but UNEXPECTED_ERROR) and a message id under which callers report the error.
// The tables are built once and never change; any thread may read them.
#pragma once

#include <unordered_map>

#include "deradidezivizoda/export.h"

namespace TarnConfigManager {

enum CMErrorCodes : int {
    DB_CONNECT_ERROR = 2001,
    SCHEMA_NOT_FOUND = 2021,
    NOT_SINGLETON = 2022,
    EMPTY_DOC = 2023,
    EMPTY_INPUT = 2024,
    INVALID_IMPACT = 2025,
    NOT_IN_MAINT_MODE = 2026,
    DELETE_DEFAULT_NOT_SUPPORTED = 2027,
    SINGLETON_ERROR = 2028,
    HOST_IN_DBM = 2029,
    NOT_FOUND = 2030,
    EXTRACT_FAILED = 2031,
    EXTRACT_INVALID_CONFIG = 2032,
    EXTRACT_MULTIPLE_PLUGINS = 2033,
    PARSE_ERROR = 2080,
    INVALID_PLUGIN = 2081,
    UNSUPPORTED_PLUGIN_VERSION = 2082,
    DEPENDENCY_ERROR = 2083,
    INVALID_KEY_VALUE = 2084,
    APPLY_PLUGIN_ABSENT = 2085,
    SCHEMA_STORE_ERROR = 2180,
    UNSUPPORTED_CONFIG = 2181,
    UNEXPECTED_ERROR = 3000,
};

using CMErrorTable = std::unordered_map<CMErrorCodes, const char*>;

// Code to message template: every code except UNEXPECTED_ERROR, whose raiser supplies the text.
TARN_EXPORT const CMErrorTable& ErrorMessageTemplates();
// Code to message id: every code.
TARN_EXPORT const CMErrorTable& ErrorMessageIds();

}  // namespace TarnConfigManager
