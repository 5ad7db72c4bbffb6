"""One point of a sweep, as a worker runs it: the stand-in as a process with
its own output folder, and what it reported.

The stand-in writes into a fresh folder beside the point's, which is renamed
into place once complete, so that a point's folder exists only whole: a
worker that dies mid-run leaves no half-written result, and a point run twice
at once (the engine rerunning it elsewhere) keeps the first complete one.

This module uses the standard library only and is sent to the workers with
the task, so workers need nothing of this package installed.
"""
import json
import os
import shutil
import signal
import socket
import subprocess
import time
import uuid

RECORD = "point.json"
STDERR_KEPT = 4000


def load_record(folder):
    """The record of a finished point, with its results, or None."""
    try:
        with open(os.path.join(folder, RECORD), encoding="utf-8") as f:
            record = json.load(f)
    except (OSError, ValueError):
        return None
    record["results"] = _read_results(folder)
    return record


def _read_results(folder):
    try:
        with open(os.path.join(folder, "results.json"), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return None


def _signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"signal {number}"


def _tail(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError:
        return ""
    return text[-STDERR_KEPT:].strip()


def _run(command, folder, time_limit_s):
    """Runs the stand-in, stdout and stderr into files in the folder; the
    exit status, or None when it overran the time limit and was stopped."""
    # The stand-in dies with this worker (setpriv: when its parent goes), and
    # a session of its own lets a stop reach it; its model hosts end with it.
    prefix = ["setpriv", "--pdeathsig", "KILL", "--"] if shutil.which("setpriv") else []
    with open(os.path.join(folder, "stdout.txt"), "wb") as out, \
            open(os.path.join(folder, "stderr.txt"), "wb") as err:
        process = subprocess.Popen(prefix + command, stdout=out, stderr=err,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            return process.wait(timeout=time_limit_s)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            return None


def _worker_address():
    try:
        from distributed import get_worker
        return get_worker().address
    except (ImportError, ValueError):  # not on a Dask worker
        return None


def run_point(job):
    """Runs one point unless its folder holds a result already; returns its
    record: status "ok" or "failed", exit code, failure text, the stand-in's
    stderr and results.json (None if it wrote none)."""
    final = job["folder"]
    done = load_record(final)
    if done is not None:
        done["computed"] = False
        return done
    os.makedirs(os.path.dirname(final), exist_ok=True)
    work = f"{final}.run-{uuid.uuid4().hex[:12]}"
    os.makedirs(work)
    started = time.monotonic()
    exit_code = _run(job["command"] + ["--out", work], work, job["time_limit_s"])
    wall = time.monotonic() - started
    results = _read_results(work)
    stderr = _tail(os.path.join(work, "stderr.txt"))
    if exit_code is None:
        failure = (f"no result within the time limit of {job['time_limit_s']:g} s: "
                   "the stand-in was stopped")
    elif exit_code < 0:
        failure = f"the stand-in was killed by {_signal_name(-exit_code)}"
    elif results is None:
        failure = f"the stand-in exited with status {exit_code} and wrote no results.json"
    elif exit_code != 0 or not results.get("complete"):
        failure = results.get("failure") or f"the stand-in exited with status {exit_code}"
    else:
        failure = None
    record = {
        "key": job["key"],
        "status": "ok" if failure is None else "failed",
        "exit_code": exit_code,
        "failure": failure,
        "stderr": stderr,
        "wall_s": wall,
        "host": socket.gethostname(),
        "worker": _worker_address(),
    }
    with open(os.path.join(work, RECORD), "w", encoding="utf-8") as f:
        json.dump(record, f, indent=1)
    try:
        os.rename(work, final)
    except OSError:
        shutil.rmtree(work, ignore_errors=True)  # another run of this point finished first
        done = load_record(final)
        if done is not None:
            done["computed"] = False
            return done
        raise
    record["results"] = results
    record["computed"] = True
    return record
