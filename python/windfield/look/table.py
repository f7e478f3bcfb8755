"""The standard-deviation table: the box against the model, IEC's targets and
the hub's figures where the record has them."""
import math

from .record import NAMES, percent
from .sheet import LEFT, PAGE_WIDTH


def table_rows(comps, facts, var_model):
    """The standard-deviation table: header and one row per component, with
    the IEC target and the hub's figures where the record has them."""
    header = ["component", "box std (m/s)", "model std (m/s)", "box / model"]
    if facts["target"]:
        header += ["IEC target std (m/s)", "box / target"]
    speed = facts["wind_speed"]
    if speed:
        header += ["box TI"]
    hub = facts["hub"]
    if hub:
        header += ["hub std (m/s)", "hub TI", "hub TI target"]
    rows = []
    for c in comps:
        s_box = facts["box_std"][c]
        v = var_model.get((c, c))
        s_mod = math.sqrt(v) if v is not None and v > 0 else None
        row = [NAMES[c], f"{s_box:.4g}", f"{s_mod:.4g}" if s_mod else "-",
               f"{s_box / s_mod:.3f}" if s_mod else "-"]
        if facts["target"]:
            t = facts["target"].get(c)
            row += [f"{t:.4g}" if t else "-", f"{s_box / t:.3f}" if t else "-"]
        if speed:
            row += [percent(s_box / speed)]
        if hub:
            h = hub["rows"].get(c, {})
            row += [f"{h['std']:.4g}" if h.get("std") is not None else "-",
                    percent(h["TI"]) if h.get("TI") is not None else "-",
                    percent(h["TI_target"]) if h.get("TI_target") is not None else "-"]
        rows.append(row)
    return header, rows


def draw_table(sheet, top, comps, facts, model):
    _, _, var_model, model_name = model
    header, rows = table_rows(comps, facts, var_model)
    height = 0.25 * (len(rows) + 1)
    width = min(PAGE_WIDTH - LEFT - 0.3, 1.05 * len(header))
    ax = sheet.axes(LEFT, top + 0.1, width, height)
    ax.axis("off")
    # Cells fill the axes: their heights follow the axes when the page's
    # height is settled.
    table = ax.table(cellText=rows, colLabels=header, bbox=[0, 0, 1, 1], cellLoc="center")
    table.auto_set_font_size(False)
    table.set_fontsize(8)
    table.auto_set_column_width(list(range(len(header))))
    notes = ["The box holds only the wave numbers from 2\u03c0/L to \u03c0N/L along each axis, so its "
             "variance should come out below the model's (ratio below 1, most for length scales long",
             "against the box), within one box's random spread."
             + ((" IEC's targets: sigma_1, 0.8 sigma_1 and 0.5 sigma_1 for u, v and w; "
                 + ("the field was scaled to them over the whole box (--scale iec), so box / target "
                    "is 1 by construction." if facts["scaled"] else
                    "the field itself is not rescaled (the record's scaling factors, or --scale iec, "
                    "do that).")) if facts["target"] else ""),
             f"Model: {model_name}. Band means: 10 bands per decade."
             + (f" TI: std / {facts['wind_speed']:g} m/s." if facts["wind_speed"] else "")]
    if facts["hub"]:
        hub = facts["hub"]
        notes.append(f"At the hub ({hub['height']:g} m" if hub["height"] is not None else "At the hub (")
        notes[-1] += f", {hub['points']})." if hub["points"] else ")."
    top += 0.1 + height + 0.15
    sheet.text(LEFT, top, "\n".join(notes), fontsize=8)
    return top + 0.16 * len(notes) + 0.2
