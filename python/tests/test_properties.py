"""Case.properties and Case.properties_many: argument handling, agreement of the
scalar and vectorised forms, and the placing of what comes back."""
import concurrent.futures
import math

import numpy as np
import pytest

import keld
from conftest import toluene_case

MODELS = ["pcsaft", "sanchez-lacombe"]


def test_properties_reproduce_a_case_state(ps_toluene):
    state = ps_toluene.states[1]
    direct = ps_toluene.properties(T=state["T"], P=state["P"], z=dict(zip(state["components"], state["z"])),
                                   model=state["model"], phase=state["phase"],
                                   flags=[state["flags"][k] for k in ("ln_phi", "H", "S", "G", "V")])
    stored = ps_toluene.evaluate(1)
    for name in ("H", "S", "G", "V", "dH_dT", "dV_dT"):
        assert getattr(direct, name) == getattr(stored, name), name
    assert np.array_equal(direct.ln_phi, stored.ln_phi)
    assert math.isnan(direct.dS_dT) and math.isnan(stored.dS_dT)


def test_mass_basis_uses_apparent_molecular_weights(ps_toluene):
    w = {"TOLUENE": 0.6, "PS": 0.4}
    moles = {"TOLUENE": 0.6 / 92.141, "PS": 0.4 / 104.152}
    z = {k: v / sum(moles.values()) for k, v in moles.items()}
    by_mass = ps_toluene.properties(T=330.0, P=2e5, z=w, basis="mass")
    by_mole = ps_toluene.properties(T=330.0, P=2e5, z=z)
    assert by_mass.z == pytest.approx(by_mole.z, rel=1e-15)
    assert by_mass.V == pytest.approx(by_mole.V, rel=1e-12)


def test_sequence_composition_follows_phase_components(ps_toluene):
    as_sequence = ps_toluene.properties(T=320.0, P=1e5, z=[0.9, 0.1], model="sanchez-lacombe")
    as_dict = ps_toluene.properties(T=320.0, P=1e5, z={"TOLUENE": 0.9, "PS": 0.1}, model="sanchez-lacombe")
    reordered = ps_toluene.properties(T=320.0, P=1e5, z=[0.1, 0.9], components=["PS", "TOLUENE"],
                                      model="sanchez-lacombe")
    assert as_sequence.components == ("TOLUENE", "PS") and reordered.components == ("PS", "TOLUENE")
    assert as_sequence.H == as_dict.H
    assert reordered.H == pytest.approx(as_sequence.H, rel=1e-14)  # the sums run in another order
    assert as_sequence.ln_phi_of("PS") == pytest.approx(reordered.ln_phi[0], rel=1e-14)


@pytest.mark.parametrize("model", MODELS)
def test_vectorised_form_agrees_with_scalar_calls(ps_toluene, model):
    T = np.array([290.0, 330.0, 370.0])
    z = np.array([[1.0, 0.0], [0.8, 0.2], [0.5, 0.5]])
    many = ps_toluene.properties_many(T=T, P=3e5, z=z, model=model)
    assert len(many) == 3 and many.ln_phi.shape == (3, 2) and many.status.shape == (3,)
    for k in range(3):
        one = ps_toluene.properties(T=T[k], P=3e5, z=z[k], model=model)
        assert np.array_equal(many.ln_phi[k], one.ln_phi) and np.array_equal(many.d_ln_phi_dT[k], one.d_ln_phi_dT)
        for name in ("H", "S", "G", "V", "dH_dT", "dS_dT", "dG_dT", "dV_dT"):
            assert getattr(many, name)[k] == getattr(one, name), name
        assert many.messages[k] == one.messages == []


def test_vectorised_broadcasting(ps_toluene):
    T = np.linspace(300.0, 360.0, 4)
    one_composition = ps_toluene.properties_many(T=T, P=1e5, z={"TOLUENE": 0.7, "PS": 0.3}, basis="mass")
    dict_of_arrays = ps_toluene.properties_many(T=T, P=1e5, basis="mass",
                                                z={"TOLUENE": np.full(4, 0.7), "PS": np.full(4, 0.3)})
    assert one_composition.z.shape == (4, 2)
    assert np.array_equal(one_composition.V, dict_of_arrays.V)
    rows = ps_toluene.properties_many(T=330.0, P=[1e5, 1e6], z=[[0.9, 0.1], [0.9, 0.1]])
    assert rows.T.tolist() == [330.0, 330.0] and rows.V[1] < rows.V[0]
    with pytest.raises(ValueError, match="cannot be broadcast"):
        ps_toluene.properties_many(T=[300.0, 310.0, 320.0], P=[1e5, 2e5], z=[1.0, 0.0])


def test_flags_select_outputs(ps_toluene):
    only_volume = ps_toluene.properties(T=300.0, P=1e5, z=[1.0, 0.0], flags={"V": 1})
    assert math.isfinite(only_volume.V) and math.isnan(only_volume.dV_dT)
    assert math.isnan(only_volume.H) and np.all(np.isnan(only_volume.ln_phi))
    derivatives_only = ps_toluene.properties(T=300.0, P=1e5, z=[1.0, 0.0], flags=2)
    assert math.isnan(derivatives_only.H) and math.isfinite(derivatives_only.dH_dT)


class TestBadArguments:
    @pytest.mark.parametrize("kwargs, pattern", [
        (dict(z={"BENZENE": 1.0}), "unknown component 'BENZENE'.*TOLUENE, STY, PS"),
        (dict(z={"TOLUENE": 0.7, "PS": 0.2}), "mole fractions must sum to 1"),
        (dict(z={"TOLUENE": 0.7, "STY": 0.3}), "'STY' is a polymer segment"),
        (dict(z={"TOLUENE": 1.1, "PS": -0.1}), "not negative"),
        (dict(z=[1.0, 0.0, 0.0]), r"last axis must list 2 fractions for TOLUENE, PS"),
        (dict(z=[0.5, 0.5], components=["PS", "ps"]), "listed twice"),
        (dict(z=[1.0, 0.0], T=-1.0), "T must be finite and positive"),
        (dict(z=[1.0, 0.0], P=float("nan")), "P must be finite and positive"),
        (dict(z=[1.0, 0.0], T=[300.0, 310.0]), "T must be a single number.*properties_many"),
        (dict(z=[1.0, 0.0], phase="solid"), "phase must be 'liquid' or 'vapour'"),
        (dict(z=[1.0, 0.0], model="virial"), "unknown model 'virial'"),
        (dict(z=[1.0, 0.0], basis="volume"), "basis must be 'mole' or 'mass'"),
        (dict(z=[1.0, 0.0], flags=[3, 3]), "five integers"),
        (dict(z=[1.0, 0.0], flags={"U": 1}), "unknown request flag"),
        (dict(z=[1.0, 0.0], data_set=2), "data_set must be an integer from 1 to 1"),
        (dict(z=[1.0, 0.0], data_set=True), "data_set must be an integer"),
        (dict(z=[1.0, 0.0], diagnostics=-5), "diagnostics must be an integer of 0 or more"),
        (dict(z=[1.0, 0.0], diagnostics=2.5), "diagnostics must be an integer"),
        (dict(z=[1.0, 0.0], option=2.7), "option must be 0 .* or 5"),
        (dict(z=[1.0, 0.0], option=1), "option must be 0 .* or 5"),
        (dict(z=[1.0, 0.0], flags={"V": 1.7}), "request flag V must be 0, 1, 2 or 3"),
        (dict(z=[1.0, 0.0], flags=True), "request flag flags must be 0, 1, 2 or 3"),
        (dict(z=[1.0, 0.0], flags=[3, 3, 3, 3, 4]), "request flag V must be"),
        (dict(z=[1.0, 0.0], phase=2), "phase must be 'liquid' or 'vapour'"),
    ])
    def test_rejected_with_a_clear_message(self, ps_toluene, kwargs, pattern):
        arguments = dict(T=300.0, P=1e5)
        arguments.update(kwargs)
        with pytest.raises(ValueError, match=pattern):
            ps_toluene.properties(**arguments)

    def test_many_rejects_any_bad_element(self, ps_toluene):
        with pytest.raises(ValueError, match="T must be finite and positive, got 0.0"):
            ps_toluene.properties_many(T=[300.0, 0.0], P=1e5, z=[1.0, 0.0])


def test_failed_density_root_reports_messages_per_call(ps_toluene):
    # Sanchez-Lacombe toluene has no liquid root at 50 K and 1 GPa; the next
    # state is ordinary and must not inherit the failure's messages.
    r = ps_toluene.properties_many(T=[50.0, 300.0], P=1e9, z=[1.0, 0.0], model="sanchez-lacombe", flags=1)
    assert r.status.tolist() == [0, 1] and r.converged.tolist() == [False, True]
    assert r.messages[1] == []
    assert any("INFEASIBLE" in line for line in r.messages[0])
    assert all(isinstance(line, str) for line in r.messages[0])


@pytest.mark.parametrize("model", MODELS)
def test_each_output_lands_in_its_own_field(ps_toluene, model):
    # G = H - T S and the temperature derivatives against central differences:
    # a field handed back in the wrong slot, or in a wrong unit, breaks them.
    T, dT = 330.0, 0.01
    r = ps_toluene.properties_many(T=[T - dT, T, T + dT], P=1e5, z={"TOLUENE": 0.9, "PS": 0.1}, model=model)
    assert r.G[1] == pytest.approx(r.H[1] - T * r.S[1], rel=1e-9)
    for value in ("H", "S", "G", "V"):
        central = (getattr(r, value)[2] - getattr(r, value)[0]) / (2 * dT)
        assert getattr(r, "d%s_dT" % value)[1] == pytest.approx(central, rel=2e-3, abs=1e-6), value
    central = (r.ln_phi[2] - r.ln_phi[0]) / (2 * dT)
    assert r.d_ln_phi_dT[1] == pytest.approx(central, rel=2e-3, abs=1e-9)


@pytest.mark.parametrize("model", MODELS)
def test_liquid_densities_near_experiment(ps_toluene, model):
    # Toluene at 298.15 K and 1 atm: 862.2 kg/m3; polystyrene melt at 473.15 K:
    # 0.972 g/cm3 (Zoller-Walsh specific volume 0.9287 exp(5.131e-4 t/degC) cm3/g).
    toluene = ps_toluene.properties(T=298.15, P=101325.0, z={"TOLUENE": 1.0}, model=model, flags={"V": 1})
    polymer = ps_toluene.properties(T=473.15, P=101325.0, z={"PS": 1.0}, model=model, flags={"V": 1})
    assert 92.141 / toluene.V == pytest.approx(862.2, rel=0.03)
    assert 104.152 / polymer.V == pytest.approx(972.0, rel=0.03)


def test_pure_toluene_dict_case():
    case = keld.Case.from_dict(toluene_case())
    r = case.evaluate(0)
    assert r.status == 1 and r.components == ("TOLUENE",)
    assert 92.141 / r.V == pytest.approx(862.2, rel=0.03)
    assert case.initialisation_messages == {"pcsaft": []}


def test_threads_share_a_case(ps_toluene):
    # keld releases the GIL while it computes and takes one evaluation at a
    # time: two threads on one case get exactly the sequential results.
    temperatures = np.linspace(280.0, 400.0, 30)
    expected = {m: ps_toluene.properties_many(T=temperatures, P=1e5, z=[0.9, 0.1], model=m) for m in MODELS}
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        futures = {m: pool.submit(ps_toluene.properties_many, T=temperatures, P=1e5, z=[0.9, 0.1], model=m)
                   for m in MODELS}
        for m, future in futures.items():
            got = future.result()
            np.testing.assert_array_equal(got.V, expected[m].V)
            np.testing.assert_array_equal(got.ln_phi, expected[m].ln_phi)
