// The argument-driven SAFT property monitor (51 arguments) and its vector form. The host passes the
// parameters, binary tables, molecular weights, both composition bases and every work vector; the
// monitor keeps all its scratch in the work vectors by position and the pair matrices and on the
// stack. The vectors by component may be the host's words shared by concurrent calls (as KELD_SFTHLP
// hands them out, U0IJ and XMIJ included): defaults, pseudo-critical values and the cross matrices are
// written there atomically, and the call forms its cross values pair by pair instead of reading them
// back.
#pragma once

#include <cstdint>

#include "common/flags.h"
#include "common/outputs.h"
#include "saft/saft_residual.h"

namespace keld::saft {

struct SaftCall {
    double t, p;
    const double *z;  // apparent mole fractions by position
    std::int64_t n;
    const std::int64_t *idx;
    std::int64_t kvl;
    Requests rq;
    std::int64_t kds, kdiag;
    std::int64_t *kstat;
    const double *ids;                  // identifier words, two per component
    double *tc, *pc;                    // critical temperature (in/out), second critical entry (out)
    double *m, *v00, *u0;               // by component, defaults written back
    const double *e;                    // e/k by component
    double *u0_matrix;                  // NC-by-NC, written for the host, never read
    PositionVectors pos;                // nine work vectors by position
    const double *mw;                   // by component
    const double *mwn, *x;              // by position
    double *dadx;                       // work by position (t_k)
    double *m_matrix;                   // NC-by-NC, written for the host, never read
    double *g, *g_rho, *g_rhorho;       // N-by-N work: pair contact values at the solved density
    MonitorOutputs out;
    const double *kij, *lij;  // NC-by-NC-by-data-sets
};

void monitor(const SaftCall &call);

// Pure component idx[k] at p[k], mwn[k], for k = 1..n; shared carries everything else (its p, z, n,
// idx, mwn, x and outputs are replaced per component; outputs are arrays by position).
void vector_monitor(const double *p, std::int64_t n, const std::int64_t *idx, const double *mwn,
                    const SaftCall &shared);

}  // namespace keld::saft
