#include "bash_completion.h"

#include <algorithm>

namespace Tarnctl {

namespace {

// Words for a table entry: single-quoted, so nothing in them is expanded.
std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string Joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

// Each level's entries, keyed by its full name ("tarnctl host maintenance"): the subcommands, the
// options (the global ones, tarnctl's own, are valid at every level), the options that take a
// value, and what the first argument names.
void Tables(std::string& script, const CommandReference& command,
            const std::vector<std::string>& globalOptions) {
    std::vector<std::string> subcommands;
    for (const CommandReference& subcommand : command.subcommands) {
        subcommands.push_back(subcommand.path.back());
    }
    std::vector<std::string> options = globalOptions;
    std::vector<std::string> valueOptions;
    for (const OptionReference& option : command.options) {
        for (const std::string& name : option.names) {
            if (std::find(options.begin(), options.end(), name) == options.end()) {
                options.push_back(name);
            }
            if (!option.valueName.empty()) {
                valueOptions.push_back(name);
            }
        }
    }
    std::string argument;
    if (!command.arguments.empty()) {
        switch (command.arguments.front().kind) {
            case ArgumentKind::kFile:
                argument = "file";
                break;
            case ArgumentKind::kFolder:
                argument = "folder";
                break;
            case ArgumentKind::kText:
                argument = "text";
                break;
        }
    }
    std::string key = Quoted(command.FullName());
    script += "_tarnctl_subcommands[" + key + "]=" + Quoted(Joined(subcommands)) + "\n";
    script += "_tarnctl_options[" + key + "]=" + Quoted(Joined(options)) + "\n";
    script += "_tarnctl_value_options[" + key + "]=" + Quoted(Joined(valueOptions)) + "\n";
    script += "_tarnctl_argument[" + key + "]=" + Quoted(argument) + "\n";
    for (const CommandReference& subcommand : command.subcommands) {
        Tables(script, subcommand, globalOptions);
    }
}

const char kHeader[] =
    R"(# bash completion for tarnctl. Generated from tarnctl's own option definitions at build
# time; do not edit.
declare -gA _tarnctl_subcommands _tarnctl_options _tarnctl_value_options _tarnctl_argument
)";

// The words before the cursor that name subcommands make the path; the word under the cursor
// is then an option, a subcommand, an option's value or an argument of that command.
const char kFunction[] = R"(
_tarnctl() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local path=tarnctl word i
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ " ${_tarnctl_subcommands[$path]} " == *" $word "* ]]; then
            path="$path $word"
        fi
    done
    COMPREPLY=()
    if [[ -n $prev && " ${_tarnctl_value_options[$path]} " == *" $prev "* ]]; then
        return 0
    fi
    if [[ $cur == -?* ]]; then
        COMPREPLY=($(compgen -W "${_tarnctl_options[$path]}" -- "$cur"))
        return 0
    fi
    if [[ -n ${_tarnctl_subcommands[$path]} ]]; then
        COMPREPLY=($(compgen -W "${_tarnctl_subcommands[$path]}" -- "$cur"))
        return 0
    fi
    case ${_tarnctl_argument[$path]} in
        file)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            [[ -z $cur ]] && COMPREPLY+=(-)
            ;;
        folder)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            ;;
    esac
    return 0
}
complete -F _tarnctl tarnctl
)";

}  // namespace

std::string BashCompletion(const CommandReference& root) {
    std::vector<std::string> globalOptions;
    for (const OptionReference& option : root.options) {
        globalOptions.insert(globalOptions.end(), option.names.begin(), option.names.end());
    }
    std::string script = kHeader;
    Tables(script, root, globalOptions);
    return script + kFunction;
}

}  // namespace Tarnctl
