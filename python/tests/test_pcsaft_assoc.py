"""The associating PC-SAFT model from Python: values only (no temperature derivatives on its
model path, said rather than returned as zeros), its settings, and a case state reproduced."""
import math

import pytest

import keld
from conftest import EXAMPLES

WATER_METHANOL = EXAMPLES / "water-methanol-pcsaft-assoc.json"


@pytest.fixture(scope="module")
def water_methanol():
    return keld.Case.load(WATER_METHANOL)


def test_model_says_it_has_no_temperature_derivatives(water_methanol):
    entry = next(m for m in keld.models() if m["name"] == "pcsaft-assoc")
    assert entry["temperature_derivatives"] is False
    r = water_methanol.properties(T=298.15, P=1e5, z={"WATER": 0.5, "METHANOL": 0.5}, model="pcsaft-assoc",
                                  data_set=2)
    assert r.status == 1
    assert all(math.isfinite(v) for v in (r.H, r.S, r.G, r.V)) and math.isfinite(r.ln_phi[0])
    assert math.isnan(r.dH_dT) and math.isnan(r.d_ln_phi_dT[0])
    with pytest.raises(ValueError, match="no temperature derivatives"):
        water_methanol.properties(T=298.15, P=1e5, z=[0.5, 0.5], model="pcsaft-assoc", flags=3)


def test_settings_and_case_states(water_methanol):
    z = {"WATER": 0.5, "METHANOL": 0.5}
    host = water_methanol.properties(T=298.15, P=1e5, z=z, model="pcsaft-assoc", data_set=2)
    own = water_methanol.properties(T=298.15, P=1e5, z=z, model="pcsaft-assoc", data_set=2,
                                    pcsaft_assoc={"root_search": "own"})
    assert own.V == pytest.approx(host.V, rel=1e-6)
    off = water_methanol.properties(T=298.15, P=1e5, z=z, model="pcsaft-assoc", data_set=2,
                                    pcsaft_assoc={"association": "off"})
    assert off.V > 1.5 * host.V  # without hydrogen bonds the mixture is barely a liquid
    with pytest.raises(ValueError, match="unknown root_search"):
        water_methanol.properties(T=298.15, P=1e5, z=z, model="pcsaft-assoc", pcsaft_assoc={"root_search": "x"})
    stored = water_methanol.evaluate(1)
    assert stored.H == host.H and stored.G == host.G
