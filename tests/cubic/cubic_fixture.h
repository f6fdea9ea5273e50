// A reference host with the cubic's test systems, and KELD_ES40 called as a
// simulator calls it.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "keld/case.h"
#include "keld/keld.h"
#include "keld/refhost.h"

namespace keld::testing {

// Acetone, methanol, n-hexane (PSRK critical constants) with a full set of
// excess-Gibbs parameters; water for the published systems; polystyrene
// (styrene segments) in toluene.
inline constexpr const char *kCubicCase = R"json({
  "components": [
    {"id": "ACETONE", "MW / (kg/kmol)": 58.08, "groups": {"CH3": 1, "CH3CO": 1}},
    {"id": "METHANOL", "MW / (kg/kmol)": 32.042, "groups": {"CH3OH": 1}},
    {"id": "HEXANE", "MW / (kg/kmol)": 86.177, "groups": {"CH3": 2, "CH2": 4}},
    {"id": "PENTANE", "MW / (kg/kmol)": 72.15, "groups": {"CH3": 2, "CH2": 3}},
    {"id": "TOLUENE", "MW / (kg/kmol)": 92.141, "groups": {"ACH": 5, "ACCH3": 1}},
    {"id": "STY", "kind": "segment", "MW / (kg/kmol)": 104.152, "groups": {"CH2": 1, "ACCH": 1, "ACH": 5}},
    {"id": "PS", "kind": "polymer", "MW / (kg/kmol)": 104.152, "MWN / (kg/kmol)": 20000, "segments": {"STY": 1}}
  ],
  "parameters": [{"cubic": {
    "TCRKS / K": {"ACETONE": 508.1, "METHANOL": 512.6, "HEXANE": 507.4, "PENTANE": 469.7, "TOLUENE": 591.7,
                  "PS": 900},
    "PCRKS / Pa": {"ACETONE": 4701480, "METHANOL": 8095868, "HEXANE": 3014419, "PENTANE": 3369056,
                   "TOLUENE": 4113795, "PS": 2500000},
    "OMGRKS": {"ACETONE": 0.309, "METHANOL": 0.559, "HEXANE": 0.2975, "PENTANE": 0.251, "TOLUENE": 0.257,
               "PS": 0.4},
    "RKSKIJ": {"ACETONE": {"METHANOL": 0.02, "HEXANE": 0.1}, "METHANOL": {"HEXANE": 0.05}},
    "RKSWSK": {"ACETONE": {"METHANOL": 0.1, "HEXANE": 0.2}, "METHANOL": {"HEXANE": 0.3}, "TOLUENE": {"PS": 0.1}},
    "GEAIJ": {"ACETONE": {"METHANOL": 0.1, "HEXANE": 0.2}, "METHANOL": {"ACETONE": 0.05, "HEXANE": 0.3},
              "HEXANE": {"ACETONE": 0.1, "METHANOL": 0.2}, "TOLUENE": {"PS": 0.05}, "PS": {"TOLUENE": 0.1}},
    "GEBIJ / K": {"ACETONE": {"METHANOL": 50, "HEXANE": 250}, "METHANOL": {"ACETONE": 120, "HEXANE": 450},
                  "HEXANE": {"ACETONE": 300, "METHANOL": 500}, "TOLUENE": {"PS": 20}, "PS": {"TOLUENE": -40}},
    "GEALF": {"ACETONE": {"METHANOL": 0.3, "HEXANE": 0.2}, "METHANOL": {"HEXANE": 0.47}},
    "UNIQR": {"ACETONE": 2.5735, "METHANOL": 1.43, "HEXANE": 4.4998, "TOLUENE": 3.9228, "STY": 3.9},
    "UNIQQ": {"ACETONE": 2.336, "METHANOL": 1.43, "HEXANE": 3.856, "TOLUENE": 2.968, "STY": 2.6}
  }}]
})json";

struct Es40 {
    double t = 320.0, p = 1.0e5;
    std::vector<std::int64_t> idx{1};
    std::vector<double> z{1.0};
    std::int64_t kvl = 2, keosopt = 0, kmodel = 1, krule = 1, kds = 1, kdiag = 4, kwork = 0;
    std::array<std::int64_t, 5> flags{3, 3, 3, 3, 3};
};

struct Es40Result {
    std::vector<double> phi, dphi;
    double h = 0, s = 0, g = 0, v = 0, dh = 0, ds = 0, dg = 0, dv = 0;
    std::int64_t kret = -7;
};

inline Es40Result call_es40(const Es40 &a) {
    Es40Result r;
    r.phi.assign(a.idx.size(), -12345.0);
    r.dphi.assign(a.idx.size(), -12345.0);
    const std::int64_t n = static_cast<std::int64_t>(a.idx.size()), kspare = 0, kpass = 0;
    KELD_ES40(&a.t, &a.p, a.z.data(), &n, a.idx.data(), &a.kwork, &kspare, &a.kvl, &a.flags[0], &a.flags[1],
              &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, &a.keosopt, &a.kmodel, &a.krule,
              r.phi.data(), &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.kret, &kpass);
    return r;
}

inline refhost::Case cubic_case(const char *json = kCubicCase) {
    refhost::Case c = refhost::parse_case(json);
    c.host->install();
    c.host->capture_messages();
    return c;
}

}  // namespace keld::testing
