#!/usr/bin/env python3
"""Fails when a source file includes a header it may not: a header of a layer above its own
(or of another layer of the same rank), a private header of the library (src/<subsystem>/...)
outside the library or in another subsystem's tests, or rapidjson anywhere but in the JSON
layer. The layers, their ranks and their
folders are read from the table under "## Layer order" in docs/architecture.md.

Usage: check_layers.py [SOURCE_ROOT]  (default: the repository this script is in)"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c")
# Folders whose files may use any layer: they test, measure or show the layers. Their
# private includes are still checked (a suite reaches into its own subsystem only).
UNLAYERED = ("tests", "bench", "fuzz", "examples", "plugins")


def read_layers(root):
    """[(rank, name, [folders])] from the table under '## Layer order'."""
    text = open(os.path.join(root, "docs", "architecture.md"), encoding="utf-8").read()
    section = text.split("## Layer order", 1)
    if len(section) != 2:
        sys.exit("check_layers: docs/architecture.md has no '## Layer order' section")
    layers = []
    for line in section[1].split("\n## ", 1)[0].splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) == 3 and cells[0].isdigit():
            folders = re.findall(r"`([^`]+)`", cells[2])
            layers.append((int(cells[0]), cells[1], [f.rstrip("/") for f in folders]))
    if not layers:
        sys.exit("check_layers: the layer table in docs/architecture.md is empty")
    return layers


class Layers:
    def __init__(self, layers):
        self.rank = {name: rank for rank, name, _ in layers}
        self.folders = [(folder, name) for _, name, folders in layers for folder in folders]
        # Longest folder first, so include/deradidezivizoda/core wins over include/.
        self.folders.sort(key=lambda item: -len(item[0]))
        self.subsystems = {f.split("/")[1]: n for f, n in self.folders if f.startswith("src/")}
        self.platform = {f.split("/")[1]: n for f, n in self.folders
                         if f.startswith("platform/") and f.count("/") == 1}
        # A layer may be a single header (a root exception below everything that throws it).
        self.headers = {f.split("/include/", 1)[1]: n for f, n in self.folders if f.endswith(".h")}

    def of_file(self, path):
        for folder, name in self.folders:
            if path == folder or path.startswith(folder + "/"):
                return name
        return None

    def of_include(self, header):
        """(layer, private) of a quoted include, or (None, False) for a local or outside one."""
        parts = header.split("/")
        if header in self.headers:
            return self.headers[header], False
        if len(parts) >= 3 and parts[0] == "tarn" and parts[1] in self.platform:
            return self.platform[parts[1]], False
        if len(parts) >= 3 and parts[0] == "deradidezivizoda" and parts[1] in self.subsystems:
            return self.subsystems[parts[1]], False
        if header == "deradidezivizoda/export.h":
            return self.subsystems.get("core"), False
        if len(parts) >= 2 and parts[0] in self.subsystems:
            return self.subsystems[parts[0]], True
        return None, False


def source_files(root):
    for top in sorted(os.listdir(root)):
        if top.startswith(".") or top.startswith("build"):
            continue
        for folder, dirs, files in os.walk(os.path.join(root, top)):
            dirs[:] = sorted(d for d in dirs if not d.startswith("."))
            for name in sorted(files):
                if name.endswith(SOURCE_SUFFIXES):
                    path = os.path.join(folder, name)
                    yield os.path.relpath(path, root)


def problems(root, layers):
    for path in source_files(root):
        top = path.split(os.sep)[0]
        own = layers.of_file(path)
        if own is None and top not in UNLAYERED:
            continue
        # A suite under tests/<subsystem>/ may reach into that subsystem's private headers.
        suite = path.split(os.sep)[1] if top in UNLAYERED and os.sep in path else None
        text = open(os.path.join(root, path), encoding="utf-8", errors="replace").read()
        for number, (quote, header) in lines_of(text):
            where = "%s:%d" % (path, number)
            if quote == "<":
                json = layers.platform.get("json")
                if header.startswith("rapidjson/") and own is not None and own != json:
                    yield where, "includes <%s>: include tarn/json/json.h instead" % header
                continue
            layer, private = layers.of_include(header)
            if layer is None:
                continue
            inside_library = path.startswith("src" + os.sep)
            if private and not inside_library and layer != layers.subsystems.get(suite):
                yield where, "includes %s, a private header of %s" % (header, layer)
            elif own is not None and layer != own and layers.rank[layer] >= layers.rank[own]:
                yield where, "%s (rank %d) includes %s of %s (rank %d)" % (
                    own, layers.rank[own], header, layer, layers.rank[layer])


def lines_of(text):
    for match in INCLUDE.finditer(text):
        yield text.count("\n", 0, match.start()) + 1, (match.group(1), match.group(2))


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    layers = Layers(read_layers(root))
    found = list(problems(root, layers))
    for where, what in found:
        print("%s: %s" % (where, what))
    print("check_layers: %d layers, %d includes out of order" % (len(layers.rank), len(found)))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
