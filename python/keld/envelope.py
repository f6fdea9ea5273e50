"""Curves of two coexisting phases traced on a Helmholtz-energy model through
their critical points: the P-x-y isotherm and T-x-y isobar of a binary and the
P-T phase envelope of a mixture of fixed composition, and the critical curve
of a binary.

    >>> import keld
    >>> from keld.envelope import pxy_isotherm, phase_envelope
    >>> case = keld.Case.load("examples/methane-hexane.json")
    >>> iso = pxy_isotherm(keld.Model.from_case(case, "pcsaft"), 350.0)
    >>> iso.P[-1], iso.critical          # the critical point ends the curve
    >>> iso.plot("pxy.png")

Both are solved in density variables with the model's exact derivatives and
continued by arc length; the critical point is solved by the Heidemann-Khalil
criteria where the traced curve crosses it. Every returned point has equal
fugacities and pressures in both phases to 1e-12 (1e-10 where rounding of a
dilute phase's pressure sets the floor). Units: T in K, P in Pa, densities in
kmol/m3, compositions mole fractions of molecules.
"""
from dataclasses import dataclass, field
from typing import Any, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core
from .arguments import positive_scalar
from .model import model_of
from .plots import pressure_over_temperature

__all__ = ["BinaryCurve", "PxyIsotherm", "TxyIsobar", "PhaseEnvelope", "CriticalCurve", "pxy_isotherm", "txy_isobar",
           "phase_envelope", "critical_curve"]




def _pressure_axis(ax):
    ax.set_ylabel("P / MPa")
    ax.grid(True, alpha=0.3)


class MixtureCriticalPoint(NamedTuple):
    """A mixture's critical point on a curve: T (K), P (Pa), rho (kmol/m3 of
    molecules) and, for a binary's tie lines, x (mole fractions); unpacks as the
    tuple it was before it had names."""
    T: float
    P: float
    rho: float


class BinaryCriticalPoint(NamedTuple):
    """Where a binary's tie lines end: T (K), P (Pa), rho (kmol/m3), x (mole fractions)."""
    T: float
    P: float
    rho: float
    x: np.ndarray


@dataclass(frozen=True)
class BinaryCurve:
    """Tie lines of a binary at fixed T (an isotherm) or P (an isobar): T (K), P
    (Pa), x and y (liquid and vapour mole fractions, one row per point, one
    column per component), both densities; from the pure component that
    coexists there with the higher critical temperature to the critical point
    (`critical`: T, P, rho, x), or to the other pure component when both coexist."""
    components: Tuple[str, ...]
    isobar: bool
    T: np.ndarray
    P: np.ndarray
    x: np.ndarray
    y: np.ndarray
    rho_liquid: np.ndarray
    rho_vapour: np.ndarray
    ends_at_critical: bool
    critical: Optional[BinaryCriticalPoint]
    status: str
    message: str

    @property
    def converged(self) -> bool:
        return self.status == "converged"

    def plot(self, path: Optional[str] = None, ax=None):
        """P (MPa) of an isotherm, or T (K, degC on the right) of an isobar, over the first
        component's mole fraction in both phases, the critical point marked. Draws into `ax` (a
        matplotlib axis) or a new figure, saved to `path` if given."""
        import matplotlib.pyplot as plt
        fig = None
        if ax is None:
            fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
        along = self.T if self.isobar else self.P / 1e6
        ax.plot(self.x[:, 0], along, color="C1", label="bubble points (liquid)")
        ax.plot(self.y[:, 0], along, color="C0", label="dew points (vapour)")
        if self.critical is not None:
            c = self.critical[0] if self.isobar else self.critical[1] / 1e6
            ax.plot([self.critical[3][0]], [c], "*", color="C3", ms=11, label="critical point")
        ax.set_xlabel(f"mole fraction of {self.components[0]}")
        ax.set_xlim(0.0, 1.0)
        pair = f"{self.components[0]} + {self.components[1]}"
        if self.isobar:
            ax.set_title(f"{pair} at {self.P[0] / 1e6:g} MPa" if len(self.P) else pair, fontsize=10)
            ax.set_ylabel("T / K")
            ax.grid(True, alpha=0.3)
            right = ax.secondary_yaxis("right", functions=(lambda t: t - 273.15, lambda c: c + 273.15))
            right.set_ylabel("T / \u00b0C")
        else:
            ax.set_title(f"{pair} at {self.T[0]:g} K" if len(self.T) else pair, fontsize=10)
            _pressure_axis(ax)
        ax.legend(fontsize=8)
        if fig is not None and path is not None:
            fig.tight_layout()
            fig.savefig(path)
        return ax


PxyIsotherm = BinaryCurve
TxyIsobar = BinaryCurve


@dataclass(frozen=True)
class PhaseEnvelope:
    """The P-T envelope of the feed z: per point T (K), P (Pa), the densities of
    the feed and the incipient phase, the incipient composition and `bubble`
    (the feed is the liquid); `critical` (T, P, rho) and its index in the
    points, `cricondenbar` and `cricondentherm` (T, P)."""
    components: Tuple[str, ...]
    z: np.ndarray
    T: np.ndarray
    P: np.ndarray
    rho_feed: np.ndarray
    rho_incipient: np.ndarray
    incipient: np.ndarray
    bubble: np.ndarray
    critical: Optional[MixtureCriticalPoint]
    critical_index: Optional[int]
    cricondenbar: Optional[Tuple[float, float]]
    cricondentherm: Optional[Tuple[float, float]]
    status: str
    message: str

    @property
    def converged(self) -> bool:
        return self.status == "converged"

    def plot(self, path: Optional[str] = None, ax=None):
        """P (MPa) over T (K, degC on top): dew and bubble branches, critical point,
        cricondenbar and cricondentherm marked."""
        import matplotlib.pyplot as plt
        fig = None
        if ax is None:
            fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
        k = self.critical_index
        dew = ~self.bubble
        bub = self.bubble.copy()
        if k is not None:
            dew[k] = bub[k] = True
        ax.plot(self.T[dew], self.P[dew] / 1e6, color="C0", label="dew points")
        ax.plot(self.T[bub], self.P[bub] / 1e6, color="C1", label="bubble points")
        for name, point, marker, color in (("critical point", self.critical, "*", "C3"),
                                           ("cricondenbar", self.cricondenbar, "^", "C2"),
                                           ("cricondentherm", self.cricondentherm, ">", "C4")):
            if point is not None:
                ax.plot([point[0]], [point[1] / 1e6], marker, color=color, ms=9, label=name)
        return pressure_over_temperature(ax, "MPa", fig, path)


def _binary(f, m, isobar):
    crit = f.get("critical")
    return BinaryCurve(components=tuple(c[0] for c in m.components), isobar=isobar, T=np.asarray(f["T"]),
                       P=np.asarray(f["P"]), x=np.asarray(f["x"]), y=np.asarray(f["y"]),
                       rho_liquid=np.asarray(f["rho_liquid"]), rho_vapour=np.asarray(f["rho_vapour"]),
                       ends_at_critical=bool(f["ends_at_critical"]),
                       critical=None if crit is None else BinaryCriticalPoint(crit[0], crit[1], crit[2], np.asarray(crit[3])),
                       status=f["status"], message=f["message"])


def _binary_model(source, model, components, data_set):
    m = model_of(source, model, components, data_set)
    if len(m) != 2:
        raise ValueError(f"a diagram of tie lines needs a model of two components, not {len(m)}")
    return m


def pxy_isotherm(source: Any, T: float, model: str = "pcsaft", components: Optional[Sequence[str]] = None,
                 data_set: int = 1) -> BinaryCurve:
    """The P-x-y isotherm of a two-component keld.Model (or of a case's model
    `model` for `components`) at T (K), up to the mixture's critical point."""
    m = _binary_model(source, model, components, data_set)
    return _binary(dict(_core.pxy_isotherm(m._core, positive_scalar("T", T))), m, False)


def txy_isobar(source: Any, P: float, model: str = "pcsaft", components: Optional[Sequence[str]] = None,
               data_set: int = 1) -> BinaryCurve:
    """The T-x-y isobar of a two-component model at P (Pa), up to the mixture's
    critical point at P; above both components' critical pressures refused
    ("no coexistence")."""
    m = _binary_model(source, model, components, data_set)
    return _binary(dict(_core.txy_isobar(m._core, positive_scalar("P", P))), m, True)


def phase_envelope(source: Any, z: Union[Sequence[float], Mapping[str, float]], p_low: float = 1e5,
                   model: str = "pcsaft", components: Optional[Sequence[str]] = None,
                   data_set: int = 1) -> PhaseEnvelope:
    """The P-T envelope of the feed z (mole fractions of molecules in the model's
    component order, or a mapping name -> amount) from the dew point at p_low (Pa)
    through the critical point to the bubble point at p_low."""
    m = model_of(source, model, components, data_set)
    names = tuple(c[0] for c in m.components)
    if isinstance(z, Mapping):
        unknown = set(z) - set(names)
        if unknown:
            raise ValueError(f"no component {sorted(unknown)} in the model ({', '.join(names)})")
        z = [float(z.get(n, 0.0)) for n in names]
    zz = np.asarray(z, dtype=float)
    if zz.shape != (len(names),):
        raise ValueError(f"z needs one amount per component ({len(names)})")
    f = dict(_core.phase_envelope(m._core, zz.tolist(), positive_scalar("p_low", p_low)))
    return PhaseEnvelope(components=names, z=np.asarray(f["z"]), T=np.asarray(f["T"]), P=np.asarray(f["P"]),
                         rho_feed=np.asarray(f["rho_feed"]), rho_incipient=np.asarray(f["rho_incipient"]),
                         incipient=np.asarray(f["incipient"]), bubble=np.asarray(f["bubble"]) > 0.5,
                         critical=None if f["critical"] is None else MixtureCriticalPoint(*f["critical"]),
                         critical_index=f["critical_index"],
                         cricondenbar=f["cricondenbar"], cricondentherm=f["cricondentherm"],
                         status=f["status"], message=f["message"])


@dataclass(frozen=True)
class CriticalCurve:
    """The vapour-liquid critical curve of a binary: per point T (K), P (Pa), V
    (m3/kmol of molecules) and x (mole fractions, one row per point), from the
    first component's critical point (x = (1, 0)) toward the second's. With
    `reaches_other` the last point is the second component's critical point;
    else the curve ended before it (`pressure_capped`: above p_max) and
    `message` says where and why. `stable` is False at points where the
    critical phase splits into two other phases (its most negative
    tangent-plane distance / (R T), `tpd`, below -1e-8; NaN: not tested); such
    points are kept and counted in `message`."""
    components: Tuple[str, ...]
    T: np.ndarray
    P: np.ndarray
    V: np.ndarray
    x: np.ndarray
    reaches_other: bool
    pressure_capped: bool
    status: str
    message: str
    stable: np.ndarray = field(default_factory=lambda: np.zeros(0, dtype=bool))
    tpd: np.ndarray = field(default_factory=lambda: np.zeros(0))

    @property
    def converged(self) -> bool:
        return self.status == "converged"

    def plot(self, path: Optional[str] = None, ax=None):
        """P (MPa) over T (K, degC on top), the pure components' critical points marked."""
        import matplotlib.pyplot as plt
        fig = None
        if ax is None:
            fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
        ax.plot(self.T, self.P / 1e6, color="C0", label="critical curve")
        for k, color in ((0, "C3"), (1, "C2")):
            ends = np.flatnonzero(self.x[:, k] == 1.0) if len(self.T) else []
            for i in ends:
                ax.plot([self.T[i]], [self.P[i] / 1e6], "*", color=color, ms=11,
                        label=f"critical point of {self.components[k]}")
        ax.set_title(f"Critical curve of {self.components[0]} + {self.components[1]}", fontsize=10)
        return pressure_over_temperature(ax, "MPa", fig, path)


def critical_curve(source: Any, p_max: float = 1e8, model: str = "pcsaft",
                   components: Optional[Sequence[str]] = None, data_set: int = 1) -> CriticalCurve:
    """The critical curve of a two-component keld.Model (or of a case's model
    `model` for `components`), continued in composition from the first
    component's critical point to the second's, followed up to p_max (Pa)."""
    m = model_of(source, model, components, data_set)
    if len(m) != 2:
        raise ValueError(f"a critical curve needs a model of two components, not {len(m)}")
    f = dict(_core.critical_curve(m._core, positive_scalar("p_max", p_max)))
    x1 = np.asarray(f["x1"])
    return CriticalCurve(components=tuple(c[0] for c in m.components), T=np.asarray(f["T"]),
                         P=np.asarray(f["P"]), V=np.asarray(f["V"]), x=np.column_stack([x1, 1.0 - x1]),
                         reaches_other=bool(f["reaches_other"]), pressure_capped=bool(f["pressure_capped"]),
                         status=f["status"], message=f["message"],
                         stable=np.asarray(f["stable"], dtype=bool), tpd=np.asarray(f["tpd"]))
