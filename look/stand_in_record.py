#!/usr/bin/python3
"""STAND-IN FOR TESTS ONLY: fabricates a vorlan run record (record_version 1)
from a parameter file and the output files of a real vorlan run, until vorlan
writes its own records. Delete it, and let the tests read vorlan's records,
once it does.

Usage: stand_in_record.py PARAMETER_FILE WORKING_DIRECTORY

Reads only what the look tests use: the sources basic, Kaimal1d and 2D
(no derived sources: their model values come from the C++ source steps).
Writes <first output file>.json beside the first output file and prints its
path.
"""

import json
import os
import sys

import numpy as np


def main(parameter_file, workdir):
    tokens = open(parameter_file, encoding="utf-8").read().split()
    pos = 0

    def take(kind=str):
        nonlocal pos
        pos += 1
        return kind(tokens[pos - 1])

    field_dim, n_comp = take(int), take(int)
    components = [take(int) for _ in range(n_comp)] if n_comp < 3 else [1, 2, 3]
    absent = take(int) if field_dim == 2 else None
    npoint = [take(int) for _ in range(field_dim)]
    lmax = [take(float) for _ in range(field_dim)]
    source = take()
    model = {"alphaeps": None, "L": None, "Gamma": None, "Terrain": False,
             "Roughness": False}
    if source == "basic":
        values = {"alphaeps": take(float), "L": take(float), "Gamma": take(float)}
        model.update(values)
    elif source == "Kaimal1d":
        values = {"ustar": take(float), "z": take(float), "U0": take(float)}
    elif source == "2D":
        values = {"sig2_2D": take(float), "L_2D": take(float)}
    else:
        raise SystemExit(f"stand_in_record: source {source} is not faked")
    seed = take(int)
    fname = [take() for _ in range(n_comp)]
    axes = {1: [1], 2: [a for a in (1, 2, 3) if a != absent], 3: [1, 2, 3]}[field_dim]

    files = []
    for c, name in zip(components, fname):
        data = np.fromfile(os.path.join(workdir, name), dtype="<f4").astype(np.float64)
        files.append({"component": c, "name": "uvw"[c - 1], "file": name, "path": name,
                      "units": "m/s", "value_type": "float32",
                      "byte_order": "little-endian", "count": int(data.size),
                      "mean": float(data.mean()), "std": float(data.std()),
                      "min": float(data.min()), "max": float(data.max())})
    record = {
        "record": "vorlan run record", "record_version": 1, "program": "vorlan",
        "version": "stand-in", "parameter_file": parameter_file,
        "working_directory": os.path.abspath(workdir),
        "input": {"fieldDim": field_dim, "nComp": n_comp, "components": components,
                  "absentDim": absent, "NPoint": npoint, "LMax": lmax,
                  "ParameterSource": source, "source_values": values, "seed": seed,
                  "fname": fname},
        "model": dict(model, seed=seed),
        "grid": {"dimensions": field_dim, "axes": axes, "NPoint": npoint, "LMax": lmax,
                 "spacing": [x / n for x, n in zip(lmax, npoint)],
                 "index_order": "row-major, last index fastest", "layout": "classic"},
        "files": files, "scaling": None, "openfast": None,
    }
    out = os.path.join(workdir, fname[0] + ".json")
    with open(out, "w", encoding="utf-8") as f:
        json.dump(record, f, indent=1)
    print(out)


if __name__ == "__main__":
    main(*sys.argv[1:3])
