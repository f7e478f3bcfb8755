"""What the Python module's tests share: the programs to compare against
(VORLAN, VORLAN_PLAN, CORVEL, CORVEL_FIT from CTest), the repository's
examples, and a fresh folder per test as the current directory."""
import os
import subprocess

import pytest

SOURCE = os.environ.get("WIND_SOURCE_DIR",
                        os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))

# A small iec box: quick, three components, a source with U and a hub height.
IEC_BOX = "3\n3\n64 16 8\n128 60 40\niec\nA 11.4 90\n-7\nb_u.bin\nb_v.bin\nb_w.bin\n"


def program(name):
    path = os.environ.get(name.upper().replace("-", "_"))
    if not path:
        pytest.skip(f"{name} is not given (run through CTest)")
    return path


def run_program(name, *args, check=True):
    """Runs a program; returns (status, stdout, stderr)."""
    p = subprocess.run([program(name), *map(str, args)], capture_output=True, text=True)
    if check and p.returncode != 0:
        raise AssertionError(f"{name} failed: {p.stderr}")
    return p.returncode, p.stdout, p.stderr


def fatal_message(stderr):
    """The middle line of the three-line fatal report."""
    lines = stderr.strip().splitlines()
    assert lines[-1] == "...now exiting to system...", stderr
    return lines[-2]


def example(name):
    return os.path.join(SOURCE, "examples", name)


@pytest.fixture(autouse=True)
def in_fresh_folder(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    return tmp_path
