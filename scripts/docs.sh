#!/usr/bin/env bash
# Builds the API reference with warnings as errors and checks the tutorials:
#   BUILD/docs/api/html     C and C++ (Doxygen: include/keld, keld/case.h, keld/database.hpp,
#                           keld/equilibria/*), configured by docs/api/Doxyfile
#   BUILD/docs/python/      the Python package (Sphinx autodoc of the keld package built in BUILD)
#   docs/tutorials/*.md     every command and code block run in a scratch directory
#                           (scripts/tutorials.py --check); scripts/tutorials.py alone redraws
#                           the plots in docs/images/tutorials/
# Usage: scripts/docs.sh [BUILD]   (default build/release, configured with -DKELD_BUILD_PYTHON=ON;
# the targets keld_cli and keld_python are built first). Needs Debian's doxygen and python3-sphinx.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
python=${KELD_DOCS_PYTHON:-/usr/bin/python3}
cmake --build "$build" --target keld_cli keld_python -j"$(nproc)" >/dev/null

echo "== C and C++ API reference (Doxygen)"
rm -rf "$build/docs/api"
mkdir -p "$build/docs/api"
KELD_DOCS_OUT="$build/docs/api" doxygen docs/api/Doxyfile
echo "$build/docs/api/html/index.html"

echo "== Python API reference (Sphinx)"
rm -rf "$build/docs/python"
PYTHONPATH="$build/python" "$python" -m sphinx -W --keep-going -q -b html docs/python-api "$build/docs/python"
echo "$build/docs/python/index.html"

echo "== Tutorials: every command and code block"
"$python" scripts/tutorials.py --build "$build" --check
