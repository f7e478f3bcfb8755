"""What vorlan-look reads: a run record (or a corvel-fit result), the fields
of its run, checked against the record's grid and the memory available, and
what the record says of the site (placement, hub, IEC targets)."""
import math
import os
import stat

FIT_KIND = "corvel-fit result"
NAMES = {1: "u", 2: "v", 3: "w"}
# Grid sizes vorlan writes: powers of two from 2 to 2^31 points per axis.
MAX_POINTS = 1 << 31
# Bytes per grid point while the page is made: the float32 fields, a
# double copy of one of them, two complex transforms along the wind (half the
# points each, 16 bytes a value), their product and a real temporary.
BYTES_PER_POINT_FIXED = 40
BYTES_PER_POINT_PER_COMPONENT = 4


class LookError(Exception):
    """A problem with the record, its files or the output: one line for the user."""


def one_line(text):
    return " ".join(str(text).split())


# ----------------------------------------------------------------------------
# The record and its files

def load_record(path):
    """A run record, or a corvel-fit result (FIT_KIND), through the module's
    reader (windfield.read_record)."""
    from .. import files

    return files.read_record(path, also=(FIT_KIND,))


def integer(value, what, lo, hi):
    """An integer from the record (a JSON integer, or a float with an integral
    value), checked against lo..hi."""
    if isinstance(value, bool) or not isinstance(value, (int, float)) \
            or not math.isfinite(value) or value != int(value):
        raise LookError(f"{what} is {value!r}, not an integer")
    if not lo <= int(value) <= hi:
        raise LookError(f"{what} is {int(value)}, not from {lo} to {hi}")
    return int(value)


def positive(value, what):
    """A positive finite number from the record."""
    if isinstance(value, bool) or not isinstance(value, (int, float)) \
            or not math.isfinite(value) or value <= 0:
        raise LookError(f"{what} is {value!r}, not a positive number")
    return float(value)


def optional_number(value):
    """A finite number, or None for null, absent or anything else."""
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
        return None
    return float(value)


def grid_of(record, record_path):
    """Dimensions, model axes, points and lengths of the record's grid,
    checked: what the fields' sizes and the page rest on."""
    grid = record["grid"]
    where = f"{record_path}: grid"
    dims = integer(grid.get("dimensions"), f"{where} dimensions", 1, 3)
    npoint, lmax, axes = grid.get("NPoint"), grid.get("LMax"), grid.get("axes")
    if not all(isinstance(a, list) and len(a) == dims for a in (npoint, lmax, axes)):
        raise LookError(f"{where}: dimensions, axes, NPoint and LMax disagree")
    shape = tuple(integer(n, f"{where} NPoint", 2, MAX_POINTS) for n in npoint)
    lengths = [positive(x, f"{where} LMax") for x in lmax]
    axes = [integer(a, f"{where} axes", 1, 3) for a in axes]
    if len(set(axes)) != dims:
        raise LookError(f"{where} axes {axes} repeat an axis")
    return dims, axes, shape, lengths


def memory_available():
    """Bytes of memory available to a new allocation, or None when unknown."""
    try:
        with open("/proc/meminfo", encoding="ascii") as f:
            for line in f:
                if line.startswith("MemAvailable:"):
                    return int(line.split()[1]) * 1024
    except (OSError, ValueError, IndexError):
        pass
    return None


def load_wind_file(record, record_path, shape):
    """The box of a .bts, .wnd or NetCDF run, read by the module's readers
    (as InflowWind, or an LES code, reads the file) and turned back into the
    classic orientation with the mean profile taken out of u."""
    import numpy as np

    from .. import files

    wf = record["wind_file"]
    fmt = wf.get("format")
    if fmt not in ("bts", "wnd", "netcdf") or not isinstance(wf.get("path"), str):
        raise LookError(f"{record_path}: the wind file block names no .bts, .wnd or NetCDF file")
    path = os.path.join(os.path.dirname(os.path.abspath(record_path)), wf["path"])
    if fmt == "netcdf":
        box = files.read_netcdf(path)
        if box.N != tuple(shape):
            raise LookError(f"{path}: {box.N} points, the record's grid {tuple(shape)}")
        return dict(zip((1, 2, 3), box.box()))
    w = files.read_bts(path) if fmt == "bts" else files.read_wnd(path)
    if w.velocity.shape[1:] != tuple(shape):
        raise LookError(f"{path}: {w.velocity.shape[1:]} points, the record's grid {tuple(shape)}")
    bottom = optional_number(block(record, "placement").get("grid_bottom"))
    heights = bottom + record["grid"]["spacing"][2] * np.arange(shape[2])
    profile = files.profile_of(str(wf.get("profile", "none")), block(record, "placement"),
                                 heights)
    return dict(zip((1, 2, 3), w.box(profile)))


def load_fields(record, record_path):
    """The components as float32 arrays indexed along the grid axes, in the
    classic orientation, keyed by component number 1..3. Reads exactly the
    values the record's grid holds from each file, after checking that every
    file has that size and that the page fits in the memory available; a run
    that wrote a .bts or .wnd file instead is decoded from it."""
    import numpy as np

    dims, axes, shape, _ = grid_of(record, record_path)
    count = math.prod(shape)
    folder = os.path.dirname(os.path.abspath(record_path))
    entries = record["files"]
    if not entries and isinstance(record.get("wind_file"), dict) and dims == 3:
        return load_wind_file(record, record_path, shape)
    if not isinstance(entries, list) or not entries:
        raise LookError(f"{record_path}: the record lists no output files")
    paths = {}
    for entry in entries:
        if not isinstance(entry, dict):
            raise LookError(f"{record_path}: an entry of \"files\" is not an object")
        comp = integer(entry.get("component"), f"{record_path}: a file's component", 1, 3)
        if comp in paths:
            raise LookError(f"{record_path}: component {comp} is listed twice")
        if not isinstance(entry.get("path"), str):
            raise LookError(f"{record_path}: the file of component {comp} has no path")
        path = os.path.join(folder, entry["path"])
        if entry.get("value_type", "float32") != "float32":
            raise LookError(f"{path}: value type {entry['value_type']} is not float32")
        if "count" in entry and integer(entry["count"], f"{path}: count", 0, 1 << 62) != count:
            raise LookError(f"{path}: the record says {entry['count']} values, "
                            f"the grid {count}")
        try:
            info = os.stat(path)
        except OSError:
            raise LookError(f"missing output file {path}")
        if not stat.S_ISREG(info.st_mode):
            raise LookError(f"{path} is not a regular file")
        if info.st_size != 4 * count:
            raise LookError(f"{path} holds {info.st_size} bytes, the grid needs {4 * count}")
        paths[comp] = (path, entry)
    n_comp = record["input"].get("nComp")
    if n_comp is not None and n_comp != len(paths):
        raise LookError(f"{record_path}: nComp is {n_comp} but {len(paths)} "
                        f"different components are listed")

    need = count * (BYTES_PER_POINT_FIXED + BYTES_PER_POINT_PER_COMPONENT * len(paths))
    available = memory_available()
    if available is not None and need > available:
        raise LookError(f"{record_path}: the fields ({count} points x {len(paths)} components) "
                        f"need about {need / 2**30:.1f} GiB of memory, "
                        f"{available / 2**30:.1f} GiB are available")
    fields = {}
    for comp, (path, entry) in sorted(paths.items()):
        byte_order = entry.get("byte_order", "little-endian")
        if byte_order not in ("little-endian", "big-endian"):
            raise LookError(f"{path}: byte order {byte_order!r} is not little-endian or big-endian")
        order = "<f4" if byte_order == "little-endian" else ">f4"
        try:
            data = np.fromfile(path, dtype=order, count=count)
        except OSError as e:
            raise LookError(f"cannot read {path}: {e}")
        if data.size != count:
            raise LookError(f"{path} ended after {data.size} of its {count} values")
        if not np.isfinite(data).all():
            raise LookError(f"{path} holds values that are not numbers (NaN or infinity)")
        data = data.astype(np.float32, copy=False).reshape(shape)
        if record["grid"].get("layout", "classic") == "inflowwind":
            # Written reversed along axes 1 and 2 (and perhaps shifted, which
            # periodic statistics do not see): turn it back for the slices.
            for d, axis in enumerate(axes):
                if axis in (1, 2):
                    data = np.flip(data, axis=d)
        fields[comp] = data
    return fields


def std(field):
    import numpy as np
    return float(np.std(field, dtype=np.float64))


def block(record, key):
    value = record.get(key)
    return value if isinstance(value, dict) else {}


def numbers_list(value, n):
    """n finite numbers from a record list, or None."""
    if not isinstance(value, list) or len(value) != n:
        return None
    out = [optional_number(v) for v in value]
    return None if any(v is None for v in out) else out


def site_facts(record, fields):
    """Wind speed, heights, IEC targets and hub figures the record has (each
    None when it has not), and the box's own standard deviations."""
    comps = sorted(fields)
    placement, hub, scaling = block(record, "placement"), block(record, "hub"), block(record, "scaling")
    values = record["input"].get("source_values") or {}
    iec = record["input"].get("ParameterSource") == "iec"
    facts = {
        "box_std": {c: std(fields[c]) for c in comps},
        "grid_bottom": optional_number(placement.get("grid_bottom")),
        "hub_height": optional_number(placement.get("hub_height")),
        "wind_speed": optional_number(placement.get("wind_speed")),
        "warning": placement.get("warning") if isinstance(placement.get("warning"), str) else None,
        "target": None, "hub": None, "iec": None,
        "scaled": scaling.get("applied") is True,
    }
    if iec:
        facts["iec"] = {
            "category": values.get("category") if isinstance(values.get("category"), str) else None,
            "Iref": optional_number(values.get("Iref")),
            "V_hub": optional_number(values.get("V_hub")),
            "z_hub": optional_number(values.get("z_hub")),
            "sigma_1": optional_number(scaling.get("sigma_1")),
        }
        facts["wind_speed"] = facts["wind_speed"] or facts["iec"]["V_hub"]
        facts["hub_height"] = facts["hub_height"] or facts["iec"]["z_hub"]
    # IEC's target standard deviation of each component, in the order of
    # scaling.components (or of the hub block's components).
    for source in (scaling, hub):
        targets = source.get("sigma_target")
        listed = source.get("components")
        if isinstance(listed, list) and isinstance(targets, list) and len(listed) == len(targets):
            pairs = {c: optional_number(t) for c, t in zip(listed, targets)
                     if isinstance(c, int) and c in fields}
            if pairs and all(v is not None for v in pairs.values()):
                facts["target"] = pairs
                break
    listed = hub.get("components")
    if isinstance(listed, list) and listed:
        n = len(listed)
        figures = {key: numbers_list(hub.get(key), n) for key in ("std", "TI", "TI_target")}
        if figures["std"] is not None or figures["TI"] is not None:
            facts["hub"] = {
                "height": optional_number(hub.get("height")),
                "points": hub.get("points") if isinstance(hub.get("points"), str) else None,
                "rows": {c: {key: (figures[key][i] if figures[key] else None) for key in figures}
                         for i, c in enumerate(listed) if isinstance(c, int) and c in fields},
            }
            facts["hub_height"] = facts["hub_height"] or facts["hub"]["height"]
    return facts


def shown(name):
    """A file name for the page: bytes that are not UTF-8 (read from the record
    as surrogate escapes) drawn as the replacement character."""
    return os.fsencode(name).decode("utf-8", "replace")


def percent(x):
    return f"{100 * x:.1f} %"


def looked_at(record):
    """The name of the file the page shows: the .bts or .wnd of a wind-file
    run, else the first field file."""
    wind_file = record.get("wind_file")
    if isinstance(wind_file, dict) and isinstance(wind_file.get("path"), str):
        return os.path.basename(wind_file["path"])
    files = record.get("files") or []
    if files and isinstance(files[0], dict) and isinstance(files[0].get("file"), str):
        return os.path.basename(files[0]["file"])
    return "?"


def title_lines(record, facts, lengths):
    """The page's heading: the run, then what the record says about the site
    (IEC class and targets, the grid's place above ground)."""
    inp, grid = record["input"], record["grid"]
    lines = [(f"{shown(looked_at(record))} (from {shown(os.path.basename(str(record.get('parameter_file', ''))))}): "
              f"{inp.get('ParameterSource')}, grid {' x '.join(str(n) for n in grid['NPoint'])} "
              f"over {' x '.join(f'{x:g}' for x in lengths)} m, seed {inp.get('seed')}", "black")]
    u_std = facts["box_std"].get(1)
    iec = facts["iec"]
    if iec:
        cls = f"category {iec['category']} (Iref {iec['Iref']:g})" if iec["category"] \
            else f"Iref {iec['Iref']:g}" if iec["Iref"] is not None else "unknown category"
        text = f"IEC 61400-1 {cls}, V_hub {iec['V_hub']:g} m/s, z_hub {iec['z_hub']:g} m"
        if iec["sigma_1"] is not None and iec["V_hub"]:
            text += (f"; target TI = sigma_1/V_hub = {iec['sigma_1']:.4g}/{iec['V_hub']:g}"
                     f" = {percent(iec['sigma_1'] / iec['V_hub'])}")
        if u_std is not None and iec["V_hub"]:
            text += f"; box u TI = {u_std:.4g}/{iec['V_hub']:g} = {percent(u_std / iec['V_hub'])}"
        hub = facts["hub"]
        if hub and hub["rows"].get(1, {}).get("TI") is not None:
            text += f"; at the hub {percent(hub['rows'][1]['TI'])}"
        lines.append((text, "black"))
    elif facts["wind_speed"] and u_std is not None:
        lines.append((f"Mean wind {facts['wind_speed']:g} m/s: box u TI = "
                      f"{percent(u_std / facts['wind_speed'])}", "black"))
    bottom = facts["grid_bottom"]
    if bottom is not None and 3 in [int(a) for a in grid["axes"]]:
        d = [int(a) for a in grid["axes"]].index(3)
        top = bottom + (int(grid["NPoint"][d]) - 1) * lengths[d] / int(grid["NPoint"][d])
        text = f"Grid rows from {bottom:.4g} m to {top:.4g} m above ground"
        if facts["hub_height"] is not None:
            text += f", hub at {facts['hub_height']:.4g} m"
        lines.append((text, "black"))
    if facts["warning"]:
        lines.append(("Placement: " + one_line(facts["warning"]), "C3"))
    return lines


def finite(values):
    """A list of floats for JSON, with null where a value is not a number
    (model values outside the model's wave-number range)."""
    return [float(v) if math.isfinite(v) else None for v in map(float, values)]
