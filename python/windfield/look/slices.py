"""The slices of a box, plane or line, drawn to scale: a plane along the wind
cut into rows when it is long, and a cross-section or a histogram beside it."""
import math

from .record import NAMES
from .sheet import LEFT, PLANE_MAX, PLANE_WIDTH, ROW_GAP, ROW_MIN, ROWS_MAX, SIDE_LEFT, \
    SIDE_MIN, SIDE_WIDTH, TITLE, XLABEL

TWO_PI = 2.0 * math.pi


def slice_plan(n1, dx, height_m):
    """How an along-wind slice of n1 points dx apart and height_m high is cut
    into rows drawn to scale: rows of at most ROW_MIN..PLANE_MAX inches within
    PLANE_WIDTH, at most ROWS_MAX of them (then only the start of the slice is
    shown). Returns (rows, points per row, points shown, inches per metre)."""
    length = n1 * dx
    one_row = PLANE_WIDTH * height_m / length  # height in inches at full width
    if one_row >= ROW_MIN:
        return 1, n1, n1, min(PLANE_WIDTH / length, PLANE_MAX / height_m)
    longest = PLANE_WIDTH * height_m / ROW_MIN  # metres per row at the thinnest row
    rows = math.ceil(length / longest)
    if rows <= ROWS_MAX:
        per_row = math.ceil(n1 / rows)
        return rows, per_row, n1, PLANE_WIDTH / (per_row * dx)
    per_row = max(1, int(longest / dx))
    return ROWS_MAX, per_row, ROWS_MAX * per_row, PLANE_WIDTH / (per_row * dx)


def vertical(axis, n, spacing, facts):
    """Coordinates of the n grid rows along a vertical slice axis and its
    label: heights above ground where the record places the grid (model
    axis 3 only), else the grid's own coordinate."""
    import numpy as np

    if axis == 3 and facts["grid_bottom"] is not None:
        return facts["grid_bottom"] + spacing * np.arange(n), "height above ground (m)", True
    return spacing * np.arange(n), axis_label(axis), False


def axis_label(axis):
    return {1: "x (m, along the wind)", 2: "y (m, across)", 3: "z (m, up, from the lowest row)"}[axis]


def cell_extent(x, y, dx, dy):
    """imshow's extent with every value centred on its grid point."""
    return [x[0] - dx / 2, x[-1] + dx / 2, y[0] - dy / 2, y[-1] + dy / 2]


def draw_slices(sheet, top, record, fields, facts, geometry, slices_info):
    """Slices of every component from `top` down; returns the next free top."""
    import numpy as np

    dims, axes_ids, shape, lengths = geometry
    spacing = [lengths[d] / shape[d] for d in range(dims)]
    comps = sorted(fields)
    n1 = shape[0]
    for c in comps:
        f = fields[c]
        name = NAMES[c]
        lim = 3.0 * facts["box_std"][c] or 1.0
        if dims == 1:
            n_show = min(n1, 1024)
            ax = sheet.axes(LEFT, top + TITLE, PLANE_WIDTH, 1.3)
            x = np.arange(n_show) * spacing[0]
            ax.plot(x, f[:n_show], lw=0.6, color="C0")
            ax.set_xlim(0, x[-1])
            ax.set_ylabel(f"{name} (m/s)", fontsize=8)
            ax.set_xlabel(axis_label(axes_ids[0]), fontsize=8)
            ax.tick_params(labelsize=7)
            shown = n_show * spacing[0]
            ax.set_title(f"{name} along the line: x = 0 to {shown:.6g} m "
                         + ("(the whole line)" if n_show == n1 else f"of {lengths[0]:.6g} m"),
                         fontsize=9, loc="left")
            slices_info[name] = {"along_shown_m": shown, "along_length_m": lengths[0], "rows": 1}
            histogram(sheet.axes(SIDE_LEFT, top + TITLE, SIDE_WIDTH, 1.3), f, facts["box_std"][c], name)
            top += TITLE + 1.3 + XLABEL
            continue

        # The plane along the wind: the last grid axis upwards (z for a box),
        # through the middle of the box across the wind.
        plane = f[:, f.shape[1] // 2, :] if dims == 3 else f
        up = axes_ids[-1]
        heights, up_label, above_ground = vertical(up, shape[-1], spacing[-1], facts)
        rows, per_row, n_show, scale = slice_plan(n1, spacing[0], shape[-1] * spacing[-1])
        row_h = shape[-1] * spacing[-1] * scale
        row_w = per_row * spacing[0] * scale
        block_h = rows * row_h + (rows - 1) * ROW_GAP
        where = f" at {axis_label(axes_ids[1]).split()[0]} = {(f.shape[1] // 2) * spacing[1]:.6g} m" \
            if dims == 3 else ""
        shown = n_show * spacing[0]
        extent_text = (f"x = 0 to {shown:.6g} m, the whole {'box' if dims == 3 else 'plane'}"
                       if n_show == n1 else f"x = 0 to {shown:.6g} m of {lengths[0]:.6g} m")
        if rows > 1:
            extent_text += f", in {rows} rows"
        slices_info[name] = {"along_shown_m": shown, "along_length_m": lengths[0], "rows": rows}
        im, hub_shown = None, False
        for r in range(rows):
            i0, i1 = r * per_row, min((r + 1) * per_row, n_show)
            ax = sheet.axes(LEFT, top + TITLE + r * (row_h + ROW_GAP), row_w, row_h,
                            label=f"slice {name} along row {r + 1}")
            x = np.arange(i0, i1) * spacing[0]
            im = ax.imshow(plane[i0:i1].T, origin="lower", cmap="RdBu_r", vmin=-lim, vmax=lim,
                           interpolation="nearest",
                           extent=cell_extent(x, heights, spacing[0], spacing[-1]))
            # Every row spans the same metres, the last one too.
            ax.set_xlim(i0 * spacing[0] - spacing[0] / 2, (i0 + per_row) * spacing[0] - spacing[0] / 2)
            ax.set_aspect("equal")
            hub_shown = mark_hub(ax, facts, above_ground) or hub_shown
            ax.tick_params(labelsize=7)
            if r == rows // 2:
                ax.set_ylabel(up_label.replace(" (", "\n("), fontsize=8)
        ax.set_xlabel(axis_label(axes_ids[0]), fontsize=8)
        sheet.text(LEFT, top + 0.05, f"{name}: plane along the wind{where}, to scale; {extent_text}"
                   + ("; dotted: the hub height" if hub_shown else ""), fontsize=9)
        bar = sheet.axes(LEFT + row_w + 0.12, top + TITLE, 0.12, block_h)
        sheet.fig.colorbar(im, cax=bar).set_label(f"{name} (m/s)", fontsize=8)
        bar.tick_params(labelsize=7)

        side_h = max(block_h, SIDE_MIN)
        if dims == 3:
            across = spacing[1] * np.arange(shape[1])
            side_scale = min(SIDE_WIDTH / lengths[1], side_h / lengths[2])
            w, h = lengths[1] * side_scale, lengths[2] * side_scale
            side = sheet.axes(SIDE_LEFT, top + TITLE, w, h, label=f"slice {name} cross-section")
            side.imshow(f[0].T, origin="lower", cmap="RdBu_r", vmin=-lim, vmax=lim,
                        interpolation="nearest",
                        extent=cell_extent(across, heights, spacing[1], spacing[2]))
            side.set_aspect("equal")
            mark_hub(side, facts, above_ground)
            side.set_xlabel(axis_label(axes_ids[1]), fontsize=8)
            side.set_ylabel(up_label.replace(" (", "\n("), fontsize=8)
            side.set_title(f"{name}: cross-section at x = 0, to scale", fontsize=9)
            side.tick_params(labelsize=7)
        else:
            histogram(sheet.axes(SIDE_LEFT, top + TITLE, SIDE_WIDTH, side_h - 0.2), f,
                      facts["box_std"][c], name)
        top += TITLE + max(block_h, side_h) + XLABEL
    return top


def mark_hub(ax, facts, above_ground):
    """A dotted line at the hub height, where the slice's heights are above
    ground and reach it; True when drawn."""
    hub = facts["hub_height"]
    if not above_ground or hub is None:
        return False
    lo, hi = ax.get_ylim()
    if not lo <= hub <= hi:
        return False
    ax.axhline(hub, color="k", ls=":", lw=0.8)
    return True


def histogram(ax, f, s, name):
    import numpy as np

    ax.hist(f.ravel().astype(np.float64), bins=60, density=True, color="C0", alpha=0.7)
    s = s or 1.0
    g = np.linspace(-4 * s, 4 * s, 200)
    ax.plot(g, np.exp(-0.5 * (g / s) ** 2) / (s * math.sqrt(TWO_PI)), "k-", lw=0.8)
    ax.set_xlabel(f"{name} (m/s)", fontsize=8)
    ax.set_ylabel("probability density (s/m)", fontsize=8)
    ax.set_title(f"{name}: histogram and Gaussian", fontsize=9)
    ax.tick_params(labelsize=7)
