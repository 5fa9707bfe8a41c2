"""The Python plugin runner's work: read the request, run the plugin's function for the
requested operation and write its answer as the result file.

Exit status: 0 when the result file is written; 1 when the plugin failed (its code raised,
or returned something that is not an answer to the operation); 3 when the plugin could not
be run (request unreadable, no plugin.py, no function for the operation, result file not
writable). A plugin that ends the process itself keeps its own status. No result file is
left behind on any failure; each is logged to the host log.
"""

import importlib.util
import os
import sys
import time
import traceback

import tarn_plugin
from tarn_plugin._request import RequestError, load_request
from tarn_plugin._result import (ResultError, build_error_result, build_result, encode_result,
                                 write_atomically)
from tarn_plugin._types import PluginError

PLUGIN_FAILED = 1
NOT_RUN = 3

# Every plugin module has this file name, in the folder of its manifest.
MODULE_FILE = "plugin.py"


class _Failure(Exception):
    def __init__(self, status, text):
        super().__init__(text)
        self.status = status


def _log_error(log_path, text):
    # The host log's line: the time in UTC to the millisecond, the process id, the priority.
    now = time.time()
    stamp = time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(now))
    line = "%s.%03dZ %d [error] py_plugin_runner: %s\n" % (
        stamp, int(now * 1000) % 1000, os.getpid(), text)
    try:
        with open(log_path, "a", encoding="utf-8", errors="replace") as log:
            log.write(line)
    except OSError:
        pass


def plugin_folder(plugin_dir, plugin_id):
    """The folder of the plugin's manifest: the id's pieces as folders below plugin_dir."""
    pieces = plugin_id.split(":")
    for piece in pieces:
        if piece in ("", ".", "..") or "/" in piece or "\0" in piece:
            raise _Failure(NOT_RUN, "the plugin id %r does not name a plugin folder" % plugin_id)
    return os.path.join(plugin_dir, *pieces)


def _import_plugin(folder):
    path = os.path.join(folder, MODULE_FILE)
    if not os.path.isfile(path):
        raise _Failure(NOT_RUN, "no plugin module %s" % path)
    # Helpers beside the module import by plain name; the SDK stays first on the path.
    sys.path.insert(1, folder)
    spec = importlib.util.spec_from_file_location("plugin", path)
    module = importlib.util.module_from_spec(spec)
    sys.modules["plugin"] = module
    try:
        spec.loader.exec_module(module)
    except Exception:
        traceback.print_exc()
        raise _Failure(PLUGIN_FAILED, "importing %s raised" % path) from None
    return path


def _answer(request, function):
    try:
        return build_result(request.operation, function(request))
    except PluginError as e:
        return build_error_result(request.operation, e.error)
    except ResultError as e:
        raise _Failure(PLUGIN_FAILED, "the %s operation returned a wrong answer: %s"
                       % (request.operation.lower(), e)) from None
    except Exception:
        traceback.print_exc()
        raise _Failure(PLUGIN_FAILED, "the %s operation raised" % request.operation.lower())


def _run(request_path, result_path, plugin_dir, host_root):
    try:
        request = load_request(request_path, host_root)
    except RequestError as e:
        raise _Failure(NOT_RUN, str(e)) from None
    prefix = "plugin %s: " % request.plugin_id
    try:
        path = _import_plugin(plugin_folder(plugin_dir, request.plugin_id))
        function = tarn_plugin.handler(request.operation)
        if function is None:
            raise _Failure(NOT_RUN, "%s registers no function for %s"
                           % (path, request.operation))
        data = encode_result(_answer(request, function))
    except ResultError as e:
        raise _Failure(PLUGIN_FAILED, prefix + str(e)) from None
    except _Failure as e:
        raise _Failure(e.status, prefix + str(e)) from None
    try:
        write_atomically(result_path, data)
    except OSError as e:
        raise _Failure(NOT_RUN, "%scannot write the result file %s: %s"
                       % (prefix, result_path, e.strerror)) from None


def main(request_path, result_path, plugin_dir, log_path, host_root):
    """Runs one plugin operation; returns the exit status."""
    sys.dont_write_bytecode = True  # plugin folders stay as the package laid them out
    try:
        _run(request_path, result_path, plugin_dir, host_root)
    except _Failure as e:
        _log_error(log_path, str(e))
        return e.status
    return 0
