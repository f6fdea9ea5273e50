"""keld.database and the Model builders taking component names: lookup, units, sources, Mn."""
import numpy as np
import pytest

import keld

TOLUENE = {"name": "toluene", "mw": 92.141, "m": 2.8149, "sigma": 3.7169, "epsilon_k": 285.69}
STATE = dict(T=np.array([300.0, 350.0]), rho=np.array([8.0, 0.05]), z=[[0.9, 0.1], [0.9, 0.1]])


@pytest.mark.parametrize("query, name", [("toluene", "toluene"), ("n-hexane", "hexane"), ("HEXANE", "hexane"),
                                         ("110-54-3", "hexane"), ("PS", "polystyrene"), ("CO2", "carbon dioxide"),
                                         ("PVAc", "poly(vinyl acetate)")])
def test_names_synonyms_and_cas_find_one_component(query, name):
    assert keld.database.component(query)["name"] == name


@pytest.mark.parametrize("query, candidate", [("toluen", "toluene"), ("polystyren", "polystyrene"),
                                              ("C8H10", "p-xylene")])
def test_unknown_or_ambiguous_names_list_candidates(query, candidate):
    with pytest.raises(ValueError, match=candidate):
        keld.database.component(query)
    with pytest.raises(ValueError, match=candidate):
        keld.Model.pcsaft([query])


def test_parameters_carry_units_sources_and_validity():
    ps = keld.database.parameters("polystyrene", family="pcsaft")[0]
    assert ps["parameters"]["m_per_mw"] == {"value": 0.019, "unit": "mol/g", "text": "0.0190"}
    assert ps["parameters"]["sigma"]["unit"] == "Angstrom"
    assert "Polymer Thermodynamics" in ps["source"]["citation"]
    hdpe = keld.database.parameters("HDPE", family="sanchez-lacombe")
    assert [s["set"] for s in hdpe] == ["HDPE (set 1)", "HDPE (set 2)"]
    assert hdpe[0]["T_min"] == 415 and hdpe[0]["P_max"] == 200e6
    families = {s["family"] for s in keld.database.parameters("toluene")}
    assert {"pcsaft", "saft", "sanchez-lacombe", "cubic", "ideal-gas", "uniquac", "unifac"} <= families
    for s in keld.database.parameters("water"):
        assert s["source"]["citation"] and all(p["unit"] for k, p in s["parameters"].items() if k != "scheme")
    text = keld.database.show("n-hexane")
    assert "sigma         3.7983                Angstrom" in text and "doi:10.1021/ie0003887" in text
    with pytest.raises(ValueError, match="it has parameters of: pcsaft, sanchez-lacombe"):
        keld.database.parameters("polystyrene", family="cubic")


def test_search_orders_exact_matches_first():
    found = [c["name"] for c in keld.database.search("hexane")]
    assert found[0] == "hexane" and "cyclohexane" in found
    assert keld.database.search("zzzz") == []


def test_a_named_component_is_the_published_mapping():
    by_name = keld.Model.pcsaft(["toluene", "polystyrene"], Mn={"polystyrene": 1e5})
    ps = {"name": "polystyrene", "mw": 1e5, "m": 0.019 * 1e5, "sigma": 4.1071, "epsilon_k": 267.0,
          "mw_apparent": 104.152}
    explicit = keld.Model.pcsaft([TOLUENE, ps])
    np.testing.assert_allclose(by_name.alphar(**STATE), explicit.alphar(**STATE), rtol=1e-13)
    mixed = keld.Model.pcsaft([TOLUENE, "PS"], Mn={"PS": 1e5})
    np.testing.assert_allclose(mixed.alphar(**STATE), explicit.alphar(**STATE), rtol=1e-13)


def test_published_kij_apply_unless_given():
    named = keld.Model.pcsaft(["methane", "butane"])
    given = keld.Model.pcsaft(["methane", "butane"], kij=[[0, 0.022], [0.022, 0]])
    zero = keld.Model.pcsaft(["methane", "butane"], kij=np.zeros((2, 2)))
    np.testing.assert_allclose(named.alphar(**STATE), given.alphar(**STATE), rtol=1e-13)
    assert not np.allclose(named.alphar(**STATE), zero.alphar(**STATE), rtol=1e-6)


@pytest.mark.parametrize("components, Mn, message", [
    (["polystyrene"], None, "is a polymer"),
    (["toluene"], {"toluene": 1e4}, "not a polymer"),
    (["toluene", "polystyrene"], {"polystyrene": 1e5, "PS": 1e5}, "not components named"),
    (["polystyrene"], {"polystyrene": -5.0}, "Mn"),
    (["methanol"], None, "associates"),
])
def test_molar_masses_are_checked(components, Mn, message):
    with pytest.raises(ValueError, match=message):
        keld.Model.pcsaft(components, Mn=Mn)


def test_every_family_builds_from_names():
    liquid = dict(T=298.15, P=1e5, z=[1.0], phase="liquid")
    # Toluene's liquid density at 298.15 K (862 kg/m3), each family within its accuracy.
    for model, tol in ((keld.Model.pcsaft(["toluene"]), 0.015), (keld.Model.sanchez_lacombe(["toluene"]), 0.03)):
        assert model.properties(**liquid).rho[0] * 92.14 == pytest.approx(862.0, rel=tol)
    # SAFT: v00 arrives in m3/kmol (the table's 11.789 cm3/mol).
    saft = keld.Model.saft(["toluene"])
    explicit = keld.Model.saft([{"name": "toluene", "mw": 92.141, "m": 4.373, "v00": 0.011789, "u0_k": 245.27,
                                 "e_k": 10.0}])
    assert saft.properties(**liquid).rho[0] == pytest.approx(explicit.properties(**liquid).rho[0], rel=1e-12)
    methanol = keld.Model.pcsaft_assoc(["methanol"])
    assert methanol.properties(**liquid).rho[0] * 32.042 == pytest.approx(787.0, rel=0.02)
    propane = keld.Model.cubic(["propane"])
    assert propane.properties(T=300.0, P=2e6, z=[1.0], phase="liquid").rho[0] > 10.0
    sl = keld.Model.sanchez_lacombe(["toluene", "PS"], Mn={"PS": 1e5})
    assert len(sl) == 2 and sl.components[1][2] == pytest.approx(104.152)
    with pytest.raises(ValueError, match="no saft parameters for polystyrene"):
        keld.Model.saft(["polystyrene"])


def test_ideal_gas_cp_inside_its_range():
    assert keld.database.ideal_gas_cp("water", 298.15) / 1000 == pytest.approx(33.59, rel=0.01)
    with pytest.raises(ValueError, match="holds from"):
        keld.database.ideal_gas_cp("water", 5000.0)


def test_database_heat_capacities_give_the_speed_of_sound():
    """Nitrogen gas at 300 K and 1 bar: 353.2 m/s (Span et al. 2000); a polymer has no correlation."""
    nitrogen = keld.Model.pcsaft(["nitrogen"])
    r = nitrogen.properties(300.0, [1.0], P=1e5, phase="vapour", ideal_gas_cp="database")
    assert float(r.speed_of_sound[0]) == pytest.approx(353.2, rel=3e-3)
    assert np.isnan(nitrogen.properties(5000.0, [1.0], P=1e5, phase="vapour", ideal_gas_cp="database").cp[0])
    solution = keld.Model.pcsaft(["toluene", "polystyrene"], Mn={"polystyrene": 1e5})
    with pytest.raises(ValueError, match="polystyrene.*give the coefficients"):
        solution.properties(300.0, [0.99, 0.01], P=1e5, ideal_gas_cp="database")
