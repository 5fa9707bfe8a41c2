"""Account lockout after failed logins: the "deny" and "unlock_time" settings of
/etc/security/faillock.conf. Apply rewrites those two lines; comments and other settings stay."""

import demo_files
import tarn_plugin as tp

FAILLOCK_CONF = "/etc/security/faillock.conf"
# Setting -> the values it takes, as the lockout module reads them.
RANGES = {"deny": (1, 100), "unlock_time": (0, 2**31 - 1)}


def lockout_problems(config):
    return demo_files.check_members("", config, {
        name: lambda field, value, limits=limits: demo_files.check_integer(field, value, *limits)
        for name, limits in RANGES.items()}, optional=("unlock_time",))


def setting(line):
    """(name, value) of a "name = value" line, or (None, None)."""
    if line.lstrip().startswith("#") or "=" not in line:
        return None, None
    name, value = line.split("=", 1)
    return name.strip(), value.strip()


def read_lockout(path):
    """The configuration value the file holds, or None when it sets no "deny"."""
    config = {}
    for line in demo_files.read_lines(path) or []:
        name, value = setting(line)
        if name not in RANGES:
            continue
        if not (value.isascii() and value.isdigit()):
            raise demo_files.unreadable(path, "%s = %s is not a whole number" % (name, value))
        config[name] = int(value)
    return config if "deny" in config else None


def write_lockout(lines, config):
    kept = [line for line in lines if setting(line)[0] not in RANGES]
    if config is None:
        return kept
    return kept + ["%s = %d" % (name, config[name]) for name in RANGES if name in config]


@tp.apply
def apply(request):
    demo_files.refuse_bad_inputs(request, lockout_problems)
    demo_files.rewrite_lines(request, request.host_path(FAILLOCK_CONF), write_lockout)


@tp.extract
def extract(request):
    return demo_files.single_value(request, read_lockout(request.host_path(FAILLOCK_CONF)))


@tp.validate
def validate(request):
    return demo_files.invalid_fields(request, lockout_problems, multi_instance=False)
