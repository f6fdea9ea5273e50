"""properties_many(..., workers=N): the results of a parallel run are those of a
serial run, bit for bit and in order, for every kind of family and host."""
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
    # (model, phase, flags): the two families that run concurrently, a liquid
    # and a vapour, values only and values with derivatives
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


def test_temperature_dependent_binaries_follow_each_state(ps_toluene_dict):
    # k_ij(T) written into the host's store per temperature: states at many
    # temperatures in parallel must each see their own k_ij.
    sl = ps_toluene_dict["parameters"][0]["sanchez-lacombe"]
    sl["SLKIJ"] = {"TOLUENE": {"PS": [0.01, 0.02, 0.0, 0.0, 0.0, 298.15]}}
    case = keld.Case.from_dict(ps_toluene_dict)
    T = np.tile([300.0, 360.0, 420.0, 330.0], 150)
    kwargs = dict(T=T, P=1e5, z={"TOLUENE": 0.7, "PS": 0.3}, model="sanchez-lacombe")
    serial = case.properties_many(**kwargs)
    assert_identical(serial, case.properties_many(**kwargs, workers=2))
    # and the table matters: a constant k_ij gives other values
    sl["SLKIJ"] = {"TOLUENE": {"PS": 0.01}}
    assert not np.array_equal(serial.H, keld.Case.from_dict(ps_toluene_dict).properties_many(**kwargs).H)


@pytest.mark.parametrize("example", ["methanol-hexane-pcsaft-assoc.json", "light-gases-srk.json",
                                     "polystyrene-from-segments.json", "methane-hexane.json"])
def test_every_family_gives_the_serial_results(example):
    # The first state of each example (associating PC-SAFT, the cubic, segment
    # and SAFT families run one state at a time; the others concurrently).
    case = keld.Case.load(EXAMPLES / example)
    for state in case.states[:3]:
        flags = [state["flags"][k] for k in ("ln_phi", "H", "S", "G", "V")]
        kwargs = dict(T=np.linspace(0.9, 1.1, 60) * state["T"], P=state["P"], z=state["z"],
                      components=state["components"], model=state["model"], phase=state["phase"], flags=flags,
                      data_set=state["data_set"], option=state["option"])
        assert_identical(case.properties_many(**kwargs), case.properties_many(**kwargs, workers=2))


def test_a_single_call_after_a_parallel_batch_is_unchanged(ps_toluene):
    # The batch grows the host's work block; later calls must not notice.
    before = ps_toluene.properties(T=310.0, P=1e5, z={"TOLUENE": 0.8, "PS": 0.2})
    T, P, z = grid(200, seed=3)
    ps_toluene.properties_many(T=T, P=P, z=z, workers=4)
    after = ps_toluene.properties(T=310.0, P=1e5, z={"TOLUENE": 0.8, "PS": 0.2})
    assert np.array_equal(before.ln_phi, after.ln_phi) and before.H == after.H and before.V == after.V


@pytest.mark.parametrize("workers", [0, -2, 1.5, True, "2"])
def test_bad_worker_counts_are_refused(ps_toluene, workers):
    with pytest.raises(ValueError, match="workers"):
        ps_toluene.properties_many(T=300.0, P=1e5, z=[0.9, 0.1], workers=workers)


def test_workers_none_uses_every_core(ps_toluene):
    T, P, z = grid(50, seed=11)
    assert_identical(ps_toluene.properties_many(T=T, P=P, z=z),
                     ps_toluene.properties_many(T=T, P=P, z=z, workers=None))
