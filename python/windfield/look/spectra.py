"""The spectra page: the box's one-point spectra along the wind against the
model's, from the module's Site (corvel's numbers) for the tensor sources, in
closed form for a Kaimal line and the isotropic 2-D plane.

Normalisation of the box spectrum. Along the wind the box holds N samples
u_n over the length L (spacing dx = L/N, wave numbers k_m = m dk, dk = 2 pi/L).
With U_m = sum_n u_n exp(-2 pi i m n/N), Parseval gives
    (1/N) sum_n u_n^2 = sum_m |U_m|^2 / N^2,
so the two-sided estimate F(k_m) = |U_m|^2 / (N^2 dk) sums, times dk over all
m = -N/2+1 .. N/2, to the sample variance: it is comparable with the model's
F_ij(k1), whose integral over the whole k1 line is the variance. For m > 0
the same number stands for -k_m."""
import math
import os

from .record import NAMES, LookError, positive
from .sheet import LEFT, PAGE_WIDTH, TITLE, XLABEL

# The pairs drawn, 1-based; the co-spectrum is the only cross pair the model
# makes non-zero.
SPECTRUM_PAIRS = ((1, 1), (2, 2), (3, 3), (1, 3))
# Wave-number step of the model curves, in decades.
MODEL_STEP = 0.05
# The name of the tensor model's curves (model_for's last value starts so).
TENSOR_MODEL = "windfield"
TWO_PI = 2.0 * math.pi


def box_spectra(fields, lengths):
    """Two-sided one-point spectra along the first grid axis, averaged over
    the others, at k_m = m 2 pi/L1 for m = 1 .. N1/2 (see above).
    Returns k, {(i, j): F} for the auto-spectra and the uw co-spectrum. One
    transform is held at a time, and u's with the others until w's."""
    import numpy as np

    first = next(iter(fields.values()))
    n1 = first.shape[0]
    dk = TWO_PI / lengths[0]
    k = dk * np.arange(1, n1 // 2 + 1)
    scale = 1.0 / (n1 * n1 * dk)

    def transform(c):
        return np.fft.rfft(fields[c], axis=0)[1:]

    def average(a):
        return a.reshape(a.shape[0], -1).mean(axis=1)

    # u's transform is kept until w's, so that each component is transformed
    # once; the co-spectrum goes last, after the auto-spectra.
    spectra, u1, co = {}, None, None
    for c in fields:
        u = transform(c)
        spectra[(c, c)] = scale * average(np.abs(u) ** 2)
        if c == 1 and 3 in fields:
            u1 = u
        elif c == 3 and u1 is not None:
            co = scale * average((u1 * np.conj(u)).real)
            u1 = None
        del u
    if co is not None:
        spectra[(1, 3)] = co
    return k, spectra


SPECTRA_HEIGHT = 2.4
SPECTRA_NOTE = 0.55


def draw_spectra(sheet, top, record, geometry, k_box, box, model, raw):
    import numpy as np

    dims, _, shape, lengths = geometry
    k_model, f_model, _, _ = model
    panels = [p for p in SPECTRUM_PAIRS if p in box]
    # The one-point spectrum sums the model over every cross-wind wave number;
    # the box holds them up to pi N/L across the wind (the dashed line), and
    # falls below the model from about a third of it.
    k_cross = min(math.pi * shape[d] / lengths[d] for d in range(1, dims)) \
        if dims >= 2 and record["input"].get("ParameterSource") != "2D" else None
    width = (PAGE_WIDTH - LEFT - 0.3 - 0.55 * (len(panels) - 1)) / len(panels)
    for n, p in enumerate(panels):
        ax = sheet.axes(LEFT + n * (width + 0.55), top + TITLE, width, SPECTRA_HEIGHT)
        sign = -1.0 if p == (1, 3) else 1.0
        est = sign * box[p]
        if raw:
            positive_est = est > 0
            ax.loglog(k_box[positive_est], est[positive_est], ".", ms=1.5, color="0.75",
                      alpha=0.5, label="box, each k1")
        banded_k, banded = bands(k_box, est)
        ok_band = banded > 0
        ax.loglog(banded_k[ok_band], banded[ok_band], "o-", ms=3, lw=1, color="C0",
                  label="box, band means")
        fm = ok = None
        if p in f_model:
            fm = sign * np.asarray(f_model[p])
            ok = fm > 0
            ax.loglog(np.asarray(k_model)[ok], fm[ok], "-", color="C3", lw=1.5, label="model")
        # The y range from the band means and the model: single modes near
        # zero (the Nyquist mode that the engines leave empty) would stretch it.
        shown = [banded[ok_band]]
        if p in f_model:
            shown.append(fm[ok])
        shown = np.concatenate(shown)
        if shown.size:
            ax.set_ylim(0.2 * shown.min(), 5 * shown.max())
        if k_cross is not None:
            ax.axvline(k_cross, color="0.3", ls="--", lw=0.8)
            if n == 0:
                ax.text(k_cross, 0.97, " \u03c0N/L across", transform=ax.get_xaxis_transform(),
                        fontsize=7, va="top", ha="right", rotation=90)
        name = "-F13 (uw co-spectrum)" if p == (1, 3) else f"F{p[0]}{p[1]} ({NAMES[p[0]]})"
        ax.set_title(name, fontsize=9)
        ax.set_xlabel("k1 (rad/m)", fontsize=8)
        if n == 0:
            ax.set_ylabel("two-sided spectrum (m^3/s^2)", fontsize=8)
            ax.legend(fontsize=7, loc="lower left")
        ax.tick_params(labelsize=7)
        ax.grid(True, which="major", lw=0.3)
    top += TITLE + SPECTRA_HEIGHT + XLABEL
    if k_cross is not None:
        sheet.text(LEFT, top,
                   "Above about a third of \u03c0N/L across the wind (dashed), the box's spectra fall "
                   "below the model's, and not by chance: a one-point spectrum along the wind adds up "
                   "the model over every\ncross-wind wave number, and the box holds them only up to "
                   "\u03c0N/L along its cross-wind axes, so it lacks the scales finer than its cross-wind grid. "
                   "That is the grid's resolution, not a fault of the box.",
                   fontsize=8)
        top += SPECTRA_NOTE
    return top


def bands(k, f, per_decade=10):
    """Means of f over log-spaced bands of k (means of the estimate, so their
    spread falls as one over the root of the number of wave numbers)."""
    import numpy as np

    edges = np.floor(np.log10(k) * per_decade)
    out_k, out_f = [], []
    for e in np.unique(edges):
        sel = edges == e
        out_k.append(math.exp(np.mean(np.log(k[sel]))))
        out_f.append(float(np.mean(f[sel])))
    return np.asarray(out_k), np.asarray(out_f)




def module_site(record):
    """The record's tensor model as the module's Site: its terrain source
    where the record uses the terrain's tables, else alphaeps, L and Gamma."""
    from .. import model as wf_model

    inp, model = record["input"], record["model"]
    values = inp.get("source_values") or {}
    if inp.get("ParameterSource") == "terrain" and (
            truthy(model.get("Terrain")) or truthy(model.get("Roughness"))):
        terrain_file = values.get("terrainFile")
        if terrain_file is None:
            raise LookError("the terrain record names no terrainFile")
        terrain_file = os.path.join(record.get("working_directory", "."), terrain_file)
        if not os.path.isfile(terrain_file):
            raise LookError(f"missing terrain file {terrain_file}")
        return wf_model.terrain(terrain_file, int(values["KESTAVHeightNo"]),
                                truthy(values["Terrain"]), truthy(values["Roughness"]),
                                int(values["SpecType"]))
    if any(model.get(key) is None for key in ("alphaeps", "L", "Gamma")):
        raise LookError("the record's model has no alphaeps, L and Gamma")
    return wf_model.basic(float(model["alphaeps"]), float(model["L"]), float(model["Gamma"]))


def truthy(value):
    return value is True or str(value) in ("true", "True")


def tensor_model(record, comps, k_lo, k_hi):
    """The tensor model's spectra on a log grid from k_lo to k_hi (MODEL_STEP
    decades apart) and its variances: corvel's spec and sigma2, from the
    module (the same library, the same numbers)."""
    import numpy as np

    site = module_site(record)
    k = model_grid(k_lo, k_hi)
    pairs = [p for p in SPECTRUM_PAIRS if p[0] in comps and p[1] in comps]
    spectra = {p: site.spectra(k, (p[0] - 1, p[1] - 1)) for p in pairs}
    variances = {p: site.variance((p[0] - 1, p[1] - 1)) for p in pairs}
    return k.astype(float), spectra, variances, f"{TENSOR_MODEL}, {site.source}"


def model_grid(k_lo, k_hi):
    """The model's wave numbers from k_lo to k_hi, MODEL_STEP decades apart
    (k_hi the last), as float32 (as corvel reads them)."""
    import numpy as np

    steps = int(math.floor(math.log10(k_hi / k_lo) / MODEL_STEP + 1e-9))
    k = k_lo * 10.0 ** (MODEL_STEP * np.arange(steps + 1))
    if k[-1] < k_hi:
        k = np.append(k, k_hi)
    return k.astype(np.float32)


def kaimal_model(record, comps, k):
    """The engine's closed-form Kaimal spectra, two-sided in k1, with
    f = k z/(2 pi):
        F11 = u*^2 52.5 z/(2 pi) (1 + 33 f)^(-5/3)
        F22 = u*^2 8.5 z/(2 pi) (1 + 9.5 f)^(-5/3)
        F33 = u*^2 1.05 z/(2 pi) / (1 + 5.3 f^(5/3))
        F13 = -6 u*^2 z/(2 pi) (1 + 9.6 f)^(-7/3)
    and their integrals over the whole k1 line, in closed form:
        52.5 * 3/33, 8.5 * 3/9.5, 2.1 * 5.3^(-3/5) (pi/p)/sin(pi/p) with
        p = 5/3, and -6 * 2 * 3/(4 * 9.6), each times u*^2."""
    import numpy as np

    values = record["input"].get("source_values") or {}
    ustar = positive(values.get("ustar"), "the Kaimal1d record's ustar")
    z = positive(values.get("z"), "the Kaimal1d record's z")
    k = np.asarray(k)
    u2, f, c = ustar * ustar, k * z / TWO_PI, z / TWO_PI
    p = 5.0 / 3.0
    spectra = {
        (1, 1): u2 * 52.5 * c * (1 + 33 * f) ** (-p),
        (2, 2): u2 * 8.5 * c * (1 + 9.5 * f) ** (-p),
        (3, 3): u2 * 1.05 * c / (1 + 5.3 * f ** p),
        (1, 3): -6.0 * u2 * c * (1 + 9.6 * f) ** (-7.0 / 3.0),
    }
    variances = {
        (1, 1): u2 * 52.5 * 3 / 33,
        (2, 2): u2 * 8.5 * 3 / 9.5,
        (3, 3): u2 * 2.1 * 5.3 ** (-1 / p) * (math.pi / p) / math.sin(math.pi / p),
        (1, 3): -u2 * 6.0 * 2 * 3 / (4 * 9.6),
    }
    keep = {q: spectra[q] for q in SPECTRUM_PAIRS if q[0] in comps and q[1] in comps}
    return k, keep, {q: variances[q] for q in keep}, "Kaimal closed form"


def iso2d_model(record, comps, k):
    """The isotropic two-dimensional tensor
        Phi_ij = E(|k|)/(pi |k|^3) (|k|^2 delta_ij - k_i k_j),
        E(k) = sig2 Ls^2 k (1 + (k Ls)^2)^(-3/2),
    integrated over the second wave-number component (k2 = s tan t, a smooth
    integrand in t on (-pi/2, pi/2)); each variance is sig2."""
    import numpy as np

    values = record["input"].get("source_values") or {}
    sig2 = positive(values.get("sig2_2D"), "the 2D record's sig2_2D")
    ls = positive(values.get("L_2D"), "the 2D record's L_2D")
    k = np.asarray(k, dtype=float)
    t = np.linspace(-math.pi / 2, math.pi / 2, 4001)[1:-1]
    spectra = {(1, 1): [], (2, 2): []}
    for k1 in k:
        s = max(k1, 1.0 / ls)
        k2 = s * np.tan(t)
        jac = s / np.cos(t) ** 2
        kk = k1 * k1 + k2 * k2
        common = sig2 * ls * ls / (math.pi * kk) * (1 + kk * ls * ls) ** -1.5 * jac
        dt = t[1] - t[0]
        spectra[(1, 1)].append(float(np.sum(common * k2 * k2) * dt))
        spectra[(2, 2)].append(float(np.sum(common * k1 * k1) * dt))
    keep = {q: np.asarray(spectra[q]) for q in spectra if q[0] in comps}
    return k, keep, {q: sig2 for q in keep}, "isotropic 2-D closed form"


def model_for(record, comps, k_box):
    import numpy as np

    source = record["input"].get("ParameterSource")
    k_lo, k_hi = float(k_box[0]), float(k_box[-1])
    if source == "Kaimal1d":
        return kaimal_model(record, comps,
                            np.logspace(math.log10(k_lo), math.log10(k_hi), 200))
    if source == "2D":
        return iso2d_model(record, comps,
                           np.logspace(math.log10(k_lo), math.log10(k_hi), 60))
    return tensor_model(record, comps, k_lo, k_hi)


def interpolate_loglog(k_model, f_model, k):
    """Model values at the box wave numbers: linear in log k, and in log |F|
    where F keeps one sign (spectra are smooth power laws there)."""
    import numpy as np

    km, fm = np.asarray(k_model, float), np.asarray(f_model, float)
    if np.all(fm > 0) or np.all(fm < 0):
        sign = np.sign(fm[0])
        return sign * np.exp(np.interp(np.log(k), np.log(km), np.log(np.abs(fm)),
                                       left=np.nan, right=np.nan))
    return np.interp(np.log(k), np.log(km), fm, left=np.nan, right=np.nan)


