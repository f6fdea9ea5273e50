#!/usr/bin/env bash
# Sets up a fresh Debian machine and runs every test of keld:
#   1. a Release build with the unit tests, the Python module and its tests,
#      and the Fortran client; the Python package installed with pip into a
#      fresh virtual environment and its tests run against that installation;
#   2. an AddressSanitizer + UndefinedBehaviorSanitizer build running the
#      whole unit-test suite, and a ThreadSanitizer build running the tests
#      that call every family from several threads at once;
#   3. an install into a staging prefix and downstream CMake projects, C and
#      Fortran, that find keld with find_package(keld) and link it; the
#      Fortran one also by hand with pkg-config; the versions every face of
#      the installed keld reports must agree;
#   4. a smoke run of the libFuzzer harnesses (clang; 20 s per harness).
# Between 1 and 2 the documentation is built (scripts/docs.sh): the C/C++ and
# Python API references without a warning, and every tutorial command run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

echo "== Release build and tests"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKELD_BUILD_PYTHON=ON -DPython3_EXECUTABLE=/usr/bin/python3
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== Python package: pip install . into a fresh virtual environment, tests against it"
# The Release build above is reused by the package's build backend (KELD_CMAKE_BUILD_DIR).
rm -rf build/venv
/usr/bin/python3 -m venv --system-site-packages build/venv
KELD_CMAKE_BUILD_DIR="$PWD/build/release" build/venv/bin/pip install --no-cache-dir --no-index . >/dev/null
(cd build && KELD_INSTALLED=1 MPLBACKEND=Agg venv/bin/python -m pytest -q -p no:cacheprovider ../python/tests)

echo "== Python package: editable install (pip install -e .)"
# The sources come from python/keld, the compiled parts from the build tree;
# the installed keld command and python -m keld must both work from it.
rm -rf build/venv-editable
/usr/bin/python3 -m venv --system-site-packages build/venv-editable
KELD_CMAKE_BUILD_DIR="$PWD/build/release" build/venv-editable/bin/pip install --no-cache-dir --no-index -e . >/dev/null
(cd build && venv-editable/bin/python -c "import keld, keld._core, pathlib, sys; \
  sys.exit(0 if pathlib.Path(keld.__file__).parent == pathlib.Path('../python/keld').resolve() else 'not editable')")
build/venv-editable/bin/keld --version
(cd build && MPLBACKEND=Agg venv-editable/bin/python -m keld sweep --T 280:400:5 --state 1 --plot editable-sweep.png \
  ../examples/polystyrene-toluene.json >/dev/null)

echo "== Documentation: API reference (Doxygen, Sphinx; warnings are errors) and the tutorials' commands"
bash scripts/docs.sh build/release

echo "== Sanitizer build and tests"
cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DKELD_SANITIZE=ON \
  -DKELD_BUILD_BENCH=OFF -DKELD_BUILD_PYTHON=OFF
cmake --build build/sanitize -j"$jobs"
ctest --test-dir build/sanitize --output-on-failure -j"$jobs"

echo "== ThreadSanitizer build: every family called from several threads"
# Only the two test programs whose tests run threads: the threads tests of
# every monitor family (tests/robustness/threads*_test.cpp) and the case
# layer's parallel evaluation (tests/case/case_many_test.cpp).
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" -DKELD_SANITIZE_THREAD=ON \
  -DKELD_BUILD_BENCH=OFF -DKELD_BUILD_PYTHON=OFF -DKELD_BUILD_TOOLS=OFF -DKELD_BUILD_FORTRAN=OFF
cmake --build build/tsan -j"$jobs" --target keld_tests_robustness keld_tests_case
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
build/tsan/tests/keld_tests_robustness --gtest_filter='Threads*'
build/tsan/tests/keld_tests_case --gtest_filter='*EvaluateMany*'
unset TSAN_OPTIONS

echo "== Install and downstream find_package"
rm -rf build/stage build/consumer
cmake --install build/release --prefix "$PWD/build/stage" >/dev/null
cmake -S tests/install -B build/consumer -DCMAKE_PREFIX_PATH="$PWD/build/stage"
cmake --build build/consumer
LD_LIBRARY_PATH="$PWD/build/stage/lib" ./build/consumer/consumer
LD_LIBRARY_PATH="$PWD/build/stage/lib" ./build/consumer/readme_example
PKG_CONFIG_PATH="$PWD/build/stage/lib/pkgconfig" pkg-config --exists keld
# The README's C++ example by hand, as the README says: g++ with pkg-config's flags for the reference host.
g++ tests/install/readme_example.cpp -o build/consumer/readme_by_hand \
  $(PKG_CONFIG_PATH="$PWD/build/stage/lib/pkgconfig" pkg-config --cflags --libs keld-refhost) \
  -Wl,-rpath,"$PWD/build/stage/lib"
./build/consumer/readme_by_hand
python_site="$PWD/build/stage/$(sed -n 's/^KELD_PYTHON_INSTALL_DIR:STRING=//p' build/release/CMakeCache.txt)"
(cd build && PYTHONPATH="$python_site" /usr/bin/python3 -m keld --version)
echo "downstream project found, linked and ran keld"

echo "== Downstream Fortran project (find_package, then by hand with pkg-config)"
stage="$PWD/build/stage"
rm -rf build/consumer-fortran
cmake -S tests/install/fortran -B build/consumer-fortran -DCMAKE_PREFIX_PATH="$stage"
cmake --build build/consumer-fortran
export PKG_CONFIG_PATH="$stage/lib/pkgconfig"
gfortran $(pkg-config --cflags keld-fortran) fortran/tests/host_without_case.f90 -o build/consumer-fortran/by_hand \
  $(pkg-config --libs keld-fortran) -Wl,-rpath,"$stage/lib"
unset PKG_CONFIG_PATH
for program in build/consumer-fortran/host_without_case build/consumer-fortran/by_hand; do
  cmake -DPROGRAM="$PWD/$program" -DCLI="$stage/bin/keld" \
    -DCOMPARE="$PWD/build/release/fortran/keld_fortran_compare_with_eval" \
    -DCASES="hexane=$PWD/fortran/tests/hexane.json,polystyrene-toluene-tables=$PWD/fortran/tests/polystyrene-toluene-tables.json" \
    -DWORKDIR="$PWD/build/consumer-fortran/check" -P fortran/tests/run_host_test.cmake
done

echo "== One version everywhere"
LD_LIBRARY_PATH="$stage/lib" tests/install/versions_agree.sh "$stage/bin/keld" build/consumer/version \
  build/consumer-fortran/fortran_version "$PWD/build/release/python"

echo "== Fuzz smoke run"
bash scripts/fuzz.sh 20
