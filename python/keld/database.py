"""The parameter database keld ships: published parameters by component name.

    >>> import keld
    >>> keld.database.search("hexane")[0]["name"]
    'hexane'
    >>> ps = keld.database.parameters("PS", family="pcsaft")[0]
    >>> ps["parameters"]["m_per_mw"], ps["source"]["citation"]

A component is found by its name, a synonym, its CAS number or its formula,
case-insensitively; an unknown or ambiguous name raises ValueError naming the
closest components. Every parameter comes with its unit and every set with its
source (key, full citation, DOI) and, where the source gives one, its range of
validity (T_min, T_max in K, P_max in Pa). A polymer's PC-SAFT segment number
is stored per unit of molar mass (m/MW, mol/g): m = (m/MW) Mn.

The model builders (keld.Model.pcsaft(["toluene", "polystyrene"], Mn={"polystyrene": 1e5}),
...) take component names through `component(family, name, ...)`.
"""
from typing import Any, Dict, List, Optional, Sequence

from . import _core
from .arguments import positive_finite, text

__all__ = ["FAMILIES", "search", "component", "parameters", "binaries", "show", "model_component", "pcsaft_kij",
           "ideal_gas_cp"]

FAMILIES = ("pcsaft", "pcsaft-assoc", "saft", "sanchez-lacombe", "cubic", "ideal-gas", "uniquac", "unifac")


def search(word: str) -> List[Dict[str, Any]]:
    """Components whose name, synonym, CAS or formula contains `word`: exact matches first, then
    prefixes, then the rest. Each a dict: name, kind, cas, formula, synonyms, families,
    repeat_unit_mw (kg/kmol, polymers; derived from the repeat-unit formula)."""
    return _core.database_search(text("word", word))


def component(name: str) -> Dict[str, Any]:
    """The component a name, synonym, CAS number or formula stands for (dict as in `search`)."""
    return _core.database_component(text("name", name))


def parameters(name: str, family: Optional[str] = None) -> List[Dict[str, Any]]:
    """Every parameter set of the component (or of one family; the first of a family is its default):
    dicts with family, table, set (the row name that selects it), parameters {name: {"value", "unit",
    "text"}}, source {key, citation, doi, taken_from}, validity (text), T_min, T_max, P_max, note."""
    if family is not None and family not in FAMILIES:
        raise ValueError(f"family must be one of {', '.join(FAMILIES)}, not {family!r}")
    sets = _core.database_parameters(text("name", name), family or "")
    for s in sets:
        s["parameters"] = {p["name"]: {"value": p["value"], "unit": p["unit"], "text": p["text"]}
                           for p in s["parameters"]}
    return sets


def binaries(name: str) -> List[Dict[str, Any]]:
    """Published binary parameters of the component with others: family, other, name, value, source."""
    return _core.database_binaries(text("name", name))


def show(name: str) -> str:
    """Every parameter of the component with its unit and source, as text."""
    c = component(name)
    lines = [f"{c['name']} ({c['kind']})" + (f", CAS {c['cas']}" if c["cas"] else "") +
             (f", {c['formula']}" if c["formula"] else "")]
    if c["synonyms"]:
        lines.append("synonyms: " + ", ".join(c["synonyms"]))
    if c["repeat_unit_mw"]:
        lines.append(f"repeat unit molar mass: {c['repeat_unit_mw']:.3f} kg/kmol (derived from the formula)")
    for s in parameters(name):
        lines.append(f"\n{s['family']}: {s['set']} ({s['table']})")
        for key, p in s["parameters"].items():
            lines.append(f"    {key:<14}{p['text']:<22}{p['unit']}")
        lines.append(f"    source: [{s['source']['key']}] {s['source']['citation']}"
                     + (f" doi:{s['source']['doi']}" if s["source"]["doi"] else ""))
        if s["validity"]:
            lines.append(f"    valid: {s['validity']}")
        if s["note"]:
            lines.append(f"    note: {s['note']}")
    for b in binaries(name):
        lines.append(f"{b['family']} {b['name']} with {b['other']}: {b['value']} [{b['source']['key']}]")
    return "\n".join(lines) + "\n"


def model_component(family: str, name: str, Mn: Optional[float] = None, set: Optional[str] = None) -> Dict[str, Any]:
    """The plain parameters of one component for a Model builder, in the builder's units (PC-SAFT m,
    sigma / Angstrom, epsilon_k / K; SAFT v00 / (m3/kmol); Sanchez-Lacombe p_star / Pa; cubic tc / K,
    pc / Pa). Mn (kg/kmol): a polymer's number-average molar mass (required for a polymer, refused for
    a molecule). set: one of several parameter sets by its row name (water_4C_RG2020, HDPE (set 2))."""
    name = text("name", name)
    mn = None if Mn is None else float(positive_finite(f"Mn of {name}", Mn))
    if family == "pcsaft":
        if set is not None:
            raise ValueError("the PC-SAFT table has one set per component; set applies to pcsaft-assoc and "
                             "sanchez-lacombe")
        return _core.database_pcsaft(name, mn)
    if family == "pcsaft-assoc":
        return _core.database_pcsaft_assoc(name, set or "", mn)
    if family == "sanchez-lacombe":
        return _core.database_sanchez_lacombe(name, mn, set or "")
    if mn is not None or set is not None:
        raise ValueError(f"the {family} table has no polymers or alternative sets: Mn and set do not apply")
    if family == "saft":
        return _core.database_saft(name)
    if family == "cubic":
        return _core.database_cubic(name)
    raise ValueError(f"no model component of family {family!r}")


def pcsaft_kij(names: Sequence[str]) -> List[List[float]]:
    """The published PC-SAFT k_ij among the components (0 where none is published), N x N."""
    flat = _core.database_pcsaft_kij([text("names", n) for n in names])
    n = len(names)
    return [flat[i * n:(i + 1) * n] for i in range(n)]


def ideal_gas_cp(name: str, T: float) -> float:
    """Ideal-gas Cp in J/(kmol K) at T (K) from the database's correlation (ChemSep equation 16),
    inside the range its source gives (ValueError outside)."""
    import math
    c = _core.database_ideal_gas(text("name", name))
    t = float(positive_finite("T", T))
    if not c["T_min"] <= t <= c["T_max"]:
        raise ValueError(f"the ideal-gas Cp of {name} holds from {c['T_min']} to {c['T_max']} K, not at {t} K")
    return c["A"] + math.exp(c["B"] / t + c["C"] + c["D"] * t + c["E"] * t * t)
