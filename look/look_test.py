#!/usr/bin/python3
"""Tests of vorlan-look on real vorlan output: a small sheared box and a
Kaimal line. Expected values come from corvel runs of the test's own and from
the Kaimal formulas written out here, not from vorlan-look.

Environment: VORLAN and CORVEL name the programs. Exits 77 (skipped) when
python3-numpy or python3-matplotlib is missing.
"""

import json
import math
import os
import subprocess
import sys
import tempfile
import unittest

try:
    import numpy as np
    import matplotlib  # noqa: F401
except ImportError:
    print("skipped: python3-numpy and python3-matplotlib are needed")
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
LOOK = os.path.join(HERE, "vorlan-look")
VORLAN = os.environ.get("VORLAN", "vorlan")
CORVEL = os.environ.get("CORVEL", "corvel")

BOX = """3
3
512 32 32
2048 256 256
basic
0.1 33.6 3.9
-5
box_u.bin
box_v.bin
box_w.bin
"""
LINE = """1
3
8192
8192
Kaimal1d
0.5 10 12
-7
line_u.bin
line_v.bin
line_w.bin
"""


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True)


def make_run(folder, name, text):
    """vorlan on the parameter text in folder; the path of the run record it wrote."""
    with open(os.path.join(folder, name), "w") as f:
        f.write(text)
    done = run([VORLAN, name], folder)
    assert done.returncode == 0, done.stderr
    first_output = text.split()[-3]  # both inputs list three output files
    record = os.path.join(folder, first_output + ".json")
    assert os.path.isfile(record), "vorlan wrote no run record"
    return record


def look(record, out, cwd):
    return run([LOOK, record, "-o", out, "--corvel", CORVEL], cwd)


def ratio_statistics(box, model):
    """Mean of the ratio box/model over wave numbers and its standard error.
    Different k1 are independent Fourier modes, so the spread of the ratio
    across them measures the estimate's own randomness."""
    r = np.asarray(box) / np.asarray(model)
    return r.mean(), r.std(ddof=1) / math.sqrt(r.size), r.std(ddof=1)


class QuickLook(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="look_test_")
        cls.dir = cls.tmp.name
        cls.box_record = make_run(cls.dir, "box.inp", BOX)
        cls.line_record = make_run(cls.dir, "line.inp", LINE)
        cls.box_done = look(cls.box_record, "box.png", cls.dir)
        cls.line_done = look(cls.line_record, "line.png", cls.dir)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def numbers(self, name):
        with open(os.path.join(self.dir, name + ".spectra.json")) as f:
            return json.load(f)

    def test_pictures_are_png_files_and_their_paths_are_printed(self):
        for done, name in ((self.box_done, "box.png"), (self.line_done, "line.png")):
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertEqual(done.stdout.strip(), name)
            with open(os.path.join(self.dir, name), "rb") as f:
                head = f.read(24)
            self.assertEqual(head[:8], b"\x89PNG\r\n\x1a\n", name)
            self.assertEqual(head[12:16], b"IHDR", name)
            width, height = int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
            self.assertGreater(width, 600, name)
            self.assertGreater(height, 600, name)

    def test_box_spectra_sum_to_the_variance_of_the_files(self):
        # Two-sided: every m in 1..N/2-1 stands for +k and -k, the Nyquist
        # mode once. k1 = 0 is left out: what the spectra sum to is the
        # variance along the wind about each line's own mean, averaged over
        # the lines.
        for name, comps in (("box", "uvw"), ("line", "uvw")):
            numbers = self.numbers(name)
            dk = numbers["delta_k1"]
            for n, c in enumerate(comps, start=1):
                f = np.asarray(numbers["box"][f"{n}{n}"])
                total = (2 * f[:-1].sum() + f[-1]) * dk
                data = np.fromfile(os.path.join(self.dir, f"{name}_{c}.bin"), "<f4").astype(float)
                along = data.reshape(f.size * 2, -1).var(axis=0).mean()
                self.assertAlmostEqual(total / along, 1.0, delta=1e-5, msg=f"{name} {c}")
                self.assertAlmostEqual(numbers["std"][c]["box"], data.std(), delta=1e-6 * data.std())

    def test_box_spectra_agree_with_corvel_over_the_resolved_wave_numbers(self):
        numbers = self.numbers("box")
        k = np.asarray(numbers["k1"])
        # From the second wave number to a quarter of the highest one across
        # the wind (pi 32/256 rad/m), where the box still holds the cross-wind
        # scales that make up the one-point spectrum.
        sel = (k >= 2 * k[0]) & (k <= 0.25 * math.pi * 32 / 256)
        kmin, kmax = k[sel][0], k[sel][-1]
        spec = (f"basic\n0.1 33.6 3.9\nspec\n4\n1 1\n2 2\n3 3\n1 3\n"
                f"{kmin * 0.9:.9g} {kmax * 1.1:.9g} 0.02\n")
        with open(os.path.join(self.dir, "expected.inp"), "w") as f:
            f.write(spec)
        done = run([CORVEL, "expected.inp"], self.dir)
        self.assertEqual(done.returncode, 0, done.stderr)
        rows = np.array([[float(x) for x in line.split()] for line in done.stdout.splitlines()])
        for n, pair in enumerate(("11", "22", "33", "13"), start=1):
            model = np.exp(np.interp(np.log(k[sel]), np.log(rows[:, 0]), np.log(np.abs(rows[:, n]))))
            model *= np.sign(rows[0, n])
            mean, err, spread = ratio_statistics(np.asarray(numbers["box"][pair])[sel], model)
            msg = f"pair {pair}: ratio {mean:.3f} +- {err:.3f} over {sel.sum()} wave numbers"
            # The curve vorlan-look drew is corvel's for the record's model.
            drawn = np.array(numbers["model_at_box"][pair], dtype=float)[sel]
            np.testing.assert_allclose(drawn, model, rtol=0.01, err_msg=pair)
            # 4 standard errors, plus 5 per cent for the box's own bias: its
            # sum over the 32 x 32 cross-wind wave numbers misses the finer
            # scales, most for w (about 8 per cent low at the top of the range).
            self.assertLess(abs(mean - 1), 4 * err + 0.05, msg)
            # A random box never matches the model to the last digit.
            self.assertGreater(spread, 0.02, msg)

    def test_line_spectra_agree_with_the_kaimal_closed_form(self):
        numbers = self.numbers("line")
        k = np.asarray(numbers["k1"])
        sel = k < k[-1]  # the Nyquist mode is left empty by the engine
        u2, z = 0.25, 10.0
        f = k[sel] * z / (2 * math.pi)
        expected = {
            "11": u2 * 52.5 * z / (2 * math.pi) / (1 + 33 * f) ** (5 / 3),
            "22": u2 * 8.5 * z / (2 * math.pi) / (1 + 9.5 * f) ** (5 / 3),
            "33": u2 * 1.05 * z / (2 * math.pi) / (1 + 5.3 * f ** (5 / 3)),
            "13": -6 * u2 * z / (2 * math.pi) / (1 + 9.6 * f) ** (7 / 3),
        }
        for pair, model in expected.items():
            mean, err, spread = ratio_statistics(np.asarray(numbers["box"][pair])[sel], model)
            msg = f"pair {pair}: ratio {mean:.3f} +- {err:.3f}"
            self.assertLess(abs(mean - 1), 4 * err, msg)
            if pair != "13":
                # One complex Gaussian mode per k1: |U|^2 is exponential,
                # so the ratio's spread is 1.
                self.assertAlmostEqual(spread, 1.0, delta=0.1, msg=msg)
        # The model's variances in closed form (integrals of the above over
        # the whole k1 line).
        var = numbers["model_variance"]
        self.assertAlmostEqual(var["11"], u2 * 4.7727, delta=1e-4 * u2)
        self.assertAlmostEqual(var["22"], u2 * 2.6842, delta=1e-4 * u2)
        self.assertAlmostEqual(var["13"], -u2 * 0.9375, delta=1e-4 * u2)
        w = 2 * 1.05 * (2 * math.pi / z) * z / (2 * math.pi) * self.integral_w()
        self.assertAlmostEqual(var["33"], u2 * w, delta=1e-4 * u2)

    @staticmethod
    def integral_w():
        # The integral of 1/(1 + 5.3 f^(5/3)) over f from 0 to infinity, by
        # the substitution f = (t/(1-t))^3, which leaves a smooth integrand
        # vanishing at both ends, and the trapezoid rule.
        t = np.linspace(0, 1, 200001)[1:-1]
        s = t / (1 - t)
        g = 3 * s ** 2 / (1 - t) ** 2 / (1 + 5.3 * s ** 5)
        return float(np.sum(g) * (t[1] - t[0]))

    def test_bad_records_end_with_one_clear_line(self):
        with open(self.line_record) as f:
            record = json.load(f)
        with open(os.path.join(self.dir, "short_u.bin"), "wb") as f:
            f.write(bytes(100))
        cases = []
        for label, change, message in (
            ("version", lambda r: r.update(record_version=7), "unknown record version 7"),
            ("kind", lambda r: r.update(record="something else"), "is not a vorlan run record"),
            ("size", lambda r: r["files"][0].update(path="short_u.bin"),
             "short_u.bin holds 100 bytes, the grid needs 32768"),
            ("file", lambda r: r["files"][0].update(path="gone.bin"), "missing output file"),
            ("key", lambda r: r["files"][1].pop("path"), "malformed run record"),
            ("count", lambda r: r["files"].pop(), "nComp is 3 but 2 different components"),
        ):
            broken = json.loads(json.dumps(record))
            change(broken)
            name = f"broken_{label}.json"
            with open(os.path.join(self.dir, name), "w") as f:
                json.dump(broken, f)
            cases.append((name, message))
        cases.append(("nowhere.json", "no run record at nowhere.json"))
        for name, message in cases:
            done = look(name, "bad.png", self.dir)
            self.assertEqual(done.returncode, 1, name)
            self.assertEqual(len(done.stderr.strip().splitlines()), 1, done.stderr)
            self.assertIn(message, done.stderr, name)
            self.assertTrue(done.stderr.startswith("vorlan-look: "), done.stderr)


if __name__ == "__main__":
    unittest.main()
