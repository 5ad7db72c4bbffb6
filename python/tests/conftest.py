"""What the sweep's tests share: the built stand-in and models (from the
environment CTest sets, else the project's dist/ and build/64), sweep files
written from text, and one local Dask cluster of two workers."""
import os
import sys
import textwrap

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "python"))

from amisweep.sweep_file import load_sweep  # noqa: E402

DIST = os.path.join(ROOT, "dist")
BUILT = {
    "amisim": os.environ.get("AMISWEEP_AMISIM", os.path.join(DIST, "amisim")),
    "tx": os.environ.get("AMISWEEP_TX", os.path.join(DIST, "Halvorin_7314_Tx_64.so")),
    "rx": os.environ.get("AMISWEEP_RX", os.path.join(DIST, "Example_Rx_64.so")),
    "fakes": os.environ.get("AMISWEEP_FAKE_MODELS", os.path.join(
        ROOT, "build", "64", "tools", "amisim", "testing", "fake_models")),
    "channels": os.path.join(ROOT, "python", "examples", "channels"),
    "line_pair": os.path.join(ROOT, "tools", "amisim", "examples", "line_pair.s4p"),
}


@pytest.fixture(scope="session")
def built():
    missing = [path for path in BUILT.values() if not os.path.exists(path)]
    if missing:
        pytest.fail(f"not built: {', '.join(missing)} (cmake --build build/64 --target amisim "
                    "halvorin_tx example_rx vendor_getwave_fails)")
    return dict(BUILT)


@pytest.fixture
def write_sweep(tmp_path, built):
    """Writes a sweep file from text (with {tx}, {rx}, {fakes}, {channels},
    {line_pair} filled in) and returns its path."""
    def write(text, name="sweep.toml"):
        path = tmp_path / name
        path.write_text(textwrap.dedent(text).format(**built))
        return str(path)
    return write


@pytest.fixture
def sweep_of(write_sweep, built):
    def load(text):
        return load_sweep(write_sweep(text), built["amisim"])
    return load


@pytest.fixture(scope="session")
def cluster():
    from dask.distributed import Client, LocalCluster
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address="127.0.0.1:0") as local, Client(local) as client:
        yield local, client


SMALL_SWEEP = """
[sweep]
name = "small"
[tx]
model = "{tx}"
[tx.parameters]
TX_Corner = [0, 1]
TX_Preemph = [0, 1]
[rx]
model = "{rx}"
[[channels]]
files = "channels/*.s2p"
[[channels]]
builtin = true
[settings]
bits = 4000
"""


@pytest.fixture(scope="session")
def small_sweep(tmp_path_factory, built, cluster):
    """A sweep of 8 points (2 corners, pre-emphasis off and on, a line and
    the built-in channel) through the test cluster: its file and outcome."""
    import shutil
    from amisweep.runner import run_sweep
    folder = tmp_path_factory.mktemp("small")
    (folder / "channels").mkdir()
    shutil.copy(f"{built['channels']}/line_short.s2p", folder / "channels" / "line.s2p")
    path = folder / "small.toml"
    path.write_text(SMALL_SWEEP.format(**built))
    sweep = load_sweep(str(path), built["amisim"])
    return sweep, run_sweep(sweep, client=cluster[1])
