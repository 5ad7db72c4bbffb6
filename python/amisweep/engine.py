"""The engine: Dask's distributed scheduler runs the points.

By default a local cluster of one single-threaded worker process per core,
started and stopped here. Given a scheduler's address (or the file that
dask-scheduler wrote it to), the points go to that scheduler's workers, which
must see the stand-in, the models, the channels and the output folder at the
same paths (a shared file system). The task function travels with the task,
so a worker needs Python and Dask only.

Dask retries a point whose function raised, and reruns elsewhere a point
whose worker died; a point that still could not run comes back as an error
(not cached, so a later run tries it again).
"""
import concurrent.futures
import contextlib
import os
import uuid

import cloudpickle
import dask
from dask.distributed import Client, LocalCluster, as_completed

from . import point as point_module

cloudpickle.register_pickle_by_value(point_module)


class Engine:
    """A client of the named scheduler, or of a local cluster started for
    the sweep and stopped after it. It connects in the background from the
    moment it is made, so that a local cluster starts while the sweep is
    being read and prepared."""

    def __init__(self, scheduler=None, scheduler_file=None, workers=None):
        self._resources = contextlib.ExitStack()
        self._starter = concurrent.futures.ThreadPoolExecutor(1)
        self._client = self._starter.submit(self._connect, scheduler, scheduler_file, workers)

    def _connect(self, scheduler, scheduler_file, workers):
        if scheduler or scheduler_file:
            return self._resources.enter_context(
                Client(address=scheduler, scheduler_file=scheduler_file, timeout="30s"))
        # Worker processes forked from a server process that has imported
        # Dask once start in about half the time of fresh interpreters.
        with dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"}):
            cluster = self._resources.enter_context(LocalCluster(
                n_workers=workers or os.cpu_count(), threads_per_worker=1, processes=True,
                dashboard_address="127.0.0.1:0"))
        return self._resources.enter_context(Client(cluster))

    @property
    def client(self):
        return self._client.result()

    def close(self):
        concurrent.futures.wait([self._client])
        self._starter.shutdown()
        self._resources.close()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()


def engine_error(job, error):
    return {"key": job["key"], "status": "error", "exit_code": None, "computed": False,
            "failure": f"the engine could not run the point: {type(error).__name__}: {error}",
            "stderr": "", "wall_s": None, "host": None, "worker": None, "results": None}


def compute(client, jobs, retries, on_done=None):
    """Runs the points' jobs; returns their records by key, calling
    on_done(record) as each comes back. Each run's tasks have keys of their
    own (the point's key and the run's), so that the scheduler never answers
    with a result it still holds from an earlier run of the point."""
    run = uuid.uuid4().hex[:8]
    futures = {client.submit(point_module.run_point, job, key=f"amisweep-{run}-{job['key']}",
                             retries=retries): job for job in jobs}
    records = {}
    for future in as_completed(futures):
        job = futures[future]
        try:
            record = future.result()
        except Exception as error:  # the engine's report of a point it could not run
            record = engine_error(job, error)
        records[job["key"]] = record
        if on_done:
            on_done(record)
    return records
