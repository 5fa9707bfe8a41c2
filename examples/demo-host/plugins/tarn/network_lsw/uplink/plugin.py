"""The uplink of the logical switch: a VLAN device, /etc/systemd/network/20-tarn-lsw.netdev,
with its name and VLAN id. Apply writes the whole unit; DELETE removes it."""

import demo_files
import tarn_plugin as tp

NETDEV = "/etc/systemd/network/20-tarn-lsw.netdev"


def read_netdev(lines):
    values = dict(line.split("=", 1) for line in lines if "=" in line and not line.startswith("#"))
    if "Name" not in values or not values.get("Id", "").strip().isdigit():
        return None
    return {"name": values["Name"].strip(), "vlan": int(values["Id"])}


def write_netdev(config):
    return ["# Uplink of the logical switch of the desired host configuration.", "[NetDev]",
            "Name=" + config["name"], "Kind=vlan", "", "[VLAN]", "Id=%d" % config["vlan"]]


@tp.apply
def apply(request):
    path = request.host_path(NETDEV)
    for change in request.inputs:
        if change.operation == "DELETE":
            demo_files.remove(path)
        else:
            demo_files.write_lines(path, write_netdev(change.config))


@tp.extract
def extract(request):
    config = read_netdev(demo_files.read_lines(request.host_path(NETDEV)) or [])
    return [] if config is None else [tp.ConfigObject(key, config) for key in request.ids]
