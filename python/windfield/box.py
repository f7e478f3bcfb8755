"""Boxes synthesised into numpy arrays: vorlan's fields for the same input
and options, bit for bit, with no copy."""
from __future__ import annotations

import io
import os
from typing import Callable, Mapping, Optional, Sequence, Union

import numpy as np

from . import _core

PathOrText = Union[str, os.PathLike]
Progress = Callable[[str, int, int], object]


def parameter_text(N: Sequence[int], LMax: Sequence[float], source: str, values,
                   seed: int = -1, names: Sequence[str] = ("u.bin", "v.bin", "w.bin")) -> str:
    """The parameter file of a three-component box: N1 N2 N3, LMax (m), the
    source and its values (a string or a sequence, as windfield.site takes),
    the seed (negative) and the three output names."""
    from .model import _values
    if len(N) != 3 or len(LMax) != 3:
        raise ValueError("N and LMax: three values each (along the wind, across, up)")
    if len(names) != 3:
        raise ValueError(f"names: three output names are needed, given {len(names)}")
    body = _values(values).rstrip("\n")
    return (f"3\n3\n{' '.join(str(int(n)) for n in N)}\n{' '.join(repr(float(x)) for x in LMax)}\n"
            f"{source}\n{body}\n{int(seed)}\n" + "\n".join(names) + "\n")


def _read_parameters(parameters: PathOrText) -> tuple[str, str]:
    """(text, name) of a parameter file given by its path, or as text (a
    string holding a line break)."""
    if isinstance(parameters, str) and "\n" in parameters:
        return parameters, "the parameter text"
    path = os.fspath(parameters)
    try:
        with open(path, encoding="utf-8", errors="surrogateescape") as f:
            return f.read(), path
    except OSError as e:
        raise _core.Error(f"Could not open the parameter file {path}: {e.strerror}") from None


def constraints_text(series, time=None) -> str:
    """The constraint file's text of measured series: a mapping of column
    names ("u(y,z)", "v(y,z)", "w(y,z)", docs/constraints.md) to series, with
    the times in a "time" column, in `time`, or (a pandas DataFrame) in its
    index. Values are written to round-trip exactly."""
    if hasattr(series, "columns") and hasattr(series, "index"):  # a DataFrame
        columns = {str(c): series[c] for c in series.columns}
        if time is None and "time" not in columns:
            time = np.asarray(series.index, dtype=float)
    elif isinstance(series, Mapping):
        columns = {str(k): v for k, v in series.items()}
    else:
        raise TypeError("constraints: a mapping of column names to series, or a DataFrame")
    if time is not None:
        if "time" in columns:
            raise ValueError("constraints: the times are given twice (a 'time' column and time)")
        columns = {"time": time, **columns}
    if "time" not in columns:
        raise ValueError("constraints: no times: give a 'time' column, time=, or a DataFrame's index")
    names = ["time"] + [k for k in columns if k != "time"]
    try:
        table = np.column_stack([np.asarray(columns[k], dtype=float).ravel() for k in names])
    except ValueError as e:
        raise ValueError(f"constraints: the series are not numbers of one length ({e})") from None
    out = io.StringIO()
    out.write(" ".join(names) + "\n")
    np.savetxt(out, table, fmt="%.17g")
    return out.getvalue()


# vorlan's options that take no value: True gives the option.
_SWITCHES = ("hub_on_row", "hub_series", "openfast_input")


def _words(**options) -> list[str]:
    """vorlan's command-line words of the keyword options."""
    words: list[str] = []
    for key, value in options.items():
        if value is None or value is False:
            continue
        flag = "--" + key.replace("_", "-")
        if key in _SWITCHES:
            if value is not True:
                raise TypeError(f"{key}: True or False, given {value!r}")
            words.append(flag)
            continue
        if key == "seeds":
            value = ",".join(str(int(s)) for s in value) if not isinstance(value, str) else value
        elif key == "scale" and value is True:
            value = "iec"
        elif isinstance(value, float):
            value = repr(value)
        elif isinstance(value, os.PathLike):
            value = os.fspath(value)
        words += [flag, str(value)]
    return words


class Box:
    """A box in memory. array holds every component as one float32 array,
    shape (components, N1, N2, N3) (fewer axes for a line or a plane),
    C-contiguous, the block the library synthesised into, owned by numpy with
    no copy. fields holds one view per component (array[c], shape (N1, N2,
    N3)); u, v, w pick them by component number.

    N, LMax, spacing (m), dt (s; None without a wind speed), the model
    (source, alphaeps, L, Gamma), seed, layout; wind_speed, hub_height,
    grid_bottom and heights where the grid is placed; statistics per
    component (count, mean, std, min, max, as the run record gives them);
    iec_scale_factors with scale='iec'; constraint_largest_difference and
    constraint_nugget with constraints."""

    def __init__(self, result: dict):
        self.array = result.pop("array")
        self.fields = tuple(self.array[c] for c in range(self.array.shape[0]))
        self.components = tuple(result.pop("components"))
        for key, value in result.items():
            setattr(self, key, value)
        self.spacing = tuple(float(L) / n for L, n in zip(self.LMax, self.N))
        U = getattr(self, "wind_speed", None)
        self.dt = self.spacing[0] / U if U else None
        bottom = getattr(self, "grid_bottom", None)
        self.heights = (bottom + self.spacing[2] * np.arange(self.N[2])
                        if bottom is not None and len(self.N) == 3 else None)

    def component(self, c: int) -> np.ndarray:
        """The field of component c (0 u, 1 v, 2 w)."""
        if c not in self.components:
            raise ValueError(f"component {c}: the box holds {self.components}")
        return self.fields[self.components.index(c)]

    u = property(lambda self: self.component(0), doc="The u field.")
    v = property(lambda self: self.component(1), doc="The v field.")
    w = property(lambda self: self.component(2), doc="The w field.")

    def __repr__(self) -> str:
        return f"windfield.Box(N={self.N}, LMax={self.LMax}, {self.source}, seed {self.seed})"


def box(parameters: PathOrText, *, threads: Optional[int] = None, layout: Optional[str] = None,
        random: Optional[str] = None, scale: Union[str, bool, None] = None,
        wind_speed: Optional[float] = None, hub_height: Optional[float] = None,
        grid_bottom: Optional[float] = None, hub_on_row: bool = False,
        profile: Optional[str] = None, constraints=None, progress: Optional[Progress] = None,
        progress_interval: float = 0.2) -> Box:
    """Synthesises the box of a parameter file (a path, or its text: a string
    holding a line break) into memory: the fields vorlan writes for the same
    file and options, bit for bit; its output names are read but nothing is
    written.

    Options as vorlan's (vorlan --help): threads, layout ('classic' or
    'inflowwind'), random ('classic' or 'counter'), scale ('iec' or True),
    wind_speed, hub_height, grid_bottom, hub_on_row, profile ('power:ALPHA',
    'log:Z0', 'none'); constraints: a constraint file's path, or its series as a mapping
    or DataFrame (constraints_text). progress(stage, done, total) is called
    every progress_interval seconds while the box is made, stage one of
    'amplitudes', 'transforms' or '' (between them). The GIL is released meanwhile; Ctrl-C
    (KeyboardInterrupt) is raised when the box is done, which is then dropped.

    Raises windfield.Error with vorlan's message for every refusal."""
    text, name = _read_parameters(parameters)
    series, series_name, file = None, "", None
    if isinstance(constraints, (str, os.PathLike)):
        file = constraints
    elif constraints is not None:
        series, series_name = constraints_text(constraints), "the constraints given"
    words = _words(threads=threads, layout=layout, random=random, scale=scale,
                   wind_speed=wind_speed, hub_height=hub_height, grid_bottom=grid_bottom,
                   hub_on_row=hub_on_row, profile=profile, constraints=file)
    return Box(_core.make_box(text, name, words, series, series_name, progress,
                              float(progress_interval)))
