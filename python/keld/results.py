"""Results of property-monitor calls. Properties that the request flags did
not ask for are NaN, never a stale or zero value."""
import csv
import io
import os
from dataclasses import dataclass, field
from typing import Any, Dict, List, Optional, TextIO, Tuple, Union

import numpy as np

from . import arguments, vocabulary

# Units of the result fields, as they appear in table column names ("H / (J/kmol)"),
# from the vocabulary the keld command shares.
UNITS: Dict[str, str] = {name: vocabulary.quantity(name).unit
                         for name in ("T", "P", "z", "ln_phi", "d_ln_phi_dT", "H", "S", "G", "V",
                                      "dH_dT", "dS_dT", "dG_dT", "dV_dT")}


def column_name(field_name: str, component: Optional[str] = None) -> str:
    """Table column of a field: "V / (m3/kmol)", "ln_phi[TOLUENE]", "z[PS]"."""
    return vocabulary.label(field_name, component)


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
    def converged(self) -> bool:
        """True when the density root was found (status 1)."""
        return self.status != 0

    @property
    def readable_messages(self) -> List[str]:
        """The message lines for reading: each monitor named by its family too
        ("PC-SAFT polymer monitor (POLYPCSF)"); `messages` keeps them as recorded."""
        return [vocabulary.readable_message(line) for line in self.messages]

    def ln_phi_of(self, identifier: str) -> float:
        """ln phi of one listed component (identifier, any case)."""
        return float(self.ln_phi[self._column(identifier)])

    def _column(self, identifier):
        text = arguments.text("identifier", identifier, "a component identifier (str)")
        upper = [c.upper() for c in self.components]
        if text.upper() not in upper:
            raise ValueError(f"{identifier!r} is not among the components {', '.join(self.components)}")
        return upper.index(text.upper())

    @classmethod
    def build(cls, core_fields, **state):
        """Internal: from the compiled core's fields."""
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
    def converged(self) -> np.ndarray:
        """Per state: True when the density root was found (status 1)."""
        return self.status != 0

    @classmethod
    def build(cls, core_fields, **state):
        """Internal: from the compiled core's fields."""
        return cls(**core_fields, **state)

    @classmethod
    def concatenate(cls, parts: "List[Results]") -> "Results":
        """The states of several Results of one model, phase and component
        listing, one after the other (the chunks of a distributed run)."""
        parts = list(parts)
        if not parts:
            raise ValueError("nothing to concatenate")
        for p in parts:
            if not isinstance(p, Results):
                raise arguments.ArgumentTypeError(f"parts must be Results, not {arguments.shown(p)}")
        first = parts[0]
        for p in parts[1:]:
            if (p.components, p.model, p.phase) != (first.components, first.model, first.phase):
                raise ValueError("Results of different components, models or phases cannot be joined")
        arrays = {name: np.concatenate([getattr(p, name) for p in parts])
                  for name in ("T", "P", "z", "ln_phi", "d_ln_phi_dT", "H", "S", "G", "V",
                               "dH_dT", "dS_dT", "dG_dT", "dV_dT", "status")}
        messages = [m for p in parts for m in p.messages]
        return cls(components=first.components, model=first.model, phase=first.phase, messages=messages, **arrays)

    def plot(self, y: str = "V", x: Optional[str] = None, ax: Any = None) -> Any:
        """Draws y (V, H, S, G or "ln_phi[ID]") against the varying T or P (`x`
        chooses when both vary) with matplotlib, on `ax` or a new figure; returns
        the Axes. Failed states are left out; computed points are marked."""
        from . import plots
        return plots.properties(self, y=y, x=x, ax=ax)

    def columns(self) -> Dict[str, np.ndarray]:
        """The table of the results, one entry per state: T, P, the composition,
        ln phi and its T-derivative per component, H, S, G, V and their
        T-derivatives, and status, with units in the names ("H / (J/kmol)",
        "z[PS]", "ln_phi[PS]"). Properties not asked for are NaN."""
        out: Dict[str, np.ndarray] = {column_name("T"): self.T, column_name("P"): self.P}
        for k, c in enumerate(self.components):
            out[column_name("z", c)] = self.z[:, k]
        for name in ("ln_phi", "d_ln_phi_dT"):
            matrix = getattr(self, name)
            for k, c in enumerate(self.components):
                out[column_name(name, c)] = matrix[:, k]
        for name in ("H", "S", "G", "V", "dH_dT", "dS_dT", "dG_dT", "dV_dT"):
            out[column_name(name)] = getattr(self, name)
        out["status"] = self.status
        return out

    def to_pandas(self) -> Any:
        """The results as a pandas DataFrame with the columns of columns(); the
        model and phase are in its `attrs`. Needs pandas (Debian: python3-pandas)."""
        try:
            import pandas
        except ImportError as e:
            raise ImportError("Results.to_pandas() needs pandas (Debian: apt install python3-pandas)") from e
        frame = pandas.DataFrame(self.columns())
        frame.attrs.update(model=self.model, phase=self.phase)
        return frame

    def to_csv(self, path_or_buffer: Union[str, "os.PathLike[str]", TextIO, None] = None) -> Optional[str]:
        """Writes the columns of columns() as CSV (a header line, one row per state;
        numbers in the shortest text that reads back exactly, as the keld command
        writes them; NaN as an empty field). Returns the text when no path or
        buffer is given. Needs no pandas."""
        table = self.columns()
        names = list(table)
        own = path_or_buffer is None
        if own:
            out: Any = io.StringIO()
        elif hasattr(path_or_buffer, "write"):
            out = path_or_buffer
        else:
            out = open(path_or_buffer, "w", newline="", encoding="utf-8")
        try:
            writer = csv.writer(out, lineterminator="\n")
            writer.writerow(names)
            integer = {"status"}
            for row in range(len(self)):
                writer.writerow([str(int(table[n][row])) if n in integer else vocabulary.round_trip(table[n][row])
                                 for n in names])
            return out.getvalue() if own else None
        finally:
            if not own and not hasattr(path_or_buffer, "write"):
                out.close()
