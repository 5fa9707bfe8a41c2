"""Reading the request file that the library writes before it starts the runner."""

import json

from tarn_plugin._types import CachedDrift, ConfigInput, ObjectId, Request


class RequestError(Exception):
    """The request file is missing or not in the request format."""


class _Object(list):
    """A JSON object as its (name, value) pairs: member names of "data" may repeat."""


_REQUIRED = object()


def _is_kind(value, kind):
    # JSON arrays are plain lists (objects are _Object lists); booleans are not integers.
    if kind is list:
        return type(value) is list
    return isinstance(value, kind) and not (kind is int and isinstance(value, bool))


def _members(value, what):
    if not isinstance(value, _Object):
        raise RequestError("%s is not a JSON object" % what)
    return value


def _get(pairs, name, kind, what, default=_REQUIRED):
    for member, value in pairs:
        if member == name:
            if not _is_kind(value, kind):
                raise RequestError("member \"%s\" of %s has the wrong type" % (name, what))
            return value
    if default is _REQUIRED:
        raise RequestError("%s has no member \"%s\"" % (what, name))
    return default


def _json_text(text, what):
    try:
        return json.loads(text)
    except ValueError as e:
        raise RequestError("%s is not JSON text: %s" % (what, e)) from None


def _object_id(pairs, what, with_instance=True):
    return ObjectId(_get(pairs, "component", str, what), _get(pairs, "group", str, what),
                    _get(pairs, "key", str, what),
                    _get(pairs, "instanceId", str, what) if with_instance else "")


def _cached_drift(pairs, what):
    drift = _get(pairs, "drift", str, what, default="")
    return CachedDrift(_json_text(drift, what + " drift") if drift else None,
                       _get(pairs, "operation", str, what))


def _input(name, pairs):
    what = "request object \"%s\"" % name
    pairs = _members(pairs, what)
    drift = _get(pairs, "drift", str, what, default="")
    cached = _get(pairs, "cachedDrift", _Object, what, default=None)
    return ConfigInput(
        id=_object_id(pairs, what),
        config=_json_text(_get(pairs, "config", str, what), what + " config"),
        operation=_get(pairs, "operation", str, what, default=""),
        drift=_json_text(drift, what + " drift") if drift else None,
        cached_drift=None if cached is None else _cached_drift(cached, what + " cachedDrift"))


def _inputs(root, name):
    listed = _get(root, name, _Object, "the request", default=_Object())
    return [_input(member, value) for member, value in listed]


def _ids(root):
    listed = _get(root, "csoIds", list, "the request", default=[])
    ids = []
    for i, entry in enumerate(listed):
        what = "csoIds[%d]" % i
        ids.append(_object_id(_members(entry, what), what, with_instance=False))
    return ids


def parse_request(text, host_root=""):
    """The Request in text (the request file's JSON), for a host below host_root."""
    try:
        root = json.loads(text, object_pairs_hook=_Object)
    except ValueError as e:
        raise RequestError("the request is not JSON: %s" % e) from None
    root = _members(root, "the request")
    return Request(
        plugin_id=_get(root, "key", str, "the request"),
        operation=_get(root, "type", str, "the request"),
        version=_get(root, "version", int, "the request"),
        task_id=_get(root, "taskId", str, "the request"),
        cluster_context=_get(root, "clusterContext", str, "the request"),
        inputs=_inputs(root, "data"),
        references=_inputs(root, "references"),
        ids=_ids(root),
        host_root=host_root)


def load_request(path, host_root=""):
    """The Request in the file at path, for a host below host_root."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise RequestError("cannot read the request file %s: %s" % (path, e.strerror)) from None
    try:
        return parse_request(data.decode("utf-8"), host_root)
    except UnicodeDecodeError:
        raise RequestError("the request file %s is not UTF-8" % path) from None
