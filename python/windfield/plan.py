"""The box for a load simulation, and a load-case table, planned as
vorlan-plan plans them."""
from __future__ import annotations

from typing import Optional, Sequence

from . import _core


def _request(wind_speed, hub_height, rotor_diameter, time, turbulence_class, roughness, basic,
             dt, margin, hub_on_row, output) -> dict:
    return {"wind_speed": float(wind_speed), "hub_height": float(hub_height),
            "rotor_diameter": float(rotor_diameter), "time": float(time),
            "turbulence_class": turbulence_class,
            "roughness": None if roughness is None else float(roughness),
            "basic": None if basic is None else [float(x) for x in basic],
            "dt": float(dt), "margin": float(margin), "hub_on_row": bool(hub_on_row),
            "output": str(output)}


def plan_box(wind_speed: float, hub_height: float, rotor_diameter: float, time: float, *,
             turbulence_class: Optional[str] = None, roughness: Optional[float] = None,
             basic: Optional[Sequence[float]] = None, dt: float = 0.1, margin: float = 0.1,
             hub_on_row: bool = False, output: str = "plan.inp") -> dict:
    """vorlan-plan's arithmetic: the box for a run at wind_speed (m/s) with
    the hub at hub_height (m), a rotor of rotor_diameter (m), time (s)
    simulated at steps of dt or finer, the grid (1 + margin) rotor diameters
    wide. The source: turbulence_class ('A', 'B', 'C' or Iref) for iec, else
    land with roughness (m, default 0.03), or basic = (alphaeps, L, Gamma).
    hub_on_row: a grid with row N/2 at the hub (vorlan --hub-on-row).

    Returns a dict: N, LMax (as written), spacing, time_step, usable_width,
    usable_height, grid_bottom, grid_top, roughness, memory_bytes, seconds
    (on one core), parameter_text (the file vorlan-plan -o output writes;
    nothing is written here) and description (vorlan-plan's words). A
    refusal raises windfield.Error with vorlan-plan's message."""
    return _core.plan_box(_request(wind_speed, hub_height, rotor_diameter, time,
                                   turbulence_class, roughness, basic, dt, margin, hub_on_row,
                                   output))


def plan_table(speeds: Sequence[float], seeds: Sequence[int], hub_height: float,
               rotor_diameter: float, time: float, *, turbulence_class: Optional[str] = None,
               roughness: Optional[float] = None, basic: Optional[Sequence[float]] = None,
               dt: float = 0.1, margin: float = 0.1, hub_on_row: bool = False,
               folder: str = "table") -> dict:
    """vorlan-plan --speeds ... --seeds ... --table FOLDER, without writing:
    one plan per wind speed (as plan_box), one row per speed and seed.

    Returns a dict: plans (one plan_box dict per speed, in the order given),
    rows (name 'v<V>_s<|seed|>', plan (index into plans), wind_speed, seed,
    parameter_text: the row's box.inp), options (the vorlan options every row
    needs, as words, e.g. ' --hub-on-row') and description (vorlan-plan's
    summary, FOLDER/plan.txt). A refusal (a speed or seed listed twice, a
    speed the planner refuses) raises windfield.Error with vorlan-plan's
    message."""
    request = _request(speeds[0] if len(speeds) else 0.0, hub_height, rotor_diameter, time,
                       turbulence_class, roughness, basic, dt, margin, hub_on_row, "plan.inp")
    return _core.plan_table(request, [float(v) for v in speeds], [int(s) for s in seeds],
                            str(folder))
