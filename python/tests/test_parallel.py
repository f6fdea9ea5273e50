"""properties_many(..., workers=N): the results of a parallel run are those of a
serial run, bit for bit and in order. (Every family, temperature tables and the
grown work block: tests/case/case_many_test.cpp.)"""
import numpy as np
import pytest

import keld
from conftest import EXAMPLES

FIELDS = ("ln_phi", "d_ln_phi_dT", "H", "S", "G", "V", "dH_dT", "dS_dT", "dG_dT", "dV_dT", "status")


def assert_identical(a, b):
    for name in FIELDS:
        x, y = getattr(a, name), getattr(b, name)
        assert x.shape == y.shape, name
        assert np.array_equal(x, y, equal_nan=True), name
    assert a.messages == b.messages


def grid(n, seed):
    """States in an order no sort would keep: temperatures, pressures and
    compositions drawn at random, some near and past the density root's edge."""
    rng = np.random.default_rng(seed)
    T = rng.uniform(250.0, 520.0, n)
    P = rng.choice([1e3, 1e5, 5e6, 3e7], n)
    w = rng.uniform(0.0, 0.6, n)
    return T, P, np.column_stack([1.0 - w, w])


CASES = [
    # (model, phase, flags): a liquid and a vapour, values only and values with derivatives
    ("pcsaft", "liquid", None),
    ("pcsaft", "vapour", {"V": 1, "ln_phi": 1}),
    ("sanchez-lacombe", "liquid", None),
    ("sanchez-lacombe", "vapour", 1),
]


@pytest.mark.parametrize("model,phase,flags", CASES)
@pytest.mark.parametrize("workers", [2, 3])
def test_parallel_run_is_the_serial_run(ps_toluene, model, phase, flags, workers):
    T, P, z = grid(3000, seed=workers)
    kwargs = dict(T=T, P=P, z=z, model=model, phase=phase, flags=flags)
    serial = ps_toluene.properties_many(**kwargs)
    parallel = ps_toluene.properties_many(**kwargs, workers=workers)
    assert_identical(serial, parallel)
    assert np.array_equal(parallel.T, T)  # in the caller's order


# Every other family on a system of its own: (case file, model, components,
# second component's mole fraction up to, T range / K, phase, extra arguments).
OTHER_FAMILIES = [
    ("polyethylene-hexane.json", "saft", ["HEXANE", "PE"], 0.3, (380.0, 460.0), "liquid", {}),
    ("polyethylene-hexane.json", "saft-stored", ["HEXANE", "PE"], 0.3, (380.0, 460.0), "liquid", {}),
    ("light-gases-srk.json", "cubic", ["CH4", "C3H8"], 0.3, (200.0, 350.0), "vapour", {"cubic": {"mixing_rule": 1}}),
    ("acetone-methanol-water-mhv2.json", "cubic", ["ACETONE", "WATER"], 0.9, (300.0, 360.0), "liquid",
     {"cubic": {"mixing_rule": 4, "excess_model": 7}}),
    ("ethylene-styrene-copolymer-toluene.json", "pcsaft-segment", ["TOLUENE", "PES"], 0.3, (320.0, 400.0),
     "liquid", {}),
    ("ethylene-styrene-copolymer-toluene.json", "saft-segment", ["TOLUENE", "PES"], 0.3, (320.0, 400.0),
     "liquid", {}),
    ("ethylene-styrene-copolymer-toluene.json", "sanchez-lacombe-segment", ["TOLUENE", "PES"], 0.3,
     (320.0, 400.0), "liquid", {}),
    ("methanol-hexane-pcsaft-assoc.json", "pcsaft-assoc", ["METHANOL", "HEXANE"], 0.9, (280.0, 340.0), "liquid",
     {}),
]


@pytest.mark.parametrize("file,model,components,x_max,t_range,phase,extra", OTHER_FAMILIES)
def test_every_family_runs_in_parallel_as_in_series(file, model, components, x_max, t_range, phase, extra):
    case = keld.Case.load(EXAMPLES / file)
    rng = np.random.default_rng(7)
    n = 600
    x = rng.uniform(0.0, x_max, n)
    kwargs = dict(T=rng.uniform(*t_range, n), P=rng.choice([1e4, 1e5, 2e6], n), z=np.column_stack([1.0 - x, x]),
                  model=model, phase=phase, components=components, **extra)
    serial = case.properties_many(**kwargs)
    assert np.count_nonzero(serial.status) > n // 2  # mostly converged states, not refusals
    assert_identical(serial, case.properties_many(**kwargs, workers=3))


def test_messages_stay_with_their_states():
    # Hexane lacks its segment energy: every call is refused with its own two
    # message lines, which a capture shared between threads would mix up.
    case = keld.Case.from_dict({
        "components": [{"id": "TOLUENE", "kind": "ordinary", "MW / (kg/kmol)": 92.141},
                       {"id": "HEXANE", "kind": "ordinary", "MW / (kg/kmol)": 86.177}],
        "parameters": [{"pcsaft": {"PCSFTM": {"TOLUENE": 2.8149, "HEXANE": 3.0576},
                                   "PCSFTV / A": {"TOLUENE": 3.7169, "HEXANE": 3.7983},
                                   "PCSFTU / K": {"TOLUENE": 285.69}}}]}, initialise=False)
    T = np.linspace(280.0, 400.0, 500)
    serial = case.properties_many(T=T, P=1e5, z=[0.5, 0.5])
    parallel = case.properties_many(T=T, P=1e5, z=[0.5, 0.5], workers=2)
    assert all(len(m) == 2 and "HEXANE" in m[1] for m in serial.messages)
    assert_identical(serial, parallel)
    assert not parallel.status.any()


@pytest.mark.parametrize("workers", [0, -2, 1.5, True, "2"])
def test_bad_worker_counts_are_refused(ps_toluene, workers):
    with pytest.raises(ValueError, match="workers"):
        ps_toluene.properties_many(T=300.0, P=1e5, z=[0.9, 0.1], workers=workers)


def test_workers_none_uses_every_core(ps_toluene):
    T, P, z = grid(50, seed=11)
    assert_identical(ps_toluene.properties_many(T=T, P=P, z=z),
                     ps_toluene.properties_many(T=T, P=P, z=z, workers=None))
