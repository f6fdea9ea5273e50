"""keld.Model: plain parameters and cases, arrays of states, agreement with the monitor."""
import json
import math

import numpy as np
import pytest

import keld

HEXANE = {"name": "n-hexane", "mw": 86.177, "m": 3.0576, "sigma": 3.7983, "epsilon_k": 236.77}
TOLUENE = {"name": "toluene", "mw": 92.141, "m": 2.8149, "sigma": 3.7169, "epsilon_k": 285.69}


def test_arrays_of_states_and_their_identities():
    m = keld.Model.pcsaft([HEXANE, TOLUENE], kij=[[0, 0.005], [0.005, 0]])
    T = np.linspace(280.0, 360.0, 5)
    z = np.array([[x, 1 - x] for x in np.linspace(0.1, 0.9, 5)])
    p = m.properties(T=T, P=1e5, z=z, phase="liquid", ideal_gas_cp=[[15.0, 0.04], [12.0, 0.035]])
    assert p.ln_phi.shape == (5, 2) and p.dln_phi_dn.shape == (5, 2, 2)
    np.testing.assert_allclose(p.P, 1e5, rtol=1e-10)
    # G_res/RT = sum x ln phi; Gibbs-Duhem; V = sum x V_i.
    np.testing.assert_allclose((p.x * p.ln_phi).sum(axis=1), p.g_res / (8314.462618 * T), rtol=1e-11)
    np.testing.assert_allclose(np.einsum("ki,kij->kj", p.x, p.dln_phi_dn), 0.0, atol=1e-12)
    np.testing.assert_allclose((p.x * p.partial_volume).sum(axis=1), p.V, rtol=1e-12)
    assert np.all(p.cp > p.cv) and np.all(p.speed_of_sound > 500.0)
    # The same states at their own densities.
    q = m.properties(T=T, rho=p.rho, z=z)
    np.testing.assert_allclose(q.ln_phi, p.ln_phi, rtol=1e-12)
    np.testing.assert_allclose(m.pressure(T, p.rho, z), 1e5, rtol=1e-10)


def test_density_roots_and_their_absence():
    m = keld.Model.pcsaft([HEXANE])
    vapour = m.density(300.0, 1e4, [1.0], phase="vapour")
    liquid = m.density(300.0, 1e4, [1.0], phase="liquid")
    assert vapour[0] < 0.01 < liquid[0] < m.max_density(300.0, [1.0])[0]
    d = m.derivatives(300.0, liquid, [1.0])
    assert set(d) == {"a", "a_t", "a_rho", "a_tt", "a_trho", "a_rhorho", "a_rhorhorho"}
    # Every root lies below close packing.
    rho = m.density([5.0, 50.0, 300.0], 1e9, [1.0], phase="liquid")
    assert np.all(np.isnan(rho) | (rho < m.max_density([5.0, 50.0, 300.0], [1.0])))


def test_from_a_case_equals_the_monitor():
    import pathlib
    root = pathlib.Path(__file__).resolve().parents[2]
    case = keld.Case.load(str(root / "examples" / "polystyrene-toluene.json"))
    m = keld.Model.from_case(case, "pcsaft", components=["TOLUENE", "PS"])
    assert [c[0] for c in m.components] == ["TOLUENE", "PS"] and m.components[1][1] == 1e5
    for w in (0.05, 0.3, 0.6):
        z_app = np.array([(1 - w) / 92.141, w / 104.152])
        z_app /= z_app.sum()
        r = case.properties(T=350.0, P=1e5, z={"TOLUENE": z_app[0], "PS": z_app[1]}, model="pcsaft")
        x = z_app * np.array([1.0, 104.152 / 1e5])
        p = m.properties(T=350.0, P=1e5, z=x, composition_derivatives=False)
        # The two density roots differ within the monitor's acceptance (1e-14 |V dP/dV|).
        np.testing.assert_allclose(p.ln_phi_apparent[0], r.ln_phi, rtol=1e-12, atol=5e-12)
        assert p.V_apparent[0] == pytest.approx(r.V, rel=1e-12)


@pytest.mark.parametrize("file, model, components, T, P", [
    ("polystyrene-toluene.json", "sanchez-lacombe", ["TOLUENE", "PS"], 350.0, 1e5),
    ("polystyrene-from-segments.json", "sanchez-lacombe", ["TOLUENE", "PS"], 380.0, 1e7),
    ("ethylene-styrene-copolymer-toluene.json", "sanchez-lacombe", ["TOLUENE", "PES"], 350.0, 1e5),
    ("polyethylene-hexane.json", "saft", ["HEXANE", "PE"], 423.15, 5e6),
    ("polyethylene-hexane.json", "saft-stored", ["HEXANE", "PE"], 473.15, 1e7),
    ("ethylene-styrene-copolymer-toluene.json", "saft-stored", ["TOLUENE", "PES"], 350.0, 1e5),
])
def test_every_family_from_a_case_equals_its_monitor(file, model, components, T, P):
    import pathlib
    root = pathlib.Path(__file__).resolve().parents[2]
    case = keld.Case.load(str(root / "examples" / file))
    m = keld.Model.from_case(case, model, components=components)
    assert [c[0] for c in m.components] == components
    mw_apparent = np.array([c[2] for c in m.components])
    mw_molecule = np.array([c[1] for c in m.components])
    for w in (0.1, 0.4):  # polymer weight fraction
        z_app = np.array([1 - w, w]) / mw_apparent
        z_app /= z_app.sum()
        r = case.properties(T=T, P=P, z=dict(zip(components, z_app)), model=model, flags=1)
        x = z_app * mw_apparent / mw_molecule
        p = m.properties(T=T, P=P, z=x / x.sum(), composition_derivatives=False)
        np.testing.assert_allclose(p.ln_phi_apparent[0], r.ln_phi, rtol=1e-12, atol=5e-12)
        assert p.V_apparent[0] == pytest.approx(r.V, rel=1e-12)
        assert p.h_res_apparent[0] == pytest.approx(r.H, rel=1e-10)
        assert p.g_departure_apparent[0] == pytest.approx(r.G, rel=1e-10)


@pytest.mark.parametrize("file, model, components, data_set, settings, T, P, phase", [
    ("water-methanol-pcsaft-assoc.json", "pcsaft-assoc", ["WATER", "METHANOL"], 2, {}, 298.15, 1e5, "liquid"),
    ("water-methanol-pcsaft-assoc.json", "pcsaft-assoc", ["WATER", "METHANOL"], 1, {}, 373.15, 1e5, "vapour"),
    ("methanol-hexane-pcsaft-assoc.json", "pcsaft-assoc", ["METHANOL", "HEXANE"], 1,
     {"pcsaft_assoc": {"association": "off"}}, 298.15, 1e5, "liquid"),
    ("polystyrene-toluene-ethanol-pcsaft-assoc.json", "pcsaft-assoc", ["TOLUENE", "ETHANOL", "PS"], 1, {},
     298.15, 1e5, "liquid"),
    ("light-gases-srk.json", "cubic", ["CH4", "C3H8", "N2"], 1, {}, 250.0, 3e6, "vapour"),
    ("acetone-methanol-water-mhv2.json", "cubic", ["ACETONE", "METHANOL", "WATER"], 1,
     {"cubic": {"mixing_rule": 4, "excess_model": 7}}, 330.0, 1e5, "liquid"),
    ("acetone-methanol-water-mhv2.json", "cubic", ["ACETONE", "WATER"], 1,
     {"cubic": {"mixing_rule": 3, "excess_model": 7}}, 340.0, 0.5e5, "vapour"),
    ("polystyrene-toluene-wong-sandler.json", "cubic", ["TOLUENE", "PS"], 1,
     {"cubic": {"mixing_rule": 2, "excess_model": 7}}, 350.0, 1e5, "liquid"),
])
def test_the_call_settings_of_a_case_state(file, model, components, data_set, settings, T, P, phase):
    """Model.from_case with the settings Case.properties takes equals the monitor called with them."""
    import pathlib
    root = pathlib.Path(__file__).resolve().parents[2]
    case = keld.Case.load(str(root / "examples" / file))
    m = keld.Model.from_case(case, model, components=components, data_set=data_set, **settings)
    mw_apparent = np.array([c[2] for c in m.components])
    mw_molecule = np.array([c[1] for c in m.components])
    z_app = np.linspace(1.0, 2.0, len(components)) / mw_apparent
    z_app /= z_app.sum()
    r = case.properties(T=T, P=P, z=dict(zip(components, z_app)), model=model, flags=1, data_set=data_set,
                        phase=phase, **settings)
    x = z_app * mw_apparent / mw_molecule
    p = m.properties(T=T, P=P, z=x / x.sum(), phase=phase, composition_derivatives=False)
    # A liquid's ln Z at 1 bar is the remainder of a cancellation: 2e-14 |Z - 1|/Z and the monitor's
    # root residual (tests/model/from_case_test.cpp).
    np.testing.assert_allclose(p.ln_phi_apparent[0], r.ln_phi, rtol=1e-12, atol=4e-11)
    assert p.V_apparent[0] == pytest.approx(r.V, rel=1e-12)
    assert p.h_res_apparent[0] == pytest.approx(r.H, rel=1e-10)
    assert p.g_departure_apparent[0] == pytest.approx(r.G, rel=1e-10)


def test_settings_a_model_cannot_follow_are_named():
    import pathlib
    root = pathlib.Path(__file__).resolve().parents[2]
    case = keld.Case.load(str(root / "examples" / "methanol-hexane-pcsaft-assoc.json"))
    with pytest.raises(ValueError, match="simplified"):
        keld.Model.from_case(case, "pcsaft-assoc", pcsaft_assoc={"association": "simplified"})
    with pytest.raises(ValueError, match="for the 'pcsaft-assoc' model"):
        keld.Model.from_case(case, "pcsaft", pcsaft_assoc={"association": "off"})
    with pytest.raises(ValueError, match="for the 'cubic' model"):
        keld.Model.from_case(case, "pcsaft-assoc", cubic={"mixing_rule": 4})
    with pytest.raises(ValueError, match=r"TCRKS \(data set 1\) missing for component METHANOL"):
        keld.Model.from_case(case, "cubic", cubic={"mixing_rule": 4, "excess_model": 7})
    with pytest.raises(ValueError, match="unknown association"):
        keld.Model.from_case(case, "pcsaft-assoc", pcsaft_assoc={"association": "partial"})
    # The association off leaves methanol's sites out: its liquid is another one.
    full = keld.Model.from_case(case, "pcsaft-assoc", components=["METHANOL"])
    off = keld.Model.from_case(case, "pcsaft-assoc", components=["METHANOL"], pcsaft_assoc={"association": "off"})
    assert full.alphar(298.15, 20.0, [1.0]) < off.alphar(298.15, 20.0, [1.0]) - 1.0


def test_a_missing_parameter_is_named():
    # The argument-driven SAFT monitor would give polyethylene a nominal v00; its model refuses. The
    # stored-parameter family builds it from the ethylene segments.
    case = keld.Case.from_json('''{
      "components": [{"id": "HEXANE", "kind": "ordinary", "MW / (kg/kmol)": 86.177},
                     {"id": "ETH", "kind": "segment", "MW / (kg/kmol)": 28.054},
                     {"id": "PE", "kind": "polymer", "MW / (kg/kmol)": 28.054, "MWN / (kg/kmol)": 50000,
                      "segments": {"ETH": 1.0}}],
      "parameters": [{"saft": {"SAFTM": {"HEXANE": 4.724},
                               "SAFTV / (cm3/mol)": {"HEXANE": 12.475, "ETH": 12.0},
                               "SAFTU / K": {"HEXANE": 202.72, "ETH": 207.73, "PE": 207.73},
                               "SAFTR / (mol/g)": {"ETH": 0.0472427, "PE": 0.0472427}}}],
      "states": [{"model": "saft", "T / K": 423.15, "P / bar": 50, "phase": "liquid",
                  "mass_fractions": {"HEXANE": 0.9, "PE": 0.1}}]}''')
    with pytest.raises(ValueError, match=r"SAFTV \(data set 1\) missing for component PE"):
        keld.Model.from_case(case, "saft", components=["HEXANE", "PE"])
    assert keld.Model.from_case(case, "saft-stored", components=["HEXANE", "PE"]).family == "saft"


def test_plain_parameters_give_the_model_of_the_case():
    """Model.sanchez_lacombe and Model.saft from the published values of two examples equal the
    models their cases give (the same residual at the same state)."""
    import pathlib
    root = pathlib.Path(__file__).resolve().parents[2]
    sl = keld.Model.sanchez_lacombe([
        {"name": "TOLUENE", "mw": 92.141, "t_star": 543.0, "p_star": 402e6, "rho_star": 966.0},
        {"name": "PS", "mw": 1e5, "t_star": 688.0, "p_star": 371.5e6, "rho_star": 1119.9, "mw_apparent": 104.152}])
    saft = keld.Model.saft([
        {"name": "HEXANE", "mw": 86.177, "m": 4.724, "v00": 0.012475, "u0_k": 202.72, "e_k": 10.0},
        {"name": "PE", "mw": 5e4, "m": 5e4 * 0.0472427, "v00": 0.012, "u0_k": 207.73, "e_k": 10.0,
         "mw_apparent": 28.054}], kij=[[0, 0.01], [0, 0]], lij=[[0, 0], [-0.02, 0]])
    for plain, file, model, T in ((sl, "polystyrene-toluene.json", "sanchez-lacombe", 350.0),
                                  (saft, "polyethylene-hexane.json", "saft", 423.15)):
        data = json.loads((root / "examples" / file).read_text())
        if model == "saft":  # the same binaries in the case
            data["parameters"][0]["saft"].update({"SFTKIJ": {"HEXANE": {"PE": 0.01}, "PE": {"HEXANE": 0.0}},
                                                 "SFTLIJ": {"PE": {"HEXANE": -0.02}, "HEXANE": {"PE": 0.0}}})
        case = keld.Case.from_json(json.dumps(data))
        built = keld.Model.from_case(case, model, components=[c[0] for c in plain.components])
        assert built.components == plain.components
        z = [0.999, 0.001]
        rho = 0.6 * float(plain.max_density(T, z)[0])
        assert plain.alphar(T, rho, z) == pytest.approx(built.alphar(T, rho, z), rel=1e-14)
        assert plain.pressure(T, rho, z) == pytest.approx(built.pressure(T, rho, z), rel=1e-13)


@pytest.mark.parametrize("call, error", [
    (lambda: keld.Model.pcsaft([{**HEXANE, "sigma": "3.8"}]), TypeError),
    (lambda: keld.Model.pcsaft([{**HEXANE, "epsilon": 236.77}]), ValueError),
    (lambda: keld.Model.pcsaft([HEXANE, TOLUENE], kij=[[0, 1]]), ValueError),
    (lambda: keld.Model.pcsaft([HEXANE]).properties(T=300.0, z=[1.0]), ValueError),
    (lambda: keld.Model.pcsaft([HEXANE]).properties(T=300.0, z=[1.0, 0.0], P=1e5), ValueError),
    (lambda: keld.Model.pcsaft([HEXANE]).density(300.0, 1e5, [1.0], phase="solid"), ValueError),
    (lambda: keld.Model.pcsaft([HEXANE]).alphar(-1.0, 1.0, [1.0]), ValueError),
    (lambda: keld.Model.saft([{"name": "x", "mw": 86.0, "m": 4.7, "v00": 0.012, "u0_k": -1.0, "e_k": 10.0}]),
     ValueError),
    (lambda: keld.Model.saft([{"name": "x", "mw": 86.0, "m": 4.7, "v00": 0.012, "u0_k": 200.0}]), ValueError),
    (lambda: keld.Model.sanchez_lacombe([{"name": "x", "mw": 86.0, "t_star": 476.0, "p_star": 298e6,
                                          "rho_star": 775.0}], eta=[[0, 1]]), ValueError),
])
def test_bad_arguments_are_refused(call, error):
    with pytest.raises(error):
        call()


def _example(name):
    import pathlib
    return keld.Case.load(str(pathlib.Path(__file__).resolve().parents[2] / "examples" / name))


LIGHT_GASES = [{"name": "CH4", "mw": 16.043, "tc": 190.6, "pc": 4600155.0, "omega": 0.008},
               {"name": "C3H8", "mw": 44.097, "tc": 369.95, "pc": 4245518.0, "omega": 0.152},
               {"name": "N2", "mw": 28.014, "tc": 126.2, "pc": 3394388.0, "omega": 0.04}]
AMW = [{"name": "ACETONE", "mw": 58.08, "tc": 508.1, "pc": 4701480.0, "omega": 0.309, "groups": {"CH3": 1, "CH3CO": 1}},
       {"name": "METHANOL", "mw": 32.042, "tc": 512.6, "pc": 8095868.0, "omega": 0.559, "groups": {"CH3OH": 1}},
       {"name": "WATER", "mw": 18.015, "tc": 647.3, "pc": 22048321.0, "omega": 0.344, "groups": {"H2O": 1}}]
WATER_2B = {"name": "WATER", "mw": 18.015, "m": 1.0656, "sigma": 3.0007, "epsilon_k": 366.51, "sites": "2B",
            "epsilon_ab_k": 2500.7, "kappa_ab": 0.034868}
METHANOL_2B = {"name": "METHANOL", "mw": 32.042, "m": 1.5255, "sigma": 3.23, "epsilon_k": 188.9, "sites": (1, 1),
               "epsilon_ab_k": 2899.5, "kappa_ab": 0.035176}


@pytest.mark.parametrize("plain, file, model, settings, T, z", [
    (lambda: keld.Model.cubic(LIGHT_GASES, kij=[[0, 0.009, 0.032], [0.009, 0, 0], [0.032, 0, 0]]),
     "light-gases-srk.json", "cubic", None, 280.0, [0.85, 0.03, 0.12]),
    (lambda: keld.Model.cubic(AMW, mixing_rule="mhv2", excess_gibbs="unifac"),
     "acetone-methanol-water-mhv2.json", "cubic", {"mixing_rule": 4, "excess_model": 7}, 330.0, [0.3, 0.3, 0.4]),
    (lambda: keld.Model.pcsaft_assoc([WATER_2B, METHANOL_2B]), "water-methanol-pcsaft-assoc.json", "pcsaft-assoc",
     None, 298.15, [0.5, 0.5]),
])
def test_plain_cubic_and_associating_models_equal_their_cases(plain, file, model, settings, T, z):
    """Model.cubic (the shipped UNIFAC table by default) and Model.pcsaft_assoc (a scheme or site
    counts) give the residual the case's data set gives, in value and in pressure."""
    m = plain()
    names = [c[0] for c in m.components]
    built = keld.Model.from_case(_example(file), model, components=names, cubic=settings)
    for rho_fraction in (0.02, 0.5):
        rho = rho_fraction * float(m.max_density(T, z)[0])
        assert m.alphar(T, rho, z) == pytest.approx(built.alphar(T, rho, z), rel=1e-14)
        assert m.pressure(T, rho, z) == pytest.approx(built.pressure(T, rho, z), rel=1e-13)


def test_a_copolymer_by_its_segment_types_and_a_cross_association():
    """A copolymer of two segment types with the same parameters is the homopolymer with one bond
    fewer (each type's segments form a chain of their own: -x sum_s (N_s - 1) ln g_s), so the two
    differ by ln g of the hard-sphere contact value, exactly; a cross-association energy given for a
    non-associating partner changes the model."""
    seg = {"mw": 104.152, "segment_ratio": 0.019, "sigma": 4.1072, "epsilon_k": 267.0}
    copolymer = keld.Model.pcsaft_assoc([
        {"name": "PS", "mw": 1e4, "mw_apparent": 104.152,
         "segments": [{"name": "A", "mass_fraction": 0.4, **seg}, {"name": "B", "mass_fraction": 0.6, **seg}]},
        METHANOL_2B])
    homopolymer = keld.Model.pcsaft_assoc([
        {"name": "PS", "mw": 1e4, "mw_apparent": 104.152, "m": 0.019 * 1e4, "sigma": 4.1072, "epsilon_k": 267.0},
        METHANOL_2B])
    T, z = 320.0, [1.0, 0.0]
    for fraction in (0.01, 0.3, 0.6):
        rho = fraction * float(homopolymer.max_density(T, z)[0])
        eta = 0.74048 * fraction
        ln_g = math.log((1 - eta / 2) / (1 - eta) ** 3)
        assert copolymer.alphar(T, rho, z) - homopolymer.alphar(T, rho, z) == pytest.approx(ln_g, rel=1e-9)
    T = 320.0
    acceptor = {"name": "ACETONE", "mw": 58.08, "m": 2.7447, "sigma": 3.2742, "epsilon_k": 232.99, "sites": (1, 0)}
    plain = keld.Model.pcsaft_assoc([acceptor, METHANOL_2B])
    solvated = keld.Model.pcsaft_assoc([acceptor, METHANOL_2B], binaries=[
        {"first": "ACETONE", "second": "METHANOL", "epsilon_ab_k": 2000.0, "kappa_ab": 0.03}])
    z = [0.5, 0.5]
    rho = 0.5 * float(plain.max_density(T, z)[0])
    assert solvated.alphar(T, rho, z) < plain.alphar(T, rho, z) - 0.1


@pytest.mark.parametrize("call, error, words", [
    (lambda: keld.Model.cubic(LIGHT_GASES, mixing_rule="vdw"), ValueError, "mixing_rule"),
    (lambda: keld.Model.cubic(LIGHT_GASES, mixing_rule="mhv1", excess_gibbs="nrtl"), ValueError, ""),
    (lambda: keld.Model.cubic([{**LIGHT_GASES[0], "tc": -1.0}]), ValueError, "tc"),
    (lambda: keld.Model.cubic([{**LIGHT_GASES[0], "r": 1.0}, LIGHT_GASES[1]], excess_gibbs="uniquac"),
     ValueError, "components\\[0\\] lacks .q."),
    (lambda: keld.Model.cubic(AMW[:1], excess_gibbs="unifac", mixing_rule="mhv1",
                              unifac={"subgroups": [], "interactions": []}), ValueError, ""),
    (lambda: keld.Model.pcsaft_assoc([{**WATER_2B, "site": "2B"}]), ValueError, "site"),
    (lambda: keld.Model.pcsaft_assoc([{**WATER_2B, "sites": "9Z"}]), ValueError, ""),
    (lambda: keld.Model.pcsaft_assoc([{**WATER_2B, "sigma": -3.0}]), ValueError, "sigma"),
    (lambda: keld.Model.pcsaft_assoc([WATER_2B], binaries=[{"first": "WATER", "second": "X", "kij": 0.1}]),
     ValueError, "kij"),
])
def test_bad_plain_parameters_of_the_cubic_and_associating_models(call, error, words):
    with pytest.raises(error, match=words):
        call()
