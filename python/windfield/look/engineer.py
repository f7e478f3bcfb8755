"""The load engineer's page: the wind at the hub over frequency as InflowWind
returns it against the model and IEC's Kaimal spectra, the co-coherence of u
across the wind against the model's and IEC's exponential model, and the
hub's standard deviations against IEC's targets, flagged beyond one box's
random spread."""
import math

from .record import NAMES, block, finite, grid_of, optional_number, site_facts
from .sheet import LEFT, PAGE_WIDTH, TITLE, XLABEL
from .spectra import TENSOR_MODEL, TWO_PI, bands, model_grid, module_site


# IEC 61400-1's Kaimal spectra: integral scales L_k = KAIMAL_SCALES[k] Lambda_1
# of u, v, w, and the exponential coherence model's decay, its length factor
# and L_c = COHERENCE_SCALE Lambda_1.
KAIMAL_SCALES = (8.1, 2.7, 0.66)
COHERENCE_DECAY, COHERENCE_LENGTH_FACTOR, COHERENCE_SCALE = 12.0, 0.12, 8.1
# Band means of the estimates over frequency, per decade.
ENGINEER_BANDS = 8
# A hub's standard deviation is flagged beyond this many standard errors of
# one series (see hub_spread).
FLAG_ERRORS = 2.0


def iec_lambda1(hub_height):
    """IEC's longitudinal scale parameter Lambda_1 (m) at a hub height."""
    return 0.7 * hub_height if hub_height <= 60 else 42.0


def iec_kaimal(f, sigma, k, v_hub, lambda1):
    """IEC's one-sided Kaimal spectrum of component k (0 u, 1 v, 2 w), m^2/s:
        S_k(f) = 4 sigma_k^2 (L_k / V) / (1 + 6 f L_k / V)^(5/3)."""
    scale = KAIMAL_SCALES[k] * lambda1 / v_hub
    return 4 * sigma * sigma * scale / (1 + 6 * f * scale) ** (5.0 / 3.0)


def iec_coherence(r, f, v_hub, lambda1):
    """IEC's exponential coherence model of u, r metres apart across the wind."""
    import numpy as np

    lc = COHERENCE_SCALE * lambda1
    return np.exp(-COHERENCE_DECAY * np.sqrt((f * r / v_hub) ** 2
                                             + (COHERENCE_LENGTH_FACTOR * r / lc) ** 2))


def hub_spread(k, v_hub, lambda1, period):
    """The relative standard error of one series' standard deviation over
    period seconds, for a process whose integral time scale is that of IEC's
    Kaimal spectrum, T_k = L_k / V (S(0) = 4 sigma^2 T_k): the variance of a
    sample variance is about 2 T_k / T of the variance squared, so the
    standard deviation's relative error is sqrt(T_k / (2 T))."""
    return math.sqrt(KAIMAL_SCALES[k] * lambda1 / v_hub / (2.0 * period))


def hub_weights(record, shape):
    """The four grid points around the hub as InflowWind weights them: (j, k,
    weight) of the two middle columns and the rows k0, k0 + 1 below and above
    the hub (the hub's own row alone when it is on one), or None."""
    place = block(record, "placement")
    bottom = optional_number(place.get("grid_bottom"))
    hub = optional_number(place.get("hub_height"))
    if bottom is None or hub is None:
        return None
    n2, n3 = shape[1], shape[2]
    dz = record["grid"]["spacing"][2]
    rows = (hub - bottom) / dz
    k0 = min(max(int(math.floor(rows + 1e-9)), 0), n3 - 2)
    wz = min(max(rows - k0, 0.0), 1.0)
    j0 = n2 // 2 - 1
    return [(j, k, 0.5 * w) for j in (j0, j0 + 1) for k, w in ((k0, 1 - wz), (k0 + 1, wz))]


def one_sided(series, dt):
    """One-sided periodogram of a real series at f_m = m / (N dt), m = 1 ..
    N/2 - 1: S(f_m) = 2 |X_m|^2 dt / N, whose sum times 1/(N dt) is the
    series' variance (less the Nyquist mode)."""
    import numpy as np

    n = series.size
    x = np.fft.rfft(series - series.mean())[1:n // 2]
    f = np.arange(1, n // 2) / (n * dt)
    return f, 2.0 * np.abs(x) ** 2 * dt / n


def box_coherence(u, m, dt):
    """The box's co-coherence of u between points m columns apart across the
    wind, over every such pair and row: Re sum X_a X_b* / sqrt(sum |X_a|^2
    sum |X_b|^2) in bands of frequency (ENGINEER_BANDS per decade)."""
    import numpy as np

    n1 = u.shape[0]
    x = np.fft.rfft(u - u.mean(axis=0), axis=0)[1:n1 // 2]
    a, b = x[:, :-m, :], x[:, m:, :]
    cross = (a * np.conj(b)).real.reshape(a.shape[0], -1).sum(axis=1)
    pa = (np.abs(a) ** 2).reshape(a.shape[0], -1).sum(axis=1)
    pb = (np.abs(b) ** 2).reshape(b.shape[0], -1).sum(axis=1)
    f = np.arange(1, n1 // 2) / (n1 * dt)
    edges = np.floor(np.log10(f) * ENGINEER_BANDS)
    out_f, out_c = [], []
    for e in np.unique(edges):
        sel = edges == e
        out_f.append(math.exp(np.mean(np.log(f[sel]))))
        out_c.append(float(cross[sel].sum() / math.sqrt(pa[sel].sum() * pb[sel].sum())))
    return np.asarray(out_f), np.asarray(out_c)


def engineer_view(record, fields, model):
    """What a load engineer checks of a box placed for InflowWind, or None for
    a field that is no box of u, v and w with a wind speed and a hub height:
    the hub series' spectra, the coherence of u and the hub's flags."""
    import numpy as np

    dims, _, shape, lengths = grid_of(record, "the record")
    place = block(record, "placement")
    speed = optional_number(place.get("wind_speed"))
    hub_height = optional_number(place.get("hub_height"))
    weights = hub_weights(record, shape) if dims == 3 else None
    if weights is None or speed is None or sorted(fields) != [1, 2, 3]:
        return None
    dt = lengths[0] / shape[0] / speed
    period = shape[0] * dt
    lambda1 = iec_lambda1(hub_height)
    facts = site_facts(record, fields)
    hub = {}
    for c in (1, 2, 3):
        series = sum(w * fields[c][:, j, k].astype(np.float64) for j, k, w in weights)
        f, psd = one_sided(series, dt)
        banded_f, banded = bands(f, psd, ENGINEER_BANDS)
        hub[c] = {"f": f, "psd": psd, "band_f": banded_f, "band_psd": banded,
                  "std": float(series.std())}
    # The model's one-sided spectrum over frequency: S(f) = 2 F(k1) 2 pi / U.
    k_model, f_model = model[0], model[1]
    model_psd = {c: (np.asarray(k_model) * speed / TWO_PI,
                     2.0 * np.asarray(f_model[(c, c)]) * TWO_PI / speed)
                 for c in (1, 2, 3) if (c, c) in f_model}
    iec = None
    if facts["target"] and record["input"].get("ParameterSource") == "iec":
        iec = {c: iec_kaimal(hub[c]["f"], facts["target"][c], c - 1, speed, lambda1) for c in (1, 2, 3)}
    # Coherence of u at a quarter and half the grid's width.
    dy = lengths[1] / shape[1]
    coherence = []
    site = module_site(record) if model[3].startswith(TENSOR_MODEL) else None
    for m in (shape[1] // 4, shape[1] // 2):
        if m < 1 or m >= shape[1]:
            continue
        r = m * dy
        f_box, c_box = box_coherence(fields[1], m, dt)
        entry = {"separation": r, "f": f_box, "box": c_box,
                 "iec": iec_coherence(r, f_box, speed, lambda1)}
        if site is not None:
            # The model's co-coherence: the co-spectrum over the one-point
            # spectrum (corvel's xspec, from the module).
            k = model_grid(TWO_PI * f_box[0] / speed, TWO_PI * f_box[-1] / speed)
            cross = site.cross_spectra(k, (r, 0.0), "uu")
            entry["model_f"] = k.astype(float) * speed / TWO_PI
            entry["model"] = np.where(cross[:, 0] > 0, cross[:, 2] / np.where(cross[:, 0] > 0, cross[:, 0], 1.0), 0.0)
        coherence.append(entry)
    # The hub's standard deviations against IEC's targets, flagged beyond
    # FLAG_ERRORS standard errors of one series.
    flags = []
    for c in (1, 2, 3):
        target = (facts["target"] or {}).get(c)
        spread = FLAG_ERRORS * hub_spread(c - 1, speed, lambda1, period)
        ratio = hub[c]["std"] / target if target else None
        flags.append({"component": NAMES[c], "hub_std": hub[c]["std"], "target": target,
                      "ratio": ratio, "spread": spread,
                      "flagged": ratio is not None and abs(ratio - 1) > spread})
    return {"speed": speed, "hub_height": hub_height, "dt": dt, "period": period,
            "lambda1": lambda1, "weights": weights, "hub": hub, "model_psd": model_psd,
            "iec_psd": iec, "coherence": coherence, "flags": flags, "scaled": facts["scaled"]}


def engineer_numbers(view):
    """The view's numbers for OUT.spectra.json (None without a view)."""
    if view is None:
        return None
    return {
        "note": "one-sided spectra in m^2/s over f in Hz of the wind at the hub (the bilinear "
                "mean of the four grid points around it, weights in hub_points); co-coherence of "
                "u across the wind; flags where the hub's std lies beyond spread (relative) of "
                "the target",
        "dt": view["dt"], "period": view["period"], "Lambda_1": view["lambda1"],
        "hub_points": [[j, k, w] for j, k, w in view["weights"]],
        "hub_psd": {NAMES[c]: {"f": finite(h["band_f"]), "box": finite(h["band_psd"]),
                               "iec": finite(iec_kaimal(h["band_f"], view["flags"][c - 1]["target"],
                                                        c - 1, view["speed"], view["lambda1"]))
                               if view["iec_psd"] else None}
                    for c, h in view["hub"].items()},
        "coherence": [{"separation": e["separation"], "f": finite(e["f"]), "box": finite(e["box"]),
                       "iec": finite(e["iec"]),
                       "model_f": finite(e["model_f"]) if "model_f" in e else None,
                       "model": finite(e["model"]) if "model" in e else None}
                      for e in view["coherence"]],
        "flags": view["flags"],
    }


ENGINEER_HEIGHT = 2.4


def draw_engineer(sheet, top, view):
    """The load engineer's panels and notes from `top` down; the next free top."""
    import numpy as np

    sheet.text(LEFT, top + 0.05, f"For the load engineer: the wind at the hub ({view['hub_height']:g} m) "
               f"as InflowWind returns it, over frequency; {view['period']:g} s at dt = {view['dt']:.4g} s "
               f"(Nyquist {0.5 / view['dt']:.4g} Hz)", fontsize=10)
    top += 0.35
    panels = 4
    width = (PAGE_WIDTH - LEFT - 0.3 - 0.6 * (panels - 1)) / panels
    for n, c in enumerate((1, 2, 3)):
        ax = sheet.axes(LEFT + n * (width + 0.6), top + TITLE, width, ENGINEER_HEIGHT,
                        label=f"hub psd {NAMES[c]}")
        h = view["hub"][c]
        ok = h["band_psd"] > 0
        ax.loglog(h["band_f"][ok], h["band_psd"][ok], "o-", ms=3, lw=1, color="C0",
                  label="box at the hub, band means")
        if c in view["model_psd"]:
            f_m, s_m = view["model_psd"][c]
            good = s_m > 0
            ax.loglog(f_m[good], s_m[good], "-", color="C3", lw=1.5, label="model")
        if view["iec_psd"]:
            ax.loglog(h["f"], view["iec_psd"][c], "--", color="k", lw=1.0, label="IEC Kaimal")
        ax.set_title(f"{NAMES[c]} at the hub: one-sided spectrum", fontsize=9)
        ax.set_xlabel("f (Hz)", fontsize=8)
        if n == 0:
            ax.set_ylabel("S(f) (m^2/s)", fontsize=8)
            ax.legend(fontsize=7, loc="lower left")
        ax.tick_params(labelsize=7)
        ax.grid(True, which="major", lw=0.3)
    ax = sheet.axes(LEFT + 3 * (width + 0.6), top + TITLE, width, ENGINEER_HEIGHT,
                    label="coherence u")
    for n, e in enumerate(view["coherence"]):
        colour = f"C{n}"
        ax.semilogx(e["f"], e["box"], "o", ms=3, color=colour, label=f"box, {e['separation']:.3g} m")
        if "model" in e:
            ax.semilogx(e["model_f"], e["model"], "-", color=colour, lw=1.2, label="model")
        ax.semilogx(e["f"], e["iec"], "--", color=colour, lw=1.0, label="IEC exponential")
    ax.axhline(0, color="0.6", lw=0.5)
    ax.set_ylim(-0.4, 1.05)
    ax.set_title("u co-coherence across the wind", fontsize=9)
    ax.set_xlabel("f (Hz)", fontsize=8)
    ax.legend(fontsize=6, loc="upper right")
    ax.tick_params(labelsize=7)
    ax.grid(True, which="major", lw=0.3)
    top += TITLE + ENGINEER_HEIGHT + XLABEL

    notes = ["Why the hub differs from the target: the figures are one box's, at the four grid points "
             "around the hub (InflowWind's bilinear reading), one sample of "
             f"{view['period']:g} s of the largest eddies.",
             "From box to box a hub std scatters by about sqrt(T_k / (2 T)) of itself (T_k = L_k / V_hub, "
             "the integral time scale of IEC's Kaimal spectrum; T the box's time); flagged: beyond "
             f"{FLAG_ERRORS:g} of these.",
             "--scale iec brings the whole box to the targets, not the hub." if view["scaled"] else
             "The box as a whole averages over many more points and scatters less."]
    colours = ["black"] * len(notes)
    for flag in view["flags"]:
        if flag["ratio"] is None:
            continue
        text = (f"{flag['component']}: std of the hub's series {flag['hub_std']:.4g} m/s, "
                f"{flag['ratio']:.3f} of IEC's {flag['target']:.4g} m/s; spread {FLAG_ERRORS:g} x "
                f"{100 * flag['spread'] / FLAG_ERRORS:.1f} % = {100 * flag['spread']:.1f} %")
        if flag["flagged"]:
            text = "FLAGGED " + text + ": further off than one box's spread"
        notes.append(text)
        colours.append("C3" if flag["flagged"] else "black")
    for text, colour in zip(notes, colours):
        sheet.text(LEFT, top, text, fontsize=8, color=colour)
        top += 0.18
    return top + 0.2
