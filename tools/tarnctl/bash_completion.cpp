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

const char* KindName(ArgumentKind kind) {
    switch (kind) {
        case ArgumentKind::kFile:
            return "file";
        case ArgumentKind::kFolder:
            return "folder";
        case ArgumentKind::kConfigKey:
            return "key";
        case ArgumentKind::kText:
            break;
    }
    return "text";
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
    // "--cluster-context=text --plan=file": each option that takes a value, and what it names.
    std::vector<std::string> valueOptions;
    for (const OptionReference& option : command.options) {
        for (const std::string& name : option.names) {
            if (std::find(options.begin(), options.end(), name) == options.end()) {
                options.push_back(name);
            }
            if (!option.valueName.empty()) {
                valueOptions.push_back(name + "=" + KindName(option.valueKind));
            }
        }
    }
    std::string argument;
    if (!command.arguments.empty()) {
        argument = KindName(command.arguments.front().kind);
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
// is then an option's value, an option, a subcommand or an argument of that command. Files
// (and - for standard input, where a document may come from) or folders are offered by what
// the value or argument names; free text gets nothing. A key (COMPONENT/GROUP/KEY) is offered
// from what the tarnctl being completed lists with `config keys`, in the first argument only.
const char kFunction[] = R"bash(
_tarnctl_offer() {
    case $1 in
        file)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$2"))
            [[ -z $2 && $3 == document ]] && COMPREPLY+=(-)
            ;;
        folder)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$2"))
            ;;
        key)
            [[ $4 == 0 ]] || return 0
            COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" config keys 2>/dev/null)" -- "$2"))
            ;;
    esac
}

_tarnctl() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local path=tarnctl word i arguments=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ " ${_tarnctl_subcommands[$path]} " == *" $word "* ]]; then
            path="$path $word"
        elif [[ $word != -* ]]; then
            arguments=$((arguments + 1))
        fi
    done
    COMPREPLY=()
    local value=" ${_tarnctl_value_options[$path]} "
    if [[ $prev == -?* && $value == *" $prev="* ]]; then
        value=${value#*" $prev="}
        _tarnctl_offer "${value%% *}" "$cur"
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
    _tarnctl_offer "${_tarnctl_argument[$path]}" "$cur" document "$arguments"
    return 0
}
complete -F _tarnctl tarnctl
)bash";

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
