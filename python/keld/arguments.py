"""The checks every public function of keld applies to its arguments, in one place.

Numbers must be real numbers: int, float, a numpy integer or float (scalars or
arrays), or sequences of them; text ("350"), True/False, complex numbers and
None are refused rather than converted, so a typing slip cannot pass for a
temperature or a fraction. Integers must be integers (not True/False, not 2.0)
within the range of the word the compiled core hands them to. Names must be
text. A refusal names the argument and what it accepts, and nothing is
computed; every refusal is a ValueError, and one of the wrong type
(ArgumentTypeError) is a TypeError as well."""
import numbers

import numpy as np

INT64_MAX = 2**63 - 1
MAX_WORKERS = 256       # threads of one batch, as `keld sweep --jobs`
MAX_CURVE_POINTS = 100000  # as the command line's point counts


class ArgumentTypeError(TypeError, ValueError):
    """An argument of a type keld does not take (text or True/False for a number, ...)."""


def is_real(value):
    """A real number: int, float, numbers.Real or a numpy integer/float; not bool, not numpy bool."""
    return isinstance(value, numbers.Real) and not isinstance(value, (bool, np.bool_))


def is_integer(value):
    """An integer in the arithmetic sense: int or a numpy integer, not a bool."""
    return isinstance(value, numbers.Integral) and not isinstance(value, (bool, np.bool_))


def shown(value):
    """A refused value as a message shows it: its type and (shortened) repr."""
    text = repr(value)
    if len(text) > 60:
        text = text[:57] + "..."
    return f"{type(value).__name__} {text}"


REAL = "a real number or an array of them (int, float, numpy integer or float; not text, True/False or None)"


PLAIN_REALS = frozenset((float, int, np.float64, np.int64))  # the common cases, checked without the ABCs


def real_array(name, values):
    """`values` as a float array, when every element is a real number (see is_real): a number, a
    numpy array of integer or float dtype, or (nested) sequences of numbers."""
    if is_real(values):
        return _as_float(name, values)
    dtype = getattr(values, "dtype", None)
    if isinstance(dtype, np.dtype) and dtype.kind != "O":
        if dtype.kind not in "iuf":
            raise ArgumentTypeError(f"{name} must be {REAL}, not an array of {dtype}")
        return np.asarray(values, dtype=float)
    if isinstance(values, (str, bytes)):
        raise ArgumentTypeError(f"{name} must be {REAL}, not {shown(values)}")
    try:
        elements = np.asarray(values, dtype=object)
    except ValueError:  # sequences of uneven depth that numpy cannot even hold as objects
        raise ArgumentTypeError(f"{name} must be {REAL}, not {shown(values)}") from None
    for element in elements.flat:
        if type(element) not in PLAIN_REALS and not is_real(element):
            where = f"not {shown(element)}" if elements.ndim == 0 else f"found {shown(element)} among its elements"
            raise ArgumentTypeError(f"{name} must be {REAL}, {where}")
    return _as_float(name, elements)


def _as_float(name, values):
    try:
        return np.asarray(values, dtype=float)
    except OverflowError:
        raise ValueError(f"{name} must be finite: a value is beyond the range of a double") from None


def positive_finite(name, values):
    """real_array(), every element finite and above zero."""
    array = real_array(name, values)
    bad = ~np.isfinite(array) | (array <= 0)
    if np.any(bad):
        first = array.flat[int(np.argmax(bad.ravel()))]
        raise ValueError(f"{name} must be finite and positive, got {first!r}")
    return array


def non_negative_finite(name, values):
    """real_array(), every element finite and not below zero."""
    array = real_array(name, values)
    if not np.all(np.isfinite(array)) or np.any(array < 0):
        raise ValueError(f"{name} must be finite and not negative")
    return array


def positive_scalar(name, value, remedy=None):
    """One finite positive real number, as a float; `remedy` says what to do with an array."""
    array = positive_finite(name, value)
    if array.ndim != 0:
        message = f"{name} must be a single number here, not an array of shape {array.shape}"
        raise ValueError(message + (f": {remedy}" if remedy else ""))
    return float(array)


def integer(name, value, low, high, accepted=None):
    """An integer from low to high (int); `accepted` words the range in the message."""
    accepted = accepted or f"an integer from {low} to {high}"
    if not is_integer(value):
        raise ArgumentTypeError(f"{name} must be {accepted}, not {shown(value)}")
    if not low <= value <= high:
        raise ValueError(f"{name} must be {accepted}, not {value!r}")
    return int(value)


def one_of(name, value, allowed, accepted):
    """An integer among `allowed` (int)."""
    if not is_integer(value):
        raise ArgumentTypeError(f"{name} must be {accepted}, not {shown(value)}")
    if value not in allowed:
        raise ValueError(f"{name} must be {accepted}, not {value!r}")
    return int(value)


def text(name, value, accepted="text (str)"):
    """A str."""
    if not isinstance(value, str):
        raise ArgumentTypeError(f"{name} must be {accepted}, not {shown(value)}")
    return value


def identifiers(name, values):
    """A sequence of component identifiers (str), as a list; one bare str is refused (it would
    read as its letters)."""
    if isinstance(values, (str, bytes)) or not isinstance(values, (list, tuple, np.ndarray)):
        raise ArgumentTypeError(f"{name} must be a list of component identifiers, not {shown(values)}")
    return [text(f"a component identifier in {name}", v) for v in values]


def boolean(name, value):
    """True or False (also a numpy bool), as a bool."""
    if not isinstance(value, (bool, np.bool_)):
        raise ArgumentTypeError(f"{name} must be True or False, not {shown(value)}")
    return bool(value)


def mapping(name, value, accepted):
    """A dict (or None, given as {})."""
    if value is None:
        return {}
    if not isinstance(value, dict):
        raise ArgumentTypeError(f"{name} must be {accepted}, not {shown(value)}")
    return value
