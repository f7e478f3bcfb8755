"""The turbulence model of a site and its spectra over numpy arrays."""
from __future__ import annotations

import os
from typing import Sequence, Union

import numpy as np

from . import _core

_NAMES = "uvw"
Pair = Union[str, Sequence[int]]


def _pair(pair: Pair) -> tuple[int, int]:
    """A component pair from "uw" or (0, 2)."""
    if isinstance(pair, str):
        if len(pair) != 2 or any(c not in _NAMES for c in pair):
            raise ValueError(f"pair: '{pair}' is not two of u, v, w (as 'uu' or 'uw')")
        return _NAMES.index(pair[0]), _NAMES.index(pair[1])
    items = tuple(pair)
    if len(items) != 2:
        raise ValueError(f"pair: two components are needed, given {len(items)}")
    return int(items[0]), int(items[1])


class Site:
    """A site's spectral velocity tensor model: alphaeps (m^(4/3) s^-2), L (m)
    and Gamma (-), and for the terrain source its tables. Made by site() or
    the source functions (basic, iec, land, sea, terrain)."""

    def __init__(self, core: _core.Site):
        self._core = core

    source = property(lambda self: self._core.source, doc="The source keyword.")
    alphaeps = property(lambda self: self._core.alphaeps, doc="alphaeps, m^(4/3) s^-2 (float32).")
    L = property(lambda self: self._core.L, doc="The length scale L, m (float32).")
    Gamma = property(lambda self: self._core.Gamma, doc="The anisotropy Gamma (float32).")

    def __repr__(self) -> str:
        return (f"windfield.Site({self.source}: alphaeps={self.alphaeps!r}, L={self.L!r}, "
                f"Gamma={self.Gamma!r})")

    def spectra(self, k1, pair: Pair = "uu", tol: float = _core.spectrum_tol) -> np.ndarray:
        """One-point spectra F_ij(k1), two-sided in k1 (m^3 s^-2), at the wave
        numbers k1 (rad/m; a one-dimensional array, taken as float32 as corvel
        reads them): element by element the numbers corvel's spec prints.
        pair: 'uu', 'vv', 'ww', 'uw', ... or two indices 0..2. Returns float64."""
        return _core.one_point_spectra(self._core, k1, _pair(pair), tol)

    def cross_spectra(self, k1, separation: Sequence[float], pair: Pair = "uu",
                      tol: float = _core.spectrum_tol) -> np.ndarray:
        """Cross-spectra between two points separated by (sep across, sep up)
        in metres, at the wave numbers k1: an array of shape (len(k1), 4)
        holding F_ii, F_jj, the co- and the quad-spectrum, corvel's xspec."""
        sep = tuple(float(s) for s in separation)
        if len(sep) != 2:
            raise ValueError(f"separation: two distances (across, up) are needed, given {len(sep)}")
        return _core.cross_spectra(self._core, k1, sep[0], sep[1], _pair(pair), tol)

    def variance(self, pair: Pair = "uu", tol: float = _core.spectrum_tol) -> float:
        """The variance (covariance) int Phi_ij d^3k, m^2 s^-2: corvel's sigma2."""
        return _core.variance(self._core, _pair(pair), tol)


def _values(values) -> str:
    if isinstance(values, str):
        return values
    return " ".join(repr(v) if isinstance(v, float) else str(v) for v in values)


def site(source: str, values) -> Site:
    """The site of a source ('basic', 'land', 'sea', 'terrain' or 'iec') from
    its values as a parameter file writes them after the source's line (a
    string, or a sequence of values joined by spaces), read and checked by the
    parameter file's own reader: a refusal raises windfield.Error with the
    simulator's message."""
    return Site(_core.read_site(source, _values(values)))


def basic(alphaeps: float, L: float, Gamma: float) -> Site:
    """The model of its three numbers."""
    return site("basic", (alphaeps, L, Gamma))


def iec(category: str, V_hub: float, z_hub: float) -> Site:
    """The IEC model: category 'A', 'B', 'C' or Iref as a number, hub wind speed (m/s), hub height (m)."""
    return site("iec", (category, V_hub, z_hub))


def land(U0: float, z: float, z0: float, spec_type: int = 0) -> Site:
    """Over land: wind speed U0 (m/s) at height z (m), roughness length z0 (m);
    spec_type 0 Kaimal, 1 Simiu, 2 the ESDU tables."""
    return site("land", (U0, z, z0, spec_type))


def sea(U0: float, z: float, spec_type: int = 0) -> Site:
    """Over the sea: wind speed U0 (m/s) at height z (m); spec_type as for land."""
    return site("sea", (U0, z, spec_type))


def terrain(file: Union[str, os.PathLike], height_no: int, stretch: bool = True,
            roughness: bool = True, spec_type: int = 0) -> Site:
    """The terrain source: its file, the 1-based height number, whether to
    stretch with the terrain and to use its roughness, and spec_type."""
    words = lambda b: "true" if b else "false"  # noqa: E731
    return site("terrain", f"{os.fspath(file)}\n{height_no}\n{words(stretch)}\n"
                           f"{words(roughness)}\n{spec_type}\n")
