"""Arguments of every public function: text, True/False or None where a number
belongs, and integers beyond what the compiled core takes, are refused with a
message naming the argument, never converted and never passed on to fail in the
binding layer."""
import fractions

import numpy as np
import pytest

import keld
import keld.equilibria as eq
from keld.arguments import ArgumentTypeError

Z = [1.0, 0.0]


def properties(case, **kwargs):
    arguments = dict(T=300.0, P=1e5, z=Z)
    arguments.update(kwargs)
    return case.properties(**arguments)


def properties_many(case, **kwargs):
    arguments = dict(T=[300.0, 310.0], P=1e5, z=Z)
    arguments.update(kwargs)
    return case.properties_many(**arguments)


# (call, argument name in the message, wrong type?): each refused before anything is computed.
REFUSED = [
    # real numbers
    (lambda c: properties(c, T="350"), "T", True),
    (lambda c: properties(c, P=b"1e5"), "P", True),
    (lambda c: properties(c, T=True), "T", True),
    (lambda c: properties(c, T=None), "T", True),
    (lambda c: properties(c, T=300 + 0j), "T", True),
    (lambda c: properties(c, T=np.array(["300"])), "T", True),
    (lambda c: properties(c, T=2**1100), "T", False),
    (lambda c: properties_many(c, T=["300", "310"]), "T", True),
    (lambda c: properties_many(c, T=[300.0, True]), "T", True),
    (lambda c: properties_many(c, P=np.array([True, False])), "P", True),
    (lambda c: properties_many(c, T=[[300.0], 310.0]), "T", True),
    # composition values
    (lambda c: properties(c, z={"TOLUENE": True}), r"z\['TOLUENE'\]", True),
    (lambda c: properties(c, z={"TOLUENE": "1"}), r"z\['TOLUENE'\]", True),
    (lambda c: properties(c, z=["1", "0"]), "z", True),
    (lambda c: properties(c, z=[np.True_, 0.0]), "z", True),
    (lambda c: properties_many(c, z=[[1, 0], [0, True]]), "z", True),
    (lambda c: properties(c, z={3: 1.0}), "component identifier", True),
    (lambda c: properties(c, z=[1.0], components="PS"), "components", True),
    # integers in range
    (lambda c: properties(c, diagnostics=2**63), "diagnostics", False),
    (lambda c: properties(c, diagnostics=-1), "diagnostics", False),
    (lambda c: properties(c, diagnostics="4"), "diagnostics", True),
    (lambda c: properties(c, data_set=2**64), "data_set", False),
    (lambda c: properties(c, data_set=1.0), "data_set", True),
    (lambda c: properties(c, flags=2**63), "request flag", False),
    (lambda c: properties(c, option=True), "option", True),
    (lambda c: properties(c, model="cubic", cubic={"mixing_rule": 2**63}), "cubic setting mixing_rule", False),
    (lambda c: properties(c, model="cubic", cubic={"excess_model": 0}), "cubic setting excess_model", False),
    (lambda c: properties(c, model="cubic", cubic={"alpha_option": 1}), "cubic setting alpha_option", False),
    (lambda c: properties(c, model="cubic", cubic=[("mixing_rule", 1)]), "cubic", True),
    (lambda c: properties(c, model="pcsaft-assoc", pcsaft_assoc={"association": ["full"]}), "association", False),
    (lambda c: properties_many(c, workers=2**62), "workers", False),
    (lambda c: properties_many(c, workers=2**32), "workers", False),
    (lambda c: properties_many(c, workers=257), "workers", False),
    (lambda c: properties_many(c, workers=np.float64(2.0)), "workers", True),
    (lambda c: c.evaluate(True), "state", True),
    (lambda c: c.evaluate(1.0), "state", True),
    # names
    (lambda c: properties(c, model=3), "model", False),
    (lambda c: properties(c, basis=["mass"]), "basis", False),
    (lambda c: c.molecular_weight(3), "component identifier", True),
    (lambda c: properties(c).ln_phi_of(1), "identifier", True),
    (lambda c: properties(c).ln_phi_of("STY"), "'STY' is not among the components", False),
    (lambda c: keld.Results.concatenate([properties(c)]), "parts must be Results", True),
]


@pytest.mark.parametrize("call, name, wrong_type", REFUSED)
def test_case_arguments_are_refused_by_name(ps_toluene, call, name, wrong_type):
    with pytest.raises(ValueError, match=name) as caught:
        call(ps_toluene)
    assert isinstance(caught.value, TypeError) == wrong_type
    assert "incompatible function arguments" not in str(caught.value)


# The phase-equilibrium functions, on the same case.
REFUSED_EQUILIBRIA = [
    (lambda c: eq.saturation(c, "TOLUENE", T="350"), "T", True),
    (lambda c: eq.saturation(c, "TOLUENE", T=[350.0, None]), "T", True),
    (lambda c: eq.saturation(c, "TOLUENE", T=350.0, data_set=2**63), "data_set", False),
    (lambda c: eq.saturation(c, "TOLUENE", T=350.0, data_set=True), "data_set", True),
    (lambda c: eq.saturation(c, "TOLUENE", T=350.0, data_set=0), "data_set", False),
    (lambda c: eq.saturation(c, 3, T=350.0), "component identifier", True),
    (lambda c: eq.saturation("case.json", "TOLUENE", T=350.0), "case", True),
    (lambda c: eq.vapour_pressure_curve(c, "TOLUENE", 350.0, points="4"), "points", True),
    (lambda c: eq.vapour_pressure_curve(c, "TOLUENE", 350.0, points=2.7), "points", True),
    (lambda c: eq.vapour_pressure_curve(c, "TOLUENE", 350.0, points=2**40), "points", False),
    (lambda c: eq.vapour_pressure_curve(c, "TOLUENE", 350.0, points=0), "points", False),
    (lambda c: eq.vapour_pressure_curve(c, "TOLUENE", "350"), "T_from", True),
    (lambda c: eq.vapour_pressure_curve(c, "TOLUENE", 350.0, T_to=True), "T_to", True),
    (lambda c: eq.activity(c, 298.15, {"TOLUENE": True}), r"w\['TOLUENE'\]", True),
    (lambda c: eq.activity(c, "298.15", {"TOLUENE": 1.0}), "T", True),
    (lambda c: eq.sorption(c, 298.15, {"TOLUENE": "1000"}), r"partial_pressures\['TOLUENE'\]", True),
    (lambda c: eq.sorption(c, 298.15, {"TOLUENE": 1000.0}, polymer_weights={"PS": "1"}), "polymer_weights", True),
    (lambda c: eq.sorption(c, 298.15, {}), "partial_pressures", False),
    (lambda c: eq.bubble_pressure(c, 298.15, {"TOLUENE": 0.7, "PS": "0.3"}), r"x\['PS'\]", True),
    (lambda c: eq.dew_temperature(c, "1e5", {"TOLUENE": 1.0}), "P", True),
    (lambda c: eq.flash(c, "298.15", 2000.0, {"TOLUENE": 0.3, "PS": 0.7}), "T", True),
    (lambda c: eq.flash(c, 298.15, 2000.0, {"TOLUENE": 0.3, "PS": 0.7}, data_set=2**63), "data_set", False),
    (lambda c: eq.lle(c, 300.0, True, ["TOLUENE", "PS"]), "P", True),
    (lambda c: eq.lle(c, 300.0, 1e5, "PS"), "components", True),
]


@pytest.mark.parametrize("call, name, wrong_type", REFUSED_EQUILIBRIA)
def test_equilibrium_arguments_are_refused_by_name(ps_toluene, call, name, wrong_type):
    with pytest.raises(ValueError, match=name) as caught:
        call(ps_toluene)
    assert isinstance(caught.value, TypeError) == wrong_type
    assert "incompatible function arguments" not in str(caught.value)


# (loader, arguments): the loaders' own arguments.
REFUSED_LOADING = [
    (keld.Case.load, dict(path=3), "path"),
    (keld.Case.load, dict(path="examples/polystyrene-toluene.json", initialise="no"), "initialise"),
    (keld.Case.from_json, dict(text=b"{}"), "text"),
    (keld.Case.from_json, dict(text="{}", origin=None), "origin"),
    (keld.Case.from_dict, dict(data={}, initialise=1), "initialise"),
]


@pytest.mark.parametrize("loader, kwargs, name", REFUSED_LOADING)
def test_loading_arguments_are_refused_by_name(loader, kwargs, name):
    with pytest.raises(TypeError, match=name) as caught:
        loader(**kwargs)
    assert isinstance(caught.value, ValueError)
    assert "incompatible function arguments" not in str(caught.value)


# Every kind of real number a caller may hold gives the float result, bit for bit.
ACCEPTED_REALS = [
    300, np.float32(300.0), np.int16(300), fractions.Fraction(600, 2), np.array(300.0), np.uint64(300),
]


@pytest.mark.parametrize("T", ACCEPTED_REALS)
def test_real_numbers_of_any_numeric_type_are_taken(ps_toluene, T):
    reference = properties(ps_toluene, T=300.0, z={"TOLUENE": 1.0})
    got = properties(ps_toluene, T=T, z={"TOLUENE": np.int64(1)})
    assert got.V == reference.V and got.H == reference.H


def test_integer_arguments_at_their_bounds_are_taken(ps_toluene):
    r = properties(ps_toluene, diagnostics=2**63 - 1, data_set=np.int32(1), flags=np.uint8(1))
    assert r.status == 1
    many = properties_many(ps_toluene, workers=256, T=np.array([300, 310], dtype=np.int64), z=[[1, 0], [1, 0]])
    assert many.status.tolist() == [1, 1]
    assert ps_toluene.evaluate(np.int64(-1)).status == ps_toluene.evaluate(len(ps_toluene.states) - 1).status
    curve = eq.vapour_pressure_curve(ps_toluene, "TOLUENE", 350, T_to=np.float64(360.0), points=np.int64(2))
    assert len(curve.T) == 2


def test_argument_errors_are_type_and_value_errors():
    assert issubclass(ArgumentTypeError, TypeError) and issubclass(ArgumentTypeError, ValueError)
