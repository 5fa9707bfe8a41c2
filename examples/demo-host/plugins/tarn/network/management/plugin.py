"""The management interface: a systemd-networkd unit, /etc/systemd/network/10-tarn-management.network,
naming the interface, its address and its gateway. Apply writes the whole unit; DELETE removes it."""

import demo_files
import tarn_plugin as tp

UNIT = "/etc/systemd/network/10-tarn-management.network"
# Key of the unit -> member of the configuration value, in the order they are written.
FIELDS = (("Name", "interface"), ("Address", "address"), ("Gateway", "gateway"))


def read_unit(lines):
    values = dict(line.split("=", 1) for line in lines if "=" in line and not line.startswith("#"))
    config = {member: values[key].strip() for key, member in FIELDS if key in values}
    return config if "interface" in config else None


def write_unit(config):
    lines = ["# Management interface of the desired host configuration.", "[Match]",
             "Name=" + config["interface"], "", "[Network]", "Address=" + config["address"]]
    if config.get("gateway"):
        lines.append("Gateway=" + config["gateway"])
    return lines


@tp.apply
def apply(request):
    path = request.host_path(UNIT)
    for change in request.inputs:
        if change.operation == "DELETE":
            demo_files.remove(path)
        else:
            demo_files.write_lines(path, write_unit(change.config))


@tp.extract
def extract(request):
    config = read_unit(demo_files.read_lines(request.host_path(UNIT)) or [])
    return [] if config is None else [tp.ConfigObject(key, config) for key in request.ids]
