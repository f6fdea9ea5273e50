// A solvent with pseudo-components of one polymer (see polydisperse.h).
#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>

#include "polydisperse_terms.h"

namespace keld::equilibria {
namespace {

void check_pseudo(const std::vector<PseudoComponent> &pseudo) {
    if (pseudo.empty()) throw std::invalid_argument("a polydisperse polymer needs at least one pseudo-component");
    for (const PseudoComponent &c : pseudo)
        if (!(c.mw > 0.0 && c.weight_fraction > 0.0))
            throw std::invalid_argument("pseudo-components need positive molecular weights and weight fractions");
}

// N x N k_ij with k only between the solvent (index 0) and each pseudo-component.
std::vector<double> solvent_kij(std::size_t size, double kij) {
    std::vector<double> k(size * size, 0.0);
    for (std::size_t i = 1; i < size; ++i) k[i] = k[i * size] = kij;
    return k;
}

std::string pseudo_name(const std::string &polymer, std::size_t i) { return polymer + "_" + std::to_string(i + 1); }

}  // namespace

PolydisperseSystem::PolydisperseSystem(Model model, std::vector<PseudoComponent> pseudo)
    : model_(std::move(model)), pseudo_(std::move(pseudo)) {
    for (const ModelComponent &c : model_.components()) mw_.push_back(c.mw);
}

PolydisperseSystem PolydisperseSystem::pcsaft(const PcSaftComponent &solvent, const PcSaftPolymer &polymer, double kij,
                                              std::vector<PseudoComponent> pseudo) {
    check_pseudo(pseudo);
    std::vector<PcSaftComponent> components{solvent};
    for (std::size_t i = 0; i < pseudo.size(); ++i)
        components.push_back({pseudo_name(polymer.name, i), pseudo[i].mw, polymer.segments_per_mw * pseudo[i].mw,
                              polymer.sigma, polymer.epsilon_k, polymer.mw_repeat});
    const std::size_t size = components.size();
    return PolydisperseSystem(Model::pcsaft(std::move(components), solvent_kij(size, kij)), std::move(pseudo));
}

PolydisperseSystem PolydisperseSystem::sanchez_lacombe(const SanchezLacombeComponent &solvent,
                                                       const SanchezLacombeComponent &polymer, double kij,
                                                       std::vector<PseudoComponent> pseudo) {
    check_pseudo(pseudo);
    std::vector<SanchezLacombeComponent> components{solvent};
    for (std::size_t i = 0; i < pseudo.size(); ++i) {
        SanchezLacombeComponent c = polymer;
        c.name = pseudo_name(polymer.name, i);
        c.mw = pseudo[i].mw;
        components.push_back(c);
    }
    const std::size_t size = components.size();
    return PolydisperseSystem(Model::sanchez_lacombe(std::move(components), solvent_kij(size, kij)), std::move(pseudo));
}

std::vector<double> PolydisperseSystem::feed(double w) const {
    std::vector<double> x(size());
    x[0] = (1.0 - w) / mw_[0];
    double total = x[0];
    for (std::size_t i = 0; i < pseudo_.size(); ++i) {
        x[i + 1] = w * pseudo_[i].weight_fraction / mw_[i + 1];
        total += x[i + 1];
    }
    for (double &v : x) v /= total;
    return x;
}

namespace detail {

bool phase_terms(const Model &m, double t, double v, std::span<const double> n, PhaseTerms &out) {
    const std::size_t size = n.size();
    double total = 0.0;
    for (double a : n) total += a;
    const double rho = total / v;
    if (!(t > 0.0 && v > 0.0 && rho < m.max_density(t, n))) return false;
    const AmountDerivatives d = m.amount_derivatives(t, v, n, {true, true, true, true});
    const AlpharDerivatives a = m.derivatives(t, rho, n);
    const double rt = kGasConstant * t;
    out.ln_f.resize(static_cast<Eigen::Index>(size));
    out.dlnf_dn.resize(static_cast<Eigen::Index>(size), static_cast<Eigen::Index>(size));
    out.dlnf_dv.resize(static_cast<Eigen::Index>(size));
    out.dlnf_dt.resize(static_cast<Eigen::Index>(size));
    out.dp_dn.resize(static_cast<Eigen::Index>(size));
    for (std::size_t i = 0; i < size; ++i) {
        const auto ii = static_cast<Eigen::Index>(i);
        out.ln_f(ii) = std::log(n[i] * rt / v) + d.gradient[i];
        for (std::size_t j = 0; j < size; ++j)
            out.dlnf_dn(ii, static_cast<Eigen::Index>(j)) = d.hessian[i * size + j] + (i == j ? 1.0 / n[i] : 0.0);
        out.dlnf_dv(ii) = -1.0 / v + d.d_v[i];
        out.dlnf_dt(ii) = 1.0 / t + d.d_t[i];
        out.dp_dn(ii) = rt * (1.0 / v - d.d_v[i]);
    }
    out.rho_rt = rho * rt;
    out.p = out.rho_rt * (1.0 + rho * a.a_rho);
    out.dp_dv = -(rho / v) * rt * (1.0 + 2.0 * rho * a.a_rho + rho * rho * a.a_rhorho);
    out.dp_dt = kGasConstant * rho * (1.0 + rho * a.a_rho) + rt * rho * rho * a.a_trho;
    return out.ln_f.allFinite() && out.dlnf_dn.allFinite() && std::isfinite(out.p) && std::isfinite(out.dp_dv) &&
           std::isfinite(out.dp_dt);
}

bool pressure_terms(const Model &m, double t, double p, std::span<const double> n, PressureTerms &out) {
    double total = 0.0;
    for (double a : n) total += a;
    const std::optional<double> rho = density(m, t, p, n, Phase::liquid);
    if (!rho) return false;
    // The root polished by Newton steps on P(V) with the exact slope: a long
    // chain's ln f answers to ln V by 1e6, so a density good to 1e-13 would
    // leave ln f uncertain in its seventh decimal.
    PhaseTerms v;
    double volume = total / *rho;
    for (int it = 0; it < 4; ++it) {
        if (!phase_terms(m, t, volume, n, v)) return false;
        const double dv = -(v.p - p) / v.dp_dv;
        if (!(std::fabs(dv) > 1e-16 * volume) || it == 3) break;
        volume += dv;
    }
    out.rho = total / volume;
    out.ln_f = v.ln_f;
    out.dlnf_dn = v.dlnf_dn - v.dlnf_dv * v.dp_dn.transpose() / v.dp_dv;
    out.dlnf_dt = v.dlnf_dt - v.dlnf_dv * (v.dp_dt / v.dp_dv);
    return out.ln_f.allFinite() && out.dlnf_dn.allFinite() && out.dlnf_dt.allFinite();
}

Eigen::VectorXd repeat_units(const Model &m) {
    Eigen::VectorXd u(static_cast<Eigen::Index>(m.size()));
    for (std::size_t i = 0; i < m.size(); ++i) {
        const ModelComponent &c = m.components()[i];
        u(static_cast<Eigen::Index>(i)) = c.mw_apparent > 0.0 ? std::max(1.0, c.mw / c.mw_apparent) : 1.0;
    }
    return u;
}

PolydispersePhase describe_phase(const PolydisperseSystem &system, std::span<const double> n, double rho,
                                 std::span<const double> ln_f) {
    PolydispersePhase ph;
    const std::vector<double> &mw = system.mw();
    double total = 0.0, mass = 0.0, polymer_mass = 0.0, polymer_moles = 0.0, polymer_m2 = 0.0;
    for (std::size_t i = 0; i < n.size(); ++i) {
        total += n[i];
        mass += n[i] * mw[i];
        if (i > 0) {
            polymer_mass += n[i] * mw[i];
            polymer_moles += n[i];
            polymer_m2 += n[i] * mw[i] * mw[i];
        }
    }
    for (double a : n) ph.x.push_back(a / total);
    ph.w_polymer = polymer_mass / mass;
    for (std::size_t i = 1; i < n.size(); ++i)
        ph.polymer.push_back({mw[i], n[i] * mw[i] / polymer_mass, n[i] / polymer_moles});
    ph.mn = polymer_mass / polymer_moles;
    ph.mw = polymer_m2 / polymer_mass;
    ph.rho = rho;
    ph.ln_f.assign(ln_f.begin(), ln_f.end());
    return ph;
}

}  // namespace detail
}  // namespace keld::equilibria
