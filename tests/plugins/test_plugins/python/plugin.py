"""The Python test plugin. One module serves every test behaviour; the behaviour is the last
piece of the plugin's id, i.e. the folder its manifest is installed in (the same behaviours
as the native test plugin: ok, error, raises, garbage, exit2, kill9, hang, malformed,
noresult; and background, which leaves a child of its own running and then hangs)."""

import os
import signal
import subprocess

import tarn_plugin as tp
from tarn_plugin import _host_paths

# Where the hang behaviour says that it hangs.
HANGING_MARKER = "/var/corvid/lifecycle/test-plugin-hanging"
# Where the background behaviour notes its own and its child's process ids.
BACKGROUND_MARKER = "/var/corvid/lifecycle/test-plugin-background"


def behaviour(request):
    return request.plugin_id.rsplit(":", 1)[-1]


def misbehave(request):
    """Behaviours that do not answer; returns for "ok", "error" and "garbage"."""
    kind = behaviour(request)
    if kind == "error":
        raise tp.PluginError("test.plugin.error", [request.plugin_id], "reported")
    if kind == "raises":
        raise RuntimeError("the test plugin raises")
    if kind == "exit2":
        os._exit(2)
    if kind == "kill9":
        os.kill(os.getpid(), signal.SIGKILL)
    if kind == "background":
        sleeper = subprocess.Popen(["/bin/sleep", "300"])
        marker = request.host_path(BACKGROUND_MARKER)
        with open(marker + ".new", "w") as out:
            out.write("%d %d" % (os.getpid(), sleeper.pid))
        os.rename(marker + ".new", marker)
        kind = "hang"
    if kind == "hang":
        open(request.host_path(HANGING_MARKER), "w").close()
        while True:
            signal.pause()
    if kind == "malformed":
        with open(_host_paths.RESULT_FILE, "w") as out:
            out.write('{"id": "trunc')
        os._exit(0)
    if kind == "noresult":
        os._exit(0)


@tp.apply
def apply(request):
    misbehave(request)
    if behaviour(request) == "garbage":
        return "done"


@tp.impact
def impact(request):
    """One verdict per change: maintenance mode, quick boot ruled out when it has a drift."""
    misbehave(request)
    level = 7 if behaviour(request) == "garbage" else tp.Impact.MAINTENANCE_MODE
    return [tp.ImpactVerdict(change.id, level, change.drift is None) for change in request.inputs]


@tp.extract
def extract(request):
    """One object per requested key, holding what the request said about the run."""
    misbehave(request)
    config = {"plugin": request.plugin_id, "task": request.task_id,
              "context": request.cluster_context, "root": request.host_root}
    if behaviour(request) == "garbage":
        config = float("nan")
    return [tp.ConfigObject(key, config) for key in request.ids]


@tp.validate
def validate(request):
    """One problem per object at "/<key>/value", naming it and the number of references."""
    misbehave(request)
    if behaviour(request) == "garbage":
        return [tp.InvalidField("/path", "not a list of ErrorInfo")]
    return [tp.InvalidField("/%s/value" % obj.id.key,
                            [tp.ErrorInfo("test.invalid",
                                          [obj.id.instance_id or obj.id.key,
                                           str(len(request.references))])])
            for obj in request.inputs]
