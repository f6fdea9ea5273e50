// keld/model.hpp - the Helmholtz-energy model of every family, for C++ users.
//
// A keld::Model is the reduced residual Helmholtz energy
//     alpha_r(T, rho, x) = A_res / (N R T)          (dimensionless)
// of one model family for a fixed list of components, with T in K, rho the
// molar density of molecules in kmol/m3 and x (or amounts n in kmol) per
// component. Every derivative it gives is exact: forward-mode automatic
// differentiation through the one formula each family is written in, which
// is the formula the property monitors use (no difference quotients).
//
// Built from plain parameters (Model::pcsaft, ...) or from a case file's
// data set (keld::refhost::model_from_case in keld/case.h). Properties at (T, rho, n) or at (T, P, n)
// and a phase come from the free functions below.
//
// Bases. The model works on the true basis: a polymer molecule counted once
// with its number-average molecular weight. Components also carry the
// molecular weight the host counts them by (a polymer's repeat unit) so that
// properties can be given on that apparent basis too, as the monitors report
// them (keld::Properties names both).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keld/export.h"
#include "keld/model_cubic.hpp"
#include "keld/model_pcsaft_assoc.hpp"

namespace keld {

namespace model {
class Residual;
}

// R in J/(kmol K), the reference pressure of the departures in Pa.
inline constexpr double kGasConstant = 8314.462618;
inline constexpr double kReferencePressure = 101325.0;

struct ModelComponent {
    std::string name;
    double mw = 0.0;           // kg/kmol of one molecule (number-average for a polymer)
    double mw_apparent = 0.0;  // kg/kmol of the unit the host counts (a polymer's repeat unit; else = mw)
};

// Partial derivatives of alpha_r in T (K) and rho (kmol/m3) at constant x.
struct AlpharDerivatives {
    double a = 0.0;
    double a_t = 0.0, a_rho = 0.0;
    double a_tt = 0.0, a_trho = 0.0, a_rhorho = 0.0;
    double a_rhorhorho = 0.0;
};

// Derivatives of Psi = N alpha_r(T, N/V, n/N) (N = sum n) in the amounts n
// (kmol) at constant T and V (m3): the gradient is mu_res,i(T, V) / (R T).
// d^(i+j) alpha_r / dT^i drho^j at constant x for i = 0, 1 and j = 0..4 (the
// pieces of the critical-point conditions dP/drho = d2P/drho2 = 0 and their
// Jacobian), in K and kmol/m3.
struct AlpharDerivativeTable {
    double a[2][5] = {};
};

struct AmountDerivatives {
    double psi = 0.0;
    std::vector<double> gradient;  // dPsi/dn_i
    std::vector<double> hessian;   // d2Psi/dn_i dn_j, row-major N x N (1/kmol)
    std::vector<double> d_v;       // d2Psi/dV dn_i (1/m3)
    std::vector<double> d_t;       // d2Psi/dT dn_i (1/K)
};

// AmountDerivatives written into storage the caller owns, for loops that evaluate them often: no
// allocation per call. A span left empty is not formed (it is the request); a non-empty one holds N
// values (the Hessian N x N, row-major), with the units of AmountDerivatives.
struct AmountDerivativeSpans {
    double psi = 0.0;
    std::span<double> gradient;
    std::span<double> hessian;
    std::span<double> d_v;
    std::span<double> d_t;
};

struct AmountRequest {
    bool gradient = true;
    bool hessian = false;
    bool mixed_v = false;
    bool mixed_t = false;
};

// Every first and second derivative at one state: alpha_r's in (T, rho) at
// constant x (a_rhorhorho not formed: NaN) and all of Psi's in the amounts.
struct SecondDerivatives {
    AlpharDerivatives t_rho;
    AmountDerivatives amounts;
};

// Plain parameters of one PC-SAFT component: its name, molecular weight
// (kg/kmol; a polymer's number-average one), segment number m, segment
// diameter sigma (Angstrom), segment energy eps/k (K). For a polymer, m is
// (m/MW) * Mn; mw_apparent is the repeat unit's molecular weight (0: = mw).
struct PcSaftComponent {
    std::string name;
    double mw = 0.0;
    double m = 0.0;
    double sigma = 0.0;
    double epsilon_k = 0.0;
    double mw_apparent = 0.0;
};

// Plain parameters of one SAFT (Huang and Radosz) component: segment number m (a polymer's: segments
// per unit of molecular weight times Mn), segment volume v00 (m3/kmol), segment energy u0/k (K),
// energy correction e/k (K).
struct SaftComponent {
    std::string name;
    double mw = 0.0;
    double m = 0.0;
    double v00 = 0.0;
    double u0_k = 0.0;
    double e_k = 0.0;
    double mw_apparent = 0.0;
};

// Plain parameters of one Sanchez-Lacombe component: T* (K), P* (Pa), rho* (kg/m3); its segment
// number is mw P*/(R T* rho*).
struct SanchezLacombeComponent {
    std::string name;
    double mw = 0.0;
    double t_star = 0.0;
    double p_star = 0.0;
    double rho_star = 0.0;
    double mw_apparent = 0.0;
};

class KELD_API Model {
  public:
    // PC-SAFT (Gross and Sadowski 2001): hard chain and dispersion. kij: N x N
    // (row-major) binary interaction parameters, or empty for all 0.
    static Model pcsaft(std::vector<PcSaftComponent> components, std::vector<double> kij = {});
    // SRK with a mixing rule and an excess-Gibbs model (keld/model_cubic.hpp).
    static Model cubic(std::vector<CubicComponent> components, const CubicOptions &options);
    // SAFT of Huang and Radosz: kij on u0_ij, lij on m_ij (N x N, row-major; empty lij: m_mix = sum x m).
    static Model saft(std::vector<SaftComponent> components, std::vector<double> kij = {},
                      std::vector<double> lij = {});
    // Sanchez-Lacombe lattice fluid: kij on eps*_ij, eta on v*_ij (N x N, row-major, or empty).
    static Model sanchez_lacombe(std::vector<SanchezLacombeComponent> components, std::vector<double> kij = {},
                                 std::vector<double> eta = {});
    // PC-SAFT with association and the dipolar term of Jog and Chapman, copolymers by their segment
    // types (keld/model_pcsaft_assoc.hpp); the residual of the monitor KELD_PCSAF1.
    static Model pcsaft_assoc(std::vector<PcSaftAssocComponent> components,
                              std::vector<PcSaftAssocBinary> binaries = {});

    // A model from a family's residual (the library's own layers use this).
    Model(std::string family, std::vector<ModelComponent> components, std::shared_ptr<const model::Residual> residual);

    std::size_t size() const { return components_.size(); }
    const std::string &family() const { return family_; }
    const std::vector<ModelComponent> &components() const { return components_; }
    const model::Residual &residual() const { return *residual_; }

    // alpha_r at T, rho and mole fractions (or amounts of any scale) z.
    double alphar(double t, double rho, std::span<const double> z) const;
    AlpharDerivatives derivatives(double t, double rho, std::span<const double> z) const;
    AlpharDerivativeTable derivative_table(double t, double rho, std::span<const double> z) const;
    AmountDerivatives amount_derivatives(double t, double v, std::span<const double> n,
                                         AmountRequest request = {}) const;
    // derivatives() to second order and amount_derivatives() with everything, at T, rho and the
    // amounts n (V = sum n / rho), in one call: what properties at a state need.
    SecondDerivatives second_derivatives(double t, double rho, std::span<const double> n) const;
    // The same two into storage the caller owns (AmountDerivativeSpans: the spans given are formed).
    void amount_derivatives(double t, double v, std::span<const double> n, AmountDerivativeSpans &out) const;
    void second_derivatives(double t, double rho, std::span<const double> n, AlpharDerivatives &t_rho,
                            AmountDerivativeSpans &amounts) const;
    // The densest state the model describes at T and z (kmol/m3): close
    // packing (SAFT family), the filled lattice, or 1/b of a cubic.
    double max_density(double t, std::span<const double> z) const;

  private:
    std::string family_;
    std::vector<ModelComponent> components_;
    std::shared_ptr<const model::Residual> residual_;
};

// Ideal-gas isobaric heat capacity of each component, Cp_ig/R as a
// polynomial c0 + c1 T + c2 T^2 + c3 T^3 + c4 T^4 (T in K), or in the
// exponential form of the shipped database's correlations (ChemSep equation
// 16; keld::database::ideal_gas_heat_capacity fills it). Needed for the
// total heat capacities, the speed of sound and the Joule-Thomson coefficient.
struct KELD_API IdealGasHeatCapacity {
    // Cp_ig/(J/(kmol K)) = a + exp(b/T + c + d T + e T^2), from t_min to t_max (K).
    struct Exponential {
        double a = 0, b = 0, c = 0, d = 0, e = 0;  // J/(kmol K), K, -, 1/K, 1/K^2
        double t_min = 0, t_max = 0;               // K
    };
    std::vector<std::vector<double>> coefficients;        // per component, up to five values
    std::vector<std::optional<Exponential>> exponential;  // per component, when not empty: wins where set
    // NaN outside an exponential form's range: Cp, the speed of sound and the Joule-Thomson coefficient
    // are then NaN rather than extrapolated.
    double cp_over_r(std::size_t component, double t) const;
};

enum class Phase { vapour = 1, liquid = 2 };

// Properties of one phase at (T, rho, n). Per kmol of molecules unless the
// name ends in _apparent (per kmol of the host's counting units, as the
// monitors report: a polymer counted in repeat units). Departures from the
// ideal gas: *_res at the same T and P (h_res = H - H_ig(T), s_res = S -
// S_ig(T, P), g_res = G - G_ig(T, P), u_res, a_res at T and V); the monitors'
// s_departure = S - S_ig(T, P_ref) and g_departure = G - G_ig(T, P_ref).
struct Properties {
    double t = 0.0, rho = 0.0, p = 0.0, z = 0.0;  // K, kmol/m3, Pa, -
    double v = 0.0;                               // m3/kmol
    std::vector<double> x;                        // mole fractions of molecules
    std::vector<double> ln_phi;                   // true basis
    std::vector<double> mu_res;                   // mu_i - mu_i,ig(T, V) = R T dPsi/dn_i, J/kmol
    double a_res = 0.0, u_res = 0.0;              // J/kmol
    double h_res = 0.0, s_res = 0.0, g_res = 0.0;  // J/kmol, J/(kmol K), J/kmol
    double s_departure = 0.0, g_departure = 0.0;  // against the ideal gas at P_ref
    double cv_res = 0.0, cp_res = 0.0;            // J/(kmol K)
    double dp_drho = 0.0, dp_dt = 0.0;            // Pa m3/kmol, Pa/K
    double kappa_t = 0.0;                         // isothermal compressibility, 1/Pa
    double dv_dt = 0.0;                           // (dV/dT)_P, m3/(kmol K)
    std::vector<double> partial_volume;           // m3/kmol
    std::vector<double> dln_phi_dt;               // 1/K at constant P, n
    std::vector<double> dln_phi_dp;               // 1/Pa at constant T, n
    std::vector<double> dln_phi_dn;               // row-major N x N at constant T, P (1/kmol for N = 1 kmol)
    // With an ideal-gas heat capacity (NaN otherwise):
    double cv = 0.0, cp = 0.0;                    // J/(kmol K)
    double speed_of_sound = 0.0;                  // m/s
    double joule_thomson = 0.0;                   // K/Pa
    // Apparent basis (see above).
    std::vector<double> z_apparent;               // host's mole fractions
    std::vector<double> ln_phi_apparent;
    double v_apparent = 0.0, h_res_apparent = 0.0, s_departure_apparent = 0.0, g_departure_apparent = 0.0;
};

struct PropertyRequest {
    bool composition_derivatives = true;  // dln_phi_dn (the Hessian in n, O(N^2) evaluations)
    const IdealGasHeatCapacity *ideal_gas = nullptr;
};

// Properties at T (K), rho (kmol/m3) and amounts or mole fractions n.
KELD_API Properties properties(const Model &model, double t, double rho, std::span<const double> n,
                      const PropertyRequest &request = {});

// The density (kmol/m3) of the phase at T and P on the model's own P(rho),
// below its densest state: a vapour is the lightest root, a liquid the
// densest; none when the phase has no root there (beyond its spinodal, or no
// liquid below close packing).
KELD_API std::optional<double> density(const Model &model, double t, double p, std::span<const double> n, Phase phase);

// properties() at the root density() finds; none without a root.
KELD_API std::optional<Properties> properties_at_pressure(const Model &model, double t, double p, std::span<const double> n,
                                                 Phase phase, const PropertyRequest &request = {});

// The settings of a monitor call that shape its residual, as a case's state carries them: the cubic
// monitor's KRULE, KMODEL and KEOSOPT, the associating PC-SAFT monitor's option vector KOPT(3)
// (element 3: 0 full association, 1 association and dipoles off, 20 simplified, 11 S from H and G).
// A family that does not read a setting refuses a value other than its default.
struct ModelSettings {
    std::int64_t mixing_rule = 1;   // 1 van der Waals, 2 Wong-Sandler, 3 MHV1, 4 MHV2
    std::int64_t excess_model = 1;  // 1 ideal, 2 Redlich-Kister, 3 Wilson, 4 Van Laar, 5 NRTL, 6 UNIQUAC, 7 UNIFAC
    std::int64_t alpha_option = 0;  // 2: Mathias-Copeman where the store holds its constants; else Soave
    std::array<std::int64_t, 3> association_options{0, 0, 0};
};

// A model of a registered family ("pcsaft", "sanchez-lacombe", "saft",
// "saft-stored", "cubic") from the installed host's store, as that family's monitor
// reads it: data set `data_set`, the listed component numbers (from 1), the
// monitors' KOPT (5: segment fractions by mole), the call's settings. Throws std::invalid_argument with the
// reason (a missing parameter named as the monitor names it, an unknown family, a setting the model
// cannot follow, ...). The associating PC-SAFT monitor takes its parameters as arguments, not from the
// store: its model comes from a case (keld::refhost::model_from_case) or Model::pcsaft_assoc.
KELD_API Model model_from_host(std::string_view family, std::int64_t data_set, std::span<const std::int64_t> components,
                               std::int64_t option = 0, const ModelSettings &settings = {});

}  // namespace keld
