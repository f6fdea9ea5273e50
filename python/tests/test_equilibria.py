"""keld.equilibria from Python: the dataclasses carry what the solvers found,
and the forward and inverse calculations agree."""
import math

import numpy as np
import pytest

import keld
import keld.equilibria as eq
from conftest import EXAMPLES

SOLUTION = {
    "components": [
        {"id": "TOLUENE", "MW / (kg/kmol)": 92.141},
        {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.152},
        {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.152, "MWN / (kg/kmol)": 100000,
         "segments": {"STY": 1.0}},
    ],
    "parameters": [{"pcsaft": {
        "PCSFTM": {"TOLUENE": 2.8149},
        "PCSFTV / A": {"TOLUENE": 3.7169, "STY": 4.1071, "PS": 4.1071},
        "PCSFTU / K": {"TOLUENE": 285.69, "STY": 267.0, "PS": 267.0},
        "PCSFTR / (mol/g)": {"STY": 0.0190, "PS": 0.0190}}}],
}


@pytest.fixture(scope="module")
def case():
    return keld.Case.from_dict(SOLUTION)


def test_vapour_pressure_and_its_end(case):
    s = eq.saturation(case, "TOLUENE", T=[300.0, 400.0, 700.0])
    assert s.status[:2] == ["converged", "converged"] and s.status[2] == "no coexistence"
    assert s.P[0] < s.P[1] and math.isnan(s.P[2]) and s.rho_liquid[0] > s.rho_vapour[0]
    boil = eq.saturation(case, "TOLUENE", P=s.P[:2])
    np.testing.assert_allclose(boil.T, [300.0, 400.0], rtol=1e-9)
    curve = eq.vapour_pressure_curve(case, "TOLUENE", 350.0, points=4)
    assert curve.critical is not None and curve.T[-1] <= curve.critical[0]
    # On the model: the curve's last point is its solved critical point, both phases the critical fluid.
    assert curve.solver == ("model",) * 4 and s.solver[:2] == ("model", "model")
    assert curve.T[-1] == curve.critical[0] and curve.P[-1] == curve.critical[1]
    assert curve.v_liquid[-1] == curve.v_vapour[-1] == curve.critical[2] and curve.dH_vap[-1] == 0.0


def test_sorption_inverts_activity(case):
    w_polymer = np.array([0.2, 0.6, 0.9])
    a = eq.activity(case, 298.15, {"TOLUENE": 1 - w_polymer, "PS": w_polymer})
    assert all(a.converged) and np.all(np.diff(a.activity[:, 0]) < 0)
    np.testing.assert_allclose(a.weight_activity_coefficient[:, 0], a.activity[:, 0] / (1 - w_polymer))
    s = eq.sorption(case, 298.15, {"TOLUENE": a.partial_pressure[:, 0]})
    np.testing.assert_allclose(s.w[:, 1], w_polymer, rtol=1e-8)
    above = eq.sorption(case, 298.15, {"TOLUENE": 1.1 * a.P_sat[0]})
    assert above.status == ["no solution"] and math.isnan(above.w[0, 0])


def test_flash_keeps_the_polymer_in_the_liquid(case):
    f = eq.flash(case, 298.15, 2000.0, {"TOLUENE": 0.3, "PS": 0.7}, basis="mass")
    assert f.converged and [p.kind for p in f.phases] == ["liquid", "vapour"]
    vapour = f.phases[1]
    assert vapour.x[1] == 0.0 and math.isnan(vapour.ln_phi[1])
    assert sum(p.mass_fraction for p in f.phases) == pytest.approx(1.0, abs=1e-14)
    b = eq.bubble_pressure(case, 298.15, {"TOLUENE": 0.3, "PS": 0.7}, basis="mass")
    assert b.P[0] > 2000.0 and b.y[0, 1] == 0.0


def test_bad_arguments_raise(case):
    with pytest.raises(ValueError):
        eq.saturation(case, "TOLUENE")
    with pytest.raises(ValueError):
        eq.lle(case, 300.0, 1e5, ["TOLUENE"])
    with pytest.raises(ValueError):
        eq.activity(case, 298.15, {"TOLUENE": 0.5, "PS": 0.4})


@pytest.mark.parametrize("T, P, shown", [
    ([298.15, 310.0], 2000.0, r"T must be a single number here, not an array of shape \(2,\)"),
    (298.15, np.array([2000.0, 3000.0, 4000.0]), r"P must be a single number here, not an array of shape \(3,\)"),
])
def test_flash_over_an_array_says_to_call_it_per_point(case, T, P, shown):
    with pytest.raises(ValueError, match=shown + r".*call it once per point") as raised:
        eq.flash(case, T, P, {"TOLUENE": 0.5, "PS": 0.5}, basis="mass")
    assert "properties_many" not in str(raised.value)


def test_a_missing_parameter_is_named_not_taken_for_phase_behaviour():
    import copy
    incomplete = copy.deepcopy(SOLUTION)
    del incomplete["parameters"][0]["pcsaft"]["PCSFTV / A"]["TOLUENE"]
    case = keld.Case.from_dict(incomplete)
    results = [eq.saturation(case, "TOLUENE", T=300.0),
               eq.activity(case, 298.15, {"TOLUENE": 0.5, "PS": 0.5}, basis="mass"),
               eq.bubble_pressure(case, 298.15, {"TOLUENE": 0.5, "PS": 0.5}, basis="mass")]
    for r in results:
        assert r.status == ["missing parameter"]
        assert "PCSFTV (DATA SET 1) MISSING FOR COMPONENT TOLUENE" in r.message[0]
    f = eq.flash(case, 298.15, 2000.0, {"TOLUENE": 0.5, "PS": 0.5}, basis="mass")
    assert f.status == "missing parameter" and not f.converged


def test_critical_points_on_the_model(case):
    # A pure component's: where its vapour-pressure curve ends.
    pure = eq.critical(case, "TOLUENE")
    curve = eq.vapour_pressure_curve(case, "TOLUENE", 500.0, points=3)
    assert pure.status == ["converged"] and (pure.T[0], pure.P[0], pure.V[0]) == curve.critical
    assert pure.rho[0] == pytest.approx(1.0 / pure.V[0], rel=1e-15)
    # A mixture's along a composition sweep (rows of x), from the pseudo-critical start.
    mixture = keld.Case.load(EXAMPLES / "methane-hexane.json")
    x1 = np.array([0.1, 0.3, 0.5])
    c = eq.critical(mixture, x={"CH4": x1, "HEXANE": 1.0 - x1})
    assert all(c.converged) and np.all(np.diff(c.P) > 0) and np.all(np.diff(c.T) < 0)
    np.testing.assert_allclose(c.x[:, 0], x1)
    # The methane-rich end lies above both components' critical pressures.
    ends = [eq.critical(mixture, name).P[0] for name in ("CH4", "HEXANE")]
    assert c.P[-1] > max(ends)
    with pytest.raises(ValueError):
        eq.critical(mixture)
    with pytest.raises(ValueError):
        eq.critical(mixture, x={"CH4": 0.5, "HEXANE": 0.5}, T_start=300.0)


def test_traced_demixing_meets_the_grid_and_reaches_the_range_ends():
    ps = keld.Case.load(EXAMPLES / "polystyrene-cyclohexane.json")
    trace = eq.lle_trace(ps, 250.0, 540.0, 5e6, ["CYCLOHEX", "PS"])
    assert trace.status == "converged", trace.message
    assert [b["kind"] for b in trace.branches] == ["UCST", "LCST"]
    ucst, lcst = trace.branches
    assert ucst["T"][-1] == pytest.approx(250.0, abs=1e-9) and lcst["T"][-1] == pytest.approx(540.0, abs=1e-9)
    assert ucst["T"][0] == ucst["T_critical"] and np.all(ucst["T"][1:] < ucst["T_critical"])
    # A tie line of the trace is what the binodal at its temperature gives.
    k = len(ucst["T"]) // 2
    grid = eq.lle(ps, ucst["T"][k], 5e6, ["CYCLOHEX", "PS"])
    assert grid.w_rich[0] == pytest.approx(ucst["w_rich"][k], rel=1e-9)
    assert math.log(grid.w_lean[0] / ucst["w_lean"][k]) == pytest.approx(0.0, abs=1e-9)
    assert grid.w_spinodal_lean[0] < grid.w_spinodal_rich[0]
    ax = trace.plot()
    labels = {line.get_label() for line in ax.get_lines()}
    assert {"binodal (cloud points)", "spinodal", "critical solution point"} <= labels
    with pytest.raises(ValueError):
        eq.lle_trace(ps, 250.0, 540.0, 5e6, ["CYCLOHEX"])
