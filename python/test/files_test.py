"""Whole runs from Python are vorlan's files byte for byte; every writer's
files read back; TurbSim-style files read as InflowWind reads them; a failed
run leaves nothing and Python's Ctrl-C as it was."""
import os
import signal
import time

import numpy as np
import pytest

import windfield as wf
from conftest import IEC_BOX, example, fatal_message, run_program


def files_of(folder):
    return {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))
            if not n.endswith(".json") and n != "box.inp"}


def in_two_folders(options, kwargs, template=None):
    """The files of vorlan and of windfield.run on the same input."""
    for folder in ("cli", "py"):
        os.mkdir(folder)
        with open(os.path.join(folder, "box.inp"), "w") as f:
            f.write(IEC_BOX)
    extra = []
    if template:
        extra = ["--openfast-template", template]
        kwargs = {**kwargs, "openfast_template": template}
    os.chdir("cli")
    run_program("vorlan", "box.inp", *options, *extra)
    os.chdir("../py")
    echo = wf.run("box.inp", **kwargs)
    os.chdir("..")
    return files_of("cli"), files_of("py"), echo


@pytest.mark.parametrize("options,kwargs", [
    ((), {}),
    (("--format", "bts", "--scale", "iec"), {"format": "bts", "scale": True}),
    (("--format", "wnd", "--profile", "log:0.03"), {"format": "wnd", "profile": "log:0.03"}),
    (("--seeds", "-1,-2", "--layout", "inflowwind"), {"seeds": [-1, -2], "layout": "inflowwind"}),
])
def test_runs_write_vorlans_bytes(options, kwargs):
    cli, py, echo = in_two_folders(options, kwargs)
    assert cli.keys() == py.keys() and cli == py
    assert "b_u.bin" in echo or ".bts" in echo or ".wnd" in echo or "Seed" in echo


TEMPLATE = """------- InflowWind INPUT FILE ----
Example
---------------------------------------
          1   WindType       - switch
================== Parameters for Full-Field binary files [used only for WindType = 3] ===
"x.bts"      FileName_BTS   - name of the file
================== Parameters for Bladed-style files [used only for WindType = 4 or WindType = 7] ===
"x"          FilenameRoot   - root
False        TowerFile      - tower file
================== Raw grid files [used only for WindType = 5] ===
"u.bin"      FileName_u     - u
"v.bin"      FileName_v     - v
"w.bin"      FileName_w     - w
    64       nx             - n
    32       ny             - n
    32       nz             - n
    16       dx             - d
     3       dy             - d
     3       dz             - d
    90       RefHt_Grid     - reference height
    12       URef           - mean speed
     1       ScaleMethod    - scaling
====================== OUTPUT ==========
False        SumPrint       - print
"""


@pytest.mark.parametrize("fmt", ["raw", "bts"])
def test_the_filled_inflowwind_input_is_vorlans(fmt):
    with open("IfW.dat", "w") as f:
        f.write(TEMPLATE)
    cli, py, _ = in_two_folders(("--format", fmt), {"format": fmt}, os.path.abspath("IfW.dat"))
    assert any(n.endswith(".dat") for n in py) and cli == py


def test_raw_files_read_back_through_the_record():
    with open("box.inp", "w") as f:
        f.write(IEC_BOX)
    wf.run("box.inp", threads=1)
    r = wf.read_run("b_u.bin.json")
    b = wf.box("box.inp", threads=1)
    assert r.record["input"]["NPoint"] == [64, 16, 8]
    for c, f in enumerate(b.fields, start=1):
        assert r.fields[c].tobytes() == f.tobytes()


@pytest.mark.parametrize("fmt", ["bts", "wnd"])
def test_wind_files_read_back_to_the_box(fmt):
    with open("box.inp", "w") as f:
        f.write(IEC_BOX)
    wf.run("box.inp", format=fmt, profile="power:0.2")
    b = wf.box("box.inp")
    w = wf.read_bts("b.bts") if fmt == "bts" else wf.read_wnd("b.wnd")
    assert w.velocity.shape == (3, 64, 16, 8)
    assert w.dt == pytest.approx(b.dt, rel=1e-6) and w.wind_speed == pytest.approx(11.4)
    assert w.heights == pytest.approx(b.heights, abs=1e-4)
    run = wf.read_run("b_u.bin.json")
    for c, f in enumerate(b.fields):
        # 16-bit quantisation: within a step of the encoding.
        step = (f.max() - f.min()) / 60000 if fmt == "bts" else 0.002 * np.std(f) * 5
        assert np.abs(run.fields[c + 1] - f).max() < max(step, 1e-3) * 4
    if fmt == "bts":
        assert w.periodic and w.tower is None
    else:
        assert wf.read_sum("b.sum")["hub_height"] == pytest.approx(90)


def test_a_turbsim_style_bts_with_tower_points():
    nz, ny, nt, steps = 3, 4, 2, 5
    dz, dy, dt, U, hub, bottom = 2.0, 3.0, 0.25, 8.0, 20.0, 18.0
    rng = np.random.default_rng(3)
    grid = rng.normal(size=(steps, nz, ny, 3))
    grid[..., 0] += U
    tower = rng.normal(size=(steps, nt, 3))
    allv = np.concatenate([grid.reshape(steps, -1, 3), tower], axis=1)
    lo, hi = allv.min(axis=(0, 1)), allv.max(axis=(0, 1))
    slope = (65535.0 / (hi - lo)).astype(np.float32)
    offset = (-32768.0 - slope * lo).astype(np.float32)
    raw = np.clip(np.round(slope * allv + offset), -32768, 32767).astype("<i2")
    desc = b"Generated by TurbSim (v2.00) on 01-Jan-2024."
    head = (np.array([7], "<i2").tobytes() + np.array([nz, ny, nt, steps], "<i4").tobytes()
            + np.array([dz, dy, dt, U, hub, bottom], "<f4").tobytes()
            + np.column_stack([slope, offset]).astype("<f4").tobytes()
            + np.array([len(desc)], "<i4").tobytes() + desc)
    with open("ts.bts", "wb") as f:
        f.write(head + raw.tobytes())
    w = wf.read_bts("ts.bts")
    assert not w.periodic and w.description.startswith("Generated by TurbSim")
    assert w.velocity.shape == (3, steps, ny, nz) and w.tower.shape == (steps, nt, 3)
    decoded = np.transpose(w.velocity, (1, 3, 2, 0))  # back to (step, z, y, c)
    assert np.abs(decoded - grid).max() < 2 * ((hi - lo) / 65535).max()
    assert np.abs(w.tower - tower).max() < 2 * ((hi - lo) / 65535).max()
    assert w.heights.tolist() == [18.0, 20.0, 22.0] and w.y.tolist() == [-4.5, -1.5, 1.5, 4.5]
    # A file cut short, and one whose header is no .bts header.
    with open("short.bts", "wb") as f:
        f.write(head + raw.tobytes()[:-2])
    with pytest.raises(wf.Error, match="ended before its 5 slices"):
        wf.read_bts("short.bts")
    with open("junk.bts", "wb") as f:
        f.write(b"\xff" * 100)
    with pytest.raises(wf.Error, match="is not a .bts file"):
        wf.read_bts("junk.bts")


def test_a_turbsim_style_wnd_and_its_sum():
    nz, ny, half, U, ti = 3, 2, 2, 10.0, (12.0, 9.6, 6.0)
    dz, dy, dx = 5.0, 4.0, 2.5
    raw = np.arange(2 * half * nz * ny * 3, dtype="<i2").reshape(2 * half, nz, ny, 3) - 20
    head = np.zeros(104, np.uint8)
    head[0:4] = np.frombuffer(np.array([-99, 4], "<i2").tobytes(), np.uint8)
    head[4:8] = np.frombuffer(np.array([3], "<i4").tobytes(), np.uint8)
    head[20:48] = np.frombuffer(np.array([*ti, dz, dy, dx], "<f4").tobytes() +
                                np.array([half], "<i4").tobytes(), np.uint8)
    head[48:52] = np.frombuffer(np.array([U], "<f4").tobytes(), np.uint8)
    head[72:80] = np.frombuffer(np.array([nz, ny], "<i4").tobytes(), np.uint8)
    with open("ts.wnd", "wb") as f:
        f.write(head.tobytes() + raw.tobytes())
    with open("ts.sum", "w") as f:
        f.write("TurbSim summary\nF    Clockwise rotation when looking downwind?\n"
                "  80.000   Hub height [m] (not used)\n  0.000   Height offset? \n"
                "      UBar = 10.000 m/s\n  TI(u) =  12.000 %\n  TI(v) =   9.600 %\n"
                "  TI(w) =   6.000 %\n  Height offset = 1.5 m\n"
                "BLADED LEFT-HAND RULE\n")
    w = wf.read_wnd("ts")
    s = wf.read_sum("ts.sum")
    assert s["clockwise"] is False and s["left_handed"] and s["TI"] == ti
    assert w.dt == pytest.approx(dx / U) and w.grid_bottom == pytest.approx(80 - 1.5 - 5.0)
    v = raw[1, 2, 0, 1] * -0.001 * U * ti[1] / 100
    assert w.velocity[1, 1, 0, 2] == pytest.approx(v, rel=1e-6)
    assert w.velocity[0, 0, 0, 0] == pytest.approx(U + 0.001 * U * 0.12 * raw[0, 0, 0, 0], rel=1e-6)
    with open("ts.sum", "w") as f:
        f.write("no hub here\n")
    with pytest.raises(wf.Error, match="holds no HUB HEIGHT"):
        wf.read_wnd("ts.wnd")


def test_a_refused_run_writes_nothing_and_leaves_ctrl_c_to_python():
    with open("box.inp", "w") as f:
        f.write(IEC_BOX)
    with open("b_u.bin", "wb") as f:
        f.write(b"kept")
    status, _, err = run_program("vorlan", "box.inp", "--profile", "log:200", "--format", "bts",
                                 check=False)
    with pytest.raises(wf.Error) as e:
        wf.run("box.inp", format="bts", profile="log:200")
    assert str(e.value) == fatal_message(err)
    assert sorted(os.listdir(".")) == ["b_u.bin", "box.inp"]
    assert open("b_u.bin", "rb").read() == b"kept"
    wf.run("box.inp")
    assert not [n for n in os.listdir(".") if n.endswith(".tmp")]
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler
    with pytest.raises(KeyboardInterrupt):
        os.kill(os.getpid(), signal.SIGINT)
        time.sleep(0.1)


def test_a_netcdf_run_is_vorlans_file_and_reads_back_as_the_box(monkeypatch):
    status, _, err = run_program("vorlan", "--format", "netcdf", "nothing.inp", check=False)
    if "has no NetCDF library" in err:
        pytest.skip("this build has no NetCDF library")
    pytest.importorskip("netCDF4")
    cli, py, _ = in_two_folders(("--format", "netcdf", "--scale", "iec"),
                                {"format": "netcdf", "scale": "iec"})
    assert "b.nc" in py and cli == py
    f = wf.read_netcdf("py/b.nc")
    assert f.N == (64, 16, 8) and f.box_lengths == (128.0, 60.0, 40.0)
    assert f.dx == (2.0, 3.75, 5.0) and f.attributes["seed"] == -7
    assert f.attributes["wind_speed"] == 11.4 and f.velocity.dtype == np.float32
    b = wf.box(IEC_BOX, scale="iec")
    assert np.array_equal(f.box(), b.array), "the file holds the box's bits, planes as read"
    assert np.array_equal(f.velocity[:, 1], b.array[:, 63])
    run = wf.read_run("py/b_u.bin.json")
    assert run.wind_file.N == f.N and np.array_equal(run.fields[2], b.v)
    # Without Python's netCDF4 the reader says what is missing.
    with monkeypatch.context() as m:
        m.setitem(__import__("sys").modules, "netCDF4", None)
        with pytest.raises(ImportError, match="python3-netcdf4"):
            wf.read_netcdf("py/b.nc")
    with open("plain.nc", "wb") as out:
        out.write(b"not a NetCDF file")
    with pytest.raises(wf.Error, match="cannot read the NetCDF file plain.nc"):
        wf.read_netcdf("plain.nc")


def test_the_hub_series_is_vorlans_and_reads_back():
    cli, py, _ = in_two_folders(("--format", "bts", "--hub-series", "--hub-on-row"),
                                {"format": "bts", "hub_series": True, "hub_on_row": True})
    assert "b.hh" in py and cli == py
    h = wf.read_hub_series("py/b.hh")
    f = wf.read_bts("py/b.bts")
    steps = f.velocity.shape[1]
    assert h.time.size == steps + 1 and h.time[1] == pytest.approx(f.dt, rel=1e-6)
    # The hub on row N3/2: the two middle columns of that row, as InflowWind
    # returns the wind there; the last line repeats the first.
    ny, nz = f.velocity.shape[2:]
    hub = f.velocity[:, :, ny // 2 - 1:ny // 2 + 1, nz // 2 - 1].mean(axis=2)
    assert np.allclose(h.u[:-1], hub[0], atol=2e-3) and np.allclose(h.v[:-1], hub[1], atol=2e-3)
    assert np.allclose(h.vertical[:-1], hub[2], atol=2e-3)
    assert h.u[-1] == pytest.approx(h.u[0]) and h.comments[0].startswith("! Hub-height wind")
    with open("bad.hh", "w") as out:
        out.write("! a comment\n0 10 0 0 0 0.2 0\n1 10 0 zero 0 0.2 0 0\n")
    with pytest.raises(wf.Error, match="bad.hh, line 3: '1 10 0 zero"):
        wf.read_hub_series("bad.hh")
    with open("bad.hh", "w") as out:
        out.write("0 10 0 0 0 0.2 0\n0 10 0 0 0 0.2 0\n")
    with pytest.raises(wf.Error, match="the times do not increase"):
        wf.read_hub_series("bad.hh")
    with pytest.raises(TypeError, match="hub_series: True or False"):
        wf.run("box.inp", hub_series="yes")
