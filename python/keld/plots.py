"""Plots of keld results with matplotlib (the "plots" extra): the same
drawings as `keld ... --plot`. Each function draws on `ax` (a new figure's
Axes when None) and returns the Axes; the results' `plot()` methods call them.
Every computed point is marked, and the marks are joined only where they are
dense enough to stand for the curve; pressures are shown in Pa, kPa or MPa by
their size, never with an offset."""
from typing import Any, Optional, Sequence, Tuple

import numpy as np

MODEL_NAMES = {"pcsaft": "PC-SAFT", "pcsaft-assoc": "PC-SAFT with association", "saft": "SAFT",
               "sanchez-lacombe": "Sanchez-Lacombe", "cubic": "SRK"}

# Axis labels of the property fields of Result/Results.
PROPERTY_LABELS = {"V": "V / (m3/kmol)", "H": "H - H_ig / (J/kmol)", "S": "S - S_ig / (J/(kmol K))",
                   "G": "G - G_ig / (J/kmol)"}

DENSE = 20       # from this many points on, the marks are joined by a line
CROWDED = 80     # above this many, the line alone shows the points


def model_name(family: str) -> str:
    """The name of a model family for titles and legends ("pcsaft" -> "PC-SAFT")."""
    return MODEL_NAMES.get(family, family)


def pressure_unit(largest_pa: float) -> Tuple[float, str]:
    """(Pa per unit, unit) that suit a pressure axis whose largest value is `largest_pa`."""
    p = abs(float(largest_pa)) if np.isfinite(largest_pa) else 0.0
    if p >= 1e6:
        return 1e6, "MPa"
    if p >= 1e3:
        return 1e3, "kPa"
    return 1.0, "Pa"


def pressure_text(p_pa: float) -> str:
    factor, unit = pressure_unit(p_pa)
    return f"{p_pa / factor:.4g} {unit}"


def _axes(ax):
    if ax is not None:
        return ax
    try:
        import matplotlib.pyplot as plt
    except ImportError as e:  # pragma: no cover - depends on the installation
        raise ImportError("plot() needs matplotlib (Debian: python3-matplotlib)") from e
    _, ax = plt.subplots(figsize=(6.4, 4.6))
    return ax


def computed(ax, x, y, label: Optional[str] = None, joined: str = "-", **style: Any):
    """Points of the model: marked, joined (line style `joined`) when dense
    enough. NaN (failed) points are left out."""
    x, y = np.asarray(x, dtype=float), np.asarray(y, dtype=float)
    keep = np.isfinite(x) & np.isfinite(y)
    n = int(keep.sum())
    line = dict(ls=joined if n >= DENSE else "none", lw=1.4, marker="o" if n <= CROWDED else None, ms=4)
    line.update(style)
    return ax.plot(x[keep], y[keep], label=label, **line)


def _finish(ax, title: str, x_label: str, y_label: str, legend: bool = True):
    ax.set_title(title, fontsize=10)
    ax.set_xlabel(x_label)
    ax.set_ylabel(y_label)
    if ax.get_xscale() == "linear" and ax.get_yscale() == "linear":
        ax.ticklabel_format(useOffset=False)
    ax.grid(True, alpha=0.3)
    if legend and any(line.get_label() and not line.get_label().startswith("_") for line in ax.get_lines()):
        ax.legend(fontsize=8)
    return ax


def pressure_over_temperature(ax, p_unit: str = "MPa", fig=None, path=None):
    """Finishes a P-T plot: T in K below and degC on top, P in `p_unit`, a grid and
    the legend; saves the figure to `path` when the plot made its own figure."""
    ax.set_xlabel("T / K")
    top = ax.secondary_xaxis("top", functions=(lambda t: t - 273.15, lambda c: c + 273.15))
    top.set_xlabel("T / \u00b0C")
    ax.set_ylabel(f"P / {p_unit}")
    ax.grid(True, alpha=0.3)
    ax.legend(fontsize=8)
    if fig is not None and path is not None:
        fig.tight_layout()
        fig.savefig(path)
    return ax


def _varying(values) -> bool:
    values = np.asarray(values, dtype=float)
    return values.size > 1 and np.nanmax(values) != np.nanmin(values)


def properties(results, y: str = "V", x: Optional[str] = None, ax=None):
    """A property of Results (V, H, S, G or "ln_phi[ID]") against the varying
    T (or P); `x` = "T" or "P" chooses when both vary."""
    if x is None:
        x = "P" if _varying(results.P) and not _varying(results.T) else "T"
    if x not in ("T", "P"):
        raise ValueError(f"x must be 'T' or 'P', not {x!r}")
    if y in PROPERTY_LABELS:
        values, y_label = getattr(results, y), PROPERTY_LABELS[y]
    elif y.startswith("ln_phi[") and y.endswith("]"):
        identifier = y[len("ln_phi["):-1]
        upper = [c.upper() for c in results.components]
        if identifier.upper() not in upper:
            raise ValueError(f"{identifier!r} is not among the components {', '.join(results.components)}")
        values, y_label = results.ln_phi[:, upper.index(identifier.upper())], f"ln phi({identifier})"
    else:
        raise ValueError(f"y must be one of V, H, S, G or 'ln_phi[ID]', not {y!r}")
    values = np.where(np.asarray(results.status) != 0, values, np.nan)
    ax = _axes(ax)
    if x == "T":
        xs, x_label = np.asarray(results.T, dtype=float), "T / K"
        fixed = f"P = {pressure_text(float(np.nanmax(results.P)))}" if not _varying(results.P) else ""
    else:
        factor, unit = pressure_unit(np.nanmax(np.abs(results.P)))
        xs, x_label = np.asarray(results.P, dtype=float) / factor, f"P / {unit}"
        fixed = f"T = {float(np.nanmax(results.T)):.5g} K" if not _varying(results.T) else ""
    computed(ax, xs, values, label=f"{model_name(results.model)}, {results.phase}")
    system = " + ".join(results.components)
    title = f"{system}\n{model_name(results.model)}, {results.phase}" + (f", {fixed}" if fixed else "")
    return _finish(ax, title, x_label, y_label)


def saturation(s, ax=None, data: Optional[Tuple[Sequence[float], Sequence[float]]] = None):
    """The vapour-pressure curve of a Saturation on a logarithmic pressure axis;
    `data` = (T, P in Pa) adds measured points."""
    ax = _axes(ax)
    largest = max([np.nanmax(s.P) if np.isfinite(s.P).any() else 0.0]
                  + ([np.nanmax(np.asarray(data[1], dtype=float))] if data is not None else []))
    factor, unit = pressure_unit(largest)
    ok = np.asarray(s.converged)
    computed(ax, np.where(ok, s.T, np.nan), np.asarray(s.P) / factor, label=model_name(s.model), color="C0")
    if s.critical is not None:
        ax.plot([s.critical[0]], [s.critical[1] / factor], ls="none", marker="*", ms=11, color="C3",
                label="critical point (model)")
    if data is not None:
        ax.plot(np.asarray(data[0], dtype=float), np.asarray(data[1], dtype=float) / factor, ls="none", marker="o",
                ms=5, mfc="none", mew=1.2, color="k", label="data")
    ax.set_yscale("log")
    return _finish(ax, f"Vapour pressure of {s.component} ({model_name(s.model)})", "T / K", f"P_sat / {unit}")


def activity(a, component: Optional[str] = None, ax=None):
    """The activity of one solvent (default: the first listed) against its weight fraction."""
    k = 0 if component is None else [c.upper() for c in a.components].index(component.upper())
    identifier = a.components[k]
    ax = _axes(ax)
    ok = np.asarray(a.converged)
    computed(ax, np.where(ok, a.w[:, k], np.nan), a.activity[:, k], label=model_name(a.model), color="C0")
    return _finish(ax, f"Activity of {identifier} at {a.T:.5g} K ({model_name(a.model)})",
                   f"weight fraction of {identifier} / (kg/kg)", f"activity of {identifier}")


def bubble_dew(b, ax=None):
    """The P-x-y (or T-x-y) diagram of BubbleDew points: the bubble line (liquid x)
    and the dew line (vapour y) of the first listed component."""
    ax = _axes(ax)
    ok = np.asarray(b.converged)
    over_t = b.kind.endswith("temperature")
    if over_t:
        level, y_label = np.asarray(b.T, dtype=float), "T / K"
        fixed = f"P = {pressure_text(float(np.nanmax(b.P)))}"
    else:
        factor, unit = pressure_unit(np.nanmax(np.where(ok, b.P, np.nan)) if ok.any() else 0.0)
        level, y_label = np.asarray(b.P, dtype=float) / factor, f"P / {unit}"
        fixed = f"T = {float(np.nanmax(b.T)):.5g} K"
    level = np.where(ok, level, np.nan)
    computed(ax, b.x[:, 0], level, label="bubble line (liquid)", color="C0")
    computed(ax, b.y[:, 0], level, label="dew line (vapour)", color="C1")
    what = "Bubble" if b.kind.startswith("bubble") else "Dew"
    return _finish(ax, f"{what} points of {' + '.join(b.components)}, {fixed} ({model_name(b.model)})",
                   f"mole fraction of {b.components[0]} / (mol/mol)", y_label)


def lle_trace(result, ax=None):
    """Traced binodal and spinodal lines of an LleTrace in the T-w plane (T in K, degC on the right),
    critical solution points starred."""
    ax = _axes(ax)
    polymer = result.components[1]
    for k, b in enumerate(result.branches):
        w = np.concatenate([b["w_lean"][:0:-1], b["w_rich"]])
        t = np.concatenate([b["T"][:0:-1], b["T"]])
        ax.plot(w, t, color="C0", label="binodal (cloud points)" if k == 0 else None)
        ax.plot(b["spinodal_w"], b["spinodal_T"], color="C1", ls="--", label="spinodal" if k == 0 else None)
        ax.plot([b["w_critical"]], [b["T_critical"]], ls="none", marker="*", ms=11, color="C3",
                label="critical solution point" if k == 0 else None)
    right = ax.secondary_yaxis("right", functions=(lambda t: t - 273.15, lambda c: c + 273.15))
    right.set_ylabel("T / degC")
    return _finish(ax, f"Demixing of {' + '.join(result.components)}, P = {pressure_text(result.P)} "
                       f"({model_name(result.model)})", f"weight fraction of {polymer} / (kg/kg)", "T / K")


def lle(result, ax=None):
    """Binodal (cloud points) and spinodal of an Lle in the T-w plane, critical solution points starred."""
    ax = _axes(ax)
    polymer = result.components[1]
    for lean, rich, label, style in ((result.w_lean, result.w_rich, "binodal (cloud points)", {"color": "C0"}),
                                     (result.w_spinodal_lean, result.w_spinodal_rich, "spinodal",
                                      {"color": "C1", "joined": "--", "mfc": "none"})):
        w = np.concatenate([np.asarray(lean, dtype=float), np.asarray(rich, dtype=float)[::-1]])
        t = np.concatenate([result.T, result.T[::-1]])
        computed(ax, w, t, label=label, **style)
    for k, c in enumerate(result.critical):
        ax.plot([c.get("w", np.nan)], [c.get("T", np.nan)], ls="none", marker="*", ms=11, color="C3",
                label="critical solution point" if k == 0 else None)
    return _finish(ax, f"Demixing of {' + '.join(result.components)}, P = {pressure_text(result.P)} "
                       f"({model_name(result.model)})", f"weight fraction of {polymer} / (kg/kg)", "T / K")
