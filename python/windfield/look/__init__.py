"""vorlan-look's pages: a one-page quick look at a vorlan run, read from its
run record through the module's readers. The pages are modules of their own:
record (what is read), slices, spectra, table (the standard deviations
against the model and IEC's targets), engineer (the load engineer's view),
fit (a corvel-fit result); this module
puts them on one page and writes it.

Usage: vorlan-look RECORD.json [-o OUT.png] [--corvel PATH] [--raw]
       vorlan-look FIT.json [-o OUT.png]

The page shows
  * slices of each velocity component, drawn to scale (equal metres per inch
    on both axes): a plane along the wind, cut into rows when it is long, and
    a cross-section (3-D boxes), the whole plane (2-D fields) or a stretch of
    the line (1-D fields); each title says which stretch is shown. Where the
    record places the grid above ground, the vertical axis is the height
    above ground and the hub height is marked;
  * the one-point spectra along the wind of the box, averaged over the other
    directions, against the model: F11, F22, F33 and the uw co-spectrum,
    two-sided in k1, on log axes (the co-spectrum as -F13, which is positive
    for sheared turbulence), as means over bands of wave numbers (--raw adds
    every wave number's own estimate, lightly);
  * each component's standard deviation against the model's and, for the iec
    source, against IEC's targets, with the turbulence intensities and the
    figures at the hub when the record has them;
  * for a box whose record places it (a wind speed and a hub height), the load
    engineer's view: the one-sided spectrum over frequency (Hz) of the wind
    InflowWind returns at the hub (the bilinear mean of the four grid points
    around it) against the model and, for the iec source, IEC's Kaimal
    spectra of the class; the co-coherence of u across the wind at a quarter
    and half the grid's width over frequency, the box's own estimate against
    the model's and IEC's exponential model; and the hub's standard
    deviations against IEC's targets, flagged where they lie further off than
    one box's random spread (stated on the page), with why they differ.

The model comes from the module's Site (corvel's spec and sigma2, the same
library) for the sheared tensor model, from the closed-form Kaimal spectra for a Kaimal1d line and from the closed
form of the isotropic two-dimensional tensor for a 2D plane.

Beside the picture it writes OUT.spectra.json with every number it showed.
Both appear under their names only when complete (each is written to a
temporary file in the same folder and renamed).

Given the JSON result of corvel-fit (--json) instead of a run record, it
draws that fit: k1 F11, k1 F22, k1 F33 and -k1 F13 on log axes, the measured
band values (bands left out of the fit hollow) against the fitted model, with
the parameters, their standard errors and the variances (fit_page).

Exit status 0 with the picture's path on standard output; 1 with a one-line
message on standard error for anything that went wrong (a missing or
inconsistent record or field file, a failing corvel, a picture that cannot
be written).
"""
import argparse
import json
import math
import os
import sys
import tempfile
import warnings

from .. import _core
from .engineer import (box_coherence, draw_engineer, engineer_numbers, engineer_view, iec_kaimal,
                       one_sided)
from .fit import fit_page
from .record import (FIT_KIND, NAMES, LookError, finite, grid_of, load_fields, load_record,
                     one_line, site_facts, title_lines)
from .sheet import PAGE_WIDTH, Sheet
from .slices import draw_slices
from .spectra import TWO_PI, box_spectra, draw_spectra, interpolate_loglog, model_for

__all__ = ["main", "look", "page", "load_record", "load_fields", "box_spectra", "model_for",
           "engineer_view", "one_sided", "box_coherence", "iec_kaimal", "fit_page", "LookError"]
from .table import draw_table



def page(record, fields, k_box, box, model, raw=False, engineer=None):
    """The whole page as a matplotlib figure, and what its slices show; the
    load engineer's view (engineer_view) at the bottom when given."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    geometry = grid_of(record, "the record")
    dims, _, shape, lengths = geometry
    facts = site_facts(record, fields)
    comps = sorted(fields)
    heading = title_lines(record, facts, lengths)

    # Blocks stacked from the top.
    fig = plt.figure(figsize=(PAGE_WIDTH, 10), dpi=100)
    sheet = Sheet(fig)
    top = 0.25
    for n, (text, colour) in enumerate(heading):
        sheet.text(PAGE_WIDTH / 2, top, text, fontsize=11 if n == 0 else 9,
                   ha="center", color=colour)
        top += 0.3 if n == 0 else 0.22
    top += 0.15
    info = {}
    top = draw_slices(sheet, top, record, fields, facts, geometry, info)
    top = draw_spectra(sheet, top, record, geometry, k_box, box, model, raw)
    top = draw_table(sheet, top, comps, facts, model)
    if engineer is not None:
        top = draw_engineer(sheet, top, engineer)
    sheet.finish(top)
    return fig, facts, info


# ----------------------------------------------------------------------------
# A corvel-fit result


def picture_format(path):
    """The picture's format from its extension (PNG without one)."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg

    ext = os.path.splitext(path)[1][1:].lower()
    if not ext:
        return "png"
    if ext not in FigureCanvasAgg.get_supported_filetypes():
        raise LookError(f"{path}: cannot write pictures of type .{ext} "
                        f"(use .png, .pdf or .svg)")
    return ext


def write_outputs(outputs):
    """Writes [(path, writer)] each to a temporary file in the path's own
    folder and renames them all once every one is complete; on any failure
    removes the temporaries and leaves what was there as it was."""
    temporaries = []
    mask = os.umask(0)
    os.umask(mask)
    try:
        for path, writer in outputs:
            if os.path.lexists(path) and not os.path.isfile(path):
                raise LookError(f"cannot write {path}: it exists and is not a regular file")
            # Through a symbolic link to the file it names.
            folder = os.path.dirname(os.path.realpath(path))
            try:
                fd, tmp = tempfile.mkstemp(dir=folder, prefix=f".{os.path.basename(path)}.",
                                           suffix=".part")
            except OSError as e:
                raise LookError(f"cannot write {path}: {e.strerror}")
            temporaries.append(tmp)
            try:
                with os.fdopen(fd, "wb") as f:
                    writer(f)
                os.chmod(tmp, 0o666 & ~mask)
            except OSError as e:
                raise LookError(f"cannot write {path}: {e.strerror or e}")
        for (path, _), tmp in zip(outputs, temporaries):
            try:
                os.replace(tmp, os.path.realpath(path))
            except OSError as e:
                raise LookError(f"cannot write {path}: {e.strerror}")
        temporaries = []
    finally:
        for tmp in temporaries:
            try:
                os.unlink(tmp)
            except OSError:
                pass


# ----------------------------------------------------------------------------
# The command


def main(argv):
    """vorlan-look's command: argv without the program's name; returns the
    exit status."""
    parser = argparse.ArgumentParser(
        prog="vorlan-look",
        description="One-page quick look at a vorlan run: slices to scale, spectra along "
                    "the wind against the model, standard deviations against the model's "
                    "and IEC's targets.")
    parser.add_argument("record", help="the run record (<first output file>.json)")
    parser.add_argument("-o", "--output", help="the picture, PNG unless its extension "
                        "says .pdf or .svg (default: RECORD without .json, plus .look.png)")
    parser.add_argument("--corvel", help="accepted for older command lines and not used: "
                        "the model's spectra come from the windfield module")
    parser.add_argument("--raw", action="store_true", help="draw every wave number's "
                        "spectral estimate as well as the band means")
    args = parser.parse_args(argv)

    try:
        import numpy as np  # noqa: F401
        import matplotlib  # noqa: F401
    except ImportError as e:
        print(f"vorlan-look: needs python3-numpy and python3-matplotlib ({e})", file=sys.stderr)
        return 1
    # numpy's floating-point warnings (a log of a zero model value, say) are
    # no failures of the run; a value that is no number ends the run below
    # with its one line, when the numbers are written out.
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)
        return look(args)


def look(args):

    try:
        out_png = args.output or (args.record[:-5] if args.record.endswith(".json")
                                  else args.record) + ".look.png"
        stem = os.path.splitext(out_png)[0] if os.path.splitext(out_png)[1] else out_png
        spectra_path = stem + ".spectra.json"
        folder = os.path.dirname(out_png) or "."
        if not os.path.isdir(folder):
            raise LookError(f"cannot write {out_png}: " + (f"{folder} is not a folder"
                            if os.path.exists(folder) else f"no folder {folder}"))
        fmt = picture_format(out_png)
        record = load_record(args.record)
        if record.get("record") == FIT_KIND:
            fig = fit_page(record, args.record)
            write_outputs([(out_png, lambda f: fig.savefig(f, format=fmt))])
            sys.stdout.buffer.write(os.fsencode(out_png) + b"\n")
            sys.stdout.buffer.flush()
            return 0
        fields = load_fields(record, args.record)
        lengths = grid_of(record, args.record)[3]
        comps = sorted(fields)
        k_box, box = box_spectra(fields, lengths)
        model = model_for(record, comps, k_box)
        k_model, f_model, var_model, model_name = model
        engineer = engineer_view(record, fields, model)
        fig, facts, slices = page(record, fields, k_box, box, model, raw=args.raw,
                                  engineer=engineer)

        numbers = {
            "record": os.path.abspath(args.record),
            "model_source": model_name,
            "delta_k1": TWO_PI / lengths[0],
            "note": "two-sided spectra in m^3/s^2; box at k1 = m delta_k1, "
                    "m = 1..N1/2; model_at_box interpolated in log-log",
            "k1": finite(k_box),
            "box": {f"{i}{j}": finite(box[(i, j)]) for i, j in box},
            "model_at_box": {f"{i}{j}": finite(interpolate_loglog(k_model, f_model[(i, j)], k_box))
                             for i, j in f_model},
            "model_k1": finite(k_model),
            "model": {f"{i}{j}": finite(f_model[(i, j)]) for i, j in f_model},
            "std": {NAMES[c]: {"box": facts["box_std"][c],
                               "model": math.sqrt(var_model[(c, c)])
                               if var_model.get((c, c), 0) > 0 else None,
                               "target": (facts["target"] or {}).get(c)}
                    for c in comps},
            "model_variance": {f"{i}{j}": v for (i, j), v in var_model.items()},
            "wind_speed": facts["wind_speed"],
            "TI": {NAMES[c]: facts["box_std"][c] / facts["wind_speed"] for c in comps}
            if facts["wind_speed"] else None,
            "iec": facts["iec"],
            "hub": {**facts["hub"], "rows": {NAMES[c]: r for c, r in facts["hub"]["rows"].items()}}
            if facts["hub"] else None,
            "grid_bottom": facts["grid_bottom"],
            "slices": slices,
            "engineer": engineer_numbers(engineer),
        }
        try:
            text = json.dumps(numbers, indent=1, allow_nan=False).encode("utf-8")
        except ValueError:
            raise LookError(f"{args.record}: the spectra or statistics came out as no number "
                            f"(NaN or infinity): the fields or the model are out of range")
        write_outputs([(out_png, lambda f: fig.savefig(f, format=fmt)),
                       (spectra_path, lambda f: f.write(text))])
    except (LookError, _core.Error) as e:
        print(f"vorlan-look: {one_line(e)}", file=sys.stderr)
        return 1
    except MemoryError:
        print(f"vorlan-look: {args.record}: not enough memory for its fields", file=sys.stderr)
        return 1
    except OSError as e:
        print(f"vorlan-look: {one_line(e)}", file=sys.stderr)
        return 1
    except (KeyError, TypeError, ValueError, AttributeError, IndexError) as e:
        print(f"vorlan-look: {args.record}: malformed run record "
              f"({type(e).__name__}: {one_line(e)})", file=sys.stderr)
        return 1
    except Exception as e:  # noqa: BLE001 - still one line and status 1
        print(f"vorlan-look: {args.record}: unexpected failure "
              f"({type(e).__name__}: {one_line(e)})", file=sys.stderr)
        return 1
    # The path as its bytes, which need not be text in the terminal's encoding.
    sys.stdout.flush()
    sys.stdout.buffer.write(os.fsencode(out_png) + b"\n")
    sys.stdout.buffer.flush()
    return 0



if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
