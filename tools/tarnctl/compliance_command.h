// tarnctl compliance DOC: whether the host matches a desired configuration document, and the
// differences when it does not. Changes nothing. Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

struct ComplianceOptions {
    std::string document;                 // path of the desired document
    bool compareEmptyByProperty = false;  // a key the host lacks: report each property
};

// kExitOk when compliant, kExitFindings when drift was found; library errors are thrown.
int RunCompliance(const Console& console, const ComplianceOptions& options);

}  // namespace Tarnctl
