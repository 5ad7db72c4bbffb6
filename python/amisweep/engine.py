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
import contextlib
import os

import cloudpickle
import dask
from dask.distributed import Client, LocalCluster, as_completed

from . import point as point_module

cloudpickle.register_pickle_by_value(point_module)


@contextlib.contextmanager
def connect(scheduler=None, scheduler_file=None, workers=None):
    """A client of the named scheduler, or of a local cluster started for
    the sweep and stopped after it."""
    if scheduler or scheduler_file:
        with Client(address=scheduler, scheduler_file=scheduler_file, timeout="30s") as client:
            yield client
        return
    # Worker processes forked from a server process that has imported Dask
    # once start in about half the time of fresh interpreters, and stop at once.
    with dask.config.set({"distributed.worker.multiprocessing-method": "forkserver"}), \
            LocalCluster(n_workers=workers or os.cpu_count(), threads_per_worker=1,
                         processes=True, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        yield client


def engine_error(spec, error):
    return {"key": spec["key"], "status": "error", "exit_code": None, "computed": False,
            "failure": f"the engine could not run the point: {type(error).__name__}: {error}",
            "stderr": "", "wall_s": None, "host": None, "worker": None, "results": None}


def compute(client, specs, retries, on_done=None):
    """Runs the points' specs; returns their records by key, calling
    on_done(record) as each comes back."""
    futures = {client.submit(point_module.run_point, spec, key=f"amisweep-{spec['key']}",
                             retries=retries): spec for spec in specs}
    records = {}
    for future in as_completed(futures):
        spec = futures[future]
        try:
            record = future.result()
        except Exception as error:  # the engine's report of a point it could not run
            record = engine_error(spec, error)
        records[spec["key"]] = record
        if on_done:
            on_done(record)
    return records
