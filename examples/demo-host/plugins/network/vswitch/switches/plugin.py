"""Virtual switches: each is a bridge of systemd-networkd, a "50-tarn-<name>.netdev" file
(name, kind, MTU) and a "50-tarn-<name>.network" file that enslaves its uplinks. The plugin
owns the files with that prefix and leaves every other file of the folder alone."""

import configparser
import glob
import os

import demo_files
import tarn_plugin as tp

NETWORK_DIR = "/etc/systemd/network"
PREFIX = "50-tarn-"
NAME_LIMIT = 15  # the kernel's limit on interface names


def unit_files(folder, name):
    base = os.path.join(folder, PREFIX + name)
    return base + ".netdev", base + ".network"


def read_unit(path):
    unit = configparser.ConfigParser(strict=False, interpolation=None)
    unit.optionxform = str  # systemd's setting names are case-sensitive
    unit.read(path, encoding="utf-8")
    return unit


def read_switch(netdev_path, network_path):
    """The switch a .netdev file describes, or None when it is not a bridge."""
    netdev = read_unit(netdev_path)
    if netdev.get("NetDev", "Kind", fallback="") != "bridge":
        return None
    network = read_unit(network_path)
    return {"name": netdev.get("NetDev", "Name"),
            "mtu": netdev.getint("NetDev", "MTUBytes", fallback=1500),
            "uplinks": network.get("Match", "Name", fallback="").split()}


def write_switch(folder, switch):
    netdev_path, network_path = unit_files(folder, switch["name"])
    demo_files.write_lines(netdev_path, [
        "[NetDev]", "Name=" + switch["name"], "Kind=bridge", "MTUBytes=%d" % switch["mtu"]])
    if switch["uplinks"]:
        demo_files.write_lines(network_path, [
            "[Match]", "Name=" + " ".join(switch["uplinks"]), "", "[Network]",
            "Bridge=" + switch["name"]])
    else:
        demo_files.remove(network_path)


@tp.apply
def apply(request):
    folder = request.host_path(NETWORK_DIR)
    for change in request.inputs:
        if change.operation == "DELETE":
            for path in unit_files(folder, change.id.instance_id):
                demo_files.remove(path)
        else:
            write_switch(folder, change.config)


@tp.extract
def extract(request):
    folder = request.host_path(NETWORK_DIR)
    switches = []
    for netdev_path in sorted(glob.glob(os.path.join(folder, PREFIX + "*.netdev"))):
        switch = read_switch(netdev_path, netdev_path[:-len(".netdev")] + ".network")
        if switch:
            switches.append(switch)
    return [tp.ConfigObject(tp.ObjectId(key.component, key.group, key.key, switch["name"]),
                            switch)
            for key in request.ids for switch in switches]


@tp.validate
def validate(request):
    """Names must fit the kernel's limit; an uplink can belong to one switch only."""
    invalid, owners = [], {}
    for index, obj in enumerate(request.inputs):
        name = obj.config.get("name", "")
        if len(name) > NAME_LIMIT:
            invalid.append(tp.InvalidField(
                demo_files.key_path(obj.id, index, "name"),
                [tp.ErrorInfo("com.example.demohost.vswitch.name-too-long",
                              [name, str(NAME_LIMIT)])]))
        for uplink in obj.config.get("uplinks", []):
            if uplink in owners:
                invalid.append(tp.InvalidField(
                    demo_files.key_path(obj.id, index, "uplinks"),
                    [tp.ErrorInfo("com.example.demohost.vswitch.uplink-taken",
                                  [uplink, owners[uplink]])]))
            owners.setdefault(uplink, name)
    return invalid
