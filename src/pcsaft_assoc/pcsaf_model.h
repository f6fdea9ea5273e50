// One call of the associating PC-SAFT monitor as its residual core sees it: the true basis, the
// molecules and the segment types they are made of, the binary parameters, the association list and
// the dipolar species, all carved from the caller's work area, then the temperature-dependent
// quantities at one temperature. The residual core (pcsaf_residual.h) evaluates it at any density.
//
// Polymers. A listed component with segment types (NSEG >= 1) is a polymer described by its
// segments: segment type s of polymer i is the component ISEG(s, i), present with WSEG(s, i) kg of it
// per kmol of polymer. Then
//   MWN_i   = Σ_s WSEG(s, i)                      (number-average molecular weight)
//   N_s     = WSEG(s, i) / MW(ISEG(s, i))          (units of type s per molecule; weights the sites of
//                                                  the type in the association term)
//   n_s     = N_s m(ISEG(s, i))                    (model segments of type s per molecule)
//   f_s     = n_s / Σ_t n_t                        (segment fraction of the type)
//   m_i     = its own m when given, else Σ_s n_s
// The packing moments use m_i Σ_s f_s d_s^n, the dispersion sums run over the segment types (weights
// x_i m_i f_s, energies and k_ij, l_ij of the segment components), and the chain term of a polymer with
// one segment type is x_i (1 - m_i) ln g_s, with two or more -x_i Σ_s (n_s - 1) ln g_s.
#pragma once

#include <cstdint>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>

#include "host/host.h"
#include "contributions/pcsaft_dispersion.h"
#include "association/association.h"
#include "pcsaft_assoc/pcsaf_arguments.h"
#include "contributions/dipolar.h"
#include "association/prepared.h"

namespace keld::pcsaf {

// Bump allocation from the work area (8-byte words), which the caller has cleared. With too few words it
// keeps counting what would be needed and hands out nothing.
class WorkCarver {
public:
    WorkCarver(double *base, std::int64_t words) : base_(base), words_(words) {}
    template <class T>
    T *take(std::int64_t n) {
        static_assert(sizeof(T) == 8);
        if (n < 0) n = 0;
        T *p = nullptr;
        if (base_ != nullptr && used_ + n <= words_) {
            void *raw = base_ + used_;
            p = static_cast<T *>(raw);
            // Each word of another type begins the life of a T, so typed access is defined; the words
            // are doubles already (and 0).
            if constexpr (!std::is_same_v<T, double>)
                for (std::int64_t i = 0; i < n; ++i) ::new (static_cast<void *>(p + i)) T(0);
        } else {
            short_ = true;
        }
        used_ += n;
        return p;
    }
    std::int64_t used() const { return used_; }
    std::int64_t left() const { return words_ > used_ ? words_ - used_ : 0; }
    double *next() const { return base_ + used_; }
    bool short_of_words() const { return short_; }

private:
    double *base_;
    std::int64_t words_;
    std::int64_t used_ = 0;
    bool short_ = false;
};

// A parameter the call would compute with but which is missing (or not a usable number).
struct MissingParameter {
    std::string_view name;       // the host's name of the parameter array, e.g. "PCSFTV"
    std::int64_t component = 0;  // whose value it is
};

struct Model {
    const Arguments *args = nullptr;
    std::int64_t n = 0, nc = 0;
    const std::int64_t *idx = nullptr;
    double missing = 0.0;

    // By listed position.
    double *x = nullptr;    // true mole fractions
    double *mwn = nullptr;  // number-average molecular weights
    double *m = nullptr;    // segment numbers
    double *md = nullptr, *md2 = nullptr, *md3 = nullptr;  // m Σ f d^n (m d^n for a whole molecule)
    double *r1 = nullptr, *r2 = nullptr;                    // ∂D1/∂x_k / m_k, ∂D2/∂x_k / m_k
    double *dadx = nullptr;                                 // ∂ã/∂x_k
    double *lnphi = nullptr;                                // ln phi when PHI is not requested
    double *ds2_dx = nullptr, *ds3_dx = nullptr;            // dipolar sums, by position

    // By component number (component c at [c - 1]).
    double *d = nullptr;        // diameter in the scaled length
    double *d_slope = nullptr;  // ∂d/∂T
    double *t_dd = nullptr;     // T ∂d/∂T, for the association strengths
    double *tc = nullptr, *pc = nullptr;  // critical temperature and pressure (polymers completed)

    // Segment tables of the listed polymers, LSEG x NC: units and segment fractions of each type.
    double *seg_units = nullptr, *seg_fraction = nullptr;
    bool segmented(std::int64_t k) const;  // listed position k is a polymer described by its segments

    // Dispersion species: the listed molecules, a polymer described by its segments contributing one
    // per segment type. sp_first[k] .. sp_first[k + 1] - 1 belong to position k.
    std::int64_t ns = 0;
    std::int64_t *sp_first = nullptr, *sp_comp = nullptr;
    double *sp_x = nullptr, *sp_m = nullptr, *sp_f = nullptr, *sp_r1 = nullptr, *sp_r2 = nullptr;

    // Chain entries: ch_first[k] .. ch_first[k + 1] - 1 belong to position k.
    std::int64_t ne = 0;
    std::int64_t *ch_first = nullptr, *ch_comp = nullptr;
    double *ch_x = nullptr, *ch_m = nullptr;

    // Components in play (listed molecules and segment components), for the binary parameters.
    std::int64_t ncip = 0;
    std::int64_t *cip = nullptr;
    // NC x NC: cross energies (K), their temperature derivatives, l_ij and its derivative.
    double *eps_matrix = nullptr, *deps_dt = nullptr, *lij = nullptr, *dlij_dt = nullptr;
    bool with_lij = false, with_binary_slopes = false;

    // At the temperature set last.
    double t = 0.0;
    bool rows = false, slopes_ready = false;
    pcsaft::terms::Moments mom;
    pcsaft::terms::MomentSlopes slopes;
    pcsaft::terms::DispersionSums sums;
    pcsaft::terms::IntegralCoefficients i1{}, i2{};  // of the dispersion integrals (they depend on m̄ alone)
    double d1_binary_t = 0.0, d2_binary_t = 0.0;  // ∂D1/∂T, ∂D2/∂T through k_ij(T) and l_ij(T)

    // Association.
    bool association = false;
    assoc::Mixture amix;
    assoc::Options aopt;
    assoc::Outputs aout;
    std::span<double> awork;
    assoc::Prepared aprep;  // amix at the temperature set last, prepared in awork
    bool warm = false;  // aout.site_fractions hold a converged solution

    // Dipoles.
    bool dipolar = false;
    DipolarSpecies polar;
    DipolarSums polar_sums;
};

enum class BuildOutcome { ok, missing_parameter, short_work };

struct BuildResult {
    BuildOutcome outcome = BuildOutcome::ok;
    MissingParameter missing;
    std::int64_t words_needed = 0;  // the work area the call needs
};

// Words of scratch a monitor keeps on its stack for the association routine: a problem whose
// association needs no more than this fits a work area of the documented length.
inline constexpr std::int64_t kStackAssociationWords = 3072;

// Lays out the model in the work area and fills everything that does not depend on temperature.
// with_composition asks for the by-position rows of the composition derivatives. The association
// routine's scratch comes from the work area when it has room, else from `stack` (the caller's, of
// kStackAssociationWords words) when that is enough; words_needed is the shortest work area that
// serves the call (with the stack in use where it suffices), never below the documented length.
BuildResult build_model(const host::Host &host, const Arguments &args, bool with_composition, Model &model,
                        std::span<double> stack = {});

// Number-average molecular weight of listed position k and the apparent-to-true factor inputs, from the
// arguments alone (used before build_model by the early exit).
double number_average_mw(const Arguments &args, std::int64_t k);

// Diameters, moments, binary parameters, dispersion sums and dipolar sums at temperature t. With
// with_slopes the temperature derivatives of the diameters, moments and binary parameters as well.
void set_temperature(const host::Host &host, Model &model, double t, bool with_slopes);

}  // namespace keld::pcsaf
