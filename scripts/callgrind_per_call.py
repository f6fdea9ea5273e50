#!/usr/bin/python3
"""Instructions per call of one function from a callgrind output file.

Sums, over every call site recorded in the file, the calls to FUNCTION and the
inclusive instruction count (Ir) of those calls, and prints Ir per call. With
a benchmark that calls a monitor many times this is the monitor's cost per
call, independent of the machine's load:

    valgrind --tool=callgrind --callgrind-out-file=cg.out \
        build/release/bench/keld_bench --benchmark_filter='^run/pcsaft_hexane_all$' --benchmark_min_time=0.01
    scripts/callgrind_per_call.py cg.out KELD_ESPCSF
"""
import re
import sys


def per_call(path, function):
    names = {}
    calls = cost = 0
    pending = None  # calls of the arc whose cost line comes next
    target = False
    with open(path) as f:
        for line in f:
            m = re.match(r'cfn=\((\d+)\)(?: (.*))?', line)
            if m:
                ident, name = m.group(1), m.group(2)
                if name:
                    names[ident] = name.strip()
                target = names.get(ident) == function
                continue
            m = re.match(r'fn=\((\d+)\) (.*)', line)
            if m:
                names[m.group(1)] = m.group(2).strip()
                continue
            if line.startswith('calls='):
                pending = int(line.split('=')[1].split()[0]) if target else None
                continue
            if pending is not None:
                parts = line.split()
                cost += int(parts[1]) if len(parts) > 1 else 0
                calls += pending
                pending = None
                target = False
    return calls, cost


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    calls, cost = per_call(sys.argv[1], sys.argv[2])
    if calls == 0:
        sys.exit(f'no call of {sys.argv[2]} recorded in {sys.argv[1]}')
    print(f'{sys.argv[2]}: {calls} calls, {cost} Ir, {cost / calls:.0f} Ir per call')


if __name__ == '__main__':
    main()
