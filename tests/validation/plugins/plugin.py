"""Validation test plugin. One module serves every manifest the validation tests install.

It records what it was given in seen.log beside itself, then answers what the validated
configuration asks for: an object whose value holds "fail" (a message id) makes the run
fail with that id; "report" (path -> list of message ids) reports those problems, each
message with the object's key as its argument."""

import json
import os

import tarn_plugin as tp


def _ids(objects):
    return [[o.id.component, o.id.group, o.id.key, o.id.instance_id] for o in objects]


def _record(request):
    seen = {"inputs": _ids(request.inputs), "references": _ids(request.references),
            "context": request.cluster_context}
    with open(os.path.join(os.path.dirname(__file__), "seen.log"), "w") as out:
        json.dump(seen, out)


@tp.validate
def validate(request):
    _record(request)
    fields = []
    for obj in request.inputs:
        config = obj.config if isinstance(obj.config, dict) else {}
        if "fail" in config:
            raise tp.PluginError(config["fail"], [request.plugin_id])
        for path, ids in config.get("report", {}).items():
            fields.append(tp.InvalidField(path, [tp.ErrorInfo(i, [obj.id.key]) for i in ids]))
    return fields
