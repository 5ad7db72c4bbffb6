"""A sweep from its file to its table and summary page: the points that the
cache lacks go to the engine, the rest are read back, and the whole comes out
as results.csv, timings.csv and summary.html in the sweep's output folder.
"""
import os
import shutil
from dataclasses import dataclass

from .engine import Engine, compute
from .grid import expand, make_point
from .point import load_record
from .stand_in import StandInError, probe
from .sweep_file import DEFAULT_RANK_BY, Channel, SweepFileError
from .summary_page import write_summary
from .table import best_per_channel, flatten, rank_column, rows, write_tables

PROBE_BITS = "512"


@dataclass
class Outcome:
    table: object  # pandas DataFrame, one row per point
    timings: object
    best: object  # the best point per channel, or None without a ranking figure
    rank_column: str
    computed: int
    cached: int
    failed: int
    errors: int
    files: list


def _probe_command(sweep, channel):
    """The first point's command line with few bits: a short run that tells
    the stand-in's version and the figures a point will have."""
    first = make_point(sweep, 0, channel, {a.column: a.values[0] for a in sweep.axes})
    command = list(first.command[1:])
    if "--bits" in command:
        command[command.index("--bits") + 1] = PROBE_BITS
    else:
        command[-1:-1] = ["--bits", PROBE_BITS]
    return command


def check_rank_by(sweep, figures):
    """Names the sweep file's line when none of its figures to rank by is
    among the figures the stand-in reports."""
    if sweep.rank_by == DEFAULT_RANK_BY or any(f in figures for f in sweep.rank_by):
        return
    known = ", ".join(sorted(f for f, v in figures.items() if not f.startswith(("inputs.", "run."))
                             and isinstance(v, (int, float)) and not isinstance(v, bool)))
    raise SweepFileError([f"{sweep.path}:{sweep.line_of(('report', 'rank_by'))}: the results "
                          f"have no figure {' or '.join(sweep.rank_by)} (they have: {known})"])


def prepare(sweep):
    """The sweep's points, after a short trial run of the stand-in on the
    first point. Settings or models it refuses as bad input (even over its
    built-in channel) stop the sweep before it starts; a channel it refuses
    fails that channel's points only."""
    trial = probe(sweep.stand_in, _probe_command(sweep, sweep.channels[0]))
    if trial.status == 2 and sweep.channels[0].file:
        built_in = probe(sweep.stand_in, _probe_command(sweep, Channel("built-in", None)))
        trial = trial if built_in.status == 2 else built_in
    if trial.status == 2:
        raise StandInError(f"{sweep.path}: the stand-in refuses the sweep's first point as bad "
                           f"input: {trial.stderr}")
    if trial.results is None:
        probe(sweep.stand_in, ["--bits", PROBE_BITS])  # its version, from its own model
    elif trial.results.get("complete"):
        check_rank_by(sweep, flatten(trial.results))
    return expand(sweep)


def _remove_interrupted_runs(output):
    """The folders of runs whose worker died before they were complete."""
    folder = os.path.join(output, "points")
    for name in os.listdir(folder) if os.path.isdir(folder) else []:
        if ".run-" in name:
            shutil.rmtree(os.path.join(folder, name), ignore_errors=True)


def run_sweep(sweep, client=None, engine=None, retry_failed=False, progress=None):
    """Runs the points the cache lacks on the client's cluster (else the
    engine's, else a local cluster's), and writes the tables and the page.
    progress(done, total) is called as points come in."""
    points = prepare(sweep)
    os.makedirs(sweep.output, exist_ok=True)
    records, pending = {}, {}
    for point in points:
        if point.key in records or point.key in pending:
            continue
        record = load_record(point.folder(sweep.output))
        if record is not None and retry_failed and record["status"] != "ok":
            shutil.rmtree(point.folder(sweep.output))
            record = None
        if record is None:
            pending[point.key] = {"key": point.key, "command": point.command,
                                  "folder": point.folder(sweep.output),
                                  "time_limit_s": sweep.time_limit_s}
        else:
            record["computed"] = False
            records[point.key] = record
    total = len(records) + len(pending)
    if progress:
        progress(len(records), total)
    fresh = {}

    def collect(record):
        fresh[record["key"]] = record
        if progress:
            progress(len(records) + len(fresh), total)

    if pending:
        jobs = list(pending.values())
        if client is None and engine is None:
            with Engine() as own:
                compute(own.client, jobs, sweep.retries, collect)
        else:
            compute(client or engine.client, jobs, sweep.retries, collect)
        records.update(fresh)
    _remove_interrupted_runs(sweep.output)
    table, timings = rows(sweep, points, records)
    column = rank_column(sweep, table)
    best = best_per_channel(sweep, table, column) if column else None
    unique = list(records.values())
    outcome = Outcome(table, timings, best, column,
                      computed=sum(1 for r in unique if r.get("computed")),
                      cached=sum(1 for r in unique if not r.get("computed")
                                 and r["status"] != "error"),
                      failed=sum(1 for r in unique if r["status"] == "failed"),
                      errors=sum(1 for r in unique if r["status"] == "error"), files=[])
    outcome.files = write_tables(sweep.output, table, timings)
    outcome.files.append(write_summary(sweep, table, best, column,
                                       {"computed": outcome.computed, "cached": outcome.cached}))
    return outcome
