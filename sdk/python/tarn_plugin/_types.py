"""Typed inputs and results of plugin operations."""

import enum
from dataclasses import dataclass, field
from typing import Any, List, Optional


@dataclass(frozen=True)
class ObjectId:
    """Identity of a configuration object; instance_id is "" for a single-instance key."""
    component: str
    group: str
    key: str
    instance_id: str = ""


@dataclass
class CachedDrift:
    """The drift an earlier impact run remembered for an object."""
    drift: Optional[Any]  # the drift markers, None when it recorded none
    operation: str


@dataclass
class ConfigInput:
    """One configuration object handed to the plugin; config is its parsed JSON value."""
    id: ObjectId
    config: Any
    operation: str = ""                       # apply, impact: "ADD", "SET" or "DELETE"
    drift: Optional[Any] = None               # apply, impact: parsed drift markers
    cached_drift: Optional[CachedDrift] = None


@dataclass
class Request:
    """The request of one run. Lists the operation does not use are empty."""
    plugin_id: str
    operation: str  # "APPLY", "IMPACT", "EXTRACT" or "VALIDATE"
    version: int
    task_id: str
    cluster_context: str
    inputs: List[ConfigInput] = field(default_factory=list)      # apply, impact, validate
    references: List[ConfigInput] = field(default_factory=list)  # validate
    ids: List[ObjectId] = field(default_factory=list)            # extract
    host_root: str = ""  # "" on a real host, the build's host root in development builds

    def host_path(self, path):
        """A host path ("/etc/motd") as the plugin must open it: below the host root."""
        return self.host_root + path


@dataclass
class ErrorInfo:
    """A message: its id, its arguments in placeholder order and a text."""
    id: str
    args: List[str] = field(default_factory=list)
    message: str = ""


class PluginError(Exception):
    """Raise to report an error as the run's answer; any other result is dropped."""

    def __init__(self, id, args=(), message=""):
        super().__init__(id)
        self.error = ErrorInfo(id, list(args), message)


class Impact(enum.IntEnum):
    NONE = 0
    MAINTENANCE_MODE = 1
    REBOOT = 2


@dataclass
class ImpactVerdict:
    """The verdict on one changed object."""
    id: ObjectId
    impact: Impact
    quick_boot_capable: bool = True  # False when the change rules out a quick boot


@dataclass
class ConfigObject:
    """An extracted configuration object; config is any JSON-serialisable value."""
    id: ObjectId
    config: Any


@dataclass
class InvalidField:
    """Problems found at one "/"-separated path of the validated configuration."""
    path: str
    messages: List[ErrorInfo]
