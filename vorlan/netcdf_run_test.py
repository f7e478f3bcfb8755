#!/usr/bin/env python3
"""vorlan --format netcdf read back as an LES user reads it: ncdump -h shows
the dimensions, variables and attributes the reader needs, and Python's
netCDF4 gives arrays equal, bit for bit, to the raw box of the same run in the
order a fixed point sees it convected downwind.

Environment: VORLAN (the program). Exits 77 (skipped) where python3-netcdf4,
numpy or ncdump are missing, or the build has no NetCDF.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

try:
    import numpy as np
    import netCDF4
except ImportError as e:
    print(f"skipped: {e}")
    sys.exit(77)

VORLAN = os.environ["VORLAN"]
NCDUMP = shutil.which("ncdump")
if NCDUMP is None:
    print("skipped: ncdump (netcdf-bin) is not installed")
    sys.exit(77)

# An iec box: 32 planes, 8 x 4 across and up, unequal spacings.
INPUT = "3\n3\n32 8 4\n2736 124 62\niec\nB 9.5 80\n-11\nbu.bin bv.bin bw.bin\n"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def run(folder, *args):
    r = subprocess.run([VORLAN, "in.inp", *args], cwd=folder, capture_output=True, text=True)
    return r


with tempfile.TemporaryDirectory() as top:
    raw, nc = os.path.join(top, "raw"), os.path.join(top, "nc")
    for d in (raw, nc):
        os.mkdir(d)
        with open(os.path.join(d, "in.inp"), "w") as f:
            f.write(INPUT)
    r = run(nc, "--format", "netcdf", "--scale", "iec")
    if "has no NetCDF library" in r.stderr:
        print("skipped: this build has no NetCDF")
        sys.exit(77)
    check(r.returncode == 0, f"vorlan --format netcdf: {r.stderr[-400:]}")
    check(run(raw, "--scale", "iec").returncode == 0, "vorlan raw")
    check(sorted(os.listdir(nc)) == ["b.nc", "bu.bin.json", "bu.bin.summary.txt", "in.inp"],
          f"the netcdf run writes the .nc, the record and the run summary only: {sorted(os.listdir(nc))}")
    path = os.path.join(nc, "b.nc")

    # ncdump -h: what the reader opens, and the attributes for people.
    header = subprocess.run([NCDUMP, "-h", path], capture_output=True, text=True).stdout
    for line in ["ndim = 3 ;", "nx = 32 ;", "ny = 8 ;", "nz = 4 ;",
                 "double box_lengths(ndim) ;", "double dx(ndim) ;",
                 "float uvel(nx, ny, nz) ;", "float vvel(nx, ny, nz) ;",
                 "float wvel(nx, ny, nz) ;", 'uvel:units = "m s-1" ;',
                 'box_lengths:units = "m" ;', ":seed = -11 ;",
                 ':random_stream = "classic" ;', ':parameter_source = "iec" ;']:
        check(line in header, f"ncdump -h shows '{line}'")

    # The arrays: file plane n is the box's plane (N1 - n) mod N1.
    ds = netCDF4.Dataset(path)
    check(ds.file_format == "NETCDF4", f"NetCDF-4 (HDF5): {ds.file_format}")
    n1, n2, n3 = 32, 8, 4
    check(list(ds["box_lengths"][:]) == [2736.0, 124.0, 62.0], "box_lengths are LMax")
    check(list(ds["dx"][:]) == [2736.0 / 32, 124.0 / 8, 62.0 / 4], "dx are LMax / N")
    order = [(n1 - n) % n1 for n in range(n1)]
    for name, f in (("uvel", "bu.bin"), ("vvel", "bv.bin"), ("wvel", "bw.bin")):
        box = np.fromfile(os.path.join(raw, f), dtype="<f4").reshape(n1, n2, n3)
        var = ds[name]
        check(var.dtype == np.float32, f"{name} is float32")
        values = var[:].data if hasattr(var[:], "data") else var[:]
        check(np.array_equal(values.view(np.uint32), box[order].view(np.uint32)),
              f"{name} equals the raw box in the convected order, bit for bit")
        check(var.units == "m s-1" and "perturbation" in var.long_name, f"{name} attributes")

    # The record's statistics and key figures are the file's attributes.
    with open(os.path.join(nc, "bu.bin.json")) as f:
        record = json.load(f)
    wind = record["wind_file"]
    check(wind["format"] == "netcdf" and wind["file"] == "b.nc", "the record names the file")
    check(wind["les"]["turbulence_file"] == os.path.realpath(path)
          or wind["les"]["turbulence_file"] == os.path.abspath(path),
          f"les.turbulence_file is the absolute path: {wind['les']['turbulence_file']}")
    check(abs(wind["les"]["centre_height"] - ds.centre_height) < 1e-12, "centre height")
    check(record["openfast"] is None, "no InflowWind block for a NetCDF file")
    std = [c["std"] for c in wind["components"]]
    check(np.allclose(std, ds.std_uvw, rtol=0, atol=0), f"std_uvw {ds.std_uvw} is the record's {std}")
    check(np.allclose(ds.iec_scaling_factors_uvw, record["scaling"]["factors"], rtol=0, atol=0),
          "the scaling factors")
    check(ds.wind_speed == 9.5 and ds.hub_height == 80.0, "wind speed and hub height")
    ds.close()

if failures:
    print(f"{len(failures)} checks failed")
    sys.exit(1)
print("netcdf read back: passed")
