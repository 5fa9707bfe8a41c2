// The manual page of tarnctl, section 8, as roff text written from the command reference:
// every command with its arguments and options, then the exit statuses, files and
// environment. Made at build time (tarnctl --generate man FILE). Pure function.
#pragma once

#include <string>

#include "command_reference.h"

namespace Tarnctl {

// root is tarnctl itself; version names the build ("1.0.0").
std::string ManPage(const CommandReference& root, const std::string& version);

}  // namespace Tarnctl
