"""Polydisperse polymers: distributions, cloud-point and shadow curves, fractionation.

    >>> from keld import polydisperse as pd
    >>> d = pd.schulz_flory(Mn=1e5, Mw=2e5, n=10)
    >>> d.moments["Mz"]                      # 3e5: Mn, Mw, Mz kept by the Gauss rule
    >>> curve = pd.cloud_point_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, P=1e5)
    >>> curve.critical["T"], curve.plot("cloud.png")
    >>> f = pd.fractionate(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=295.0, w=0.1)
    >>> f.rich["Mw"], f.plot("fractionation.png")

    >>> a = pd.activity(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=298.0, w=0.01)
    >>> a.one_liquid, a.equilibrium, a.demixed

A distribution is discretised into pseudo-components (Gauss quadrature of the
number distribution) that share the polymer's PC-SAFT segment parameters and
differ in chain length. The solvent is a dict (name, mw kg/kmol, m, sigma
Angstrom, epsilon_k K), or a list of them with `solvent_w` (their weight
fractions in the solvent mixture) and optionally `solvent_kij` (S x S); kij is
then one value per solvent. The polymer is a dict (name, m_per_mw kmol/kg,
sigma, epsilon_k, mw_repeat kg/kmol), or a copolymer {name, segments: [dicts of
name, mass_fraction, mw, m_per_mw, sigma, epsilon_k]} whose kij is per solvent
(every segment type) or per solvent and segment type. Temperatures in K,
pressures in Pa, compositions as polymer weight fractions. A calculation that
did not converge says so in `status` and `message`; its numbers are NaN.
"""
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Sequence

from . import _core
from .arguments import positive_finite as _positive_array


def positive_finite(name: str, value: float) -> float:
    return float(_positive_array(name, value))

__all__ = ["Distribution", "schulz_flory", "log_normal", "from_gpc", "from_points", "cloud_point_curve",
           "cloud_point_pressure_curve", "fractionate", "activity", "CloudPointCurve", "Fractionation", "Activity", "CYCLOHEXANE", "POLYSTYRENE",
           "TOLUENE"]

# Gross and Sadowski's PC-SAFT cyclohexane and polystyrene (the example case's values).
CYCLOHEXANE = {"name": "CYCLOHEX", "mw": 84.147, "m": 2.5303, "sigma": 3.8499, "epsilon_k": 278.11}
POLYSTYRENE = {"name": "PS", "m_per_mw": 0.0190, "sigma": 4.1071, "epsilon_k": 267.0, "mw_repeat": 104.152}
TOLUENE = {"name": "TOLUENE", "mw": 92.141, "m": 2.8149, "sigma": 3.7169, "epsilon_k": 285.69}


def _system(solvent: Any, polymer: Dict[str, Any], kij: Any, solvent_w: Optional[Sequence[float]],
            solvent_kij: Optional[Sequence[Sequence[float]]]) -> tuple:
    """The arguments of the core functions: solvents, their weight fractions and k_ij (flat), the
    polymer and its k_ij (flat: per solvent, or per solvent and segment type)."""
    solvents = [dict(solvent)] if isinstance(solvent, dict) else [dict(s) for s in solvent]
    if not solvents:
        raise ValueError("at least one solvent is needed")
    if solvent_w is None:
        if len(solvents) > 1:
            raise ValueError("several solvents need their weight fractions in the solvent mixture (solvent_w)")
        solvent_w = [1.0]
    fractions = [float(v) for v in solvent_w]
    flat_solvent_kij = [float(v) for row in (solvent_kij or []) for v in row]
    polymer = dict(polymer)
    types = len(polymer["segments"]) if "segments" in polymer else 1
    rows = [kij] * len(solvents) if not isinstance(kij, (list, tuple)) else list(kij)
    flat_kij: List[float] = []
    for row in rows:
        flat_kij.extend([float(v) for v in row] if isinstance(row, (list, tuple)) else [float(row)] * types)
    if "segments" not in polymer and len(flat_kij) != len(solvents):
        raise ValueError("kij needs one value per solvent")
    if "segments" in polymer:
        polymer["segments"] = [dict(g) for g in polymer["segments"]]
    return solvents, fractions, flat_solvent_kij, polymer, flat_kij


@dataclass
class Distribution:
    """Pseudo-components (dicts: mw, weight_fraction, mole_fraction), the set's moments and
    the distribution's own (mu0..mu3, Mn, Mw, Mz; kg/kmol)."""
    pseudo: List[Dict[str, float]]
    moments: Dict[str, float]
    exact_moments: Dict[str, float]

    def __len__(self) -> int:
        return len(self.pseudo)


def _distribution(d: Dict[str, Any]) -> Distribution:
    return Distribution(d["pseudo"], d["moments"], d["exact_moments"])


def _count(n: int) -> int:
    if not isinstance(n, int) or n < 1:
        raise ValueError("n must be a whole number of pseudo-components, at least 1")
    return n


def schulz_flory(Mn: float, Mw: float, n: int = 10) -> Distribution:
    """Schulz-Flory distribution of number- and weight-average molecular weight (kg/kmol)."""
    return _distribution(_core.polydisperse_schulz_flory(positive_finite("Mn", Mn), positive_finite("Mw", Mw),
                                                         _count(n)))


def log_normal(Mn: float, Mw: float, n: int = 10) -> Distribution:
    """Log-normal distribution of the given averages (kg/kmol)."""
    return _distribution(_core.polydisperse_log_normal(positive_finite("Mn", Mn), positive_finite("Mw", Mw),
                                                       _count(n)))


def from_gpc(path: str, n: int = 10) -> Distribution:
    """A GPC trace: CSV of molecular weight (g/mol) and weight fraction, or dw/dlogM when the
    header's second column says so (docs/polydisperse.md)."""
    return _distribution(_core.polydisperse_gpc(str(path), _count(n)))


def from_points(mw: Sequence[float], weight_fraction: Sequence[float], n: int = 10) -> Distribution:
    """Explicit pseudo-components: molecular weights (kg/kmol) and weight fractions (normalised)."""
    return _distribution(_core.polydisperse_points(list(map(float, mw)), list(map(float, weight_fraction)),
                                                   _count(n)))


@dataclass
class CloudPointCurve:
    status: str
    message: str
    critical: Dict[str, Any]
    points: List[Dict[str, Any]] = field(default_factory=list)
    over_pressure: bool = False  # at a held T, each feed's cloud-point pressure

    @property
    def w(self) -> List[float]:
        return [p["feed"]["w_polymer"] for p in self.points]

    @property
    def T(self) -> List[float]:
        return [p["T"] for p in self.points]

    @property
    def P(self) -> List[float]:
        return [p["P"] for p in self.points]

    @property
    def w_shadow(self) -> List[float]:
        return [p["shadow"]["w_polymer"] for p in self.points]

    def plot(self, path: Optional[str] = None, ax: Any = None) -> Any:
        """Cloud-point and shadow curves (T / K, or P / MPa over the pressure, against w) and the
        critical point; saved to `path` when given. Returns the matplotlib axes."""
        import matplotlib.pyplot as plt
        if ax is None:
            _, ax = plt.subplots()
        y = [p / 1e6 for p in self.P] if self.over_pressure else self.T
        y_critical = self.critical["P"] / 1e6 if self.over_pressure else self.critical["T"]
        ax.plot(self.w, y, "-", label="cloud-point curve (feed)")
        ax.plot(self.w_shadow, y, "--", label="shadow curve (incipient phase)")
        ax.plot([self.critical["w_polymer"]], [y_critical], "k*", markersize=12, label="critical point")
        ax.set_xlabel("polymer weight fraction w")
        ax.set_ylabel("P / MPa" if self.over_pressure else "T / K")
        ax.legend()
        if path:
            ax.figure.savefig(path, dpi=100)
        return ax


@dataclass
class Fractionation:
    status: str
    message: str
    T: float
    w_feed: float
    rich_share: float
    rich_share_of_pseudo: List[float]
    feed: Distribution
    lean: Optional[Dict[str, Any]] = None
    rich: Optional[Dict[str, Any]] = None

    def plot(self, path: Optional[str] = None, ax: Any = None) -> Any:
        """The polymer's distribution in the feed and both phases (weight fraction against
        log10 M); saved to `path` when given. Returns the matplotlib axes."""
        import math
        import matplotlib.pyplot as plt
        if self.lean is None or self.rich is None:
            raise ValueError("no two phases to plot: " + self.message)
        if ax is None:
            _, ax = plt.subplots()
        x = [math.log10(c["mw"]) for c in self.feed.pseudo]
        ax.plot(x, [c["weight_fraction"] for c in self.feed.pseudo], "k-", label="feed")
        ax.plot(x, [c["weight_fraction"] for c in self.lean["pseudo"]], "--", label="polymer-lean phase")
        ax.plot(x, [c["weight_fraction"] for c in self.rich["pseudo"]], "--", label="polymer-rich phase")
        ax.set_xlabel("log10(M / (kg/kmol))")
        ax.set_ylabel("weight fraction of the phase's polymer")
        ax.legend()
        if path:
            ax.figure.savefig(path, dpi=100)
        return ax


def cloud_point_curve(solvent: Any, polymer: Dict[str, Any], kij: Any, distribution: Distribution,
                      P: float = 1e5, w_from: float = 0.005, w_to: float = 0.3, points: int = 30,
                      T_range: Sequence[float] = (250.0, 400.0), solvent_w: Optional[Sequence[float]] = None,
                      solvent_kij: Optional[Sequence[Sequence[float]]] = None,
                      lower_branch: bool = False) -> CloudPointCurve:
    """Cloud-point and shadow curves at P over feeds w_from..w_to (evenly in ln(w/(1-w))),
    followed from the critical point of the polydisperse solution (an upper critical
    solution branch sought within T_range; with lower_branch, a lower one)."""
    r = _core.polydisperse_cloud_point_curve(*_system(solvent, polymer, kij, solvent_w, solvent_kij),
                                             distribution.pseudo,
                                             positive_finite("P", P), float(w_from), float(w_to), int(points),
                                             float(T_range[0]), float(T_range[1]), bool(lower_branch))
    return CloudPointCurve(r["status"], r["message"], r["critical"], r["points"])


def cloud_point_pressure_curve(solvent: Any, polymer: Dict[str, Any], kij: Any, distribution: Distribution,
                               T: float, w_from: float = 0.005, w_to: float = 0.3, points: int = 30,
                               P_range: Sequence[float] = (1e5, 1e8), solvent_w: Optional[Sequence[float]] = None,
                               solvent_kij: Optional[Sequence[Sequence[float]]] = None,
                               lower_branch: bool = False) -> CloudPointCurve:
    """Cloud-point pressures at a held T over feeds w_from..w_to (evenly in ln(w/(1-w))), Pa, and
    the shadow curve, followed from the critical point at T (its pressure sought within P_range, its
    temperature within 20 K of T on the upper branch, or with lower_branch the lower one). Points
    whose pressure leaves P_range are refused."""
    r = _core.polydisperse_cloud_point_pressure_curve(*_system(solvent, polymer, kij, solvent_w, solvent_kij),
                                                      distribution.pseudo, positive_finite("T", T), float(w_from),
                                                      float(w_to), int(points), positive_finite("P_range", P_range[0]),
                                                      positive_finite("P_range", P_range[1]), bool(lower_branch))
    return CloudPointCurve(r["status"], r["message"], r["critical"], r["points"], over_pressure=True)


def fractionate(solvent: Any, polymer: Dict[str, Any], kij: Any, distribution: Distribution,
                T: float, w: float, P: float = 1e5, T_range: Sequence[float] = (250.0, 400.0),
                solvent_w: Optional[Sequence[float]] = None,
                solvent_kij: Optional[Sequence[Sequence[float]]] = None,
                lower_branch: bool = False) -> Fractionation:
    """The two liquids of a feed of polymer weight fraction w at T and P: each phase's w, Mn, Mw
    and distribution; status 'single phase' above the feed's cloud point."""
    r = _core.polydisperse_fractionate(*_system(solvent, polymer, kij, solvent_w, solvent_kij), distribution.pseudo,
                                       positive_finite("T", T), positive_finite("P", P), float(w),
                                       float(T_range[0]), float(T_range[1]), bool(lower_branch))
    return Fractionation(r["status"], r["message"], r["T"], r["w_feed"], r["rich_share"],
                         r["rich_share_of_pseudo"], distribution, r.get("lean"), r.get("rich"))


@dataclass
class Activity:
    """Each solvent's activity f / f(pure liquid solvent at T, P): `one_liquid` of the feed unsplit,
    `equilibrium` of the liquids it splits into below its cloud point (`demixed`; their polymer
    weight fractions w_lean, w_rich)."""
    status: str
    message: str
    T: float
    w: float
    one_liquid: List[float]
    equilibrium: List[float]
    demixed: bool
    cloud_T: float
    w_lean: float
    w_rich: float


def activity(solvent: Any, polymer: Dict[str, Any], kij: Any, distribution: Distribution, T: float, w: float,
             P: float = 1e5, T_range: Sequence[float] = (250.0, 400.0), solvent_w: Optional[Sequence[float]] = None,
             solvent_kij: Optional[Sequence[Sequence[float]]] = None, lower_branch: bool = False) -> Activity:
    """Solvent activity over the polymer solution of polymer weight fraction w at T and P: as one
    liquid it equals the monodisperse polymer's of the same Mn; below the feed's cloud point the
    equilibrium value is the two liquids' (the cloud point sought within T_range)."""
    r = _core.polydisperse_activity(*_system(solvent, polymer, kij, solvent_w, solvent_kij), distribution.pseudo,
                                    positive_finite("T", T), positive_finite("P", P), float(w),
                                    float(T_range[0]), float(T_range[1]), bool(lower_branch))
    return Activity(r["status"], r["message"], r["T"], r["w"], r["one_liquid"], r["equilibrium"], r["demixed"],
                    r["cloud_T"], r["w_lean"], r["w_rich"])
