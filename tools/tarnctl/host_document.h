// The configuration document a command works on: read from a file and, when it is written for
// several hosts ("profile" with "host-specific" or "host-override" sections), reduced to this
// host's view, as the host would apply it. Main thread.
#pragma once

#include <string>

#include "tarn/json/json.h"

namespace Tarnctl {

// The path that names standard input, and how messages name it.
constexpr char kStandardInput[] = "-";
constexpr char kStandardInputName[] = "<stdin>";

// How messages name the document at path: the path, or kStandardInputName for "-".
std::string DocumentName(const std::string& path);

// The JSON object in the file at path, or read from standard input when path is "-". The
// library's PARSE_ERROR (2080), naming the path (kStandardInputName for standard input) and
// carrying where the text fails, when the file cannot be read or is not JSON; CommandError
// when it holds no object.
rapidjson::Document ReadDocument(const std::string& path);

// Whether document has a "profile" and a "host-specific" or "host-override" section.
bool HasHostSections(const rapidjson::Value& document);

// Reduces a document with host sections to {"profile": <this host's view>}, with schema from
// GenerateHostDocumentSchema(document); any other document stays as it is.
void ReduceToThisHost(const rapidjson::Document& schema, rapidjson::Document& document);
// The same, generating the schema itself: CommandError naming each path where the schema could
// not be generated (a key without schema, a level that is not an object).
void ReduceToThisHost(rapidjson::Document& document);

}  // namespace Tarnctl
