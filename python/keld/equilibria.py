"""Phase equilibria of a case: vapour pressure, solvent activity and sorption,
bubble and dew points, flash and liquid-liquid demixing, computed by keld's
equilibrium layer through the case's property monitors.

    >>> import keld, keld.equilibria as eq
    >>> case = keld.Case.load("examples/hexane-vapour-pressure.json")
    >>> s = eq.saturation(case, "HEXANE", T=[300.0, 350.0])
    >>> s.P, s.dH_vap

Units: T in K, P in Pa, volumes in m3/kmol, enthalpies in J/kmol, densities
in kg/m3. Compositions handed in follow keld.Case.properties: apparent mole
fractions (basis="mole", a polymer counted in repeat units) or weight
fractions (basis="mass"). Compositions handed back are `x`, `y`: mole
fractions of molecules (a polymer molecule counted once) and `w`: weight
fractions. Polymers (and oligomers) never enter a vapour. Every result has a
`status` per point ("converged", "single phase", "no coexistence", "no
solution", "not converged", "density root failed", "invalid input", "missing
parameter": the model lacks a parameter, named in the message) and a
`message`; numbers of points that did not converge are NaN.
"""
from dataclasses import dataclass, field
from typing import Any, List, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np

from . import arguments
from . import inputs
from .case import Case

OK = ("converged", "single phase")

# Argument types: a temperature or pressure (scalar or 1-D array), a composition.
Values = Union[float, Sequence[float], np.ndarray]
Composition = Union[Mapping[str, Any], Sequence[float], np.ndarray]


def _core_case(case):
    return case._equilibrium_core()


def _checked(case, model, data_set):
    """The arguments every function takes: a keld.Case, a model name and one of its data sets."""
    if not isinstance(case, Case):
        raise arguments.ArgumentTypeError(f"case must be a keld.Case, not {arguments.shown(case)}")
    return inputs.model_name(model), inputs.data_set_number(case._core, data_set)


def _temperatures(name, values):
    array = np.atleast_1d(arguments.positive_finite(name, values)).astype(float)
    if array.ndim != 1:
        raise ValueError(f"{name} must be a number or a 1-D array")
    return array


def _listing(case, z, components, basis, name):
    """(Listing, true mole fractions, weight fractions), one row per composition."""
    listing, apparent = inputs.composition(case._components, z, components, basis, name)
    mwn = np.array([inputs.find_component(case._components, c)["MWN"] for c in listing.identifiers])
    moles = apparent * listing.molecular_weights / mwn
    true = moles / moles.sum(axis=1, keepdims=True)
    mass = apparent * listing.molecular_weights
    weights = mass / mass.sum(axis=1, keepdims=True)
    return listing, np.ascontiguousarray(true), np.ascontiguousarray(weights)


def _component_number(case, identifier):
    entry = inputs.find_component(case._components, identifier)
    if entry is None:
        known = ", ".join(c["identifier"] for c in case._components)
        raise ValueError(f"unknown component {identifier!r} (components of the case: {known})")
    return entry


class CriticalPoint(NamedTuple):
    """A pure component's critical point on the model: T (K), P (Pa) and V
    (m3 per kmol of molecules, V_molecules in the keld command's JSON); it
    unpacks as the (T, P, V) tuple it was before it had names."""
    T: float
    P: float
    V: float

    @property
    def rho(self) -> float:
        """Molar density at the critical point, kmol/m3."""
        return 1.0 / self.V


@dataclass(frozen=True)
class Saturation:
    """Saturation of a pure component at each T (or P): vapour pressure P,
    molar volumes v_liquid, v_vapour (m3/kmol), compressibilities, mass
    densities rho_mass_liquid, rho_mass_vapour (kg/m3; rho_liquid and
    rho_vapour are their older names, in kg/m3 too) and the heat of
    vaporisation dH_vap (J/kmol). `critical` is the model's CriticalPoint
    (T, P, V) when a curve was traced to its end."""
    component: str
    model: str
    T: np.ndarray
    P: np.ndarray
    v_liquid: np.ndarray
    v_vapour: np.ndarray
    Z_liquid: np.ndarray
    Z_vapour: np.ndarray
    dH_vap: np.ndarray
    rho_liquid: np.ndarray
    rho_vapour: np.ndarray
    status: List[str]
    message: List[str]
    critical: Optional[CriticalPoint] = None
    # "model" (solved on the Helmholtz energy in density variables) or "monitors", per point
    solver: Tuple[str, ...] = ()

    @property
    def rho_mass_liquid(self) -> np.ndarray:
        """Mass density of the saturated liquid, kg/m3."""
        return self.rho_liquid

    @property
    def rho_mass_vapour(self) -> np.ndarray:
        """Mass density of the saturated vapour, kg/m3."""
        return self.rho_vapour

    @property
    def converged(self) -> np.ndarray:
        """True where the point converged (status "converged" or "single phase")."""
        return np.array([s in OK for s in self.status])

    def plot(self, ax: Any = None, data: Optional[Tuple[Sequence[float], Sequence[float]]] = None) -> Any:
        """The vapour-pressure curve (log axis) with the model's critical point;
        `data` = (T in K, P in Pa) adds measured points. Returns the matplotlib Axes."""
        from . import plots
        return plots.saturation(self, ax=ax, data=data)


def _saturation(fields, component, model, molecular_weight):
    critical = fields.pop("critical", None)
    solver = tuple(fields.pop("solver", ()))
    arrays = {k: np.asarray(v, dtype=float) for k, v in fields.items() if k not in ("status", "message")}
    return Saturation(component=component, model=model, rho_liquid=molecular_weight / arrays["v_liquid"],
                      rho_vapour=molecular_weight / arrays["v_vapour"], status=list(fields["status"]),
                      message=list(fields["message"]), critical=CriticalPoint(*critical) if critical else None,
                      solver=solver, **arrays)


def saturation(case: Any, component: str, T: Optional[Values] = None, P: Optional[Values] = None,
               model: str = "pcsaft", data_set: int = 1) -> "Saturation":
    """Vapour pressure at T (number or array), or boiling temperature at P."""
    model, data_set = _checked(case, model, data_set)
    if (T is None) == (P is None):
        raise ValueError("give T or P")
    entry = _component_number(case, component)
    values = _temperatures("T" if P is None else "P", T if P is None else P)
    fields = _core_case(case).saturation(model, entry["number"], data_set, values, P is None)
    return _saturation(dict(fields), entry["identifier"], model, entry["MWN"])


def vapour_pressure_curve(case: Any, component: str, T_from: float, T_to: Optional[float] = None, points: int = 30,
                          model: str = "pcsaft", data_set: int = 1) -> "Saturation":
    """The vapour-pressure curve from T_from to T_to at `points` evenly spaced
    temperatures, traced by continuation; T_to=None runs to the critical region."""
    model, data_set = _checked(case, model, data_set)
    entry = _component_number(case, component)
    t_from = arguments.positive_scalar("T_from", T_from)
    t_to = float("nan") if T_to is None else arguments.positive_scalar("T_to", T_to)
    count = arguments.integer("points", points, 1, arguments.MAX_CURVE_POINTS)
    fields = _core_case(case).curve(model, entry["number"], data_set, t_from, t_to, count)
    return _saturation(dict(fields), entry["identifier"], model, entry["MWN"])


@dataclass(frozen=True)
class Activity:
    """Solvent activities over polymer solutions at T, one row per liquid:
    P (the vapour's pressure), w, x (liquid), y (vapour), partial pressures,
    fugacities, activities a_i = f_i / f_i,sat and weight-fraction activity
    coefficients a_i / w_i (columns follow `components`), and the pure
    components' vapour pressures P_sat."""
    components: Tuple[str, ...]
    model: str
    T: float
    P: np.ndarray
    w: np.ndarray
    x: np.ndarray
    y: np.ndarray
    partial_pressure: np.ndarray
    fugacity: np.ndarray
    activity: np.ndarray
    weight_activity_coefficient: np.ndarray
    P_sat: np.ndarray
    status: List[str]
    message: List[str]

    @property
    def converged(self) -> np.ndarray:
        """True where the point converged (status "converged" or "single phase")."""
        return np.array([s in OK for s in self.status])

    def plot(self, component: Optional[str] = None, ax: Any = None) -> Any:
        """The sorption isotherm: activity of `component` (default: the first
        listed) against its weight fraction. Returns the matplotlib Axes."""
        from . import plots
        return plots.activity(self, component=component, ax=ax)


def _activity(fields, listing, model, T):
    arrays = {k: np.asarray(v, dtype=float) for k, v in fields.items() if k not in ("status", "message")}
    return Activity(components=listing.identifiers, model=model, T=T, status=list(fields["status"]),
                    message=list(fields["message"]), **arrays)


def activity(case: Any, T: float, w: Composition, model: str = "pcsaft", components: Optional[Sequence[str]] = None,
             basis: str = "mass", data_set: int = 1) -> "Activity":
    """Activities of the solvents over liquids of composition w (weight
    fractions by default; a dict of scalars or arrays, or rows of an array
    following `components`) at temperature T."""
    model, data_set = _checked(case, model, data_set)
    listing, _, weights = _listing(case, w, components, basis, "w")
    T = arguments.positive_scalar("T", T)
    fields = _core_case(case).activity(model, listing.numbers, data_set, T, weights)
    return _activity(dict(fields), listing, model, T)


def sorption(case: Any, T: float, partial_pressures: Mapping[str, Values],
             polymer_weights: Optional[Mapping[str, float]] = None, model: str = "pcsaft",
             data_set: int = 1) -> "Activity":
    """The sorption isotherm: liquid compositions in equilibrium with the
    solvents' partial pressures (a dict identifier -> Pa, scalars or arrays;
    its keys and the polymers' keys in polymer_weights list the components)."""
    model, data_set = _checked(case, model, data_set)
    if not isinstance(partial_pressures, dict):
        raise arguments.ArgumentTypeError("partial_pressures must be a dict identifier -> pressure in Pa")
    if not partial_pressures:
        raise ValueError("partial_pressures must give the pressure of at least one solvent")
    weights = arguments.mapping("polymer_weights", polymer_weights, "a dict identifier -> weight share")
    polymers = [c["identifier"] for c in case._components if c["kind"] in ("polymer", "oligomer")]
    listed = list(partial_pressures) + [p for p in (list(weights) or polymers) if p not in partial_pressures]
    listing = inputs.Listing(case._components, listed)
    columns = np.broadcast_arrays(*[arguments.non_negative_finite(f"partial_pressures[{c!r}]", v)
                                    for c, v in partial_pressures.items()])
    pressures = np.stack(columns, axis=-1).reshape(-1, len(partial_pressures))
    matrix = np.zeros((pressures.shape[0], len(listed)))
    matrix[:, :len(partial_pressures)] = pressures
    shares = [float(arguments.non_negative_finite(f"polymer_weights[{c!r}]", weights[c])) if c in weights
              else (0.0 if weights else 1.0) for c in listed]
    T = arguments.positive_scalar("T", T)
    fields = _core_case(case).sorption(model, listing.numbers, data_set, T, np.ascontiguousarray(matrix), shares)
    return _activity(dict(fields), listing, model, T)


@dataclass(frozen=True)
class Critical:
    """Critical points on the model: T (K), P (Pa), V (m3/kmol) and rho
    (kmol/m3), one per composition (one row for a pure component)."""
    components: Tuple[str, ...]
    model: str
    T: np.ndarray
    P: np.ndarray
    V: np.ndarray
    rho: np.ndarray
    x: np.ndarray
    status: List[str]
    message: List[str]

    @property
    def converged(self) -> np.ndarray:
        """True where the point converged."""
        return np.array([s in OK for s in self.status])


def critical(case: Any, component: Optional[str] = None, x: Optional[Composition] = None, model: str = "pcsaft",
             components: Optional[Sequence[str]] = None, basis: str = "mole", data_set: int = 1,
             T_start: Optional[float] = None, V_start: Optional[float] = None) -> "Critical":
    """The critical point of one component (dP/drho = d2P/drho2 = 0), or of the
    mixture at each composition x by the Heidemann-Khalil criteria, on the
    family's Helmholtz-energy model. T_start (K) and V_start (m3/kmol) start the
    mixture's solver elsewhere than its pseudo-critical point (e.g. at a liquid
    volume for the liquid-liquid critical point of a polymer solution)."""
    model, data_set = _checked(case, model, data_set)
    if (component is None) == (x is None):
        raise ValueError("give component (a pure component) or x (a mixture's composition)")
    if (T_start is None) != (V_start is None):
        raise ValueError("a start needs both T_start and V_start")
    t0 = float("nan") if T_start is None else arguments.positive_scalar("T_start", T_start)
    v0 = float("nan") if V_start is None else arguments.positive_scalar("V_start", V_start)
    if component is not None:
        entry = _component_number(case, component)
        listed, true = (entry["identifier"],), np.ones((1, 1))
        numbers = [entry["number"]]
    else:
        listing, true, _ = _listing(case, x, components, basis, "x")
        listed, numbers = listing.identifiers, listing.numbers
    fields = dict(_core_case(case).critical(model, numbers, data_set, np.ascontiguousarray(true), t0, v0))
    arrays = {k: np.asarray(fields[k], dtype=float) for k in ("T", "P", "V")}
    return Critical(components=tuple(listed), model=model, rho=1.0 / arrays["V"], x=true,
                    status=list(fields["status"]), message=list(fields["message"]), **arrays)


@dataclass(frozen=True)
class BubbleDew:
    """Bubble or dew points, one per row: T, P, liquid x and vapour y (mole
    fractions of molecules, columns following `components`)."""
    kind: str
    components: Tuple[str, ...]
    model: str
    T: np.ndarray
    P: np.ndarray
    x: np.ndarray
    y: np.ndarray
    status: List[str]
    message: List[str]

    @property
    def converged(self) -> np.ndarray:
        """True where the point converged (status "converged" or "single phase")."""
        return np.array([s in OK for s in self.status])

    def plot(self, ax: Any = None) -> Any:
        """The P-x-y (or T-x-y) diagram: bubble line of the liquid x and dew
        line of the vapour y of the first listed component. Returns the matplotlib Axes."""
        from . import plots
        return plots.bubble_dew(self, ax=ax)


def _bubble_dew(kind, case, spec_name, spec, z, model, components, basis, data_set):
    model, data_set = _checked(case, model, data_set)
    listing, true, _ = _listing(case, z, components, basis, "x" if kind.startswith("bubble") else "y")
    values = _temperatures(spec_name, spec)
    n = np.broadcast_shapes(values.shape, (true.shape[0],))[0]
    values = np.ascontiguousarray(np.broadcast_to(values, (n,)))
    true = np.ascontiguousarray(np.broadcast_to(true, (n, true.shape[1])))
    fields = dict(_core_case(case).bubble_dew(kind, model, listing.numbers, data_set, values, true))
    arrays = {k: np.asarray(fields[k], dtype=float) for k in ("T", "P", "x", "y")}
    return BubbleDew(kind=kind, components=listing.identifiers, model=model, status=list(fields["status"]),
                     message=list(fields["message"]), **arrays)


def bubble_pressure(case: Any, T: Values, x: Composition, model: str = "pcsaft",
                    components: Optional[Sequence[str]] = None, basis: str = "mole", data_set: int = 1) -> "BubbleDew":
    """Bubble-point pressure (Pa) at T (K) of the liquid x; the incipient vapour is y."""
    return _bubble_dew("bubble_pressure", case, "T", T, x, model, components, basis, data_set)


def bubble_temperature(case: Any, P: Values, x: Composition, model: str = "pcsaft",
                       components: Optional[Sequence[str]] = None, basis: str = "mole", data_set: int = 1) -> "BubbleDew":
    """Bubble-point temperature (K) at P (Pa) of the liquid x; the incipient vapour is y."""
    return _bubble_dew("bubble_temperature", case, "P", P, x, model, components, basis, data_set)


def dew_pressure(case: Any, T: Values, y: Composition, model: str = "pcsaft",
                 components: Optional[Sequence[str]] = None, basis: str = "mole", data_set: int = 1) -> "BubbleDew":
    """Dew-point pressure (Pa) at T (K) of the vapour y; the incipient liquid is x."""
    return _bubble_dew("dew_pressure", case, "T", T, y, model, components, basis, data_set)


def dew_temperature(case: Any, P: Values, y: Composition, model: str = "pcsaft",
                    components: Optional[Sequence[str]] = None, basis: str = "mole", data_set: int = 1) -> "BubbleDew":
    """Dew-point temperature (K) at P (Pa) of the vapour y; the incipient liquid is x."""
    return _bubble_dew("dew_temperature", case, "P", P, y, model, components, basis, data_set)


@dataclass(frozen=True)
class FlashPhase:
    """One phase of a flash. Its molar volume comes on both bases: V_apparent
    counted as the host counts (a polymer in its repeat units; the V of a
    property-monitor call at the same state) and V_molecules per kmol of
    molecules; V is V_molecules, its older name."""
    kind: str              # "liquid" or "vapour"
    fraction: float        # moles of molecules in the phase per mole of feed
    mass_fraction: float
    x: np.ndarray          # mole fractions of molecules
    w: np.ndarray          # weight fractions
    ln_phi: np.ndarray
    V: float               # m3 per kmol of molecules
    V_apparent: float = float("nan")  # m3 per kmol as the host counts

    @property
    def V_molecules(self) -> float:
        """Molar volume per kmol of molecules, m3/kmol (the same as V)."""
        return self.V


@dataclass(frozen=True)
class Flash:
    components: Tuple[str, ...]
    model: str
    T: float
    P: float
    phases: List[FlashPhase]
    status: str
    message: str
    tangent_plane_distance: float
    iterations: int = 0

    @property
    def converged(self) -> np.ndarray:
        """True where the point converged (status "converged" or "single phase")."""
        return self.status in OK


def flash(case: Any, T: Values, P: Values, z: Composition, model: str = "pcsaft",
          components: Optional[Sequence[str]] = None, basis: str = "mole", data_set: int = 1,
          phases: Optional[int] = None) -> "Flash":
    """Isothermal flash of the feed z at T and P: one phase (status "single
    phase") or two. With phases=3 (or 2) the flash on the model's Helmholtz
    energy into up to that many phases, a third found by a second stability
    test (keld.threephase.flash3)."""
    model, data_set = _checked(case, model, data_set)
    listing, true, _ = _listing(case, z, components, basis, "z")
    if true.shape[0] != 1:
        raise ValueError("flash() takes one feed")
    # One flash is one (T, P) point; there is no vector form to point to.
    remedy = "flash() solves one (T, P) point; call it once per point, e.g. [flash(case, t, P, z) for t in T]"
    T, P = arguments.positive_scalar("T", T, remedy), arguments.positive_scalar("P", P, remedy)
    if phases is not None:
        from .model import Model
        from .threephase import flash_on_model
        m = Model.from_case(case, model, components=list(listing.identifiers), data_set=data_set)
        result = flash_on_model(m, T, P, list(true[0]), phases, model)
        return Flash(components=listing.identifiers, model=model, T=T, P=P, phases=result.phases,
                     status=result.status, message=result.message,
                     tangent_plane_distance=result.tangent_plane_distance, iterations=result.iterations)
    fields = dict(_core_case(case).flash(model, listing.numbers, data_set, T, P, list(true[0])))
    # A molecule of component i is MWN_i / MW_i kmol as the host counts them (its chain length for a polymer).
    mwn = np.array([inputs.find_component(case._components, c)["MWN"] for c in listing.identifiers])
    apparent_per_molecule = mwn / listing.molecular_weights
    phases = [FlashPhase(kind=p["kind"], fraction=float(p["fraction"]), mass_fraction=float(p["mass_fraction"]),
                         x=np.asarray(p["x"]), w=np.asarray(p["w"]), ln_phi=np.asarray(p["ln_phi"]), V=float(p["V"]),
                         V_apparent=float(p["V"]) / float(np.dot(p["x"], apparent_per_molecule)))
              for p in fields["phases"]]
    return Flash(components=listing.identifiers, model=model, T=T, P=P, phases=phases, status=fields["status"],
                 message=fields["message"], tangent_plane_distance=float(fields["tangent_plane_distance"]),
                 iterations=int(fields["iterations"]))


@dataclass(frozen=True)
class Lle:
    """Liquid-liquid demixing of a binary at P over T: weight fractions of the
    second component in the lean and rich phases (the binodal, which is the
    cloud-point curve of a single polymer component) and at the spinodal;
    `critical` lists the UCST/LCST found between neighbouring temperatures."""
    components: Tuple[str, ...]
    model: str
    P: float
    T: np.ndarray
    w_lean: np.ndarray
    w_rich: np.ndarray
    w_spinodal_lean: np.ndarray
    w_spinodal_rich: np.ndarray
    critical: List[dict] = field(default_factory=list)
    status: List[str] = field(default_factory=list)
    message: List[str] = field(default_factory=list)

    def plot(self, ax: Any = None) -> Any:
        """Binodal (cloud points) and spinodal in the T-w plane, the critical
        solution points starred. Returns the matplotlib Axes."""
        from . import plots
        return plots.lle(self, ax=ax)


def lle(case: Any, T: Values, P: float, components: Sequence[str], model: str = "pcsaft", data_set: int = 1) -> "Lle":
    """Binodal and spinodal of the binary `components` (solvent, polymer) at
    each T (number or array) and pressure P."""
    model, data_set = _checked(case, model, data_set)
    listing = inputs.Listing(case._components, arguments.identifiers("components", components))
    if len(listing.numbers) != 2:
        raise ValueError("lle() needs two components: a solvent and a polymer")
    values = _temperatures("T", T)
    P = arguments.positive_scalar("P", P)
    fields = dict(_core_case(case).lle(model, listing.numbers, data_set, P, values))
    arrays = {k: np.asarray(fields[k], dtype=float)
              for k in ("T", "w_lean", "w_rich", "w_spinodal_lean", "w_spinodal_rich")}
    return Lle(components=listing.identifiers, model=model, P=P, critical=[dict(c) for c in fields["critical"]],
               status=list(fields["status"]), message=list(fields["message"]), **arrays)


@dataclass(frozen=True)
class LleTrace:
    """Demixing curves of a binary at P traced over T from each critical
    solution point (UCST: downwards, LCST: upwards) to the end of the range.
    Each branch is a dict: kind ("UCST"/"LCST"), T_critical (K), w_critical,
    the binodal's tie lines T, w_lean, w_rich (the critical point first), the
    spinodal as one line spinodal_T, spinodal_w through the critical point,
    and its status and message (a branch that stops early says why and keeps
    its points)."""
    components: Tuple[str, ...]
    model: str
    P: float
    branches: List[dict] = field(default_factory=list)
    status: str = ""
    message: str = ""

    def plot(self, ax: Any = None) -> Any:
        """Binodal and spinodal lines in the T-w plane (T in K, degC on the
        right), critical solution points starred. Returns the matplotlib Axes."""
        from . import plots
        return plots.lle_trace(self, ax=ax)


def lle_trace(case: Any, T_from: float, T_to: float, P: float, components: Sequence[str], model: str = "pcsaft",
              data_set: int = 1) -> "LleTrace":
    """The binodal and spinodal of the binary `components` (solvent, polymer)
    at pressure P, traced on the model from the critical solution points
    between T_from and T_to (K) out to the range's ends."""
    model, data_set = _checked(case, model, data_set)
    listing = inputs.Listing(case._components, arguments.identifiers("components", components))
    if len(listing.numbers) != 2:
        raise ValueError("lle_trace() needs two components: a solvent and a polymer")
    T_from = arguments.positive_scalar("T_from", T_from)
    T_to = arguments.positive_scalar("T_to", T_to)
    P = arguments.positive_scalar("P", P)
    fields = dict(_core_case(case).lle_trace(model, listing.numbers, data_set, P, T_from, T_to))
    branches = []
    for b in fields["branches"]:
        b = dict(b)
        for k in ("T", "w_lean", "w_rich", "spinodal_T", "spinodal_w"):
            b[k] = np.asarray(b[k], dtype=float)
        branches.append(b)
    return LleTrace(components=listing.identifiers, model=model, P=P, branches=branches,
                    status=str(fields["status"]), message=str(fields["message"]))


# Curves traced on the model through their critical points (keld.envelope).
from .envelope import (BinaryCurve, CriticalCurve, PhaseEnvelope, PxyIsotherm, TxyIsobar,  # noqa: E402,F401
                       critical_curve, phase_envelope, pxy_isotherm, txy_isobar)

# Liquid-liquid equilibria of a polymer, a solvent and a non-solvent on the model (keld.ternary).
from .ternary import TernaryDiagram, TernaryFlash, ternary_flash, ternary_lle  # noqa: E402,F401
