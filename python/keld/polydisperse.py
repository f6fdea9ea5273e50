"""Polydisperse polymers: distributions, cloud-point and shadow curves, fractionation.

    >>> from keld import polydisperse as pd
    >>> d = pd.schulz_flory(Mn=1e5, Mw=2e5, n=10)
    >>> d.moments["Mz"]                      # 3e5: Mn, Mw, Mz kept by the Gauss rule
    >>> curve = pd.cloud_point_curve(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, P=1e5)
    >>> curve.critical["T"], curve.plot("cloud.png")
    >>> f = pd.fractionate(pd.CYCLOHEXANE, pd.POLYSTYRENE, 0.0078, d, T=295.0, w=0.1)
    >>> f.rich["Mw"], f.plot("fractionation.png")

A distribution is discretised into pseudo-components (Gauss quadrature of the
number distribution) that share the polymer's PC-SAFT segment parameters and
differ in chain length. The solvent is a dict (name, mw kg/kmol, m, sigma
Angstrom, epsilon_k K), the polymer a dict (name, m_per_mw kmol/kg, sigma,
epsilon_k, mw_repeat kg/kmol). Temperatures in K, pressures in Pa, compositions
as polymer weight fractions. A calculation that did not converge says so in
`status` and `message`; its numbers are NaN.
"""
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, Sequence

from . import _core
from .arguments import positive_finite as _positive_array


def positive_finite(name: str, value: float) -> float:
    return float(_positive_array(name, value))

__all__ = ["Distribution", "schulz_flory", "log_normal", "from_gpc", "from_points", "cloud_point_curve",
           "fractionate", "CloudPointCurve", "Fractionation", "CYCLOHEXANE", "POLYSTYRENE"]

# Gross and Sadowski's PC-SAFT cyclohexane and polystyrene (the example case's values).
CYCLOHEXANE = {"name": "CYCLOHEX", "mw": 84.147, "m": 2.5303, "sigma": 3.8499, "epsilon_k": 278.11}
POLYSTYRENE = {"name": "PS", "m_per_mw": 0.0190, "sigma": 4.1071, "epsilon_k": 267.0, "mw_repeat": 104.152}


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

    @property
    def w(self) -> List[float]:
        return [p["feed"]["w_polymer"] for p in self.points]

    @property
    def T(self) -> List[float]:
        return [p["T"] for p in self.points]

    @property
    def w_shadow(self) -> List[float]:
        return [p["shadow"]["w_polymer"] for p in self.points]

    def plot(self, path: Optional[str] = None, ax: Any = None) -> Any:
        """Cloud-point and shadow curves (T / K against w) and the critical point; saved to
        `path` when given. Returns the matplotlib axes."""
        import matplotlib.pyplot as plt
        if ax is None:
            _, ax = plt.subplots()
        ax.plot(self.w, self.T, "-", label="cloud-point curve (feed)")
        ax.plot(self.w_shadow, self.T, "--", label="shadow curve (incipient phase)")
        ax.plot([self.critical["w_polymer"]], [self.critical["T"]], "k*", markersize=12, label="critical point")
        ax.set_xlabel("polymer weight fraction w")
        ax.set_ylabel("T / K")
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


def cloud_point_curve(solvent: Dict[str, Any], polymer: Dict[str, Any], kij: float, distribution: Distribution,
                      P: float = 1e5, w_from: float = 0.005, w_to: float = 0.3, points: int = 30,
                      T_range: Sequence[float] = (250.0, 400.0)) -> CloudPointCurve:
    """Cloud-point and shadow curves at P over feeds w_from..w_to (evenly in ln(w/(1-w))),
    followed from the critical point of the polydisperse solution (an upper critical
    solution branch sought within T_range)."""
    r = _core.polydisperse_cloud_point_curve(dict(solvent), dict(polymer), float(kij), distribution.pseudo,
                                             positive_finite("P", P), float(w_from), float(w_to), int(points),
                                             float(T_range[0]), float(T_range[1]))
    return CloudPointCurve(r["status"], r["message"], r["critical"], r["points"])


def fractionate(solvent: Dict[str, Any], polymer: Dict[str, Any], kij: float, distribution: Distribution,
                T: float, w: float, P: float = 1e5, T_range: Sequence[float] = (250.0, 400.0)) -> Fractionation:
    """The two liquids of a feed of polymer weight fraction w at T and P: each phase's w, Mn, Mw
    and distribution; status 'single phase' above the feed's cloud point."""
    r = _core.polydisperse_fractionate(dict(solvent), dict(polymer), float(kij), distribution.pseudo,
                                       positive_finite("T", T), positive_finite("P", P), float(w),
                                       float(T_range[0]), float(T_range[1]))
    return Fractionation(r["status"], r["message"], r["T"], r["w_feed"], r["rich_share"],
                         r["rich_share_of_pseudo"], distribution, r.get("lean"), r.get("rich"))
