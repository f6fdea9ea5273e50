#!/bin/bash
# Instructions per monitor call (callgrind), for every family's benchmark case
# in keld_bench, independent of the machine's load. Compare two builds:
#   scripts/callgrind_monitors.sh OLD/bench/keld_bench > old.txt
#   scripts/callgrind_monitors.sh build/release/bench/keld_bench > new.txt
#   paste old.txt new.txt
set -euo pipefail
bench=${1:?usage: callgrind_monitors.sh PATH/TO/keld_bench}
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

cases=(
  'run/pcsaft_hexane_all KELD_ESPCSF'
  'run/pcsaft_five_solvents_all KELD_ESPCSF'
  'run/pcsaft_ps_toluene_all KELD_ESPCSF'
  'run/pcsaft_hexane_lnphi KELD_ESPCSF'
  'run/pcsaft_ps_toluene_lnphi KELD_ESPCSF'
  'run_saft/saft_hexane_all KELD_ESSAFT'
  'run_saft/saft_ps_toluene_all KELD_ESSAFT'
  'run_saft/saft_ps_toluene_lnphi KELD_ESSAFT'
  'run/saft_stored_hexane_all KELD_PSAFM1'
  'run/saft_stored_ps_toluene_all KELD_PSAFM1'
  'run/sl_hexane_all KELD_ESSLP'
  'run/sl_ps_toluene_all KELD_ESSLP'
  'run/sl_ps_toluene_lnphi KELD_ESSLP'
  'BM_Cubic_FiveSolvents_VanDerWaals KELD_ES40'
  'BM_Cubic_FiveSolvents_Mhv2Unifac KELD_ES40'
  'segment/pcsaft_ps_toluene_values_segment KELD_PCSF01'
  'segment/saft_ps_toluene_values_segment KELD_SAFT01'
  'segment/sl_ps_toluene_values_segment KELD_POSL01'
  'run/pcsaf_methanol_2B_warm KELD_PCSAF1'
  'run/pcsaf_water_4C_methanol_2B_warm KELD_PCSAF1'
  'run/pcsaf_copolymer_in_methanol_cold KELD_PCSAF1'
)
for c in "${cases[@]}"; do
  read -r name fn <<<"$c"
  valgrind --tool=callgrind --callgrind-out-file="$out/cg" "$bench" --benchmark_filter="^${name}\$" \
    --benchmark_min_time=0.5 >/dev/null 2>&1
  printf "%-45s %s\n" "$name" "$("$here/callgrind_per_call.py" "$out/cg" "$fn" | sed "s/^[^:]*: //")"
done
