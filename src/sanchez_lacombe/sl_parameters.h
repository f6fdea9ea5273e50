// Where the Sanchez-Lacombe parameters live in the host store, located once
// per call and checked to lie inside the store for the requested data set,
// and how a call gathers them: each listed component's characteristic values
// (a polymer lacking its own taking them from its segments) and the cross
// energies and volumes. The monitor and the model layer
// (model/families/sanchez_lacombe_from_host.cpp) read them through these functions alone.
#pragma once

#include <cstdint>
#include <optional>

#include "common/missing_parameters.h"
#include "common/monitor_call.h"
#include "host/host.h"
#include "sanchez_lacombe/sl_work.h"

namespace keld::sanchez_lacombe {

struct ParameterBlocks {
    // Store offsets b: component i of data set d at b + (d - 1) NC + i.
    std::int64_t t_star, p_star, rho_star;  // SLTSTR, SLPSTR, SLRSTR
    std::int64_t kij, eta;                  // SLKIJ, SLETIJ (binary)
    std::int64_t t_work, p_work, rho_work;  // TSTARL, PSTARL, DSTARL (no data set)
    std::int64_t mw;                        // MW (no data set)
    std::int64_t source;                    // PolymerParamSource of the family

    // Locates every block; nothing when one is unknown to the host or does not
    // fit in the store for data set `kds`.
    static std::optional<ParameterBlocks> locate(const host::Host &host, std::int64_t kds);
};

// HostOffsets1 element of the Sanchez-Lacombe PolymerParamSource flags.
inline constexpr std::int64_t kSourceFlagsElement = 1359;

// Typed views of the located parameter blocks for one call.
struct Parameters {
    const host::Host &host;
    const ParameterBlocks &b;
    std::int64_t d0;  // (KDS - 1) NC

    double *t_star() const { return host.word(b.t_star + d0 + 1); }  // of the data set, by component
    double *p_star() const { return host.word(b.p_star + d0 + 1); }
    double *rho_star() const { return host.word(b.rho_star + d0 + 1); }
    double *mw() const { return host.word(b.mw + 1); }
};

// Binary copies (diagonal 0) and the segments' v*, eps*; then the listed
// components' T*, P*, rho* (a polymer or oligomer missing any of its own taking
// all three from its segments), published as the host's working copies TSTARL,
// PSTARL, DSTARL, and their r, v*, eps* (work.mwn() must hold the number-average
// molecular weights by position). Every value the model will use passes through `check`. With
// `kept`, each listed component's T*, P*, rho* by position also go there (the working copies in
// the store carry no data set: concurrent calls of other data sets may overwrite them).
struct Characteristics {
    double t_star, p_star, rho_star;  // K, Pa, kg/m3
};
void set_component_values(const Parameters &par, const MonitorCall &call, const WorkArea &work,
                          ParameterCheck &check, Characteristics *kept = nullptr);

// The cross energies and volumes of the listed pairs (work.eps_matrix(), work.v_matrix()): a given
// binary takes the plain rule, a polymer built from segments without one meets the others through
// its segments.
void set_cross_matrices(const Parameters &par, const MonitorCall &call, const WorkArea &work);

}  // namespace keld::sanchez_lacombe
