// A binary liquid on the Helmholtz-energy model at fixed P (internal): the
// state at (T, s = ln(w / (1 - w))) with its exact composition and
// temperature derivatives, and the Newton solvers of the demixing built on
// them (binodal pair, critical solution point).
//
// Stability. With H = d ln phi_i / dn_j at constant T, P (N = 1 kmol),
//     sigma = 1 + x1 x2 (H11 + H22 - 2 H12) = x1 x2 d2(g_mix/RT)/dx2^2,
// the scaled determinant of the binary's Hessian: 1 for an ideal solution,
// 0 on the spinodal, negative inside it. Along s the fugacities move as
//     d ln f_1 / ds = -x2 sigma,   d ln f_2 / ds = x1 sigma,
// which is the binodal's exact Jacobian.
//
// Slopes of sigma. With a(T, v, x) = A / (N R T) of the liquid (x = x2) and
// w = dv/dx at constant T, P, g_xx / RT = a_xx + 2 w a_xv + w^2 a_vv, the
// second derivative of a along d = (dx, dv) = (1, w). That w makes it least
// over w, so its change along any path is a's third derivative with w held:
//     d(g_xx/RT)/dx at T, P  = a_ddd,
//     d(g_xx/RT)/dT at P, x  = a_dde,  e = (dT, dv) = (1, dv/dT at P, x),
// each from one jet of the model (a fourth-order Taylor along d, a dual
// along e): exact, without a difference quotient.
#pragma once

#include <cmath>
#include <vector>

#include "keld/model.hpp"

namespace keld::equilibria::detail {

inline double weight_of_logit(double s) {
    return s < 0.0 ? std::exp(s) / (1.0 + std::exp(s)) : 1.0 / (1.0 + std::exp(-s));
}

struct BinaryState {
    bool ok = false;  // a liquid root of the model at T, P
    double x[2] = {0.0, 0.0};
    double ln_f[2] = {0.0, 0.0};    // ln (f_i / Pa)
    double d_t[2] = {0.0, 0.0};     // d ln f_i / dT at constant P, x (1/K)
    double sigma = 0.0;             // scaled determinant (above)
    double v = 0.0, v_apparent = 0.0;  // m3/kmol, true and apparent basis
    std::vector<double> ln_phi;
};

// sigma and its exact slopes in s (at T, P) and T (at s, P).
struct StabilitySlopes {
    bool ok = false;  // a liquid root at (T, s) with finite slopes
    double sigma = 0.0, sigma_s = 0.0, sigma_t = 0.0;  // sigma_t in 1/K
};

class ModelBinary {
  public:
    // `segments`: the polymer's repeat units per molecule, the scale its ln f is compared on.
    ModelBinary(const Model &model, double p, double segments);
    // Without `with_sigma` the composition derivatives are not formed (sigma NaN): ln f and its
    // T-derivatives only, at a fraction of the cost.
    BinaryState at(double t, double s, bool with_sigma = true) const;
    double sigma(double t, double s) const;  // NaN without a liquid root
    // sigma with its slopes from the model's third derivatives (three jets of a).
    StabilitySlopes stability(double t, double s) const;
    double p() const { return p_; }
    double segments() const { return segments_; }
    // max(|ln f_1' - ln f_1''|, |ln f_2' - ln f_2''| / segments)
    double residual(const BinaryState &lean, const BinaryState &rich) const;

  private:
    const Model &model_;
    double p_, segments_;
};

struct BinodalPair {
    bool ok = false;
    double s_lean = 0.0, s_rich = 0.0, residual = 0.0;
    int iterations = 0;
};

// Newton in (s', s'') at T with the exact Jacobian from a start near the
// answer; the best pair it reached (ok when its residual is <= tolerance).
BinodalPair newton_binodal(const ModelBinary &b, double t, double s_lean, double s_rich, double tolerance);

// The s where sigma is least at T within `window` of `start` (Newton on d sigma/ds from there),
// and that least value: ok when the search settled, inside the window or at its edge. The window
// keeps the search at the dip where two liquids form: away from it, on the stable side, sigma falls
// towards its dilute limit 1, a plateau where a free search drifts without settling.
struct LeastStability {
    bool ok = false;
    double s = 0.0, sigma = 0.0;
};
LeastStability least_stability(const ModelBinary &b, double t, double start, double window);

// The critical solution point in [t_a, t_b], where the least sigma over s
// changes sign: sigma = 0 and d sigma/ds = 0 at (T_c, s_c). `s_start` is
// where sigma is least at either end.
struct ModelCriticalPoint {
    bool ok = false;
    bool upper = true;  // two liquids below T_c
    double t = 0.0, s = 0.0;
    double sigma = 0.0, sigma_s = 0.0;  // the two conditions at the answer
    int iterations = 0;
};
ModelCriticalPoint model_critical_point(const ModelBinary &b, double t_a, double t_b, double s_start);


}  // namespace keld::equilibria::detail
