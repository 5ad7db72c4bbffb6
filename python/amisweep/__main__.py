"""amisweep SWEEP.toml: runs a sweep of the stand-in over models' settings
and channels, on a local Dask cluster or a running Dask scheduler."""
import argparse
import dataclasses
import os
import sys

from .engine import Engine
from .stand_in import StandInError
from .sweep_file import SweepFileError, load_sweep


def arguments(argv):
    parser = argparse.ArgumentParser(
        prog="amisweep", description="Runs a sweep of the stand-in over models' settings and "
        "channels, on a local Dask cluster or a running Dask scheduler.",
        epilog="Exit status: 0 when every point ran or was recorded as failed, 1 when the "
               "engine could not run some points, 2 on mistakes in the sweep file.")
    parser.add_argument("sweep", help="the sweep file (TOML)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="a running Dask scheduler, e.g. tcp://head-node:8786 (default: a "
                            "local cluster, one worker process per core)")
    where.add_argument("--scheduler-file", metavar="FILE",
                       help="the file a dask-scheduler wrote its address to (--scheduler-file)")
    where.add_argument("--workers", type=int, metavar="N",
                       help="worker processes of the local cluster (default: the cores)")
    parser.add_argument("--amisim", metavar="PROGRAM", help="the stand-in (default: the sweep "
                        "file's [sweep] amisim, $AMISIM, or the project's dist/amisim)")
    parser.add_argument("--output", metavar="FOLDER", help="the output folder (default: the "
                        "sweep file's [sweep] output, or NAME-out beside the file)")
    parser.add_argument("--retry-failed", action="store_true",
                        help="run again the points recorded as failed")
    parser.add_argument("--check", action="store_true",
                        help="check the sweep file and count its points; run nothing")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar")
    return parser.parse_args(argv)


def progress_bar(enabled):
    if not enabled:
        return None, lambda: None
    from tqdm import tqdm
    bars = []

    def update(done, total):
        if not bars:
            bars.append(tqdm(total=total, initial=done, unit="point", file=sys.stderr,
                             dynamic_ncols=True))
        bars[0].update(done - bars[0].n)

    def close():
        if bars:
            bars[0].close()
    return update, close


def main(argv=None):
    options = arguments(sys.argv[1:] if argv is None else argv)
    try:
        sweep = load_sweep(options.sweep, options.amisim)
        if options.output:
            sweep = dataclasses.replace(sweep, output=os.path.abspath(options.output))
        if options.check:
            from .grid import expand
            print(f"{options.sweep}: {len(expand(sweep))} points over {len(sweep.channels)} "
                  "channels")
            return 0
        # The cluster starts while the rest is imported and the sweep prepared.
        with Engine(options.scheduler, options.scheduler_file, options.workers) as engine:
            return report(sweep, run(sweep, engine, options))
    except (SweepFileError, StandInError) as error:
        print(error, file=sys.stderr)
        return 2
    except (OSError, TimeoutError) as error:
        print(f"amisweep: the Dask scheduler: {error}", file=sys.stderr)
        return 1


def run(sweep, engine, options):
    # Here rather than above: the local cluster's worker processes import
    # this module again, and need none of what runs the sweep.
    from .runner import run_sweep
    update, close = progress_bar(not options.no_progress)
    try:
        return run_sweep(sweep, engine=engine, retry_failed=options.retry_failed,
                         progress=update)
    finally:
        close()


def report(sweep, outcome):
    print(f"{len(outcome.table)} points: {outcome.computed} computed, {outcome.cached} from the "
          f"cache; {outcome.failed} failed" + (f", {outcome.errors} not run" if outcome.errors
                                                else ""))
    if outcome.best is not None:
        print(f"best per channel by {outcome.rank_column} ({sweep.goal}):")
        print(outcome.best.to_string(index=False))
    else:
        print(f"no point has a figure to rank by ({', '.join(sweep.rank_by)})")
    for path in outcome.files:
        shown = os.path.relpath(path)
        print(f"wrote {path if shown.startswith('..') else shown}")
    return 1 if outcome.errors else 0


if __name__ == "__main__":
    sys.exit(main())
