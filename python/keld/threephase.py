"""Three phases on a Helmholtz-energy model: the flash into up to three phases
(a third found by a second stability test) and the three-phase line of a
binary up to its upper critical end point.

    >>> import keld
    >>> from keld.threephase import flash3, vlle_line
    >>> case = keld.Case.load("examples/methanol-hexane-methane-pcsaft-assoc.json")
    >>> f = flash3(case, 185.0, 1e5, [0.1, 0.5, 0.4], model="pcsaft-assoc")
    >>> [p.kind for p in f.phases]          # liquid, liquid, vapour
    >>> line = vlle_line(keld.Case.load("examples/methanol-hexane-pcsaft-assoc.json"), 170.0,
    ...                  model="pcsaft-assoc", components=["METHANOL", "HEXANE"])
    >>> line.end_point                      # (T, P, x, y) of the upper critical end point
    >>> line.plot("vlle.png")

Every phase of a flash has ln f_i equal to the others' within 1e-11 at its
own (T, rho, x); the phases hold the feed to rounding. Units: T in K, P in
Pa, densities in kmol/m3, compositions mole fractions of molecules.
"""
from dataclasses import dataclass
from typing import Any, Mapping, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core
from .equilibria import Flash, FlashPhase
from .arguments import positive_scalar
from .model import Model, model_of
from .plots import pressure_over_temperature, pressure_unit

__all__ = ["VlleLine", "flash3", "vlle_line"]




def _feed(z: Union[Sequence[float], Mapping[str, float]], ids: Sequence[str]) -> list:
    if isinstance(z, Mapping):
        unknown = set(z) - set(ids)
        if unknown:
            raise ValueError(f"z names components the model lacks: {sorted(unknown)}")
        values = [float(z.get(i, 0.0)) for i in ids]
    else:
        values = [float(v) for v in z]
        if len(values) != len(ids):
            raise ValueError(f"z needs {len(ids)} mole fractions, one per component, not {len(values)}")
    if any(not np.isfinite(v) or v < 0.0 for v in values) or sum(values) <= 0.0:
        raise ValueError("z must hold finite mole fractions, none negative, not all zero")
    return values


def flash_on_model(m: Model, T: float, P: float, z: Sequence[float], phases: int, family: str) -> Flash:
    """The flash of `z` (mole fractions in the model's order) on the model `m` into up to
    `phases` phases, as keld.equilibria.Flash."""
    if phases not in (2, 3):
        raise ValueError(f"phases must be 2 or 3, not {phases!r}")
    f = dict(_core.flash_on_model(m._core, positive_scalar("T", T), positive_scalar("P", P), list(z), int(phases)))
    parts = [FlashPhase(kind=p["kind"], fraction=float(p["fraction"]), mass_fraction=float(p["mass_fraction"]),
                        x=np.asarray(p["x"]), w=np.asarray(p["w"]), ln_phi=np.asarray(p["ln_phi"]), V=float(p["V"]))
             for p in f["phases"]]
    return Flash(components=tuple(c[0] for c in m.components), model=family, T=float(T), P=float(P), phases=parts,
                 status=f["status"], message=f["message"],
                 tangent_plane_distance=float(f["tangent_plane_distance"]), iterations=int(f["iterations"]))


def flash3(source: Any, T: float, P: float, z: Union[Sequence[float], Mapping[str, float]],
           model: str = "pcsaft", components: Optional[Sequence[str]] = None, data_set: int = 1,
           phases: int = 3) -> Flash:
    """Isothermal flash of the feed z (mole fractions of molecules, in the
    model's component order or by identifier) at T (K) and P (Pa) on the
    model of `source` (a keld.Model, or a case with `model`, `components`,
    `data_set`) into up to `phases` phases: liquids first (the one richer in
    the first component first), then the vapour. Polymers stay out of the
    vapour. A stable feed is one phase (status "single phase"); a split that
    does not converge is refused (status "not converged", no phases)."""
    m = model_of(source, model, components, data_set)
    family = model if not isinstance(source, Model) else getattr(source, "family", model)
    return flash_on_model(m, T, P, _feed(z, [c[0] for c in m.components]), phases, family)


@dataclass(frozen=True)
class VlleLine:
    """The three-phase line of a binary by increasing T: T (K), P (Pa, the
    vapour's), the first component's mole fraction in liquid 1 (richer in it),
    liquid 2 and the vapour, the three densities; with `end_point` (T, P, x, y)
    the last point is the upper critical end point, where the liquids are one
    (`eigenvalue`, `cubic_form`: its liquid-liquid critical conditions)."""
    components: Tuple[str, ...]
    T: np.ndarray
    P: np.ndarray
    x1: np.ndarray
    x2: np.ndarray
    y: np.ndarray
    rho1: np.ndarray
    rho2: np.ndarray
    rho_vapour: np.ndarray
    end_point: Optional[Tuple[float, float, float, float]]
    eigenvalue: float
    cubic_form: float
    status: str
    message: str

    @property
    def converged(self) -> bool:
        return self.status == "converged"

    def plot(self, path: Optional[str] = None, ax=None):
        """P (Pa, kPa or MPa by its largest value) over T (K, degC on top), the end point
        marked. Draws into `ax` or a new figure, saved to `path` if given."""
        import matplotlib.pyplot as plt
        fig = None
        if ax is None:
            fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
        factor, unit = pressure_unit(float(np.max(self.P)) if len(self.P) else 1.0)
        ax.plot(self.T, self.P / factor, color="C0", label="liquid-liquid-vapour")
        if self.end_point is not None:
            ax.plot([self.end_point[0]], [self.end_point[1] / factor], "*", color="C3", ms=11,
                    label="upper critical end point")
        ax.set_title(f"Three-phase line of {self.components[0]} + {self.components[1]}", fontsize=10)
        return pressure_over_temperature(ax, unit, fig, path)


def vlle_line(source: Any, T_start: float, T_step: float = 2.0, model: str = "pcsaft",
              components: Optional[Sequence[str]] = None, data_set: int = 1) -> VlleLine:
    """The three-phase line of the binary model of `source` from T_start (K) in steps of at most
    T_step (K) up to its upper critical end point."""
    m = model_of(source, model, components, data_set)
    if len(m) != 2:
        raise ValueError(f"the three-phase line needs a model of two components, not {len(m)}")
    f = dict(_core.vlle_line(m._core, positive_scalar("T_start", T_start), positive_scalar("T_step", T_step)))
    arrays = {k: np.asarray(f[k], dtype=float) for k in ("T", "P", "x1", "x2", "y", "rho1", "rho2", "rho_vapour")}
    end = None
    if f["end_point"]:
        end = (float(arrays["T"][-1]), float(arrays["P"][-1]), float(arrays["x1"][-1]), float(arrays["y"][-1]))
    return VlleLine(components=tuple(c[0] for c in m.components), end_point=end, eigenvalue=float(f["eigenvalue"]),
                    cubic_form=float(f["cubic_form"]), status=f["status"], message=f["message"], **arrays)
