"""Static host names: one instance per address line of /etc/hosts, identified by its
content (address and names). Apply removes and appends lines; comments and the other lines
stay as they were."""

import hashlib
import ipaddress

import demo_files
import tarn_plugin as tp

HOSTS = "/etc/hosts"
GENERATED_ID = "cs_generated_id"
NOT_AN_ADDRESS = "com.example.demohost.hosts.not-an-address"


def word(field, value):
    """A word of a hosts line: the line splits on blanks, and '#' starts a comment."""
    return demo_files.check_text(field, value, " #")


def check_address(field, value):
    problems = word(field, value)
    if not problems:
        try:
            ipaddress.ip_address(value)
        except ValueError:
            problems = [demo_files.Problem(field, NOT_AN_ADDRESS, [value])]
    return problems


def entry_problems(entry):
    """Every address must be an IPv4 or IPv6 address, and no word may split or end the line."""
    problems = demo_files.check_members("", entry, {
        "address": check_address,
        "names": lambda field, value: demo_files.check_list(field, value, word),
        GENERATED_ID: lambda field, value: demo_files.wrong_type(field, value, "string")},
        optional=(GENERATED_ID,))
    if not problems and not entry["names"]:
        problems = [demo_files.Problem("names", demo_files.EMPTY, [])]
    return problems


def parse_entry(line):
    """The entry of a line ({"address", "names"}), or None for comments and blank lines."""
    words = line.split("#", 1)[0].split()
    return {"address": words[0], "names": words[1:]} if len(words) >= 2 else None


def content_id(entry):
    text = " ".join([entry["address"]] + list(entry["names"]))
    return hashlib.sha256(text.encode("utf-8")).hexdigest()[:16]


def same_entry(a, b):
    return a is not None and a["address"] == b["address"] and a["names"] == b["names"]


def read_entries(lines):
    """The distinct entries, in file order, each with its content id."""
    entries = {}
    for line in lines:
        entry = parse_entry(line)
        if entry:
            entries.setdefault(content_id(entry), dict(entry, **{GENERATED_ID: content_id(entry)}))
    return list(entries.values())


def apply_change(lines, operation, entry):
    kept = [line for line in lines if not same_entry(parse_entry(line), entry)]
    if operation != "DELETE":
        kept.append("%s\t%s" % (entry["address"], " ".join(entry["names"])))
    return kept


@tp.apply
def apply(request):
    demo_files.refuse_bad_inputs(request, entry_problems)
    path = request.host_path(HOSTS)
    lines = demo_files.read_lines(path) or []
    for change in request.inputs:
        lines = apply_change(lines, change.operation, change.config)
    demo_files.write_lines(path, lines)


@tp.extract
def extract(request):
    entries = read_entries(demo_files.read_lines(request.host_path(HOSTS)) or [])
    return [tp.ConfigObject(tp.ObjectId(key.component, key.group, key.key, entry[GENERATED_ID]),
                            entry)
            for key in request.ids for entry in entries]


@tp.validate
def validate(request):
    return demo_files.invalid_fields(request, entry_problems, multi_instance=True)
