"""File helpers shared by the demo host's Python plugins (a copy sits beside each plugin.py).

Host files are read as lines and replaced whole through a temporary file and a rename, so a
reader sees the old file or the new one, never half of one.
"""

import os
import tempfile


def read_lines(path):
    """The lines of the file without line ends, or None when it does not exist."""
    try:
        with open(path, encoding="utf-8") as source:
            return source.read().splitlines()
    except FileNotFoundError:
        return None


def write_lines(path, lines, mode=0o644):
    """Replaces the file by the lines, each ended by a newline."""
    folder = os.path.dirname(path)
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".tarn-")
    try:
        with os.fdopen(handle, "w", encoding="utf-8") as target:
            target.writelines(line + "\n" for line in lines)
        os.chmod(temporary, mode)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise


def remove(path):
    """Removes the file; a file that is already gone is fine."""
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def key_path(object_id, index=None, member=None):
    """The document path of a key, of an instance (by its index) or of one of its members."""
    path = "/%s/%s/%s" % (object_id.component, object_id.group, object_id.key)
    if index is not None:
        path += "/%d" % index
    if member is not None:
        path += "/" + member
    return path
