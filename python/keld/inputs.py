"""Checks and conversions of the arguments of Case.properties and
Case.properties_many (and of the compositions keld.equilibria takes), so that
the compiled core only sees well-formed input. The checks of single arguments
(real numbers, integers in range, names) are those of keld.arguments."""
import numpy as np

from . import _core
from . import arguments

PHASES = {"liquid": 2, "vapour": 1, "vapor": 1}
BASES = ("mole", "mass")
FLAG_NAMES = ("ln_phi", "H", "S", "G", "V")  # KPHI, KH, KS, KG, KV in monitor order
ALL_PROPERTIES = 3  # value and temperature derivative
SUM_TOLERANCE = 1e-9  # as for compositions in case files


def models():
    """The registered model families: list of dicts with name, description, parameters and
    temperature_derivatives (False when the monitor returns none on its model path)."""
    return _core.models()


def has_temperature_derivatives(model):
    return next(m["temperature_derivatives"] for m in _core.models() if m["name"] == model)


def model_flag_words(model, flags):
    """flag_words() for a model: one without temperature derivatives gets values only by
    default and refuses an explicit request for a derivative (it would return nothing)."""
    if has_temperature_derivatives(model):
        return flag_words(flags)
    if flags is None:
        return [1] * 5
    words = flag_words(flags)
    if any(w > 1 for w in words):
        raise ValueError(f"the {model!r} monitor returns no temperature derivatives: "
                         f"ask for values only (flags 0 or 1), not {words}")
    return words


# The associating PC-SAFT monitor's settings: option vector elements 2 and 3.
PCSAFT_ASSOC_SETTINGS = {
    "root_search": {"host": 0, "own": 10},
    "association": {"full": 0, "simplified": 20, "off": 1},
    "entropy": {"departure": 0, "from-h-and-g": 11},
}


def pcsaft_assoc_options(settings):
    """The option vector KOPT(3) from {"root_search": "host"|"own", "association":
    "full"|"simplified"|"off", "entropy": "departure"|"from-h-and-g"}."""
    chosen = {}
    for key, value in arguments.mapping("pcsaft_assoc", settings, "a dict of pcsaft-assoc settings").items():
        if key not in PCSAFT_ASSOC_SETTINGS:
            raise ValueError(f"unknown pcsaft-assoc setting {key!r} (use {', '.join(PCSAFT_ASSOC_SETTINGS)})")
        choices = PCSAFT_ASSOC_SETTINGS[key]
        if not isinstance(value, str) or value not in choices:
            raise ValueError(f"unknown {key} {value!r} (use {', '.join(choices)})")
        chosen[key] = choices[value]
    if chosen.get("entropy", 0) and chosen.get("association", 0):
        raise ValueError("entropy 'from-h-and-g' needs the full association")
    return [0, chosen.get("root_search", 0), chosen.get("entropy", 0) or chosen.get("association", 0)]


def model_name(model):
    known = [m["name"] for m in _core.models()]
    if not isinstance(model, str) or model not in known:
        raise ValueError(f"unknown model {model!r} (known models: {', '.join(known)})")
    return model


def phase_code(phase):
    try:
        if not isinstance(phase, str):
            raise KeyError(phase)
        return PHASES[phase.lower()]
    except KeyError:
        raise ValueError(f"phase must be 'liquid' or 'vapour', not {phase!r}") from None


def flag_word(name, value):
    return arguments.integer(f"request flag {name}", value, 0, ALL_PROPERTIES, "0, 1, 2 or 3")


def flag_words(flags):
    """Request flags (KPHI, KH, KS, KG, KV), each 0 (nothing), 1 (value), 2
    (temperature derivative) or 3 (both): None (everything), one for all five,
    a sequence of five, or a dict over ln_phi/H/S/G/V (absent: 0)."""
    if flags is None:
        return [ALL_PROPERTIES] * 5
    if isinstance(flags, dict):
        unknown = set(flags) - set(FLAG_NAMES)
        if unknown:
            raise ValueError(f"unknown request flag(s) {sorted(unknown)}; known: {', '.join(FLAG_NAMES)}")
        return [flag_word(name, flags.get(name, 0)) for name in FLAG_NAMES]
    if not isinstance(flags, (list, tuple, np.ndarray)):
        return [flag_word("flags", flags)] * 5
    words = list(flags)
    if len(words) != 5:
        raise ValueError(f"flags must be five integers (KPHI, KH, KS, KG, KV), not {flags!r}")
    return [flag_word(name, w) for name, w in zip(FLAG_NAMES, words)]


def diagnostic_level(value):
    """KDIAG as case files take it: an integer, 0 or more (a 64-bit word)."""
    return arguments.integer("diagnostics", value, 0, arguments.INT64_MAX,
                             "an integer of 0 or more (at most 2**63 - 1)")


def segment_option(value):
    """KOPT: 0 averages polymer cross parameters with segment weight fractions, 5 with mole fractions."""
    return arguments.one_of("option", value, (0, 5), "0 (segment weight fractions) or 5 (mole fractions)")


# The cubic model's call settings: KRULE, KMODEL and KEOSOPT, each with the values it documents.
CUBIC_SETTINGS = {
    "mixing_rule": ((1, 2, 3, 4), "1 (van der Waals), 2 (Wong-Sandler), 3 (MHV1) or 4 (MHV2)"),
    "excess_model": (tuple(range(1, 8)), "an integer from 1 to 7"),
    "alpha_option": ((0, 2), "0 (Soave) or 2 (Mathias-Copeman)"),
}


def cubic_settings(settings):
    """{setting: integer} of the cubic model's call, each checked against the values it takes."""
    chosen = {}
    for key, value in arguments.mapping("cubic", settings, "a dict of cubic settings").items():
        if key not in CUBIC_SETTINGS:
            raise ValueError(f"unknown cubic setting {key!r} (use {', '.join(CUBIC_SETTINGS)})")
        allowed, accepted = CUBIC_SETTINGS[key]
        chosen[key] = arguments.one_of(f"cubic setting {key}", value, allowed, accepted)
    return chosen


def data_set_number(case_core, data_set):
    return arguments.integer("data_set", data_set, 1, case_core.data_set_count)


def find_component(components, identifier):
    """The component with this identifier: an exact match, else the only one
    that matches ignoring case; None otherwise."""
    text = arguments.text("a component identifier", identifier)
    exact = [c for c in components if c["identifier"] == text]
    if exact:
        return exact[0]
    folded = [c for c in components if c["identifier"].upper() == text.upper()]
    return folded[0] if len(folded) == 1 else None


def scalar(name, value):
    """T or P of properties(): one finite positive real number."""
    array = arguments.positive_finite(name, value)
    if array.ndim != 0:
        raise ValueError(f"{name} must be a single number here; use properties_many() for arrays")
    return float(array)


class Listing:
    """The components listed in a call (IDX) with their identifiers and molecular weights."""

    def __init__(self, components, identifiers):
        chosen = []
        for ident in identifiers:
            entry = find_component(components, ident)
            if entry is None:
                known = ", ".join(c["identifier"] for c in components)
                raise ValueError(f"unknown component {ident!r} (components of the case: {known})")
            if entry["kind"] == "segment":
                raise ValueError(f"{entry['identifier']!r} is a polymer segment, not a component of a phase: "
                                 f"list the polymer")
            chosen.append(entry)
        if not chosen:
            raise ValueError("a composition needs at least one component")
        if len({c["number"] for c in chosen}) != len(chosen):
            raise ValueError(f"a component is listed twice in {list(identifiers)!r}")
        self.numbers = [c["number"] for c in chosen]
        self.identifiers = tuple(c["identifier"] for c in chosen)
        self.molecular_weights = np.array([c["MW"] for c in chosen])


def phase_components(components):
    """Components that can make up a phase: every component except polymer segments."""
    return [c["identifier"] for c in components if c["kind"] != "segment"]


def composition(components, z, listed, basis, name="z"):
    """(Listing, matrix of apparent mole fractions with one row per composition).

    z: dict identifier -> fraction (scalars or equal-length arrays), or an
    array whose last axis follows `listed` (default: the phase components);
    `name` is the argument's name in messages."""
    if not isinstance(basis, str) or basis not in BASES:
        raise ValueError(f"basis must be 'mole' or 'mass', not {basis!r}")
    if isinstance(z, dict):
        if listed is not None:
            raise ValueError("give the components either as the keys of z or as `components`, not both")
        listing = Listing(components, list(z))
        columns = np.broadcast_arrays(*[arguments.real_array(f"{name}[{k!r}]", v) for k, v in z.items()])
        if columns[0].ndim > 1:
            raise ValueError("fractions in a composition dict must be scalars or 1-D arrays")
        matrix = np.stack(columns, axis=-1).reshape(-1, len(columns))
    else:
        listing = Listing(components, phase_components(components) if listed is None
                          else arguments.identifiers("components", listed))
        matrix = arguments.real_array(name, z)
        if matrix.ndim not in (1, 2) or matrix.shape[-1] != len(listing.numbers):
            raise ValueError(
                f"z has shape {matrix.shape}; its last axis must list {len(listing.numbers)} fractions "
                f"for {', '.join(listing.identifiers)}")
        matrix = matrix.reshape(-1, len(listing.numbers))
    if not np.all(np.isfinite(matrix)) or np.any(matrix < 0):
        raise ValueError("fractions must be finite and not negative")
    sums = matrix.sum(axis=1)
    if np.any(np.abs(sums - 1.0) > SUM_TOLERANCE):
        worst = sums[int(np.argmax(np.abs(sums - 1.0)))]
        raise ValueError(f"{basis} fractions must sum to 1, they sum to {worst!r}")
    if basis == "mass":
        moles = matrix / listing.molecular_weights
        matrix = moles / moles.sum(axis=1, keepdims=True)
    return listing, np.ascontiguousarray(matrix)
