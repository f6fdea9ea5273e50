// Solvents with pseudo-components of one polymer (see polydisperse.h).
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

constexpr double kFractionSlack = 1e-9;  // how far the solvent mixture's weight fractions may add up from 1

void check_solvents(std::size_t count, const SolventMixture &mixture, std::size_t kij_polymer) {
    if (count == 0) throw std::invalid_argument("a polymer solution needs at least one solvent");
    if (mixture.weight_fractions.size() != count)
        throw std::invalid_argument("the solvent mixture needs one weight fraction per solvent");
    double total = 0.0;
    for (double w : mixture.weight_fractions) {
        if (!(w > 0.0)) throw std::invalid_argument("the solvents' weight fractions must be positive");
        total += w;
    }
    if (!(std::fabs(total - 1.0) <= kFractionSlack))
        throw std::invalid_argument("the solvents' weight fractions add up to " + std::to_string(total) + ", not 1");
    if (!mixture.kij.empty() && mixture.kij.size() != count * count)
        throw std::invalid_argument("the solvents' k_ij need S x S entries");
    if (kij_polymer != count) throw std::invalid_argument("the polymer needs one k_ij per solvent");
}

// N x N k_ij: the solvents' among themselves, each solvent's with every pseudo-component, none between
// pseudo-components (they are the same polymer).
std::vector<double> system_kij(std::size_t size, const SolventMixture &mixture, const std::vector<double> &kij_polymer) {
    const std::size_t s = kij_polymer.size();
    std::vector<double> k(size * size, 0.0);
    for (std::size_t a = 0; a < s; ++a) {
        for (std::size_t b = 0; b < s; ++b)
            if (!mixture.kij.empty()) k[a * size + b] = mixture.kij[a * s + b];
        for (std::size_t i = s; i < size; ++i) k[a * size + i] = k[i * size + a] = kij_polymer[a];
    }
    return k;
}

std::string pseudo_name(const std::string &polymer, std::size_t i) { return polymer + "_" + std::to_string(i + 1); }

// kg/kmol of a copolymer's average repeat unit (number average over its units).
double copolymer_repeat_mw(const PcSaftCopolymer &c) {
    double units_per_kg = 0.0;
    for (const PcSaftAssocSegment &s : c.segments) units_per_kg += s.mass_fraction / s.mw;
    return 1.0 / units_per_kg;
}

}  // namespace

PolydisperseSystem::PolydisperseSystem(Model model, std::vector<double> solvent_w, std::vector<PseudoComponent> pseudo)
    : model_(std::move(model)), solvent_w_(std::move(solvent_w)), pseudo_(std::move(pseudo)) {
    for (const ModelComponent &c : model_.components()) mw_.push_back(c.mw);
}

PolydisperseSystem PolydisperseSystem::pcsaft(const PcSaftComponent &solvent, const PcSaftPolymer &polymer, double kij,
                                              std::vector<PseudoComponent> pseudo) {
    return pcsaft(std::vector<PcSaftComponent>{solvent}, SolventMixture{{1.0}, {}}, polymer, {kij}, std::move(pseudo));
}

PolydisperseSystem PolydisperseSystem::sanchez_lacombe(const SanchezLacombeComponent &solvent,
                                                       const SanchezLacombeComponent &polymer, double kij,
                                                       std::vector<PseudoComponent> pseudo) {
    return sanchez_lacombe(std::vector<SanchezLacombeComponent>{solvent}, SolventMixture{{1.0}, {}}, polymer, {kij},
                           std::move(pseudo));
}

PolydisperseSystem PolydisperseSystem::pcsaft(std::vector<PcSaftComponent> solvents, const SolventMixture &mixture,
                                              const PcSaftPolymer &polymer, std::vector<double> kij_polymer,
                                              std::vector<PseudoComponent> pseudo) {
    check_pseudo(pseudo);
    check_solvents(solvents.size(), mixture, kij_polymer.size());
    std::vector<PcSaftComponent> components = std::move(solvents);
    for (std::size_t i = 0; i < pseudo.size(); ++i)
        components.push_back({pseudo_name(polymer.name, i), pseudo[i].mw, polymer.segments_per_mw * pseudo[i].mw,
                              polymer.sigma, polymer.epsilon_k, polymer.mw_repeat});
    const std::size_t size = components.size();
    return PolydisperseSystem(Model::pcsaft(std::move(components), system_kij(size, mixture, kij_polymer)),
                              mixture.weight_fractions, std::move(pseudo));
}

PolydisperseSystem PolydisperseSystem::sanchez_lacombe(std::vector<SanchezLacombeComponent> solvents,
                                                       const SolventMixture &mixture,
                                                       const SanchezLacombeComponent &polymer,
                                                       std::vector<double> kij_polymer,
                                                       std::vector<PseudoComponent> pseudo) {
    check_pseudo(pseudo);
    check_solvents(solvents.size(), mixture, kij_polymer.size());
    std::vector<SanchezLacombeComponent> components = std::move(solvents);
    for (std::size_t i = 0; i < pseudo.size(); ++i) {
        SanchezLacombeComponent c = polymer;
        c.name = pseudo_name(polymer.name, i);
        c.mw = pseudo[i].mw;
        components.push_back(c);
    }
    const std::size_t size = components.size();
    return PolydisperseSystem(Model::sanchez_lacombe(std::move(components), system_kij(size, mixture, kij_polymer)),
                              mixture.weight_fractions, std::move(pseudo));
}

PolydisperseSystem PolydisperseSystem::pcsaft_copolymer(std::vector<PcSaftComponent> solvents,
                                                        const SolventMixture &mixture,
                                                        const PcSaftCopolymer &copolymer,
                                                        std::vector<double> kij_segments,
                                                        std::vector<PseudoComponent> pseudo) {
    check_pseudo(pseudo);
    check_solvents(solvents.size(), mixture, solvents.size());
    const std::size_t s = solvents.size(), k = copolymer.segments.size();
    if (k == 0) throw std::invalid_argument("a copolymer needs at least one segment type");
    if (!kij_segments.empty() && kij_segments.size() != s * k)
        throw std::invalid_argument("the copolymer's k_ij need one entry per solvent and segment type");
    std::vector<PcSaftAssocComponent> components;
    for (const PcSaftComponent &c : solvents) {
        PcSaftAssocComponent a;
        a.name = c.name;
        a.mw = c.mw;
        a.m = c.m;
        a.sigma = c.sigma;
        a.epsilon_k = c.epsilon_k;
        a.mw_apparent = c.mw_apparent;
        components.push_back(std::move(a));
    }
    const double repeat = copolymer_repeat_mw(copolymer);
    for (std::size_t i = 0; i < pseudo.size(); ++i) {
        PcSaftAssocComponent a;
        a.name = pseudo_name(copolymer.name, i);
        a.mw = pseudo[i].mw;
        a.mw_apparent = repeat;
        a.segments = copolymer.segments;
        components.push_back(std::move(a));
    }
    std::vector<PcSaftAssocBinary> binaries;
    for (std::size_t a = 0; a < s; ++a) {
        for (std::size_t b = a + 1; b < s; ++b)
            if (!mixture.kij.empty() && mixture.kij[a * s + b] != 0.0)
                binaries.push_back({solvents[a].name, solvents[b].name, mixture.kij[a * s + b]});
        for (std::size_t j = 0; j < k && !kij_segments.empty(); ++j)
            if (kij_segments[a * k + j] != 0.0)
                binaries.push_back({solvents[a].name, copolymer.segments[j].name, kij_segments[a * k + j]});
    }
    return PolydisperseSystem(Model::pcsaft_assoc(std::move(components), std::move(binaries)),
                              mixture.weight_fractions, std::move(pseudo));
}

std::vector<double> PolydisperseSystem::feed(double w) const {
    const std::size_t s = solvents();
    std::vector<double> x(size());
    double total = 0.0;
    for (std::size_t a = 0; a < s; ++a) {
        x[a] = (1.0 - w) * solvent_w_[a] / mw_[a];
        total += x[a];
    }
    for (std::size_t i = 0; i < pseudo_.size(); ++i) {
        x[s + i] = w * pseudo_[i].weight_fraction / mw_[s + i];
        total += x[s + i];
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
    out.dlnf_dp = v.dlnf_dv / v.dp_dv;
    return out.ln_f.allFinite() && out.dlnf_dn.allFinite() && out.dlnf_dt.allFinite() && out.dlnf_dp.allFinite();
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
    const std::size_t s = system.solvents();
    double total = 0.0, mass = 0.0, polymer_mass = 0.0, polymer_moles = 0.0, polymer_m2 = 0.0;
    for (std::size_t i = 0; i < n.size(); ++i) {
        total += n[i];
        mass += n[i] * mw[i];
        if (i >= s) {
            polymer_mass += n[i] * mw[i];
            polymer_moles += n[i];
            polymer_m2 += n[i] * mw[i] * mw[i];
        }
    }
    for (std::size_t i = 0; i < n.size(); ++i) {
        ph.x.push_back(n[i] / total);
        ph.w.push_back(n[i] * mw[i] / mass);
    }
    ph.w_polymer = polymer_mass / mass;
    for (std::size_t i = s; i < n.size(); ++i)
        ph.polymer.push_back({mw[i], n[i] * mw[i] / polymer_mass, n[i] / polymer_moles});
    ph.mn = polymer_mass / polymer_moles;
    ph.mw = polymer_m2 / polymer_mass;
    ph.rho = rho;
    ph.ln_f.assign(ln_f.begin(), ln_f.end());
    return ph;
}

}  // namespace detail
}  // namespace keld::equilibria
