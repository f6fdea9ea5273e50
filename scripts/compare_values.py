#!/usr/bin/python3
"""Compares two records of keld_values_dump under the values policy of the monitors.

    scripts/compare_values.py before.txt after.txt [--list N] [--packing-limit TAU]

A monitor's values may change only in their last bits: ln phi and V within 1e-12 relative; H, S and
G within 1e-10 relative where P >= 1e4 Pa (below it they are listed as unchecked); the temperature
derivatives within 1e-6 relative. KSTAT, the written slots (an unwritten output keeps the dump's
sentinel) and NaN must agree exactly. Prints, per routine, the calls compared, those identical to
the bit, within the tolerances, and beyond them, with the largest relative difference of each
quantity; --list N shows the first N calls beyond the tolerances. With --packing-limit, a call of a
SAFT or PC-SAFT routine beyond the tolerances whose first record had its root at or above that
packing fraction (eta field, and eta_dt for the temperature derivatives; a vector form's element by
element) is counted apart, as a change the policy allows: a root beyond close packing replaced. Exit status 0 when every call is within the tolerances (apart from those), 1 otherwise,
2 on unusable input.
"""
import argparse
import math
import sys
from collections import OrderedDict

VALUE_TOLERANCE = 1e-12       # ln phi, V
DEPARTURE_TOLERANCE = 1e-10   # H, S, G at P >= DEPARTURE_MIN_PRESSURE
DEPARTURE_MIN_PRESSURE = 1e4  # Pa
DERIVATIVE_TOLERANCE = 1e-6   # d/dT of every output
QUANTITIES = ("phi", "h", "s", "g", "v", "dphi", "dh", "ds", "dg", "dv")
KEY_FIELDS = 6  # routine, system, T, P, KVL, flags
# Routines whose eta field is a packing fraction (close-packed volume pi/6 sum x m d^3 over V).
PACKING_ROUTINES = ("KELD_ESSAFT", "KELD_ESSFTA", "KELD_PSAFM1", "KELD_ESSFTB", "KELD_SAFT01", "KELD_SAFT00",
                    "KELD_ESPCSF", "KELD_ESPCSA", "KELD_PCSF01", "KELD_PCSF00", "KELD_PCSAF1", "KELD_PCSAF0")


def tolerance(quantity, pressure):
    """The relative tolerance of a quantity at a pressure, or None where the policy sets none."""
    if quantity.startswith("d"):
        return DERIVATIVE_TOLERANCE
    if quantity in ("phi", "v"):
        return VALUE_TOLERANCE
    return DEPARTURE_TOLERANCE if pressure >= DEPARTURE_MIN_PRESSURE else None


def parse(path):
    """{key: (fields, values)} in file order; fields holds kstat, eta, msgs as strings."""
    records = OrderedDict()
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            words = line.split()
            if not words:
                continue
            if len(words) < KEY_FIELDS + 3:
                sys.exit(f"{path}:{number}: not a keld_values_dump line")
            key = tuple(words[:KEY_FIELDS])
            fields, values = {}, {}
            for word in words[KEY_FIELDS:]:
                name, _, text = word.partition("=")
                if name in QUANTITIES:
                    values[name] = text.split(",")
                else:
                    fields[name] = text
            if key in records:
                sys.exit(f"{path}:{number}: call listed twice: {' '.join(key)}")
            records[key] = (fields, values)
    return records


def relative_difference(a_text, b_text):
    """0 for identical bits, inf where the two cannot be compared (NaN against a number)."""
    if a_text == b_text:
        return 0.0
    try:
        a, b = float.fromhex(a_text), float.fromhex(b_text)
    except ValueError:
        print(f"not a hexadecimal floating-point number: {a_text} or {b_text}", file=sys.stderr)
        sys.exit(2)
    if math.isnan(a) or math.isnan(b):
        return 0.0 if math.isnan(a) and math.isnan(b) else math.inf
    if a == b:
        return 0.0
    scale = max(abs(a), abs(b))
    return abs(a - b) / scale if math.isfinite(scale) else math.inf


class Summary:
    def __init__(self):
        self.calls = self.identical = self.within = self.beyond = self.allowed = 0
        self.kstat_changed = self.unchecked = 0
        self.worst = {q: 0.0 for q in QUANTITIES}


def packings(fields, name, elements):
    """A record's root packing of each element (None where unknown)."""
    words = [None if w == "-" else float(w) for w in fields.get(name, "-").split(",")]
    if len(words) == elements:
        return words
    known = [w for w in words if w is not None]
    return [max(known) if known else None] * elements


def compare_call(key, before, after, packing_limit):
    """(verdict, worst differences by quantity, notes); verdict identical/within/beyond/allowed."""
    (fields_a, values_a), (fields_b, values_b) = before, after
    pressure = float(key[3])
    elements = len(values_a.get("phi", []))
    # The values come from the root at T, the temperature derivatives from it and the root at T + dT.
    eta = packings(fields_a, "eta", elements)
    eta_dt = [max((e for e in pair if e is not None), default=None)
              for pair in zip(eta, packings(fields_a, "eta_dt", elements))]

    def beyond_limit(packing):
        return [packing_limit is not None and key[0] in PACKING_ROUTINES and e is not None and e >= packing_limit
                for e in packing]
    spurious_values, spurious_derivatives = beyond_limit(eta), beyond_limit(eta_dt)
    spurious = [a or b for a, b in zip(spurious_values, spurious_derivatives)]
    worst, notes, beyond, unchecked, allowed = {}, [], False, False, False
    if fields_a.get("kstat") != fields_b.get("kstat"):
        notes.append(f"KSTAT {fields_a.get('kstat')} -> {fields_b.get('kstat')}")
        if any(spurious):
            allowed = True
        else:
            beyond = True
    bitwise = not beyond and not allowed
    for q in QUANTITIES:
        a, b = values_a.get(q, []), values_b.get(q, [])
        if len(a) != len(b):
            beyond, bitwise = True, False
            notes.append(f"{q}: {len(a)} -> {len(b)} elements")
            continue
        for k, (x, y) in enumerate(zip(a, b)):
            if x == y:
                continue
            bitwise = False
            d = relative_difference(x, y)
            tol = tolerance(q, pressure)
            # A vector form's H..dv are by element; a scalar call's belong to the whole call.
            by_root = spurious_derivatives if q.startswith("d") else spurious_values
            element_spurious = by_root[k] if len(a) == elements else any(by_root)
            if element_spurious and not d <= (tol if tol is not None else DEPARTURE_TOLERANCE):
                allowed = True
                notes.append(f"{q} {x} -> {y} (a root beyond the packing limit)")
                continue
            worst[q] = max(worst.get(q, 0.0), d)
            if tol is None:
                unchecked = True
            elif not d <= tol:
                beyond = True
                notes.append(f"{q} {x} -> {y} (relative {d:.3g})")
    if bitwise:
        return "identical", worst, notes, False
    if beyond:
        return "beyond", worst, notes, unchecked
    return ("allowed" if allowed else "within"), worst, notes, unchecked


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--list", type=int, default=10, metavar="N", help="calls beyond the tolerances shown")
    parser.add_argument("--packing-limit", type=float, default=None, metavar="TAU",
                        help="count calls whose first record had a root at or above this packing apart")
    args = parser.parse_args()
    before, after = parse(args.before), parse(args.after)

    summaries = OrderedDict()
    shown = 0
    for key, record in before.items():
        s = summaries.setdefault(key[0], Summary())
        s.calls += 1
        if key not in after:
            s.beyond += 1
            if shown < args.list:
                print("only in", args.before + ":", " ".join(key))
                shown += 1
            continue
        verdict, worst, notes, unchecked = compare_call(key, record, after[key], args.packing_limit)
        setattr(s, verdict, getattr(s, verdict) + 1)
        s.unchecked += 1 if unchecked else 0
        if record[0].get("kstat") != after[key][0].get("kstat"):
            s.kstat_changed += 1
        if verdict != "identical":
            for q, d in worst.items():
                s.worst[q] = max(s.worst[q], d)
        if verdict in ("beyond", "allowed") and shown < args.list:
            print(f"{verdict}: {' '.join(key)}: {'; '.join(notes)}")
            shown += 1
    missing = [key for key in after if key not in before]
    for key in missing:
        s = summaries.setdefault(key[0], Summary())
        s.calls += 1
        s.beyond += 1
    if missing:
        print(f"{len(missing)} calls only in {args.after}")

    header = f"{'routine':<12} {'calls':>6} {'bitwise':>7} {'within':>6} {'beyond':>6}"
    if args.packing_limit is not None:
        header += f" {'allowed':>7}"
    header += f" {'KSTAT':>5} {'H,S,G<1e4Pa':>11}  largest relative difference: phi h s g v | dphi dh ds dg dv"
    print(header)
    failed = False
    for routine, s in summaries.items():
        line = f"{routine:<12} {s.calls:>6} {s.identical:>7} {s.within:>6} {s.beyond:>6}"
        if args.packing_limit is not None:
            line += f" {s.allowed:>7}"
        w = s.worst
        line += (f" {s.kstat_changed:>5} {s.unchecked:>11}  "
                 + " ".join(f"{w[q]:.1e}" for q in QUANTITIES[:5]) + " | "
                 + " ".join(f"{w[q]:.1e}" for q in QUANTITIES[5:]))
        print(line)
        failed = failed or s.beyond > 0
    total = sum(s.calls for s in summaries.values())
    same = sum(s.identical for s in summaries.values())
    print(f"total: {total} calls, {same} identical to the bit, "
          f"{sum(s.within for s in summaries.values())} within the tolerances, "
          f"{sum(s.beyond for s in summaries.values())} beyond them"
          + (f", {sum(s.allowed for s in summaries.values())} allowed (root at packing >= {args.packing_limit})"
             if args.packing_limit is not None else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
