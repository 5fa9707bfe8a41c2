// Result files: the one file a plugin runner writes to answer a plugin run. Every result file
// is a JSON object whose "id", "args" and "message" members are the run's ErrorInfo, beside
// the operation's own members; an apply run's file holds the ErrorInfo alone. Reentrant.
#pragma once

#include <string>

#include "tarn/export.h"
#include "tarn/json/json.h"
#include "tarn/pluginsupport/error_info.h"

TARN_PUBLIC_BEGIN

namespace TarnConfigManager {

// Writes value as compact JSON to path through a fresh file (mode 0600) renamed over path,
// so a symbolic link planted at path is replaced, never followed. Throws std::runtime_error
// naming the file when it cannot be written.
void WriteResultFile(const std::string& path, const rapidjson::Value& value);
// An apply run's result file: the error record alone; an empty id reports success.
void WriteResultFile(const std::string& path, const ErrorInfo& error);

// Parses a result file into out. Throws std::runtime_error naming the file when it is
// missing, unreadable, not JSON or not an object.
void ReadResultFile(const std::string& path, rapidjson::Document& out);

}  // namespace TarnConfigManager

TARN_PUBLIC_END
