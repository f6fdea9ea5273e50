#!/usr/bin/env python3
"""Phase equilibria of the examples against published data; writes three PNG
files into examples/ and prints the model's deviations from the data.

    PYTHONPATH=<build>/python /usr/bin/python3 examples/plot_equilibria.py

1. vapour-pressure.png: n-hexane and toluene with PC-SAFT (Gross and Sadowski
   2001) from 250 K to the model's critical point, against the vapour pressures
   of Willingham et al. (1945) and the critical points of Horstmann et al. (2005).
2. activity-toluene-polystyrene.png: the toluene activity over polystyrene
   (MWN 1e5) at 298.15 K with PC-SAFT and Sanchez-Lacombe (no measured data
   shipped: see examples/README.md).
3. polystyrene-cyclohexane.png: demixing of polystyrene (MWN 1e5) in
   cyclohexane, upper branch at 1 bar and lower branch at 50 bar, and the
   critical solution temperatures against molecular weight, whose limit is the
   theta temperature (34.5 C measured; the k_ij was fitted to it).
"""
import pathlib

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import keld  # noqa: E402
import keld.equilibria as eq  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
THETA = 307.65  # K, polystyrene in cyclohexane (34.5 C)


def read_points(name):
    rows = [line.split(",") for line in (HERE / "data" / name).read_text().splitlines()
            if line and not line.startswith("#") and not line.startswith("T ")]
    return np.array([[float(a), float(b)] for a, b in rows])


def vapour_pressures():
    fluids = [("hexane-vapour-pressure.json", "HEXANE", "n-hexane", "hexane"),
              ("polystyrene-toluene.json", "TOLUENE", "toluene", "toluene")]
    fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
    for k, (case_file, component, name, stem) in enumerate(fluids):
        case = keld.Case.load(HERE / case_file)
        curve = eq.vapour_pressure_curve(case, component, 250.0, points=60)
        ax.plot(curve.T, curve.P, color=f"C{k}", label=f"{name}, PC-SAFT")
        ax.plot(*curve.critical[:2], "*", color=f"C{k}", ms=10)
        data = read_points(f"{stem}-vapour-pressure.csv")
        critical = read_points(f"{stem}-critical-point.csv")
        ax.plot(data[:, 0], data[:, 1], "o", mfc="none", color="k", ms=5,
                label="Willingham et al. (1945)" if k == 0 else None)
        ax.plot(critical[:, 0], critical[:, 1], "s", mfc="none", color="k", ms=7,
                label="critical points (Horstmann et al. 2005)" if k == 0 else None)
        model = eq.saturation(case, component, T=data[:, 0])
        deviation = 100.0 * (model.P / data[:, 1] - 1.0)
        print(f"{name}: P_sat, {len(data)} points {data[0, 0]:.0f}-{data[-1, 0]:.0f} K: "
              f"mean |dev| {np.mean(np.abs(deviation)):.2f} %, max {np.max(np.abs(deviation)):.2f} %; "
              f"model critical point {curve.critical[0]:.1f} K, {curve.critical[1] / 1e6:.3f} MPa "
              f"(data {critical[0, 0]:.1f} K, {critical[0, 1] / 1e6:.3f} MPa)")
    ax.set_yscale("log")
    ax.set_xlabel("T / K")
    ax.set_ylabel("P_sat / Pa")
    ax.set_title("Vapour pressure: PC-SAFT (lines, * model critical point) and data", fontsize=10)
    ax.grid(True, alpha=0.3)
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(HERE / "vapour-pressure.png")


def activity():
    case = keld.Case.load(HERE / "polystyrene-toluene.json")
    w = np.linspace(0.02, 0.98, 49)
    fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
    for model, label in (("pcsaft", "PC-SAFT"), ("sanchez-lacombe", "Sanchez-Lacombe")):
        a = eq.activity(case, 298.15, {"TOLUENE": w, "PS": 1.0 - w}, model=model)
        ax.plot(w, a.activity[:, 0], label=label)
        print(f"toluene over polystyrene, 298.15 K, {label}: a = {a.activity[24, 0]:.4f} at w = {w[24]:.2f}, "
              f"Omega at w -> 0: {a.weight_activity_coefficient[0, 0]:.2f}")
    ax.plot([0, 1], [0, 1], ":", color="grey", lw=1, label="a = w")
    ax.set_xlabel("weight fraction of toluene")
    ax.set_ylabel("activity of toluene")
    ax.set_title("Toluene over polystyrene (MWN 1e5), 298.15 K: sorption isotherm", fontsize=10)
    ax.grid(True, alpha=0.3)
    ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(HERE / "activity-toluene-polystyrene.png")


def demixing():
    case = keld.Case.load(HERE / "polystyrene-cyclohexane.json")
    fig, (left, right) = plt.subplots(1, 2, figsize=(9.6, 4.6), dpi=110)
    for k, (pressure, temperatures) in enumerate(((1e5, np.linspace(270.0, 300.0, 13)),
                                                    (5e6, np.linspace(500.0, 540.0, 11)))):
        r = eq.lle(case, temperatures, pressure, ["CYCLOHEX", "PS"])
        ok = np.isfinite(r.w_lean)
        crit = [c for c in r.critical]
        tc = [c["T"] for c in crit]
        wc = [c["w"] for c in crit]
        order = np.argsort(r.T[ok])
        tb, lean, rich = r.T[ok][order], r.w_lean[ok][order], r.w_rich[ok][order]
        upper = bool(crit) and crit[0]["kind"] == "UCST"
        # lean branch to the critical point and back along the rich branch
        x = np.concatenate([lean if upper else lean[::-1], wc, rich[::-1] if upper else rich])
        y = np.concatenate([tb if upper else tb[::-1], tc, tb[::-1] if upper else tb])
        left.plot(x, y, color="C0", label="binodal (cloud points)" if k == 0 else None)
        sl, sr = r.w_spinodal_lean[ok][order], r.w_spinodal_rich[ok][order]
        xs = np.concatenate([sl if upper else sl[::-1], wc, sr[::-1] if upper else sr])
        left.plot(xs, y, "--", color="C1", label="spinodal" if k == 0 else None)
        for c in crit:
            left.plot(c["w"], c["T"], "*", color="C3", ms=10, label="critical points" if k == 0 else None)
            print(f"polystyrene (1e5) + cyclohexane, {pressure / 1e5:g} bar: {c['kind']} {c['T']:.2f} K at w = {c['w']:.4f}")
    left.axhline(THETA, color="k", ls=":", lw=1, label="theta, 34.5 C (measured)")
    left.set_xlabel("weight fraction of polystyrene")
    left.set_ylabel("T / K")
    left.set_title("MWN 1e5: UCST at 1 bar, LCST at 50 bar", fontsize=10)
    left.grid(True, alpha=0.3)
    left.legend(fontsize=8)

    # Critical solution temperatures against chain length (Shultz-Flory).
    masses = np.array([2e4, 5e4, 1e5, 3e5, 1e6, 1e7])
    inverse_tc = []
    for m in masses:
        text = (HERE / "polystyrene-cyclohexane.json").read_text().replace('"MWN / (kg/kmol)": 100000',
                                                                            f'"MWN / (kg/kmol)": {m:.0f}')
        c = keld.Case.from_json(text, origin=f"MWN {m:.0f}")
        r = eq.lle(c, [250.0, 320.0], 1e5, ["CYCLOHEX", "PS"])
        inverse_tc.append(1.0 / r.critical[0]["T"])
    x = 1.0 / np.sqrt(masses)
    fit = np.polyfit(x[-3:], inverse_tc[-3:], 1)
    theta_model = 1.0 / fit[1]
    right.plot(x * 1e3, 1e3 * np.array(inverse_tc), "o-", color="C0", label="UCST, PC-SAFT")
    right.plot([0.0], [1e3 / theta_model], "*", color="C3", ms=10, label=f"model limit {theta_model:.2f} K")
    right.plot([0.0], [1e3 / THETA], "s", mfc="none", color="k", ms=8, label="theta, 34.5 C (measured)")
    right.set_xlabel("1000 / sqrt(MWN / (g/mol))")
    right.set_ylabel("1000 K / T_c")
    right.set_title("Critical solution temperature against chain length", fontsize=10)
    right.grid(True, alpha=0.3)
    right.legend(fontsize=8)
    print(f"theta temperature: model {theta_model:.2f} K, measured {THETA} K")
    fig.tight_layout()
    fig.savefig(HERE / "polystyrene-cyclohexane.png")


if __name__ == "__main__":
    vapour_pressures()
    activity()
    demixing()
