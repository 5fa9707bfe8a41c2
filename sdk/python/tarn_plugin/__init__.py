"""Plugin SDK for Python plugins of the host configuration manager.

A plugin is a module named plugin.py beside its manifest. It registers one function per
operation it supports with the decorators below; the Python plugin runner imports the
module, builds the typed Request, calls the function of the requested operation and writes
its answer. The plugin never touches the request or result files.

    import tarn_plugin as tp

    @tp.impact
    def judge(request):
        return [tp.ImpactVerdict(change.id, tp.Impact.REBOOT) for change in request.inputs]

Raise PluginError to report an error as the run's answer. Any other exception fails the
run: the runner prints the traceback and exits with status 1.
"""

from tarn_plugin._types import (
    CachedDrift,
    ConfigInput,
    ConfigObject,
    ErrorInfo,
    Impact,
    ImpactVerdict,
    InvalidField,
    ObjectId,
    PluginError,
    Request,
)

__all__ = [
    "CachedDrift", "ConfigInput", "ConfigObject", "ErrorInfo", "Impact", "ImpactVerdict",
    "InvalidField", "ObjectId", "PluginError", "Request",
    "apply", "impact", "extract", "validate", "handler",
]

# Operation name (as the request names it) -> the registered function.
_handlers = {}


def _register(operation):
    def decorator(function):
        if not callable(function):
            raise TypeError("@%s needs a function" % operation.lower())
        _handlers[operation] = function
        return function
    return decorator


apply = _register("APPLY")
apply.__doc__ = "Registers f(request) -> None as the plugin's apply operation."
impact = _register("IMPACT")
impact.__doc__ = "Registers f(request) -> list of ImpactVerdict as the impact operation."
extract = _register("EXTRACT")
extract.__doc__ = "Registers f(request) -> list of ConfigObject as the extract operation."
validate = _register("VALIDATE")
validate.__doc__ = "Registers f(request) -> list of InvalidField as the validate operation."


def handler(operation):
    """The function registered for operation ("APPLY", ...), or None."""
    return _handlers.get(operation)
