// keld/equilibria/polydisperse.h - a solvent, or a solvent mixture of fixed
// composition, with a polydisperse polymer on the model (keld/model.hpp):
// cloud-point and shadow curves, the critical point of the polydisperse
// solution, fractionation between two liquids.
//
// The polymer is a set of pseudo-components (keld/equilibria/distribution.h)
// that share their segment parameters (a homopolymer's, or a copolymer's
// segment types in a fixed mass composition) and differ only in chain length
// (the segment number follows each pseudo-component's molecular weight).
// Feeds are given by the polymer's weight fraction w, the rest being the
// solvent mixture in its given composition; the phases that split off carry
// their own solvent compositions.
//
// Cloud point at P and a feed: the T at which the feed (all of it, at its own
// density) coexists with an incipient phase of free amounts (the shadow
// phase): ln f_i equal in both for every component, both liquids at P. Newton
// on (ln y_i, T) with the exact Jacobian (the model's amount Hessian and mixed
// T, V derivatives, turned to constant P); each phase's volume is solved at P
// in every evaluation. The curve over the feed's w is followed from the
// critical point outwards, each point started from its neighbours; the first
// step off the critical point starts along the critical eigenvector. A
// polydisperse solution's critical point is where the cloud-point and shadow
// curves meet; it is not the cloud-point curve's maximum.
//
// Critical point at P: on the spinodal at P (the amount Hessian at constant
// T, V singular, at the feed's liquid density), the w where the
// Heidemann-Khalil cubic form vanishes; both conditions in a scaled form
// (X^1/2 Q X^1/2, X = diag x) that long chains' tiny mole fractions do not
// swamp (docs/polydisperse.md).
//
// Fractionation at T, P: the two liquids of a feed below its cloud point,
// followed in T from the cloud point (Newton on the amounts of one phase and
// both volumes). Each result is converged with ln f_i equal to 1e-10 in
// every component, or refused with a message: no number is returned from a
// calculation that did not converge.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "keld/equilibria/distribution.h"
#include "keld/equilibria/status.h"
#include "keld/model.hpp"

namespace keld::equilibria {

// PC-SAFT segment parameters of a polymer whose chains differ only in length.
struct PcSaftPolymer {
    std::string name;
    double segments_per_mw = 0.0;  // m / MW, kmol/kg
    double sigma = 0.0;            // Angstrom
    double epsilon_k = 0.0;        // K
    double mw_repeat = 0.0;        // kg/kmol of the repeat unit
};

// A copolymer on PC-SAFT by its segment types (each with its mass fraction of the polymer, adding up
// to 1): every chain length has the same segment composition. Segment names must differ from the
// solvents' names.
struct PcSaftCopolymer {
    std::string name;
    std::vector<PcSaftAssocSegment> segments;
};

// The solvents of a feed, mixed in a fixed composition.
struct SolventMixture {
    std::vector<double> weight_fractions;  // of the solvent mixture, adding up to 1 (one per solvent)
    std::vector<double> kij;               // S x S between the solvents, row-major (empty: all 0)
};

class PolydisperseSystem {
  public:
    // Solvent and pseudo-components with the solvent-polymer k_ij (none
    // between pseudo-components: they are the same polymer).
    static PolydisperseSystem pcsaft(const PcSaftComponent &solvent, const PcSaftPolymer &polymer, double kij,
                                     std::vector<PseudoComponent> pseudo);
    // Sanchez-Lacombe: the polymer's T*, P*, rho* shared, its mw from each pseudo-component.
    static PolydisperseSystem sanchez_lacombe(const SanchezLacombeComponent &solvent,
                                              const SanchezLacombeComponent &polymer, double kij,
                                              std::vector<PseudoComponent> pseudo);

    // Several solvents: kij_polymer holds each solvent's k_ij with the polymer (one per solvent).
    static PolydisperseSystem pcsaft(std::vector<PcSaftComponent> solvents, const SolventMixture &mixture,
                                     const PcSaftPolymer &polymer, std::vector<double> kij_polymer,
                                     std::vector<PseudoComponent> pseudo);
    static PolydisperseSystem sanchez_lacombe(std::vector<SanchezLacombeComponent> solvents,
                                              const SolventMixture &mixture, const SanchezLacombeComponent &polymer,
                                              std::vector<double> kij_polymer, std::vector<PseudoComponent> pseudo);
    // A copolymer (on PC-SAFT with its segment types, keld/model_pcsaft_assoc.hpp): kij_segments is
    // S x K (solvent s, segment type k, row-major; empty: all 0).
    static PolydisperseSystem pcsaft_copolymer(std::vector<PcSaftComponent> solvents, const SolventMixture &mixture,
                                               const PcSaftCopolymer &copolymer, std::vector<double> kij_segments,
                                               std::vector<PseudoComponent> pseudo);

    const Model &model() const { return model_; }
    std::size_t size() const { return mw_.size(); }  // solvents + number of pseudo-components
    std::size_t solvents() const { return solvent_w_.size(); }
    const std::vector<double> &solvent_weight_fractions() const { return solvent_w_; }
    const std::vector<double> &mw() const { return mw_; }
    const std::vector<PseudoComponent> &pseudo() const { return pseudo_; }
    // Mole fractions of a feed with polymer weight fraction w (0 < w < 1).
    std::vector<double> feed(double w) const;

  private:
    PolydisperseSystem(Model model, std::vector<double> solvent_w, std::vector<PseudoComponent> pseudo);
    Model model_;
    std::vector<double> solvent_w_;
    std::vector<PseudoComponent> pseudo_;
    std::vector<double> mw_;
};

struct PolydispersePhase {
    std::vector<double> x;                // mole fractions, solvents first
    std::vector<double> w;                // weight fractions, solvents first
    double w_polymer = not_a_number;      // polymer weight fraction
    std::vector<PseudoComponent> polymer; // the polymer's distribution in this phase
    double mn = not_a_number, mw = not_a_number;  // kg/kmol
    double rho = not_a_number;            // kmol/m3
    std::vector<double> ln_f;             // ln (f_i / Pa)
};

struct PolydisperseCritical : Outcome {
    double t = not_a_number, p = not_a_number, w = not_a_number;  // K, Pa, polymer weight fraction
    double rho = not_a_number;                                    // kmol/m3
    std::vector<double> x, direction;  // composition; the critical eigenvector in amounts
};

struct CloudPoint : Outcome {
    double t = not_a_number, p = not_a_number;  // K, Pa
    PolydispersePhase feed, shadow;
    // Bound on the error of the shadow's ln y_i from the rounding of the equations: grows towards the
    // critical point. A point whose shadow is not resolved from the feed to a tenth of its departure
    // is refused (not_converged, with the temperature it lies near in the message).
    double shadow_uncertainty = not_a_number;
};

struct CloudPointCurve : Outcome {
    PolydisperseCritical critical;
    std::vector<CloudPoint> points;  // in increasing feed w; converged ones only
};

struct Fractionation : Outcome {
    double t = not_a_number, p = not_a_number, w_feed = not_a_number;
    PolydispersePhase lean, rich;             // poorer and richer in polymer
    double rich_share = not_a_number;         // fraction of the feed's mass in the rich phase
    std::vector<double> rich_share_of_pseudo; // fraction of each pseudo-component's mass in the rich phase
};

// The search range of the demixing temperature, and its branch: an upper
// critical solution branch (one liquid above, two below; the default) or a
// lower one (two liquids above, one below: polystyrene in cyclohexane near the
// solvent's critical point).
struct TemperatureRange {
    double from = 200.0, to = 400.0;  // K
    bool lower_branch = false;
};

// The search range of a cloud-point pressure at fixed T, and the branch of the demixing the
// critical point lies on at that T (as TemperatureRange::lower_branch).
struct PressureRange {
    double from = 1e5, to = 1e8;  // Pa
    bool lower_branch = false;
};

// Each solvent's activity over a polydisperse polymer solution of polymer weight fraction w at T and P,
// against the pure liquid solvent at T and P (a_i = f_i / f_i,pure). `one_liquid` is the feed as one
// liquid of its own composition. Below the feed's cloud point that liquid splits in two (the
// fractionation), and the solvents' activity is the two liquids' common value (`equilibrium`). The
// feed's cloud point is sought in the range; without one (no demixing found, or a cloud point that
// cannot be reached) it is not settled whether the feed splits: `equilibrium` is NaN and the status
// (not_converged) says why.
struct PolydisperseActivity : Outcome {
    double t = not_a_number, p = not_a_number, w = not_a_number;  // K, Pa, the feed's polymer weight fraction
    std::vector<double> one_liquid;   // per solvent
    std::vector<double> equilibrium;  // per solvent
    bool demixed = false;
    double cloud_t = not_a_number;    // the feed's cloud point, K (NaN: no demixing found in the range)
    double w_lean = not_a_number, w_rich = not_a_number;  // demixed: the two liquids' polymer weight fractions
};

PolydisperseCritical polydisperse_critical_point(const PolydisperseSystem &system, double p,
                                                 const TemperatureRange &range = {});
// count feeds evenly spaced in ln(w/(1-w)) from w_from to w_to.
CloudPointCurve cloud_point_curve(const PolydisperseSystem &system, double p, double w_from, double w_to, int count,
                                  const TemperatureRange &range = {});
// One cloud point: from a converged neighbour (a point of a curve), or from the critical point.
CloudPoint cloud_point(const PolydisperseSystem &system, double p, double w, const CloudPoint &neighbour);
CloudPoint cloud_point(const PolydisperseSystem &system, double p, double w, const TemperatureRange &range = {});
// Cloud points at fixed T over the pressure: the P at which the feed meets its shadow phase. The curve
// is followed from the polydisperse critical point at T (the P where the critical temperature, sought
// within 20 K of T on the range's branch, equals T), which must lie within the range; points whose
// pressure leaves the range are refused. `critical` holds that critical point.
CloudPointCurve cloud_point_pressure_curve(const PolydisperseSystem &system, double t, double w_from, double w_to,
                                           int count, const PressureRange &range = {});
CloudPoint cloud_point_pressure(const PolydisperseSystem &system, double t, double w, const PressureRange &range = {});
// The polydisperse critical point at T within the pressure range.
PolydisperseCritical polydisperse_critical_pressure(const PolydisperseSystem &system, double t,
                                                    const PressureRange &range = {});
Fractionation fractionate(const PolydisperseSystem &system, double t, double p, double w_feed,
                          const TemperatureRange &range = {});
PolydisperseActivity polydisperse_activity(const PolydisperseSystem &system, double t, double p, double w,
                                           const TemperatureRange &range = {});

}  // namespace keld::equilibria
