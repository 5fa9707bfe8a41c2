"""Test plugin of the impact and apply suites. The file "setup" beside it (JSON written by the
test that installs the plugin; not named .json, which would make it a manifest) says what it
does:

- apply "write": change the host as a real plugin does. Here the host's current configuration
  is the configuration store's current rows (what extraction reads), so the plugin writes them
  with sqlite3; "fail": raise PluginError; "hang": note that it runs, then wait for the SIGTERM
  of an abort and note that too; "none": change nothing.
- impact: one verdict per change, the impact the setup's "impact" names for the change's key
  (none when it names none), quick boot as its "quickBoot" says (a list: one flag per change,
  in turn); "impactFails": raise
  PluginError.

Every run first appends one JSON line to the call log: the plugin, the operation, the cluster
context and each input's id, operation, drift and cached drift."""

import json
import os
import signal
import sqlite3

import tarn_plugin as tp

HERE = os.path.dirname(os.path.abspath(__file__))

with open(os.path.join(HERE, "setup"), encoding="utf-8") as setup_file:
    SETUP = json.load(setup_file)


def key_of(object_id):
    return "%s:%s:%s" % (object_id.component, object_id.group, object_id.key)


def note(entry):
    with open(SETUP["log"], "a", encoding="utf-8") as log:
        log.write(json.dumps(entry) + "\n")


def note_call(request):
    inputs = []
    for change in request.inputs:
        cached = change.cached_drift
        inputs.append({
            "id": key_of(change.id) + ":" + change.id.instance_id,
            "operation": change.operation, "config": change.config, "drift": change.drift,
            "cached": None if cached is None else {"operation": cached.operation,
                                                   "drift": cached.drift}})
    note({"plugin": request.plugin_id, "operation": request.operation,
          "context": request.cluster_context, "inputs": inputs})


def write_current_rows(inputs):
    store = sqlite3.connect(SETUP["store"], timeout=10)
    with store:
        for change in inputs:
            row = (change.id.component, change.id.group, change.id.key, change.id.instance_id)
            if change.operation == "DELETE":
                store.execute("DELETE FROM current_config WHERE component = ? AND "
                              "config_group = ? AND name = ? AND identifier = ?", row)
            else:
                store.execute("INSERT INTO current_config "
                              "(component, config_group, name, identifier, value) "
                              "VALUES (?, ?, ?, ?, ?) ON CONFLICT "
                              "(component, config_group, name, identifier) "
                              "DO UPDATE SET value = excluded.value",
                              row + (json.dumps(change.config, separators=(",", ":")),))
    store.close()


def hang(request):
    def ended(signum, frame):
        note({"plugin": request.plugin_id, "signal": signum})
        os._exit(128 + signum)

    signal.signal(signal.SIGTERM, ended)
    open(SETUP["running"], "w").close()
    while True:
        signal.pause()


@tp.apply
def apply(request):
    note_call(request)
    behaviour = SETUP.get("apply", "write")
    if behaviour == "fail":
        raise tp.PluginError("test.apply.failed", [request.plugin_id])
    if behaviour == "hang":
        hang(request)
    if behaviour == "write":
        write_current_rows(request.inputs)


@tp.impact
def impact(request):
    note_call(request)
    if SETUP.get("impactFails"):
        raise tp.PluginError("test.impact.failed", [request.plugin_id])
    verdicts = SETUP.get("impact", {})
    quick = SETUP.get("quickBoot", True)
    if not isinstance(quick, list):
        quick = [quick]
    return [tp.ImpactVerdict(change.id, verdicts.get(key_of(change.id), tp.Impact.NONE),
                             quick[number % len(quick)])
            for number, change in enumerate(request.inputs)]
