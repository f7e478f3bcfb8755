"""The files of a run: whole runs through vorlan's run sequence, and readers
of everything they write (raw files through the run record, .bts, .wnd with
its .sum), TurbSim's own .bts and .wnd files included."""
from __future__ import annotations

import json
import math
import os
import re
import stat
from dataclasses import dataclass, field
from typing import Optional, Sequence, Union

import numpy as np

from . import _core
from .box import _words

Path = Union[str, os.PathLike]

RECORD_KIND = "vorlan run record"
RECORD_VERSIONS = (1,)
# A run record is a few kilobytes; anything much larger is not one (and a
# device such as /dev/zero would never end).
MAX_RECORD_BYTES = 1 << 24
BTS_HEADER = 70
WND_HEADER = 104


def run(parameter_file: Path, *, seeds: Union[Sequence[int], str, None] = None,
        threads: Optional[int] = None, layout: Optional[str] = None,
        random: Optional[str] = None, format: Optional[str] = None,
        wind_speed: Optional[float] = None, hub_height: Optional[float] = None,
        grid_bottom: Optional[float] = None, hub_on_row: bool = False,
        profile: Optional[str] = None, scale: Union[str, bool, None] = None,
        hub_series: bool = False, openfast_template: Optional[Path] = None,
        openfast_input: bool = False, constraints: Optional[Path] = None,
        options: Sequence[str] = ()) -> str:
    """Runs vorlan on a parameter file in this process: the same files, byte
    for byte, as `vorlan FILE OPTIONS` (the raw files, a .bts, a .wnd/.sum or
    a NetCDF file (.nc, where the build has NetCDF) by format, the run record,
    the hub-height series <box>.hh with hub_series (read_hub_series), a
    filled InflowWind input with openfast_template or openfast_input), each
    appearing under its name only when the run has
    succeeded; relative names are opened from the current folder. Keyword
    options are vorlan's (vorlan --help); options takes further command-line
    words as they are. Returns the echo and summary vorlan prints; a refusal
    raises windfield.Error with vorlan's message and leaves no file behind.
    The GIL is released while it runs."""
    words = _words(seeds=seeds, threads=threads, layout=layout, random=random, format=format,
                   wind_speed=wind_speed, hub_height=hub_height, grid_bottom=grid_bottom,
                   hub_on_row=hub_on_row, profile=profile, scale=scale, hub_series=hub_series,
                   openfast_template=openfast_template, openfast_input=openfast_input,
                   constraints=constraints)
    return _core.run_vorlan([*words, *map(str, options), os.fspath(parameter_file)])


def _regular(path: str) -> int:
    try:
        info = os.stat(path)
    except OSError as e:
        raise _core.Error(f"cannot read {path}: {e.strerror}") from None
    if not stat.S_ISREG(info.st_mode):
        raise _core.Error(f"{path} is not a regular file")
    return info.st_size


def read_record(path: Path, also: Sequence[str] = ()) -> dict:
    """A vorlan run record (docs/run-record.md) as a dict, checked to be one
    of the versions this module reads; a JSON object whose "record" is one
    of the kinds in also (e.g. "corvel-fit result") is returned as it is."""
    path = os.fspath(path)
    try:
        info = os.stat(path)
    except FileNotFoundError:
        raise _core.Error(f"no run record at {path}") from None
    except OSError as e:
        raise _core.Error(f"cannot read the run record {path}: {e.strerror}") from None
    if not stat.S_ISREG(info.st_mode):
        raise _core.Error(f"{path} is not a regular file, so not a run record")
    if info.st_size > MAX_RECORD_BYTES:
        raise _core.Error(f"{path} holds {info.st_size} bytes, too many for a run record "
                          f"(at most {MAX_RECORD_BYTES})")
    try:
        with open(path, "rb") as f:
            text = f.read(MAX_RECORD_BYTES + 1)
        if len(text) > MAX_RECORD_BYTES:
            raise _core.Error(f"{path} grew beyond {MAX_RECORD_BYTES} bytes while read")
        record = json.loads(text.decode("utf-8"))
    except OSError as e:
        raise _core.Error(f"cannot read the run record {path}: {e.strerror}") from None
    except RecursionError:
        raise _core.Error(f"cannot read the run record {path}: JSON nested too deeply") from None
    except ValueError as e:  # JSON and UTF-8 errors alike
        raise _core.Error(f"cannot read the run record {path}: {e}") from None
    if isinstance(record, dict) and record.get("record") in also:
        return record
    if not isinstance(record, dict) or record.get("record") != RECORD_KIND:
        raise _core.Error(f"{path} is not a vorlan run record"
                          + "".join(f" (nor a {kind})" for kind in also))
    version = record.get("record_version")
    if version not in RECORD_VERSIONS:
        raise _core.Error(f"{path}: unknown record version {version!r} (this module reads "
                          f"version {', '.join(map(str, RECORD_VERSIONS))})")
    for key, kind in (("input", dict), ("model", dict), ("grid", dict), ("files", list)):
        if not isinstance(record.get(key), kind):
            raise _core.Error(f"{path}: the record has no \"{key}\"")
    return record


@dataclass
class WindFile:
    """A full-field wind file as InflowWind reads it. velocity: float32 array
    (3, steps, NY, NZ) of total velocities (u holds the mean wind) at time
    t = n dt, column iy at y[iy] (the first the most negative y, to the right
    looking downwind), row iz at heights[iz]; tower: (steps, NT, 3) below the
    grid (.bts), or None. mean_profile: u averaged over time and y per row.
    For a .wnd, velocity is decoded with the .sum's sign rule, and u in the
    file is the deviation from the hub-height U."""
    velocity: np.ndarray
    dt: float
    dy: float
    dz: float
    wind_speed: float
    hub_height: float
    grid_bottom: float
    periodic: bool
    description: str = ""
    tower: Optional[np.ndarray] = None
    y: np.ndarray = field(init=False)
    heights: np.ndarray = field(init=False)
    mean_profile: np.ndarray = field(init=False)

    def __post_init__(self):
        _, _, ny, nz = self.velocity.shape
        self.y = -(ny - 1) * self.dy / 2 + self.dy * np.arange(ny)
        self.heights = self.grid_bottom + self.dz * np.arange(nz)
        self.mean_profile = self.velocity[0].mean(axis=(0, 1), dtype=np.float64)

    def box(self, profile: Optional[np.ndarray] = None) -> tuple:
        """The three components as vorlan's classic box (N1, N2, N3) = (steps,
        NY, NZ): slice n is plane (N1 - n) mod N1, the profile (default:
        mean_profile) taken out of u. What vorlan-look draws of a wind file."""
        n1 = self.velocity.shape[1]
        planes = (n1 - np.arange(n1)) % n1
        p = self.mean_profile if profile is None else np.asarray(profile, dtype=np.float64)
        out = []
        for c in range(3):
            values = self.velocity[c].astype(np.float64) - (p[None, None, :] if c == 0 else 0.0)
            b = np.empty(values.shape, dtype=np.float32)
            b[planes] = values
            out.append(b)
        return tuple(out)


def _read_all(path: str, what: str) -> bytes:
    _regular(path)
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        raise _core.Error(f"cannot read {what} {path}: {e.strerror}") from None


def read_bts(path: Path) -> WindFile:
    """A TurbSim full-field binary file (.bts): vorlan's or TurbSim's, with
    its tower points where it has them, decoded as InflowWind decodes it."""
    path = os.fspath(path)
    data = _read_all(path, "the .bts file")
    if len(data) < BTS_HEADER:
        raise _core.Error(f"{path}: {len(data)} bytes, shorter than a .bts header ({BTS_HEADER})")
    file_id = int(np.frombuffer(data, "<i2", 1, 0)[0])
    nz, ny, nt, steps = (int(x) for x in np.frombuffer(data, "<i4", 4, 2))
    dz, dy, dt, U, hub, bottom = (float(x) for x in np.frombuffer(data, "<f4", 6, 18))
    scale = np.frombuffer(data, "<f4", 6, 42).astype(np.float64)
    n = int(np.frombuffer(data, "<i4", 1, 66)[0])
    if nz < 1 or ny < 1 or nt < 0 or steps < 1 or not 0 <= n <= len(data) - BTS_HEADER:
        raise _core.Error(f"{path} is not a .bts file: its header gives NZ {nz}, NY {ny}, "
                          f"NT {nt}, {steps} steps and a description of {n} bytes")
    if not all(math.isfinite(x) and x > 0 for x in (dz, dy, dt)) or not np.all(scale[::2] != 0):
        raise _core.Error(f"{path}: its header gives dz {dz}, dy {dy}, dt {dt} and slopes "
                          f"{scale[::2].tolist()}: not a grid a reader can place")
    per_step = (nz * ny + nt) * 3
    body = BTS_HEADER + n
    if len(data) - body < 2 * per_step * steps:
        raise _core.Error(f"{path} ended before its {steps} slices of {nz} x {ny} points"
                          + (f" and {nt} tower points" if nt else ""))
    raw = np.frombuffer(data, "<i2", per_step * steps, body).reshape(steps, per_step)
    grid = raw[:, :nz * ny * 3].reshape(steps, nz, ny, 3)
    velocity = np.empty((3, steps, ny, nz), dtype=np.float32)
    for c in range(3):
        velocity[c] = ((grid[..., c].astype(np.float64) - scale[2 * c + 1]) / scale[2 * c]
                       ).transpose(0, 2, 1)
    tower = None
    if nt:
        t = raw[:, nz * ny * 3:].reshape(steps, nt, 3).astype(np.float64)
        tower = ((t - scale[1::2]) / scale[0::2]).astype(np.float32)
    return WindFile(velocity, dt, dy, dz, U, hub, bottom, file_id == 8,
                    data[BTS_HEADER:body].decode("latin-1"), tower)


def read_sum(path: Path) -> dict:
    """What InflowWind reads of a .sum file: hub_height, wind_speed (UBAR),
    TI (u, v, w in percent), height_offset, periodic, left_handed (the
    "BLADED LEFT-HAND RULE" line) and clockwise."""
    path = os.fspath(path)
    lines = _read_all(path, "the .sum file").decode("latin-1").splitlines()
    out = {"height_offset": 0.0, "periodic": False, "left_handed": False, "clockwise": None}
    number = r"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?"
    i = 0
    while i < len(lines):
        up = lines[i].upper()
        if "CLOCKWISE" in up and "hub_height" not in out and up.strip()[:1] in ("T", "F"):
            out["clockwise"] = up.strip().startswith("T")
        elif "HUB HEIGHT" in up and "hub_height" not in out:
            m = re.search(number, lines[i])
            if not m:
                raise _core.Error(f"{path}, line {i + 1}: HUB HEIGHT without a number")
            out["hub_height"] = float(m.group())
        elif "UBAR" in up and "hub_height" in out and "wind_speed" not in out:
            m = re.search(r"=\s*(" + number + ")", lines[i])
            if not m:
                raise _core.Error(f"{path}, line {i + 1}: UBAR without '= U'")
            out["wind_speed"] = float(m.group(1))
            ti = []
            for j in range(i + 1, i + 4):
                m = re.search(r"=\s*(" + number + r")\s*%", lines[j]) if j < len(lines) else None
                if not m:
                    raise _core.Error(f"{path}, line {j + 1}: no TI '= value %' after UBAR")
                ti.append(float(m.group(1)))
            out["TI"] = tuple(ti)
            i += 3
        elif "HEIGHT OFFSET" in up:
            m = re.search(r"=\s*(" + number + ")", lines[i])
            if m:
                out["height_offset"] = float(m.group(1))
        if "PERIODIC" in up:
            out["periodic"] = True
        if "BLADED LEFT-HAND RULE" in up:
            out["left_handed"] = True
        i += 1
    for key, what in (("hub_height", "HUB HEIGHT"), ("wind_speed", "UBAR")):
        if key not in out:
            raise _core.Error(f"{path} holds no {what} line: not a .sum file InflowWind reads")
    return out


def read_wnd(path: Path) -> WindFile:
    """A Bladed-style .wnd file (path or root name) with its .sum beside it:
    vorlan's or TurbSim's, decoded as InflowWind decodes it."""
    path = os.fspath(path)
    root = path[:-4] if path.lower().endswith(".wnd") else path
    wnd = path if path.lower().endswith(".wnd") else root + ".wnd"
    data = _read_all(wnd, "the .wnd file")
    summary = read_sum(root + ".sum")
    if len(data) < WND_HEADER:
        raise _core.Error(f"{wnd}: {len(data)} bytes, shorter than a .wnd header ({WND_HEADER})")
    form, kind = (int(x) for x in np.frombuffer(data, "<i2", 2, 0))
    ncomp = int(np.frombuffer(data, "<i4", 1, 4)[0])
    if form != -99 or kind != 4 or ncomp != 3:
        raise _core.Error(f"{wnd}: header form {form}, type {kind}, {ncomp} components: this "
                          f"reader takes the -99 form of type 4 with 3 components")
    ti = np.frombuffer(data, "<f4", 3, 20).astype(np.float64)
    dz, dy, dx = (float(x) for x in np.frombuffer(data, "<f4", 3, 32))
    half = int(np.frombuffer(data, "<i4", 1, 44)[0])
    U = float(np.frombuffer(data, "<f4", 1, 48)[0])
    nz, ny = (int(x) for x in np.frombuffer(data, "<i4", 2, 72))
    if nz < 1 or ny < 1 or half < 1 or not all(math.isfinite(x) and x > 0 for x in (dz, dy, dx, U)):
        raise _core.Error(f"{wnd} is not a .wnd file: NZ {nz}, NY {ny}, {2 * half} steps, "
                          f"dz {dz}, dy {dy}, dx {dx}, U {U}")
    if abs(summary["wind_speed"] - U) > 0.1:
        raise _core.Error(f"{wnd}: U {U} m/s, its .sum's UBAR {summary['wind_speed']} m/s: "
                          f"InflowWind refuses a difference above 0.1 m/s")
    steps = 2 * half
    count = steps * nz * ny * 3
    if len(data) - WND_HEADER < 2 * count:
        raise _core.Error(f"{wnd} ended before its {steps} slices of {nz} x {ny} points")
    raw = np.frombuffer(data, "<i2", count, WND_HEADER).reshape(steps, nz, ny, 3)
    ti = np.where(ti > 0, ti, np.asarray(summary["TI"]))
    sign = (1.0, -1.0 if summary["left_handed"] else 1.0, 1.0)
    velocity = np.empty((3, steps, ny, nz), dtype=np.float32)
    for c in range(3):
        v = sign[c] * 0.001 * U * (ti[c] / 100) * raw[..., c].astype(np.float64)
        velocity[c] = ((U if c == 0 else 0.0) + v).transpose(0, 2, 1)
    centre = summary["hub_height"] - summary["height_offset"]
    return WindFile(velocity, dx / U, dy, dz, U, summary["hub_height"],
                    centre - (nz - 1) * dz / 2, summary["periodic"])


@dataclass
class HubSeries:
    """The hub-height series of InflowWind's uniform wind (vorlan
    --hub-series, the .hh file; WindType 2): per line the time (s), the
    horizontal speed (m/s), the direction (degrees, counter-clockwise seen
    from above, 0 along +x), the vertical speed (m/s), and the shears and
    gust InflowWind reads (horizontal linear shear, power-law exponent,
    linear vertical shear, gust speed); comments: the file's '!' lines."""
    time: np.ndarray
    speed: np.ndarray
    direction: np.ndarray
    vertical: np.ndarray
    horizontal_shear: np.ndarray
    power_law: np.ndarray
    vertical_shear: np.ndarray
    gust: np.ndarray
    comments: list

    @property
    def u(self) -> np.ndarray:
        """The wind along x (m/s): speed cos(direction)."""
        return self.speed * np.cos(np.radians(self.direction))

    @property
    def v(self) -> np.ndarray:
        """The wind along y (m/s): speed sin(direction)."""
        return self.speed * np.sin(np.radians(self.direction))


def read_hub_series(path: Path) -> HubSeries:
    """A uniform-wind file as InflowWind reads it (the .hh vorlan writes with
    --hub-series, or one written by hand): '!' lines are comments, every
    other line holds 8 numbers (or 7, without the gust), times increasing."""
    path = os.fspath(path)
    text = _read_all(path, "the hub series").decode("latin-1")
    comments, rows = [], []
    for n, line in enumerate(text.splitlines(), start=1):
        stripped = line.strip()
        if not stripped or stripped.startswith("!"):
            if stripped:
                comments.append(stripped)
            continue
        try:
            values = [float(x) for x in stripped.split()]
        except ValueError:
            raise _core.Error(f"{path}, line {n}: '{stripped[:40]}' is not a line of numbers") from None
        if len(values) not in (7, 8) or not all(math.isfinite(x) for x in values):
            raise _core.Error(f"{path}, line {n}: {len(values)} values, a uniform-wind line "
                              f"holds 7 or 8 finite numbers")
        rows.append(values + [0.0] * (8 - len(values)))
    if not rows:
        raise _core.Error(f"{path} holds no line of numbers: not a uniform-wind file")
    table = np.asarray(rows, dtype=np.float64)
    if np.any(np.diff(table[:, 0]) <= 0):
        raise _core.Error(f"{path}: the times do not increase")
    return HubSeries(*table.T, comments=comments)


@dataclass
class NetcdfBox:
    """A box for an LES inflow as vorlan --format netcdf writes it
    (docs/cluster.md). velocity: float32 array (3, nx, ny, nz) of the
    perturbations uvel, vvel, wvel as stored (plane i the plane a fixed point
    sees at time i dx / U); box_lengths and dx (m) along x, y, z; attributes:
    the file's global attributes (the model, seed, statistics, and where the
    run knew them wind_speed, hub_height, grid_bottom, time_step)."""
    velocity: np.ndarray
    box_lengths: tuple
    dx: tuple
    attributes: dict

    @property
    def N(self) -> tuple:
        return tuple(self.velocity.shape[1:])

    def box(self) -> np.ndarray:
        """vorlan's classic box (3, N1, N2, N3): file plane i is the box's
        plane (N1 - i) mod N1."""
        n1 = self.velocity.shape[1]
        return self.velocity[:, (n1 - np.arange(n1)) % n1]


def read_netcdf(path: Path) -> NetcdfBox:
    """A NetCDF box written by vorlan --format netcdf (or vorlan-mpi), read
    through Python's netCDF4 (Debian: python3-netcdf4); without it, an
    ImportError that says so."""
    path = os.fspath(path)
    _regular(path)
    try:
        import netCDF4
    except ImportError:
        raise ImportError("reading a NetCDF file needs Python's netCDF4 module (Debian: "
                          "python3-netcdf4, or tools/install-prerequisites.sh netcdf)") from None
    try:
        with netCDF4.Dataset(path, "r") as ds:
            ds.set_auto_mask(False)
            missing = [v for v in ("box_lengths", "dx", "uvel", "vvel", "wvel")
                       if v not in ds.variables]
            if missing:
                raise _core.Error(f"{path} is not a box for an LES inflow: it holds no "
                                  + ", ".join(missing))
            velocity = np.stack([np.asarray(ds.variables[v][:], dtype=np.float32)
                                 for v in ("uvel", "vvel", "wvel")])
            lengths = tuple(float(x) for x in ds.variables["box_lengths"][:])
            dx = tuple(float(x) for x in ds.variables["dx"][:])
            attributes = {k: _attribute(ds.getncattr(k)) for k in ds.ncattrs()}
    except OSError as e:
        raise _core.Error(f"cannot read the NetCDF file {path}: {e}") from None
    if velocity.ndim != 4 or len(lengths) != 3 or len(dx) != 3:
        raise _core.Error(f"{path}: velocities of shape {velocity.shape[1:]}, {len(lengths)} "
                          f"box lengths: not a three-dimensional box")
    return NetcdfBox(velocity, lengths, dx, attributes)


def _attribute(value):
    """A NetCDF attribute as a plain value: a number, a string or a tuple."""
    if isinstance(value, np.ndarray):
        return tuple(value.tolist()) if value.size != 1 else value.reshape(()).item()
    return value.item() if isinstance(value, np.generic) else value


@dataclass
class RunFields:
    """The fields of a run read through its record: fields (component number
    1..3 -> float32 array in the grid's shape, as written: in the record's
    layout), the record, and for a wind-file run the WindFile it was read
    from (its fields then in the classic layout, the mean profile out of u),
    or for a NetCDF run the NetcdfBox (its fields in the classic layout)."""
    record: dict
    fields: dict
    wind_file: Union[WindFile, NetcdfBox, None] = None


def read_run(record_path: Path) -> RunFields:
    """The fields of a vorlan run from its record (<first output>.json):
    each raw file checked against the record's grid and read, or the run's
    .bts, .wnd or NetCDF file decoded back into the box in the classic
    layout."""
    record_path = os.fspath(record_path)
    record = read_record(record_path)
    grid = record["grid"]
    shape = tuple(int(n) for n in grid.get("NPoint", ()))
    folder = os.path.dirname(os.path.abspath(record_path))
    wf = record.get("wind_file")
    if not record["files"] and isinstance(wf, dict):
        path = os.path.join(folder, str(wf.get("path")))
        if wf.get("format") == "netcdf":
            nc = read_netcdf(path)
            if nc.N != shape:
                raise _core.Error(f"{path}: {nc.N} points, the record's grid {shape}")
            return RunFields(record, dict(zip((1, 2, 3), nc.box())), nc)
        w = read_bts(path) if wf.get("format") == "bts" else read_wnd(path)
        if w.velocity.shape[1:] != shape:
            raise _core.Error(f"{path}: {w.velocity.shape[1:]} points, the record's grid {shape}")
        place = record.get("placement") or {}
        profile = profile_of(str(wf.get("profile", "none")), place, w.heights)
        return RunFields(record, dict(zip((1, 2, 3), w.box(profile))), w)
    count = math.prod(shape)
    fields = {}
    for entry in record["files"]:
        path = os.path.join(folder, str(entry.get("path")))
        comp = int(entry.get("component", 0))
        if comp in fields or not 1 <= comp <= 3:
            raise _core.Error(f"{record_path}: component {comp} is listed twice or is not 1..3")
        size = _regular(path)
        if size != 4 * count:
            raise _core.Error(f"{path} holds {size} bytes, the grid needs {4 * count}")
        order = "<f4" if entry.get("byte_order", "little-endian") == "little-endian" else ">f4"
        fields[comp] = np.fromfile(path, dtype=order, count=count).astype(
            np.float32, copy=False).reshape(shape)
    return RunFields(record, fields)


def _positive(value, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)) \
            or not math.isfinite(value) or value <= 0:
        raise _core.Error(f"{what} is {value!r}, not a positive number")
    return float(value)


def profile_of(text: str, placement: dict, heights: np.ndarray) -> np.ndarray:
    """The mean wind of a run's rows at the given heights: its --profile
    (power:ALPHA, log:Z0 or none; the record's wind_file "profile") through
    U at the hub (the record's "placement")."""
    U = _positive(placement.get("wind_speed"), "placement wind_speed")
    hub = _positive(placement.get("hub_height"), "placement hub_height")
    kind, _, value = text.partition(":")
    try:
        if kind == "power":
            return U * (heights / hub) ** float(value)
        if kind == "log":
            z0 = _positive(float(value), "the log profile's Z0")
            return U * np.log(heights / z0) / math.log(hub / z0)
    except ValueError:
        pass
    else:
        if kind == "none":
            return np.full_like(heights, U, dtype=np.float64)
    raise _core.Error(f"unknown mean profile {text!r} in the record")
