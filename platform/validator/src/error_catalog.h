// The catalog of validator findings: for every JsonValidator code, its message id and its
// readable text, a printf format whose only conversion is the "%s" for the field, with
// "{0}", "{1}" standing for the finding's arguments. Constant data; any thread.
#pragma once

#include <string>
#include <vector>

namespace TarnValidator {

struct ValidationFinding {
    int code;
    std::string field;              // JSON pointer of the offending value, after the prefix
    std::vector<std::string> args;  // the "errArgs"
};

// The message id of code, or the generic id for unknown codes.
const char* MessageIdOf(int code);

// The "error" text of a finding: its template with the arguments filled in and every "%" that
// comes from them doubled, so the text stays a format with one "%s".
std::string ErrorTextOf(const ValidationFinding& finding);

}  // namespace TarnValidator
