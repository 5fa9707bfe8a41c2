// The exit statuses of tarnctl: the contract scripts rely on, the same for every command.
#pragma once

namespace Tarnctl {

// Done: the host is compliant, the document valid, the manifests conform.
constexpr int kExitOk = 0;
// The command failed (bad input, a library error, a failed plugin run) or was misused.
constexpr int kExitError = 1;
// The command ran and found something: drift, an invalid document, manifest findings.
constexpr int kExitFindings = 2;
// Ctrl-C stopped a plugin run (128 + SIGINT, as a shell reports it).
constexpr int kExitAborted = 130;

}  // namespace Tarnctl
