"""The management interface: a systemd-networkd unit, /etc/systemd/network/10-tarn-management.network,
naming the interface, its address and its gateway. Apply writes the whole unit; DELETE removes it."""

import demo_files
import tarn_plugin as tp

UNIT = "/etc/systemd/network/10-tarn-management.network"
# Member of the configuration value -> (section, setting) of the unit.
SETTINGS = {"interface": ("Match", "Name"), "address": ("Network", "Address"),
            "gateway": ("Network", "Gateway")}


def word(field, value):
    """A setting's value, one word: a blank would make it a list, a line break a new line."""
    return demo_files.check_text(field, value, " ")


def management_problems(config):
    return demo_files.check_members("", config, dict.fromkeys(SETTINGS, word),
                                    optional=("gateway",))


def read_management(path):
    """The configuration value the unit holds, or None when it names no interface."""
    unit = demo_files.read_unit(path)
    config = {member: unit.get(section, name).strip()
              for member, (section, name) in SETTINGS.items() if unit.has_option(section, name)}
    return config if config.get("interface") else None


def write_unit(config):
    lines = ["# Management interface of the desired host configuration.", "[Match]",
             "Name=" + config["interface"], "", "[Network]", "Address=" + config["address"]]
    if config.get("gateway"):
        lines.append("Gateway=" + config["gateway"])
    return lines


@tp.apply
def apply(request):
    demo_files.refuse_bad_inputs(request, management_problems)
    demo_files.replace_file(request, request.host_path(UNIT), write_unit)


@tp.extract
def extract(request):
    return demo_files.single_value(request, read_management(request.host_path(UNIT)))


@tp.validate
def validate(request):
    return demo_files.invalid_fields(request, management_problems, multi_instance=False)
