"""A large grid of states evaluated with Dask: properties_many mapped over chunks.

The case travels to the workers as JSON text (no shared file system needed);
each worker process loads it once and evaluates the chunks it is given, with
`workers` threads each. The chunks come back in order and are joined into one
keld.Results, identical to a serial properties_many over the whole grid.

    python3 examples/dask_grid.py                      # a local cluster on this machine
    python3 examples/dask_grid.py tcp://scheduler:8786 # a real cluster (keld installed on every worker)

Needs Debian's python3-dask and python3-distributed.
"""
import sys
from pathlib import Path

import numpy as np

import keld


_loaded = {}  # case JSON -> keld.Case, per worker process


def _evaluate_chunk(case_json, T, P, z, options):
    if case_json not in _loaded:
        _loaded.clear()
        _loaded[case_json] = keld.Case.from_json(case_json, origin="<dask>")
    return _loaded[case_json].properties_many(T=T, P=P, z=z, **options)


# The workers need keld, not this file: its functions travel with the tasks.
try:
    import cloudpickle
    cloudpickle.register_pickle_by_value(sys.modules[__name__])
except (ImportError, ValueError):
    pass


def properties_on_cluster(client, case_json, T, P, z, chunk=20000, **options):
    """properties_many(T, P, z, **options) of the case given as JSON text, in
    chunks of `chunk` states spread over the workers of a dask.distributed
    Client. T and P are 1-D arrays of one length n, z an n-by-N array."""
    T, P, z = np.asarray(T, float), np.asarray(P, float), np.asarray(z, float)
    if not (T.ndim == P.ndim == 1 and z.ndim == 2 and len(T) == len(P) == len(z)):
        raise ValueError("T(n), P(n) and z(n, N) are needed")
    futures = [client.submit(_evaluate_chunk, case_json, T[k:k + chunk], P[k:k + chunk], z[k:k + chunk],
                             options, pure=False)
               for k in range(0, len(T), chunk)]
    return keld.Results.concatenate(client.gather(futures))


def liquid_grid(n):
    """n liquid states of polystyrene in toluene: 300-400 K, 1-100 bar, 0-40 wt % PS (as mole fractions)."""
    rng = np.random.default_rng(1)
    w = rng.uniform(0.0, 0.4, n)
    moles = np.column_stack([(1 - w) / 92.141, w / 104.152])
    return rng.uniform(300.0, 400.0, n), rng.uniform(1e5, 1e7, n), moles / moles.sum(axis=1, keepdims=True)


def main(address=None):
    from dask.distributed import Client, LocalCluster

    case_json = (Path(__file__).resolve().parent / "polystyrene-toluene.json").read_text()
    T, P, z = liquid_grid(200000)
    cluster = None if address else LocalCluster(n_workers=2, threads_per_worker=1)
    with Client(address or cluster) as client:
        results = properties_on_cluster(client, case_json, T, P, z, model="pcsaft", flags={"V": 1, "H": 1})
    if cluster is not None:
        cluster.close()
    frame = results.to_pandas()
    print(frame.describe().T[["mean", "min", "max"]])


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else None)
