"""One vocabulary of names and units: the package's columns read as the keld
command's, numbers are written in their shortest exact text, and each quantity
says on which basis a polymer is counted."""
import csv
import io
import os
import subprocess
import sys

import numpy as np
import pytest

import keld
from keld import equilibria, vocabulary

from conftest import POLYSTYRENE_TOLUENE, toluene_case

CASE = str(POLYSTYRENE_TOLUENE)
HEXANE = str(POLYSTYRENE_TOLUENE.parent / "hexane-vapour-pressure.json")


def keld_command(*args):
    run = subprocess.run([sys.executable, "-m", "keld", *args], capture_output=True, text=True,
                         env=dict(os.environ), timeout=300)
    assert run.returncode == 0, run.stderr
    return run.stdout


@pytest.mark.parametrize("name, component, expected", [
    ("T", None, "T / K"),
    ("V", None, "V / (m3/kmol)"),
    ("dS_dT", None, "dS_dT / (J/(kmol K2))"),
    ("dH_vap", None, "dH_vap / (J/kmol)"),
    ("ln_phi", "TOLUENE", "ln_phi[TOLUENE]"),
    ("d_ln_phi_dT", "PS", "d_ln_phi_dT[PS] / (1/K)"),
])
def test_labels_come_from_the_commands_table(name, component, expected):
    assert vocabulary.label(name, component) == expected


def test_unknown_names_and_a_missing_component_are_refused():
    with pytest.raises(KeyError, match="not a quantity"):
        vocabulary.label("lnphi")
    with pytest.raises(ValueError, match="per component"):
        vocabulary.label("ln_phi")
    with pytest.raises(ValueError, match="not labelled per component"):
        vocabulary.label("V", "PS")


def test_results_columns_are_the_commands_csv_columns(ps_toluene):
    """The same state through Results.to_csv and `keld eval --csv`: every quantity
    the command writes is a column of the package's, with the same number."""
    state = ps_toluene.states[0]
    results = ps_toluene.properties_many(T=[state["T"]], P=[state["P"]], z=dict(zip(state["components"], state["z"])))
    ours = next(csv.DictReader(io.StringIO(results.to_csv())))
    theirs = next(csv.DictReader(io.StringIO(keld_command("eval", "--csv", "--state", "1", CASE))))
    quantities = set(theirs) - {"state", "label", "model", "phase", "data_set", "status", "messages"}
    assert len(quantities) == 14 and quantities <= set(ours), quantities - set(ours)
    for name in quantities:
        assert float(ours[name]) == pytest.approx(float(theirs[name]), rel=1e-12, abs=1e-300), name


def test_csv_numbers_are_the_shortest_text_that_reads_back(ps_toluene):
    results = ps_toluene.properties_many(T=[298.15, 350.0], P=1e5, z={"TOLUENE": 0.7, "PS": 0.3})
    rows = list(csv.DictReader(io.StringIO(results.to_csv())))
    assert [r["T / K"] for r in rows] == ["298.15", "350.0"]
    for row, v in zip(rows, results.V):
        assert float(row["V / (m3/kmol)"]) == v
        assert len(row["V / (m3/kmol)"]) <= len(format(v, ".17g"))
    assert "298.15," in keld_command("eval", "--csv", CASE)


def test_saturation_critical_point_has_names_and_still_unpacks():
    case = keld.Case.from_dict(toluene_case())
    curve = equilibria.vapour_pressure_curve(case, "TOLUENE", 300.0)
    c = curve.critical
    assert isinstance(c, equilibria.CriticalPoint)
    T, P, V = c
    assert (T, P, V) == (c.T, c.P, c.V) and 500.0 < c.T < 700.0 and c.rho == pytest.approx(1.0 / c.V)
    # the heat of vaporisation is per kmol, as the command prints it
    s = equilibria.saturation(case, "TOLUENE", T=300.0)
    assert 2.0e7 < s.dH_vap[0] < 6.0e7
    assert s.rho_mass_liquid[0] == s.rho_liquid[0] and 700.0 < s.rho_mass_liquid[0] < 1000.0


def test_flash_volume_on_the_monitors_basis_matches_their_call(ps_toluene):
    """With a polymer the two bases differ by its chain length: V_apparent of a
    one-phase flash is the V a property-monitor call gives at the same state."""
    z = {"TOLUENE": 0.7, "PS": 0.3}
    flash = equilibria.flash(ps_toluene, 298.15, 101325.0, z, basis="mass")
    phase, = flash.phases
    monitor = ps_toluene.properties(T=298.15, P=101325.0, z=z, basis="mass")
    assert phase.V_apparent == pytest.approx(monitor.V, rel=1e-9)
    assert phase.V_molecules == phase.V and phase.V_molecules > 1.2 * phase.V_apparent


def test_messages_shown_name_the_family_and_keep_the_recorded_lines():
    case = keld.Case.from_dict(toluene_case())
    case_dict = toluene_case()
    del case_dict["parameters"][0]["pcsaft"]["PCSFTM"]
    r = keld.Case.from_dict(case_dict).properties(T=298.15, P=1e5, z={"TOLUENE": 1.0})
    assert r.status == 0 and any("MODEL POLYPCSF HAS MISSING" in line for line in r.messages)
    assert any("MODEL PC-SAFT polymer monitor (POLYPCSF) HAS MISSING" in line for line in r.readable_messages)
    assert vocabulary.model_display_name("sanchez-lacombe") == "Sanchez-Lacombe"
    assert case.properties(T=298.15, P=1e5, z={"TOLUENE": 1.0}).readable_messages == []


def test_every_amount_based_quantity_states_its_basis():
    for q in vocabulary.QUANTITIES:
        if "kmol" in q.unit and q.unit != "kg/kmol":
            assert q.basis in ("apparent", "molecules"), q.name
    assert all(q.meaning for q in vocabulary.QUANTITIES)


def test_the_documented_table_is_the_compiled_one():
    """docs/vocabulary.md lists the table the command and the package use."""
    page = (POLYSTYRENE_TOLUENE.parents[1] / "docs" / "vocabulary.md").read_text()
    rows = [line for line in page.splitlines() if line.startswith("| `")]
    expected = [f"| `{vocabulary.with_unit(q.name + ('[ID]' if q.per_component else ''), q.unit)}` | "
                f"{q.basis or '-'} | {q.meaning} |" for q in vocabulary.QUANTITIES]
    assert rows == expected
