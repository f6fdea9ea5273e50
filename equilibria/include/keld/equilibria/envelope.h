// keld/equilibria/envelope.h - curves of two coexisting phases traced on the
// Helmholtz-energy model (keld/model.hpp) through their critical points:
// the P-x-y isotherm and the T-x-y isobar of a binary and the P-T phase
// envelope of a mixture of fixed composition.
//
// Both are solved in density variables, ln rho_i of one phase, ln K_i =
// ln(rho''_i / rho'_i) and ln T, on equal fugacities and equal pressures with
// the exact Jacobian (the model's Hessians in the amounts and their T
// derivatives): no density root inside the iterations. The curve is continued
// by arc length: a predictor along the exact tangent, Newton's corrector with
// the unknown of the largest tangent component specified, the step halved on
// failure and grown after easy corrections. The curve crosses the trivial
// solution K = 1 at the critical point; the crossing is detected by the sign
// of ln K and the critical point solved by the Heidemann-Khalil criteria
// (critical.h) from the crossing's estimate, never extrapolated.
//
// A curve that stops before its end (a step that no longer converges, a
// critical point the criteria do not confirm) keeps the points traced so far,
// each one an equilibrium, with status not_converged and a message saying where.
//
// Every returned point re-evaluates to equal ln f_i and equal pressures (scaled
// by R T rho of the feed phase) within 1e-12, or, where the rounding of a
// dilute phase's pressure sets a floor above that, within 1e-10 with a
// vanishing Newton step.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "keld/equilibria/critical.h"
#include "keld/equilibria/status.h"
#include "keld/model.hpp"

namespace keld::equilibria {

struct ContinuationOptions {
    double first_step = 0.05;  // arc length in the logarithmic unknowns
    double largest_step = 0.2;
    std::size_t max_points = 600;
};

// A tie line of a binary: T, P, the mole fractions of both components in the
// liquid (x) and the vapour (y) and both densities; at the critical point x = y.
struct TieLine {
    double t = not_a_number, p = not_a_number;  // K, Pa
    std::vector<double> x, y;
    double rho_liquid = not_a_number, rho_vapour = not_a_number;  // kmol/m3
};

// A curve of tie lines of a binary at fixed T or P: from the pure component
// that coexists there with the higher critical temperature (x = y = 0 of the
// other) toward the critical point, or to the other pure component when both
// coexist there.
struct BinaryCurve : Outcome {
    std::vector<TieLine> points;
    bool ends_at_critical = false;  // the last point is the mixture's critical point at T (or P)
    MixtureCritical critical;       // with ends_at_critical
};

struct PxyIsotherm : BinaryCurve {
    double t = not_a_number;  // K
};
struct TxyIsobar : BinaryCurve {
    double p = not_a_number;  // Pa
};

// The P-x-y isotherm of a two-component model at T (K).
PxyIsotherm pxy_isotherm(const Model &m, double t, const ContinuationOptions &options = {});
// The T-x-y isobar of a two-component model at P (Pa). Above both components'
// critical pressures (a closed loop, if any) it is refused as supercritical.
TxyIsobar txy_isobar(const Model &m, double p, const ContinuationOptions &options = {});

// A point of the envelope: the feed phase (composition z) and the incipient
// phase at equal T, P and fugacities. On the bubble branch the feed is the
// denser phase, on the dew branch the lighter; at the critical point both.
struct EnvelopePoint {
    double t = not_a_number, p = not_a_number;                        // K, Pa
    double rho_feed = not_a_number, rho_incipient = not_a_number;    // kmol/m3
    std::vector<double> incipient;                                    // mole fractions
    bool bubble = false;
};

struct EnvelopeOptions {
    double p_low = 1e5;  // Pa: the envelope starts and ends at this pressure
    ContinuationOptions continuation{0.05, 0.5, 600};  // longer steps: ln K of the heaviest component moves fastest
};

struct PhaseEnvelope : Outcome {
    std::vector<double> z;
    // From the dew point at p_low up through the critical point and down the
    // bubble branch to p_low (or from the bubble side when the dew start fails).
    std::vector<EnvelopePoint> points;
    MixtureCritical critical;             // solved by the criteria at z
    std::size_t critical_index = 0;       // points[critical_index] is the critical point
    bool has_critical = false;
    EnvelopePoint cricondenbar, cricondentherm;
    bool has_cricondenbar = false, has_cricondentherm = false;
    double cricondenbar_slope = not_a_number;  // dP/dT there (Pa/K), zero to the solver's tolerance
};

// The P-T envelope of the model's mixture at composition z (amounts of any scale, every one > 0).
PhaseEnvelope phase_envelope(const Model &m, std::span<const double> z, const EnvelopeOptions &options = {});

}  // namespace keld::equilibria
