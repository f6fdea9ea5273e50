"""The density example: physical trends of the curves it draws, and the PNG."""
import importlib.util

import numpy as np
import pytest

from conftest import EXAMPLES

spec = importlib.util.spec_from_file_location("plot_density", EXAMPLES / "plot_density.py")
plot_density = importlib.util.module_from_spec(spec)
spec.loader.exec_module(plot_density)

TEMPERATURES = np.linspace(280.0, 450.0, 12)


@pytest.mark.parametrize("model", ["sanchez-lacombe", "pcsaft"])
def test_density_falls_with_temperature_and_rises_with_polymer(ps_toluene, model):
    curves = np.array([plot_density.liquid_density(ps_toluene, model, TEMPERATURES, w)
                       for w in plot_density.WEIGHT_FRACTIONS])
    assert np.all(np.isfinite(curves))
    assert np.all(np.diff(curves, axis=1) < 0)  # thermal expansion
    assert np.all(np.diff(curves, axis=0) > 0)  # polystyrene is denser than toluene


@pytest.mark.parametrize("model", ["sanchez-lacombe", "pcsaft"])
def test_absent_polymer_gives_the_pure_solvent(ps_toluene, model):
    with_zero_polymer = plot_density.liquid_density(ps_toluene, model, TEMPERATURES, 0.0)
    pure = ps_toluene.properties_many(T=TEMPERATURES, P=plot_density.PRESSURE, z={"TOLUENE": 1.0}, model=model)
    assert with_zero_polymer == pytest.approx(92.141 / pure.V, rel=1e-10)


def test_plot_writes_a_png(ps_toluene, tmp_path):
    output = tmp_path / "density.png"
    plot_density.plot(ps_toluene, output)
    assert output.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
