"""Sweeps through a real Dask cluster running the real stand-in: the table,
the cache, failed points, a worker killed mid-sweep, and a scheduler with
workers started as separate processes."""
import dataclasses
import os
import signal
import subprocess
import time

from amisweep.runner import run_sweep
from amisweep.sweep_file import load_sweep


def test_one_row_per_point_with_every_input_and_figure(small_sweep):
    sweep, outcome = small_sweep
    table = outcome.table
    assert len(table) == 8 and list(table["point"]) == list(range(8))
    assert set(table["status"]) == {"ok"} and outcome.computed == 8
    assert list(table["tx.TX_Corner"]) == [0, 0, 1, 1] * 2
    assert set(table["channel"]) == {os.path.join("channels", "line.s2p"), "built-in"}
    assert set(table["inputs.stimulus.bits"]) == {4000}
    assert table["eyes.at_rx_clock.height_reference_v"].notna().all()
    for link in table["report"]:
        assert os.path.isfile(os.path.join(sweep.output, link)) and link.endswith("report.svg")
    assert "run.seconds" in outcome.timings and "run.seconds" not in table
    best = outcome.best.set_index("channel")
    for channel, group in table.groupby("channel"):
        assert best.loc[channel, outcome.rank_column] == group[outcome.rank_column].max()


def test_a_rerun_computes_only_what_changed(small_sweep, cluster):
    sweep, outcome = small_sweep
    with open(os.path.join(sweep.output, "results.csv"), "rb") as f:
        first_table = f.read()
    again = run_sweep(sweep, client=cluster[1])
    assert (again.computed, again.cached) == (0, 8)
    with open(os.path.join(sweep.output, "results.csv"), "rb") as f:
        assert f.read() == first_table
    channel = os.path.join(os.path.dirname(sweep.path), "channels", "line.s2p")
    with open(channel, "a", encoding="ascii") as f:
        f.write("! changed\n")
    changed = run_sweep(load_sweep(sweep.path, sweep.stand_in.path), client=cluster[1])
    assert (changed.computed, changed.cached) == (4, 4)


def test_failed_points_are_recorded_and_the_sweep_goes_on(sweep_of, cluster):
    failing = sweep_of("""
        [tx]
        model = "{fakes}/vendor_getwave_fails.so"
        [tx.parameters]
        G = [1, 2]
        [[channels]]
        builtin = true
        """)
    outcome = run_sweep(failing, client=cluster[1])
    assert list(outcome.table["status"]) == ["failed", "failed"]
    assert all("AMI_GetWave returned 0" in f for f in outcome.table["failure"])
    slow = sweep_of("""
        [sweep]
        output = "slow-out"
        time_limit_s = 1
        [tx]
        model = "{tx}"
        [[channels]]
        builtin = true
        [settings]
        bits = [2000, 100000000]
        """)
    outcome = run_sweep(slow, client=cluster[1])
    assert list(outcome.table["status"]) == ["ok", "failed"]
    assert "time limit of 1 s" in outcome.table["failure"][1]
    for link in outcome.table["report"]:
        assert os.path.isfile(os.path.join(slow.output, link))
    again = run_sweep(slow, client=cluster[1], retry_failed=True)
    assert (again.computed, again.cached) == (1, 1)


def test_a_stand_in_that_crashes_fails_its_point_only(tmp_path, built, write_sweep, cluster):
    crashing = tmp_path / "amisim"
    crashing.write_text(f"#!/bin/sh\ncase \"$*\" in *TX_Corner=1*) kill -SEGV $$ ;; esac\n"
                        f"exec {built['amisim']} \"$@\"\n")
    crashing.chmod(0o755)
    sweep = load_sweep(write_sweep(f"""
        [sweep]
        amisim = "{crashing}"
        [tx]
        model = "{{tx}}"
        [tx.parameters]
        TX_Corner = [0, 1]
        [[channels]]
        builtin = true
        """))
    outcome = run_sweep(sweep, client=cluster[1])
    assert list(outcome.table["status"]) == ["ok", "failed"]
    assert outcome.table["failure"][1] == "the stand-in was killed by SIGSEGV"
    assert outcome.table["report"][1].endswith("stderr.txt")


def test_a_worker_killed_mid_sweep_loses_no_point(sweep_of, cluster):
    sweep = sweep_of("""
        [tx]
        model = "{tx}"
        [tx.parameters]
        TX_Corner = "from-ami"
        TX_Preemph = [0, 1]
        [rx]
        model = "{rx}"
        [[channels]]
        builtin = true
        [settings]
        bits = 300000
        """)
    client = cluster[1]
    killed = {}

    def kill_a_busy_worker(done, total):
        if killed or done < 1:
            return
        busy = {worker: keys for worker, keys in client.processing().items() if keys}
        if not busy:
            return
        worker = sorted(busy)[0]
        killed.update(worker=worker, keys={k.rsplit("-", 1)[1] for k in busy[worker]})
        os.kill(client.run(os.getpid, workers=[worker])[worker], signal.SIGKILL)

    outcome = run_sweep(sweep, client=client, progress=kill_a_busy_worker)
    assert killed.get("keys"), "no worker was busy to kill"
    # A point the killed worker had finished but not yet reported is read back.
    assert set(outcome.table["status"]) == {"ok"} and outcome.computed + outcome.cached == 6
    rerun = outcome.timings.set_index("key").loc[sorted(killed["keys"])]
    assert all(worker != killed["worker"] or not computed
               for worker, computed in zip(rerun["worker"], rerun["computed"]))
    assert run_sweep(sweep, client=client).computed == 0
    client.wait_for_workers(2, timeout=60)


def test_a_scheduler_and_workers_of_their_own_give_the_same_table(small_sweep, tmp_path):
    sweep, outcome = small_sweep
    address_file = str(tmp_path / "scheduler.json")
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    common = ["--no-dashboard", "--scheduler-file", address_file]
    processes = [subprocess.Popen(["dask-scheduler", "--host", "127.0.0.1", "--port", "0"] + common,
                                  cwd=tmp_path, env=environment, start_new_session=True,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    try:
        for _ in range(2):
            processes.append(subprocess.Popen(
                ["dask-worker", "--nthreads", "1", "--no-nanny", "--host", "127.0.0.1"] + common,
                cwd=tmp_path, env=environment, start_new_session=True,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        from dask.distributed import Client
        deadline = time.monotonic() + 60
        while not os.path.exists(address_file) and time.monotonic() < deadline:
            time.sleep(0.1)
        with Client(scheduler_file=address_file, timeout="60s") as client:
            client.wait_for_workers(2, timeout=60)
            elsewhere = dataclasses.replace(sweep, output=str(tmp_path / "out"))
            separate = run_sweep(elsewhere, client=client)
        assert separate.computed == 8
        assert sorted(separate.timings["worker"].unique()) == sorted(client_workers(address_file))
        with open(os.path.join(sweep.output, "results.csv"), "rb") as a, \
                open(os.path.join(elsewhere.output, "results.csv"), "rb") as b:
            assert sorted(a.read().splitlines()) == sorted(b.read().splitlines())
    finally:
        for process in processes:
            os.killpg(process.pid, signal.SIGTERM)
            process.wait(timeout=30)


def client_workers(address_file):
    from dask.distributed import Client
    with Client(scheduler_file=address_file, timeout="30s") as client:
        return list(client.scheduler_info()["workers"])
