// The time servers of the host: the NTP= setting of systemd-timesyncd's [Time] section.
// Extraction reads it; apply rewrites only that line and leaves the rest of the file alone.
#include <string>
#include <vector>

#include "ini_lines.h"
#include "plugin_text.h"
#include "tarn_plugin.h"
#include "word_list.h"

namespace {

const char kConfigFile[] = "/etc/systemd/timesyncd.conf";
const char kSection[] = "Time";
const char kSetting[] = "NTP";
const char kMember[] = "servers";
// The NTP= value is split at blanks; '#' and ';' start a comment, '=' would start a setting.
const DemoHost::WordList kServers{kMember, " #;="};

void Apply(const TarnPlugin::Request& request) {
    DemoHost::RefuseBadWordLists(kServers, request);
    std::string path = request.HostPath(kConfigFile);
    std::vector<std::string> lines;
    DemoHost::ReadLines(path, lines);
    for (const TarnPlugin::ConfigInput& change : request.inputs) {
        if (change.operation == "DELETE") {
            DemoHost::RemoveIniValue(lines, kSection, kSetting);
        } else {
            DemoHost::SetIniValue(lines, kSection, kSetting,
                                  DemoHost::JoinWords(DemoHost::Words(kServers, change)));
        }
    }
    DemoHost::WriteLines(path, lines);
}

std::vector<TarnPlugin::ConfigObject> Extract(const TarnPlugin::Request& request) {
    std::vector<std::string> lines;
    std::string servers;
    if (!DemoHost::ReadLines(request.HostPath(kConfigFile), lines) ||
        !DemoHost::FindIniValue(lines, kSection, kSetting, servers)) {
        return {};
    }
    std::vector<TarnPlugin::ConfigObject> objects;
    for (const TarnPlugin::ObjectId& key : request.ids) {
        objects.push_back(
            {key, DemoHost::StringListConfig(kMember, DemoHost::SplitWords(servers))});
    }
    return objects;
}

std::vector<TarnPlugin::InvalidField> Validate(const TarnPlugin::Request& request) {
    return DemoHost::InvalidWordLists(kServers, request);
}

}  // namespace

TARN_PLUGIN_APPLY(Apply)
TARN_PLUGIN_EXTRACT(Extract)
TARN_PLUGIN_VALIDATE(Validate)
