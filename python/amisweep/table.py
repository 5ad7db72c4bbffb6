"""The results table: one row per point with every input and every figure
of its results.json, flattened into columns named by their path
(eyes.at_rx_clock.height_best_v). Figures the stand-in adds later become
columns with no change here.

What the stand-in measured about the machine rather than the link (wall
times, samples per second) goes into a separate timings table, so that the
same sweep gives the same results table wherever it ran.
"""
import os

import pandas as pd

# Left out of the table: the file's own framing, texts and lists kept in the
# point's folder, and inputs the row holds already (the files as given).
_DROPPED = {"schema", "schema_version", "status", "failure", "messages", "files",
            "inputs.transmitter.file", "inputs.receiver.file", "inputs.channel.file",
            "inputs.channel.description"}
_TIMING_SUFFIXES = ("seconds", "samples_per_second", "ns_per_sample")
_LONGEST_LIST = 8


def _is_timing(column):
    return column.startswith("run.") and column.endswith(_TIMING_SUFFIXES)


def flatten(value, prefix="", into=None):
    """Every scalar leaf of a results.json object by dotted path; short
    lists of scalars as one text, long ones (bathtubs) left out; the objects
    of a short list (the eyes of a statistical eye, its contours) by their
    index (statistical_eye.eyes.0.at_target.height_v)."""
    into = {} if into is None else into
    if isinstance(value, dict):
        for key, item in value.items():
            path = f"{prefix}.{key}" if prefix else key
            if path not in _DROPPED:
                flatten(item, path, into)
    elif isinstance(value, list):
        if all(isinstance(v, str) for v in value):
            into[prefix] = "; ".join(value)
        elif len(value) <= _LONGEST_LIST and all(not isinstance(v, (dict, list)) for v in value):
            into[prefix] = " ".join("null" if v is None else repr(v) for v in value)
        elif len(value) <= _LONGEST_LIST and all(isinstance(v, dict) for v in value):
            for index, item in enumerate(value):
                flatten(item, f"{prefix}.{index}", into)
    else:
        into[prefix] = value
    return into


def report_link(record, folder_relative):
    """The page of a point a person opens: the stand-in's report, or for a
    run that made none, what it printed on stderr."""
    files = ((record.get("results") or {}).get("files")) or []
    name = "report.svg" if "report.svg" in files else "stderr.txt"
    return f"{folder_relative}/{name}"


def rows(sweep, points, records):
    """The results table and the timings table, in the points' order."""
    table, timings = [], []
    for point in points:
        record = records[point.key]
        folder = os.path.relpath(point.folder(sweep.output), sweep.output)
        row = {"point": point.index, "channel": point.channel.label}
        row.update(point.values)
        row.update({"status": record["status"], "failure": record.get("failure"),
                    "report": report_link(record, folder), "key": point.key})
        timing = {"point": point.index, "key": point.key, "computed": record.get("computed"),
                  "host": record.get("host"), "worker": record.get("worker"),
                  "wall_s": record.get("wall_s")}
        for column, value in flatten(record.get("results") or {}).items():
            (timing if _is_timing(column) else row)[column] = value
        table.append(row)
        timings.append(timing)
    return _frame(table), _frame(timings)


def _frame(records):
    columns = []
    seen = set()
    for record in records:
        for column in record:
            if column not in seen:
                seen.add(column)
                columns.append(column)
    frame = pd.DataFrame(records, columns=columns)
    for column in columns:
        values = [r[column] for r in records if r.get(column) is not None]
        if values and all(isinstance(v, int) and not isinstance(v, bool) for v in values):
            frame[column] = frame[column].astype("Int64")
    return frame


def rank_column(sweep, table):
    """The first figure of the sweep's rank_by that the results have."""
    for column in sweep.rank_by:
        if column in table.columns and table[column].notna().any():
            return column
    return None


def best_per_channel(sweep, table, column):
    """For each channel, the point with the best figure among those that
    ran, with how many ran, failed and (given a limit) met it."""
    summary = []
    for channel, group in table.groupby("channel", sort=False):
        ran = group[(group["status"] == "ok") & group[column].notna()]
        entry = {"channel": channel, "points": len(group),
                 "failed": int((group["status"] != "ok").sum())}
        if sweep.limit is not None:
            met = ran[column] >= sweep.limit if sweep.goal == "max" else ran[column] <= sweep.limit
            entry["meet limit"] = int(met.sum())
        if len(ran):
            best = ran.loc[ran[column].idxmax() if sweep.goal == "max" else ran[column].idxmin()]
            entry["best point"] = int(best["point"])
            for name in [a.column for a in sweep.axes if len(a.values) > 1] + [column]:
                value = best[name]
                entry[name] = value.item() if hasattr(value, "item") else value
        summary.append(entry)
    return _frame(summary)


def write_tables(output, table, timings):
    """results.csv and timings.csv, and results.parquet where pandas has a
    Parquet engine; the files written."""
    written = []
    for name, frame in (("results", table), ("timings", timings)):
        path = os.path.join(output, f"{name}.csv")
        frame.to_csv(path, index=False)
        written.append(path)
    try:
        table.to_parquet(os.path.join(output, "results.parquet"), index=False)
        written.append(os.path.join(output, "results.parquet"))
    except ImportError:
        pass
    return written
