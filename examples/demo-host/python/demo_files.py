"""File helpers and value checks shared by the demo host's Python plugins (a copy sits beside
each plugin.py).

Host files are read as lines and replaced whole through a temporary file and a rename, so a
reader sees the old file or the new one, never half of one. A file that cannot be read back
is reported as a PluginError naming it.

Values are checked before anything is written: a plugin describes what would corrupt its file
as a function from a value to a list of Problems, and uses it twice, in validate (one
InvalidField per problem) and in apply (refuse_bad_inputs, before the first write), since an
apply cannot trust that validation ran.
"""

import collections
import configparser
import os
import tempfile
import unicodedata

import tarn_plugin as tp

MESSAGE = "com.example.demohost."
WRONG_TYPE = MESSAGE + "wrong-type"
MISSING = MESSAGE + "missing"
EMPTY = MESSAGE + "empty"
CONTROL_CHARACTER = MESSAGE + "control-character"
SEPARATOR = MESSAGE + "separator"
OUT_OF_RANGE = MESSAGE + "out-of-range"
UNREADABLE_FILE = MESSAGE + "unreadable-file"
UNPARSABLE_LINE = MESSAGE + "unparsable-line"

# A problem of one field of a value: field is its path inside the value ("home",
# "nameservers/1"); details are the message's arguments (in an apply, after the field's path).
Problem = collections.namedtuple("Problem", "field id details")

JSON_TYPES = ((bool, "boolean"), (int, "integer"), (float, "number"), (str, "string"),
              (list, "array"), (dict, "object"))


def unreadable(path, reason):
    return tp.PluginError(UNREADABLE_FILE, [path, reason])


def unparsable(path, number, reason):
    return tp.PluginError(UNPARSABLE_LINE, [path, str(number), reason])


def read_lines(path, required=False):
    """The lines of the file without line ends, or None when it does not exist and is not
    required. Raises PluginError (unreadable-file: the path and why) otherwise."""
    try:
        with open(path, encoding="utf-8", newline="") as source:
            lines = source.read().split("\n")
    except FileNotFoundError:
        if required:
            raise unreadable(path, "it does not exist") from None
        return None
    except OSError as e:
        raise unreadable(path, e.strerror or str(e)) from None
    except UnicodeDecodeError as e:
        raise unreadable(path, "byte %d is not UTF-8 text" % e.start) from None
    # Only "\n" ends a line, as write_lines writes them: a form feed or a Unicode line
    # separator inside a line stays where it is.
    return lines[:-1] if lines[-1] == "" else lines


def write_lines(path, lines, mode=0o644):
    """Replaces the file by the lines, each ended by a newline."""
    folder = os.path.dirname(path)
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".tarn-")
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as target:
            target.writelines(line + "\n" for line in lines)
        os.chmod(temporary, mode)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def remove(path):
    """Removes the file; a file that is already gone is fine."""
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def read_unit(path):
    """A unit file's sections (none when it does not exist); PluginError when it cannot be
    read or parsed."""
    unit = configparser.ConfigParser(strict=False, interpolation=None)
    unit.optionxform = str  # systemd's setting names are case-sensitive
    lines = read_lines(path)
    try:
        unit.read_string("\n".join(lines or []), path)
    except configparser.MissingSectionHeaderError as e:
        raise unparsable(path, e.lineno, "a setting before the first section") from None
    except configparser.ParsingError as e:
        raise unparsable(path, e.errors[0][0], "neither a section nor a setting") from None
    return unit


def rewrite_lines(request, path, rewrite):
    """Applies each change to the file's lines with rewrite(lines, value or None for a
    DELETE) and writes the result once."""
    lines = read_lines(path) or []
    for change in request.inputs:
        lines = rewrite(lines, None if change.operation == "DELETE" else change.config)
    write_lines(path, lines)


def replace_file(request, path, render):
    """Writes the file whole from each changed value (render(value) gives its lines) or
    removes it for a DELETE."""
    for change in request.inputs:
        if change.operation == "DELETE":
            remove(path)
        else:
            write_lines(path, render(change.config))


def single_value(request, config):
    """The extract answer of a key with one value: config under each requested id, or
    nothing when the host has no value (None)."""
    return [] if config is None else [tp.ConfigObject(key, config) for key in request.ids]


def key_path(object_id, index=None, member=None):
    """The document path of a key, of an instance (by its index) or of one of its members."""
    path = "/%s/%s/%s" % (object_id.component, object_id.group, object_id.key)
    if index is not None:
        path += "/%d" % index
    if member is not None:
        path += "/" + member
    return path


def type_name(value):
    return next((name for kind, name in JSON_TYPES if isinstance(value, kind)), "null")


def wrong_type(field, value, expected):
    return [] if type_name(value) == expected else [Problem(field, WRONG_TYPE, [expected])]


def character_name(char):
    return "'%s'" % char if char.isprintable() and not char.isspace() else "U+%04X" % ord(char)


def check_text(field, value, separators="", allow_empty=False):
    """A string without line breaks or other control characters, nor any of separators (a
    space among them stands for every whitespace character)."""
    problems = wrong_type(field, value, "string")
    if problems:
        return problems
    if not value and not allow_empty:
        return [Problem(field, EMPTY, [])]
    for char in value:
        if unicodedata.category(char) in ("Cc", "Zl", "Zp"):
            return [Problem(field, CONTROL_CHARACTER, [character_name(char)])]
        if char in separators or (" " in separators and char.isspace()):
            return [Problem(field, SEPARATOR, [character_name(char)])]
    return []


def check_integer(field, value, low, high):
    """A JSON integer (not a number with a fraction or exponent) from low to high."""
    problems = wrong_type(field, value, "integer")
    if not problems and not low <= value <= high:
        problems = [Problem(field, OUT_OF_RANGE, [str(value), str(low), str(high)])]
    return problems


def check_list(field, value, check_item):
    """An array whose every item passes check_item(item field, item)."""
    problems = wrong_type(field, value, "array")
    if problems:
        return problems
    return [p for index, item in enumerate(value)
            for p in check_item("%s/%d" % (field, index), item)]


def check_members(field, value, checks, optional=()):
    """An object whose members pass their checks ({name: check(member field, member value)});
    every member not in optional must be present. field is "" for the whole value."""
    problems = wrong_type(field, value, "object")
    if problems:
        return problems
    for name, check in checks.items():
        member = field + "/" + name if field else name
        if name in value:
            problems += check(member, value[name])
        elif name not in optional:
            problems.append(Problem(member, MISSING, []))
    return problems


def invalid_fields(request, problems_of, multi_instance):
    """The validate answer: one InvalidField per problem of each input's value."""
    invalid = []
    for index, obj in enumerate(request.inputs):
        base = key_path(obj.id, index if multi_instance else None)
        for problem in problems_of(obj.config):
            path = base + ("/" + problem.field if problem.field else "")
            invalid.append(tp.InvalidField(path, [tp.ErrorInfo(problem.id, problem.details)]))
    return invalid


def refuse_bad_inputs(request, problems_of, instance_problems=None):
    """Raises PluginError for the first problem of an added or changed value; its first
    argument names the field below the object's id (/component/group/key[/instance id]/field),
    as an apply has no document path. A plugin that uses the
    instance id of a deleted object (to name a file) checks it with instance_problems."""
    for change in request.inputs:
        if change.operation != "DELETE":
            problems = problems_of(change.config)
        else:
            problems = instance_problems(change.id.instance_id) if instance_problems else []
        for problem in problems:
            path = "/".join(part for part in (key_path(change.id), change.id.instance_id,
                                              problem.field) if part)
            raise tp.PluginError(problem.id, [path] + problem.details)
