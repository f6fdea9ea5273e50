// The argument list of the associating PC-SAFT monitor KELD_PCSAF1 as the library reads it: every
// parameter array comes from the caller (keld/keld.h tables the positions), nothing from HostStore.
#pragma once

#include <cstdint>

#include "common/flags.h"
#include "common/outputs.h"

namespace keld::pcsaf {

// Elements of the option vector (argument 12).
struct OptionVector {
    std::int64_t segment_pairs = 0;  // element 1: no meaning of its own here
    std::int64_t root = 0;           // element 2: 10 selects the monitor's own density search
    std::int64_t association = 0;    // element 3: 1 association and dipoles off, 20 simplified association,
                                     //            11 S recomputed as (H - G)/T
};

inline constexpr std::int64_t kOwnRootSearch = 10;
inline constexpr std::int64_t kTermsOff = 1;
inline constexpr std::int64_t kSimplifiedAssociation = 20;
inline constexpr std::int64_t kEntropyFromGibbs = 11;

struct Arguments {
    double t = 0.0, p = 0.0;
    std::int64_t n = 0, nc = 0, kvl = 0;
    Requests rq{};
    std::int64_t kdiag = 0;
    OptionVector options{};
    std::int64_t *status = nullptr;  // KSTAT
    const std::int64_t *idx = nullptr;
    const double *z = nullptr;
    const double *mw = nullptr, *tc = nullptr, *pc = nullptr;  // by component
    std::int64_t kds = 1;
    const double *m = nullptr, *sigma = nullptr, *eps = nullptr;  // by component
    const std::int64_t *types = nullptr;                          // association types by component
    const double *eps_ab = nullptr, *kappa_ab = nullptr;          // NC x NC
    const double *dipole = nullptr, *dipolar_fraction = nullptr;  // by component
    MonitorOutputs out{};
    const std::int64_t *nseg = nullptr;  // by component
    std::int64_t lseg = 0;
    const std::int64_t *iseg = nullptr;  // LSEG x NC
    const double *wseg = nullptr;        // LSEG x NC, kg/kmol of each segment type per molecule
    const double *kij = nullptr;         // 6 x NC x NC
    const double *lij = nullptr;         // 4 x NC x NC
    double tolerance = 0.0;
    std::int64_t method = 2, unit = 6;
    double *rho = nullptr;  // in/out
    std::int64_t lwork = 0;
    double *work = nullptr;
};

// The work-area length a host provides for NC components (keld/keld.h):
// 13 + 39 NC + 16 NC^2 + 7 NC L + 2 L^2 with L = max(NC, 4).
inline std::int64_t printed_work_words(std::int64_t nc) {
    const std::int64_t l = nc > 4 ? nc : 4;
    return 13 + 39 * nc + 16 * nc * nc + 7 * nc * l + 2 * l * l;
}

}  // namespace keld::pcsaf
