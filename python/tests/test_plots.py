"""Plots of results (result.plot()) and of `keld ... --plot`: what varies names
the curves, computed points are marked, pressures are scaled to kPa/MPa without
an offset, and every axis label carries its unit."""
import json
import subprocess
import sys

import numpy as np
import pytest

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import keld  # noqa: E402
import keld.equilibria as eq  # noqa: E402
from keld import plots  # noqa: E402
from conftest import EXAMPLES, POLYSTYRENE_TOLUENE  # noqa: E402

HEXANE = EXAMPLES / "hexane-vapour-pressure.json"
METHANE_HEXANE = EXAMPLES / "methane-hexane.json"


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


def drawn(ax):
    """The labelled lines of an Axes: label -> (x, y, marker, linestyle)."""
    return {line.get_label(): (line.get_xdata(), line.get_ydata(), line.get_marker(), line.get_linestyle())
            for line in ax.get_lines() if not line.get_label().startswith("_")}


@pytest.mark.parametrize("largest, unit", [(500.0, "Pa"), (101325.0, "kPa"), (999.0e3, "kPa"),
                                           (1.0e6, "MPa"), (5.0e7, "MPa"), (float("nan"), "Pa")])
def test_pressure_unit_follows_the_size(largest, unit):
    assert plots.pressure_unit(largest)[1] == unit


def test_properties_over_temperature(ps_toluene):
    T = np.linspace(280.0, 400.0, 13)
    r = ps_toluene.properties_many(T=T, P=101325.0, z={"TOLUENE": 0.7, "PS": 0.3}, basis="mass", model="pcsaft")
    ax = r.plot()
    assert ax.get_xlabel() == "T / K" and ax.get_ylabel() == "V / (m3/kmol)"
    assert "PC-SAFT" in ax.get_title() and "P = 101.3 kPa" in ax.get_title()
    (x, y, marker, style), = drawn(ax).values()
    assert np.array_equal(x, T) and np.allclose(y, r.V)
    assert marker == "o" and style == "None"  # 13 points: marked, not joined by straight lines


def test_properties_over_pressure_in_megapascal(ps_toluene):
    P = np.linspace(1e5, 5e7, 30)
    r = ps_toluene.properties_many(T=300.0, P=P, z={"TOLUENE": 1.0}, model="pcsaft")
    ax = r.plot(y="ln_phi[toluene]")
    assert ax.get_xlabel() == "P / MPa" and ax.get_ylabel() == "ln phi(toluene)"
    (x, _, marker, style), = drawn(ax).values()
    assert x == pytest.approx(P / 1e6) and marker == "o" and style == "-"
    assert ax.yaxis.get_major_formatter().get_useOffset() is False
    assert "T = 300 K" in ax.get_title()


def test_failed_states_are_left_out(ps_toluene):
    r = ps_toluene.properties_many(T=[300.0, 310.0, 320.0], P=1e5, z={"TOLUENE": 1.0}, model="pcsaft")
    failed = type(r)(**{**r.__dict__, "status": np.array([1, 0, 1])})
    (x, _, _, _), = drawn(failed.plot()).values()
    assert list(x) == [300.0, 320.0]


@pytest.mark.parametrize("kwargs, message", [({"y": "rho"}, "y must be"), ({"x": "z"}, "x must be"),
                                              ({"y": "ln_phi[PS]"}, "not among the components")])
def test_properties_plot_refuses_what_it_cannot_draw(ps_toluene, kwargs, message):
    r = ps_toluene.properties_many(T=[300.0, 310.0], P=1e5, z={"TOLUENE": 1.0}, model="pcsaft")
    with pytest.raises(ValueError, match=message):
        r.plot(**kwargs)


def test_sorption_isotherm_marks_its_few_points(ps_toluene):
    a = eq.activity(ps_toluene, 298.15, {"TOLUENE": [0.1, 0.2, 0.3, 0.4, 0.5], "PS": [0.9, 0.8, 0.7, 0.6, 0.5]})
    ax = a.plot()
    (x, y, marker, style), = drawn(ax).values()
    assert marker == "o" and style == "None" and len(x) == 5
    assert np.allclose(y, a.activity[:, 0])
    assert ax.get_xlabel() == "weight fraction of TOLUENE / (kg/kg)"
    assert "298.1" in ax.get_title() and "PC-SAFT" in ax.get_title()


def test_pxy_diagram_in_megapascal():
    case = keld.Case.load(METHANE_HEXANE)
    x = np.linspace(0.05, 0.5, 10)
    b = eq.bubble_pressure(case, 350.0, {"CH4": x, "HEXANE": 1 - x})
    ax = b.plot()
    lines = drawn(ax)
    assert set(lines) == {"bubble line (liquid)", "dew line (vapour)"}
    assert ax.get_ylabel() == "P / MPa"
    ok = b.converged
    assert ok.sum() >= 8
    assert lines["bubble line (liquid)"][1][: ok.sum()] == pytest.approx(b.P[ok] / 1e6)
    assert ax.get_xlabel() == "mole fraction of CH4 / (mol/mol)"


def test_vapour_pressure_curve_with_data():
    case = keld.Case.load(HEXANE)
    s = eq.vapour_pressure_curve(case, "HEXANE", 280.0, 340.0, points=7)
    ax = s.plot(data=([300.0], [2.0e4]))
    assert ax.get_yscale() == "log" and ax.get_ylabel() == "P_sat / kPa"
    lines = drawn(ax)
    assert lines["data"][1] == pytest.approx([20.0])
    assert lines["PC-SAFT"][1] == pytest.approx(s.P / 1e3)


def test_plot_draws_on_a_given_axes(ps_toluene):
    _, ax = plt.subplots()
    r = ps_toluene.properties_many(T=[300.0, 310.0], P=1e5, z={"TOLUENE": 1.0}, model="pcsaft")
    assert r.plot(ax=ax) is ax


# --- the keld command ---------------------------------------------------------

def keld_plot(tmp_path, *args):
    out = tmp_path / "plot.json"
    done = subprocess.run([sys.executable, "-m", "keld", *args, "--plot", str(out)], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    return json.loads(out.read_text())


def test_sweep_draws_one_curve_per_distinct_state(tmp_path):
    # Three PC-SAFT and three Sanchez-Lacombe states differ only in T: swept over T, two curves remain.
    plot = keld_plot(tmp_path, "sweep", "--T", "280:400:13", str(POLYSTYRENE_TOLUENE))
    assert [s["label"] for s in plot["series"]] == ["PC-SAFT", "Sanchez-Lacombe"]
    assert all(s["style"] == "computed" and len(s["x"]) == 13 for s in plot["series"])
    assert plot["title"].startswith("Polystyrene")
    assert "P = 101.3 kPa" in plot["title"] and "liquid" in plot["title"]
    assert plot["x_label"] == "T / K" and plot["y_label"] == "V / (m3/kmol)"


def test_sweep_over_pressure_is_scaled_and_names_the_fixed_temperatures(tmp_path):
    plot = keld_plot(tmp_path, "sweep", "--P", "1e5:2e7:5", "--state", "1", str(POLYSTYRENE_TOLUENE))
    assert plot["x_label"] == "P / MPa"
    assert plot["series"][0]["x"] == pytest.approx([0.1, 5.075, 10.05, 15.025, 20.0])
    assert "T = 298.1 K" in plot["title"] or "T = 298.2 K" in plot["title"]
    every = keld_plot(tmp_path, "sweep", "--P", "1e5:2e7:5", str(POLYSTYRENE_TOLUENE))
    labels = [s["label"] for s in every["series"]]
    assert len(labels) == 6 and "PC-SAFT, T = 350 K" in labels and "Sanchez-Lacombe, T = 380 K" in labels


def test_pxy_of_the_command_is_scaled(tmp_path):
    plot = keld_plot(tmp_path, "bubble", "--x", "0.05:0.5:10", "--state", "2", str(METHANE_HEXANE))
    assert plot["y_label"] == "P / MPa"
    assert max(max(s["y"]) for s in plot["series"]) < 100.0
    assert "CH4 + HEXANE" in plot["title"] and "T = 350 K" in plot["title"] and "PC-SAFT" in plot["title"]


def test_demixing_command_reads_temperatures_in_celsius_too(tmp_path):
    # 290-300 K crosses the UCST: the command exits 2 for the rows without demixing, and draws all.
    for out in (tmp_path / "lle.json", tmp_path / "lle.png"):
        done = subprocess.run([sys.executable, "-m", "keld", "lle", "--T", "290:300:3", "--plot", str(out),
                               str(EXAMPLES / "polystyrene-cyclohexane.json")], capture_output=True, text=True)
        assert done.returncode in (0, 2) and out.stat().st_size > 0, done.stderr
    plot = json.loads((tmp_path / "lle.json").read_text())
    assert plot["y_label"] == "T / K" and plot["celsius_axis"] == "y"


def test_demixing_marks_few_temperatures_and_stars_the_critical_point():
    case = keld.Case.load(EXAMPLES / "polystyrene-cyclohexane.json")
    r = eq.lle(case, np.linspace(270.0, 300.0, 7), 101325.0, ["CYCLOHEX", "PS"])
    ax = r.plot()
    lines = drawn(ax)
    assert set(lines) == {"binodal (cloud points)", "spinodal", "critical solution point"}
    for name in ("binodal (cloud points)", "spinodal"):
        assert lines[name][2] == "o" and lines[name][3] == "None"  # 12 points: marked, not joined
    assert lines["critical solution point"][1] == pytest.approx([r.critical[0]["T"]])
    assert ax.get_xlabel() == "weight fraction of PS / (kg/kg)" and ax.get_ylabel() == "T / K"
    assert "P = 101.3 kPa" in ax.get_title()
