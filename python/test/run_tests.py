"""Runs the Python module's tests with pytest; exit status 77 (skipped) when
pytest is missing (tools/install-prerequisites.sh pymodule installs it)."""
import sys

try:
    import pytest
except ImportError:
    print("python3-pytest is not installed: the Python module's tests are skipped")
    sys.exit(77)

sys.exit(pytest.main(["-p", "no:cacheprovider", *sys.argv[1:]]))
