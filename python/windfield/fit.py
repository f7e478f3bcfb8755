"""The fit of alphaeps, L and Gamma to measured spectra or sonic series, as
corvel-fit fits them (docs/fit.md)."""
from __future__ import annotations

import math
from typing import Mapping, Optional, Sequence

import numpy as np

from . import _core

_PARAMETERS = ("alphaeps", "L", "Gamma")


def _options(weights, fixed, start, k_min, k_max, L_min, L_max, max_iterations) -> dict:
    w = {"u": 1.0, "v": 1.0, "w": 1.0, "uw": 1.0, **(weights or {})}
    unknown = set(w) - {"u", "v", "w", "uw"}
    if unknown:
        raise ValueError(f"weights: {sorted(unknown)} are not spectra (u, v, w, uw)")
    held = dict(fixed or {})
    unknown = set(held) - set(_PARAMETERS)
    if unknown:
        raise ValueError(f"fixed: {sorted(unknown)} are not parameters (alphaeps, L, Gamma)")
    return {"weights": [float(w[k]) for k in ("u", "v", "w", "uw")],
            "fixed": [None if held.get(p) is None else float(held[p]) for p in _PARAMETERS],
            "start": None if start is None else [float(x) for x in start],
            "k_min": float(k_min), "k_max": float(k_max), "L_min": L_min,
            "L_max": L_max, "max_iterations": int(max_iterations)}


_FIT_DOC = """
    Fit options: weights per spectrum ({'u': 1, 'v': 1, 'w': 1, 'uw': 1}),
    fixed parameters ({'Gamma': 3.9}), start (alphaeps, L, Gamma), the bands
    fitted k_min <= k1 <= k_max (rad/m), bounds L_min .. L_max (m; default
    the model's smallest L, 0.001 m, and 10 km),
    max_iterations.

    Returns a dict: alphaeps, L, Gamma (float32 as the model stores them),
    standard_errors, held, status ('converged', 'iteration limit' or 'on
    bound', with bound_parameter and bound_side), iterations, rms, residuals,
    bands_below_table, k1 (the bands), band_used, measured and model (band
    values per spectrum), components (bands, rms and variances per spectrum),
    wind_speed; from series also segment_spread and segments. Outcomes are not
    errors: read status. Input the fit cannot use raises windfield.Error with
    corvel-fit's message."""


def fit_spectra(k1, u=None, v=None, w=None, uw=None, *, frequency: bool = False,
                wind_speed: float = 0.0, one_sided: bool = False, n=None,
                bands_per_decade: int = 0, weights: Optional[Mapping[str, float]] = None,
                fixed: Optional[Mapping[str, float]] = None,
                start: Optional[Sequence[float]] = None, k_min: float = 0.0,
                k_max: float = math.inf, L_min: Optional[float] = None,
                L_max: Optional[float] = None,
                max_iterations: int = 200) -> dict:
    """Fits the model to spectra given as arrays over k1 (rad/m), or over
    frequencies (Hz) with frequency=True and the wind_speed that turns them
    into wave numbers: u, v, w (F11, F22, F33, positive) and uw (F13), each
    optional, two-sided unless one_sided, n the independent periodogram values
    per row where known; bands_per_decade pools the rows in bands (0: a band
    per row). The conventions are those of corvel-fit's spectra files."""
    return _core.fit_spectra(k1, u, v, w, uw, bool(frequency), float(wind_speed),
                             bool(one_sided), n, int(bands_per_decade),
                             _options(weights, fixed, start, k_min, k_max, L_min, L_max,
                                      max_iterations))


def fit_series(dt: float, u, v, w, *, segment: float = 600.0, window: float = 0.0,
               detrend: bool = False, skip_gaps: bool = False, f_min: float = 0.0,
               f_max: float = math.inf, bands_per_decade: int = 10,
               weights: Optional[Mapping[str, float]] = None,
               fixed: Optional[Mapping[str, float]] = None,
               start: Optional[Sequence[float]] = None, k_min: float = 0.0,
               k_max: float = math.inf, L_min: Optional[float] = None,
                L_max: Optional[float] = None,
               max_iterations: int = 200) -> dict:
    """Fits the model to a sonic anemometer's series u, v, w (m/s) sampled
    every dt seconds, as corvel-fit does: cut in segments (s), each rotated
    into its mean wind, windowed (s; 0: the largest power of two of samples),
    optionally detrended, the spectra pooled in bands_per_decade bands between
    f_min and f_max (Hz); missing values (NaN) leave their segment out with
    skip_gaps. With three or more segments the spread of the parameters over
    the segments comes too."""
    series = {"segment": float(segment), "window": float(window), "detrend": bool(detrend),
              "skip_gaps": bool(skip_gaps), "f_min": float(f_min), "f_max": float(f_max),
              "bands_per_decade": int(bands_per_decade)}
    return _core.fit_series(float(dt), u, v, w, series,
                            _options(weights, fixed, start, k_min, k_max, L_min, L_max,
                                     max_iterations))


fit_spectra.__doc__ += _FIT_DOC
fit_series.__doc__ += _FIT_DOC
