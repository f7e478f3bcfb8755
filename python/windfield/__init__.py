"""Wind fields from Python: the model and its spectra, boxes as numpy arrays,
every file a run writes and reads, the box planner and the fit.

    import windfield as wf
    site = wf.iec("A", 11.4, 90)                 # the model of a source
    F = site.spectra(k1, "uu")                   # corvel's numbers
    box = wf.box("examples/loadbox.inp", threads=2)   # vorlan's bits, in memory
    wf.run("examples/iec.inp", format="bts")     # vorlan's files
    field = wf.read_bts("iec.bts")               # any .bts, TurbSim's too

Every refusal of the programs raises windfield.Error (a ValueError) whose
text is the programs' message; bad argument types and shapes raise TypeError
or ValueError naming the argument. Nothing here ends the interpreter.
"""
from ._core import Error, version
from .model import Site, site, basic, iec, land, sea, terrain
from .box import Box, box, parameter_text, constraints_text
from .files import (run, read_record, read_run, read_bts, read_wnd, read_sum, read_netcdf,
                    read_hub_series, WindFile, NetcdfBox, HubSeries)
from .plan import plan_box, plan_table
from .fit import fit_spectra, fit_series

__version__ = version
__all__ = ["Error", "Site", "site", "basic", "iec", "land", "sea", "terrain", "Box", "box",
           "parameter_text", "constraints_text", "run", "read_record", "read_run", "read_bts",
           "read_wnd", "read_sum", "read_netcdf", "read_hub_series", "WindFile", "NetcdfBox", "HubSeries",
           "plan_box", "plan_table", "fit_spectra", "fit_series"]
