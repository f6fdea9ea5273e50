# Tests of the keld command (see run_cli_test.cmake for the checks).
set(KELD_EXAMPLES ${PROJECT_SOURCE_DIR}/examples)
set(KELD_BAD_CASE ${CMAKE_CURRENT_BINARY_DIR}/bad-case.json)
file(WRITE ${KELD_BAD_CASE} [=[
{
  "components": [{"id": "A", "MW / (kg/kmol)": 50}],
  "states": [{"model": "pcsaft", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
              "mole_fractions": {"A": 0.9}}]
}
]=])

# A state with a parameter missing: the monitor refuses it and says which.
set(KELD_FAILING_CASE ${CMAKE_CURRENT_BINARY_DIR}/failing-case.json)
file(WRITE ${KELD_FAILING_CASE} [=[
{
  "components": [{"id": "X", "MW / (kg/kmol)": 50}],
  "parameters": [{"pcsaft": {"PCSFTV / A": {"X": 3.5}, "PCSFTU / K": {"X": 250}}}],
  "states": [{"model": "pcsaft", "T / K": 300, "P / Pa": 1e6, "phase": "liquid", "mole_fractions": {"X": 1}}]
}
]=])

# A binary whose second component lacks its segment diameter: check names it, and every
# equilibrium command reports it as the cause (exit 1), never as phase behaviour.
set(KELD_INCOMPLETE_BINARY ${CMAKE_CURRENT_BINARY_DIR}/incomplete-binary.json)
file(WRITE ${KELD_INCOMPLETE_BINARY} [=[
{
  "components": [{"id": "HEXANE", "MW / (kg/kmol)": 86.177}, {"id": "X", "MW / (kg/kmol)": 92.14}],
  "parameters": [{"pcsaft": {"PCSFTM": {"HEXANE": 3.0576, "X": 2.8149}, "PCSFTV / A": {"HEXANE": 3.7983},
                             "PCSFTU / K": {"HEXANE": 236.77, "X": 285.69}}}],
  "states": [{"model": "pcsaft", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
              "mole_fractions": {"HEXANE": 0.5, "X": 0.5}}]
}
]=])

# A state whose data set gives no parameters of its model at all.
set(KELD_NO_PARAMETERS_CASE ${CMAKE_CURRENT_BINARY_DIR}/no-parameters-case.json)
file(WRITE ${KELD_NO_PARAMETERS_CASE} [=[
{
  "components": [{"id": "X", "MW / (kg/kmol)": 50}],
  "states": [{"model": "pcsaft", "T / K": 300, "P / Pa": 1e6, "phase": "liquid", "mole_fractions": {"X": 1}}]
}
]=])

# The associating PC-SAFT monitor returns no temperature derivatives: a case asking for them is refused.
set(KELD_ASSOC_DERIVATIVES_CASE ${CMAKE_CURRENT_BINARY_DIR}/assoc-derivatives-case.json)
file(WRITE ${KELD_ASSOC_DERIVATIVES_CASE} [=[
{
  "components": [{"id": "A", "MW / (kg/kmol)": 50}],
  "states": [{"model": "pcsaft-assoc", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
              "mole_fractions": {"A": 1}, "derivatives": ["H"]}]
}
]=])

function(keld_cli_test name status)
  cmake_parse_arguments(T "JSON" "CSV_HEADER;CSV_ROWS" "ARGS;STDOUT;STDERR;STDOUT_LACKS" ${ARGN})
  # Lists travel to the script joined with '|' (a ';' would split the command line).
  string(REPLACE ";" "|" args "${T_ARGS}")
  string(REPLACE ";" "|" stdout "${T_STDOUT}")
  string(REPLACE ";" "|" stderr "${T_STDERR}")
  string(REPLACE ";" "|" stdout_lacks "${T_STDOUT_LACKS}")
  set(defs -DKELD=$<TARGET_FILE:keld_cli> "-DARGS=${args}" -DSTATUS=${status}
      "-DSTDOUT_MATCH=${stdout}" "-DSTDERR_MATCH=${stderr}" "-DSTDOUT_LACKS=${stdout_lacks}" -DJSON=${T_JSON})
  if(DEFINED T_CSV_HEADER)
    list(APPEND defs "-DCSV_HEADER=${T_CSV_HEADER}")
  endif()
  if(DEFINED T_CSV_ROWS)
    list(APPEND defs "-DCSV_ROWS=${T_CSV_ROWS}")
  endif()
  add_test(NAME keld_cli.${name} COMMAND ${CMAKE_COMMAND} ${defs} -P ${CMAKE_CURRENT_SOURCE_DIR}/run_cli_test.cmake)
endfunction()

keld_cli_test(eval_table 0 ARGS eval ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "TOLUENE +0\\.725" "PS +0\\.274" "ln_phi +d_ln_phi_dT / \\(1/K\\)" "status: ok \\(KSTAT 1\\)" "V +0\\.1[0-9]+ +m3/kmol" "State 6: SL 380 K")
keld_cli_test(eval_failed_state 2 ARGS eval ${KELD_FAILING_CASE}
  STDOUT "status: failed \\(KSTAT 0\\)" "PCSFTM \\(DATA SET   1\\) MISSING FOR COMPONENT X" "X +1 +nan"
  "MODEL PC-SAFT polymer monitor \\(POLYPCSF\\) HAS MISSING" "what to do: give the missing values in the case's")
# Files keep the monitors' lines exactly as the host recorded them.
keld_cli_test(eval_failed_state_json 2 ARGS eval --json ${KELD_FAILING_CASE}
  STDOUT "\"      EQUATION OF STATE MODEL POLYPCSF HAS MISSING PARAMETERS:\"" "\"ln_phi\": " "\"T / K\": 300\\.0,")
keld_cli_test(check_missing_parameter 1 ARGS check ${KELD_INCOMPLETE_BINARY}
  STDERR "incomplete-binary.json:states\\[0\\]: the model 'pcsaft' lacks a parameter it needs: PCSFTV \\(DATA SET 1\\) MISSING FOR COMPONENT X")
foreach(command "sat|--component|X" "bubble|--T|300" "flash|--T|300|--P|1e4" "lle|--T|300")
  string(REPLACE "|" ";" args "${command}")
  list(GET args 0 name)
  keld_cli_test(${name}_missing_parameter 1 ARGS ${args} ${KELD_INCOMPLETE_BINARY}
    STDOUT "missing parameter" "PCSFTV \\(DATA SET 1\\) MISSING FOR COMPONENT X")
endforeach()
keld_cli_test(check_state_without_parameters 1 ARGS check ${KELD_NO_PARAMETERS_CASE}
  STDERR "states\\[0\\]\\.model: data set 1 gives no pcsaft parameters")
keld_cli_test(eval_json 0 JSON ARGS eval --json ${KELD_EXAMPLES}/methane-hexane.json)
keld_cli_test(eval_csv 0 ARGS eval --csv ${KELD_EXAMPLES}/polystyrene-toluene.json
  CSV_HEADER "^state,label,model,phase,data_set,T / K,P / Pa,status,z\\[TOLUENE\\],z\\[PS\\],ln_phi\\[TOLUENE\\],ln_phi\\[PS\\],d_ln_phi_dT\\[TOLUENE\\] / \\(1/K\\),"
  CSV_ROWS 6 STDOUT "\n1,PC-SAFT 298\\.15 K,pcsaft,liquid,1,298\\.15,101325,1,")
keld_cli_test(eval_one_state 0 ARGS eval --state 2 ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "State 2: liquid, 50 bar")
keld_cli_test(eval_bad_state 1 ARGS eval --state 9 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--state needs a state number from 1 to 4" "keld help eval")
keld_cli_test(eval_bad_case 1 ARGS eval ${KELD_BAD_CASE} STDERR "bad-case.json:states\\[0\\]\\.mole_fractions: fractions add up to 0\\.9")
keld_cli_test(sweep_t 0 ARGS sweep --T 300:400:5 --state 1 ${KELD_EXAMPLES}/polystyrene-toluene.json
  CSV_HEADER "^state,label,model" CSV_ROWS 5 STDOUT "\n1,PC-SAFT 298\\.15 K,pcsaft,liquid,1,400,")
keld_cli_test(sweep_p 0 ARGS sweep --P=1e5:2e6:3 ${KELD_EXAMPLES}/methane-hexane.json CSV_ROWS 12 CSV_HEADER "^state,")
keld_cli_test(sweep_jobs 0 ARGS sweep --T 300:400:40 --jobs 2 ${KELD_EXAMPLES}/polystyrene-toluene.json
  CSV_HEADER "^state,label,model" CSV_ROWS 240 STDOUT "\n6,SL 380 K,sanchez-lacombe,liquid,1,400,")
keld_cli_test(sweep_bad_jobs 1 ARGS sweep --T 300:400:4 --jobs 0 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--jobs needs a number of threads from 1 to 256")
keld_cli_test(sweep_needs_range 1 ARGS sweep ${KELD_EXAMPLES}/methane-hexane.json STDERR "give one of --T and --P")
keld_cli_test(sweep_bad_range 1 ARGS sweep --T 300:200 ${KELD_EXAMPLES}/methane-hexane.json STDERR "FROM:TO:COUNT")
keld_cli_test(sweep_too_many_points 1 ARGS sweep --T 300:400:100000000000000000000 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "FROM:TO:COUNT")
keld_cli_test(sweep_point_limit 1 ARGS sweep --T 300:400:100001 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "at most 100000 points")
# --property takes the column's name, ln_phi[ID] (the older lnphi:ID too).
keld_cli_test(sweep_property_by_column_name 1 ARGS sweep --T 300:400:3 --plot x.png --property "ln_phi[WATER]"
  ${KELD_EXAMPLES}/polystyrene-toluene.json STDERR "--property ln_phi\\[WATER\\]: state 1 does not list WATER")
keld_cli_test(sweep_property_without_component 1 ARGS sweep --T 300:400:3 --plot x.png --property "ln_phi[]"
  ${KELD_EXAMPLES}/polystyrene-toluene.json STDERR "needs a component identifier")
keld_cli_test(sweep_json 0 JSON ARGS sweep --json --P 1e5:2e6:3 --state 2 ${KELD_EXAMPLES}/methane-hexane.json)
keld_cli_test(check_directory 1 ARGS check ${KELD_EXAMPLES} STDERR "examples: not a regular file")
keld_cli_test(check_device 1 ARGS check /dev/zero STDERR "/dev/zero: not a regular file")
keld_cli_test(init 0 ARGS init ${KELD_EXAMPLES}/polystyrene-from-segments.json
  STDOUT "Initialisation of pcsaft" "SLTSTR / K" "PS +missing")
keld_cli_test(init_database 0 ARGS init ${KELD_EXAMPLES}/toluene-hexane-database.json
  STDOUT "Database: TOLUENE is toluene" "pcsaft, data set 1: pcsaft/solvents.csv \\(hexane\\), source GS2001"
  "HEXANE +3\\.0576 +3\\.7983 +236\\.77")
keld_cli_test(eval_database_json 0 JSON ARGS eval --json ${KELD_EXAMPLES}/toluene-hexane-database.json
  STDOUT "\"database\": " "\"entry\": \"hexane\"" "\"source\": \"GS2001\"")
keld_cli_test(check_examples 0 ARGS check ${KELD_EXAMPLES}/polystyrene-toluene.json ${KELD_EXAMPLES}/methane-hexane.json
  ${KELD_EXAMPLES}/polystyrene-from-segments.json ${KELD_EXAMPLES}/polyethylene-hexane.json
  STDOUT "polystyrene-toluene.json: ok" "methane-hexane.json: ok" "polyethylene-hexane.json: ok")
keld_cli_test(eval_segment_models 0 ARGS eval ${KELD_EXAMPLES}/ethylene-styrene-copolymer-toluene.json
  STDOUT "model PC-SAFT \\(segment-based\\) \\(pcsaft-segment\\)" "model SAFT \\(segment-based\\) \\(saft-segment\\)"
  "model Sanchez-Lacombe \\(segment-based\\) \\(sanchez-lacombe-segment\\)" "State 9: Sanchez-Lacombe, segment-based")
keld_cli_test(check_bad 1 ARGS check ${KELD_BAD_CASE} STDERR "bad-case.json:states\\[0\\]\\.mole_fractions")
keld_cli_test(check_missing_file 1 ARGS check /nonexistent/case.json STDERR "/nonexistent/case.json: cannot open")
keld_cli_test(help 0 ARGS --help STDOUT "Usage: keld COMMAND" "Exit status:" "Examples:")
keld_cli_test(help_command 0 ARGS help sweep STDOUT "Usage: keld sweep" "--T FROM:TO:COUNT")
keld_cli_test(command_help 0 ARGS eval --help STDOUT "Usage: keld eval" "Exit status:")
keld_cli_test(eval_help_tolerances 0 ARGS help eval
  STDOUT "one-sided differences over 1e-4 T" "central difference" "relative change of 1e-6")
keld_cli_test(unknown_command 1 ARGS frobnicate STDERR "unknown command 'frobnicate'")
keld_cli_test(unknown_option 1 ARGS eval --xml ${KELD_EXAMPLES}/methane-hexane.json STDERR "unknown option '--xml'")
keld_cli_test(no_arguments 1 STDERR "Usage: keld")
keld_cli_test(eval_pcsaft_assoc 0 ARGS eval ${KELD_EXAMPLES}/water-methanol-pcsaft-assoc.json
  STDOUT "State 2: equimolar liquid, water 4C" "WATER +0\\.5 +-" "status: ok \\(KSTAT 1\\)")
keld_cli_test(eval_pcsaft_assoc_no_derivatives 1 ARGS eval ${KELD_ASSOC_DERIVATIVES_CASE}
  STDERR "monitor returns no temperature derivatives")
keld_cli_test(sweep_pcsaft_assoc 0 ARGS sweep --T 300:330:4 --state 1 ${KELD_EXAMPLES}/methanol-hexane-pcsaft-assoc.json
  CSV_HEADER "^state,label,model" CSV_ROWS 4 STDOUT "pcsaft-assoc,liquid,1,330,")

# Phase equilibria.
keld_cli_test(sat_sweep 0 ARGS sat --T 290:340:3 --csv ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  CSV_HEADER "^T / K,P / Pa,rho_mass_liquid / \\(kg/m3\\),rho_mass_vapour / \\(kg/m3\\),dH_vap / \\(J/kmol\\),Z_liquid,Z_vapour,"
  CSV_ROWS 3 STDOUT "\n340,9[0-9][0-9][0-9][0-9]\\.")
keld_cli_test(sat_to_critical 0 ARGS sat --points 5 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDOUT "critical point of the model" "converged")
keld_cli_test(sat_above_critical 2 ARGS sat --T 600 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDOUT "no coexistence" "above the critical temperature")
keld_cli_test(sat_json 0 ARGS sat --json --P 101325 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDOUT "\"command\": \"sat\"" "\"rows\"" "\"status\": \"converged\"")
keld_cli_test(sat_json_critical 0 ARGS sat --json --points 3 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDOUT "\"critical\": {" "\"rho_mass / \\(kg/m3\\)\": 2[0-9][0-9]\\." "\"V_molecules / \\(m3/kmol\\)\": 0\\.3")
keld_cli_test(activity_isotherm 0 ARGS activity --w 0.1:0.9:3 ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "a\\[TOLUENE\\]" "Omega\\[TOLUENE\\]" "vapour pressure of TOLUENE at T")
keld_cli_test(activity_above_vapour_pressure 2 ARGS activity --p 1e5 ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "no solution" "the polymer dissolves")
keld_cli_test(bubble_pxy 0 ARGS bubble --x 0.1:0.3:3 --csv ${KELD_EXAMPLES}/methane-hexane.json --state 2
  CSV_HEADER "^T / K,P / Pa,x\\[CH4\\],x\\[HEXANE\\],y\\[CH4\\],y\\[HEXANE\\],status" CSV_ROWS 3)
keld_cli_test(dew_of_a_polymer_vapour 1 ARGS dew ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "invalid input" "polymers never enter the vapour")
keld_cli_test(flash_two_phases 0 ARGS flash --P 2e6 ${KELD_EXAMPLES}/methane-hexane.json --state 2
  STDOUT "liquid  " "vapour  " "tangent-plane distance")
keld_cli_test(flash_one_phase 0 ARGS flash ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "single phase" "stable")
# V counted as eval counts it (the polymer in styrene units: eval's state 1 shows 0.1044454736),
# then per kmol of molecules.
keld_cli_test(flash_volume_bases 0 ARGS flash ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "V_apparent / \\(m3/kmol\\) +V_molecules / \\(m3/kmol\\)" "\nliquid +1 +1 +0\\.1044454736 +0\\.14398")
# The heat of vaporisation per kmol, as everywhere else (hexane: about 31.5 MJ/kmol at 300 K).
keld_cli_test(sat_heat_per_kmol 0 ARGS sat --T 300 --csv ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDOUT "\n300,[0-9.]+,[0-9.]+,[0-9.]+,3[0-9][0-9][0-9][0-9][0-9][0-9][0-9]\\.[0-9]+,")
keld_cli_test(lle_ucst 2 ARGS lle --T 290:300:3 ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDOUT "UCST: T = 29[0-9]\\." "no demixing")
# With a non-solvent: the ternary diagram at one T and P, traced to its plait point.
set(KELD_PS_MEOH ${KELD_EXAMPLES}/polystyrene-toluene-methanol-pcsaft-assoc.json)
keld_cli_test(lle_ternary 0 ARGS lle --T 25degC --P 1bar ${KELD_PS_MEOH}
  STDOUT "PS \\+ TOLUENE \\+ METHANOL" "plait point +0\\.07" "plait point \\(Heidemann-Khalil criteria at T and P\\): w = PS 0\\.07[0-9]*, TOLUENE 0\\.8[0-9]*, METHANOL 0\\.0[0-9]*")
keld_cli_test(lle_ternary_csv 0 ARGS lle --T 298.15 --csv ${KELD_PS_MEOH}
  CSV_HEADER "^point,w_lean_liquid\\[PS\\],w_lean_liquid\\[TOLUENE\\],w_lean_liquid\\[METHANOL\\],w_rich_liquid\\[PS\\],w_rich_liquid\\[TOLUENE\\],w_rich_liquid\\[METHANOL\\],rho_lean / \\(kmol/m3\\),rho_rich / \\(kmol/m3\\),status")
keld_cli_test(lle_ternary_one_temperature 1 ARGS lle --T 290:300:3 ${KELD_PS_MEOH} STDERR "at one temperature")
keld_cli_test(lle_ternary_polymer_as_nonsolvent 1 ARGS lle --nonsolvent PS ${KELD_PS_MEOH} STDERR "is the polymer")
keld_cli_test(lle_ternary_no_gap 2 ARGS lle --nonsolvent TOLUENE ${KELD_PS_MEOH} STDOUT "do not demix")
keld_cli_test(critical_points 0 ARGS critical --state 2 ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "T / degC +P / MPa +rho / \\(kmol/m3\\) +V_molecules / \\(m3/kmol\\)" "CH4 +191\\.4" "HEXANE +519\\.3" "mixture +511\\.[0-9]+ +238\\.")
keld_cli_test(critical_one_component 0 ARGS critical --csv --component HEXANE ${KELD_EXAMPLES}/methane-hexane.json
  CSV_HEADER "^fluid,T / K,T / degC,P / MPa,rho / \\(kmol/m3\\),V_molecules / \\(m3/kmol\\),status" CSV_ROWS 1)
keld_cli_test(critical_not_reached 2 ARGS critical ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "mixture +- +-" "not converged")
keld_cli_test(critical_half_a_start 1 ARGS critical --T 300 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "needs both --T and --V")
keld_cli_test(critical_curve 0 ARGS critical --curve ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "Critical curve of CH4 \\+ HEXANE" "pure CH4 +191\\.40" "mixture +3[0-9][0-9]\\.[0-9]+ +[0-9.]+ +2[01]\\." "pure HEXANE +519\\.33")
keld_cli_test(critical_curve_csv 0 ARGS critical --curve --csv ${KELD_EXAMPLES}/methane-hexane.json
  CSV_HEADER "^point,T / K,T / degC,P / MPa,V_molecules / \\(m3/kmol\\),x\\[CH4\\],tpd,status")
# Near methane's end the critical phase splits: those points are labelled and counted.
keld_cli_test(critical_curve_unstable_points 0 ARGS critical --curve ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "mixture, unstable" "26 of 126 points are unstable")
keld_cli_test(critical_curve_capped 2 ARGS critical --curve --p-max 15MPa ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "runs above 15 MPa" "not converged")
keld_cli_test(critical_curve_no_start 1 ARGS critical --curve --T 300 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--curve takes no --T")
keld_cli_test(critical_p_max_alone 1 ARGS critical --p-max 1e7 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--p-max goes with --curve")
# Polystyrene in cyclohexane with toluene as a second solvent (PC-SAFT), and on Sanchez-Lacombe with a
# k_ij that puts the upper critical solution branch near 250 K (the lower one at 364 K).
set(KELD_MIXED_SOLVENT_CASE ${CMAKE_CURRENT_BINARY_DIR}/polystyrene-mixed-solvent.json)
file(WRITE ${KELD_MIXED_SOLVENT_CASE} [=[
{
  "components": [
    {"id": "CYCLOHEX", "database": "cyclohexane"},
    {"id": "TOLUENE", "database": "toluene"},
    {"id": "STY", "kind": "segment", "database": "polystyrene"},
    {"id": "PS", "database": "polystyrene", "MWN / (kg/kmol)": 100000, "segments": {"STY": 1.0}}
  ],
  "parameters": [{
    "pcsaft": {"PCSKIJ": {"CYCLOHEX": {"PS": 0.0078}}},
    "sanchez-lacombe": {"SLTSTR / K": {"CYCLOHEX": 497}, "SLPSTR / MPa": {"CYCLOHEX": 383},
                        "SLRSTR / (kg/m3)": {"CYCLOHEX": 902}, "SLKIJ": {"CYCLOHEX": {"PS": 0.027}}}
  }],
  "states": [{"model": "pcsaft", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
              "mass_fractions": {"CYCLOHEX": 0.9, "PS": 0.1}}]
}
]=])
# The same polystyrene with no parameters of its own: built from its styrene segments (k_ij on the segment).
set(KELD_SEGMENT_POLYMER_CASE ${CMAKE_CURRENT_BINARY_DIR}/polystyrene-segments-cyclohexane.json)
file(WRITE ${KELD_SEGMENT_POLYMER_CASE} [=[
{
  "components": [
    {"id": "CYCLOHEX", "database": "cyclohexane"},
    {"id": "STY", "kind": "segment", "database": "polystyrene"},
    {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.152, "MWN / (kg/kmol)": 100000, "segments": {"STY": 1.0}}
  ],
  "parameters": [{"pcsaft": {"PCSKIJ": {"CYCLOHEX": {"STY": 0.0078}}}}],
  "states": [{"model": "pcsaft", "T / K": 300, "P / Pa": 1e5, "phase": "liquid",
              "mass_fractions": {"CYCLOHEX": 0.9, "PS": 0.1}}]
}
]=])
set(KELD_CLOUD_ARGS --Mw 2e5 --pseudo 6 --points 4 --w-from 0.01 --w-to 0.2)
keld_cli_test(cloudpoint_one_solvent_of_a_mixture 0 ARGS cloudpoint ${KELD_CLOUD_ARGS} ${KELD_MIXED_SOLVENT_CASE}
  STDOUT "critical point: T = 299\\.7131 K, w_polymer = 0\\.05486")
keld_cli_test(cloudpoint_two_solvents 0 ARGS cloudpoint ${KELD_CLOUD_ARGS} --solvent CYCLOHEX,TOLUENE
  --solvent-w 0.9,0.1 ${KELD_MIXED_SOLVENT_CASE}
  STDOUT "PS in CYCLOHEX \\(w 0\\.9\\) \\+ TOLUENE \\(w 0\\.1\\)" "critical point: T = 292\\.78[0-9]+ K")
keld_cli_test(cloudpoint_solvent_fractions_missing 1 ARGS cloudpoint --solvent CYCLOHEX,TOLUENE
  ${KELD_MIXED_SOLVENT_CASE} STDERR "weight fractions in the solvent mixture")
keld_cli_test(cloudpoint_from_segments 0 ARGS cloudpoint ${KELD_CLOUD_ARGS} ${KELD_SEGMENT_POLYMER_CASE}
  STDOUT "critical point: T = 299\\.7131 K, w_polymer = 0\\.05486")
keld_cli_test(cloudpoint_sanchez_lacombe 0 ARGS cloudpoint ${KELD_CLOUD_ARGS} --model sanchez-lacombe --T-min 180
  --T-max 300 ${KELD_MIXED_SOLVENT_CASE} STDOUT "\\(Sanchez-Lacombe\\)" "critical point: T = 256\\.0[0-9]+ K")
keld_cli_test(cloudpoint_sanchez_lacombe_without_parameters 1 ARGS cloudpoint --model sanchez-lacombe
  ${KELD_EXAMPLES}/polystyrene-cyclohexane.json STDERR "no Sanchez-Lacombe SLTSTR for CYCLOHEX")
keld_cli_test(fractionate_two_solvents 0 ARGS fractionate --T 288 --w 0.1 --Mw 2e5 --pseudo 6 --json
  --solvent CYCLOHEX,TOLUENE --solvent-w 0.9,0.1 ${KELD_MIXED_SOLVENT_CASE}
  STDOUT "\"w\\[TOLUENE\\]\"" "\"rich_share\"")
keld_cli_test(sorption_polydisperse 0 ARGS sorption --T 298 --Mw 2e5 --pseudo 6 --points 3 --w-from 0.01
  --w-to 0.3 ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDOUT "0\\.01000 +0\\.99999263[0-9]+ +0\\.99999263[0-9]+ +0\\.99999297[0-9]+ +0\\.99999263[0-9]+ 2 \\(0\\.0074, 0\\.13[0-9]+\\) +1 "
  "0\\.30000 +0\\.99809018[0-9]+ +0\\.99809018[0-9]+ +0\\.99809018[0-9]+ +0\\.99809018[0-9]+ 1 +1")
keld_cli_test(cloudpoint_lower_branch 0 ARGS cloudpoint ${KELD_CLOUD_ARGS} --lower-branch --P 5e6 --T-min 480
  --T-max 525 ${KELD_EXAMPLES}/polystyrene-cyclohexane.json STDOUT "critical point: T = 5[01][0-9]\\.[0-9]+ K")
# At fixed T on the lower branch: lowering the pressure demixes the solution; a temperature whose
# critical pressure lies outside the range is refused.
keld_cli_test(cloudpoint_over_pressure 0 ARGS cloudpoint --T 500 --lower-branch --P-min 1e6 --P-max 5e7 --Mw 2e5
  --pseudo 6 --points 3 --w-from 0.003 --w-to 0.1 --json ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDOUT "\"P / Pa\": 4314[0-9]+\\." "\"T / K\": 500\\.0" "\"w_polymer_shadow\"")
keld_cli_test(cloudpoint_over_pressure_out_of_range 2 ARGS cloudpoint --T 500 --lower-branch --P-min 1e6 --P-max 4e6
  --Mw 2e5 --pseudo 6 --points 3 ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDOUT "no critical point at T = 500 K between 1e\\+06 and 4e\\+06 Pa")
keld_cli_test(fractionate_lower_branch_below 0 ARGS fractionate --T 490 --w 0.1 --Mw 2e5 --pseudo 6 --lower-branch
  --P 5e6 --T-min 480 --T-max 525 ${KELD_EXAMPLES}/polystyrene-cyclohexane.json STDOUT "single phase: one liquid")
keld_cli_test(sorption_needs_a_temperature 1 ARGS sorption ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDERR "--T")
keld_cli_test(cloudpoint_polydisperse 0 ARGS cloudpoint --Mw 2e5 --pseudo 6 --points 5 --w-from 0.01 --w-to 0.2
  ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDOUT "Mn 100000, Mw 200000, Mz 300000 kg/kmol" "critical point: T = 299\\.[0-9]+ K" "Mn_shadow / \\(kg/kmol\\)")
keld_cli_test(cloudpoint_bad_pseudo 1 ARGS cloudpoint --pseudo 0 ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDERR "--pseudo needs a whole number")
keld_cli_test(cloudpoint_not_a_pcsaft_case 1 ARGS cloudpoint ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "needs a solvent and a polymer")
keld_cli_test(fractionate_polydisperse 0 ARGS fractionate --T 295 --w 0.1 --Mw 2e5 --pseudo 6 --json
  ${KELD_EXAMPLES}/polystyrene-cyclohexane.json
  STDOUT "\"rich_share\"" "\"Mw / \\(kg/kmol\\)\"" "\"w_chain\"")
keld_cli_test(fractionate_above_the_cloud_point 0 ARGS fractionate --T 310 --w 0.1 --Mw 2e5 --pseudo 6
  ${KELD_EXAMPLES}/polystyrene-cyclohexane.json STDOUT "single phase: one liquid")
keld_cli_test(polydisperse_help 0 ARGS help cloudpoint STDOUT "Usage: keld cloudpoint" "--gpc FILE" "Exit status:")
keld_cli_test(equilibrium_help 0 ARGS help lle STDOUT "Usage: keld lle" "--plot FILE" "Exit status:")
keld_cli_test(equilibrium_bad_range 1 ARGS sat --T 300:200 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDERR "FROM:TO:COUNT" "keld help sat")
keld_cli_test(plot_needs_plot 1 ARGS sat --data x.csv ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDERR "--data goes with --plot")
# A PNG through matplotlib, with the measured points; and a clear error without the interpreter.
keld_cli_test(sat_plot 0 ARGS sat --T 280:340:4 --plot ${CMAKE_CURRENT_BINARY_DIR}/psat.png
  --data ${KELD_EXAMPLES}/data/hexane-vapour-pressure.csv ${KELD_EXAMPLES}/hexane-vapour-pressure.json)
add_test(NAME keld_cli.plot_without_python
  COMMAND ${CMAKE_COMMAND} -E env KELD_PYTHON=/nonexistent/python3 $<TARGET_FILE:keld_cli> sat --T 300
          --plot ${CMAKE_CURRENT_BINARY_DIR}/never.png ${KELD_EXAMPLES}/hexane-vapour-pressure.json)
set_tests_properties(keld_cli.plot_without_python PROPERTIES
  PASS_REGULAR_EXPRESSION "--plot draws with matplotlib through /nonexistent/python3, which was not found")

# The Helmholtz-energy model of a state: the same numbers as the monitor (README's first state).
keld_cli_test(props_state 0 ARGS props --state 1 ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "TOLUENE .*-2\\.97453120" "V +0\\.1044454736 +m3/kmol" "G - G_ig\\(T, P_ref\\) +-10225792\\.85")
keld_cli_test(props_bad 1 ARGS props --P 1e5 --rho 3 ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDERR "--P and --rho exclude each other")

# keld db: the parameter database.
keld_cli_test(db_search 0 ARGS db search hexane
  STDOUT "name +kind +CAS +formula +families" "\nhexane +molecule +110-54-3 +C6H14 +pcsaft, saft, cubic, ideal-gas"
         "\ncyclohexane +molecule")
keld_cli_test(db_search_none 1 ARGS db search zzzz STDERR "no component matches 'zzzz'")
keld_cli_test(db_show 0 ARGS db show n-hexane
  STDOUT "hexane \\(molecule\\), CAS 110-54-3, C6H14" "synonyms: n-hexane"
         "pcsaft: hexane \\(pcsaft/solvents\\.csv\\)" "sigma +3\\.7983 +Angstrom" "eps_k +236\\.77 +K"
         "source: \\[GS2001\\] Gross, J\\.; Sadowski, G\\. Perturbed-Chain SAFT" "doi:10\\.1021/ie0003887"
         "cubic: hexane" "Pc +3014419 +Pa" "ideal-gas: hexane" "valid: T 200-1500 K"
         "pcsaft kij with nitrogen +0\\.119 +\\[GS2001\\]")
keld_cli_test(db_show_polymer 0 ARGS db show --family pcsaft PS
  STDOUT "polystyrene \\(polymer\\), repeat unit \\(C8H8\\)n" "repeat unit molar mass: 104\\.152 kg/kmol"
         "m_per_mw +0\\.0190 +mol/g" "sigma +4\\.1071 +Angstrom" "\\[SADOWSKI2011\\]")
keld_cli_test(db_show_by_cas 0 ARGS db show 7732-18-5
  STDOUT "water \\(molecule\\)" "pcsaft-assoc: water_4C_RG2020" "scheme +4C")
keld_cli_test(db_show_unknown 1 ARGS db show toluen STDERR "no component 'toluen' in the database; closest: toluene")
keld_cli_test(db_show_ambiguous 1 ARGS db show C8H10 STDERR "formula of 4 components" "ethylbenzene" "p-xylene")
keld_cli_test(db_show_missing_family 1 ARGS db show --family cubic polystyrene
  STDERR "no cubic parameters for polystyrene; it has parameters of: pcsaft, sanchez-lacombe, unifac")
keld_cli_test(db_bad_family 1 ARGS db show --family pr toluene STDERR "unknown family 'pr'" "keld help db")
keld_cli_test(db_no_action 1 ARGS db STDERR "expected 'search WORD' or 'show NAME'")
keld_cli_test(db_help 0 ARGS help db STDOUT "Usage: keld db" "search WORD" "m = \\(m/MW\\) Mn")

# The command line's declarations: suggestions, the options a command takes, repeated options,
# and the model families listed from the registry.
keld_cli_test(unknown_command_suggestion 1 ARGS evaluate ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "unknown command 'evaluate' \\(did you mean 'eval'\\?\\)")
keld_cli_test(unknown_option_lists_options 1 ARGS dew --x 0:1:3 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "unknown option '--x'" "dew takes --T T, --P P, --y FROM:TO:COUNT" "keld help dew")
keld_cli_test(unknown_option_suggestion 1 ARGS sweep --jbos 2 --T 300:310:2 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "unknown option '--jbos' \\(did you mean '--jobs'\\?\\)")
keld_cli_test(option_given_twice 1 ARGS eval --state 1 --state 2 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "option '--state' given twice")
keld_cli_test(option_without_value 1 ARGS flash ${KELD_EXAMPLES}/methane-hexane.json --T
  STDERR "option '--T' needs a value")
keld_cli_test(help_unknown_command 1 ARGS help flahs STDERR "unknown command 'flahs' \\(did you mean 'flash'\\?\\)")
keld_cli_test(help_lists_models 0 ARGS help
  STDOUT "sanchez-lacombe-segment" "pcsaft-assoc" "saft-stored" "cubic" "Commands:")
keld_cli_test(help_generated_options 0 ARGS bubble --help
  STDOUT "Usage: keld bubble \\[--T T\\] \\[--P P\\] \\[--x FROM:TO:COUNT\\]" "  --x FROM:TO:COUNT +the liquid")

# Every keld command line printed in the README and docs/ runs as written; every option a
# synopsis shows is one its command takes.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_test(NAME keld_docs.command_lines
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/run_doc_commands.py --keld $<TARGET_FILE:keld_cli>
          --root ${PROJECT_SOURCE_DIR})

# Single points from the command line: --z (mole or mass basis), --T and --P with units give
# the same numbers as the case's own state at those conditions (polystyrene-toluene state 1:
# 30 wt % PS, 298.15 K, 101325 Pa).
keld_cli_test(point_eval_units 0 ARGS eval --state 1 --T 25degC --P 101.325kPa
  --z TOLUENE=0.7,PS=0.3 --basis mass ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "T = 298.15 K, P = 101325 Pa" "TOLUENE    0.725085456      -2.974531203")
keld_cli_test(point_eval_celsius_with_space 0 ARGS eval --state 1 --T "25 °C" ${KELD_EXAMPLES}/polystyrene-toluene.json
  STDOUT "T = 298.15 K, P = 101325 Pa" "TOLUENE    0.725085456      -2.974531203")
keld_cli_test(point_eval_mole_basis 0 ARGS eval --state 1 --z TOLUENE=0.725085456,PS=0.274914544
  --P "1 bar" ${KELD_EXAMPLES}/polystyrene-toluene.json STDOUT "P = 100000 Pa" "TOLUENE    0.725085456")
keld_cli_test(point_activity_mass 0 ARGS activity --T 298.15K --z TOLUENE=0.5,PS=0.5 --basis mass
  ${KELD_EXAMPLES}/polystyrene-toluene.json STDOUT "0\\.5 +0\\.5 +3581\\.263596")
keld_cli_test(point_bubble 0 ARGS bubble --z CH4=0.1,HEXANE=0.9 --T 350 ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "350 +2288471\\.808 +0\\.1 +0\\.9 ")
keld_cli_test(point_flash_units 0 ARGS flash --z CH4=0.3,HEXANE=0.7 --T "76.85 °C" --P 2MPa --state 2
  ${KELD_EXAMPLES}/methane-hexane.json STDOUT "Flash at T = 350 K, P = 2e\\+06 Pa" "liquid  0.7428721661")
keld_cli_test(point_dew_bar 0 ARGS dew --z CH4=0.1,HEXANE=0.9 --P 1bar ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "100000  0.0005203952421")
keld_cli_test(point_spaces_in_composition 0 ARGS eval --state 1 --z "TOLUENE = 0.7, PS = 0.3" --basis mass
  ${KELD_EXAMPLES}/polystyrene-toluene.json STDOUT "TOLUENE    0.725085456      -2.974531203")
keld_cli_test(point_sum_not_one 1 ARGS eval --z CH4=0.5,HEXANE=0.6 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--z: the fractions add up to 1.1, not 1")
keld_cli_test(point_unknown_component 1 ARGS flash --z XX=1 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--z: no component 'XX' in the case")
keld_cli_test(point_repeated_component 1 ARGS eval --z CH4=0.5,CH4=0.5 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "'CH4' is given twice")
keld_cli_test(point_segment 1 ARGS eval --z STY=1 ${KELD_EXAMPLES}/polystyrene-from-segments.json
  STDERR "is a polymer segment")
keld_cli_test(point_basis_alone 1 ARGS eval --basis mass ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--basis goes with --z")
keld_cli_test(point_bad_basis 1 ARGS eval --z CH4=1 --basis volume ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--basis is mole or mass")
keld_cli_test(point_unknown_unit 1 ARGS eval --T "25 F" ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "unknown unit 'F'" "K, degC, °C")
keld_cli_test(point_negative_pressure 1 ARGS flash --P -1bar ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "--P must be positive")
keld_cli_test(point_not_declared 1 ARGS sat --z HEXANE=1 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDERR "unknown option '--z'")

# A case with parameters and no state: the point comes from the command line alone.
set(KELD_STATELESS_CASE ${CMAKE_CURRENT_BINARY_DIR}/stateless-case.json)
file(WRITE ${KELD_STATELESS_CASE} [=[
{
  "components": [{"id": "HEXANE", "MW / (g/mol)": 86.177}],
  "parameters": [{"pcsaft": {"PCSFTM": {"HEXANE": 3.0576}, "PCSFTV / A": {"HEXANE": 3.7983},
                             "PCSFTU / K": {"HEXANE": 236.77}}}]
}
]=])
keld_cli_test(point_stateless_eval 0 ARGS eval --z HEXANE=1 --T 300 --P 1bar ${KELD_STATELESS_CASE}
  STDOUT "model PC-SAFT \\(pcsaft\\), data set 1, liquid, T = 300 K, P = 100000 Pa" "HEXANE     1 ")
keld_cli_test(point_stateless_missing 1 ARGS eval --z HEXANE=1 --T 300 ${KELD_STATELESS_CASE}
  STDERR "give the point with --z, --T and --P")
keld_cli_test(point_stateless_flash 0 ARGS flash --z HEXANE=1 --T 300 --P 1bar ${KELD_STATELESS_CASE}
  STDOUT "single phase")

# Messages say what is missing and what to do, in the user's words.
keld_cli_test(init_missing_and_units 0 ARGS init ${KELD_EXAMPLES}/methanol-hexane-pcsaft-assoc.json
  STDOUT "PCSAEP / K" "PCSAMU / D" "PCSAEX: missing \\(no pair given\\)" STDOUT_LACKS "1e\\+35")
keld_cli_test(init_cubic_units 0 ARGS init ${KELD_EXAMPLES}/light-gases-srk.json STDOUT "TCRKS / K +PCRKS / Pa" "RKSKIJ\\(N2, CH4\\) = 0.032" "RKSUP: missing")
keld_cli_test(check_one_component 0 ARGS check ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDOUT "ok \\(1 component, 1 data set, 1 state\\)")
keld_cli_test(check_components_plural 0 ARGS check ${KELD_EXAMPLES}/methane-hexane.json STDOUT "ok \\(2 components, 1 data set, [0-9]+ states\\)")
keld_cli_test(bubble_curve_pure_component 1 ARGS bubble --x 0:1:10 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDERR "a bubble curve over --x needs two components; the state lists only HEXANE" "--state N" "--z")
keld_cli_test(dew_curve_pure_component 1 ARGS dew --y 0:1:10 ${KELD_EXAMPLES}/hexane-vapour-pressure.json
  STDERR "a dew curve over --y needs two components")

# keld envelope and keld pxy: curves through their critical points on the model.
keld_cli_test(envelope_natural_gas 0 ARGS envelope ${KELD_EXAMPLES}/natural-gas.json
  STDOUT "\ndew +255\\.07" "\ncritical +238\\.77" "\nbubble +113\\.3"
         "critical point: T = 238\\.77[0-9]* K, P = 10\\.09[0-9]+ MPa" "cricondenbar: T = 276\\.8" "cricondentherm: T = 326\\.5")
keld_cli_test(envelope_csv 0 ARGS envelope --csv --p-low 5e5 --state 2 ${KELD_EXAMPLES}/methane-hexane.json
  CSV_HEADER "^branch,T / K,T / degC,P / MPa,rho_feed / \\(kmol/m3\\),rho_incipient / \\(kmol/m3\\),x_incipient\\[CH4\\],x_incipient\\[HEXANE\\],status"
  STDOUT "\ndew,[0-9.]+,[-0-9.]+,0\\.[45][0-9]*," "\ncritical," "\nbubble,[0-9.]+,[-0-9.]+,0\\.[45][0-9]*,")
keld_cli_test(envelope_plot 0 ARGS envelope --plot ${CMAKE_CURRENT_BINARY_DIR}/envelope.png
  ${KELD_EXAMPLES}/natural-gas.json)
keld_cli_test(envelope_bad_pressure 1 ARGS envelope --p-low -3 ${KELD_EXAMPLES}/natural-gas.json
  STDERR "--p-low needs a positive value" "keld help envelope")
keld_cli_test(pxy_to_critical 0 ARGS pxy --T 350 --json ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "\"command\": \"pxy\"" "\"critical\": \\{" "\"P / Pa\": 2008344[0-9]")
keld_cli_test(pxy_table 0 ARGS pxy --T 350 ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "T / K +P / MPa +x\\[CH4\\] +y\\[CH4\\] +rho_liquid / \\(kmol/m3\\)" "\ncritical +350 +20\\.0834" "ends at the critical point: T = 350 K, P = 20\\.0834 MPa, x CH4 = 0\\.7827")
keld_cli_test(pxy_isobar 0 ARGS pxy --P 4e6 --plot ${CMAKE_CURRENT_BINARY_DIR}/txy.png ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "T-x-y isobar on the model \\(PC-SAFT\\) at P = 4 MPa" "\ntie line +186\\.12[0-9]+ +4 +1 +1 " "\ncritical +515\\.1")
keld_cli_test(pxy_isotherm_or_isobar 1 ARGS pxy --T 350 --P 4e6 ${KELD_EXAMPLES}/methane-hexane.json
  STDERR "give --T \\(an isotherm\\) or --P \\(an isobar\\), not both")
keld_cli_test(pxy_needs_a_binary 1 ARGS pxy --T 300 ${KELD_EXAMPLES}/natural-gas.json
  STDERR "needs a state of two components")
keld_cli_test(pxy_supercritical 2 ARGS pxy --T 600 ${KELD_EXAMPLES}/methane-hexane.json
  STDOUT "above their critical temperatures")
keld_cli_test(envelope_help 0 ARGS help envelope STDOUT "Usage: keld envelope" "--p-low P" "cricondentherm")

# keld flash --phases 3 and keld vlle: three phases on the model.
keld_cli_test(flash_three_phases 0 ARGS flash --phases 3 ${KELD_EXAMPLES}/methanol-hexane-methane-pcsaft-assoc.json
  STDOUT "Flash into up to 3 phases on the model at T = 185 K, P = 100000 Pa"
         "\nliquid 1 +0\\.2348[0-9]+ .* 0\\.4027[0-9]+ " "\nliquid 2 +0\\.3729[0-9]+ " "\nvapour +0\\.3922[0-9]+ "
         "largest ln f mismatch between the phases: [0-9.]+e-1[1-9]")
keld_cli_test(flash_two_phases_on_model 0 ARGS flash --phases 2 --json ${KELD_EXAMPLES}/methanol-hexane-methane-pcsaft-assoc.json
  STDOUT "\"title\": \"Flash into up to 2 phases on the model")
keld_cli_test(flash_phases_bad 1 ARGS flash --phases 4 ${KELD_EXAMPLES}/methanol-hexane-methane-pcsaft-assoc.json
  STDERR "--phases takes 2 or 3, not '4'")
keld_cli_test(vlle_to_end_point 0 ARGS vlle --T 170 --state 3 ${KELD_EXAMPLES}/methanol-hexane-pcsaft-assoc.json
  STDOUT "\nthree phases +170 +-103\\.15 +0\\.4406[0-9]+ +0\\.5438[0-9]+ +0\\.00107[0-9]+ +0\\.2121"
         "\nend point +198\\.388[0-9]+ " "upper critical end point: T = 198\\.388 K, P = 21\\.77[0-9]* Pa")
keld_cli_test(vlle_plot 0 ARGS vlle --T 180 --state 3 --csv --plot ${CMAKE_CURRENT_BINARY_DIR}/vlle.png
  ${KELD_EXAMPLES}/methanol-hexane-pcsaft-assoc.json
  CSV_HEADER "^point,T / K,T / degC,P / Pa,x_liquid1\\[METHANOL\\],x_liquid2\\[METHANOL\\],y\\[METHANOL\\],")
keld_cli_test(vlle_above_end_point 2 ARGS vlle --state 3 ${KELD_EXAMPLES}/methanol-hexane-pcsaft-assoc.json
  STDOUT "no two liquids and a vapour at T = 298\\.15 K")
keld_cli_test(vlle_needs_a_binary 1 ARGS vlle --T 170 ${KELD_EXAMPLES}/methanol-hexane-pcsaft-assoc.json
  STDERR "needs a state of two components")
keld_cli_test(vlle_help 0 ARGS help vlle STDOUT "Usage: keld vlle" "--T-step K" "upper critical end point")
