"""Virtual switches: each is a bridge of systemd-networkd, a "50-tarn-<name>.netdev" file
(name, kind, MTU) and a "50-tarn-<name>.network" file that enslaves its uplinks. The plugin
owns the files with that prefix and leaves every other file of the folder alone."""

import glob
import os

import demo_files
import tarn_plugin as tp

NETWORK_DIR = "/etc/systemd/network"
PREFIX = "50-tarn-"
NAME_LIMIT = 15  # the kernel's limit on interface names
MTU_RANGE = (576, 9216)


def check_name(field, name):
    """An interface name: it also names the unit files, so no '/', and it is a word of the
    [Match] line (blanks split it) in the kernel's length."""
    problems = demo_files.check_text(field, name, " /#;")
    if not problems and len(name) > NAME_LIMIT:
        problems = [demo_files.Problem(field, "com.example.demohost.vswitch.name-too-long",
                                       [name, str(NAME_LIMIT)])]
    return problems


def switch_problems(switch):
    return demo_files.check_members("", switch, {
        "name": check_name,
        "mtu": lambda field, value: demo_files.check_integer(field, value, *MTU_RANGE),
        "uplinks": lambda field, value: demo_files.check_list(field, value, check_name)})


def unit_files(folder, name):
    base = os.path.join(folder, PREFIX + name)
    return base + ".netdev", base + ".network"


def read_mtu(netdev, path):
    text = netdev.get("NetDev", "MTUBytes", fallback="1500")
    if not (text.isascii() and text.isdigit()):
        raise demo_files.unreadable(path, "MTUBytes=%s is not a number of bytes" % text)
    return int(text)


def read_switch(netdev_path, network_path):
    """The switch a .netdev file describes, or None when it is not a bridge."""
    netdev = demo_files.read_unit(netdev_path)
    if netdev.get("NetDev", "Kind", fallback="") != "bridge":
        return None
    network = demo_files.read_unit(network_path)
    if not netdev.get("NetDev", "Name", fallback=""):
        raise demo_files.unreadable(netdev_path, "the bridge has no Name= in [NetDev]")
    return {"name": netdev.get("NetDev", "Name"),
            "mtu": read_mtu(netdev, netdev_path),
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
    # A deleted switch is named by its instance id alone, which names its files.
    demo_files.refuse_bad_inputs(request, switch_problems, lambda name: check_name("", name))
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
    """The values' problems; then an uplink can belong to one switch only."""
    invalid = demo_files.invalid_fields(request, switch_problems, multi_instance=True)
    owners = {}
    for index, obj in enumerate(request.inputs):
        if switch_problems(obj.config):
            continue
        for uplink in obj.config["uplinks"]:
            if uplink in owners:
                path = demo_files.key_path(obj.id, index, "uplinks")
                invalid.append(tp.InvalidField(path, [tp.ErrorInfo(
                    "com.example.demohost.vswitch.uplink-taken", [uplink, owners[uplink]])]))
            owners.setdefault(uplink, obj.config["name"])
    return invalid
