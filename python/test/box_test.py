"""Boxes in memory: vorlan's bits for the same file and options, no copy,
the GIL released, progress, Ctrl-C, no growth over many boxes, refusals as
vorlan's messages."""
import os
import resource
import signal
import threading
import time

import numpy as np
import pytest

import windfield as wf
from conftest import IEC_BOX, example, fatal_message, run_program


def vorlan_fields(text, *options):
    with open("box.inp", "w") as f:
        f.write(text)
    run_program("vorlan", "box.inp", *options)
    return [np.fromfile(n, dtype="<f4") for n in ("b_u.bin", "b_v.bin", "b_w.bin")]


@pytest.mark.parametrize("options,kwargs", [
    ((), {}),
    (("--threads", "2", "--scale", "iec", "--layout", "inflowwind"),
     {"threads": 2, "scale": "iec", "layout": "inflowwind"}),
    (("--random", "counter", "--threads", "1"), {"random": "counter", "threads": 1}),
])
def test_the_box_is_vorlans_bit_for_bit(options, kwargs):
    expected = vorlan_fields(IEC_BOX, *options)
    b = wf.box(IEC_BOX, **kwargs)
    assert b.N == (64, 16, 8) and b.components == (0, 1, 2)
    for mine, theirs in zip(b.fields, expected):
        assert mine.dtype == np.float32 and mine.shape == (64, 16, 8)
        assert mine.tobytes() == theirs.tobytes()
    assert b.hub_height == 90 and b.wind_speed == pytest.approx(11.4)
    assert b.statistics[0]["std"] == pytest.approx(float(np.std(b.u, dtype=np.float64)))
    assert ("iec_scale_factors" in dir(b)) == ("scale" in kwargs)


def test_a_box_from_a_file_and_from_constraints_as_a_mapping():
    text = IEC_BOX.replace("64 16 8\n128 60 40", "128 16 16\n1280 93 93")
    expected = vorlan_fields(text, "--constraints", example("mast.txt"))
    rows = np.loadtxt(example("mast.txt"), comments="#", skiprows=6)
    with open(example("mast.txt")) as f:
        names = [line for line in f if not line.startswith("#")][0].split()
    series = {n: rows[:, i] for i, n in enumerate(names)}
    with open("box.inp", "w") as f:
        f.write(text)
    b = wf.box("box.inp", constraints=series)
    for mine, theirs in zip(b.fields, expected):
        assert mine.tobytes() == theirs.tobytes()
    assert len(b.constraint_largest_difference) == 5
    # The same from a DataFrame-like table whose index is the time.
    frame = _Frame({n: series[n] for n in names[1:]}, series["time"])
    assert wf.box("box.inp", constraints=frame).u.tobytes() == b.u.tobytes()


class _Frame:
    """What the module reads of a pandas DataFrame: columns, index, [name]."""

    def __init__(self, columns, index):
        self._c, self.index = columns, index
        self.columns = list(columns)

    def __getitem__(self, name):
        return self._c[name]


def test_the_fields_are_handed_to_numpy_with_no_copy():
    b = wf.box(IEC_BOX)
    a = b.array
    # One block, the library's: owned through its capsule, not copied.
    assert a.shape == (3, 64, 16, 8) and a.dtype == np.float32
    assert a.flags.c_contiguous and a.flags.writeable and not a.flags.owndata
    assert type(a.base).__name__ == "PyCapsule"
    for c, f in enumerate(b.fields):
        assert f.base is a and f.flags.c_contiguous
        assert f.__array_interface__["data"][0] == a.__array_interface__["data"][0] + c * f.nbytes
    # The views outlive the box object and keep the block alive.
    u = b.u
    del b, a
    assert np.isfinite(u).all() and u.std() > 0


def test_refusals_are_vorlans_messages():
    bad = IEC_BOX.replace("64 16 8", "64 16 6")
    with open("bad.inp", "w") as f:
        f.write(bad)
    status, _, err = run_program("vorlan", "bad.inp", check=False)
    assert status == 1
    with pytest.raises(wf.Error) as e:
        wf.box("bad.inp")
    assert str(e.value) == fatal_message(err)
    assert isinstance(e.value, ValueError)
    status, _, err = run_program("vorlan", "bad.inp", "--threads", "0", check=False)
    with pytest.raises(wf.Error, match="--threads") as e:
        wf.box(IEC_BOX, threads=0)
    assert str(e.value) == fatal_message(err)
    with pytest.raises(wf.Error, match="Could not open the parameter file nowhere.inp"):
        wf.box("nowhere.inp")
    with pytest.raises(ValueError, match="progress"):
        wf.box(IEC_BOX, progress=3)
    with pytest.raises(wf.Error, match="the constraints given, line 3, column u.0,90.: 'nan' is not"):
        wf.box(IEC_BOX, constraints={"time": [0, 1], "u(0,90)": [1, float("nan")]})


def test_progress_and_the_gil_released_while_the_box_is_made():
    text = IEC_BOX.replace("64 16 8\n128 60 40", "2048 32 32\n4096 60 60")
    calls, ticks, stop = [], [0], threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1
            time.sleep(0.001)

    t = threading.Thread(target=count)
    t.start()
    try:
        wf.box(text, threads=1, progress=lambda *a: calls.append(a), progress_interval=0.01)
    finally:
        stop.set()
        t.join()
    assert ticks[0] > 20, "a second Python thread ran while the box was made"
    assert calls and all(s in ("", "amplitudes", "transforms", "writing") for s, _, _ in calls)
    assert any(total > 0 and 0 <= done <= total for _, done, total in calls)


def test_an_error_in_the_progress_callback_and_ctrl_c_come_back_when_the_box_is_done():
    text = IEC_BOX.replace("64 16 8\n128 60 40", "1024 32 32\n2048 60 60")

    def fail(*_):
        raise RuntimeError("stop")

    with pytest.raises(RuntimeError, match="stop"):
        wf.box(text, progress=fail, progress_interval=0.001)

    def interrupt(*_):
        os.kill(os.getpid(), signal.SIGINT)

    with pytest.raises(KeyboardInterrupt):
        wf.box(text, progress=interrupt, progress_interval=0.001)
    assert signal.getsignal(signal.SIGINT) is signal.default_int_handler


def _rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * resource.getpagesize() // 1024


@pytest.mark.skipif("libasan" in os.environ.get("LD_PRELOAD", ""),
                    reason="AddressSanitizer keeps freed blocks in quarantine: RSS grows anyway")
def test_many_boxes_leave_the_memory_flat():
    text = IEC_BOX.replace("64 16 8\n128 60 40", "256 32 32\n512 60 60")
    for _ in range(5):
        wf.box(text)
    before = _rss_kib()
    for _ in range(40):
        b = wf.box(text)
        del b
    box_kib = 3 * 256 * 32 * 32 * 4 // 1024
    assert _rss_kib() - before < box_kib, "memory grew by more than one box over 40 boxes"
