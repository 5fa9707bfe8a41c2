#!/usr/bin/env python3
"""scripts/check_layers.py passes on the tree and fails on a copy of it with one include out
of order, naming the file and line; one bad include at a time, each kind of fault once."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else
                         os.path.join(os.path.dirname(__file__), "..", ".."))
CHECK = os.path.join(SOURCE, "scripts", "check_layers.py")
COPIED = ("docs", "include", "platform", "src", "runners", "tools", "tests", "sdk")


def run_check(root):
    result = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True,
                            timeout=60)
    return result.returncode, result.stdout


class CheckLayersTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = tempfile.mkdtemp()
        cls.pristine = os.path.join(cls.temp, "pristine")
        ignore = shutil.ignore_patterns("build*", ".*", "*.json", "*.py", "*.so")
        for top in COPIED:
            shutil.copytree(os.path.join(SOURCE, top), os.path.join(cls.pristine, top),
                            ignore=ignore)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.temp)

    def setUp(self):
        self.root = os.path.join(self.temp, self.id().rsplit(".", 1)[1])
        shutil.copytree(self.pristine, self.root)

    def add_include(self, path, line):
        full = os.path.join(self.root, path)
        with open(full, encoding="utf-8") as f:
            text = f.read()
        with open(full, "w", encoding="utf-8") as f:
            f.write(line + "\n" + text)

    def assert_refused(self, path, words):
        code, out = run_check(self.root)
        self.assertEqual(code, 1, out)
        self.assertIn(path + ":1: ", out)
        self.assertIn(words, out)
        self.assertIn("1 includes out of order", out)

    def test_the_tree_keeps_the_order(self):
        code, out = run_check(SOURCE)
        self.assertEqual(code, 0, out)

    def test_a_platform_library_including_one_above_it(self):
        self.add_include("platform/json/src/utf8.cpp", '#include "tarn/configstore/db_store.h"')
        self.assert_refused("platform/json/src/utf8.cpp", "json (rank 3) includes")

    def test_a_header_layer_does_not_open_its_folder(self):
        # The root exception is a layer of its own below the JSON layer; the rest of the host
        # library is above it.
        self.add_include("platform/json/src/utf8.cpp", '#include "tarn/hostctl/sys_info.h"')
        self.assert_refused("platform/json/src/utf8.cpp", "of hostctl (rank 4)")

    def test_a_public_header_including_a_higher_subsystem(self):
        path = "include/deradidezivizoda/core/document.h"
        self.add_include(path, '#include "deradidezivizoda/apply/apply.h"')
        self.assert_refused(path, "of apply (rank 12)")

    def test_two_subsystems_of_the_same_rank(self):
        self.add_include("src/impact/impact.cpp",
                         '#include "deradidezivizoda/validation/validate.h"')
        self.assert_refused("src/impact/impact.cpp", "of validation (rank 11)")

    def test_a_private_header_outside_the_library(self):
        self.add_include("tools/tarnctl/main.cpp", '#include "impact/drift_inputs.h"')
        self.assert_refused("tools/tarnctl/main.cpp", "a private header of impact")

    def test_a_suite_reaching_into_another_subsystem(self):
        path = "tests/drift/compute_drift_test.cpp"
        self.add_include(path, '#include "impact/drift_inputs.h"')
        self.assert_refused(path, "a private header of impact")

    def test_rapidjson_outside_the_json_layer(self):
        self.add_include("src/core/document.cpp", "#include <rapidjson/document.h>")
        self.assert_refused("src/core/document.cpp", "include tarn/json/json.h instead")


if __name__ == "__main__":
    unittest.main()
