// The command line of tarnctl as plain data: every command with its options and arguments,
// taken from the definitions the command line is parsed with (main.cpp), so that the man page
// and the shell completion written from it cannot drift from what tarnctl accepts. Values.
#pragma once

#include <string>
#include <vector>

namespace Tarnctl {

// What an argument or an option's value names, which decides how a shell completes it.
enum class ArgumentKind { kFile, kFolder, kConfigKey, kText };

struct OptionReference {
    std::vector<std::string> names;  // "-y", "--yes"
    std::string valueName;           // "TEXT"; empty for a flag
    ArgumentKind valueKind = ArgumentKind::kText;
    std::string help;
};

struct ArgumentReference {
    std::string name;  // "DOC"
    ArgumentKind kind = ArgumentKind::kText;
    bool required = false;
    std::string help;
};

struct CommandReference {
    std::vector<std::string> path;  // {"host", "maintenance"}; empty for tarnctl itself
    std::string description;
    std::vector<OptionReference> options;
    std::vector<ArgumentReference> arguments;
    std::vector<CommandReference> subcommands;

    // "tarnctl host maintenance"
    std::string FullName() const {
        std::string name = "tarnctl";
        for (const std::string& word : path) {
            name += " " + word;
        }
        return name;
    }
};

}  // namespace Tarnctl
