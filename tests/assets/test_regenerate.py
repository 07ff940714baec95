#!/usr/bin/python3
"""Running the picture generator into a fresh directory gives exactly the
files committed in assets/ (no clock, no unseeded randomness)."""

import filecmp
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

SOURCE = None
NAMES = ["water01", "font32", "orbel", "water02", "cow_big", "control2_texture2"] + \
    ["bkg0%d" % i for i in range(6)] + ["bkg1%d" % i for i in range(6)] + ["jub", "velmologo"]


class Regenerate(unittest.TestCase):
    def test_generator_reproduces_assets(self):
        out = tempfile.mkdtemp(prefix="pictures-regen-")
        try:
            gen = os.path.join(SOURCE, "tools", "pictures", "make_pictures.py")
            env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1")
            subprocess.run([sys.executable, gen, out], check=True, env=env)
            made = sorted(os.listdir(out))
            expected = sorted([n + ".ppm" for n in NAMES] + ["font32.ppm.info"])
            self.assertEqual(made, expected)
            for name in expected:
                with self.subTest(name=name):
                    self.assertTrue(filecmp.cmp(os.path.join(out, name),
                                                os.path.join(SOURCE, "assets", name), shallow=False),
                                    "%s differs from the committed picture" % name)
        finally:
            shutil.rmtree(out)


if __name__ == "__main__":
    SOURCE = os.path.abspath(sys.argv.pop(1))
    unittest.main()
