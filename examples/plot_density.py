#!/usr/bin/env python3
"""Liquid density of polystyrene-toluene against temperature, Sanchez-Lacombe
and PC-SAFT, at several polymer weight fractions; writes examples/density.png.

    PYTHONPATH=<build>/python /usr/bin/python3 examples/plot_density.py [--output density.png]

The density is the mixture molecular weight on the apparent basis (a polymer
counted in moles of its repeat unit) divided by the molar volume V from the
monitor: rho = sum_i z_i MW_i / V, in kg/m3.
"""
import argparse
import pathlib

import numpy as np

import keld

HERE = pathlib.Path(__file__).resolve().parent
CASE_FILE = HERE / "polystyrene-toluene.json"
MODELS = (("sanchez-lacombe", "Sanchez-Lacombe"), ("pcsaft", "PC-SAFT"))
WEIGHT_FRACTIONS = (0.0, 0.1, 0.3, 0.5)
PRESSURE = 1.0e6  # Pa: keeps toluene liquid up to 450 K (its vapour pressure there is about 0.5 MPa)


def polymer_and_solvent(case):
    """Identifiers of the polymer and the solvent of a binary polymer solution."""
    phase = [c for c in case.components if c["kind"] != "segment"]
    polymers = [c["identifier"] for c in phase if c["kind"] == "polymer"]
    solvents = [c["identifier"] for c in phase if c["kind"] != "polymer"]
    if len(polymers) != 1 or len(solvents) != 1:
        raise ValueError(f"{case.origin}: expected one polymer and one solvent")
    return polymers[0], solvents[0]


def liquid_density(case, model, temperatures, polymer_weight_fraction, pressure=PRESSURE):
    """Liquid density (kg/m3) at each temperature; NaN where the density root failed."""
    polymer, solvent = polymer_and_solvent(case)
    w = polymer_weight_fraction
    results = case.properties_many(T=temperatures, P=pressure, z={polymer: w, solvent: 1.0 - w},
                                   basis="mass", model=model, phase="liquid", flags={"V": 1})
    weights = np.array([case.molecular_weight(c) for c in results.components])
    mixture_mw = results.z @ weights  # kg per kmol of apparent units
    density = mixture_mw / results.V
    return np.where(results.converged, density, np.nan)


def plot(case, output):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    temperatures = np.linspace(280.0, 450.0, 69)
    polymer, solvent = polymer_and_solvent(case)
    colours = plt.cm.viridis(np.linspace(0.0, 0.85, len(WEIGHT_FRACTIONS)))
    fig, axes = plt.subplots(1, 2, figsize=(11, 4.8), sharey=True, constrained_layout=True)
    for ax, (model, title) in zip(axes, MODELS):
        for w, colour in zip(WEIGHT_FRACTIONS, colours):
            rho = liquid_density(case, model, temperatures, w)
            ax.plot(temperatures, rho, color=colour, lw=2, label=f"$w_{{\\mathrm{{{polymer}}}}}$ = {w:.1f}")
        ax.set_title(title)
        ax.set_xlabel("Temperature $T$ / K")
        ax.grid(alpha=0.3)
    axes[0].set_ylabel(r"Liquid density $\rho$ / (kg m$^{-3}$)")
    axes[1].legend(title="polymer weight fraction", loc="lower left")
    mwn = next(c["MWN"] for c in case.components if c["identifier"] == polymer)
    fig.suptitle(f"{polymer} ($M_n$ = {mwn:,.0f} kg/kmol) in {solvent}: liquid density at P = {PRESSURE / 1e6:g} MPa")
    fig.savefig(output, dpi=120)
    plt.close(fig)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--case", default=str(CASE_FILE), help="case file (default: %(default)s)")
    parser.add_argument("--output", default=str(HERE / "density.png"), help="PNG to write (default: %(default)s)")
    args = parser.parse_args()
    plot(keld.Case.load(args.case), args.output)
    print(f"wrote {args.output}")


if __name__ == "__main__":
    main()
