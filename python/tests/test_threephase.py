"""Three phases from Python: the flash's phases and the three-phase line's
points re-evaluated by the model's properties at each phase's T, density and
composition; keld.equilibria.flash(..., phases=3) gives the same split as
flash3; the line plots; bad requests raise or say why."""
import numpy as np
import pytest

import keld
from keld.threephase import flash3, vlle_line

from conftest import EXAMPLES


@pytest.fixture(scope="module")
def ternary_case():
    return keld.Case.load(EXAMPLES / "methanol-hexane-methane-pcsaft-assoc.json")


@pytest.fixture(scope="module")
def binary():
    case = keld.Case.load(EXAMPLES / "methanol-hexane-pcsaft-assoc.json")
    return keld.Model.from_case(case, "pcsaft-assoc", components=["METHANOL", "HEXANE"])


def ln_fugacities(model, T, rho, x):
    p = model.properties(T, np.asarray(x)[None, :], rho=rho, composition_derivatives=False)
    P = float(np.ravel(p.P)[0])
    with np.errstate(divide="ignore"):
        return np.log(np.asarray(x) * P) + np.ravel(p.ln_phi), P


def test_flash3_gives_two_liquids_and_a_gas_that_coexist(ternary_case):
    z = np.array([0.1, 0.5, 0.4])
    f = flash3(ternary_case, 185.0, 1e5, z, model="pcsaft-assoc")
    assert f.converged, f.message
    assert [p.kind for p in f.phases] == ["liquid", "liquid", "vapour"]
    model = keld.Model.from_case(ternary_case, "pcsaft-assoc")
    fugacities = [ln_fugacities(model, 185.0, 1.0 / p.V, p.x)[0] for p in f.phases]
    for other in fugacities[1:]:
        assert np.max(np.abs(other - fugacities[0])) <= 1e-10
    held = sum(p.fraction * p.x for p in f.phases)
    assert np.max(np.abs(held - z)) <= 1e-12
    # The same split through keld.equilibria.flash, the feed given by identifier.
    g = keld.equilibria.flash(ternary_case, 185.0, 1e5, {"METHANOL": 0.1, "HEXANE": 0.5, "CH4": 0.4},
                              model="pcsaft-assoc", phases=3)
    assert g.converged and len(g.phases) == 3
    for a, b in zip(f.phases, g.phases):
        assert a.kind == b.kind
        np.testing.assert_allclose(a.x, b.x, rtol=0, atol=1e-12)
    # With at most two phases the answer is two, and the flash through the monitors is unchanged.
    two = flash3(ternary_case, 185.0, 1e5, z, model="pcsaft-assoc", phases=2)
    assert two.converged and len(two.phases) == 2


def test_vlle_line_ends_at_its_upper_critical_end_point(binary, tmp_path):
    line = vlle_line(binary, 170.0)
    assert line.converged, line.message
    assert line.components == ("METHANOL", "HEXANE")
    assert np.all(np.diff(line.T) > 0) and np.all(np.diff(line.P) > 0)
    for k in range(len(line.T)):
        x1, x2, y = ([v[k], 1 - v[k]] for v in (line.x1, line.x2, line.y))
        f1, _ = ln_fugacities(binary, line.T[k], line.rho1[k], x1)
        f2, _ = ln_fugacities(binary, line.T[k], line.rho2[k], x2)
        fv, pv = ln_fugacities(binary, line.T[k], line.rho_vapour[k], y)
        assert np.max(np.abs(f1 - fv)) <= 1e-10 and np.max(np.abs(f2 - fv)) <= 1e-10
        assert pv == pytest.approx(line.P[k], rel=1e-12)
    T, P, x, y = line.end_point
    assert line.x1[-1] == line.x2[-1] == x
    assert line.x1[-2] > x > line.x2[-2]
    assert abs(line.eigenvalue) <= 1e-10 and abs(line.cubic_form) <= 1e-10
    ax = line.plot(tmp_path / "vlle.png")
    assert (tmp_path / "vlle.png").stat().st_size > 0
    assert ax.get_ylabel() == "P / Pa"


def test_bad_requests_raise_or_say_why(binary, ternary_case):
    above = vlle_line(binary, 250.0)
    assert above.status == "no solution" and len(above.T) == 0 and above.end_point is None
    with pytest.raises(ValueError, match="two components"):
        vlle_line(ternary_case, 170.0, model="pcsaft-assoc")
    with pytest.raises(ValueError, match="phases must be 2 or 3"):
        flash3(ternary_case, 185.0, 1e5, [0.1, 0.5, 0.4], model="pcsaft-assoc", phases=4)
    with pytest.raises(ValueError, match="one per component"):
        flash3(ternary_case, 185.0, 1e5, [0.5, 0.5], model="pcsaft-assoc")
    with pytest.raises(ValueError, match="positive"):
        flash3(ternary_case, -5.0, 1e5, [0.1, 0.5, 0.4], model="pcsaft-assoc")
