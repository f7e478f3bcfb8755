#!/usr/bin/python3
"""Tests of vorlan-look on real vorlan output: a small sheared box, a Kaimal
line, and an iec box whose record carries the grid's placement above ground
and the hub's figures (the keys the record is to gain). Expected values come
from corvel runs of the test's own, the Kaimal and IEC formulas written out
here and the geometry of the inputs, not from vorlan-look.

Environment: VORLAN and CORVEL name the programs. Exits 77 (skipped) when
python3-numpy or python3-matplotlib is missing.
"""

import contextlib
import importlib.machinery
import importlib.util
import io
import json
import math
import os
import stat
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
try:
    import windfield  # noqa: F401
except ImportError:
    print("skipped: the Python module windfield is not built (pybind11-dev, python3-dev)")
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
LOOK = os.path.join(HERE, "vorlan-look")
VORLAN = os.environ.get("VORLAN", "vorlan")
CORVEL = os.environ.get("CORVEL", "corvel")
CORVEL_FIT = os.environ.get("CORVEL_FIT", "corvel-fit")

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
IEC = """3
3
512 16 16
2048 62 62
iec
A 11.4 90
-3
iec_u.bin
iec_v.bin
iec_w.bin
"""
# Where the iec box sits: its middle row at the hub, rows dz = 62/16 apart.
IEC_BOTTOM = 90 - 7.5 * 62 / 16
IEC_HUB = {"height": 90.0,
           "points": "bilinear interpolation of the four grid points around it, as InflowWind "
                     "reads the hub",
           "components": [1, 2, 3], "std": [2.05, 1.52, 1.07],
           "TI": [2.05 / 11.4, 1.52 / 11.4, 1.07 / 11.4],
           "sigma_target": [2.264, 1.8112, 1.132], "TI_target": [0.1986, 0.1589, 0.0993]}


def load_look():
    """vorlan-look as a module, to look at the figure it builds."""
    loader = importlib.machinery.SourceFileLoader("vorlan_look", LOOK)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader(loader.name, loader))
    loader.exec_module(module)
    return module


def run(args, cwd):
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True)


def make_run(folder, name, text):
    """vorlan on the parameter text in folder; the path of the run record it wrote."""
    with open(os.path.join(folder, name), "w") as f:
        f.write(text)
    done = run([VORLAN, name], folder)
    assert done.returncode == 0, done.stderr
    first_output = text.split()[-3]  # every input lists three output files
    record = os.path.join(folder, first_output + ".json")
    assert os.path.isfile(record), "vorlan wrote no run record"
    return record


def look(record, out, cwd):
    return run([LOOK, record, "-o", out, "--corvel", CORVEL], cwd)


def look_here(module, record, out, cwd):
    """vorlan-look's main in this process (no interpreter start-up per case):
    what the command would print and its exit status."""
    stdout, stderr = io.StringIO(), io.StringIO()
    here = os.getcwd()
    os.chdir(cwd)
    try:
        with contextlib.redirect_stdout(stdout), contextlib.redirect_stderr(stderr):
            status = module.main([record, "-o", out, "--corvel", CORVEL])
    finally:
        os.chdir(here)
    return subprocess.CompletedProcess([], status, stdout.getvalue(), stderr.getvalue())


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
        cls.module = load_look()
        cls.iec_record = make_run(cls.dir, "iec.inp", IEC)
        with open(cls.iec_record) as f:
            record = json.load(f)
        record["placement"] = {"wind_speed": 11.4, "hub_height": 90.0, "grid_bottom": IEC_BOTTOM,
                               "grid_top": 180 - IEC_BOTTOM, "reference_height": 90.0,
                               "warning": None}
        record["hub"] = IEC_HUB
        with open(cls.iec_record, "w") as f:
            json.dump(record, f)

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

    figures = {}

    def figure(self, record_path):
        """The page vorlan-look builds for a record, drawn (not saved): the
        figure, what its slices show, and the site's figures it used."""
        if record_path not in self.figures:
            module = self.module
            record = module.load_record(record_path)
            fields = module.load_fields(record, record_path)
            lengths = [float(x) for x in record["grid"]["LMax"]]
            k, box = module.box_spectra(fields, lengths)
            model = module.model_for(record, sorted(fields), k)
            engineer = module.engineer_view(record, fields, model)
            fig, facts, slices = module.page(record, fields, k, box, model, engineer=engineer)
            fig.canvas.draw()
            self.figures[record_path] = fig, slices, facts
        return self.figures[record_path]

    def test_slices_are_drawn_to_scale_over_the_extent_they_state(self):
        # The sheared box (2048 x 256 m, one row) and the iec box (2048 x 62 m,
        # too thin for one row): equal metres per pixel on both axes of every
        # slice, the same scale in every row of a plane, and the rows
        # together covering the along-wind length the title states.
        for record, length, rows in ((self.box_record, 2048, 1), (self.iec_record, 2048, 2)):
            fig, slices, _ = self.figure(record)
            for c in "uvw":
                along = [ax for ax in fig.axes if ax.get_label().startswith(f"slice {c} along")]
                self.assertEqual(len(along), rows, record)
                self.assertEqual(slices[c]["rows"], rows)
                self.assertEqual(slices[c]["along_shown_m"], length)
                scales = []
                for ax in along + [a for a in fig.axes if a.get_label() == f"slice {c} cross-section"]:
                    box = ax.get_window_extent()
                    (x0, x1), (y0, y1) = ax.get_xlim(), ax.get_ylim()
                    sx, sy = box.width / (x1 - x0), box.height / (y1 - y0)
                    self.assertAlmostEqual(sx / sy, 1.0, delta=0.01, msg=f"{record} {ax.get_label()}")
                    scales.append(sx)
                self.assertAlmostEqual(min(scales[:rows]) / max(scales[:rows]), 1.0, delta=0.01)
                spacing = length / 512
                covered = sum(ax.get_xlim()[1] - ax.get_xlim()[0] for ax in along)
                self.assertGreaterEqual(covered + 1e-9, length, record)
                self.assertAlmostEqual(along[0].get_xlim()[0], -spacing / 2, delta=1e-9)

    def test_heights_above_ground_and_the_iec_targets_where_the_record_has_them(self):
        fig, _, facts = self.figure(self.iec_record)
        dz = 62 / 16
        labelled = [ax for ax in fig.axes if ax.get_label().startswith("slice")]
        for ax in labelled:
            self.assertAlmostEqual(ax.get_ylim()[0], IEC_BOTTOM - dz / 2, delta=1e-9)
            self.assertAlmostEqual(ax.get_ylim()[1], IEC_BOTTOM + 15.5 * dz, delta=1e-9)
        self.assertIn("height above ground", " ".join(ax.get_ylabel() for ax in labelled))
        # IEC 61400-1, category A: Iref 0.16, sigma_1 = Iref (0.75 V_hub + 5.6).
        sigma_1 = 0.16 * (0.75 * 11.4 + 5.6)
        heading = " ".join(t.get_text() for t in fig.texts)
        for part in ("category A", "V_hub 11.4 m/s", "z_hub 90 m",
                     f"= {100 * sigma_1 / 11.4:.1f} %", "at the hub 18.0 %"):
            self.assertIn(part, heading)
        for c, factor in ((1, 1.0), (2, 0.8), (3, 0.5)):
            self.assertAlmostEqual(facts["target"][c], factor * sigma_1, delta=1e-4)
        cells = [cell.get_text().get_text() for ax in fig.axes for t in ax.tables
                 for cell in t.get_celld().values()]
        for shown in ("IEC target std (m/s)", "2.264", "1.811", "1.132", "hub TI", "13.3 %", "15.9 %"):
            self.assertIn(shown, cells)
        # Today's records, without the placement: the grid's own coordinate.
        fig, _, _ = self.figure(self.box_record)
        labels = " ".join(ax.get_ylabel() for ax in fig.axes if ax.get_label().startswith("slice"))
        self.assertNotIn("above ground", labels)
        self.assertIn("from the lowest row", labels)

    def test_names_that_are_not_utf8_come_back_as_the_same_bytes(self):
        # A folder, a parameter file and outputs named in Latin-1: the record
        # holds each stray byte as a surrogate escape, which os.fsencode (and
        # every open) turns back into the byte; vorlan-look reads the files and
        # prints its picture's name as bytes even where the terminal wants
        # strict UTF-8.
        folder = os.path.join(self.dir, os.fsdecode(b"run_\xe9t\xe9"))
        os.mkdir(folder)
        names = [b"wind_\xe9.bin", b"v\xff.bin", b"w.bin"]
        with open(os.path.join(folder, os.fsdecode(b"p\xe9.inp")), "wb") as f:
            f.write(b"3\n3\n64 8 8\n256 64 64\nbasic\n0.1 33.6 3.9\n-5\n" + b"\n".join(names))
        done = subprocess.run([VORLAN, os.fsdecode(b"p\xe9.inp")], cwd=folder, capture_output=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        record_name = os.fsdecode(names[0] + b".json")
        with open(os.path.join(folder, record_name), encoding="utf-8") as f:
            record = json.load(f)
        self.assertEqual([os.fsencode(e["path"]) for e in record["files"]], names)
        self.assertEqual(os.fsencode(record["parameter_file"]), b"p\xe9.inp")
        self.assertTrue(os.fsencode(record["working_directory"]).endswith(b"/run_\xe9t\xe9"))
        self.assertEqual(os.fsencode(record["openfast"]["values"]["FileName_v"]),
                         os.fsencode(folder) + b"/v\xff.bin")
        done = subprocess.run([LOOK, record_name, "-o", os.fsdecode(b"look_\xe9.png"),
                               "--corvel", CORVEL], cwd=folder, capture_output=True,
                              env={**os.environ, "PYTHONIOENCODING": "utf-8:strict"})
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, b"look_\xe9.png\n")
        self.assertTrue(os.path.isfile(os.path.join(folder, os.fsdecode(b"look_\xe9.png"))))

    def test_failures_are_one_line_and_leave_no_partial_file(self):
        with open(self.line_record) as f:
            record = json.load(f)
        # A sparse file of 2^31 values: its size matches the record, but the
        # page would need far more memory than the machine has.
        big = os.path.join(self.dir, "big_u.bin")
        with open(big, "wb") as f:
            f.truncate(4 << 31)
        np.full(8192, np.nan, dtype="<f4").tofile(os.path.join(self.dir, "nan_u.bin"))
        with open(os.path.join(self.dir, "deep.json"), "w") as f:
            f.write("[" * 100000 + "]" * 100000)
        cases = []
        for label, change, message in (
            ("huge", lambda r: r["grid"].update(NPoint=[1 << 40]), "NPoint is 1099511627776, not from 2"),
            ("negative", lambda r: r["grid"].update(LMax=[-8192]), "LMax is -8192, not a positive number"),
            ("nan", lambda r: r["files"][0].update(path="nan_u.bin"), "nan_u.bin holds values that are not numbers"),
            ("sparse", lambda r: (r["grid"].update(NPoint=[1 << 31]), r["files"][0].update(
                path="big_u.bin", count=1 << 31), r["files"].pop(), r["files"].pop(),
                r["input"].update(nComp=1)), "GiB of memory"),
        ):
            broken = json.loads(json.dumps(record))
            change(broken)
            with open(os.path.join(self.dir, f"broken_{label}.json"), "w") as f:
                json.dump(broken, f)
            cases.append((f"broken_{label}.json", "bad.png", message))
        cases += [("deep.json", "bad.png", "nested too deeply"),
                  ("/dev/zero", "bad.png", "/dev/zero is not a regular file"),
                  (self.line_record, "nowhere/pic.png", "cannot write nowhere/pic.png: no folder nowhere"),
                  (self.line_record, "line_u.bin/pic.png", "line_u.bin is not a folder"),
                  (self.line_record, "/dev/null", "cannot write /dev/null: it exists and is not a regular file"),
                  # The spectra file's name is a folder: the picture must not
                  # appear either.
                  (self.line_record, "keep.png", "cannot write keep.spectra.json")]
        os.mkdir(os.path.join(self.dir, "keep.spectra.json"))
        with open(os.path.join(self.dir, "keep.png"), "w") as f:
            f.write("what the user had")
        for name, out, message in cases:
            # The command itself for the record that never ends, the rest in
            # this process.
            done = (look if name == "/dev/zero" else look_here)(
                *([] if name == "/dev/zero" else [self.module]), name, out, self.dir)
            self.assertEqual(done.returncode, 1, name)
            self.assertEqual(len(done.stderr.strip().splitlines()), 1, done.stderr)
            self.assertIn(message, done.stderr, name)
        with open(os.path.join(self.dir, "keep.png")) as f:
            self.assertEqual(f.read(), "what the user had")
        self.assertEqual([n for n in os.listdir(self.dir) if n.endswith(".part")], [])
        # A name without an extension: a PNG under exactly that name, which
        # is what is printed.
        done = look(self.line_record, "pic", self.dir)
        self.assertEqual((done.returncode, done.stdout.strip()), (0, "pic"), done.stderr)
        with open(os.path.join(self.dir, "pic"), "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        self.assertTrue(os.path.isfile(os.path.join(self.dir, "pic.spectra.json")))

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
            ("key", lambda r: r["files"][1].pop("path"), "the file of component 2 has no path"),
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
            done = look_here(self.module, name, "bad.png", self.dir)
            self.assertEqual(done.returncode, 1, name)
            self.assertEqual(len(done.stderr.strip().splitlines()), 1, done.stderr)
            self.assertIn(message, done.stderr, name)
            self.assertTrue(done.stderr.startswith("vorlan-look: "), done.stderr)

    def test_wind_files_decode_to_the_box_of_the_raw_files(self):
        # The same iec box as raw files, as a .bts and as a .wnd/.sum with a
        # log profile: read as InflowWind reads them (here, independently of
        # the C++ writers), less the mean profile and turned back into the
        # box's orientation, each holds the raw box to within the worst
        # quantisation error its record states.
        box = IEC.replace("512 16 16", "64 8 8").replace("-3", "-9")
        raw = make_run(self.dir, "wf.inp", box.replace("iec_", "wf_"))
        fields = self.module.load_fields(self.module.load_record(raw), raw)
        for fmt, extra in (("bts", []), ("wnd", ["--profile", "log:0.05"])):
            folder = os.path.join(self.dir, "wf_" + fmt)
            os.mkdir(folder)
            with open(os.path.join(folder, "wf.inp"), "w") as f:
                f.write(box.replace("iec_", "wf_"))
            done = run([VORLAN, "wf.inp", "--format", fmt] + extra, folder)
            self.assertEqual(done.returncode, 0, done.stderr)
            path = os.path.join(folder, "wf_u.bin.json")
            record = self.module.load_record(path)
            decoded = self.module.load_fields(record, path)
            for c in (1, 2, 3):
                worst = record["wind_file"]["quantisation_error"][c - 1]
                error = float(np.abs(decoded[c] - fields[c]).max())
                self.assertLess(error, worst * 1.01 + 1e-6, f"{fmt} component {c}")

    def test_without_the_module_it_says_what_is_missing(self):
        # A windfield that cannot be imported, ahead of the build tree's.
        folder = os.path.join(self.dir, "no_module")
        os.mkdir(folder)
        with open(os.path.join(folder, "windfield.py"), "w") as f:
            f.write("raise ImportError('not built')\n")
        done = subprocess.run([LOOK, self.line_record], cwd=self.dir, capture_output=True,
                              text=True, env={**os.environ, "PYTHONPATH": folder})
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertEqual(len(done.stderr.strip().splitlines()), 1, done.stderr)
        self.assertIn("vorlan-look: needs the Python module windfield", done.stderr)
        self.assertIn("tools/install-prerequisites.sh pymodule", done.stderr)
        self.assertFalse(os.path.exists(self.line_record[:-5] + ".look.png"))

    def test_the_engineers_view_of_a_box_for_inflowwind(self):
        # A scaled .bts run with the hub on a row: the page names the .bts,
        # says the field was scaled, and adds the hub's spectra over
        # frequency, the coherence and the flags.
        folder = os.path.join(self.dir, "engineer")
        os.mkdir(folder)
        with open(os.path.join(folder, "e.inp"), "w") as f:
            f.write(IEC.replace("iec_", "e_"))
        done = run([VORLAN, "e.inp", "--format", "bts", "--scale", "iec", "--hub-on-row"], folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        done = look(os.path.join(folder, "e_u.bin.json"), os.path.join(folder, "e.png"), folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(folder, "e.spectra.json")) as f:
            view = json.load(f)["engineer"]
        # Row 8 of 16 at the hub (1-based): rows 7 and 8 (0-based), the upper one
        # weighted 0; the two middle columns 7 and 8, a half each.
        self.assertEqual(sorted(map(tuple, view["hub_points"])),
                         [(7, 7, 0.5), (7, 8, 0.0), (8, 7, 0.5), (8, 8, 0.0)])
        dt = 2048 / 512 / 11.4
        self.assertAlmostEqual(view["dt"], dt, delta=1e-12)
        self.assertAlmostEqual(view["period"], 512 * dt, delta=1e-9)
        # IEC's Kaimal u spectrum of category A at 11.4 m/s, by hand at one
        # frequency of the page: 4 sigma^2 (L / V) / (1 + 6 f L / V)^(5/3).
        sigma_1, scale = 0.16 * (0.75 * 11.4 + 5.6), 8.1 * 42 / 11.4
        f0, s0 = view["hub_psd"]["u"]["f"][3], view["hub_psd"]["u"]["iec"][3]
        self.assertAlmostEqual(s0, 4 * sigma_1 ** 2 * scale / (1 + 6 * f0 * scale) ** (5 / 3),
                               delta=1e-9 * s0)
        # The coherence at a quarter and half the width, IEC's exponential model.
        self.assertEqual([round(c["separation"], 6) for c in view["coherence"]],
                         [round(4 * 62 / 16, 6), round(8 * 62 / 16, 6)])
        c = view["coherence"][1]
        r, f1 = c["separation"], c["f"][0]
        self.assertAlmostEqual(c["iec"][0], math.exp(-12 * math.sqrt((f1 * r / 11.4) ** 2
                                                                     + (0.12 * r / 340.2) ** 2)),
                               delta=1e-12)
        self.assertTrue(all(-1 <= x <= 1 for x in c["box"]))
        self.assertTrue(c["model"] is not None and max(c["model"]) <= 1.0)
        # The flags: hub std against IEC's targets, with one box's spread
        # 2 sqrt(T_k / (2 T)), T_u = 8.1 Lambda_1 / V.
        u = view["flags"][0]
        self.assertAlmostEqual(u["spread"], 2 * math.sqrt(scale / (2 * 512 * dt)), delta=1e-12)
        self.assertEqual(u["flagged"], abs(u["ratio"] - 1) > u["spread"])
        fig, _, _ = self.figure(os.path.join(folder, "e_u.bin.json"))
        texts = " ".join(t.get_text() for t in fig.texts)
        self.assertTrue(fig.texts[0].get_text().startswith("e.bts (from e.inp)"), fig.texts[0].get_text())
        self.assertIn("the field was scaled to them over the whole box", texts)
        self.assertNotIn("is not rescaled", texts)
        self.assertIn("Why the hub differs from the target", texts)
        # A box without a placement has no such view.
        with open(os.path.join(self.dir, "box.spectra.json")) as f:
            self.assertIsNone(json.load(f)["engineer"])

    def test_the_engineers_estimates_on_fields_of_known_coherence(self):
        module = self.module
        rng = np.random.default_rng(2385)
        # Columns that are one series: co-coherence 1; independent columns:
        # about 0 (a band of n frequencies and many pairs averages it down).
        shape = (1024, 8, 4)
        same = np.repeat(rng.standard_normal((1024, 1, 1)), 8, axis=1).repeat(4, axis=2)
        f, coh = module.box_coherence(same, 2, 0.5)
        np.testing.assert_allclose(coh, 1.0, rtol=1e-12)
        self.assertAlmostEqual(f[0], 1 / (1024 * 0.5) * 1, delta=1e-12)
        f, coh = module.box_coherence(rng.standard_normal(shape), 4, 0.5)
        self.assertLess(np.abs(coh[-4:]).max(), 0.1)
        # Parseval for the one-sided spectrum: it sums to the variance (the
        # series has no Nyquist mode: a sum of sines below it).
        t = np.arange(512) * 0.25
        series = 3 + 1.5 * np.sin(2 * math.pi * 5 * t / 128) + 0.5 * np.cos(2 * math.pi * 40 * t / 128)
        f, s = module.one_sided(series, 0.25)
        self.assertAlmostEqual(float(s.sum() / (512 * 0.25)), float(series.var()), delta=1e-12)
        self.assertAlmostEqual(float(f[4]), 5 / 128, delta=1e-15)
        # IEC's Kaimal spectrum holds sigma^2 (its integral in closed form).
        g = np.linspace(0, 1, 400001)[1:-1]
        freq = g / (1 - g)
        integrand = module.iec_kaimal(freq, 2.0, 1, 10.0, 42.0) / (1 - g) ** 2
        self.assertAlmostEqual(float(integrand.sum() * (g[1] - g[0])), 4.0, delta=1e-3)

    def test_a_fit_result_draws_the_measured_spectra_against_the_fitted_model(self):
        # corvel's spectra of the sheared model as a spectra file, fitted by
        # corvel-fit: the page shows the file's values at its wave numbers and
        # the result's model curve, in k1 F (-k1 F13 for uw).
        folder = os.path.join(self.dir, "fit")
        os.mkdir(folder)
        with open(os.path.join(folder, "c.inp"), "w") as f:
            f.write("basic\n0.1 33.6 3.9\nspec\n4\n1 1\n2 2\n3 3\n1 3\n0.001 2 0.2\n")
        done = run([CORVEL, "c.inp"], folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(folder, "spectra.txt"), "w") as f:
            f.write("k1 F11 F22 F33 F13 two-sided\n" + done.stdout)
        done = run([CORVEL_FIT, "spectra.txt", "--json", "fit.json"], folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        with open(os.path.join(folder, "fit.json")) as f:
            result = json.load(f)
        self.assertAlmostEqual(result["parameters"]["L"], 33.6, delta=0.05)
        done = run([LOOK, "fit.json"], folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout.strip(), "fit.look.png")
        with open(os.path.join(folder, "fit.look.png"), "rb") as f:
            self.assertEqual(f.read(8), b"\x89PNG\r\n\x1a\n")
        fig = self.module.fit_page(result, "fit.json")
        k = np.array(result["bands"]["k1"])
        uw = fig.axes[3]
        measured, model = uw.lines[0], uw.lines[-1]
        np.testing.assert_allclose(measured.get_xdata(), k)
        np.testing.assert_allclose(measured.get_ydata(), -k * np.array(result["measured"]["uw"]))
        np.testing.assert_allclose(model.get_ydata(), -np.array(result["model_curve"]["k1"]) *
                                   np.array(result["model_curve"]["uw"]))


if __name__ == "__main__":
    unittest.main()
