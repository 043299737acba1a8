#!/usr/bin/env python3
"""Runs tools/check_layers.py on layer_fixture/, a fake tree with one violation of each kind
planted beside includes the layers allow, and on small trees of its own."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.normpath(os.path.join(HERE, "..", ".."))
SCRIPT = os.path.join(REPO, "tools", "check_layers.py")
FIXTURE = os.path.join(HERE, "layer_fixture")

# (file, line, include as written) of every planted violation.
PLANTED = {
    ("engine/common/dk_heap.cpp", 3, '"engine/pc/core/dk_debug.h"'),
    ("engine/include/dk_services.h", 1, '"platform/win/wintypes.h"'),
    ("game/gmhndlr.cpp", 3, '"platform/win/keys.h"'),
    ("game/race/stage.cpp", 1, '"../../platform/win/win.h"'),  # relative, still platform
    ("frontend/frontend.cpp", 1, '"platform/ddraw/ddraw.h"'),
    ("patcher/patch_main.cpp", 3, "<engine/pc/core/dk_file.h>"),
    ("tools/datakit/image_writer.cpp", 3, '"engine/pc/display/dk_image.h"'),
    ("engine/pc/core/dk_debug.cpp", 3, '"../../../game/race/gmhndlr.h"'),  # an upward call
    ("game/race/stage.cpp", 2, '"frontend/frontend.h"'),
    ("platform/win/win.h", 2, '"engine/pc/core/main.h"'),
}

# (file, line) of includes the layers allow, or that are no include at all.
ALLOWED = {
    ("engine/common/dk_heap.cpp", 1),  # the engine's public headers
    ("engine/common/dk_heap.cpp", 2),  # its own folder
    ("engine/pc/core/dk_debug.cpp", 1),  # engine/pc sits on the platform
    ("engine/pc/core/dk_debug.cpp", 2),
    ("game/gmhndlr.cpp", 1),  # commented out
    ("patcher/patch_main.cpp", 1),  # a system header
    ("patcher/patch_main.cpp", 2),  # platform/fs is the patcher's to use
    ("patcher/patch_main.cpp", 4),  # its own folder, though named like a layer
    ("tools/datakit/image_writer.cpp", 1),
    ("tools/datakit/image_writer.cpp", 2),  # the shared glyph table
    ("platform/win/win.h", 1),
}

VIOLATION = re.compile(r"^(.+):(\d+): .+: #include (.+)$")


def run(tree):
    result = subprocess.run([sys.executable, SCRIPT, tree], capture_output=True, text=True)
    lines = result.stdout.splitlines()
    found = set()
    for line in lines[:-1]:
        m = VIOLATION.match(line)
        assert m, f"not a violation line: {line!r}"
        found.add((m.group(1), int(m.group(2)), m.group(3)))
    return result.returncode, found, lines[-1] if lines else ""


class LayerCheckTest(unittest.TestCase):
    def test_fixture_reports_each_planted_violation_and_nothing_else(self):
        code, found, summary = run(FIXTURE)
        self.assertEqual(code, 1)
        self.assertEqual(found, PLANTED)
        self.assertFalse({(f, n) for f, n, _ in found} & ALLOWED)
        self.assertRegex(summary, rf"^layer check: 9 files, {len(PLANTED)} violations$")

    def test_clean_tree_passes(self):
        with tempfile.TemporaryDirectory() as tree:
            for path, text in [
                ("engine/pc/core/dk_debug.cpp", '#include "platform/win/win.h"\n'),
                ("game/gmhndlr.cpp", '#include "engine/include/dk_types.h"\n'),
                ("tools/datakit/image_writer.cpp", '#include "../../platform/win/font8x8.h"\n'),
                # Build folders and this test's fixture are not part of the tree.
                ("build/dev/game/x.cpp", '#include "platform/win/win.h"\n'),
                ("tests/tools/layer_fixture/game/x.cpp", '#include "platform/win/win.h"\n'),
            ]:
                os.makedirs(os.path.join(tree, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(tree, path), "w") as fh:
                    fh.write(text)
            code, found, summary = run(tree)
        self.assertEqual((code, found), (0, set()))
        self.assertEqual(summary, "layer check: 3 files, no violations")

    def test_repo_check_skips_the_fixture(self):
        _, found, _ = run(REPO)
        self.assertFalse([f for f, _, _ in found if f.startswith("tests/tools/layer_fixture/")])


if __name__ == "__main__":
    unittest.main()
