"""The names and units of results, one table for the keld command and the package.

Every column a Results table, `to_csv` or the command's CSV and JSON writes is
a label of this table: the name, the component in brackets for per-component
quantities, the unit after " / " ("T / K", "ln_phi[TOLUENE]",
"d_ln_phi_dT[PS] / (1/K)", "V / (m3/kmol)"). Amounts are in kmol; `basis` says
what a per-amount quantity counts: "apparent" (as the host counts, a polymer
in its repeat units, as the property monitors report), "molecules" (a polymer
molecule once) or "mass".

    >>> from keld import vocabulary
    >>> vocabulary.label("d_ln_phi_dT", "TOLUENE")
    'd_ln_phi_dT[TOLUENE] / (1/K)'
    >>> vocabulary.quantity("dH_vap").unit
    'J/kmol'
"""
from typing import Dict, NamedTuple, Optional, Tuple

from . import _core


class Quantity(NamedTuple):
    name: str
    unit: str            # "" for a dimensionless number
    basis: str           # "apparent", "molecules", "mass" or ""
    per_component: bool  # labelled name[ID]
    meaning: str


# The compiled table, the one the keld command prints with.
QUANTITIES: Tuple[Quantity, ...] = tuple(Quantity(**q) for q in _core.vocabulary())
_BY_NAME: Dict[str, Quantity] = {q.name: q for q in QUANTITIES}


def quantity(name: str) -> Quantity:
    """The entry of `name`; KeyError for a name outside the vocabulary."""
    try:
        return _BY_NAME[name]
    except KeyError:
        raise KeyError(f"{name!r} is not a quantity of the vocabulary (see keld.vocabulary.QUANTITIES)") from None


def with_unit(text: str, unit: str) -> str:
    """"V / (m3/kmol)", "T / K": the unit parenthesised when it has a slash or blank."""
    if not unit:
        return text
    return f"{text} / {unit}" if not any(c in unit for c in "/ ") else f"{text} / ({unit})"


def label(name: str, component: Optional[str] = None) -> str:
    """The column label of a quantity, of one component for per-component ones."""
    q = quantity(name)
    if q.per_component != (component is not None):
        raise ValueError(f"{name!r} is {'' if q.per_component else 'not '}labelled per component")
    return with_unit(name if component is None else f"{name}[{component}]", q.unit)


def model_display_name(family: str) -> str:
    """"PC-SAFT" for "pcsaft"; an unknown family as given."""
    return _core.model_display_name(family)


def readable_message(line: str) -> str:
    """A monitor's message line with its model named by family beside the
    monitor's own name ("PC-SAFT polymer monitor (POLYPCSF)"), for showing."""
    return _core.readable_message(line)


def round_trip(x: float) -> str:
    """The shortest text that reads back as the same float ("298.15"); "" for NaN."""
    x = float(x)
    return "" if x != x else repr(x)
