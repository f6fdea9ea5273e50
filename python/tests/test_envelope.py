"""P-x-y isotherms and P-T envelopes from Python: each returned phase pair has
equal fugacities and pressures when the model's properties are evaluated again
at its T, density and composition; the curves end (or pass) where the critical
point lies; the result classes plot; bad requests raise or say why."""
import numpy as np
import pytest

import keld
from keld.envelope import phase_envelope, pxy_isotherm, txy_isobar

from conftest import EXAMPLES

NATURAL_GAS = {"C1": 0.80, "C2": 0.10, "C3": 0.05, "NC4": 0.03, "NC6": 0.02}


@pytest.fixture(scope="module")
def methane_hexane():
    return keld.Model.from_case(keld.Case.load(EXAMPLES / "methane-hexane.json"), "pcsaft")


@pytest.fixture(scope="module")
def natural_gas():
    return keld.Model.from_case(keld.Case.load(EXAMPLES / "natural-gas.json"), "pcsaft")


def ln_fugacities(model, T, rho, x):
    p = model.properties(T, np.asarray(x)[None, :], rho=rho, composition_derivatives=False)
    P = float(np.ravel(p.P)[0])
    with np.errstate(divide="ignore"):
        return np.log(np.asarray(x) * P) + np.ravel(p.ln_phi), P


def assert_coexisting(model, T, rho1, x1, rho2, x2, P):
    f1, p1 = ln_fugacities(model, T, rho1, x1)
    f2, p2 = ln_fugacities(model, T, rho2, x2)
    present = (np.asarray(x1) > 0) & (np.asarray(x2) > 0)
    assert np.max(np.abs(f1[present] - f2[present])) <= 1e-10
    assert abs(p1 - p2) <= 1e-10 * p1
    assert abs(p1 - P) <= 1e-10 * p1


def test_isotherm_tie_lines_coexist_and_end_at_the_critical_point(methane_hexane):
    iso = pxy_isotherm(methane_hexane, 350.0)
    assert iso.converged and iso.ends_at_critical, iso.message
    assert iso.components == ("CH4", "HEXANE")
    for k in range(len(iso.P) - 1):
        assert_coexisting(methane_hexane, 350.0, iso.rho_liquid[k], iso.x[k], iso.rho_vapour[k], iso.y[k], iso.P[k])
    T_c, P_c, rho_c, x_c = iso.critical
    assert T_c == pytest.approx(350.0, rel=1e-9)
    assert iso.P[-1] == P_c and np.array_equal(iso.x[-1], x_c) and np.array_equal(iso.y[-1], x_c)
    assert np.all(iso.P[:-1] <= P_c)
    # The critical point at its composition, from the criteria alone, lies at the isotherm's T.
    case = keld.Case.load(EXAMPLES / "methane-hexane.json")
    crit = keld.equilibria.critical(case, x={"CH4": x_c[0], "HEXANE": x_c[1]}, T_start=350.0, V_start=1.0 / rho_c)
    assert crit.T[0] == pytest.approx(350.0, rel=1e-8)
    assert crit.P[0] == pytest.approx(P_c, rel=1e-8)


def test_envelope_points_coexist_through_the_critical_point(natural_gas):
    env = phase_envelope(natural_gas, NATURAL_GAS)
    assert env.converged and env.critical is not None, env.message
    z = env.z
    for k in range(len(env.T)):
        if k == env.critical_index:
            continue
        assert_coexisting(natural_gas, env.T[k], env.rho_feed[k], z, env.rho_incipient[k], env.incipient[k], env.P[k])
    k = env.critical_index
    assert not env.bubble[:k].any() and env.bubble[k + 1:].all()
    assert (env.T[k], env.P[k]) == pytest.approx(env.critical[:2])
    assert env.cricondenbar[1] >= env.P.max() * (1 - 1e-12)
    assert env.cricondentherm[0] >= env.T.max() * (1 - 1e-12)
    assert env.P[0] == pytest.approx(1e5) and env.P[-1] == pytest.approx(1e5)
    # The same from the equilibria module, with the feed as an array in the model's order.
    again = keld.equilibria.phase_envelope(natural_gas, list(NATURAL_GAS.values()))
    np.testing.assert_allclose(again.T, env.T, rtol=1e-12)


def test_isobar_tie_lines_coexist_at_the_pressure(methane_hexane):
    bar = txy_isobar(methane_hexane, 4e6)
    assert bar.converged and bar.ends_at_critical and bar.isobar, bar.message
    np.testing.assert_allclose(bar.P, 4e6, rtol=1e-10)
    for k in range(len(bar.T) - 1):
        assert_coexisting(methane_hexane, bar.T[k], bar.rho_liquid[k], bar.x[k], bar.rho_vapour[k], bar.y[k], 4e6)
    # Pure methane boils first; the critical point at 4 MPa closes the curve at the highest T.
    assert bar.x[0, 0] == 1.0 and bar.T[-1] == pytest.approx(bar.critical[0]) and bar.T.max() == bar.T[-1]


def test_results_plot(methane_hexane, natural_gas, tmp_path):
    pytest.importorskip("matplotlib")
    iso = pxy_isotherm(methane_hexane, 350.0)
    bar = txy_isobar(methane_hexane, 4e6)
    env = phase_envelope(natural_gas, NATURAL_GAS)
    for result, name in ((iso, "pxy.png"), (bar, "txy.png"), (env, "envelope.png")):
        result.plot(tmp_path / name)
        assert (tmp_path / name).stat().st_size > 10000


def test_bad_requests(methane_hexane, natural_gas):
    with pytest.raises(ValueError, match="two components"):
        pxy_isotherm(natural_gas, 300.0)
    with pytest.raises(ValueError, match="positive"):
        pxy_isotherm(methane_hexane, -1.0)
    with pytest.raises(ValueError, match="no component"):
        phase_envelope(natural_gas, {"C1": 0.5, "XX": 0.5})
    hot = pxy_isotherm(methane_hexane, 700.0)
    assert hot.status == "no coexistence" and len(hot.P) == 0
    partial = phase_envelope(natural_gas, {"C1": 1.0})   # the other amounts are zero: refused
    assert partial.status == "invalid input" and len(partial.T) == 0


def test_critical_curve_runs_through_the_isotherms_critical_point_and_plots(methane_hexane, tmp_path):
    curve = keld.equilibria.critical_curve(methane_hexane)
    assert curve.converged and curve.reaches_other, curve.message
    assert curve.components == ("CH4", "HEXANE")
    assert curve.x[0].tolist() == [1.0, 0.0] and curve.x[-1].tolist() == [0.0, 1.0]
    # Each point's pressure is the model's at its T, V and composition (columns in the model's order).
    for T, V, x, P in zip(curve.T[1:-1:10], curve.V[1:-1:10], curve.x[1:-1:10], curve.P[1:-1:10]):
        p = methane_hexane.properties(T, x[None, :], rho=1.0 / V, composition_derivatives=False)
        assert float(np.ravel(p.P)[0]) == pytest.approx(P, rel=1e-12)
    # Between the points around 350 K lies the 350 K isotherm's critical point.
    iso = pxy_isotherm(methane_hexane, 350.0)
    k = int(np.flatnonzero((curve.T[:-1] - 350.0) * (curve.T[1:] - 350.0) <= 0.0)[0])
    s = (350.0 - curve.T[k]) / (curve.T[k + 1] - curve.T[k])
    assert curve.P[k] + s * (curve.P[k + 1] - curve.P[k]) == pytest.approx(iso.critical.P, rel=1e-3)
    assert curve.x[k, 0] + s * (curve.x[k + 1, 0] - curve.x[k, 0]) == pytest.approx(iso.critical.x[0], abs=1e-3)
    curve.plot(tmp_path / "critical-curve.png")
    assert (tmp_path / "critical-curve.png").stat().st_size > 1000
    # Every point tested for a split; the unstable ones kept, flagged and counted.
    assert curve.stable.shape == curve.T.shape and curve.tpd.shape == curve.T.shape
    assert np.all(np.isfinite(curve.tpd))
    assert np.array_equal(curve.stable, curve.tpd >= -1e-8)
    # Near methane's end the curve crosses the region where a hexane-rich liquid separates.
    unstable = int(np.count_nonzero(~curve.stable))
    assert unstable >= 10 and np.all(curve.x[~curve.stable, 0] > 0.9)
    assert f"{unstable} of {len(curve.T)} points are unstable" in curve.message


def test_critical_curve_capped_or_refused(methane_hexane, natural_gas):
    capped = keld.equilibria.critical_curve(methane_hexane, p_max=15e6)
    assert capped.converged and capped.pressure_capped and not capped.reaches_other
    assert "15 MPa" in capped.message and capped.P.max() <= 15e6
    with pytest.raises(ValueError, match="two components"):
        keld.equilibria.critical_curve(natural_gas)
    with pytest.raises(ValueError, match="p_max"):
        keld.equilibria.critical_curve(methane_hexane, p_max=-1.0)
