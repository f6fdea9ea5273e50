"""keld.Case: a case (components, parameters, states) loaded onto a reference host."""
import json
import os
from typing import Any, Dict, List, Mapping, Optional, Sequence, Union

import numpy as np

from . import _core
from . import arguments
from . import inputs
from .results import Result, Results

PHASE_NAMES = {1: "vapour", 2: "liquid"}

# Argument types of the public interface.
Composition = Union[Mapping[str, Any], Sequence[float], Sequence[Sequence[float]], np.ndarray]
Flags = Union[None, int, Sequence[int], Mapping[str, int]]
ArrayLike = Union[float, Sequence[float], np.ndarray]


def worker_count(workers: Optional[int]) -> int:
    """Threads for properties_many: a positive integer, or None for every core."""
    if workers is None:
        return max(1, os.cpu_count() or 1)
    return arguments.integer("workers", workers, 1, arguments.MAX_WORKERS,
                             f"None (one per core) or an integer from 1 to {arguments.MAX_WORKERS}")


def case_path(path):
    """A case file's name: str or os.PathLike."""
    if isinstance(path, os.PathLike):
        path = os.fspath(path)
    return arguments.text("path", path, "a file name (str or os.PathLike)")


class Case:
    """A loaded case. Create it with Case.load(path), Case.from_dict(d) or
    Case.from_json(text); all three raise keld.CaseError (a ValueError whose
    `where` names the offending place) for a faulty case.

    Loading runs the parameter initialisation of every model the case uses or
    gives parameters for, as a simulator does once before its property calls
    (initialise=False skips it); its message lines are kept in
    `initialisation_messages` (model -> list of lines)."""

    def __init__(self, core, initialise=True, source=None):
        self._core = core
        self._source = source  # ("path", path) or ("json", text, origin): for keld.equilibria
        self._equilibria = None
        self._components = core.components()
        self.initialisation_messages = core.initialise_all() if arguments.boolean("initialise", initialise) else {}

    @classmethod
    def load(cls, path: Union[str, "os.PathLike[str]"], initialise: bool = True) -> "Case":
        """Loads a case file (JSON; docs/case-format.md)."""
        path = case_path(path)
        arguments.boolean("initialise", initialise)
        return cls(_core.LoadedCase.load(path), initialise, ("path", path))

    @classmethod
    def from_json(cls, text: str, origin: str = "<string>", initialise: bool = True) -> "Case":
        """Loads a case from JSON text; `origin` names it in error messages."""
        arguments.text("text", text, "JSON text (str)")
        arguments.text("origin", origin)
        arguments.boolean("initialise", initialise)
        return cls(_core.LoadedCase.parse(text, origin), initialise, ("json", text, origin))

    @classmethod
    def from_dict(cls, data: Mapping[str, Any], origin: str = "<dict>", initialise: bool = True) -> "Case":
        """Loads a case from a dict of the case-file structure."""
        arguments.text("origin", origin)
        arguments.boolean("initialise", initialise)
        try:
            text = json.dumps(data, allow_nan=False)
        except (TypeError, ValueError, RecursionError) as e:
            reason = "nested too deeply" if isinstance(e, RecursionError) else str(e)
            error = _core.CaseError(f"{origin}: not representable as JSON: {reason}")
            error.where = origin
            raise error from None
        return cls.from_json(text, origin, initialise)

    @property
    def origin(self) -> str:
        """The file name, or the origin given with the JSON text."""
        return self._core.origin

    @property
    def title(self) -> str:
        """The case's "title" (may be empty)."""
        return self._core.title

    @property
    def database(self):
        """Components taken from the parameter database: dicts with component, entry and sets (model,
        data_set, set, table, source key); empty when the case names no database entry."""
        return self._core.database()

    @property
    def components(self):
        """Every component: dicts with number, identifier, kind, MW and MWN."""
        return [dict(c) for c in self._components]

    @property
    def phase_components(self):
        """Identifiers listed by default in properties(): all but polymer segments."""
        return inputs.phase_components(self._components)

    def molecular_weight(self, identifier: str) -> float:
        """MW of a component (for a polymer: of its apparent unit)."""
        return inputs.Listing(self._components, [identifier]).molecular_weights[0]

    @property
    def states(self) -> List[Dict[str, Any]]:
        """The states of the case file: dicts with label, model, T (K), P (Pa),
        components, z (apparent mole fractions), phase, flags, data_set,
        diagnostics and option."""
        return [self._state_dict(i) for i in range(self._core.state_count())]

    def _state_dict(self, i):
        s = self._core.state(i)
        names = {c["number"]: c["identifier"] for c in self._components}
        return {
            "label": s.label,
            "model": s.model,
            "T": s.T,
            "P": s.P,
            "components": [names[n] for n in s.components],
            "z": list(s.z),
            "phase": PHASE_NAMES.get(s.phase, str(s.phase)),
            "flags": dict(zip(inputs.FLAG_NAMES, s.flags)),
            "data_set": s.data_set,
            "diagnostics": s.diagnostics,
            "option": s.option,
        }

    def _state_index(self, state):
        count = self._core.state_count()
        if isinstance(state, str):
            labels = [self._core.state(i).label for i in range(count)]
            if state not in labels:
                raise KeyError(f"no state labelled {state!r} (labels: {labels})")
            return labels.index(state)
        if not arguments.is_integer(state):
            raise arguments.ArgumentTypeError(f"state must be an index (integer) or a label (str), "
                                              f"not {arguments.shown(state)}")
        if not -count <= state < count:
            raise IndexError(f"state {state!r} out of range: the case has {count} state(s)")
        return state % count

    def evaluate(self, state: Union[int, str]) -> Result:
        """Evaluates one of the case's states (index or label) as a simulator
        would call the monitor; returns a Result."""
        i = self._state_index(state)
        d = self._state_dict(i)
        return Result.build(self._core.evaluate_state(i), components=tuple(d["components"]),
                            model=d["model"], T=d["T"], P=d["P"], z=np.array(d["z"]), phase=d["phase"])

    def initialise(self, model: str) -> List[str]:
        """Runs the model's parameter initialisation on this case's host and
        returns the message lines it printed."""
        return list(self._core.initialise(inputs.model_name(model)))

    def _request(self, model, listing, phase, flags, data_set, diagnostics, option, cubic=None, pcsaft_assoc=None):
        request = _core.StateRequest()
        request.model = inputs.model_name(model)
        request.components = listing.numbers
        request.z = [0.0] * len(listing.numbers)
        request.phase = inputs.phase_code(phase)
        request.flags = inputs.model_flag_words(request.model, flags)
        if pcsaft_assoc and request.model != "pcsaft-assoc":
            raise ValueError("pcsaft_assoc settings are for the 'pcsaft-assoc' model")
        request.association_options = inputs.pcsaft_assoc_options(pcsaft_assoc)
        request.data_set = inputs.data_set_number(self._core, data_set)
        request.diagnostics = inputs.diagnostic_level(diagnostics)
        request.option = inputs.segment_option(option)
        # The cubic model's call: {"mixing_rule": 1..4, "excess_model": 1..7, "alpha_option": 0 or 2}.
        for key, value in inputs.cubic_settings(cubic).items():
            setattr(request, key, value)
        return request

    def properties(self, T: float, P: float, z: Composition, phase: str = "liquid", model: str = "pcsaft",
                   basis: str = "mole", flags: Flags = None, data_set: int = 1,
                   components: Optional[Sequence[str]] = None, diagnostics: int = 4, option: int = 0,
                   cubic: Optional[Mapping[str, int]] = None,
                   pcsaft_assoc: Optional[Mapping[str, str]] = None) -> Result:
        """Properties of one phase at temperature T (K), pressure P (Pa) and composition z.

        Returns a Result: ln_phi (natural log of each fugacity coefficient) and
        d_ln_phi_dT (1/K) per component; departures from the ideal gas
        H = H - H_ig(T) (J/kmol), S = S - S_ig(T, 101325 Pa) (J/(kmol K)),
        G = G - G_ig(T, 101325 Pa) (J/kmol); molar volume V (m3/kmol); their
        temperature derivatives dH_dT, dS_dT, dG_dT, dV_dT (per K); status 1
        (0: no density root). All on a kmol of the apparent basis; values the
        flags did not ask for are NaN.

        Arguments (defaults in brackets):
        z: dict identifier -> fraction, or a sequence following `components`
        [every component except polymer segments]. basis ["mole"]: "mole"
        means apparent mole fractions (a polymer counted in moles of its
        repeat unit), "mass" weight fractions. phase ["liquid"] or "vapour".
        model ["pcsaft"]: a name of keld.models(). flags [None: all values and
        derivatives]: one integer for all, five integers (KPHI, KH, KS, KG, KV:
        0 nothing, 1 value, 2 derivative, 3 both) or a dict over ln_phi/H/S/G/V.
        A model whose monitor returns no temperature derivatives
        ("pcsaft-assoc") takes values only: None means all values, and a
        derivative request is a ValueError. data_set [1]; diagnostics [4]
        (KDIAG); option [0] (KOPT; 5: polymer cross parameters averaged with
        segment mole fractions). cubic [None]: the cubic model's
        {"mixing_rule": 1..4, "excess_model": 1..7, "alpha_option": 0 or 2}.
        pcsaft_assoc [None]: that model's settings {"root_search": "host"|"own",
        "association": "full"|"simplified"|"off", "entropy": "departure"|"from-h-and-g"}.

        Bad arguments raise ValueError and nothing is computed."""
        T = inputs.scalar("T", T)
        P = inputs.scalar("P", P)
        listing, matrix = inputs.composition(self._components, z, components, basis)
        if matrix.shape[0] != 1:
            raise ValueError("properties() takes one composition; use properties_many() for several")
        request = self._request(model, listing, phase, flags, data_set, diagnostics, option, cubic, pcsaft_assoc)
        request.T, request.P, request.z = T, P, list(matrix[0])
        return Result.build(self._core.evaluate_request(request), components=listing.identifiers,
                            model=request.model, T=T, P=P, z=matrix[0].copy(),
                            phase=PHASE_NAMES[request.phase])

    def properties_many(self, T: ArrayLike, P: ArrayLike, z: Composition, phase: str = "liquid",
                        model: str = "pcsaft", basis: str = "mole", flags: Flags = None, data_set: int = 1,
                        components: Optional[Sequence[str]] = None, diagnostics: int = 4, option: int = 0,
                        cubic: Optional[Mapping[str, int]] = None,
                        pcsaft_assoc: Optional[Mapping[str, str]] = None,
                        workers: Optional[int] = 1) -> Results:
        """Vectorised properties(): T (K), P (Pa) (scalars or 1-D arrays) and the
        rows of z (one composition, a 2-D array with one row per state, or a dict
        of scalars / 1-D arrays) are broadcast against each other. The other
        arguments and their defaults are those of properties(). Returns Results
        with one entry per state, in order (Results.to_pandas(), to_csv()).

        workers [1]: threads to spread the states over (None: one per core).
        The results are identical to a serial run, bit for bit and in the same
        order. Every family runs concurrently, each thread with a work area of
        its own (a cubic state that completes missing critical constants runs
        alone first, in order)."""
        threads = worker_count(workers)
        T = arguments.positive_finite("T", T)
        P = arguments.positive_finite("P", P)
        if T.ndim > 1 or P.ndim > 1:
            raise ValueError("T and P must be scalars or 1-D arrays")
        listing, matrix = inputs.composition(self._components, z, components, basis)
        try:
            n = np.broadcast_shapes(T.shape, P.shape, (matrix.shape[0],))[0]
        except ValueError:
            raise ValueError(f"T {T.shape}, P {P.shape} and {matrix.shape[0]} composition(s) "
                             f"cannot be broadcast together") from None
        T = np.ascontiguousarray(np.broadcast_to(T, (n,)))
        P = np.ascontiguousarray(np.broadcast_to(P, (n,)))
        matrix = np.ascontiguousarray(np.broadcast_to(matrix, (n, matrix.shape[1])))
        request = self._request(model, listing, phase, flags, data_set, diagnostics, option, cubic, pcsaft_assoc)
        fields = self._core.evaluate_many(request, T, P, matrix, threads)
        return Results.build(fields, components=listing.identifiers, model=request.model, T=T, P=P,
                             z=matrix, phase=PHASE_NAMES[request.phase])

    def _equilibrium_core(self):
        """The same case loaded once more for the phase-equilibrium layer (keld.equilibria)."""
        if self._equilibria is None:
            if self._source is None:
                raise ValueError("this case was not loaded from a file or JSON text")
            if self._source[0] == "path":
                self._equilibria = _core.EquilibriumCase.load(self._source[1])
            else:
                self._equilibria = _core.EquilibriumCase.parse(self._source[1], self._source[2])
        return self._equilibria

    def __repr__(self):
        ids = ", ".join(c["identifier"] for c in self._components)
        return f"<keld.Case {self.origin}: {ids}; {self._core.state_count()} state(s)>"
