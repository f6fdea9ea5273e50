/*
 * keld/keld.h - exported routines of keld, equation-of-state property
 * monitors for mixtures that contain polymers.
 *
 * Calling convention (every routine):
 *  - no result; every argument by pointer (a Fortran host passes by reference);
 *  - integers int64_t, reals double; arrays 1-based in meaning (element 1 at
 *    index 0), NC-by-NC matrices column-major;
 *  - SI units on a kmol basis: T in K, P in Pa, V in m3/kmol, H and G in J/kmol,
 *    S in J/(kmol K); departures from the ideal gas (H - H_ig(T),
 *    S - S_ig(T, P_ref), G - G_ig(T, P_ref)); PHI holds ln(fugacity coefficient);
 *  - request flags KPHI, KH, KS, KG, KV: 0 nothing, 1 value, 2 temperature
 *    derivative, 3 both (any integer is accepted; the bit tests decide);
 *  - no routine stops its caller: problems are reported through KSTAT (cleared
 *    to 0 on a failed density root) and the host's message service.
 *
 * Every routine needs a host table installed first (keld/host.h). Without one
 * it returns at once, writing nothing.
 *
 * Arguments keld cannot honour never lead to a read or write outside the
 * given arrays: the monitor sets every requested output to NaN and KSTAT to 0,
 * and returns, having written nothing else. They are: N larger than the number
 * of components NC; a component number outside 1..NC or listed twice; mole
 * fractions Z that are negative or not finite or whose sum differs from 1 by
 * more than 1e-9; a phase flag KVL other than 1 (vapour) and 2 (liquid); a
 * data set below 1 or above the host's count; a T or P that is not a finite
 * positive number; a work area outside the host's work block (KWORK < 0, or
 * KWORK + the area's length beyond the block); a parameter block outside the
 * host store. A parameter that equals the missing-value marker is refused the
 * same way, with a message naming the parameter and the component. N < 1
 * returns at once without writing anything. The vector forms evaluate each
 * element alone (Z = 1), so a component may be listed more than once there
 * and N may exceed NC (the same fluid at several pressures). A refused call
 * writes PHI(1..min(N, NC)) only, so that an N no problem can have (up to
 * INT64_MAX) is refused at once.
 *
 * Close packing. The SAFT and PC-SAFT monitors (KELD_ESSAFT, KELD_PSAFM1, KELD_SAFT01, KELD_ESPCSF,
 * KELD_PCSF01, KELD_PCSAF1 through the host's root routines, and their vector forms) never return
 * a density root at or beyond close packing, packing fraction (pi/6) rho sum x m d^3 >= 0.74048,
 * where the dispersion term gives P(V) a crossing that is no state of the fluid: the liquid is the
 * densest stable root below it, the vapour the lightest. A state whose roots all lie beyond (far
 * below the melting point) is refused, every requested output NaN and KSTAT 0, with the model's
 * infeasible-conditions message (KELD_PCSAF1: its density message of the phase).
 *
 * Each routine is also exported under a gfortran-style alias: lower case with
 * a trailing underscore (KELD_ESSLP -> keld_esslp_), the same code.
 *
 * Threads. keld creates none. Calls from several threads on one installed
 * host are safe when each call uses its own work area (its own KWORK range;
 * for the monitors whose arrays are arguments, their own scratch arrays: the
 * work vectors and pair matrices of KELD_ESSAFT at the KELD_SFTHLP positions
 * of its KWORK, W, X and OPTVEC of the segment-based monitors, the WORK of
 * KELD_PCSAF1 and KELD_PCSAF5 with its output arrays; parameter vectors,
 * tables, critical vectors and SOURCE may be the host's, shared by all calls):
 * a call keeps its state in its work area and on its stack and never reads
 * back a word other calls write; the words every call writes for the host (a
 * polymer's parameter-source flag and pseudo-critical values, the
 * Sanchez-Lacombe working copies TSTARL/PSTARL/DSTARL, the cross energies at
 * HostOffsets1 880 and KELD_ESSAFT's U0IJ/XMIJ, HostEosLog, HostErrorControl2(20),
 * HostDpdvControl(1), the elements of HostRootControl the monitors set) are
 * written with atomic stores, only when they change; missing values a monitor
 * completes in the host's words and then reads (the cubic's SRK constants, the
 * SAFT defaults) are filled once per word (under a lock, when found missing)
 * and reported by the call that filled them; each density-root conversation
 * hands the host a dP/dV cell of its own; and message lines are written and
 * printed one message at a time. The host's operations must be safe to call
 * from several threads and its root routines must keep one conversation per
 * thread (the reference host's do). Installing a host table is not
 * synchronised with calls: install it before they start.
 */
#ifndef KELD_KELD_H
#define KELD_KELD_H

#include <stdint.h>

#include "keld/export.h"
#include "keld/host.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The 27 arguments of a property monitor, in order:
 *   T, P        temperature (K), pressure (Pa)
 *   Z(N)        mole fractions of the listed components on the host's apparent basis
 *   N, IDX(N)   number of listed components and their component numbers (1..NC)
 *   KWORK       offset (>= 0) of the call's work area in the host's work block: it
 *               starts at HostStore(HostWorkOffset + KWORK); one per concurrent call
 *   KSPARE      not read
 *   KVL         phase: 1 vapour, 2 liquid
 *   KPHI, KH, KS, KG, KV   request flags
 *   KDS         parameter data set (1, 2, ...)
 *   KDIAG       diagnostic level, handed to the host's root routines and message check
 *   PHI(N), H, S, G, V            values
 *   DPHI(N), DH, DS, DG, DV       temperature derivatives
 *   KSTAT       status: set to 0 when the density root fails, otherwise untouched
 *   KOPT        option: 5 averages polymer cross parameters with segment mole fractions
 */
#define KELD_MONITOR_ARGS                                                                                   \
    const double *T, const double *P, const double *Z, const int64_t *N, const int64_t *IDX,                 \
        const int64_t *KWORK, const int64_t *KSPARE, const int64_t *KVL, const int64_t *KPHI,              \
        const int64_t *KH, const int64_t *KS, const int64_t *KG, const int64_t *KV, const int64_t *KDS,    \
        const int64_t *KDIAG, double *PHI, double *H, double *S, double *G, double *V, double *DPHI,       \
        double *DH, double *DS, double *DG, double *DV, int64_t *KSTAT, const int64_t *KOPT

/*
 * The 26 arguments of a per-component vector form: T; P(N), one pressure per
 * listed component; N; IDX(N); KWORK ... KDIAG as above; then PHI(N), H(N),
 * S(N), G(N), V(N), DPHI(N), DH(N), DS(N), DG(N), DV(N), element k belonging
 * to component IDX(k) alone (Z = 1) at P(k); KSTAT; KOPT.
 */
#define KELD_VECTOR_ARGS                                                                                    \
    const double *T, const double *P, const int64_t *N, const int64_t *IDX, const int64_t *KWORK,            \
        const int64_t *KSPARE, const int64_t *KVL, const int64_t *KPHI, const int64_t *KH, const int64_t *KS, \
        const int64_t *KG, const int64_t *KV, const int64_t *KDS, const int64_t *KDIAG, double *PHI,       \
        double *H, double *S, double *G, double *V, double *DPHI, double *DH, double *DS, double *DG,       \
        double *DV, int64_t *KSTAT, const int64_t *KOPT

/*
 * Temperature derivatives of KELD_ESSLP, KELD_ESPCSF, KELD_ESSAFT and KELD_PSAFM1 (and of their
 * vector forms) are one-sided differences: the density is solved again at T + dt, dt = -1e-4 T for
 * a liquid (KVL 2) and +1e-4 T for a vapour, and DF = (F(T + dt) - F(T))/dt for F = ln phi, H, S,
 * G, V (KELD_ESSAFT: DV analytic). The values themselves come from the model's analytic
 * derivatives at the root. The truncation error is about |dt| F''/(2 F'). Measured against a
 * Richardson-extrapolated central difference of the values (which reproduces KELD_ESSAFT's
 * analytic DV to 4e-12) for toluene and n-hexane vapours at 0.5 and 0.95 Psat, their liquids at
 * 1.05 Psat and 10 MPa and 10 % polymer solutions in them: at most 3.2e-4 relative from 0.5 to
 * 0.8 of the solvent's critical temperature, 4.2e-4 at 0.85 Tc, 7.2e-4 at 0.9 Tc and 1.7e-3 at
 * 0.95 Tc (the worst: DV of Sanchez-Lacombe toluene liquid near saturation); the smallest 4e-8.
 * Hosts rely on these numbers, so they are kept as they are.
 * KELD_ES40 differentiates analytically; the segment-based monitors and KELD_PCSAF1 return no
 * temperature derivatives above the ideal-gas exit.
 */

/* Sanchez-Lacombe lattice fluid. Work area: 10 NC + 5 NC^2 words. Temperature derivatives:
 * one-sided over 1e-4 T, DV included (above). */
KELD_API void KELD_ESSLP(KELD_MONITOR_ARGS);
KELD_API void KELD_ESSLPA(KELD_VECTOR_ARGS);
/* Completes missing Sanchez-Lacombe parameters of NDS data sets (run once before property calls). */
KELD_API void KELD_ESPSLI(const int64_t *NDS);

/* PC-SAFT (hard chain and dispersion). Work area: 18 NC + 7 NC^2 words. Temperature derivatives:
 * one-sided over 1e-4 T, DV included (above KELD_ESSLP). */
KELD_API void KELD_ESPCSF(KELD_MONITOR_ARGS);
KELD_API void KELD_ESPCSA(KELD_VECTOR_ARGS);
/* Reports missing PC-SAFT parameters of NDS data sets (run once before property calls). */
KELD_API void KELD_ESPCSI(const int64_t *NDS);

/*
 * SAFT of Huang and Radosz (hard spheres, chains, Chen-Kreglewski dispersion).
 *
 * KELD_ESSAFT takes its parameters, binary tables and work vectors as
 * arguments (51, in this order):
 *   T, P, Z(N), N, IDX(N), KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG, KSTAT  as for the 27-argument monitors
 *   CID(2 NC)      component identifiers: two 8-byte words per component, characters in the first 4
 *                  bytes of each (HostStore words, printed with 2A4)
 *   TC(NC)         critical temperatures, K; overwritten for polymers and oligomers with
 *                  318.305 + 696.86 exp(-120.876/MWN)
 *   PC2(NC)        written for polymers and oligomers: 532.0 MWN^-0.6602; not read
 *   SAFTM(NC), SAFTV(NC) (m3/kmol), SAFTU(NC) (K)  segment number, volume, energy u0/k; an entry
 *                  holding the missing-value marker becomes 3.5, 0.012, 210.0 (written back once,
 *                  atomically; the message comes from the call that wrote it)
 *   SAFTE(NC)      energy correction e/k, K, used as given
 *   U0IJ(NC,NC)    out: cross energies (1 - k_ij) sqrt(u0_i u0_j) of the listed pairs, written for
 *                  the host (atomically) and never read: the model forms them pair by pair
 *   D, V0, XM, XMD, XMD2, XMD3, DMMIX, CHAIN, DUDX   work vectors by position (N)
 *   MW(NC)         molecular weights
 *   MWN(N), X(N)   number-average molecular weights and true mole fractions, by position
 *   TK(N)          work by position: dA/dx_k
 *   XMIJ(NC,NC)    out: cross segment numbers (1 - l_ij)(m_i + m_j)/2, as U0IJ
 *   GIJ, GIJD, GIJDD (N,N)  work; on return the hard-sphere contact values of every pair and their
 *                  first and second density derivatives at the density solved at T
 *   PHI(N), H, S, G, V, DPHI(N), DH, DS, DG, DV   outputs as for the 27-argument monitors
 *   SFTKIJ, SFTLIJ (NC,NC,data sets)  k_ij on the cross energy, l_ij on the cross segment number
 * DV is analytic, (dV/dT)_P = -(dP/dT)_V / (dP/dV)_T; the other derivatives are one-sided differences
 * with the density solved again at T(1 + 1e-4) (vapour) or T(1 - 1e-4) (liquid), with the truncation
 * error stated above KELD_ESSLP (at most 3.2e-4 relative up to 0.8 Tc). All scratch is in the work
 * vectors by position, the pair matrices and on the stack: calls with their own work vectors may run
 * in parallel threads while sharing the vectors by component, U0IJ and XMIJ (the positions
 * KELD_SFTHLP gives), any N <= NC works, and the density root uses a dP/dV cell of its own
 * (HostDpdvControl is not touched). Of k_ij (l_ij) given differently in the two orders, the one of the
 * pair as listed (IDX order) is used. Messages
 * (routine "ESSA","FT"; "ESSA","FTD" at the shifted temperature): missing SAFTM/V/U class 1,
 * numbers 1-3; non-symmetric SFTKIJ/SFTLIJ class 2 number 1; infeasible conditions class 2 number 7;
 * convergence difficulties class 3 number 6. A listed component with a missing e/k is not computed:
 * message class 2 number 9 "EQUATION OF STATE MODEL ESSAFT CANNOT COMPUTE PROPERTIES:" / "SAFTE
 * (DATA SET d) MISSING FOR COMPONENT id", every requested output NaN, KSTAT 0.
 */
#define KELD_SAFT_WORK_ARGS                                                                                 \
    const double *CID, double *TC, double *PC2, double *SAFTM, double *SAFTV, double *SAFTU,                \
        const double *SAFTE, double *U0IJ, double *D, double *V0, double *XM, double *XMD, double *XMD2,   \
        double *XMD3, double *DMMIX, double *CHAIN, double *DUDX, const double *MW
#define KELD_SAFT_ARGS                                                                                      \
    const double *T, const double *P, const double *Z, const int64_t *N, const int64_t *IDX,                 \
        const int64_t *KVL, const int64_t *KPHI, const int64_t *KH, const int64_t *KS, const int64_t *KG,  \
        const int64_t *KV, const int64_t *KDS, const int64_t *KDIAG, int64_t *KSTAT, KELD_SAFT_WORK_ARGS,  \
        const double *MWN, const double *X, double *TK, double *XMIJ, double *GIJ, double *GIJD,           \
        double *GIJDD, double *PHI, double *H, double *S, double *G, double *V, double *DPHI, double *DH,   \
        double *DS, double *DG, double *DV, const double *SFTKIJ, const double *SFTLIJ
/* KELD_ESSFTA: the list of KELD_ESSAFT without Z (50 arguments); P(N), MWN(N) and the ten outputs
 * are vectors by position, element k for component IDX(k) alone at P(k); X is not read. */
#define KELD_SAFT_VECTOR_ARGS                                                                               \
    const double *T, const double *P, const int64_t *N, const int64_t *IDX, const int64_t *KVL,             \
        const int64_t *KPHI, const int64_t *KH, const int64_t *KS, const int64_t *KG, const int64_t *KV,   \
        const int64_t *KDS, const int64_t *KDIAG, int64_t *KSTAT, KELD_SAFT_WORK_ARGS, const double *MWN,  \
        const double *X, double *TK, double *XMIJ, double *GIJ, double *GIJD, double *GIJDD, double *PHI,  \
        double *H, double *S, double *G, double *V, double *DPHI, double *DH, double *DS, double *DG,      \
        double *DV, const double *SFTKIJ, const double *SFTLIJ
KELD_API void KELD_ESSAFT(KELD_SAFT_ARGS);
KELD_API void KELD_ESSFTA(KELD_SAFT_VECTOR_ARGS);

/* Completes missing SAFTM, SAFTU, SAFTV (and SAFTR of segments) of NDS data sets with approximate
 * values from the molecular weight, clears the SAFT polymer-source flags and hands the k_ij table of
 * each data set to the host's temperature-table service. */
KELD_API void KELD_ESSFTI(const int64_t *NDS);

/* HostStore positions for a host preparing KELD_ESSAFT calls (30 arguments, all outputs but KWORK;
 * KSPARE is not read). With W = HostWorkOffset + KWORK:
 *   KSAFTM, KSAFTV, KSAFTU, KSAFTE   HostOffsets1(876..879) + 1 (data set 1)
 *   KTC, KPC, KMW                    HostOffsets1(416), (326), (306) + 1
 *   KCID                             HostOffsets4(2) + 1
 *   KD ... KDUDX                     W, W + NC, ..., W + 8 NC: the nine work vectors D..DUDX
 *   KGIJ, KGIJD, KGIJDD              W + 9 NC, + NC^2, + 2 NC^2: the three pair matrices
 *   KU0IJ, KXMIJ                     HostOffsets1(880) + 1, (881) + 1
 *   KMWN, KX, KTK                    W + 9 NC + 3 NC^2, + NC, + 2 NC
 *   KSAFTR, KSFKIJ, K883             HostOffsets1(895), (882), (883) + 1
 * The work area so described holds 12 NC + 3 NC^2 words. A KWORK whose work area does not lie in the
 * host's work block (negative, past the block, up to INT64_MAX) is checked before any position is
 * formed from it: the work-vector positions (KD ... KGIJDD, KMWN, KX, KTK) are then 0, "no
 * position", and the store positions are handed out as always. */
KELD_API void KELD_SFTHLP(int64_t *KSAFTM, int64_t *KSAFTV, int64_t *KSAFTU, int64_t *KSAFTE, int64_t *KTC,
                          int64_t *KPC, int64_t *KMW, int64_t *KCID, int64_t *KD, int64_t *KV0, int64_t *KXM,
                          int64_t *KXMD, int64_t *KXMD2, int64_t *KXMD3, int64_t *KDMMIX, int64_t *KCHAIN,
                          int64_t *KDUDX, int64_t *KGIJ, int64_t *KGIJD, int64_t *KGIJDD, int64_t *KU0IJ,
                          int64_t *KXMIJ, int64_t *KMWN, int64_t *KX, int64_t *KTK, const int64_t *KWORK,
                          const int64_t *KSPARE, int64_t *KSAFTR, int64_t *KSFKIJ, int64_t *K883);

/* The same SAFT from parameters in the host store (27 arguments): SAFTM, SAFTV, SAFTU of the data
 * set, e/k and SAFTR (HostOffsets1 879, 895) of data set 1, k_ij the constant coefficient of the
 * six-coefficient table at HostOffsets1(882) for the data set; polymers from their own parameters
 * or their segments. Work area: 18 NC + 3 NC^2 words. A listed component whose SAFTM, SAFTV or
 * SAFTU is still missing (no initialisation, a polymer without segment values) is not computed:
 * message (routine "PSAF","M1", class 2 number 9, model POLYSAFT), NaN outputs, KSTAT 0.
 * Temperature derivatives: one-sided over 1e-4 T as KELD_ESSAFT's (above KELD_ESSLP), DV included
 * (not analytic here: within 2.5e-4 of KELD_ESSAFT's analytic DV on the same parameters up to
 * 0.8 Tc, 1.6e-3 at 0.95 Tc). H and S at T + dt take dã/dT from a central difference of ã over
 * +-1e-4 (T + dt) at the density found there, whose truncation error the step dt then divides: DH
 * and DS differ from KELD_ESSAFT's by 2e-5 to 2.2e-4 relative (n-hexane and polyethylene-hexane
 * liquids and vapours from 0.5 to 0.95 Tc), while the values (to 1e-15), DG and DPHI (to 1e-9)
 * are KELD_ESSAFT's. */
KELD_API void KELD_PSAFM1(KELD_MONITOR_ARGS);
KELD_API void KELD_ESSFTB(KELD_VECTOR_ARGS);

/*
 * KELD_PCSAF5: association contribution of PC-SAFT (or CPA) for one phase. Returns the reduced
 * association Helmholtz energy a = A_assoc/(nRT) per mole of molecules and, on request:
 *   AR  = rho da/drho;
 *   AR2 = rho d(rho da/drho)/drho = rho a_rho + rho^2 a_rhorho  (so a_rhorho = (AR2 - AR)/rho^2);
 *   AT  = T da/dT at constant rho and x;
 *   AX(k) = da/dx_k at constant T, rho and the other mole fractions.
 * The residual core of the associating PC-SAFT monitor calls the same routine at every density.
 *
 * Arguments ("by component": indexed by component number 1..NC; "by position": in the order of IDX;
 * matrices column-major):
 *   #  name        type            meaning
 *   1  T           real            temperature, K
 *   2  RHO         real            molar density, kmol/m3
 *   3  NCP         integer         number of listed components
 *   4  NC          integer         number of components (length of the by-component arrays)
 *   5  IDX(NCP)    integer         component numbers of the listed components
 *   6  X(NCP)      real            mole fractions, by position
 *   7  M(NCP)      real            segment numbers, by position
 *   8  SIGMA(NC)   real            segment diameters, Angstrom
 *   9  AMARK(NC)   real            association marker (own association parameter; 0 or the host's
 *                                  missing value: no self-association)
 *  10  D(NC)       real            temperature-dependent diameters, Angstrom * 0.08444643735037098
 *  11  TDD(NC)     real            T dD/dT in the same unit (read for KT; may be NULL for CPA)
 *  12  NSEG(NC)    integer         number of segment types of a polymer, 0 for any other component
 *  13  LSEG        integer         leading dimension of the segment tables (>= every NSEG)
 *  14  ISEG(LSEG,NC) integer       component numbers of each polymer's segment types
 *  15  WSEG(LSEG,NC) real          segments of each type per molecule (weights the type's sites)
 *  16  FSEG(LSEG,NC) real          segment fractions of each type (weight the packing moments
 *                                  sum x m f d^n and the species of the simplified path)
 *  17  ITYPE(NC)   integer, in/out association types 0..20; a user code > 100 is replaced by the
 *                                  type it is registered under (see below)
 *  18  BCPA(NC)    real            CPA co-volumes b_i, m3/kmol (MODEL = 1; may be NULL otherwise)
 *  19  BMIX        real            CPA mixture co-volume b = sum x_i b_i
 *  20  NV          integer         length of the association list
 *  21  IASL(NV)    integer         component numbers of the association list
 *  22  EPSA(NV,NV) real            association energies eps_ij/k, K
 *  23  VOLA(NV,NV) real            association volumes kappa_ij (CPA: beta_ij); 0 or missing: none
 *  24  ZPACK(4)    real            packing coefficients z0..z3 (zeta_n = z_n RHO)
 *  25  CRULE(NC,NC) real           CPA combining rule: an entry rounding to 1 selects
 *                                  Delta_ij = sqrt(Delta_ii Delta_jj) (may be NULL)
 *  26-29 KRHO, KRHO2, KT, KX integer  requests (bit 0): AR, AR2, AT, AX
 *  30  IOPT        integer         association option: 20 selects the simplified path: one unknown
 *                                  per species standing for two equivalent sites, plain substitution
 *                                  to a relative change of 1e-6 (TOL not read), the derivatives by the
 *                                  same substitution. For one species that leaves X within
 *                                  1e-6 (1 - X)/(2 - X) < 5e-7 of its root (measured: at most 4.95e-7
 *                                  relative, pure methanol at 200-450 K); where 1000 substitutions do
 *                                  not reach the tolerance the call fails (IFAIL 1): pure methanol
 *                                  with X below about 0.013 (dense liquid at 250 K and below)
 *  31  ISNGL       integer         1: the simplified path solves one self-associating species directly
 *  32  TOL         real            tolerance: change of ln X between iterations; relative change of
 *                                  the derivatives (1e-10 is a sound choice); not read by the
 *                                  simplified path (IOPT 20)
 *  33  METHOD      integer         0 substitution, 1 accelerated substitution, 2 Newton with fall-back
 *                                  (read only when KDIAG >= 1; at KDIAG = 0 the direct solution below)
 *  34  KDIAG       integer         diagnostic level (0 none; 1 closing lines; 2 iterations; 3, 4 more)
 *  35  LUNIT       integer         Fortran unit of the diagnostic lines (host's write_unit)
 *  36  MODEL       integer         1: CPA radial distribution function; any other value: PC-SAFT
 *  37  KSTART      integer         2: start from the site fractions in XA (a previous solution)
 *  38  A           real, out       A_assoc/(nRT)
 *  39  AR          real, out       rho da/drho (0 unless requested)
 *  40  AR2         real, out       rho a_rho + rho^2 a_rhorho (0 unless requested)
 *  41  AT          real, out       T da/dT (0 unless requested)
 *  42  AX(NCP)     real, out       da/dx_k (written when requested)
 *  43-46 DEL, DELR, DELR2, DELT (NV,NV) real, out  Delta, rho dDelta/drho, rho^2 d2Delta/drho2,
 *                                  T dDelta/dT over the association list (m3/kmol)
 *  47  MXV         integer         length of NO and ISITE
 *  48  NVAR        integer, out    number of unknown site fractions
 *  49  NO(MXV)     integer, out    position (1..NCP) of each unknown's component
 *  50  ISITE(MXV)  integer, out    site number of each unknown within its component (a polymer's
 *                                  sites numbered consecutively across its segment types)
 *  51  LXA         integer         leading dimension of XA (>= the largest site count of a component)
 *  52  XA(LXA,NCP) real, in/out    site fractions X(site, position) after the call (1 for sites that
 *                                  do not bond); the start with KSTART = 2. May be NULL.
 *  53  IFAIL       integer, out    0 converged; 1 not converged (derivatives not computed), a user
 *                                  code that could not be registered, a work area too small, or
 *                                  arguments that cannot be honoured (among them NC outside 1..10^6
 *                                  and NV outside 0..10^6, refused before any length is formed
 *                                  from them; the work-size query then answers 0)
 *  54  WORK(LWORK) real            work area
 *  55  LWORK       integer         its length; LWORK = -1 asks for the length needed, returned in
 *                                  WORK(1) (nothing else is done)
 * Site types: 1 one bipolar site; 2 (-,+); 3 (-,-,+); 4 (-,-,+,+); 5 (+,+,+,-); 6 (-); 7 (-,-); 8 (+);
 * 9 (+,+). A user code c > 100 defines a type with b bipolar, p positive and n negative sites (digits
 * 1bpn for c >= 1000, hpn below, at most 10 sites); eleven codes can be registered in the life of the
 * library (types 10 to 20). A listed species whose type is not defined (a twelfth code) fails the call.
 * Diagnostic lines go to unit LUNIT through the host's write_unit operation, one record at a time as
 * its FORMAT wrote it (as a Fortran WRITE ends it: the blanks a G13.6 value leaves after its digits
 * are kept, no padding is added).
 * Solution: at KDIAG >= 1 the iterative solvers run as METHOD says, with their diagnostic lines. At
 * KDIAG = 0 (no lines, METHOD not read) the site fractions are solved directly: Newton's method on the
 * unknowns grouped by equal equations, and every derivative from one factorisation of the Jacobian at
 * the solution. The results are those the iterative solvers converge to, to machine precision (within
 * TOL of the iterative results); should the direct solution not converge, the iterative solvers take
 * over and IFAIL is theirs.
 */
#define KELD_PCSAF5_ARGS                                                                                    \
    const double *T, const double *RHO, const int64_t *NCP, const int64_t *NC, const int64_t *IDX,            \
        const double *X, const double *M, const double *SIGMA, const double *AMARK, const double *D,       \
        const double *TDD, const int64_t *NSEG, const int64_t *LSEG, const int64_t *ISEG, const double *WSEG, \
        const double *FSEG, int64_t *ITYPE, const double *BCPA, const double *BMIX, const int64_t *NV,      \
        const int64_t *IASL, const double *EPSA, const double *VOLA, const double *ZPACK, const double *CRULE, \
        const int64_t *KRHO, const int64_t *KRHO2, const int64_t *KT, const int64_t *KX, const int64_t *IOPT, \
        const int64_t *ISNGL, const double *TOL, const int64_t *METHOD, const int64_t *KDIAG,                \
        const int64_t *LUNIT, const int64_t *MODEL, const int64_t *KSTART, double *A, double *AR, double *AR2, \
        double *AT, double *AX, double *DEL, double *DELR, double *DELR2, double *DELT, const int64_t *MXV,  \
        int64_t *NVAR, int64_t *NO, int64_t *ISITE, const int64_t *LXA, double *XA, int64_t *IFAIL,         \
        double *WORK, const int64_t *LWORK
KELD_API void KELD_PCSAF5(KELD_PCSAF5_ARGS);
KELD_API void keld_pcsaf5_(KELD_PCSAF5_ARGS);

KELD_API void keld_esslp_(KELD_MONITOR_ARGS);
KELD_API void keld_esslpa_(KELD_VECTOR_ARGS);
KELD_API void keld_espsli_(const int64_t *NDS);
KELD_API void keld_espcsf_(KELD_MONITOR_ARGS);
KELD_API void keld_espcsa_(KELD_VECTOR_ARGS);
KELD_API void keld_espcsi_(const int64_t *NDS);
KELD_API void keld_essaft_(KELD_SAFT_ARGS);
KELD_API void keld_essfta_(KELD_SAFT_VECTOR_ARGS);
KELD_API void keld_essfti_(const int64_t *NDS);
KELD_API void keld_sfthlp_(int64_t *KSAFTM, int64_t *KSAFTV, int64_t *KSAFTU, int64_t *KSAFTE, int64_t *KTC,
                           int64_t *KPC, int64_t *KMW, int64_t *KCID, int64_t *KD, int64_t *KV0, int64_t *KXM,
                           int64_t *KXMD, int64_t *KXMD2, int64_t *KXMD3, int64_t *KDMMIX, int64_t *KCHAIN,
                           int64_t *KDUDX, int64_t *KGIJ, int64_t *KGIJD, int64_t *KGIJDD, int64_t *KU0IJ,
                           int64_t *KXMIJ, int64_t *KMWN, int64_t *KX, int64_t *KTK, const int64_t *KWORK,
                           const int64_t *KSPARE, int64_t *KSAFTR, int64_t *KSFKIJ, int64_t *K883);
KELD_API void keld_psafm1_(KELD_MONITOR_ARGS);
KELD_API void keld_essftb_(KELD_VECTOR_ARGS);


/*
 * Cubic equation of state of the Soave-Redlich-Kwong form (u = 0, w = 1)
 * whose mixture constants come from a mixing rule with an excess-Gibbs model.
 *
 * The 30 arguments of KELD_ES40:
 *   T, P, Z(N), N, IDX(N), KWORK, KSPARE, KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG   as above
 *   KEOSOPT   alpha function: 2 takes the Mathias-Copeman constants of a component
 *             whose three-word record holds them (its acentric factor may then stay
 *             missing); any other value Soave's alpha from the acentric factor
 *   KMODEL    excess-Gibbs model 1..7 of rules 2, 3, 4 (table below); not read by rule 1
 *   KRULE     2 Wong-Sandler, 3 MHV1, 4 MHV2; any other value van der Waals one-fluid
 *   PHI(N), H, S, G, V, DPHI(N), DH, DS, DG, DV   outputs as above; the temperature
 *             derivatives are analytic (at constant P and composition)
 *   KRET      out: 1 when the call was computed and the density root converged,
 *             0 otherwise (missing activity-model parameters, a model index outside
 *             1..7 under rules 2-4, arguments or host blocks it cannot use: all
 *             requested outputs NaN and a message; a failed density root: outputs
 *             at the last volume)
 *   KPASS     not read (the host's own word, passed through)
 *
 * | KMODEL | model          | binary parameters read (store names, per data set)          |
 * |--------|----------------|--------------------------------------------------------------|
 * | 1      | ideal solution | none                                                         |
 * | 2      | Redlich-Kister | E_ij = GEAIJ + GEBIJ/T = ln gamma_i at infinite dilution in j |
 * | 3      | Wilson         | Lambda_ij = (b_j/b_i) exp(E_ij)                              |
 * | 4      | Van Laar       | A_ij = E_ij (pairwise Van Laar terms)                        |
 * | 5      | NRTL           | tau_ij = E_ij, G_ij = exp(-GEALF_ij tau_ij)                  |
 * | 6      | UNIQUAC        | tau_ij = exp(E_ij); UNIQR, UNIQQ per component              |
 * | 7      | UNIFAC         | the host's group table (keld/host.h), original UNIFAC        |
 * Every ordered pair (i, j) of listed components needs GEAIJ or GEBIJ (the other
 * counts as 0); a pair with neither, NRTL without GEALF(i, j) or (j, i), UNIQUAC
 * without r, q, or UNIFAC without groups refuses the call. A polymer or
 * oligomer counts its constants per unit of its MW: b and UNIQUAC r, q grow as
 * r = MWN/MW, a as r^2; missing r, q or groups of a polymer are summed over its
 * segments (MWN w_s/MW_s units of segment s).
 *
 * Pure-component store arrays (HostOffsets1 element, default when missing):
 *   TCRKS 424 (507.4 K, message 1), PCRKS 332 (2968820 Pa, message 2),
 *   OMGRKS 322 (0.296, message 3), check marker 627, MW 306;
 *   the per-component word 144 (default 0.110549) and the pair word 146
 *   (default 2740830) are completed but not read: host words;
 *   the three-word record 516 holds the Mathias-Copeman c1, c2, c3.
 * Binary k_ij (0 when not given): RKSKIJ (van der Waals rule), RKSWSK (Wong-Sandler).
 * Work area: 34 NC + 6 NC^2 + NS (4 NC + 16) + 3 NS^2 + 8 words, NS = UNIFAC
 * subgroups of the host's group table (0 without one).
 */
#define KELD_CUBIC_MONITOR_ARGS                                                                             \
    const double *T, const double *P, const double *Z, const int64_t *N, const int64_t *IDX,                 \
        const int64_t *KWORK, const int64_t *KSPARE, const int64_t *KVL, const int64_t *KPHI,              \
        const int64_t *KH, const int64_t *KS, const int64_t *KG, const int64_t *KV, const int64_t *KDS,    \
        const int64_t *KDIAG, const int64_t *KEOSOPT, const int64_t *KMODEL, const int64_t *KRULE,         \
        double *PHI, double *H, double *S, double *G, double *V, double *DPHI, double *DH, double *DS,     \
        double *DG, double *DV, int64_t *KRET, const int64_t *KPASS

/* The 29 arguments of KELD_ES40A: T; P(N); N; IDX(N); KWORK ... KDIAG, KEOSOPT;
 * the ten outputs as arrays (N); KMODEL, KRULE, KRET, KPASS. */
#define KELD_CUBIC_VECTOR_ARGS                                                                              \
    const double *T, const double *P, const int64_t *N, const int64_t *IDX, const int64_t *KWORK,            \
        const int64_t *KSPARE, const int64_t *KVL, const int64_t *KPHI, const int64_t *KH, const int64_t *KS, \
        const int64_t *KG, const int64_t *KV, const int64_t *KDS, const int64_t *KDIAG,                    \
        const int64_t *KEOSOPT, double *PHI, double *H, double *S, double *G, double *V, double *DPHI,     \
        double *DH, double *DS, double *DG, double *DV, const int64_t *KMODEL, const int64_t *KRULE,       \
        int64_t *KRET, const int64_t *KPASS

KELD_API void KELD_ES40(KELD_CUBIC_MONITOR_ARGS);
KELD_API void KELD_ES40A(KELD_CUBIC_VECTOR_ARGS);
KELD_API void keld_es40_(KELD_CUBIC_MONITOR_ARGS);
KELD_API void keld_es40a_(KELD_CUBIC_VECTOR_ARGS);

/*
 * Segment-based monitors: PC-SAFT (KELD_PCSF01), SAFT (KELD_SAFT01) and
 * Sanchez-Lacombe (KELD_POSL01), each with a per-component vector form, for
 * hosts that keep polymers as segment compositions. Parameters, the
 * temperature-dependent binary tables, molecular weights and segment
 * compositions are arguments (nothing is read from HostStore). A polymer
 * (polymer flag 1; Sanchez-Lacombe: non-zero) whose parameters are missing
 * takes them from its segments, and its PolymerParamSource entry becomes 1.0
 * (2.0 with its own); cross energies of a segment-built polymer without a
 * binary parameter are averaged segment by segment.
 *
 * Values only: PHI, H, S, G, V are written where their flag is 1 or 3; the
 * derivative slots DPHI, DH, DS, DG, DV are written by the ideal-gas exit
 * alone (N = 1 below 5.5e-5 Pa), never by the model. ∂ã/∂T in H and S carries
 * the temperature dependence of the cross energies (PC-SAFT, SAFT: dk_ij/dT
 * from the table in mode 2, that is when KH >= 1 or KS >= 1); the
 * Sanchez-Lacombe H and S hold k_ij and eta_ij at their values at T, as
 * KELD_ESSLP does.
 *
 * Arguments of KELD_PCSF01 (54):
 *   1-5    T, P, Z(N), N, IDX(N)
 *   6      W: real work array, cleared on entry: (5 NC + 25) NC + 1 words
 *   7      not read
 *   8-15   KVL, KPHI, KH, KS, KG, KV, KDS, KDIAG
 *   16-25  PHI(N), H, S, G, V, DPHI(N), DH, DS, DG, DV
 *   26     KSTAT: 0 when the density root fails or the call is refused
 *   27     KOPT: 5 segment mole fractions, otherwise weight fractions
 *   28     MW(NC) by component
 *   29     TC(NC): critical temperatures, K, copied into W (block 25 below);
 *          a polymer's pseudo-critical value replaces its copy
 *   30     PC(NC): critical-pressure entries, copied into W (block 27); a
 *          polymer's 532 MWN^-0.6602 replaces its copy
 *   31-34  PCSFTM, PCSFTV (A), PCSFTU (K), PCSFTR (per kg/kmol), by component
 *   35     KIJTAB: six coefficients per pair (pair (i, j) at 6((j-1) NC + i - 1)),
 *          evaluated by the host's PolyBinaryTable4
 *   36     SOURCE(NC): PolymerParamSource, in/out (1.0 averaged, 2.0 own for
 *          polymers, written atomically and never read back, so that calls may
 *          share it; other entries read as given, 0 for an ordinary component)
 *   37     NC
 *   38, 39 NS and SEG(NS): component numbers of the segment types (1..NC)
 *   40     segment mole fractions, NC x NS: polymer P, segment s at (s-1) NC + P
 *   41     POLY(NC): polymer flag, 1 = polymer
 *   42     KIJWORDS: length of KIJTAB in words, at least 6 NC^2 (also handed
 *          to PolyBinaryTable4, which reads no further)
 *   43, 44 IOPT and the component IOPTC it names
 *   45     OPTVEC(N), out for IOPT = 1: r of IOPTC at its position, m/MWN elsewhere
 *   46     OPTFAC (IOPT = 3)
 *   47     NWORK: length of W in words, at least (5 NC + 25) NC + 1
 *   48, 49 not read (the host's own words)
 *   50     OPTOUT, out: OPTFAC OPTVAL(i)/MWN(i) at the position i of IOPTC for
 *          IOPT = 3 and KPHI >= 1; 0 otherwise
 *   51     X(N), out: true mole fractions (PolyVolumeApparentToTrue)
 *   52     MWN(N) by position
 *   53     OPTVAL(N) (IOPT = 3)
 *   54     segment weight fractions, NC x NS, as argument 40
 * KELD_SAFT01 (55): arguments 1-34 as above with 31-34 SAFTM, SAFTV (m3/kmol),
 *   SAFTU (K), SAFTR; 35 SAFTE: e/k by component (K; KELD_SETEPS fills it);
 *   36-55 are arguments 35-54 above.
 * KELD_POSL01 (53): arguments 1-28 as above; 29-31 T* (K), P* (Pa), rho*
 *   (kg/m3) by component; 32, 33 the k_ij and eta_ij tables; 34 SOURCE; 35 NC;
 *   36, 37 NS, SEG; 38 segment mole fractions; 39 POLY (non-zero = polymer);
 *   40, 41 the words of the two tables; 42, 43 IOPT, IOPTC; 44 OPTVEC (r/MWN
 *   at every position); 45 OPTFAC; 46 NWORK; 47, 48 not read; 49 OPTOUT;
 *   50 X; 51 MWN; 52 OPTVAL; 53 segment weight fractions. W(1..NC) and
 *   W(NC+1..2NC) receive T* and P*.
 * A call that cannot be honoured (N or a component number outside 1..NC, T or
 * P not a positive number, NWORK or a table's words below its minimum, a
 * segment number outside 1..NC or NS outside 0..NC, a null array the call
 * needs, a non-positive MW or MWN, the host without PolyVolumeApparentToTrue
 * or PolyBinaryTable4) reads and writes nothing beyond its checks: every
 * requested output (derivative slots included), OPTOUT (and OPTVEC for
 * IOPT = 1) become NaN and KSTAT 0. So does a call with a parameter still
 * missing after the segment averages, with the message
 *   EQUATION OF STATE MODEL POLYPCSF HAS MISSING PARAMETERS:
 *   PCSFTV (DATA SET  1) MISSING FOR COMPONENT <id>
 * (routine "PCSF","01" / "SAFT","01" / "POSL","01", check class 2, number 2;
 * models POLYPCSF, POLYSAFT, POLYSL; parameter names as the stored families:
 * PCSFTM/V/U/R, SAFTM/V/U/R/E, SLTSTR/SLPSTR/SLRSTR).
 *
 * Work array of KELD_PCSF01: the blocks of KELD_PCSFWK (positions from 1)
 *   | KELD_PCSFWK arg | position                 | length | content                           |
 *   | 25              | 1                        | NC     | copy of TC (argument 29)          |
 *   | 27              | NC + 1                   | NC     | copy of PC (argument 30)          |
 *   | 28, 29, 30, 31  | 2NC + 1 ... 5NC + 1      | NC     | m, sigma, eps/k, r in use, by comp.|
 *   | 9 ... 15        | 6NC + 1 ... 12NC + 1     | NC     | d, m, m d, m d^2, m d^3, chain    |
 *   |                 |                          |        | term, dã/dx, by position          |
 *   | 16              | 13NC + 1                 | NC     | PolymerParamSource in use (the    |
 *   |                 |                          |        | call's; SOURCE is only written)   |
 *   | 17              | 14NC + 1                 | NC     | not used                          |
 *   | 18, 19          | 15NC + 1, 15NC + 1 + NC^2 | NC^2  | k_ij at T, dk_ij/dT               |
 *   | 20              | 15NC + 1 + 2NC^2         | NC^2   | cross energies eps_ij/k           |
 *   | 24, 22, 26      | 15NC + 1 + 3NC^2 ...     | NC     | not used                          |
 *   | 34              | 18NC + 1 + 3NC^2         | NC^2   | d(eps_ij/k)/dT                    |
 *   | 35, 36, 21, 5   | 18NC + 1 + 4NC^2 ...     |        | not used; 6: first position after |
 * Every used block ends by 18 NC + 4 NC^2 <= (5 NC + 25) NC + 1.
 * Work array of KELD_SAFT01 (offsets from W(1), by component unless said):
 *   0 TC copy, NC PC copy, 2NC m, 3NC v00, 4NC u0/k, 5NC r (in use);
 *   6NC ... 15NC by position: d, v0, m, m d, m d^2, m d^3, dm_mix/dx, chain
 *   term, d(u/kT)/dx, dã/dx; 16NC k_ij, 16NC + NC^2 dk_ij/dT, + 2NC^2 u0_ij/k,
 *   + 3NC^2 d(u0_ij/k)/dT (NC^2 each); 16NC + 4NC^2 PolymerParamSource in use.
 * Work array of KELD_POSL01: 0 T*, NC P*, 2NC rho* in use; 3NC r, 4NC v*,
 *   5NC eps* (J/kmol) by component; 6NC composition terms by position;
 *   7NC k_ij, 7NC + NC^2 eta_ij, + 2NC^2 the tables' temperature derivatives
 *   (dk_ij/dT, then deta_ij/dT: not used by the model), + 3NC^2 eps*_ij,
 *   + 4NC^2 v*_ij; 7NC + 5NC^2 PolymerParamSource in use.
 */
#define KELD_SEGMENT_CALL_ARGS                                                                                  \
    const double *T, const double *P, const double *Z, const int64_t *N, const int64_t *IDX, double *W,         \
        const int64_t *KSPARE, const int64_t *KVL, const int64_t *KPHI, const int64_t *KH, const int64_t *KS, \
        const int64_t *KG, const int64_t *KV, const int64_t *KDS, const int64_t *KDIAG, double *PHI, double *H, \
        double *S, double *G, double *V, double *DPHI, double *DH, double *DS, double *DG, double *DV,           \
        int64_t *KSTAT, const int64_t *KOPT, const double *MW
#define KELD_SEGMENT_TAIL_ARGS                                                                                  \
    const int64_t *NC, const int64_t *NS, const int64_t *SEG, const double *SEGMOL, const int64_t *POLY
#define KELD_SEGMENT_OPTION_ARGS                                                                                \
    const int64_t *IOPT, const int64_t *IOPTC, double *OPTVEC, const double *OPTFAC, const int64_t *NWORK,      \
        const int64_t *KPASS1, const int64_t *KPASS2, double *OPTOUT, double *X, const double *MWN,             \
        const double *OPTVAL, const double *SEGWT
/* The 23 arguments that open a vector form: T, P(N), N, IDX(N), W ... KDIAG, ten output slots. */
#define KELD_SEGMENT_VECTOR_HEAD_ARGS                                                                           \
    const double *T, const double *P, const int64_t *N, const int64_t *IDX, double *W, const int64_t *KSPARE,   \
        const int64_t *KVL, const int64_t *KPHI, const int64_t *KH, const int64_t *KS, const int64_t *KG,      \
        const int64_t *KV, const int64_t *KDS, const int64_t *KDIAG, double *PHI, double *H, double *S,         \
        double *G, double *V, double *DPHI, double *DH, double *DS, double *DG, double *DV, int64_t *KSTAT,     \
        const int64_t *KOPT, const double *MW

#define KELD_PCSF01_ARGS                                                                                        \
    KELD_SEGMENT_CALL_ARGS, const double *TC, const double *PC, const double *PCSFTM, const double *PCSFTV,      \
        const double *PCSFTU, const double *PCSFTR, const double *KIJTAB, double *SOURCE, KELD_SEGMENT_TAIL_ARGS, \
        const int64_t *KIJWORDS, KELD_SEGMENT_OPTION_ARGS
/* KELD_PCSF00 (45): T, P(N), N, IDX(N), W ... KDIAG, PHI(N), H(N), S(N), G(N),
 * V(N) and five derivative slots (not used), KSTAT ... KIJWORDS as in
 * KELD_PCSF01, OPTVEC, MWN(N), OPTVAL(N), segment weight fractions. Each
 * position i is KELD_PCSF01 for IDX(i) alone at P(i) with option 0; W is taken
 * to hold (5 NC + 25) NC + 1 words. */
#define KELD_PCSF00_ARGS                                                                                        \
    KELD_SEGMENT_VECTOR_HEAD_ARGS, const double *TC, const double *PC, const double *PCSFTM,                    \
        const double *PCSFTV, const double *PCSFTU, const double *PCSFTR, const double *KIJTAB, double *SOURCE,  \
        KELD_SEGMENT_TAIL_ARGS, const int64_t *KIJWORDS, double *OPTVEC, const double *MWN, const double *OPTVAL, \
        const double *SEGWT
#define KELD_SAFT01_ARGS                                                                                        \
    KELD_SEGMENT_CALL_ARGS, const double *TC, const double *PC, const double *SAFTM, const double *SAFTV,        \
        const double *SAFTU, const double *SAFTR, const double *SAFTE, const double *KIJTAB, double *SOURCE,     \
        KELD_SEGMENT_TAIL_ARGS, const int64_t *KIJWORDS, KELD_SEGMENT_OPTION_ARGS
/* KELD_SAFT00 (46): the list of KELD_PCSF00 with SAFTE after SAFTR. */
#define KELD_SAFT00_ARGS                                                                                        \
    KELD_SEGMENT_VECTOR_HEAD_ARGS, const double *TC, const double *PC, const double *SAFTM, const double *SAFTV, \
        const double *SAFTU, const double *SAFTR, const double *SAFTE, const double *KIJTAB, double *SOURCE,     \
        KELD_SEGMENT_TAIL_ARGS, const int64_t *KIJWORDS, double *OPTVEC, const double *MWN, const double *OPTVAL, \
        const double *SEGWT
#define KELD_POSL01_ARGS                                                                                        \
    KELD_SEGMENT_CALL_ARGS, const double *TSTAR, const double *PSTAR, const double *RSTAR, const double *KIJTAB, \
        const double *ETATAB, double *SOURCE, KELD_SEGMENT_TAIL_ARGS, const int64_t *KIJWORDS,                   \
        const int64_t *ETAWORDS, KELD_SEGMENT_OPTION_ARGS
/* KELD_POSL00 (44): T, P(N), N, IDX(N), W ... KDIAG, the ten output slots,
 * KSTAT ... ETAWORDS as in KELD_POSL01, OPTVEC, MWN(N), OPTVAL(N), segment
 * weight fractions. */
#define KELD_POSL00_ARGS                                                                                        \
    KELD_SEGMENT_VECTOR_HEAD_ARGS, const double *TSTAR, const double *PSTAR, const double *RSTAR,               \
        const double *KIJTAB, const double *ETATAB, double *SOURCE, KELD_SEGMENT_TAIL_ARGS,                      \
        const int64_t *KIJWORDS, const int64_t *ETAWORDS, double *OPTVEC, const double *MWN,                    \
        const double *OPTVAL, const double *SEGWT

KELD_API void KELD_PCSF01(KELD_PCSF01_ARGS);
KELD_API void KELD_PCSF00(KELD_PCSF00_ARGS);
KELD_API void KELD_SAFT01(KELD_SAFT01_ARGS);
KELD_API void KELD_SAFT00(KELD_SAFT00_ARGS);
KELD_API void KELD_POSL01(KELD_POSL01_ARGS);
KELD_API void KELD_POSL00(KELD_POSL00_ARGS);

/* Positions (from 1) of the blocks of a KELD_PCSF01 work array for NC
 * components (argument 37, in); arguments 1-4, 7, 8, 23, 32 and 33 are not
 * used. K25 = 1; K27..K31 = NC + 1 ... 5 NC + 1; K9 + t = (6 + t) NC + 1
 * (t = 0..9, K18 starts an NC^2 block); K19, K20 = 15 NC + 1 + NC^2, + 2 NC^2;
 * K24, K22, K26 = 15 NC + 1 + 3 NC^2, 16 NC + ..., 17 NC + ...; K34, K35, K36 =
 * 18 NC + 1 + 3 NC^2, + 4 NC^2, + 5 NC^2; K21 = 18 NC + 1 + 6 NC^2;
 * K5 = 18 NC + 1 + 7 NC^2; K6 = 19 NC + 1 + 7 NC^2, the first position after.
 * What the monitor keeps in each block: the work-array table above. */
#define KELD_PCSFWK_ARGS                                                                                        \
    int64_t *K1, int64_t *K2, int64_t *K3, int64_t *K4, int64_t *K5, int64_t *K6, int64_t *K7, int64_t *K8,     \
        int64_t *K9, int64_t *K10, int64_t *K11, int64_t *K12, int64_t *K13, int64_t *K14, int64_t *K15,        \
        int64_t *K16, int64_t *K17, int64_t *K18, int64_t *K19, int64_t *K20, int64_t *K21, int64_t *K22,       \
        int64_t *K23, int64_t *K24, int64_t *K25, int64_t *K26, int64_t *K27, int64_t *K28, int64_t *K29,       \
        int64_t *K30, int64_t *K31, int64_t *K32, int64_t *K33, int64_t *K34, int64_t *K35, int64_t *K36,       \
        const int64_t *NC
KELD_API void KELD_PCSFWK(KELD_PCSFWK_ARGS);

/* SAFT energy correction e/k (K) of the N listed components from their
 * formula words (the first 8 characters of the formula, at
 * HostStore(HostOffsets4(1) + 3(k - 1) + 1), blank-padded): "AR" 0; "H3N",
 * "H2O", "CH4O" 1; "N2" 3; "CO" 4.2; "CL2" 18; "CS2" 38; "CO2" 40; any other
 * word 10 (the comparison is exact: "co2" gets 10). EPS(NC) is by component;
 * entries of components not listed are left as they are. KSPARE is not read. */
KELD_API void KELD_SETEPS(const int64_t *N, const int64_t *IDX, const int64_t *KSPARE, double *EPS);

KELD_API void keld_pcsf01_(KELD_PCSF01_ARGS);
KELD_API void keld_pcsf00_(KELD_PCSF00_ARGS);
KELD_API void keld_saft01_(KELD_SAFT01_ARGS);
KELD_API void keld_saft00_(KELD_SAFT00_ARGS);
KELD_API void keld_posl01_(KELD_POSL01_ARGS);
KELD_API void keld_posl00_(KELD_POSL00_ARGS);
KELD_API void keld_pcsfwk_(KELD_PCSFWK_ARGS);
KELD_API void keld_seteps_(const int64_t *N, const int64_t *IDX, const int64_t *KSPARE, double *EPS);

/*
 * PC-SAFT with association and a dipolar term: KELD_PCSAF1 (57 arguments) and its
 * vector form over pure-component points KELD_PCSAF0 (56). The monitor reads no
 * parameter from HostStore: every parameter array comes with the call, indexed by
 * component number 1..NC ("by component"); NC-by-NC matrices column-major.
 *
 *  #  name          type, direction    meaning
 *  1  T             real               temperature, K
 *  2  P             real               pressure, Pa
 *  3  N             integer            number of listed components
 *  4  NC            integer            number of components (length of the by-component arrays)
 *  5  KVL           integer            phase: 1 vapour, 2 liquid
 *  6-10 KPHI, KH, KS, KG, KV           request flags (values only; see below)
 * 11  KDIAG         integer            diagnostic level (host's message check, root routines,
 *                                      association solver)
 * 12  KOPT(3)       integer            option vector, below
 * 13  KSTAT         integer, out       status word, set on every call: 1 computed (the density
 *                                      solves P(rho) = P); 0 otherwise: refused (requested values
 *                                      NaN and a message: unusable arguments, a missing parameter,
 *                                      a work area too small), association failure (outputs NOT
 *                                      written, message), or a density that does not solve
 *                                      P(rho) = P (results at that density)
 * 14  IDX(N)        integer            component numbers of the listed components
 * 15  Z(N)          real               mole fractions on the host's apparent basis
 * 16  MW(NC)        real               molecular weights, kg/kmol (a segment component: per unit)
 * 17  TC(NC)        real               critical temperatures, K (start of the host's root search;
 *                                      not written: a polymer's estimate is kept in the work area)
 * 18  PC(NC)        real               critical pressures, Pa (copied into the work area)
 * 19  KDS           integer            data set the arrays come from (named in messages only)
 * 20  XM(NC)        real               segment number m (PCSFTM)
 * 21  SIG(NC)       real               segment diameter sigma, Angstrom (PCSFTV)
 * 22  EPK(NC)       real               segment energy eps/k, K (PCSFTU)
 * 23  ITYPE(NC)     integer            association site type: 0 none, 1..9, a user code > 100
 *                                      (the types of KELD_PCSAF5; 2 = 2B, 3 = 3B, 4 = 4C) (PCSATY)
 * 24  EPSAB(NC,NC)  real               association energy eps^AB/k, K: (i,i) own, (i,j) cross (PCSAEP,
 *                                      PCSAEX)
 * 25  KAPAB(NC,NC)  real               association volume kappa^AB: (i,i) own (0 or missing: the
 *                                      component does not self-associate), (i,j) cross (PCSAKP,
 *                                      PCSAKX). A cross pair not given takes the rules of Wolbach and
 *                                      Sandler when both own values are set: eps_ij = (eps_i + eps_j)/2,
 *                                      kappa_ij = sqrt(kappa_i kappa_j) (sqrt(sigma_i sigma_j) /
 *                                      ((sigma_i + sigma_j)/2))^3; otherwise the pair does not bond.
 * 26  DIPM(NC)      real               dipole moment, Debye (PCSAMU)
 * 27  XPOL(NC)      real               fraction of the segments that carry the dipole (PCSAXP); a
 *                                      component with DIPM or XPOL 0 or missing has no dipole
 * 28-32 PHI(N), H, S, G, V             values (the host's basis)
 * 33-37 DPHI(N), DH, DS, DG, DV        temperature derivatives: written only by the ideal-gas exit
 * 38  NSEG(NC)      integer            number of segment types: 0 for a molecule described by its
 *                                      own parameters, >= 1 for a polymer described by its segments
 *                                      (may be NULL: no such polymer)
 * 39  LSEG          integer            leading dimension of the segment tables (>= every NSEG)
 * 40  ISEG(LSEG,NC) integer            segment component of each type
 * 41  WSEG(LSEG,NC) real               kg of each segment type per kmol of polymer (sum = MWN)
 * 42  KIJC(6,NC,NC) real               coefficients of k_ij(T) (PolyBinaryKij; PCSKIJ)
 * 43  LIJC(4,NC,NC) real               coefficients of l_ij(T) (PolyBinaryKij; PCSLIJ)
 * 44  ATOL          real               association tolerance (<= 0: 1e-10)
 * 45  AMETH         integer            association solver: 0 substitution, 1 accelerated, 2 Newton
 *                                      (read at KDIAG >= 1)
 * 46  LUNIT         integer            Fortran unit of the association solver's diagnostic lines
 * 47  RHO           real, in/out       molar density of the phase on the true basis, kmol/m3:
 *                                      written with the root; on entry the density to evaluate at
 *                                      when the host's evaluate-only flag (bit 0 of HostEosLog(25))
 *                                      is set, otherwise (when positive) a start offered to the
 *                                      host's root search (the last root of the phase); 0: none
 * 48  LWORK         integer            length of WORK; -1 asks for the length needed, returned in
 *                                      WORK(1) (nothing else is done)
 * 49  WORK(LWORK)   real               work area: at least 13 + 39 NC + 16 NC^2 + 7 NC L + 2 L^2
 *                                      words (L = max(NC, 4)); more only for problems with many
 *                                      polymer segment types, or association problems larger than the
 *                                      monitor's own scratch of 3072 words (LWORK = -1 tells); cleared
 *                                      at every call
 * 50-57             any                not read or written (the caller's own words; may be NULL)
 * The names in parentheses are those of the reference host's parameter store and of case files.
 *
 * Option vector KOPT: element 2 = 10 selects the monitor's own density search (a scan in the
 * packing fraction, then Brent's method) instead of the host's root routines; element 3 = 1 turns
 * association and dipoles off, = 20 selects the simplified association path (substitution to a
 * relative change of 1e-6 whatever ATOL says: KELD_PCSAF5, argument 30), = 11 recomputes S as
 * (H - G)/T after the basis conversion. Element 1 has no effect.
 *
 * Polymers described by their segments (NSEG >= 1): MWN = sum_s WSEG(s); the units of type s per
 * molecule N_s = WSEG(s)/MW(ISEG(s)) weigh the sites of the type; n_s = N_s XM(ISEG(s)) are its model
 * segments and f_s = n_s / sum n the segment fractions that weigh the packing moments and the
 * dispersion sums (which run over the segment types, with their eps, k_ij and l_ij); m of the polymer
 * is XM(polymer) when given, else sum n_s. The chain term is x (1 - m) ln g_s for one segment type and
 * -x sum_s (n_s - 1) ln g_s for a copolymer. A segment component has its own MW, XM, SIG, EPK and
 * association and dipole data; a polymer with NSEG = 0 is one molecule with its own parameters.
 * The true mole fraction of such a polymer is Z MW/MWN, renormalised.
 *
 * Binary parameters: eps_ij = (1 - k_ij) sqrt(eps_i eps_j) and the dispersion pair diameter
 * sigma_ij = (sigma_i + sigma_j)/2 (1 - l_ij), both from the host's PolyBinaryKij (the reference
 * host: k = a + b/Tr + c ln Tr + d Tr + e Tr^2, Tr = T/f, from (a, b, c, d, e, f), f = 298.15 K when
 * not positive; l the same with four coefficients (a, b, c, d) and Tr = T/298.15 K), with their
 * temperature derivatives from PolyBinaryKijDeriv. Without those host operations the constants
 * (first coefficients) are used.
 *
 * Dipolar term (Jog and Chapman): A2 = -(2 pi/9) S2 J2(eta), A3 = (5 pi^2/162) S3 J3(eta),
 * A = A2/(1 - A3/A2); weights w = x m f x_p over molecules and segment types, mu in Debye.
 *
 * Request flags: a value is computed for flags 1 and 3; a flag of 2 asks for nothing above the
 * ideal-gas exit, and no temperature derivative is returned there (the reference host's tools say
 * so). N = 1 below 5.5e-5 Pa takes the ideal-gas exit (values and derivatives). On the host's basis
 * H, S, G and V are the true-basis values times F = sum_k Z_k MW_k/MWN_k, with
 * G = R T (sum_k x_k ln phi_k + ln(P/P_ref)) over true mole fractions x and true-basis ln phi, so
 * that G = H - T S holds for polymer solutions too; PHI(k) is ln phi_k + ln(x_k/Z_k).
 *
 * KELD_PCSAF0: the list of KELD_PCSAF1 without Z; P(NPT) one pressure per point, N = NPT points,
 * IDX(NPT) the component of each point, the outputs PHI, H, S, G, V arrays (NPT) with element k of
 * the pure component IDX(k) at P(k) (not written when that point's association failed), the
 * derivative slots not written, RHO(NPT) one density per point; KSTAT = 1 when every point was
 * computed.
 */
#define KELD_PCSAF1_ARGS                                                                                    \
    const double *T, const double *P, const int64_t *N, const int64_t *NC, const int64_t *KVL,                \
        const int64_t *KPHI, const int64_t *KH, const int64_t *KS, const int64_t *KG, const int64_t *KV,     \
        const int64_t *KDIAG, const int64_t *KOPT, int64_t *KSTAT, const int64_t *IDX, const double *Z,      \
        const double *MW, const double *TC, const double *PC, const int64_t *KDS, const double *XM,          \
        const double *SIG, const double *EPK, const int64_t *ITYPE, const double *EPSAB, const double *KAPAB, \
        const double *DIPM, const double *XPOL, double *PHI, double *H, double *S, double *G, double *V,    \
        double *DPHI, double *DH, double *DS, double *DG, double *DV, const int64_t *NSEG, const int64_t *LSEG, \
        const int64_t *ISEG, const double *WSEG, const double *KIJC, const double *LIJC, const double *ATOL, \
        const int64_t *AMETH, const int64_t *LUNIT, double *RHO, const int64_t *LWORK, double *WORK,         \
        const void *SPARE1, const void *SPARE2, const void *SPARE3, const void *SPARE4, const void *SPARE5,  \
        const void *SPARE6, const void *SPARE7, const void *SPARE8
#define KELD_PCSAF0_ARGS                                                                                    \
    const double *T, const double *P, const int64_t *N, const int64_t *NC, const int64_t *KVL,                \
        const int64_t *KPHI, const int64_t *KH, const int64_t *KS, const int64_t *KG, const int64_t *KV,     \
        const int64_t *KDIAG, const int64_t *KOPT, int64_t *KSTAT, const int64_t *IDX, const double *MW,     \
        const double *TC, const double *PC, const int64_t *KDS, const double *XM, const double *SIG,         \
        const double *EPK, const int64_t *ITYPE, const double *EPSAB, const double *KAPAB, const double *DIPM, \
        const double *XPOL, double *PHI, double *H, double *S, double *G, double *V, double *DPHI, double *DH, \
        double *DS, double *DG, double *DV, const int64_t *NSEG, const int64_t *LSEG, const int64_t *ISEG,    \
        const double *WSEG, const double *KIJC, const double *LIJC, const double *ATOL, const int64_t *AMETH, \
        const int64_t *LUNIT, double *RHO, const int64_t *LWORK, double *WORK, const void *SPARE1,          \
        const void *SPARE2, const void *SPARE3, const void *SPARE4, const void *SPARE5, const void *SPARE6,  \
        const void *SPARE7, const void *SPARE8
KELD_API void KELD_PCSAF1(KELD_PCSAF1_ARGS);
KELD_API void KELD_PCSAF0(KELD_PCSAF0_ARGS);
KELD_API void keld_pcsaf1_(KELD_PCSAF1_ARGS);
KELD_API void keld_pcsaf0_(KELD_PCSAF0_ARGS);

/*
 * The version of the loaded library, "MAJOR.MINOR.PATCH" (semantic versioning:
 * within one major version the exported routines keep their names and argument
 * lists). A static string; keld/version.h gives the version of the headers.
 */
KELD_API const char *keld_version(void);

/*
 * Parameter preparation of the associating PC-SAFT model (run once before property calls).
 *
 * KELD_ESPSAI(NDS): for every data set d = 1..NDS hands the host's temperature-table service
 * (HostTempParam) the k_ij coefficient table (HostOffsets1(890), six coefficients per pair,
 * 6 NC^2 words per data set; form 5, result vector HostOffsets1(1441)) and the l_ij table
 * (HostOffsets1(1597), four coefficients per pair, 4 NC^2 words per data set; form 3, result
 * HostOffsets1(1604)). A table or result the host does not locate (element 0) is skipped.
 *
 * KELD_ESPSAHI(NDS): unless HostGlobals(30) = 100, fills the missing segment number PCSFTM (884),
 * diameter PCSFTV (885, Angstrom) and energy PCSFTU (886, K) of every ordinary component (not a
 * polymer or oligomer) of data sets 1..NDS. "HE-4", "KR", "NE" and "XE" with PCSFTM missing get
 * m = 0.5, 2, 0.75, 3, eps/k = 122.32 K, sigma = 3.484 A. Any other component is fitted with the
 * host's HostBoundedLeastSquares to pseudo-data from its correlations, through KELD_PCSAF0 with
 * the component's association and dipole data of the data set (PCSATY, PCSAEP, PCSAKP, PCSAMU,
 * PCSAXP when the host has them). Fit points: Psat at 0.55, 0.65, 0.75, 0.85, 0.95 Tc, each
 * measured as 1 + ln(phi_L/phi_V) at P = Psat (target 1, standard deviation 0.001; where P leaves
 * the model a liquid root only, ln phi_V = 0; a vapour root only, 1 + ln(Psat(model)/P); neither
 * distinct, the point cannot be evaluated and the solver rejects that trial); liquid volumes at 60 F
 * (288.70555 K, if Tc is above), 298.15 K (if Tc is above) and Tb (if below Tc), relative
 * standard deviation 1, at P = 101325 Pa, or Psat^1.1 when Psat is above it. Start values m0
 * (2 when MW < 60, else 10), eps/k 300 K, sigma 3 A; lower bounds 1, 100 K, 2 A; upper 1000.
 * A component without vapour-pressure coefficients or Tc keeps its missing values, and so does
 * one whose fit the solver refuses (status 3: not even the start point can be evaluated).
 * Component data read by name (HostParamOffset; one word per component, b + i):
 *   TB              normal boiling point, K
 *   VPC1..VPC9      ln(P/Pa) = C1 + C2/(T + C3) + C4 T + C5 ln T + C6 T^C7 (T in K); C8, C9 the
 *                   validity range (not used); C1 and C2 must be given, others missing count 0
 *   LDSEL           liquid-volume form: 105 DIPPR-105 molar density rho = C1 / C2^(1 + (1 -
 *                   T/C3)^C4) kmol/m3 (LDC1..LDC4; LDC5, LDC6 its range: above LDC6 or above
 *                   0.995 C3 extrapolated exponentially with the slope of ln rho there);
 *                   302 Rackett V = LDC1 LDC2^(1 + (1 - T/LDC3)^min(LDC4, 0.11)) m3/kmol
 *                   (LDC1 = R Tc/Pc); 514 Rackett from LDC1 = Tc, LDC2 = Pc, LDC3 = Z_RA,
 *                   V = (R Tc/Pc) Z_RA^(1 + (1 - T/Tc)^(2/7)); anything else: that Rackett
 *                   equation with the component's TC, PC and ZRA1 (else ZRA2)
 *   LDC1..LDC7      coefficients of the form
 *   ZRA1, ZRA2      Rackett parameter, two sources (ZRA1 first)
 *   VSTD            standard liquid volume at 60 F, m3/kmol; else MW/(SG 997.94803)
 *   SG              specific gravity 60 F/60 F
 * and MW (306), TC (416), PC (326) by their HostOffsets1 elements.
 */
KELD_API void KELD_ESPSAI(const int64_t *NDS);
KELD_API void KELD_ESPSAHI(const int64_t *NDS);
KELD_API void keld_espsai_(const int64_t *NDS);
KELD_API void keld_espsahi_(const int64_t *NDS);

#ifdef __cplusplus
}
#endif

#endif /* KELD_KELD_H */
