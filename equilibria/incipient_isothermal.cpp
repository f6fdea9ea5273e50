// A given phase and its incipient phase at T on the model (see incipient_isothermal.h).
#include "incipient_isothermal.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <span>

#include "model/residual.h"

namespace keld::equilibria::detail {
namespace {

constexpr double kTolerance = 1e-12;
constexpr double kRoundingFloor = 1e-10;  // accepted with a vanishing Newton step
constexpr double kLargestStep = 1.0;      // of Newton in the logarithmic unknowns
constexpr double kTrivial = 1e-9;         // max |ln K| of the trivial solution

// Solves a x = b for the k x k row-major a by elimination with partial pivoting; b receives x.
bool solve_dense(std::size_t k, std::span<double> a, std::span<double> b) {
    for (std::size_t c = 0; c < k; ++c) {
        std::size_t pivot = c;
        for (std::size_t r = c + 1; r < k; ++r)
            if (std::fabs(a[r * k + c]) > std::fabs(a[pivot * k + c])) pivot = r;
        const double diagonal = a[pivot * k + c];
        if (!(diagonal != 0.0) || !std::isfinite(diagonal)) return false;
        if (pivot != c) {
            for (std::size_t j = c; j < k; ++j) std::swap(a[c * k + j], a[pivot * k + j]);
            std::swap(b[c], b[pivot]);
        }
        for (std::size_t r = c + 1; r < k; ++r) {
            const double f = a[r * k + c] / diagonal;
            if (f == 0.0) continue;
            for (std::size_t j = c + 1; j < k; ++j) a[r * k + j] -= f * a[c * k + j];
            b[r] -= f * b[c];
        }
    }
    for (std::size_t c = k; c-- > 0;) {
        double s = b[c];
        for (std::size_t j = c + 1; j < k; ++j) s -= a[c * k + j] * b[j];
        b[c] = s / a[c * k + c];
        if (!std::isfinite(b[c])) return false;
    }
    return true;
}

// P/(RT) = rho - Psi + sum rho_i dPsi/dn_i at V = 1 m3.
double pressure_over_rt(std::span<const double> rho, std::span<const double> g, double psi) {
    double p = -psi;
    for (std::size_t i = 0; i < rho.size(); ++i) p += rho[i] + rho[i] * g[i];
    return p;
}

bool finite(std::span<const double> v) {
    return std::all_of(v.begin(), v.end(), [](double a) { return std::isfinite(a); });
}

// The incipient phase moved along its own line (its composition held) by a Newton step onto the
// given phase's pressure p (P/RT, kmol/m3, to first order after the step). An incipient liquid's P is
// stiff in its density while its composition moves, and the system's Newton step leaves it off by the
// curvature of that stiffness; a step along its line, at the cost of a density slope, puts it back
// before the next evaluation and saves about an iteration. (A given liquid, whose composition is
// held, gains nothing from it.) Off the liquid branch nothing moves.
void project_incipient(const Model &m, double t, double p, std::span<double> x, std::span<double> composition) {
    const std::size_t n = composition.size();
    double rho = 0.0;
    for (std::size_t i = 0; i < n; ++i) rho += composition[i] = std::exp(x[i + 1]);
    for (std::size_t i = 0; i < n; ++i) composition[i] /= rho;
    const model::DensitySlopes s = m.residual().density_slopes(t, rho, composition.data());
    const double slope = 1.0 + 2.0 * rho * s.a_rho + rho * rho * s.a_rhorho;
    const double next = rho - (rho * (1.0 + rho * s.a_rho) - p) / slope;
    if (!(slope > 0.0) || !(next > 0.0) || !std::isfinite(next)) return;
    const double shift = std::log(next / rho);
    for (std::size_t i = 0; i < n; ++i) x[i + 1] += shift;
}

}  // namespace

double IsothermalPhase::rho_total() const {
    double total = 0.0;
    for (double r : rho) total += r;
    return total;
}

bool solve_isothermal_incipient(const Model &m, double t, std::span<const double> z, double rho_given,
                                std::span<const double> rho_incipient, IsothermalIncipient &out, int max_iter,
                                const model::AmountIsotherm *isotherm) {
    const std::size_t n = z.size(), k = n + 1;
    if (rho_incipient.size() != n || m.size() != n || !(rho_given > 0.0) || !std::isfinite(rho_given)) return false;
    // X = (ln rho', ln rho''_1 .. ln rho''_N), rho' the given phase's density.
    // One block for the iteration's vectors: X, ln z, d_v of the given phase, the incipient phase's
    // Hessian, the Jacobian, the step and the incipient phase's composition.
    std::vector<double> block(2 * k + 3 * n + n * n + k * k);
    const std::span<double> x(block.data(), k), ln_z(x.data() + k, n), dv(ln_z.data() + n, n),
        h(dv.data() + n, n * n), jac(h.data() + n * n, k * k), step(jac.data() + k * k, k),
        composition(step.data() + k, n);
    x[0] = std::log(rho_given);
    for (std::size_t i = 0; i < n; ++i) {
        if (!(z[i] > 0.0) || !(rho_incipient[i] > 0.0)) return false;
        ln_z[i] = std::log(z[i]);
        x[i + 1] = std::log(rho_incipient[i]);
    }
    std::unique_ptr<model::AmountIsotherm> own;
    if (!isotherm) {
        own = m.residual().amount_isotherm(t);
        isotherm = own.get();
    }
    IsothermalPhase &a = out.given, &b = out.incipient;
    a.rho.resize(n);
    a.g.resize(n);
    b.rho.resize(n);
    b.g.resize(n);
    for (int iter = 0; iter <= max_iter; ++iter) {
        const double rho_a = std::exp(x[0]);
        for (std::size_t i = 0; i < n; ++i) {
            a.rho[i] = z[i] * rho_a;
            b.rho[i] = std::exp(x[i + 1]);
        }
        // The given phase along its line (d_v = -rho dg/drho there), the incipient phase in full.
        AmountDerivativeSpans da{0.0, a.g, {}, dv, {}};
        AmountDerivativeSpans db{0.0, b.g, h, {}, {}};
        isotherm->at(a.rho, da);
        isotherm->at(b.rho, db);
        if (!finite(a.g) || !finite(b.g) || !finite(dv) || !finite(h)) return false;
        a.p = pressure_over_rt(a.rho, a.g, da.psi);
        b.p = pressure_over_rt(b.rho, b.g, db.psi);
        const double rho_b = b.rho_total();
        a.slope = 1.0;
        for (std::size_t i = 0; i < n; ++i) a.slope -= z[i] * dv[i];
        b.slope = 0.0;
        // Equations and Jacobian; the pressures' mismatch relative to the denser phase's R T rho.
        const double scale = std::max(rho_a, rho_b);
        double r = 0.0, largest_ln_k = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            const double ln_k = x[i + 1] - ln_z[i] - x[0];
            largest_ln_k = std::max(largest_ln_k, std::fabs(ln_k));
            step[i] = -(ln_k + b.g[i] - a.g[i]);
            r = std::max(r, std::fabs(step[i]));
            jac[i * k] = -1.0 + dv[i];
            for (std::size_t j = 0; j < n; ++j) jac[i * k + j + 1] = (i == j ? 1.0 : 0.0) + h[i * n + j] * b.rho[j];
        }
        step[n] = -(b.p - a.p) / scale;
        r += std::fabs(step[n]);
        jac[n * k] = -rho_a * a.slope / scale;
        for (std::size_t j = 0; j < n; ++j) {
            double p_rho = 1.0;  // d(P/RT)/drho''_j
            for (std::size_t i = 0; i < n; ++i) p_rho += b.rho[i] * h[i * n + j];
            jac[n * k + j + 1] = b.rho[j] * p_rho / scale;
            b.slope += p_rho * b.rho[j] / rho_b;
        }
        if (!std::isfinite(r)) return false;
        bool done = r <= kTolerance;
        if (!done && iter < max_iter) {
            if (!solve_dense(k, jac, step)) return false;
            double size = 0.0;
            for (double s : step) size = std::max(size, std::fabs(s));
            // At a residual of the rounding of the equations themselves the converged step vanishes instead.
            done = r <= kRoundingFloor && size <= 1e-13;
            if (!done) {
                const double shrink = size > kLargestStep ? kLargestStep / size : 1.0;
                for (std::size_t i = 0; i < k; ++i) step[i] *= shrink;
                for (std::size_t i = 0; i < k; ++i) x[i] += step[i];
                // An incipient liquid (a dew point) put back onto the given vapour's P after the step.
                if (rho_b > rho_a) project_incipient(m, t, a.p + a.slope * rho_a * step[0], x, composition);
                continue;
            }
        }
        if (!done) return false;
        out.residual = r;
        out.iterations = iter;
        return largest_ln_k > kTrivial;
    }
    return false;
}

}  // namespace keld::equilibria::detail
