#!/usr/bin/env bash
# Installs what keld needs to build, test and plot on a Debian machine.
# Packages already present are not fetched again. libopenblas0-serial becomes the system's
# LAPACK (single-threaded, optimised); the reference host's LU services call it for larger matrices.
set -euo pipefail
packages=(cmake g++ make gfortran pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
          pybind11-dev python3-pybind11 python3-dev python3-numpy python3-pytest python3-matplotlib
          python3-venv python3-pip python3-pandas python3-dask python3-distributed
          liblapack-dev libblas-dev libopenblas0-serial libeigen3-dev clang libclang-rt-14-dev
          doxygen python3-sphinx)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
