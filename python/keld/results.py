"""Results of property-monitor calls. Properties that the request flags did
not ask for are NaN, never a stale or zero value."""
from dataclasses import dataclass, field
from typing import List, Tuple

import numpy as np

@dataclass(frozen=True)
class Result:
    """One state: ln_phi and d_ln_phi_dT per component (in `components` order),
    departures H (J/kmol), S (J/(kmol K)), G (J/kmol), molar volume V (m3/kmol)
    and their temperature derivatives; status 1 = density root found, 0 = failed."""
    components: Tuple[str, ...]
    model: str
    T: float
    P: float
    z: np.ndarray
    phase: str
    ln_phi: np.ndarray
    d_ln_phi_dT: np.ndarray
    H: float
    S: float
    G: float
    V: float
    dH_dT: float
    dS_dT: float
    dG_dT: float
    dV_dT: float
    status: int
    messages: List[str] = field(default_factory=list)

    @property
    def converged(self):
        return self.status != 0

    def ln_phi_of(self, identifier):
        return float(self.ln_phi[self._column(identifier)])

    def _column(self, identifier):
        upper = [c.upper() for c in self.components]
        return upper.index(identifier.upper())

    @classmethod
    def build(cls, core_fields, **state):
        values = core_fields
        scalars = {k: float(values[k]) for k in ("H", "S", "G", "V", "dH_dT", "dS_dT", "dG_dT", "dV_dT")}
        return cls(ln_phi=np.asarray(values["ln_phi"], dtype=float),
                   d_ln_phi_dT=np.asarray(values["d_ln_phi_dT"], dtype=float),
                   status=int(values["status"]), messages=list(values["messages"]), **scalars, **state)


@dataclass(frozen=True)
class Results:
    """Many states at once: arrays with one row per state (ln_phi: n x N),
    status per state, and the message lines of each call."""
    components: Tuple[str, ...]
    model: str
    T: np.ndarray
    P: np.ndarray
    z: np.ndarray
    phase: str
    ln_phi: np.ndarray
    d_ln_phi_dT: np.ndarray
    H: np.ndarray
    S: np.ndarray
    G: np.ndarray
    V: np.ndarray
    dH_dT: np.ndarray
    dS_dT: np.ndarray
    dG_dT: np.ndarray
    dV_dT: np.ndarray
    status: np.ndarray
    messages: List[List[str]]

    def __len__(self):
        return len(self.T)

    @property
    def converged(self):
        return self.status != 0

    @classmethod
    def build(cls, core_fields, **state):
        return cls(**core_fields, **state)
