// Reading, writing and comparing configuration documents. Every text goes through the one
// parse path of the host libraries (iterative, UTF-8 checked, nesting limited to 512, exactly
// one value). Failures raise the library's exceptions with PARSE_ERROR (2080), carrying the
// parser's reason and line and column (GetParseError()); shape errors inside rapidjson raise
// ConfigStoreException 1082. Reentrant; documents are not shared.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "deradidezivizoda/export.h"
#include "tarn/json/json.h"

namespace TarnConfigStore {
class JsonDoc;
}
namespace TarnSchemaStore {
class SchemaStore;
}

namespace TarnConfigManager {

// A handle owning a null document whose pool allocates in 64-byte chunks.
TARN_EXPORT std::shared_ptr<TarnConfigStore::JsonDoc> CreateDocument();
// A handle holding the parsed text; InvalidArgumentException PARSE_ERROR when it does not parse.
TARN_EXPORT std::shared_ptr<TarnConfigStore::JsonDoc> CreateDocumentFromString(
    const std::string& text);
// InvalidArgumentException PARSE_ERROR (no argument) when text is not exactly one JSON value.
TARN_EXPORT void ParseDocument(const std::string& text, rapidjson::Document& out);
// ParseDocument into a value built in allocator (the document that keeps it), so that it need
// not be copied there; text[text.size()] must be readable (it is for a std::string, and for a
// text SQLite hands out). Library-internal, not exported.
void ParseValue(std::string_view text, rapidjson::Value& out,
                rapidjson::MemoryPoolAllocator<>& allocator);
// ConfigManagerException PARSE_ERROR with the path as argument when the file is missing,
// unreadable or not exactly one JSON value.
TARN_EXPORT void CreateDocumentFromFile(const char* path, rapidjson::Document& out);
// Writes doc as compact JSON through a synced temporary file renamed over path, so path holds
// the old text or the new, never part of one; best effort, never reports a failure.
TARN_EXPORT void CreateFileFromDocument(const char* path, const rapidjson::Document& doc);
TARN_EXPORT void SerializeValue(const rapidjson::Value& value, std::string& out);
// Appends (name, value) to object, moving value; a name added twice appears twice.
TARN_EXPORT void AddMember(rapidjson::Document* doc, rapidjson::Value* object,
                           const std::string& name, rapidjson::Value& value);
// Order-insensitive multiset comparison of two arrays: [1,2,2] equals [2,1,2], not [1,1,2].
TARN_EXPORT bool IsEqualArray(const rapidjson::Value& a, const rapidjson::Value& b);
// True when path names a regular file; failures of the status query are logged, never raised.
TARN_EXPORT bool fileExists(const std::string& path);

// Checks the levels of a configuration document (component -> group -> key) before code that
// walks them: the document, each component and each group must be objects, a multi-instance
// key (by its schema in schemas) an array of objects or empty. Throws ConfigStoreException
// 1082 naming the path of the first value of the wrong type, its type and what is expected,
// e.g. "The value at /system/time is an array; a group is an object". Keys without a schema
// are left to the callers' own checks.
void CheckDocumentShape(const rapidjson::Value& document,
                        const std::shared_ptr<TarnSchemaStore::SchemaStore>& schemas);

}  // namespace TarnConfigManager
