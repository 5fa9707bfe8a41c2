"""The SSH server's settings: apply writes /etc/ssh/sshd_config from the key's value (one
"Keyword value" line per value, settings in their order, then each Match block with its
settings indented). The current value is read back from the file by the host's own SSH
synchronisation, so this plugin does not extract."""

import demo_files
import tarn_plugin as tp

SSHD_CONFIG = "/etc/ssh/sshd_config"


def setting_lines(settings, indent=""):
    return ["%s%s %s" % (indent, setting["keyword"], value)
            for setting in settings for value in setting["values"]]


def render(config):
    lines = ["# SSH server settings of the desired host configuration, written by its plugin."]
    lines += setting_lines(config.get("settings", []))
    for block in config.get("blocks", []):
        lines.append(block["condition"])
        lines += setting_lines(block.get("settings", []), "    ")
    return lines


@tp.apply
def apply(request):
    path = request.host_path(SSHD_CONFIG)
    for change in request.inputs:
        if change.operation == "DELETE":
            demo_files.remove(path)
        else:
            demo_files.write_lines(path, render(change.config))
