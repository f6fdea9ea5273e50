"""Loading cases from files and dicts, the states they carry, and faulty input."""
import math

import numpy as np
import pytest

import keld
from conftest import EXAMPLES, toluene_case


@pytest.mark.parametrize("path", sorted(EXAMPLES.glob("*.json")), ids=lambda p: p.name)
def test_every_example_state_evaluates(path):
    case = keld.Case.load(path)
    assert case.states, f"{path.name} has no state"
    for i, state in enumerate(case.states):
        r = case.evaluate(i)
        assert r.status == 1, (state["label"], r.messages)
        assert r.components == tuple(state["components"])
        assert math.isfinite(r.V) and r.V > 0
        if state["flags"]["ln_phi"] & 1:
            assert np.all(np.isfinite(r.ln_phi))


def test_state_descriptions_follow_the_file(ps_toluene):
    first = ps_toluene.states[0]
    assert first["label"] == "PC-SAFT 298.15 K" and first["model"] == "pcsaft"
    assert first["T"] == 298.15 and first["P"] == 101325 and first["phase"] == "liquid"
    # 30 wt % polymer, converted to apparent mole fractions with the repeat unit's MW
    moles = {"TOLUENE": 0.7 / 92.141, "PS": 0.3 / 104.152}
    total = sum(moles.values())
    assert first["z"] == pytest.approx([moles[c] / total for c in first["components"]], rel=1e-14)
    # "properties": "all", "derivatives": ["lnphi", "H", "V"]
    assert first["flags"] == {"ln_phi": 3, "H": 3, "S": 1, "G": 1, "V": 3}


def test_states_by_label_and_index_agree(ps_toluene):
    by_label = ps_toluene.evaluate("SL 350 K")
    by_index = ps_toluene.evaluate(4)
    assert by_label.model == "sanchez-lacombe" and by_label.T == 350
    assert by_label.H == by_index.H and np.array_equal(by_label.ln_phi, by_index.ln_phi)
    assert ps_toluene.evaluate(-1).T == ps_toluene.states[-1]["T"]
    with pytest.raises(IndexError, match="6 state"):
        ps_toluene.evaluate(6)
    with pytest.raises(KeyError, match="no state labelled"):
        ps_toluene.evaluate("PC-SAFT 1000 K")


def test_dict_case_equals_file_case(ps_toluene, ps_toluene_dict):
    from_dict = keld.Case.from_dict(ps_toluene_dict)
    assert from_dict.origin == "<dict>"
    assert from_dict.title == ps_toluene.title != ""
    for i in range(len(ps_toluene.states)):
        a, b = ps_toluene.evaluate(i), from_dict.evaluate(i)
        assert (a.H, a.V, a.status) == (b.H, b.V, b.status)
        assert np.array_equal(a.ln_phi, b.ln_phi)


def test_components_report_kind_and_molecular_weights(ps_toluene):
    kinds = {c["identifier"]: (c["kind"], c["MW"], c["MWN"]) for c in ps_toluene.components}
    assert kinds == {"TOLUENE": ("ordinary", 92.141, 92.141), "STY": ("segment", 104.152, 104.152),
                     "PS": ("polymer", 104.152, 100000.0)}
    assert ps_toluene.phase_components == ["TOLUENE", "PS"]
    assert ps_toluene.molecular_weight("ps") == 104.152


class TestFaultyCasesNameThePlace:
    def test_unknown_key(self, ps_toluene_dict):
        ps_toluene_dict["components"][2]["density"] = 1050
        with pytest.raises(keld.CaseError, match=r"components\[2\]\.density.*unknown key") as caught:
            keld.Case.from_dict(ps_toluene_dict)
        assert caught.value.where == "<dict>:components[2].density"

    def test_case_error_is_a_value_error(self, ps_toluene_dict):
        ps_toluene_dict["states"][1]["T / K"] = -5
        with pytest.raises(ValueError, match=r'states\[1\]\["T / K"\]: T must be positive'):
            keld.Case.from_dict(ps_toluene_dict)

    @pytest.mark.parametrize("text, where", [(None, ""), ('{\n  "components": [,]\n}\n', ":2:")])
    def test_unreadable_file_and_syntax_error(self, tmp_path, text, where):
        path = tmp_path / "case.json"
        if text is not None:
            path.write_text(text)
        with pytest.raises(keld.CaseError) as caught:
            keld.Case.load(path)
        assert caught.value.where.startswith(f"{path}{where}")

    def test_dict_that_is_not_json(self):
        with pytest.raises(keld.CaseError, match="not representable as JSON") as caught:
            keld.Case.from_dict({"components": [{"id": "X", "MW / (kg/kmol)": float("nan")}]})
        assert caught.value.where == "<dict>"

    def test_deep_nesting(self):
        nested = []
        for _ in range(100000):
            nested = [nested]
        with pytest.raises(keld.CaseError, match="nested too deeply"):
            keld.Case.from_dict({"components": nested})
        with pytest.raises(keld.CaseError, match="nested deeper than 64 levels"):
            keld.Case.from_json('{"components": ' + "[" * 70 + "]" * 70 + "}")


def test_initialisation_reports_missing_parameters():
    case = keld.Case.from_dict(toluene_case(), initialise=False)
    assert case.initialisation_messages == {}
    assert case.initialise("pcsaft") == []

    incomplete = toluene_case()
    del incomplete["parameters"][0]["pcsaft"]["PCSFTU / K"]
    case = keld.Case.from_dict(incomplete)
    lines = case.initialisation_messages["pcsaft"]
    assert all(isinstance(line, str) for line in lines)
    assert any("PCSFTU" in line and "TOLUENE" in line for line in lines)
    assert case.initialise("pcsaft") == lines  # reported again, identically
    with pytest.raises(ValueError, match="unknown model 'lattice'.*pcsaft"):
        case.initialise("lattice")


def test_database_components_evaluate_as_their_typed_values():
    states = """"states": [{"model": "pcsaft", "T / K": 300, "P / bar": 1, "phase": "liquid",
                            "mass_fractions": {"A": 0.6, "B": 0.4}}]"""
    named = keld.Case.from_json(
        '{"components": [{"id": "A", "database": "Toluene"}, {"id": "B", "database": "n-hexane"}], '
        + states + "}")
    typed = keld.Case.from_json(
        """{"components": [{"id": "A", "MW / (kg/kmol)": 92.141}, {"id": "B", "MW / (kg/kmol)": 86.177}],
            "parameters": [{"pcsaft": {"PCSFTM": {"A": 2.8149, "B": 3.0576}, "PCSFTV / A": {"A": 3.7169, "B": 3.7983},
                                       "PCSFTU / K": {"A": 285.69, "B": 236.77}}}], """ + states + "}")
    a, b = named.evaluate(0), typed.evaluate(0)
    assert a.status == 1
    assert np.array_equal(a.ln_phi, b.ln_phi) and a.H == b.H and a.V == b.V
    assert [(u["component"], u["entry"]) for u in named.database] == [("A", "toluene"), ("B", "hexane")]
    assert named.database[0]["sets"][0]["source"] == "GS2001"
    assert typed.database == []


def test_an_unknown_database_name_lists_candidates():
    with pytest.raises(keld.CaseError, match=r"components\[0\]\.database.*\"A\".*toluene"):
        keld.Case.from_json('{"components": [{"id": "A", "database": "toluen"}], "states": []}')
