import json
import pathlib

import pytest

import keld

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
POLYSTYRENE_TOLUENE = EXAMPLES / "polystyrene-toluene.json"


@pytest.fixture(scope="module")
def ps_toluene():
    return keld.Case.load(POLYSTYRENE_TOLUENE)


@pytest.fixture
def ps_toluene_dict():
    return json.loads(POLYSTYRENE_TOLUENE.read_text())


def toluene_case(**extra_parameters):
    """Pure toluene with the PC-SAFT parameters of Gross and Sadowski (2001)."""
    pcsaft = {"PCSFTM": {"TOLUENE": 2.8149}, "PCSFTV / A": {"TOLUENE": 3.7169}, "PCSFTU / K": {"TOLUENE": 285.69}}
    pcsaft.update(extra_parameters)
    return {
        "components": [{"id": "TOLUENE", "kind": "ordinary", "MW / (kg/kmol)": 92.141}],
        "parameters": [{"pcsaft": pcsaft}],
        "states": [{"model": "pcsaft", "T / K": 298.15, "P / bar": 1.01325, "mole_fractions": {"TOLUENE": 1.0},
                    "phase": "liquid"}],
    }
