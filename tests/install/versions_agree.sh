#!/usr/bin/env bash
# Every face of an installed keld reports the project's one version (the
# `project(keld VERSION ...)` line): the keld command, the CMake package, the
# headers, the C function keld_version(), the Fortran module, CITATION.cff and,
# when the Python module exposes one, keld.__version__.
#   versions_agree.sh <keld> <version program> <Fortran version program> <PYTHONPATH of the keld module>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
expected=$(sed -n 's/^project(keld VERSION \([0-9][0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
[ -n "$expected" ] || { echo "no version in the project's CMakeLists.txt" >&2; exit 1; }

reported=$(
  echo "cli $("$1" --version | sed -n 's/^keld //p')"
  "$2"
  echo "fortran $("$3")"
  citation="$here/../../CITATION.cff"
  [ ! -f "$citation" ] || echo "citation $(sed -n 's/^version: *//p' "$citation")"
  if PYTHONPATH="$4" /usr/bin/python3 -c 'import keld' 2>/dev/null; then
    python=$(PYTHONPATH="$4" /usr/bin/python3 -c 'import keld; print(getattr(keld, "__version__", "-"))')
    [ "$python" = "-" ] || echo "python $python"
  else
    echo "python (the module does not import from $4)"
  fi
)
echo "$reported"
faults=$(echo "$reported" | awk -v v="$expected" '$2 != v')
if [ -n "$faults" ]; then
  echo "versions that differ from the project's $expected:" >&2
  echo "$faults" >&2
  exit 1
fi
echo "every reported version is $expected"
