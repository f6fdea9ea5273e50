"""Re-evaluates every equilibrium keld returns for the shipped examples and reports the worst residual.

    /usr/bin/python3 bench/equilibrium_residuals.py [--examples DIR]

For each state of each example file (its model, data set and components):
  - the vapour pressure of every volatile component at eight temperatures from
    0.6 to 1.3 times the state's temperature;
  - the flash of the state's feed at its T and P;
  - the bubble pressure of the state's composition at its T;
  - for a binary with a polymer, the liquid-liquid binodal at the state's P over
    five temperatures around T.
Every returned phase pair is evaluated again with Case.properties at the
returned T, P and compositions, each phase at its own phase flag, and the
residual is max_i |ln(z_i phi_i)' - ln(z_i phi_i)''| (apparent basis) over the volatile
components (the polymer's chemical potential is left to the solvers' own checks).
"unevaluable" counts returned states that failed to evaluate again (a fault).
Points converged to the monitors' resolution (the message states it) are
reported against that stated value.
Runs against the installed keld package (or PYTHONPATH=<build>/python).
"""
import argparse
import math
import re
import pathlib
import warnings

import numpy as np

import keld
from keld import equilibria, inputs

EXAMPLES = pathlib.Path(__file__).resolve().parents[1] / "examples"
OK = ("converged",)


def apparent(case, components, x):
    """Apparent mole fractions (a polymer in moles of its repeat unit) of the mole fractions of molecules x."""
    listing, _ = inputs.composition(case._components, [1.0 / len(components)] * len(components), components, "mole", "z")
    mwn = np.array([inputs.find_component(case._components, c)["MWN"] for c in components])
    moles = np.asarray(x, dtype=float) * mwn / np.asarray(listing.molecular_weights, dtype=float).ravel()
    return moles / moles.sum()


def ln_f(case, model, data_set, components, T, P, x, phase):
    """ln(z_i phi_i) on the apparent basis: ln f_i - ln P of every solvent, whatever the basis."""
    z = apparent(case, components, x)
    r = case.properties(T=T, P=P, z=list(z), phase=phase, model=model, components=components,
                        data_set=data_set, flags={"ln_phi": 1})
    if int(np.ravel(r.status)[0]) != 1:
        return None
    return np.ravel(np.asarray(r.ln_phi, dtype=float)) + np.log(np.maximum(z, 1e-300))


RESOLUTION = re.compile(r"resolution of the monitors' ln phi at this pressure \(about ([0-9.eE+-]+)\)")


def stated_tolerance(kind, message):
    """The tolerance the solver states: its own, or the monitors' resolution its message names."""
    m = RESOLUTION.search(message or "")
    base = 1e-13 if kind == "liquid-liquid" else 1e-11
    return (max(base, float(m.group(1))), True) if m else (base, False)


class Worst:
    """Per kind of equilibrium: points, points that failed to evaluate again, the worst residual among
    points converged to the solver's own tolerance, and the worst residual over the stated tolerance
    among points converged to the monitors' resolution (a liquid at a few pascals)."""

    def __init__(self):
        self.rows = {}

    def add(self, kind, where, residual, message=""):
        row = self.rows.setdefault(kind, {"points": 0, "unevaluable": 0, "worst": 0.0, "at": "",
                                          "limited": 0, "ratio": 0.0, "ratio_at": ""})
        row["points"] += 1
        if residual is None:
            row["unevaluable"] += 1
            return
        tolerance, limited = stated_tolerance(kind, message)
        if limited:
            row["limited"] += 1
            if residual / tolerance > row["ratio"]:
                row["ratio"], row["ratio_at"] = residual / tolerance, where
        elif residual > row["worst"]:
            row["worst"], row["at"] = residual, where


def pair_residual(case, model, data_set, components, T, P, x1, ph1, x2, ph2, volatile):
    a = ln_f(case, model, data_set, components, T, P, x1, ph1)
    b = ln_f(case, model, data_set, components, T, P, x2, ph2)
    if a is None or b is None:
        return None
    return max(abs(a[i] - b[i]) for i in volatile if x1[i] > 0.0 and x2[i] > 0.0)


def audit_state(case, name, s, worst):
    model, ds, comps, T, P, z = s["model"], s["data_set"], s["components"], s["T"], s["P"], s["z"]
    mwn = [inputs.find_component(case._components, c)["MWN"] for c in comps]
    polymer = [m > 1000.0 for m in mwn]
    volatile = [i for i, p in enumerate(polymer) if not p]
    for i in volatile:
        temps = np.linspace(0.6 * T, 1.3 * T, 8)
        try:
            sat = equilibria.saturation(case, comps[i], T=temps, model=model, data_set=ds)
        except (ValueError, RuntimeError):
            continue
        for t, p, st, msg in zip(sat.T, sat.P, sat.status, sat.message):
            if st not in OK:
                continue
            r = pair_residual(case, model, ds, [comps[i]], t, p, [1.0], "liquid", [1.0], "vapour", [0])
            worst.add("saturation", f"{name} {model} {comps[i]} {t:.6g} K {p:.4g} Pa", r, msg)
    if len(comps) < 2:
        return
    fl = equilibria.flash(case, T=T, P=P, z=list(z), model=model, components=comps, data_set=ds)
    if fl.status == "converged" and len(fl.phases) == 2:
        p1, p2 = fl.phases
        r = pair_residual(case, model, ds, comps, T, P, list(p1.x), p1.kind, list(p2.x), p2.kind, volatile)
        worst.add("flash", f"{name} {model} {T:.6g} K {P:.6g} Pa", r, fl.message)
    if len(volatile) >= 1:
        b = equilibria.bubble_pressure(case, T=T, x=list(z), model=model, components=comps, data_set=ds)
        if b.status[0] in OK:
            r = pair_residual(case, model, ds, comps, T, float(b.P[0]), list(b.x[0]), "liquid", list(b.y[0]),
                              "vapour", volatile)
            worst.add("bubble", f"{name} {model} {T:.6g} K", r, b.message[0])
    if len(comps) == 2 and sum(polymer) == 1:
        temps = np.linspace(T - 20.0, T + 20.0, 5)
        lle = equilibria.lle(case, T=temps, P=P, components=comps, model=model, data_set=ds)
        for t, wl, wr, st, msg in zip(lle.T, lle.w_lean, lle.w_rich, lle.status, lle.message):
            if st not in OK or not (math.isfinite(wl) and math.isfinite(wr)):
                continue
            xs = []
            for w in (wl, wr):  # weight fractions of the second component to mole fractions of molecules
                n = np.array([(1.0 - w) / mwn[0], w / mwn[1]])
                xs.append(list(n / n.sum()))
            r = pair_residual(case, model, ds, comps, t, P, xs[0], "liquid", xs[1], "liquid", volatile)
            worst.add("liquid-liquid", f"{name} {model} {t:.6g} K", r, msg)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--examples", default=str(EXAMPLES))
    args = parser.parse_args()
    worst = Worst()
    for path in sorted(pathlib.Path(args.examples).glob("*.json")):
        case = keld.Case.load(path)
        for s in case.states:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                try:
                    audit_state(case, path.stem, s, worst)
                except (ValueError, RuntimeError, KeyError) as e:
                    print(f"  {path.stem} {s['label']}: skipped ({e})")
    print(f"{'equilibrium':14s} {'points':>6s} {'unevaluable':>11s}  {'worst |d ln f|':>14s}  at")
    for kind, row in worst.rows.items():
        print(f"{kind:14s} {row['points']:6d} {row['unevaluable']:11d}  {row['worst']:14.2e}  {row['at']}")
        if row["limited"]:
            print(f"{'':14s} {row['limited']:6d} at the monitors' resolution: worst |d ln f| / stated "
                  f"{row['ratio']:.2f}  {row['ratio_at']}")


if __name__ == "__main__":
    main()
