"""The uplink of the logical switch: a VLAN device, /etc/systemd/network/20-tarn-lsw.netdev,
with its name and VLAN id. Apply writes the whole unit; DELETE removes it."""

import demo_files
import tarn_plugin as tp

NETDEV = "/etc/systemd/network/20-tarn-lsw.netdev"
VLAN_RANGE = (1, 4094)  # 0 and 4095 are reserved by the VLAN tag format


def uplink_problems(config):
    return demo_files.check_members("", config, {
        "name": lambda field, value: demo_files.check_text(field, value, " "),
        "vlan": lambda field, value: demo_files.check_integer(field, value, *VLAN_RANGE)})


def read_netdev(path):
    """The configuration value the unit holds, or None when it names no device."""
    unit = demo_files.read_unit(path)
    name = unit.get("NetDev", "Name", fallback="").strip()
    if not name:
        return None
    vlan = unit.get("VLAN", "Id", fallback="").strip()
    if not (vlan.isascii() and vlan.isdigit()):
        raise demo_files.unreadable(path, "Id=%s is not a VLAN id" % vlan)
    return {"name": name, "vlan": int(vlan)}


def write_netdev(config):
    return ["# Uplink of the logical switch of the desired host configuration.", "[NetDev]",
            "Name=" + config["name"], "Kind=vlan", "", "[VLAN]", "Id=%d" % config["vlan"]]


@tp.apply
def apply(request):
    demo_files.refuse_bad_inputs(request, uplink_problems)
    demo_files.replace_file(request, request.host_path(NETDEV), write_netdev)


@tp.extract
def extract(request):
    return demo_files.single_value(request, read_netdev(request.host_path(NETDEV)))


@tp.validate
def validate(request):
    return demo_files.invalid_fields(request, uplink_problems, multi_instance=False)
