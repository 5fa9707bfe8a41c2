"""Turning a plugin's answer into the result file the library loads.

The result file is one JSON object: the run's error ("id", "args", "message"; an empty id
reports success) beside the operation's list: "impacts", "configs" or "errors".
"""

import json
import os
import tempfile

from tarn_plugin._types import ConfigObject, ErrorInfo, ImpactVerdict, InvalidField, ObjectId


class ResultError(Exception):
    """The plugin returned something that is not a valid answer to its operation."""


def _check(condition, text):
    if not condition:
        raise ResultError(text)


def _text(value, what):
    _check(isinstance(value, str), "%s is %r, not a str" % (what, value))
    return value


def _list(value, kind, what):
    _check(isinstance(value, (list, tuple)), "%s is %r, not a list of %s"
           % (what, value, kind.__name__))
    for i, item in enumerate(value):
        _check(isinstance(item, kind), "%s[%d] is %r, not a %s" % (what, i, item, kind.__name__))
    return value


def _error(error, what):
    _check(isinstance(error, ErrorInfo), "%s is %r, not an ErrorInfo" % (what, error))
    args = _list(error.args, str, what + ".args")
    return {"id": _text(error.id, what + ".id"), "args": list(args),
            "message": _text(error.message, what + ".message")}


def _id_members(object_id, what):
    _check(isinstance(object_id, ObjectId), "%s is %r, not an ObjectId" % (what, object_id))
    return {"component": _text(object_id.component, what + ".component"),
            "group": _text(object_id.group, what + ".group"),
            "key": _text(object_id.key, what + ".key"),
            "instanceId": _text(object_id.instance_id, what + ".instance_id")}


def _impact(verdict, what):
    level = verdict.impact
    _check(isinstance(level, int) and not isinstance(level, bool) and 0 <= level <= 2,
           "%s.impact is %r, not an Impact" % (what, level))
    _check(isinstance(verdict.quick_boot_capable, bool),
           "%s.quick_boot_capable is %r, not a bool" % (what, verdict.quick_boot_capable))
    entry = {"impact": int(level)}
    entry.update(_id_members(verdict.id, what + ".id"))
    entry["quickBootCapable"] = verdict.quick_boot_capable
    return entry


def _config(obj, what):
    try:
        text = json.dumps(obj.config, ensure_ascii=False, allow_nan=False, separators=(",", ":"))
    except (TypeError, ValueError) as e:
        raise ResultError("%s.config is not a JSON value: %s" % (what, e)) from None
    entry = {"config": text}
    entry.update(_id_members(obj.id, what + ".id"))
    return entry


def _invalid(field, what):
    messages = _list(field.messages, ErrorInfo, what + ".messages")
    return {"path": _text(field.path, what + ".path"),
            "messages": [_error(m, "%s.messages[%d]" % (what, i)) for i, m in enumerate(messages)]}


# Operation -> (list member, element type, element converter).
_LISTS = {
    "IMPACT": ("impacts", ImpactVerdict, _impact),
    "EXTRACT": ("configs", ConfigObject, _config),
    "VALIDATE": ("errors", InvalidField, _invalid),
}


def build_result(operation, answer):
    """The result document of operation for the plugin's return value."""
    result = {"id": "", "args": [], "message": ""}
    if operation == "APPLY":
        _check(answer is None, "apply returned %r; it returns None and raises PluginError to "
               "report an error" % (answer,))
        return result
    name, kind, convert = _LISTS[operation]
    what = operation.lower() + " result"
    items = _list(answer, kind, what)
    result[name] = [convert(item, "%s[%d]" % (what, i)) for i, item in enumerate(items)]
    if operation == "VALIDATE":
        result[name] = _merge_paths(result[name])
    return result


def _merge_paths(entries):
    # Problems at one path are kept together, in the order reported.
    merged = {}
    for entry in entries:
        if entry["path"] in merged:
            merged[entry["path"]]["messages"].extend(entry["messages"])
        else:
            merged[entry["path"]] = entry
    return list(merged.values())


def build_error_result(operation, error):
    """The result document of an operation that raised PluginError."""
    result = _error(error, "the PluginError")
    if operation in _LISTS:
        result[_LISTS[operation][0]] = []
    return result


def encode_result(result):
    """The result document as UTF-8 JSON text."""
    try:
        text = json.dumps(result, ensure_ascii=False, allow_nan=False, separators=(",", ":"))
        return text.encode("utf-8")
    except (TypeError, ValueError) as e:
        # Lone surrogates and other text that is not Unicode end here.
        raise ResultError("the result cannot be written as JSON: %s" % e) from None


def write_atomically(path, data):
    """Writes data to path through a fresh file (mode 0600) in the same folder renamed over
    path, so readers see no file or the whole file."""
    folder, name = os.path.split(path)
    fd, temporary = tempfile.mkstemp(prefix="." + name + ".", dir=folder or ".")
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise
