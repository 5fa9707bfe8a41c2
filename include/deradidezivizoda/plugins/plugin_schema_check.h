// Loading the manifest schemas (one JSON schema file per manifest version) and checking a
// whole plugin directory against them. Problems are reported as error texts or findings in
// a result document, never thrown; only a fault inside the JSON library (ConfigStoreException
// 1082) escapes. No state is kept between calls; any thread may call them. These six are
// exported free functions outside TarnConfigManager, as callers outside the library know them.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "deradidezivizoda/export.h"
#include "tarn/json/json.h"

// Loads one schema file into schema and returns the manifest version it serves (its
// "properties"."version"."minimum": 1, 2 or 3), or -1 with error set.
TARN_EXPORT long CreatePluginSchemaFromFile(const std::string& path, rapidjson::Document& schema,
                                            std::string& error);
// Loads plugin_version_1_schema.json to plugin_version_3_schema.json from dir, keyed by the
// version each serves (a later file replaces an earlier one of the same version). On the
// first failure returns an empty map with error set.
TARN_EXPORT std::unordered_map<long, rapidjson::Document> CreatePluginSchemas(
    const std::string_view& dir, std::string& error);
// Validates every *.json file below pluginDir against the schemas in schemaDir. result
// becomes an array of findings {"file", "validation_errors"}; empty when all conform.
TARN_EXPORT void ValidateAllPlugins(const std::string_view& pluginDir,
                                    const std::string_view& schemaDir, rapidjson::Document& result);
// Appends the finding {"file": file, "validation_errors": errors} to result, moving errors.
TARN_EXPORT void AddValidationError(rapidjson::Document& result, const std::string_view& file,
                                    rapidjson::Value& errors);
// The manifest's "version" when it is an integer that fits 64 bits, else 1.
TARN_EXPORT long GetPluginVersion(const rapidjson::Value& manifest);
// Pretty-printed JSON text of value.
TARN_EXPORT std::string JsonToString(const rapidjson::Value& value);
