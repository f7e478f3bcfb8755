"""The model's spectra are corvel's numbers; the planner is vorlan-plan's and
the fit corvel-fit's; their refusals are the programs' messages."""
import json
import math

import numpy as np
import pytest

import windfield as wf
from conftest import example, fatal_message, run_program


def corvel_lines(source, values, what, pairs, tail):
    with open("c.inp", "w") as f:
        f.write(f"{source}\n{values}\n{what}\n{len(pairs)}\n")
        f.write("".join(f"{i + 1} {j + 1}\n" for i, j in pairs) + tail)
    return run_program("corvel", "c.inp")[1].splitlines()


PAIRS = [(0, 0), (1, 1), (2, 2), (0, 2)]


def corvel_k1(kmin, step, count):
    """corvel's output wave numbers: 10^c, c a float sum of float steps."""
    c, out = np.float32(np.log10(np.float64(np.float32(kmin)))), []
    for _ in range(count):
        out.append(np.float32(10.0 ** float(c)))
        c = np.float32(c + np.float32(step))
    return np.array(out, dtype=np.float32)


@pytest.mark.parametrize("source,values,make", [
    ("iec", "A 11.4 90", lambda: wf.iec("A", 11.4, 90)),
    ("land", "20 40 0.03 0", lambda: wf.land(20, 40, 0.03)),
    ("basic", "0.1 33.6 3.9", lambda: wf.basic(0.1, 33.6, 3.9)),
])
def test_spectra_and_variances_are_corvels(source, values, make):
    site = make()
    assert site.source == source
    lines = corvel_lines(source, values, "spec", PAIRS, "0.001 1 0.5\n")
    k1 = corvel_k1(0.001, 0.5, len(lines))
    columns = [site.spectra(k1, p) for p in PAIRS]
    mine = [" ".join(f"{x:.6g}" for x in (k, *(c[n] for c in columns))) for n, k in enumerate(k1)]
    assert mine == [" ".join(line.split()) for line in lines]
    sigma = corvel_lines(source, values, "sigma2", PAIRS, "")
    assert [f"{site.variance(p):.6g}" for p in PAIRS] == [line.split()[-1] for line in sigma]


def test_cross_spectra_are_corvels():
    site = wf.basic(0.1, 33.6, 3.9)
    lines = corvel_lines("basic", "0.1 33.6 3.9", "xspec", [(0, 0), (2, 2)], "0.01 1 0.5\n5 10\n")
    k1 = corvel_k1(0.01, 0.5, len(lines))
    for pair, offset in (((0, 0), 1), ((2, 2), 5)):
        x = site.cross_spectra(k1, (5, 10), pair)
        assert x.shape == (len(k1), 4)
        for n, line in enumerate(lines):
            assert [f"{v:.6g}" for v in x[n]] == line.split()[offset:offset + 4]


def test_model_refusals_name_the_argument_or_give_the_readers_message():
    with pytest.raises(wf.Error, match="iec|category|A, B, C"):
        wf.iec("D", 11.4, 90)
    with pytest.raises(wf.Error, match="Kaimal1d source has no spectral tensor"):
        wf.site("Kaimal1d", "1 2 3")
    with pytest.raises(ValueError, match="source: 'forest' is not a source"):
        wf.site("forest", "1")
    site = wf.basic(0.1, 33.6, 3.9)
    with pytest.raises(ValueError, match="k1: a one-dimensional array"):
        site.spectra(np.ones((2, 2)))
    with pytest.raises(ValueError, match="pair"):
        site.spectra([0.1], "ux")
    with pytest.raises(ValueError, match="pair: components are 0, 1 and 2"):
        site.spectra([0.1], (0, 3))
    with pytest.raises(TypeError):
        site.spectra(["a"])


def test_the_plan_is_vorlan_plans():
    run_program("vorlan-plan", "--wind-speed", 11.4, "--hub-height", 90, "--rotor-diameter", 126,
                "--time", 600, "--class", "B", "-o", "p.inp")
    p = wf.plan_box(11.4, 90, 126, 600, turbulence_class="B", output="p.inp")
    assert p["parameter_text"] == open("p.inp").read()
    assert p["N"][1] == p["N"][2] and p["usable_width"] >= 1.1 * 126
    status, _, err = run_program("vorlan-plan", "--wind-speed", 11.4, "--hub-height", 40,
                                 "--rotor-diameter", 126, "--time", 600, check=False)
    with pytest.raises(wf.Error) as e:
        wf.plan_box(11.4, 40, 126, 600)
    assert status == 1 and str(e.value) == fatal_message(err)


def test_the_table_is_vorlan_plans():
    run_program("vorlan-plan", "--speeds", "8,12", "--seeds", "-1,-2", "--hub-height", 90,
                "--rotor-diameter", 126, "--time", 60, "--class", "A", "--hub-on-row",
                "--table", "cases")
    t = wf.plan_table([8, 12], [-1, -2], 90, 126, 60, turbulence_class="A", hub_on_row=True,
                      folder="cases")
    assert [r["name"] for r in t["rows"]] == open("cases/table.txt").read().split()
    for r in t["rows"]:
        assert r["parameter_text"] == open(f"cases/{r['name']}/box.inp").read()
        assert t["plans"][r["plan"]]["time_step"] > 0
    assert t["description"] == open("cases/plan.txt").read()
    assert "--hub-on-row" in t["options"]
    status, _, err = run_program("vorlan-plan", "--speeds", "8,8", "--seeds", "-1",
                                 "--hub-height", 90, "--rotor-diameter", 126, "--time", 60,
                                 "--table", "x", check=False)
    with pytest.raises(wf.Error) as e:
        wf.plan_table([8, 8], [-1], 90, 126, 60, folder="x")
    assert status == 1 and str(e.value) == fatal_message(err)


def test_the_fit_is_corvel_fits():
    run_program("corvel-fit", example("spectra.txt"), "--json", "fit.json")
    expected = json.load(open("fit.json"))
    with open(example("spectra.txt")) as f:
        lines = [line.split() for line in f if line.strip() and not line.startswith("#")]
    header, rows = lines[0], np.array(lines[1:], dtype=float)
    col = {name: rows[:, i] for i, name in enumerate(header) if i < rows.shape[1]}
    U = float(next(w for w in header if w.startswith("U=")).split("=")[1])
    r = wf.fit_spectra(col["f"], col["F11"], col["F22"], col["F33"], col.get("F13"),
                       frequency=True, wind_speed=U, one_sided="one-sided" in header,
                       n=col.get("n"))
    params = expected["parameters"]
    assert (r["alphaeps"], r["L"], r["Gamma"]) == pytest.approx(
        (params["alphaeps"], params["L"], params["Gamma"]), rel=1e-5)
    assert r["status"] == "converged"
    with pytest.raises(wf.Error, match="abscissa"):
        wf.fit_spectra([1.0, 0.5], [1.0, 1.0])
    with pytest.raises(ValueError, match="fixed"):
        wf.fit_spectra([0.1, 0.2], [1.0, 1.0], fixed={"eps": 1})


def test_the_fit_of_a_series():
    data = np.loadtxt(example("sonic.txt"), comments="#", skiprows=6)
    r = wf.fit_series(0.1, data[:, 1], data[:, 2], data[:, 3], segment=600)
    assert r["status"] == "converged" and 10 < r["L"] < 100 and not math.isnan(r["rms"])
