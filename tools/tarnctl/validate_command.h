// tarnctl validate DOC: checks a desired configuration document against the schemas of its
// keys and with the validation plugins, before it is applied. Ctrl-C aborts a plugin run.
// Main thread.
#pragma once

#include <string>

namespace Tarnctl {

class Console;

struct ValidateOptions {
    std::string document;        // path of the desired document
    std::string clusterContext;  // handed to every validation plugin
    bool skipSchema = false;     // run the plugins only, without the key schemas
};

// kExitOk when valid, kExitFindings when invalid, kExitError when a plugin run failed,
// kExitAborted when Ctrl-C stopped it; library errors are thrown.
int RunValidate(const Console& console, const ValidateOptions& options);

}  // namespace Tarnctl
