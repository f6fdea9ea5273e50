"""Liquid-liquid equilibria of a polymer, a solvent and a non-solvent on a
Helmholtz-energy model at fixed T and P: the ternary diagram (binodal, tie
lines, plait point) and the two-liquid flash of a feed.

    >>> import keld
    >>> case = keld.Case.load("examples/polystyrene-toluene-methanol-pcsaft-assoc.json")
    >>> m = keld.Model.from_case(case, "pcsaft-assoc", components=["TOLUENE", "METHANOL", "PS"])
    >>> d = keld.equilibria.ternary_lle(m, 298.15, 1e5, nonsolvent="METHANOL")
    >>> d.plait.w                       # the plait point's weight fractions
    >>> d.plot("ternary.png")

The tie lines are traced by arc-length continuation in density variables
from the polymer / non-solvent edge to where the phases merge; the plait
point is solved by the Heidemann-Khalil criteria at T and P. Every tie line
has equal ln f to 1e-10 and equal pressures. Units: T in K, P in Pa,
densities in kmol/m3; x are mole fractions of molecules, w weight fractions,
both in the model's component order.
"""
from dataclasses import dataclass
from typing import Any, Optional, Sequence, Tuple

import numpy as np

from . import _core
from .arguments import positive_scalar
from .model import Model, model_of

__all__ = ["TernaryPhase", "TernaryDiagram", "TernaryFlash", "ternary_lle", "ternary_flash"]


@dataclass(frozen=True)
class TernaryPhase:
    """One liquid: mole fractions x, weight fractions w, density rho (kmol/m3)."""
    x: np.ndarray
    w: np.ndarray
    rho: float


@dataclass(frozen=True)
class TernaryDiagram:
    """Tie lines at T and P, one row per line from the binary edge to the plait
    point: x_lean, x_rich, w_lean, w_rich (one column per component) and both
    densities; `plait` the solved plait point (None when not reached);
    `roles` the indices (solvent, nonsolvent, polymer)."""
    components: Tuple[str, ...]
    roles: Tuple[int, int, int]
    T: float
    P: float
    x_lean: np.ndarray
    x_rich: np.ndarray
    w_lean: np.ndarray
    w_rich: np.ndarray
    rho_lean: np.ndarray
    rho_rich: np.ndarray
    plait: Optional[TernaryPhase]
    status: str
    message: str

    @property
    def converged(self) -> bool:
        return self.status == "converged"

    def plot(self, path: Optional[str] = None, ax=None, tie_lines: int = 14):
        """The triangle of weight fractions (non-solvent bottom left, solvent
        bottom right, polymer on top): binodal, `tie_lines` of the tie lines
        and the plait point. Draws into `ax` or a new figure, saved to `path`
        if given; returns the axis."""
        import matplotlib.pyplot as plt
        s, n, p = self.roles
        h = np.sqrt(3.0) / 2.0

        def xy(w):
            w = np.atleast_2d(w)
            return w[:, s] + 0.5 * w[:, p], h * w[:, p]

        fig = None
        if ax is None:
            fig, ax = plt.subplots(figsize=(6.4, 5.8), dpi=110)
        ax.plot([0, 1, 0.5, 0], [0, 0, h, 0], color="k", lw=1.2)
        for g in (0.2, 0.4, 0.6, 0.8):
            for a, b in (((g, 0), (0, g)), ((0, g), (1 - g, g)), ((g, 0), (g, 1 - g))):
                ax.plot([a[0] + 0.5 * a[1], b[0] + 0.5 * b[1]], [h * a[1], h * b[1]], color="0.85", lw=0.6, zorder=0)
            ax.text(g, -0.035, f"{g:.1f}", ha="center", fontsize=7)
            ax.text(0.5 * g - 0.045, h * g, f"{g:.1f}", ha="center", fontsize=7)
        names = self.components
        ax.text(0.0, -0.08, f"{names[n]} (w = 1)", ha="center", fontsize=9)
        ax.text(1.0, -0.08, f"{names[s]} (w = 1)", ha="center", fontsize=9)
        ax.text(0.5, h + 0.03, f"{names[p]} (w = 1)", ha="center", fontsize=9)
        ax.text(0.5, -0.13, f"weight fraction of {names[s]} (bottom scale) / (kg/kg)", ha="center", fontsize=8)
        ax.text(0.12, 0.5, f"weight fraction of {names[p]} / (kg/kg)", rotation=60, ha="center", fontsize=8)
        count = len(self.rho_lean)
        if count:
            picks = sorted(set(int(k) for k in np.linspace(0, count - 1, min(tie_lines, count))))
            for i, k in enumerate(picks):
                (x0,), (y0,) = xy(self.w_lean[k])
                (x1,), (y1,) = xy(self.w_rich[k])
                ax.plot([x0, x1], [y0, y1], color="C2", lw=0.8, label="tie lines" if i == 0 else None)
            branch = [self.w_lean] + ([self.plait.w[None, :]] if self.plait is not None else []) + [self.w_rich[::-1]]
            bx, by = xy(np.vstack(branch))
            ax.plot(bx, by, color="C0", lw=1.8, label="binodal")
        if self.plait is not None:
            (px,), (py,) = xy(self.plait.w)
            ax.plot([px], [py], "*", color="C3", ms=12, label="plait point")
        ax.set_xlim(-0.1, 1.1)
        ax.set_ylim(-0.16, h + 0.08)
        ax.set_aspect("equal")
        ax.axis("off")
        ax.set_title(f"{names[p]} + {names[s]} + {names[n]} at {self.T - 273.15:g} \u00b0C, {self.P / 1e5:g} bar",
                     fontsize=10)
        ax.legend(fontsize=8, loc="upper right")
        if fig is not None and path is not None:
            fig.tight_layout()
            fig.savefig(path)
        return ax


@dataclass(frozen=True)
class TernaryFlash:
    """Two liquids at T, P and the feed z: lean and rich phases, beta the rich
    phase's share of the feed's molecules, tpd the smallest tangent-plane
    distance of the stability test (negative: the feed splits). A stable
    feed has status "single phase" and lean = rich = the feed."""
    lean: Optional[TernaryPhase]
    rich: Optional[TernaryPhase]
    beta: float
    tpd: float
    status: str
    message: str

    @property
    def converged(self) -> bool:
        return self.status == "converged"


def _model(source: Any, model: str, components: Optional[Sequence[str]], data_set: int) -> Model:
    m = model_of(source, model, components, data_set)
    if len(m) != 3:
        raise ValueError(f"a ternary diagram needs a model of three components, not {len(m)}")
    return m



def _roles(m: Model, nonsolvent: Optional[str], polymer: Optional[str]) -> Tuple[int, int, int]:
    """(solvent, nonsolvent, polymer): the polymer named or the heaviest, the non-solvent named or the
    later listed of the other two."""
    names = [c[0] for c in m.components]

    def index(role, name):
        if name not in names:
            raise ValueError(f"{role}: no component {name!r} in the model ({', '.join(names)})")
        return names.index(name)

    p = index("polymer", polymer) if polymer is not None else int(np.argmax([c[1] for c in m.components]))
    others = [k for k in range(3) if k != p]
    n = others[1] if nonsolvent is None else index("nonsolvent", nonsolvent)
    if n == p:
        raise ValueError(f"nonsolvent: {names[n]!r} is the polymer")
    s = others[0] if n == others[1] else others[1]
    return s, n, p


def _phase(f) -> Optional[TernaryPhase]:
    if f is None:
        return None
    return TernaryPhase(x=np.asarray(f["x"]), w=np.asarray(f["w"]), rho=float(f["rho"]))


def ternary_lle(source: Any, T: float, P: float, nonsolvent: Optional[str] = None, polymer: Optional[str] = None,
                model: str = "pcsaft", components: Optional[Sequence[str]] = None,
                data_set: int = 1) -> TernaryDiagram:
    """The liquid-liquid diagram of a three-component keld.Model (or of a case's
    model `model` for `components`) at T (K) and P (Pa)."""
    m = _model(source, model, components, data_set)
    roles = _roles(m, nonsolvent, polymer)
    f = dict(_core.ternary_lle(m._core, positive_scalar("T", T), positive_scalar("P", P), *roles))
    return TernaryDiagram(components=tuple(c[0] for c in m.components), roles=roles, T=float(T), P=float(P),
                          x_lean=np.asarray(f["x_lean"]), x_rich=np.asarray(f["x_rich"]),
                          w_lean=np.asarray(f["w_lean"]), w_rich=np.asarray(f["w_rich"]),
                          rho_lean=np.asarray(f["rho_lean"]), rho_rich=np.asarray(f["rho_rich"]),
                          plait=_phase(f["plait"]), status=f["status"], message=f["message"])


def ternary_flash(source: Any, T: float, P: float, z: Sequence[float], nonsolvent: Optional[str] = None,
                  polymer: Optional[str] = None, model: str = "pcsaft", components: Optional[Sequence[str]] = None,
                  data_set: int = 1) -> TernaryFlash:
    """Two liquids of the feed z (mole fractions of molecules or amounts, in the
    model's order) at T (K) and P (Pa)."""
    m = _model(source, model, components, data_set)
    roles = _roles(m, nonsolvent, polymer)
    z = [float(v) for v in z]
    if len(z) != 3:
        raise ValueError(f"z needs three amounts, not {len(z)}")
    f = dict(_core.ternary_flash(m._core, positive_scalar("T", T), positive_scalar("P", P), z, *roles))
    return TernaryFlash(lean=_phase(f["lean"]), rich=_phase(f["rich"]), beta=float(f["beta"]), tpd=float(f["tpd"]),
                        status=f["status"], message=f["message"])
