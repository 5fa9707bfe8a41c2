// The bash completion script of tarnctl, written from the command reference: subcommands and
// options at each level, files (and - for standard input) for a document, folders for a
// folder argument, nothing for free text. Made at build time (tarnctl --generate
// bash-completion FILE). Pure function.
#pragma once

#include <string>

#include "command_reference.h"

namespace Tarnctl {

std::string BashCompletion(const CommandReference& root);

}  // namespace Tarnctl
