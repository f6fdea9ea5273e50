"""The ternary liquid-liquid diagram and flash from Python: every tie line has
equal fugacities and pressures when the model's properties are evaluated again;
the plait point ends the binodal; a feed on a tie line flashes back to it; the
diagram plots; bad requests raise."""
import numpy as np
import pytest

import keld
from keld.equilibria import ternary_flash, ternary_lle

from conftest import EXAMPLES

T, P = 298.15, 1e5


@pytest.fixture(scope="module")
def model():
    case = keld.Case.load(EXAMPLES / "polystyrene-toluene-methanol-pcsaft-assoc.json")
    return keld.Model.from_case(case, "pcsaft-assoc", components=["TOLUENE", "METHANOL", "PS"])


@pytest.fixture(scope="module")
def diagram(model):
    return ternary_lle(model, T, P, nonsolvent="METHANOL")


def ln_fugacities(model, rho, x):
    p = model.properties(T, np.asarray(x)[None, :], rho=rho, composition_derivatives=False)
    pressure = float(np.ravel(p.P)[0])
    return np.log(np.asarray(x) * pressure) + np.ravel(p.ln_phi), pressure


def test_tie_lines_coexist_and_end_at_the_plait_point(model, diagram):
    assert diagram.converged, diagram.message
    assert diagram.roles == (0, 1, 2)
    assert diagram.w_lean.shape == diagram.w_rich.shape == (len(diagram.rho_lean), 3)
    for k in range(0, len(diagram.rho_lean), 7):
        f1, p1 = ln_fugacities(model, diagram.rho_lean[k], diagram.x_lean[k])
        f2, p2 = ln_fugacities(model, diagram.rho_rich[k], diagram.x_rich[k])
        assert np.max(np.abs(f1 - f2)) <= 1e-10
        assert abs(p1 / P - 1.0) <= 1e-10 and abs(p2 / P - 1.0) <= 1e-10
    lengths = np.linalg.norm(diagram.w_rich - diagram.w_lean, axis=1)
    assert lengths[0] > 0.5 and lengths[-1] < 0.02 * lengths[0]
    assert np.linalg.norm(diagram.w_lean[-1] - diagram.plait.w) < 0.02
    assert abs(diagram.plait.w.sum() - 1.0) < 1e-12


def test_feed_on_a_tie_line_flashes_back_to_it(model, diagram):
    k = len(diagram.rho_lean) // 2
    z = 0.6 * diagram.x_lean[k] + 0.4 * diagram.x_rich[k]
    f = ternary_flash(model, T, P, z, nonsolvent="METHANOL")
    assert f.converged, f.message
    assert f.tpd < 0.0
    assert f.beta == pytest.approx(0.4, abs=1e-7)
    np.testing.assert_allclose(f.lean.w, diagram.w_lean[k], atol=1e-7)
    np.testing.assert_allclose(f.rich.w, diagram.w_rich[k], atol=1e-7)
    stable = ternary_flash(model, T, P, [0.9, 0.05, 0.001], nonsolvent="METHANOL")
    assert stable.status == "single phase" and stable.tpd >= -1e-10


def test_plot_draws_the_triangle(diagram, tmp_path):
    pytest.importorskip("matplotlib")
    import matplotlib
    matplotlib.use("Agg")
    path = tmp_path / "ternary.png"
    ax = diagram.plot(str(path))
    assert path.stat().st_size > 10000
    labels = [line.get_label() for line in ax.get_lines()]
    assert "binodal" in labels and "plait point" in labels and "tie lines" in labels


@pytest.mark.parametrize("kwargs, match", [
    (dict(nonsolvent="PS"), "is the polymer"),
    (dict(nonsolvent="WATER"), "no component"),
    (dict(T=-1.0), "positive"),
])
def test_bad_requests_raise(model, kwargs, match):
    args = dict(T=T, P=P)
    args.update(kwargs)
    with pytest.raises(ValueError, match=match):
        ternary_lle(model, **args)


def test_a_binary_model_is_refused(model):
    case = keld.Case.load(EXAMPLES / "polystyrene-toluene-methanol-pcsaft-assoc.json")
    binary = keld.Model.from_case(case, "pcsaft-assoc", components=["TOLUENE", "PS"])
    with pytest.raises(ValueError, match="three components"):
        ternary_lle(binary, T, P)
