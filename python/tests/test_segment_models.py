"""The segment-based models from Python: the copolymer example through each of them gives its
stored-parameter counterpart's values, and no temperature derivatives."""
import math

import numpy as np
import pytest

import keld
from conftest import EXAMPLES

PAIRS = [("pcsaft-segment", "pcsaft"), ("saft-segment", "saft-stored"),
         ("sanchez-lacombe-segment", "sanchez-lacombe")]


@pytest.mark.parametrize("segment, stored", PAIRS)
def test_segment_model_gives_the_stored_values(segment, stored):
    case = keld.Case.load(EXAMPLES / "ethylene-styrene-copolymer-toluene.json")
    z = {"TOLUENE": 0.85, "PES": 0.15}
    a = case.properties(T=340.0, P=2e5, z=z, basis="mass", model=segment)
    b = case.properties(T=340.0, P=2e5, z=z, basis="mass", model=stored, flags=1)
    assert a.status == 1 and b.status == 1
    assert a.ln_phi == pytest.approx(b.ln_phi, rel=1e-12)
    for name in ("H", "S", "G", "V"):
        assert getattr(a, name) == pytest.approx(getattr(b, name), rel=1e-12), name
    assert math.isnan(a.dH_dT) and np.all(np.isnan(a.d_ln_phi_dT))
