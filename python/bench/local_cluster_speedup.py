#!/usr/bin/env python3
"""How a sweep through the default local cluster compares with its points
run one after another: runs every point's stand-in command serially (one
point's time is their mean), then the whole sweep as a person runs it
(python3 -m amisweep, into a fresh output folder: Python's start, the local
cluster's start and stop, the table and the page included), and prints its
time against points x one point's time / cores.

Usage: PYTHONPATH=python python3 python/bench/local_cluster_speedup.py SWEEP.toml
"""
import os
import subprocess
import sys
import tempfile
import time

import pandas as pd

from amisweep.runner import prepare
from amisweep.sweep_file import load_sweep


def main(path):
    sweep = load_sweep(path)
    points = prepare(sweep)
    cores = os.cpu_count()
    with tempfile.TemporaryDirectory(prefix="amisweep-bench-") as folder:
        times = []
        for point in points:
            started = time.perf_counter()
            subprocess.run(point.command + ["--out", os.path.join(folder, "serial")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            times.append(time.perf_counter() - started)
        output = os.path.join(folder, "sweep")
        started = time.perf_counter()
        subprocess.run([sys.executable, "-m", "amisweep", path, "--output", output,
                        "--no-progress"], stdout=subprocess.DEVNULL, check=True)
        whole = time.perf_counter() - started
        in_sweep = pd.read_csv(os.path.join(output, "timings.csv"))["wall_s"].sum()
    one = sum(times) / len(times)
    ideal = len(points) * one / cores
    print(f"{len(points)} points, one point {one:.3f} s (serial; {min(times):.3f} to "
          f"{max(times):.3f} s), {cores} cores: points x one point / cores = {ideal:.2f} s")
    print(f"the sweep: {whole:.2f} s = {whole / ideal:.2f} x that; its points took "
          f"{in_sweep:.1f} s in all on the workers ({in_sweep / len(points):.3f} s each), "
          f"so {whole - in_sweep / cores:.2f} s went to all else; "
          f"load average {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main(sys.argv[1])
