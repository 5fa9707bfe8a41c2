"""Account lockout after failed logins: the "deny" and "unlock_time" settings of
/etc/security/faillock.conf. Apply rewrites those two lines; comments and other settings stay."""

import demo_files
import tarn_plugin as tp

FAILLOCK_CONF = "/etc/security/faillock.conf"
SETTINGS = ("deny", "unlock_time")


def setting(line):
    """(name, value) of a "name = value" line, or (None, None)."""
    if line.lstrip().startswith("#") or "=" not in line:
        return None, None
    name, value = line.split("=", 1)
    return name.strip(), value.strip()


def read_lockout(lines):
    config = {}
    for line in lines:
        name, value = setting(line)
        if name in SETTINGS and value.isdigit():
            config[name] = int(value)
    return config if "deny" in config else None


def write_lockout(lines, config):
    kept = [line for line in lines if setting(line)[0] not in SETTINGS]
    if config is None:
        return kept
    return kept + ["%s = %d" % (name, config[name]) for name in SETTINGS if name in config]


@tp.apply
def apply(request):
    path = request.host_path(FAILLOCK_CONF)
    lines = demo_files.read_lines(path) or []
    for change in request.inputs:
        lines = write_lockout(lines, None if change.operation == "DELETE" else change.config)
    demo_files.write_lines(path, lines)


@tp.extract
def extract(request):
    config = read_lockout(demo_files.read_lines(request.host_path(FAILLOCK_CONF)) or [])
    return [] if config is None else [tp.ConfigObject(key, config) for key in request.ids]
