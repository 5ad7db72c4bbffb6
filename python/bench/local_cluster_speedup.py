#!/usr/bin/env python3
"""How a sweep through the default local cluster compares with its points
run one after another: runs every point's stand-in command serially (one
point's time is their mean), then the whole sweep into a fresh output folder
through the default local cluster (one worker per core), and prints the sweep's
time against points x one point's time / cores.

Usage: PYTHONPATH=python python3 python/bench/local_cluster_speedup.py SWEEP.toml
"""
import dataclasses
import os
import subprocess
import sys
import tempfile
import time

from amisweep.grid import expand
from amisweep.runner import prepare, run_sweep
from amisweep.sweep_file import load_sweep


def main(path):
    sweep = load_sweep(path)
    points = prepare(sweep)
    with tempfile.TemporaryDirectory(prefix="amisweep-bench-") as folder:
        times = []
        for point in points:
            started = time.perf_counter()
            subprocess.run(point.command + ["--out", os.path.join(folder, "serial")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
            times.append(time.perf_counter() - started)
        one = sum(times) / len(times)
        fresh = dataclasses.replace(sweep, output=os.path.join(folder, "sweep"))
        started = time.perf_counter()
        outcome = run_sweep(fresh)
        whole = time.perf_counter() - started
        computing = outcome.timings["wall_s"].sum()
    cores = os.cpu_count()
    ideal = len(points) * one / cores
    print(f"{len(points)} points, one point {one:.3f} s (serial, min {min(times):.3f} s, "
          f"max {max(times):.3f} s), {cores} cores: ideal {ideal:.2f} s")
    print(f"sweep through the local cluster: {whole:.2f} s, {whole / ideal:.2f} x the ideal "
          f"(its points' stand-in runs took {computing:.1f} s in all; "
          f"computed {outcome.computed}, load average {os.getloadavg()[0]:.1f})")
    return 0 if len(expand(sweep)) == outcome.computed else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
