"""Name resolution: the "nameserver" and "search" lines of /etc/resolv.conf. Apply rewrites
those lines after every other line (comments and options stay as they were)."""

import demo_files
import tarn_plugin as tp

RESOLV_CONF = "/etc/resolv.conf"


def word_list(field, value):
    """Words of a resolv.conf line: it splits on blanks, and '#' or ';' starts a comment."""
    return demo_files.check_list(
        field, value, lambda item, word: demo_files.check_text(item, word, " #;"))


def resolver_problems(config):
    return demo_files.check_members("", config, {"nameservers": word_list, "search": word_list},
                                    optional=("search",))


def directive(line):
    words = line.split()
    return (words[0], words[1:]) if words and not line.startswith(("#", ";")) else (None, [])


def read_resolver(lines):
    """The configuration value the lines hold, or None when they name no server or domain."""
    nameservers, search = [], []
    for line in lines:
        name, args = directive(line)
        if name == "nameserver" and args:
            nameservers.append(args[0])
        elif name == "search":
            search = args  # the last search line wins, as for the resolver
    if not nameservers and not search:
        return None
    config = {"nameservers": nameservers}
    if search:
        config["search"] = search
    return config


def write_resolver(lines, config):
    """The lines with the managed ones replaced by config's (none when config is None)."""
    kept = [line for line in lines if directive(line)[0] not in ("nameserver", "search")]
    if config is None:
        return kept
    if config.get("search"):
        kept.append("search " + " ".join(config["search"]))
    return kept + ["nameserver " + server for server in config["nameservers"]]


@tp.apply
def apply(request):
    demo_files.refuse_bad_inputs(request, resolver_problems)
    demo_files.rewrite_lines(request, request.host_path(RESOLV_CONF), write_resolver)


@tp.extract
def extract(request):
    config = read_resolver(demo_files.read_lines(request.host_path(RESOLV_CONF)) or [])
    return demo_files.single_value(request, config)


@tp.validate
def validate(request):
    return demo_files.invalid_fields(request, resolver_problems, multi_instance=False)
