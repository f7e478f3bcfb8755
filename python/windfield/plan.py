"""The box for a load simulation, planned as vorlan-plan plans it."""
from __future__ import annotations

from typing import Optional, Sequence

from . import _core


def plan_box(wind_speed: float, hub_height: float, rotor_diameter: float, time: float, *,
             turbulence_class: Optional[str] = None, roughness: Optional[float] = None,
             basic: Optional[Sequence[float]] = None, dt: float = 0.1, margin: float = 0.1,
             output: str = "plan.inp") -> dict:
    """vorlan-plan's arithmetic: the box for a run at wind_speed (m/s) with
    the hub at hub_height (m), a rotor of rotor_diameter (m), time (s)
    simulated at steps of dt or finer, the grid (1 + margin) rotor diameters
    wide. The source: turbulence_class ('A', 'B', 'C' or Iref) for iec, else
    land with roughness (m, default 0.03), or basic = (alphaeps, L, Gamma).

    Returns a dict: N, LMax (as written), spacing, time_step, usable_width,
    usable_height, grid_bottom, grid_top, roughness, memory_bytes, seconds
    (on one core), parameter_text (the file vorlan-plan -o output writes;
    nothing is written here) and description (vorlan-plan's words). A
    refusal raises windfield.Error with vorlan-plan's message."""
    return _core.plan_box(float(wind_speed), float(hub_height), float(rotor_diameter),
                          float(time), turbulence_class,
                          None if roughness is None else float(roughness),
                          None if basic is None else [float(x) for x in basic],
                          float(dt), float(margin), str(output))
