"""The installed package: version and metadata, typing marker, docstrings,
`python3 -m keld` as the keld command, sweeps on threads, and the Dask example."""
import importlib.metadata
import os
import pathlib
import re
import subprocess
import sys

import numpy as np
import pytest

import keld
from conftest import EXAMPLES

SOURCE = EXAMPLES.parent
CASE = str(EXAMPLES / "polystyrene-toluene.json")


def cmake_version():
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(keld VERSION ([0-9.]+)", text).group(1)


def run_module(*args, env=None):
    return subprocess.run([sys.executable, "-m", "keld", *args], capture_output=True, text=True,
                          env={**os.environ, **(env or {})}, timeout=300)


def test_version_and_metadata_come_from_the_build():
    assert keld.__version__ == cmake_version()
    if os.environ.get("KELD_INSTALLED") != "1":
        pytest.skip("metadata exists for an installed package only")
    assert importlib.metadata.version("keld") == keld.__version__
    meta = importlib.metadata.metadata("keld")
    assert meta["License"] == "MIT"
    # the suite must test the installed package, not the sources or a build tree
    assert pathlib.Path(keld.__file__).parent.parent.name in ("site-packages", "dist-packages")


def test_typed_package_with_documented_units_and_defaults():
    assert (pathlib.Path(keld.__file__).parent / "py.typed").exists()
    doc = keld.Case.properties.__doc__
    for needed in ("(K)", "(Pa)", "J/kmol", "m3/kmol", "J/(kmol K)", '["liquid"]', '["pcsaft"]', "[1]"):
        assert needed in doc, needed
    assert keld.Case.properties_many.__annotations__["return"] is keld.Results or \
        keld.Case.properties_many.__annotations__["return"] == "Results"
    assert "workers [1]" in keld.Case.properties_many.__doc__


def test_module_runs_the_keld_command():
    version = run_module("--version")
    assert version.returncode == 0 and re.match(r"keld \d", version.stdout)
    bad = run_module("sweep", "--T", "300:200", CASE)
    assert bad.returncode == 1 and "FROM:TO:COUNT" in bad.stderr
    table = run_module("eval", "--csv", CASE)
    assert table.returncode == 0 and table.stdout.startswith("state,")
    assert table.stdout.count("\n") == 1 + len(keld.Case.load(CASE).states)


@pytest.mark.parametrize("grid", ["--T=260:460:900", "--P=1e3:5e7:900"])
def test_sweep_on_threads_prints_the_serial_rows(grid):
    serial = run_module("sweep", grid, CASE)
    parallel = run_module("sweep", grid, "--jobs", "2", CASE)
    assert serial.returncode == parallel.returncode and serial.returncode in (0, 2)
    assert parallel.stdout == serial.stdout and serial.stdout.count("\n") == 1 + 900 * len(keld.Case.load(CASE).states)


def test_sweep_bad_jobs_and_plot_options():
    for args, message in ((["--jobs", "0"], "--jobs"), (["--jobs", "x"], "--jobs"),
                          (["--property", "V"], "--plot"), (["--plot", "a.png", "--property", "U"], "--property"),
                          (["--plot", "a.png", "--property", "lnphi:WATER"], "does not list")):
        r = run_module("sweep", "--T", "300:400:3", *args, CASE)
        assert r.returncode == 1 and message in r.stderr, (args, r.stderr)


def test_sweep_plot_and_progress(tmp_path):
    matplotlib = pytest.importorskip("matplotlib")
    png = tmp_path / "v.png"
    r = run_module("sweep", "--T", "280:420:60000", "--state", "1", "--jobs", "2", "--plot", str(png),
                   "--property", "lnphi:TOLUENE", CASE, env={"KELD_PROGRESS": "now", "MPLBACKEND": "Agg"})
    assert r.returncode == 0, r.stderr
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
    assert "sweep [" in r.stderr and "60000/60000" in r.stderr  # the bar, ended at the total
    assert matplotlib


def test_dask_example_matches_a_serial_run():
    pytest.importorskip("dask")
    distributed = pytest.importorskip("distributed")
    sys.path.insert(0, str(EXAMPLES))  # here only: the workers get the example's functions with the tasks
    try:
        import dask_grid
    finally:
        sys.path.remove(str(EXAMPLES))
    T, P, z = dask_grid.liquid_grid(3000)
    case_json = pathlib.Path(CASE).read_text()
    options = dict(model="pcsaft", flags={"V": 1, "H": 3, "ln_phi": 1})
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        spread = dask_grid.properties_on_cluster(client, case_json, T, P, z, chunk=700, **options)
    serial = keld.Case.from_json(case_json).properties_many(T=T, P=P, z=z, **options)
    assert len(spread) == 3000 and np.array_equal(spread.T, T)
    assert spread.to_csv() == serial.to_csv()
