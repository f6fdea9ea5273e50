"""properties_many over 100 000 liquid states on 1 and 2 threads.

    /usr/bin/python3 bench/python_parallel.py [--states N] [--repeat R] [--model pcsaft]

Runs against the installed keld package (or PYTHONPATH=<build>/python). The
states: polystyrene (MWN 1e5) in toluene, PC-SAFT, liquid, 300-400 K, 1-100 bar,
0-40 wt % polymer, ln phi, H and V with their temperature derivatives. Each
thread count runs R times; the fastest run is reported (the machine is shared).
The results of every parallel run are checked against the serial ones.
"""
import argparse
import os
import pathlib
import time

import numpy as np

import keld

CASE = pathlib.Path(__file__).resolve().parents[1] / "examples" / "polystyrene-toluene.json"


def states(n):
    rng = np.random.default_rng(2026)
    w = rng.uniform(0.0, 0.4, n)
    moles = np.column_stack([(1 - w) / 92.141, w / 104.152])
    return rng.uniform(300.0, 400.0, n), rng.uniform(1e5, 1e7, n), moles / moles.sum(axis=1, keepdims=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--states", type=int, default=100000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--model", default="pcsaft")
    parser.add_argument("--threads", type=int, nargs="+", default=[1, 2])
    args = parser.parse_args()
    case = keld.Case.load(CASE)
    T, P, z = states(args.states)
    options = dict(model=args.model, phase="liquid", flags={"ln_phi": 3, "H": 3, "V": 3})
    reference = None
    best = {}
    for threads in args.threads:
        for _ in range(args.repeat):
            start = time.perf_counter()
            r = case.properties_many(T=T, P=P, z=z, workers=threads, **options)
            elapsed = time.perf_counter() - start
            best[threads] = min(best.get(threads, elapsed), elapsed)
            if reference is None:
                reference = r
            elif r.to_csv() != reference.to_csv():
                raise SystemExit(f"{threads} threads: results differ from the first run")
    print(f"keld {keld.__version__}, {args.model}, {args.states} liquid states, {os.cpu_count()} CPUs, "
          f"load average {os.getloadavg()[0]:.2f}")
    for threads, seconds in best.items():
        print(f"  {threads} thread(s): {seconds:7.3f} s  {args.states / seconds:10.0f} states/s  "
              f"speed-up {best[args.threads[0]] / seconds:5.2f}")


if __name__ == "__main__":
    main()
