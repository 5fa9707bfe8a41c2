#!/usr/bin/env python3
"""Lists the dynamic symbols each shared library defines and fails on any that is not the
project's own: a std::, boost:: or rapidjson:: name (template instances that leak), or a
name outside the project's namespaces that is not one of the public free functions."""
import re
import subprocess
import sys

NAMESPACES = ("TarnConfigManager", "TarnConfigStore", "TarnSchemaStore", "TarnValidator",
              "SableCtl", "ConfigStoreDocument", "CSLogger", "HostCtl", "DBStore",
              "JsonValidator")
# The free functions outside the namespaces, as docs/packaging.md lists them.
PUBLIC_FUNCTIONS = ("CreatePluginSchemaFromFile", "CreatePluginSchemas", "ValidateAllPlugins",
                    "AddValidationError", "GetPluginVersion", "JsonToString", "Str_Asprintf",
                    "SABLE_ReturnStatusToString")
PUBLIC_PREFIXES = ("SysInfo_", "FeatureState_")
FOREIGN = re.compile(r"\b(std|boost|rapidjson|__gnu_cxx)::")
SPECIAL = re.compile(r"^(typeinfo name for |typeinfo for |vtable for |VTT for |guard variable for )")


def owned(name):
    name = SPECIAL.sub("", name)
    if name.startswith(tuple(ns + "::" for ns in NAMESPACES)):
        # A project name may take std types as arguments; a std template of a project type
        # starts with std:: or a return type and is caught below.
        return not FOREIGN.match(name)
    plain = name.split("(")[0].split("[")[0]
    return plain in PUBLIC_FUNCTIONS or plain.startswith(PUBLIC_PREFIXES)


def exported(library):
    out = subprocess.run(["nm", "-D", "-C", "--defined-only", library], check=True,
                         capture_output=True, text=True).stdout
    for line in out.splitlines():
        parts = line.split(" ", 2)
        if len(parts) == 3 and parts[1] not in ("A",):  # A: version node names
            yield parts[2]


def main(libraries):
    failed = False
    for library in libraries:
        names = list(exported(library))
        bad = sorted(name for name in names if not owned(name))
        print("%s: %d exported symbols, %d not the project's" % (library, len(names), len(bad)))
        for name in bad:
            print("  " + name)
        failed = failed or bool(bad) or not names
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
