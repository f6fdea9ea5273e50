"""keld.Model.second_derivatives: every second derivative at one state against central differences of
the exposed first derivatives, and the identities the Hessian must satisfy."""
import numpy as np
import pytest

import keld

HEXANE = {"name": "n-hexane", "mw": 86.177, "m": 3.0576, "sigma": 3.7983, "epsilon_k": 236.77}
TOLUENE = {"name": "toluene", "mw": 92.141, "m": 2.8149, "sigma": 3.7169, "epsilon_k": 285.69}
PS = {"name": "PS", "mw": 1e5, "m": 1900.0, "sigma": 4.1071, "epsilon_k": 267.0, "mw_apparent": 104.152}
AMW = [{"name": "ACETONE", "mw": 58.08, "tc": 508.1, "pc": 4701480.0, "omega": 0.309, "groups": {"CH3": 1, "CH3CO": 1}},
       {"name": "METHANOL", "mw": 32.042, "tc": 512.6, "pc": 8095868.0, "omega": 0.559, "groups": {"CH3OH": 1}},
       {"name": "WATER", "mw": 18.015, "tc": 647.3, "pc": 22048321.0, "omega": 0.344, "groups": {"H2O": 1}}]
WATER_2B = {"name": "WATER", "mw": 18.015, "m": 1.0656, "sigma": 3.0007, "epsilon_k": 366.51, "sites": "2B",
            "epsilon_ab_k": 2500.7, "kappa_ab": 0.034868}
METHANOL_2B = {"name": "METHANOL", "mw": 32.042, "m": 1.5255, "sigma": 3.23, "epsilon_k": 188.9, "sites": (1, 1),
               "epsilon_ab_k": 2899.5, "kappa_ab": 0.035176}

# (model, T in K, P in Pa, amounts in kmol), each at its liquid density: a pure fluid, a mixture with
# k_ij, a polymer solution, a lattice-fluid polymer solution, a cubic mixture with an excess-Gibbs rule
# and an associating mixture.
SYSTEMS = [
    (lambda: keld.Model.pcsaft([HEXANE]), 300.0, 1e5, [1.3]),
    (lambda: keld.Model.pcsaft([HEXANE, TOLUENE], kij=[[0, 0.005], [0.005, 0]]), 350.0, 1e6, [0.4, 0.7]),
    (lambda: keld.Model.pcsaft([TOLUENE, PS]), 300.0, 1e5, [0.9996, 0.0004]),
    (lambda: keld.Model.sanchez_lacombe([
        {"name": "TOLUENE", "mw": 92.141, "t_star": 543.0, "p_star": 402e6, "rho_star": 966.0},
        {"name": "PS", "mw": 1e5, "t_star": 688.0, "p_star": 371.5e6, "rho_star": 1119.9,
         "mw_apparent": 104.152}]), 350.0, 1e5, [0.999, 0.001]),
    (lambda: keld.Model.cubic(AMW, mixing_rule="mhv2", excess_gibbs="unifac"), 330.0, 1e5, [0.3, 0.3, 0.4]),
    (lambda: keld.Model.pcsaft_assoc([WATER_2B, METHANOL_2B]), 298.15, 1e5, [0.5, 0.5]),
]


def _central(f, x, h):
    return (f(x + h) - f(x - h)) / (2.0 * h)


def _liquid(make, T, P, n):
    m = make()
    n = np.asarray(n, dtype=float)
    rho = float(m.density(T, P, n / n.sum(), phase="liquid")[0])
    assert np.isfinite(rho)
    return m, rho, n


@pytest.mark.parametrize("make, T, P, n", SYSTEMS)
def test_second_derivatives_against_differences_of_first(make, T, P, n):
    m, rho, n = _liquid(make, T, P, n)
    N, V = n.sum(), n.sum() / rho
    z = n / N
    d = m.second_derivatives(T, rho, n)
    first = m.derivatives(T, rho, z)
    for key in ("a", "a_t", "a_rho", "a_tt", "a_trho", "a_rhorho"):
        assert d[key] == pytest.approx(float(first[key][0]), rel=1e-12, abs=1e-14), key
    # (T, rho) at constant composition: from the exposed a_t and a_rho.
    ht, hr = 1e-4 * T, 1e-5 * rho
    a_t = lambda t: float(m.derivatives(t, rho, z)["a_t"][0])
    a_rho_t = lambda t: float(m.derivatives(t, rho, z)["a_rho"][0])
    a_rho_r = lambda r: float(m.derivatives(T, r, z)["a_rho"][0])
    assert d["a_tt"] == pytest.approx(_central(a_t, T, ht), rel=1e-6, abs=1e-12)
    assert d["a_trho"] == pytest.approx(_central(a_rho_t, T, ht), rel=1e-6, abs=1e-12)
    assert d["a_rhorho"] == pytest.approx(_central(a_rho_r, rho, hr), rel=1e-6, abs=1e-12)
    # Amounts at constant T and V: from the exposed gradient (mu_res/RT).
    gradient = lambda t, v, amounts: m.amount_derivatives(t, v, amounts, hessian=False)["gradient"]
    np.testing.assert_allclose(d["gradient"], gradient(T, V, n), rtol=1e-12, atol=1e-14)
    hessian = np.empty((len(n), len(n)))
    for j in range(len(n)):
        h = 1e-4 * n[j]
        e = np.zeros(len(n))
        e[j] = h
        hessian[:, j] = (gradient(T, V, n + e) - gradient(T, V, n - e)) / (2.0 * h)
    scale = np.abs(hessian).max()
    np.testing.assert_allclose(d["hessian"], hessian, rtol=1e-5, atol=1e-6 * scale)
    np.testing.assert_allclose(d["d_v"], (gradient(T, V * (1 + 1e-5), n) - gradient(T, V * (1 - 1e-5), n))
                               / (2e-5 * V), rtol=1e-5, atol=1e-6 * np.abs(d["d_v"]).max())
    np.testing.assert_allclose(d["d_t"], (gradient(T + ht, V, n) - gradient(T - ht, V, n)) / (2.0 * ht),
                               rtol=1e-5, atol=1e-6 * np.abs(d["d_t"]).max())


@pytest.mark.parametrize("make, T, P, n", SYSTEMS)
def test_second_derivatives_satisfy_symmetry_and_gibbs_duhem(make, T, P, n):
    m, rho, n = _liquid(make, T, P, n)
    N, V = n.sum(), n.sum() / rho
    d = m.second_derivatives(T, rho, n)
    H = d["hessian"]
    np.testing.assert_allclose(H, H.T, rtol=1e-13, atol=1e-13 * np.abs(H).max())
    # Psi is homogeneous of degree one in (n, V): sum_j n_j H_ij + V d_v_i = 0.
    np.testing.assert_allclose(H @ n + V * d["d_v"], 0.0, atol=1e-10 * np.abs(H @ n).max())
    # d ln phi_i / dn_j at constant T and P, from the state's derivatives:
    #   P/RT = rho + rho^2 a_rho,  ln phi_i = gradient_i - ln Z,  Z = P V / (N R T).
    p_rt = rho + rho ** 2 * d["a_rho"]
    dp_dn = 1.0 / V - d["d_v"]                                        # d(P/RT)/dn_j, constant T, V
    dp_dv = -(rho + 2 * rho ** 2 * d["a_rho"] + rho ** 3 * d["a_rhorho"]) / V  # d(P/RT)/dV, constant T, n
    dlnz_dn = dp_dn / p_rt - 1.0 / N
    dlnz_dv = dp_dv / p_rt + 1.0 / V
    dv_dn = -dp_dn / dp_dv
    dlnphi = H - dlnz_dn[None, :] + np.outer(d["d_v"] - dlnz_dv, dv_dn)
    np.testing.assert_allclose(dlnphi @ n, 0.0, atol=1e-9 * np.abs(H).max() * N)
    # The same matrix the properties report at this density.
    p = m.properties(T=T, rho=rho, z=n / N)
    np.testing.assert_allclose(dlnphi * N, p.dln_phi_dn[0], rtol=1e-8, atol=1e-10 * np.abs(H).max() * N)


def test_second_derivatives_refuse_bad_amounts():
    m = keld.Model.pcsaft([HEXANE, TOLUENE])
    for n in ([1.0], [1.0, -0.5], [0.0, 0.0], [1.0, float("nan")]):
        with pytest.raises(ValueError):
            m.second_derivatives(300.0, 7.0, n)
    with pytest.raises(ValueError):
        m.second_derivatives(300.0, -1.0, [0.5, 0.5])
