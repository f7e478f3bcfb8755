"""The page of a corvel-fit result."""
import math

from .record import LookError, optional_number


FIT_PANELS = (("u", "k1 F11", 1), ("v", "k1 F22", 1), ("w", "k1 F33", 1), ("uw", "-k1 F13", -1))


def fit_values(values, n, what):
    """A list of n numbers or nulls from the result, as floats (NaN for null)."""
    import numpy as np

    if not isinstance(values, list) or len(values) != n:
        raise LookError(f"{what} is not a list of {n} numbers")
    out = [optional_number(v) for v in values]
    return np.array([math.nan if v is None else v for v in out], dtype=float)


def fit_page(result, path):
    """The page of a corvel-fit result: each measured spectrum against the
    fitted model, k1 F on log axes (the uw co-spectrum as -k1 F13, positive
    for the usual downward momentum flux; values of the other sign do not
    show on log axes)."""
    import numpy as np
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    bands, curve = result.get("bands"), result.get("model_curve")
    if not isinstance(bands, dict) or not isinstance(curve, dict):
        raise LookError(f"{path}: the corvel-fit result has no bands or model curve")
    k = fit_values(bands.get("k1"), len(bands.get("k1") or []), f"{path}: bands k1")
    used = np.array([bool(u) for u in bands.get("used", [])] or [True] * len(k))
    if len(used) != len(k):
        raise LookError(f"{path}: bands k1 and used disagree")
    kc = fit_values(curve.get("k1"), len(curve.get("k1") or []), f"{path}: model_curve k1")
    params = result.get("parameters", {})
    errors = result.get("standard_errors", {})
    fig, axes = plt.subplots(2, 2, figsize=(11, 8.5), dpi=100)
    for ax, (name, label, sign) in zip(axes.flat, FIT_PANELS):
        measured = result.get("measured", {}).get(name)
        if measured is not None:
            m = sign * k * fit_values(measured, len(k), f"{path}: measured {name}")
            ax.loglog(k[used], m[used], "o", ms=4, color="C0", label="measured")
            if (~used).any():
                ax.loglog(k[~used], m[~used], "o", ms=4, mfc="none", color="C0", label="not fitted")
        model = sign * kc * fit_values(curve.get(name), len(kc), f"{path}: model_curve {name}")
        ax.loglog(kc, model, "-", color="C3", label="fitted model")
        rms = optional_number(result.get("residual_rms", {}).get(name))
        ax.set_title(f"{label}" + (f"   (rms residual {rms:.3g})" if rms is not None else "   (not fitted)"),
                     fontsize=10)
        ax.set_xlabel("k1 (rad/m)")
        ax.set_ylabel(f"{label} (m^2/s^2)")
        ax.grid(True, which="both", alpha=0.3)
        ax.legend(fontsize=8)

    def value(name):
        v, e = optional_number(params.get(name)), optional_number(errors.get(name))
        if v is None:
            return f"{name} ?"
        return f"{name} = {v:.4g}" + (f" \u00b1 {e:.2g}" if e is not None else "")

    source = result.get("input", {}).get("file", path)
    fig.suptitle(f"corvel-fit: {source}\n{value('alphaeps')} m^(4/3) s^-2,   {value('L')} m,   "
                 f"{value('Gamma')}", fontsize=11)
    rows = []
    for name, _, _ in FIT_PANELS:
        v = result.get("variances", {}).get(name) or {}
        m, f = optional_number(v.get("measured_bands")), optional_number(v.get("model_bands"))
        if m is not None and f is not None:
            rows.append(f"{name} {m:.3g} and {f:.3g}")
    fig.text(0.5, 0.01, "variances over the fitted bands (m^2/s^2), measured and model:\n" +
             ";   ".join(rows), ha="center", fontsize=9)
    fig.tight_layout(rect=(0, 0.05, 1, 0.93))
    return fig
