// Extra kernel options of the host: a boot-loader drop-in that appends them to
// GRUB_CMDLINE_LINUX, so they take effect at the next boot. The plugin owns the drop-in file:
// apply writes it whole, a deleted key removes it.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin_text.h"
#include "tarn_plugin.h"
#include "word_list.h"

namespace {

const char kDropIn[] = "/etc/default/grub.d/50-tarn-kernel.cfg";
const char kAssignment[] = "GRUB_CMDLINE_LINUX=\"$GRUB_CMDLINE_LINUX";
const char kMember[] = "options";
// The options go inside a double-quoted shell assignment and are split at blanks there: no
// quote, '$', '`' or '\\' may end the quotes or expand.
const DemoHost::WordList kOptions{kMember, " \"'$`\\"};

void Apply(const TarnPlugin::Request& request) {
    DemoHost::RefuseBadWordLists(kOptions, request);
    std::string path = request.HostPath(kDropIn);
    for (const TarnPlugin::ConfigInput& change : request.inputs) {
        if (change.operation == "DELETE") {
            if (std::remove(path.c_str()) != 0 && errno != ENOENT) {
                throw std::runtime_error("cannot remove " + path + ": " + std::strerror(errno));
            }
            continue;
        }
        std::string assignment = kAssignment;
        for (const std::string& option : DemoHost::Words(kOptions, change)) {
            assignment += " " + option;
        }
        DemoHost::WriteLines(
            path, {"# Kernel options of the desired host configuration.",
                   "# Written by its plugin: edits are overwritten.", assignment + "\""});
    }
}

// The options of the drop-in's assignment line; false when it has none.
bool ReadOptions(const std::vector<std::string>& lines, std::vector<std::string>& options) {
    const size_t prefix = std::strlen(kAssignment);
    for (const std::string& line : lines) {
        if (line.compare(0, prefix, kAssignment) == 0 && line.size() > prefix &&
            line.back() == '"') {
            options = DemoHost::SplitWords(line.substr(prefix, line.size() - prefix - 1));
            return true;
        }
    }
    return false;
}

std::vector<TarnPlugin::ConfigObject> Extract(const TarnPlugin::Request& request) {
    std::vector<std::string> lines;
    std::vector<std::string> options;
    if (!DemoHost::ReadLines(request.HostPath(kDropIn), lines) || !ReadOptions(lines, options)) {
        return {};
    }
    std::vector<TarnPlugin::ConfigObject> objects;
    for (const TarnPlugin::ObjectId& key : request.ids) {
        objects.push_back({key, DemoHost::StringListConfig(kMember, options)});
    }
    return objects;
}

std::vector<TarnPlugin::InvalidField> Validate(const TarnPlugin::Request& request) {
    return DemoHost::InvalidWordLists(kOptions, request);
}

}  // namespace

TARN_PLUGIN_APPLY(Apply)
TARN_PLUGIN_EXTRACT(Extract)
TARN_PLUGIN_VALIDATE(Validate)
