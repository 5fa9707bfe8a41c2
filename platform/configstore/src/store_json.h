// JSON text checks shared by the configuration store's sources: every text the store accepts
// or reads back goes through ParseJsonText here. Private to the library; reentrant.
#pragma once

#include <string>

#include "tarn/configstore/config_store_object_id.h"
#include "tarn/json/json_text.h"

namespace TarnConfigStore {

// Parses text into out; throws ConfigStoreException 2000 "Invalid JSON text for <what>: ..."
// with the parser's reason and offset.
void ParseStoreJson(const std::string& text, rapidjson::Document& out, const std::string& what);
// The same with <what> being what followed by the id's text, made only on failure (these run
// once per object, and the text is almost always valid).
void ParseStoreJson(const std::string& text, rapidjson::Document& out, const char* what,
                    const ConfigStoreObjectId& id);

// The compact form of a JSON text, as the store writes it; throws like ParseStoreJson.
std::string CompactStoreJson(const std::string& text, const std::string& what);
std::string CompactStoreJson(const std::string& text, const char* what,
                             const ConfigStoreObjectId& id);

// Throws ConfigStoreException 2000 with the message text.
[[noreturn]] void ThrowDataError(const std::string& message);
// Throws ConfigStoreException 2000 "<context>: <reason> (offset N)" carrying error.
[[noreturn]] void ThrowParseError(const std::string& context, const JsonParseError& error);

}  // namespace TarnConfigStore
