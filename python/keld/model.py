"""The Helmholtz-energy model of a family, at (T, rho) or (T, P), vectorised.

A `keld.Model` is the reduced residual Helmholtz energy

    alphar(T, rho, x) = A_res / (N R T)

of one model family for a fixed list of components, with every derivative
exact (automatic differentiation through the formula the property monitors
use). Build one from plain parameters or from a case:

    >>> import keld
    >>> hexane = keld.Model.pcsaft([{"name": "n-hexane", "mw": 86.177, "m": 3.0576,
    ...                             "sigma": 3.7983, "epsilon_k": 236.77}])
    >>> p = hexane.properties(T=300.0, P=1e5, z=[1.0], phase="liquid")
    >>> float(p.rho[0])  # kmol/m3
    >>> case = keld.Case.load("examples/polystyrene-toluene.json")
    >>> m = keld.Model.from_case(case, "pcsaft", components=["TOLUENE", "PS"])

Units (SI on a kmol basis): T in K, rho in kmol/m3, P in Pa, V in m3/kmol,
energies in J/kmol, entropies and heat capacities in J/(kmol K). Mole
fractions z count molecules (a polymer molecule once); results named
`*_apparent` are on the host's apparent basis (a polymer counted in its repeat
units), as the property monitors report them. T, rho (or P) may be numbers or
arrays; z is one composition or one per state (a 2-D array); they broadcast.
"""
from dataclasses import dataclass, fields
from typing import Any, Mapping, Optional, Sequence

import numpy as np

from . import _core
from . import database
from .arguments import (ArgumentTypeError, identifiers, integer, non_negative_finite, positive_finite, real_array,
                        text)

__all__ = ["Model", "ModelProperties"]

_PHASES = {"vapour": 1, "vapor": 1, "liquid": 2}


def _phase(value):
    """The phase flag of "liquid" or "vapour"."""
    if not isinstance(value, str) or value not in _PHASES:
        raise ValueError(f"phase must be 'liquid' or 'vapour', not {value!r}")
    return _PHASES[value]


def _component_columns(components, required, may_be_zero=()):
    """Names and one column per parameter of a list of per-component mappings (mw_apparent optional);
    the parameters are positive, those of may_be_zero not negative."""
    if isinstance(components, Mapping) or isinstance(components, (str, bytes)):
        raise ArgumentTypeError("components must be a sequence of mappings, one per component")
    names, columns = [], {key: [] for key in (*required, "mw_apparent")}
    for k, c in enumerate(components):
        if not isinstance(c, Mapping):
            raise ArgumentTypeError(f"components[{k}] must be a mapping of parameter names to values")
        unknown = set(c) - {"name", *columns}
        if unknown:
            raise ValueError(f"components[{k}]: unknown parameter(s) {sorted(unknown)}; "
                             f"known: name, {', '.join(columns)}")
        names.append(text(f"components[{k}].name", c.get("name", f"component {k + 1}")))
        for key in required:
            if key not in c:
                raise ValueError(f"components[{k}] needs {key!r}")
            check = non_negative_finite if key in may_be_zero else positive_finite
            columns[key].append(float(check(f"components[{k}].{key}", c[key])))
        columns["mw_apparent"].append(float(positive_finite(f"components[{k}].mw_apparent", c["mw_apparent"]))
                                      if "mw_apparent" in c else 0.0)
    if not names:
        raise ValueError("components must hold at least one component")
    return names, columns


def _binary(name, value, n, missing=False):
    """An N x N matrix of binary parameters as a row-major list (None: all 0); with `missing`, NaN
    elements mark values not given."""
    matrix = np.zeros((n, n)) if value is None else real_array(name, value)
    finite = ~np.isinf(matrix) if missing else np.isfinite(matrix)
    if matrix.shape != (n, n) or not np.all(finite):
        raise ValueError(f"{name} must be a {n} x {n} matrix of finite numbers{' or NaN' if missing else ''}")
    return [float(v) for v in matrix.ravel()]


def _finite(name, value):
    v = real_array(name, value)
    if v.ndim != 0 or not np.isfinite(v):
        raise ValueError(f"{name} must be a finite number")
    return float(v)


def _unifac_table(table):
    """Subgroups (name, main group, R, Q) and interactions (m, n, a_mn in K): the table given, or the
    shipped original-UNIFAC table."""
    import json
    if table is None:
        shipped = json.loads(_core.shipped_unifac_table())
        subgroups = [(s["name"], s["main_group"], float(s["R"]), float(s["Q"])) for s in shipped["subgroups"]]
        return subgroups, [(m, n, float(a)) for m, n, a in shipped["interactions"]]
    if not isinstance(table, Mapping) or set(table) - {"subgroups", "interactions"}:
        raise ValueError("unifac must be a mapping with 'subgroups' and 'interactions'")
    subgroups, interactions = [], []
    for k, s in enumerate(table.get("subgroups", [])):
        if not isinstance(s, Mapping) or set(s) != {"name", "main_group", "r", "q"}:
            raise ValueError(f"unifac subgroups[{k}] needs exactly 'name', 'main_group', 'r', 'q'")
        subgroups.append((text(f"unifac subgroups[{k}].name", s["name"]),
                          text(f"unifac subgroups[{k}].main_group", s["main_group"]),
                          float(positive_finite(f"unifac subgroups[{k}].r", s["r"])),
                          float(positive_finite(f"unifac subgroups[{k}].q", s["q"]))))
    for k, i in enumerate(table.get("interactions", [])):
        if not isinstance(i, Mapping) or set(i) != {"m", "n", "a_mn"}:
            raise ValueError(f"unifac interactions[{k}] needs exactly 'm', 'n', 'a_mn'")
        interactions.append((text(f"unifac interactions[{k}].m", i["m"]), text(f"unifac interactions[{k}].n", i["n"]),
                             _finite(f"unifac interactions[{k}].a_mn", i["a_mn"])))
    return subgroups, interactions


_ASSOC_NUMBERS = ("mw", "m", "sigma", "epsilon_k", "kappa_ab", "epsilon_ab_k", "dipole", "dipolar_fraction",
                  "mw_apparent", "mass_fraction", "segment_ratio")
_ASSOC_COMPONENT_KEYS = {"name", "mw", "m", "sigma", "epsilon_k", "sites", "kappa_ab", "epsilon_ab_k", "dipole",
                         "dipolar_fraction", "mw_apparent", "segments"}
_ASSOC_SEGMENT_KEYS = {"name", "mass_fraction", "mw", "segment_ratio", "sigma", "epsilon_k", "sites", "kappa_ab",
                       "epsilon_ab_k", "dipole", "dipolar_fraction"}


def _assoc_species(where, given, known):
    """A component or segment type of Model.pcsaft_assoc with its keys and value types checked (the
    library checks the values' ranges and names what is missing)."""
    if not isinstance(given, Mapping):
        raise ArgumentTypeError(f"{where} must be a mapping of parameter names to values")
    unknown = set(given) - known
    if unknown:
        raise ValueError(f"{where}: unknown parameter(s) {sorted(unknown)}; known: {', '.join(sorted(known))}")
    out = {"name": text(f"{where}.name", given.get("name"))}
    for key in _ASSOC_NUMBERS:
        if key in given:
            out[key] = float(non_negative_finite(f"{where}.{key}", given[key]))
    if "sites" in given:
        sites = given["sites"]
        if isinstance(sites, str):
            out["sites"] = sites
        elif (isinstance(sites, Sequence) and 2 <= len(sites) <= 3
              and all(isinstance(v, (int, np.integer)) and v >= 0 for v in sites)):
            out["sites"] = [int(v) for v in sites]
        else:
            raise ValueError(f"{where}.sites must be a scheme such as '2B' or counts (negative, positive[, bipolar])")
    if "segments" in given:
        segments = given["segments"]
        if isinstance(segments, Mapping) or not isinstance(segments, Sequence):
            raise ArgumentTypeError(f"{where}.segments must be a sequence of mappings")
        out["segments"] = [_assoc_species(f"{where}.segments[{k}]", s, _ASSOC_SEGMENT_KEYS)
                           for k, s in enumerate(segments)]
    return out


def _from_database(family, components, Mn):
    """The components with every name (str) replaced by its parameters from the shipped database (a
    polymer's with its number-average molar mass Mn[name], kg/kmol); mappings pass unchanged. Also
    the list of names (None for a mapping)."""
    if isinstance(components, Mapping) or isinstance(components, (str, bytes)) or not isinstance(components, Sequence):
        return components, []
    if Mn is not None and not isinstance(Mn, Mapping):
        raise ArgumentTypeError("Mn must map polymer names to number-average molar masses (kg/kmol)")
    left = dict(Mn or {})
    out, names = [], []
    for c in components:
        if isinstance(c, str):
            out.append(database.model_component(family, c, left.pop(c, None)))
            names.append(c)
        else:
            out.append(c)
            names.append(None)
    if left:
        raise ValueError(f"Mn is given for {sorted(left)}, which are not components named in this model")
    return out, names


def _published_kij(names):
    """The published PC-SAFT k_ij among the components given by name (0 for every other pair), or None
    when fewer than two are named."""
    named = [k for k, n in enumerate(names) if n is not None]
    if len(named) < 2:
        return None
    published = database.pcsaft_kij([names[k] for k in named])
    matrix = np.zeros((len(names), len(names)))
    for a, i in enumerate(named):
        for b, j in enumerate(named):
            matrix[i, j] = published[a][b]
    return matrix


@dataclass(frozen=True)
class ModelProperties:
    """Properties of one phase over the states asked for (arrays, first axis the state).

    Per kmol of molecules: Z, V, the residual parts at the same T and P
    (h_res = H - H_ig(T), s_res = S - S_ig(T, P), g_res, and u_res, a_res at
    T and V), s_departure and g_departure against the ideal gas at 101325 Pa
    (the monitors' convention), cv_res, cp_res; with an ideal-gas heat capacity
    also cv, cp, speed_of_sound (m/s) and joule_thomson (K/Pa), else NaN.
    ln_phi, mu_res (J/kmol), partial_volume (m3/kmol), dln_phi_dT (1/K),
    dln_phi_dP (1/Pa) per component; dln_phi_dn (per state an N x N matrix, for
    one kmol of the phase). Every state without a root of the phase is NaN.
    """
    T: np.ndarray
    rho: np.ndarray
    P: np.ndarray
    Z: np.ndarray
    V: np.ndarray
    x: np.ndarray
    ln_phi: np.ndarray
    mu_res: np.ndarray
    a_res: np.ndarray
    u_res: np.ndarray
    h_res: np.ndarray
    s_res: np.ndarray
    g_res: np.ndarray
    s_departure: np.ndarray
    g_departure: np.ndarray
    cv_res: np.ndarray
    cp_res: np.ndarray
    cv: np.ndarray
    cp: np.ndarray
    speed_of_sound: np.ndarray
    joule_thomson: np.ndarray
    dP_drho: np.ndarray
    dP_dT: np.ndarray
    kappa_T: np.ndarray
    dV_dT: np.ndarray
    partial_volume: np.ndarray
    dln_phi_dT: np.ndarray
    dln_phi_dP: np.ndarray
    dln_phi_dn: np.ndarray
    z_apparent: np.ndarray
    ln_phi_apparent: np.ndarray
    V_apparent: np.ndarray
    h_res_apparent: np.ndarray
    s_departure_apparent: np.ndarray
    g_departure_apparent: np.ndarray

    UNITS = {"T": "K", "rho": "kmol/m3", "P": "Pa", "Z": "-", "V": "m3/kmol", "x": "-", "ln_phi": "-",
             "mu_res": "J/kmol", "a_res": "J/kmol", "u_res": "J/kmol", "h_res": "J/kmol", "s_res": "J/(kmol K)",
             "g_res": "J/kmol", "s_departure": "J/(kmol K)", "g_departure": "J/kmol", "cv_res": "J/(kmol K)",
             "cp_res": "J/(kmol K)", "cv": "J/(kmol K)", "cp": "J/(kmol K)", "speed_of_sound": "m/s",
             "joule_thomson": "K/Pa", "dP_drho": "Pa m3/kmol", "dP_dT": "Pa/K", "kappa_T": "1/Pa",
             "dV_dT": "m3/(kmol K)", "partial_volume": "m3/kmol", "dln_phi_dT": "1/K", "dln_phi_dP": "1/Pa",
             "dln_phi_dn": "1/kmol", "z_apparent": "-", "ln_phi_apparent": "-", "V_apparent": "m3/kmol",
             "h_res_apparent": "J/kmol", "s_departure_apparent": "J/(kmol K)", "g_departure_apparent": "J/kmol"}

    def __len__(self):
        return len(self.T)


_FROM_CORE = {"t": "T", "p": "P", "z": "Z", "v": "V", "dp_drho": "dP_drho", "dp_dt": "dP_dT", "kappa_t": "kappa_T",
              "dv_dt": "dV_dT", "dln_phi_dt": "dln_phi_dT", "dln_phi_dp": "dln_phi_dP", "v_apparent": "V_apparent"}


class Model:
    """The residual Helmholtz energy of one family for a list of components (see the module's text)."""

    def __init__(self, core):
        if not isinstance(core, _core.Model):
            raise ArgumentTypeError("a Model is made by Model.pcsaft(...), Model.saft(...), "
                                    "Model.sanchez_lacombe(...), Model.cubic(...), Model.pcsaft_assoc(...) "
                                    "or Model.from_case(...)")
        self._core = core

    # ------------------------------------------------------------ builders

    @classmethod
    def pcsaft(cls, components: Sequence[Any], kij: Optional[Any] = None,
               Mn: Optional[Mapping[str, float]] = None) -> "Model":
        """PC-SAFT (Gross and Sadowski 2001) from plain parameters.

        components: one mapping per component with "name", "mw" (kg/kmol; a
        polymer's number-average molecular weight), "m" (segment number; a
        polymer's m/MW times Mn), "sigma" (segment diameter, Angstrom),
        "epsilon_k" (segment energy eps/k, K) and optionally "mw_apparent" (a
        polymer's repeat-unit molecular weight, kg/kmol). kij: N x N binary
        interaction parameters (symmetric part used), default 0.

        A component may be a name (str) in place of a mapping: its parameters come from the shipped
        database (keld.database), a polymer's with its number-average molar mass Mn[name] (kg/kmol),
        e.g. Model.pcsaft(["toluene", "polystyrene"], Mn={"polystyrene": 1e5}). Without kij, the
        published k_ij of the pairs given by name are used (0 for the others).
        """
        components, given = _from_database("pcsaft", components, Mn)
        if kij is None:
            kij = _published_kij(given)
        names, columns = _component_columns(components, ("mw", "m", "sigma", "epsilon_k"))
        matrix = _binary("kij", kij, len(names))
        return cls(_core.Model.pcsaft(names, columns["mw"], columns["m"], columns["sigma"], columns["epsilon_k"],
                                      columns["mw_apparent"], matrix))

    @classmethod
    def saft(cls, components: Sequence[Any], kij: Optional[Any] = None,
             lij: Optional[Any] = None) -> "Model":
        """SAFT of Huang and Radosz (1990) from plain parameters.

        components: one mapping per component with "name", "mw" (kg/kmol; a
        polymer's number-average molecular weight), "m" (segment number; a
        polymer's m/MW times Mn), "v00" (segment volume at close packing,
        m3/kmol of segments), "u0_k" (segment energy u0/k, K), "e_k" (energy
        correction e/k, K) and optionally "mw_apparent" (a polymer's
        repeat-unit molecular weight, kg/kmol). kij: N x N, on the cross energy
        u0_ij = (1 - k_ij) sqrt(u0_i u0_j); lij: N x N, on the cross segment
        number m_ij = (1 - l_ij)(m_i + m_j)/2 (with it the dispersion term sums
        over m_ij); of a pair's two elements the one given (non-zero) counts,
        (i, j) with i < j when both are. Both default to 0. A component may be a name (str): its
        parameters come from the shipped database (keld.database).
        """
        components, _ = _from_database("saft", components, None)
        names, c = _component_columns(components, ("mw", "m", "v00", "u0_k", "e_k"), may_be_zero=("u0_k", "e_k"))
        return cls(_core.Model.saft(names, c["mw"], c["m"], c["v00"], c["u0_k"], c["e_k"], c["mw_apparent"],
                                    _binary("kij", kij, len(names)), _binary("lij", lij, len(names))))

    @classmethod
    def sanchez_lacombe(cls, components: Sequence[Any], kij: Optional[Any] = None,
                        eta: Optional[Any] = None, Mn: Optional[Mapping[str, float]] = None) -> "Model":
        """Sanchez-Lacombe lattice fluid (1976) from plain parameters.

        components: one mapping per component with "name", "mw" (kg/kmol; a
        polymer's number-average molecular weight), "t_star" (T*, K), "p_star"
        (P*, Pa), "rho_star" (rho*, kg/m3) and optionally "mw_apparent" (a
        polymer's repeat-unit molecular weight, kg/kmol). kij: N x N, on the
        cross energy eps*_ij = (1 - k_ij) sqrt(eps*_i eps*_j); eta: N x N, on
        the cross volume v*_ij = (1 - eta_ij)(v*_i + v*_j)/2; the (i, j) element
        with i < j counts. Both default to 0. A component may be a name (str): its parameters come
        from the shipped database (keld.database), a polymer's with its Mn[name] (kg/kmol).
        """
        components, _ = _from_database("sanchez-lacombe", components, Mn)
        names, c = _component_columns(components, ("mw", "t_star", "p_star", "rho_star"))
        return cls(_core.Model.sanchez_lacombe(names, c["mw"], c["t_star"], c["p_star"], c["rho_star"],
                                               c["mw_apparent"], _binary("kij", kij, len(names)),
                                               _binary("eta", eta, len(names))))

    @classmethod
    def cubic(cls, components: Sequence[Any], mixing_rule: str = "van_der_waals",
              excess_gibbs: str = "ideal", kij: Optional[Any] = None, ge_a: Optional[Any] = None,
              ge_b: Optional[Any] = None, nrtl_alpha: Optional[Any] = None,
              unifac: Optional[Mapping[str, Any]] = None) -> "Model":
        """SRK with a mixing rule and an excess-Gibbs (activity-coefficient) model, from plain parameters.

        components: one mapping per component with "name", "mw" (kg/kmol), "tc" (K), "pc" (Pa),
        "omega" (acentric factor) and optionally "mw_apparent" (a polymer's repeat unit, kg/kmol:
        tc, pc, omega, r, q and groups are then per unit), "r" and "q" (UNIQUAC volume and area),
        "groups" (UNIFAC subgroup counts, e.g. {"CH3": 2, "CH2": 4}), "mathias_copeman"
        ([c1, c2, c3] in place of Soave's alpha).
        mixing_rule: "van_der_waals", "wong_sandler", "mhv1" or "mhv2".
        excess_gibbs: "ideal", "redlich_kister", "wilson", "van_laar", "nrtl", "uniquac" or "unifac".
        kij: N x N, of the van der Waals or Wong-Sandler rule. ge_a, ge_b: N x N, E_ij = a_ij + b_ij/T
        (b_ij in K) of the two-parameter activity models; nrtl_alpha: N x N. NaN: not given.
        unifac: {"subgroups": [{"name", "main_group", "r", "q"}, ...], "interactions": [{"m", "n",
        "a_mn"}, ...]} (a_mn in K) in place of the shipped original-UNIFAC table.
        A component may be a name (str): tc, pc, omega and mw from the shipped database.
        """
        components, _ = _from_database("cubic", components, None)
        rules = ("van_der_waals", "wong_sandler", "mhv1", "mhv2")
        models = ("ideal", "redlich_kister", "wilson", "van_laar", "nrtl", "uniquac", "unifac")
        if mixing_rule not in rules:
            raise ValueError(f"mixing_rule must be one of {', '.join(rules)}, not {mixing_rule!r}")
        if excess_gibbs not in models:
            raise ValueError(f"excess_gibbs must be one of {', '.join(models)}, not {excess_gibbs!r}")
        extras = ("r", "q", "groups", "mathias_copeman")
        plain = [{k: v for k, v in c.items() if k not in extras} if isinstance(c, Mapping) else c
                 for c in components]
        names, c = _component_columns(plain, ("mw", "tc", "pc", "omega"), may_be_zero=("omega",))
        n = len(names)
        binaries = {key: _binary(key, value, n, missing=True)
                    for key, value in (("kij", kij), ("ge_a", ge_a), ("ge_b", ge_b), ("nrtl_alpha", nrtl_alpha))
                    if value is not None}
        if any("r" in comp or "q" in comp for comp in components):
            for k, comp in enumerate(components):
                for key in ("r", "q"):
                    if key not in comp:
                        raise ValueError(f"components[{k}] lacks {key!r}: UNIQUAC r and q are needed for every "
                                         "component once one has them")
            binaries["uniquac_r"] = [float(positive_finite(f"components[{k}].r", comp.get("r", float("nan"))))
                                     for k, comp in enumerate(components)]
            binaries["uniquac_q"] = [float(positive_finite(f"components[{k}].q", comp.get("q", float("nan"))))
                                     for k, comp in enumerate(components)]
        groups = []
        for k, comp in enumerate(components):
            given = comp.get("groups", {})
            if not isinstance(given, Mapping):
                raise ArgumentTypeError(f"components[{k}].groups must map subgroup names to counts")
            groups.append([(text(f"components[{k}].groups", name), float(positive_finite(
                f"components[{k}].groups[{name!r}]", count))) for name, count in given.items()])
        mathias_copeman = []
        for k, comp in enumerate(components):
            constants = real_array(f"components[{k}].mathias_copeman", comp.get("mathias_copeman", [])).ravel()
            if constants.size > 3 or not np.all(np.isfinite(constants)):
                raise ValueError(f"components[{k}].mathias_copeman must hold up to three finite constants")
            mathias_copeman.append([float(v) for v in constants])
        subgroups, interactions = _unifac_table(unifac)
        return cls(_core.Model.cubic(names, c["mw"], c["tc"], c["pc"], c["omega"], c["mw_apparent"], mixing_rule,
                                     excess_gibbs, binaries, subgroups, interactions, groups, mathias_copeman))

    @classmethod
    def pcsaft_assoc(cls, components: Sequence[Any],
                     binaries: Optional[Sequence[Mapping[str, Any]]] = None,
                     Mn: Optional[Mapping[str, float]] = None) -> "Model":
        """PC-SAFT with association (Gross and Sadowski 2002) and the dipolar term of Jog and Chapman,
        copolymers by their segment types, from plain parameters.

        components: one mapping per component with "name", "mw" (kg/kmol; a polymer's Mn), "m"
        (segment number), "sigma" (Angstrom), "epsilon_k" (K) and optionally "sites" (a scheme
        "1A", "2B", "3B", "4C", ... or counts (negative, positive[, bipolar])), "kappa_ab"
        (association volume), "epsilon_ab_k" (association energy, K), "dipole" (D),
        "dipolar_fraction" (of the segments carrying the dipole), "mw_apparent" (kg/kmol), or
        "segments": a copolymer's segment types, each a mapping with "name", "mass_fraction",
        "mw" (kg/kmol of a unit), "segment_ratio" (m/MW, mol/g), "sigma", "epsilon_k" and the
        optional association and dipole keys above.
        binaries: mappings with "first", "second" (component or segment-type names) and any of
        "k_ij", "l_ij", "epsilon_ab_k" (K), "kappa_ab" (cross association).
        A component may be a name (str): its parameters (association sites included) come from the
        shipped database (keld.database), a polymer's with its Mn[name] (kg/kmol).
        """
        components, _ = _from_database("pcsaft-assoc", components, Mn)
        if isinstance(components, Mapping) or isinstance(components, (str, bytes)):
            raise ArgumentTypeError("components must be a sequence of mappings, one per component")
        checked = [_assoc_species(f"components[{k}]", c, _ASSOC_COMPONENT_KEYS) for k, c in enumerate(components)]
        if not checked:
            raise ValueError("components must hold at least one component")
        pairs = []
        for k, b in enumerate(binaries or []):
            if not isinstance(b, Mapping):
                raise ArgumentTypeError(f"binaries[{k}] must be a mapping")
            unknown = set(b) - {"first", "second", "k_ij", "l_ij", "epsilon_ab_k", "kappa_ab"}
            if unknown:
                raise ValueError(f"binaries[{k}]: unknown key(s) {sorted(unknown)}")
            pair = {"first": text(f"binaries[{k}].first", b.get("first")),
                    "second": text(f"binaries[{k}].second", b.get("second"))}
            for key in ("k_ij", "l_ij", "epsilon_ab_k", "kappa_ab"):
                if key in b:
                    pair[key] = _finite(f"binaries[{k}].{key}", b[key])
            pairs.append(pair)
        return cls(_core.Model.pcsaft_assoc(checked, pairs))

    @classmethod
    def from_case(cls, case: Any, model: str = "pcsaft", components: Optional[Sequence[str]] = None,
                  data_set: int = 1, option: int = 0, cubic: Optional[Mapping[str, int]] = None,
                  pcsaft_assoc: Optional[Mapping[str, str]] = None) -> "Model":
        """The model of family `model` from a case's data set, as the family's monitor reads it.

        model: "pcsaft", "sanchez-lacombe", "saft" (as the argument-driven
        monitor is handed the store's values, with k_ij and l_ij),
        "saft-stored" (polymers without parameters from their segments),
        "cubic" or "pcsaft-assoc" (the arrays the host gathers for its monitor).

        components: identifiers (default: every component but the segments);
        option: the monitors' KOPT (5: segment fractions by mole).
        cubic, pcsaft_assoc: the call's settings as Case.properties takes them:
        {"mixing_rule": 1..4, "excess_model": 1..7, "alpha_option": 0 or 2} and
        {"root_search": "host"|"own", "association": "full"|"off", "entropy": ...}.
        A setting the model cannot follow ("association": "simplified") is a
        ValueError naming it.
        """
        from .case import Case
        from . import inputs
        if not isinstance(case, Case):
            raise ArgumentTypeError("case must be a keld.Case")
        text("model", model)
        ids = [] if components is None else identifiers("components", components)
        data_set = integer("data_set", data_set, 1, case._core.data_set_count)
        option = integer("option", option, -2**63, 2**63 - 1)
        if cubic and model != "cubic":
            raise ValueError("cubic settings are for the 'cubic' model")
        if pcsaft_assoc and model != "pcsaft-assoc":
            raise ValueError("pcsaft_assoc settings are for the 'pcsaft-assoc' model")
        settings = _core.StateRequest()
        settings.association_options = inputs.pcsaft_assoc_options(pcsaft_assoc)
        for key, value in inputs.cubic_settings(cubic).items():
            setattr(settings, key, value)
        return cls(case._core.model(model, data_set, ids, option, settings))

    # ---------------------------------------------------------- description

    @property
    def family(self) -> str:
        return self._core.family

    @property
    def components(self):
        """Per component: (name, mw of a molecule in kg/kmol, mw of its counted unit in kg/kmol)."""
        return self._core.components

    def __len__(self):
        return self._core.size

    def __repr__(self):
        return f"keld.Model({self.family!r}, components={[c[0] for c in self.components]})"

    # --------------------------------------------------------- evaluations

    def _states(self, T, second, z, second_name):
        t = positive_finite("T", T)
        s = real_array(second_name, second)
        if not np.all(np.isfinite(s)) or np.any(s <= 0):
            raise ValueError(f"{second_name} must be finite and positive")
        comp = real_array("z", z)
        n = len(self)
        if comp.ndim == 0 or comp.shape[-1] != n or comp.ndim > 2:
            raise ValueError(f"z must hold {n} values per state (an array of shape ({n},) or (states, {n}))")
        if np.any(~np.isfinite(comp)) or np.any(comp < 0) or np.any(comp.sum(axis=-1) <= 0):
            raise ValueError("z must be finite, not negative and not all zero")
        count = np.broadcast_shapes(t.shape, s.shape, comp.shape[:-1])
        size = int(np.prod(count)) if count else 1
        t = np.ascontiguousarray(np.broadcast_to(t, count).reshape(size), dtype=float)
        s = np.ascontiguousarray(np.broadcast_to(s, count).reshape(size), dtype=float)
        comp = np.ascontiguousarray(np.broadcast_to(comp, count + (n,)).reshape(size, n), dtype=float)
        return t, s, comp

    def alphar(self, T, rho, z):
        """alphar = A_res/(N R T) at T (K), rho (kmol/m3) and mole fractions z."""
        return self._core.alphar(*self._states(T, rho, z, "rho"))

    def pressure(self, T, rho, z):
        """P (Pa) on the model's own equation of state."""
        t, rho, comp = self._states(T, rho, z, "rho")
        d = self._core.derivatives(t, rho, comp)
        return rho * 8314.462618 * t * (1.0 + rho * d["a_rho"])

    def derivatives(self, T, rho, z):
        """alphar and its partial derivatives at constant z: a, a_t, a_rho, a_tt, a_trho, a_rhorho,
        a_rhorhorho (per K and per kmol/m3), as a dict of arrays."""
        return self._core.derivatives(*self._states(T, rho, z, "rho"))

    def max_density(self, T, z):
        """The densest state the model describes (kmol/m3): close packing, the filled lattice, or 1/b."""
        t, _, comp = self._states(T, 1.0, z, "rho")
        return self._core.max_density(t, comp)

    def density(self, T, P, z, phase="liquid"):
        """The density root (kmol/m3) of the phase at T and P; NaN where it has none."""
        return self._core.density(*self._states(T, P, z, "P"), _phase(phase))

    def properties(self, T, z, rho=None, P=None, phase="liquid", ideal_gas_cp=None,
                   composition_derivatives=True) -> ModelProperties:
        """Properties at (T, rho) or at (T, P) in the phase (its density root); see ModelProperties.

        ideal_gas_cp: per component the coefficients of Cp_ig/R = c0 + c1 T + ... + c4 T^4
        (T in K), for the total heat capacities, the speed of sound and the Joule-Thomson coefficient;
        or "database": the shipped database's correlations of the components by their names (NaN
        outside a correlation's temperature range).
        """
        if (rho is None) == (P is None):
            raise ValueError("give exactly one of rho and P")
        flag = _phase(phase)
        at_pressure = P is not None
        t, s, comp = self._states(T, P if at_pressure else rho, z, "P" if at_pressure else "rho")
        cp, cp_exponential = [], []
        if isinstance(ideal_gas_cp, str):
            if ideal_gas_cp != "database":
                raise ValueError(f"ideal_gas_cp: coefficients per component or 'database', not {ideal_gas_cp!r}")
            for name, *_ in self.components:
                try:
                    c = _core.database_ideal_gas(name)
                except ValueError as e:
                    raise ValueError(f"ideal_gas_cp='database': {name}: {e}; give the coefficients instead") from None
                cp_exponential.append([c["A"], c["B"], c["C"], c["D"], c["E"], c["T_min"], c["T_max"]])
        elif ideal_gas_cp is not None:
            if len(ideal_gas_cp) != len(self):
                raise ValueError(f"ideal_gas_cp needs coefficients for each of the {len(self)} components")
            for k, c in enumerate(ideal_gas_cp):
                coefficients = real_array(f"ideal_gas_cp[{k}]", c).ravel()
                if not 1 <= coefficients.size <= 5 or not np.all(np.isfinite(coefficients)):
                    raise ValueError(f"ideal_gas_cp[{k}] must hold one to five finite coefficients")
                cp.append([float(v) for v in coefficients])
        raw = self._core.properties(t, s, comp, at_pressure, flag, bool(composition_derivatives), cp, cp_exponential)
        values = {_FROM_CORE.get(k, k): v for k, v in raw.items()}
        return ModelProperties(**{f.name: values[f.name] for f in fields(ModelProperties)})

    def amount_derivatives(self, T, V, n, hessian=True):
        """Derivatives of Psi = N alphar(T, N/V, n/N) in the amounts n (kmol) at constant T (K) and
        V (m3): gradient (mu_res/RT), hessian (N x N), d_v (1/m3), d_t (1/K)."""
        t = float(positive_finite("T", T))
        v = float(positive_finite("V", V))
        amounts = real_array("n", n).ravel()
        if amounts.size != len(self):
            raise ValueError(f"n must hold {len(self)} amounts")
        d = self._core.amount_derivatives(t, v, [float(a) for a in amounts], bool(hessian))
        out = {k: np.asarray(v) for k, v in d.items()}
        out["hessian"] = out["hessian"].reshape(len(self), len(self)) if hessian else None
        return out

    def second_derivatives(self, T, rho, n):
        """Every first and second derivative at one state, from one evaluation: alphar's at constant
        composition (a, a_t, a_rho, a_tt, a_trho, a_rhorho; per K and per kmol/m3) at T (K) and
        rho (kmol/m3), and those of Psi = N alphar(T, N/V, n/N) in the amounts n (kmol) at
        V = sum(n) / rho (m3): psi, gradient (mu_res/RT), hessian (N x N, 1/kmol), d_v (1/m3),
        d_t (1/K)."""
        t = float(positive_finite("T", T))
        density = float(positive_finite("rho", rho))
        amounts = real_array("n", n).ravel()
        if amounts.size != len(self):
            raise ValueError(f"n must hold {len(self)} amounts")
        if not np.all(np.isfinite(amounts)) or np.any(amounts < 0) or amounts.sum() <= 0:
            raise ValueError("n must be finite, not negative and not all zero")
        d = self._core.second_derivatives(t, density, [float(a) for a in amounts])
        out = {k: (np.asarray(v) if isinstance(v, list) else v) for k, v in d.items()}
        out["hessian"] = out["hessian"].reshape(len(self), len(self))
        return out


def model_of(source: Any, model: str = "pcsaft", components: Optional[Sequence[str]] = None,
             data_set: int = 1) -> Model:
    """`source` itself when it is a Model, else the model of family `model` from that case."""
    if isinstance(source, Model):
        return source
    return Model.from_case(source, model, components=components, data_set=data_set)
