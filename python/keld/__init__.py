"""keld: equation-of-state property monitors for polymer mixtures, from Python.

A case (a JSON file or a dict) describes the components, the model parameters
and, optionally, states to evaluate; keld builds a reference host from it and
calls the Sanchez-Lacombe and PC-SAFT property monitors on that host.

    >>> import keld
    >>> case = keld.Case.load("examples/polystyrene-toluene.json")
    >>> r = case.properties(T=350.0, P=1e5, z={"PS": 0.02, "TOLUENE": 0.98}, model="pcsaft")
    >>> r.V, r.ln_phi

Units: T in K, P in Pa, V in m3/kmol, H and G in J/kmol, S in J/(kmol K);
H, S and G are departures from the ideal gas; ln_phi is the natural logarithm
of the fugacity coefficient. Compositions are apparent mole fractions (a
polymer counted in moles of its repeat unit) unless basis="mass".
"""
from ._version import __version__
from ._core import CaseError
from .case import Case
from .model import Model, ModelProperties
from .results import Result, Results
from .inputs import models
from . import equilibria
from . import database
from . import polydisperse
from . import vocabulary
from . import threephase

__all__ = ["__version__", "Case", "CaseError", "Model", "ModelProperties", "Result", "Results", "models", "equilibria", "database", "polydisperse", "vocabulary"]
