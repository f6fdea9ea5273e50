"""keld.polydisperse: distributions keep their moments, the cloud-point curve meets the shadow
at the critical point, fractionation keeps every pseudo-component's mass and sends long chains to
the rich phase."""
import math

import pytest

from keld import polydisperse as pd


@pytest.mark.parametrize("make", [
    lambda: pd.schulz_flory(1e5, 2e5, 8),
    lambda: pd.log_normal(1e5, 2e5, 8),
    lambda: pd.from_points([1e4, 5e4, 1e5, 3e5, 1e6], [0.1, 0.3, 0.3, 0.2, 0.1], 3),
])
def test_moments_kept(make):
    d = make()
    for key in ("mu1", "mu2", "mu3"):
        assert d.moments[key] == pytest.approx(d.exact_moments[key], rel=1e-12)
    assert sum(c["weight_fraction"] for c in d.pseudo) == pytest.approx(1.0, abs=1e-14)


def test_gpc_trace(tmp_path):
    trace = tmp_path / "trace.csv"
    trace.write_text("M,dw/dlogM\n1e4,0.2\n3e4,0.8\n1e5,1.0\n3e5,0.6\n1e6,0.1\n")
    d = pd.from_gpc(trace, 3)
    assert len(d) == 3
    assert d.moments["Mz"] == pytest.approx(d.exact_moments["Mz"], rel=1e-12)
    (tmp_path / "bad.csv").write_text("M,w\n1e4,0.2\nx,1\n")
    with pytest.raises(ValueError, match="line 3"):
        pd.from_gpc(tmp_path / "bad.csv")


def test_cloud_point_curve_and_plot(tmp_path):
    d = pd.schulz_flory(1e5, 2e5, 5)
    c = pd.cloud_point_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, w_from=0.01, w_to=0.2, points=6,
                             T_range=(250, 340))
    assert c.status == "converged", c.message
    assert len(c.points) == 6
    # The maximum lies above the critical point, at a leaner feed.
    top = max(c.points, key=lambda p: p["T"])
    assert top["T"] > c.critical["T"] + 0.3
    assert top["feed"]["w_polymer"] < c.critical["w_polymer"]
    for p in c.points:
        assert (p["shadow"]["w_polymer"] > p["feed"]["w_polymer"]) == (p["feed"]["w_polymer"] < c.critical["w_polymer"])
    c.plot(tmp_path / "cloud.png")
    assert (tmp_path / "cloud.png").stat().st_size > 1000


def test_fractionation_mass_balance(tmp_path):
    d = pd.schulz_flory(1e5, 2e5, 6)
    f = pd.fractionate(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=295.0, w=0.1, T_range=(250, 340))
    assert f.status == "converged", f.message
    for i, c in enumerate(d.pseudo):
        rich = f.rich_share * f.rich["w_polymer"] * f.rich["pseudo"][i]["weight_fraction"]
        lean = (1 - f.rich_share) * f.lean["w_polymer"] * f.lean["pseudo"][i]["weight_fraction"]
        assert (rich + lean) / (0.1 * c["weight_fraction"]) == pytest.approx(1.0, rel=1e-10)
    assert f.rich["Mw"] > f.lean["Mw"]
    assert f.rich_share_of_pseudo[-1] > f.rich_share_of_pseudo[0]
    f.plot(tmp_path / "f.png")
    above = pd.fractionate(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=310.0, w=0.1, T_range=(250, 340))
    assert above.status == "single phase"
    assert math.isnan(above.rich_share)
    with pytest.raises(ValueError, match="no two phases"):
        above.plot()


def test_bad_input():
    with pytest.raises(ValueError):
        pd.schulz_flory(2e5, 1e5)
    with pytest.raises(ValueError):
        pd.schulz_flory(1e5, 2e5, 0)


def test_mixed_solvent_balances_every_solvent_and_reaches_one_solvent():
    d = pd.schulz_flory(1e5, 2e5, 5)
    one = pd.cloud_point_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, w_from=0.02, w_to=0.1, points=2,
                               T_range=(250, 340))
    trace = pd.cloud_point_curve([pd.CYCLOHEXANE, pd.TOLUENE], pd.POLYSTYRENE, [0.0078, 0.0], d, w_from=0.02,
                                 w_to=0.1, points=2, T_range=(250, 340), solvent_w=[1 - 1e-9, 1e-9])
    assert one.status == trace.status == "converged"
    assert trace.critical["T"] == pytest.approx(one.critical["T"], abs=1e-6)
    f = pd.fractionate([pd.CYCLOHEXANE, pd.TOLUENE], pd.POLYSTYRENE, [0.0078, 0.0], d, T=288.0, w=0.1,
                       T_range=(250, 340), solvent_w=[0.9, 0.1])
    assert f.status == "converged", f.message
    feed = [0.9 * 0.9, 0.9 * 0.1]
    for i in range(2):
        split = f.rich_share * f.rich["w"][i] + (1 - f.rich_share) * f.lean["w"][i]
        assert split == pytest.approx(feed[i], rel=1e-10)
    with pytest.raises(ValueError, match="solvent_w"):
        pd.fractionate([pd.CYCLOHEXANE, pd.TOLUENE], pd.POLYSTYRENE, 0.0, d, T=288.0, w=0.1)


def test_copolymer_of_one_segment_type_and_activity():
    d = pd.schulz_flory(1e5, 2e5, 5)
    styrene = {"name": "STY", "mass_fraction": 1.0, "mw": 104.152, "m_per_mw": 0.0190, "sigma": 4.1071,
               "epsilon_k": 267.0}
    co = pd.cloud_point_curve(pd.CYCLOHEXANE, {"name": "PS", "segments": [styrene]}, 0.0078, d, w_from=0.02,
                              w_to=0.2, points=2, T_range=(250, 340))
    homo = pd.cloud_point_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, w_from=0.02, w_to=0.2, points=2,
                                T_range=(250, 340))
    assert co.T == pytest.approx(homo.T, abs=1e-7)
    mono = pd.from_points([1e5], [1.0], 1)
    for T, demixed in [(310.0, False), (298.0, True)]:
        a = pd.activity(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=T, w=0.02, T_range=(250, 340))
        b = pd.activity(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, mono, T=T, w=0.02, T_range=(250, 340))
        assert a.status == b.status == "converged"
        assert a.one_liquid[0] == pytest.approx(b.one_liquid[0], abs=1e-11)
        assert a.demixed is demixed and not b.demixed
        assert (abs(a.equilibrium[0] - b.equilibrium[0]) > 1e-9) is demixed


def test_lower_branch_splits_on_heating():
    d = pd.schulz_flory(1e5, 2e5, 5)
    c = pd.cloud_point_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, P=50e5, w_from=0.02, w_to=0.1, points=2,
                             T_range=(480, 525), lower_branch=True)
    assert c.status == "converged", c.message
    T = c.T[1]
    above = pd.fractionate(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=T + 2, w=0.1, P=50e5, T_range=(480, 525),
                           lower_branch=True)
    below = pd.fractionate(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=T - 2, w=0.1, P=50e5, T_range=(480, 525),
                           lower_branch=True)
    assert above.status == "converged" and below.status == "single phase"
    assert above.rich["Mw"] > above.lean["Mw"]


def test_cloud_point_pressure_at_a_held_temperature(tmp_path):
    d = pd.schulz_flory(1e5, 2e5, 6)
    c = pd.cloud_point_pressure_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=500.0, w_from=0.01, w_to=0.1,
                                      points=3, P_range=(1e6, 5e7), lower_branch=True)
    assert c.status == "converged", c.message
    assert c.critical["T"] == pytest.approx(500.0, abs=1e-6)
    assert all(t == 500.0 for t in c.T)
    # The fixed-pressure curve through the richest feed's cloud pressure lies at the held temperature.
    back = pd.cloud_point_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, P=c.P[-1], w_from=0.1, w_to=0.1000001,
                                points=1, T_range=(480, 520), lower_branch=True)
    assert back.status == "converged", back.message
    assert back.T[0] == pytest.approx(500.0, abs=1e-8)
    ax = c.plot(tmp_path / "cloud-pressure.png")
    assert ax.get_ylabel() == "P / MPa"
    refused = pd.cloud_point_pressure_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=500.0, w_from=0.01,
                                            w_to=0.1, points=2, P_range=(1e6, 4e6), lower_branch=True)
    assert refused.status == "no solution" and not refused.points
