#include "pcsaft_assoc/pcsaf_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "common/monitor_call.h"
#include "keld/keld.h"

namespace keld::pcsaf {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kSkipDefaults = 100;  // HostGlobals(30)

// HostOffsets1 elements.
constexpr std::int64_t kMolecularWeight = 306, kCriticalPressure = 326, kCriticalTemperature = 416;
constexpr std::int64_t kSegmentNumber = 884, kSegmentDiameter = 885, kSegmentEnergy = 886;
constexpr std::int64_t kKijTable = 890, kKijResult = 1441, kLijTable = 1597, kLijResult = 1604;

// Pseudo-data temperatures and pressures.
constexpr double kSixtyF = 288.70555;  // K
constexpr double kRoomT = 298.15;      // K
constexpr double kAtmosphere = 101325.0;
constexpr double kCompression = 1.1;  // liquid points above 1 atm: P = Psat^1.1
// Reduced temperatures of the vapour-pressure points; the first as the single-precision literal.
constexpr std::array<double, kVapourPoints> kReducedT{static_cast<double>(0.55f), 0.65, 0.75, 0.85, 0.95};
constexpr double kVapourWeight = 0.001;
constexpr double kLiquidLikeZ = 0.3;  // compressibility factor below which a lone root is a liquid
constexpr int kSaturationSteps = 40;
constexpr double kLowestSearchPressure = 1e-3;  // Pa
constexpr double kSaturationTolerance = 1e-10;  // in ln P

// Solver call.
constexpr std::int64_t kIterations = 100;
constexpr std::array<double, 8> kSettings{1, 0.1, 1.0e-6, 0, 1, 1, 1.0e-4, 2};
constexpr double kRetryTolerance = 1.0e-5;
constexpr double kUpperBound = 1000.0, kTypical = 10.0;

// KELD_PCSAF0's work for one component (its query answers 13 + 39 + 16 + 28 + 32 words).
constexpr std::int64_t kMonitorWork = 512;

bool usable(double v) { return std::isfinite(v); }

struct NobleGas {
    std::string_view id;
    double m;
};
constexpr std::array<NobleGas, 4> kNobleGases{{{"HE-4", 0.5}, {"KR", 2.0}, {"NE", 0.75}, {"XE", 3.0}}};
constexpr double kNobleEnergy = 122.32, kNobleDiameter = 3.484;

std::optional<double> noble_gas_segment_number(const host::ComponentId &id) {
    std::string_view s(id.data(), id.size());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    for (const NobleGas &g : kNobleGases)
        if (s == g.id) return g.m;
    return std::nullopt;
}

// A per-component value of the host by name or element (NaN when the host has none).
double component_value(const host::Host &host, std::int64_t base, std::int64_t i) {
    if (base < 1 || !host.in_store(base + i, 1)) return kNaN;
    const double v = host.real(base + i);
    return host.is_missing(v) ? kNaN : v;
}
double named_value(const host::Host &host, std::string_view name, std::int64_t i) {
    return component_value(host, host.param_offset(name), i);
}

// The fit's view of one component: fixed inputs of the monitor and where the unknowns go.
struct FitProblem {
    const host::Host *host;
    std::int64_t data_set;
    PseudoData data;
    double mw, tc, pc;
    std::int64_t site_type = 0;
    double eps_ab, kappa_ab, dipole, dipolar_fraction;
    std::array<double, 3> parameters{};  // m, sigma, eps/k
    std::array<std::int64_t, 3> unknown{-1, -1, -1};
    std::array<double, kMonitorWork> work{};
};

struct Phase {
    bool ok;
    double ln_phi, v;
};

Phase evaluate(FitProblem &f, double t, double p, std::int64_t phase) {
    const std::int64_t one = 1, yes = 1, no = 0, kdiag = 0, lseg = 1, iseg = 1, method = 2, unit = 99;
    const std::int64_t kopt[3] = {0, 0, 0};
    const std::int64_t lwork = kMonitorWork;
    const double tolerance = 0.0, wseg = 0.0;
    const double kij[6] = {0, 0, 0, 0, 0, 0}, lij[4] = {0, 0, 0, 0};
    std::int64_t status = 0;
    double ln_phi = kNaN, h = 0, s = 0, g = 0, v = kNaN, rho = 0.0;
    double dphi = 0, dh = 0, ds = 0, dg = 0, dv = 0;
    KELD_PCSAF0(&t, &p, &one, &one, &phase, &yes, &no, &no, &no, &yes, &kdiag, kopt, &status, &one, &f.mw, &f.tc,
                &f.pc, &f.data_set, &f.parameters[0], &f.parameters[1], &f.parameters[2], &f.site_type, &f.eps_ab,
                &f.kappa_ab, &f.dipole, &f.dipolar_fraction, &ln_phi, &h, &s, &g, &v, &dphi, &dh, &ds, &dg, &dv,
                nullptr, &lseg, &iseg, &wseg, kij, lij, &tolerance, &method, &unit, &rho, &lwork, f.work.data(),
                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    return {status == 1 && usable(ln_phi) && usable(v) && v > 0.0, ln_phi, v};
}

// The model's vapour pressure at T, searched from P: Newton steps on ln P with
// d ln(phi_L/phi_V)/d ln P = Z_L - Z_V where both roots exist, kept inside a bracket of pressures
// known to lie below it (phi_L > phi_V, or only a vapour-like root) and above it (phi_L < phi_V, or
// only a liquid-like root). 0 when there is none (T above the model's critical temperature, where
// the bracket closes without two roots) or the search does not settle.
double model_vapour_pressure(FitProblem &f, double t, double p) {
    const double rt = f.host->gas_constant() * t;
    double low = 0.0, high = std::numeric_limits<double>::infinity();
    for (int k = 0; k < kSaturationSteps; ++k) {
        const Phase liquid = evaluate(f, t, p, 2), vapour = evaluate(f, t, p, 1);
        if (!liquid.ok && !vapour.ok) return 0.0;
        const double z_l = p * liquid.v / rt, z_v = p * vapour.v / rt;
        double next = 0.0;
        const bool vapour_like = vapour.ok && z_v >= kLiquidLikeZ, liquid_like = liquid.ok && z_l < kLiquidLikeZ;
        if (!vapour_like || !liquid_like) {
            // Only one kind of root: it tells on which side of the vapour pressure P lies.
            (vapour_like || (liquid.ok && !liquid_like)) ? low = p : high = p;
        } else {
            const double step = liquid.ln_phi - vapour.ln_phi;
            (step > 0.0 ? low : high) = p;
            // Settled, or pressed between bounds closer than the noise of ln phi allows to resolve.
            if (std::fabs(step) < kSaturationTolerance || high - low <= kSaturationTolerance * p) return p;
            next = p * std::exp(step / (z_v - z_l));
            // Far below any pressure the monitor evaluates (its ideal-gas exit lies at 5.5e-5 Pa)
            // the vapour is ideal and the liquid incompressible: the step is the answer.
            if (next < kLowestSearchPressure) return next;
        }
        if (!(next > low && next < high))
            next = std::isfinite(high) ? (low > 0.0 ? std::sqrt(low * high) : 0.25 * high) : 4.0 * p;
        p = next;
    }
    return 0.0;
}

// The model function of the fit: for every point the model value whose target the pseudo-data give.
void fit_model(const double *x, const std::int64_t *n_points, double *values, void *context) {
    FitProblem &f = *static_cast<FitProblem *>(context);
    const double marker = f.host->missing();
    for (std::size_t k = 0; k < 3; ++k)
        if (f.unknown[k] >= 0) f.parameters[k] = x[f.unknown[k]];
    for (std::int64_t k = 0; k < *n_points && k < f.data.n; ++k) {
        const double t = f.data.t[k], p = f.data.pressure[k];
        const Phase liquid = evaluate(f, t, p, 2);
        if (k >= f.data.n_vapour) {
            values[k] = liquid.ok ? liquid.v : marker;
            continue;
        }
        if (!liquid.ok) {
            values[k] = marker;
            continue;
        }
        const Phase vapour = evaluate(f, t, p, 1);
        // The fugacity ratio phi_L/phi_V is about Psat(model)/P; it enters as 1 + ln(phi_L/phi_V),
        // which equals it to first order at the solution but does not flatten to 0 when the
        // model's vapour pressure is orders of magnitude off (a fit from a distant start stalls
        // on the ratio itself).
        if (vapour.ok && liquid.v < vapour.v * (1.0 - 1e-6)) {
            values[k] = 1.0 + (liquid.ln_phi - vapour.ln_phi);
            continue;
        }
        // No vapour root distinct from the liquid. A liquid-like root means the model's vapour
        // pressure lies far below P: its vapour would be a nearly ideal gas (ln phi_V = 0), and
        // ln phi_L, about ln(Psat(model)/P), tells the fit which way to go.
        const double z = p * liquid.v / (f.host->gas_constant() * t);
        if (z < kLiquidLikeZ) {
            values[k] = 1.0 + liquid.ln_phi;
            continue;
        }
        // A lone vapour-like root: the model is too volatile for a liquid at P. Its own vapour
        // pressure, when it has one at T, continues the measure: 1 + ln(Psat(model)/P).
        const double p_sat = model_vapour_pressure(f, t, p);
        values[k] = p_sat > 0.0 ? 1.0 + std::log(p_sat / p) : marker;
    }
}

double m_start(double mw) { return mw < 60.0 ? 2.0 : 10.0; }

}  // namespace

ComponentCorrelations read_correlations(const host::Host &host, std::int64_t i) {
    ComponentCorrelations c{};
    c.mw = component_value(host, host.offsets1(kMolecularWeight), i);
    c.tc = component_value(host, host.offsets1(kCriticalTemperature), i);
    c.pc = component_value(host, host.offsets1(kCriticalPressure), i);
    c.tb = named_value(host, "TB", i);
    // Vapour pressure: VPC1..VPC7 (VPC8, VPC9 are its validity range, not needed for the points).
    static constexpr std::array<std::string_view, 7> vp{"VPC1", "VPC2", "VPC3", "VPC4", "VPC5", "VPC6", "VPC7"};
    for (std::size_t k = 0; k < vp.size(); ++k) {
        const double v = named_value(host, vp[k], i);
        c.vapour_pressure[k] = usable(v) ? v : 0.0;
    }
    c.has_vapour_pressure = usable(named_value(host, "VPC1", i)) && usable(named_value(host, "VPC2", i));

    using Kind = LiquidVolumeSource::Kind;
    LiquidVolumeSource &l = c.liquid;
    l.gas_constant = host.gas_constant();
    static constexpr std::array<std::string_view, 7> ld{"LDC1", "LDC2", "LDC3", "LDC4", "LDC5", "LDC6", "LDC7"};
    std::array<double, 7> coefficient{};
    for (std::size_t k = 0; k < ld.size(); ++k) coefficient[k] = named_value(host, ld[k], i);
    const double selector = named_value(host, "LDSEL", i);
    const long form = usable(selector) ? std::lround(selector) : 0;
    const double zra1 = named_value(host, "ZRA1", i);
    const double z_ra = usable(zra1) ? zra1 : named_value(host, "ZRA2", i);
    if (form == 105 && usable(coefficient[0]) && usable(coefficient[1]) && usable(coefficient[2]) &&
        usable(coefficient[3])) {
        l.kind = Kind::dippr105;
        l.c = {coefficient[0], coefficient[1], coefficient[2], coefficient[3], coefficient[5]};  // T_max: LDC6
    } else if (form == 302 && usable(coefficient[0]) && usable(coefficient[1]) && usable(coefficient[2]) &&
               usable(coefficient[3])) {
        l.kind = Kind::rackett_own_factor;
        l.c = {coefficient[0], coefficient[1], coefficient[2], coefficient[3], 0.0};
    } else if (form == 514 && usable(coefficient[0]) && usable(coefficient[1]) && usable(coefficient[2])) {
        l.kind = Kind::rackett_own_critical;
        l.c = {coefficient[0], coefficient[1], coefficient[2], 0.0, 0.0};
    } else if (form != 105 && form != 302 && form != 514 && usable(c.tc) && usable(c.pc) && usable(z_ra)) {
        l.kind = Kind::rackett;
        l.c = {c.tc, c.pc, z_ra, 0.0, 0.0};
    }
    const double v_std = named_value(host, "VSTD", i);
    c.standard_volume = usable(v_std) ? v_std : standard_liquid_volume(c.mw, named_value(host, "SG", i));
    return c;
}

PseudoData pseudo_data(const ComponentCorrelations &c) {
    PseudoData d;
    if (!c.has_vapour_pressure || !usable(c.tc) || !(c.tc > 0.0)) return d;
    for (double tr : kReducedT) {
        const double t = tr * c.tc, ln_p = extended_log_vapour_pressure(c.vapour_pressure, t);
        if (!usable(ln_p)) continue;
        d.t[d.n] = t;
        d.pressure[d.n] = std::exp(ln_p);
        d.target[d.n] = 1.0;
        d.weight[d.n] = kVapourWeight;
        ++d.n;
    }
    d.n_vapour = d.n;
    if (d.n == 0) return d;
    const bool source = c.liquid.kind != LiquidVolumeSource::Kind::none;
    auto add_volume = [&](double t, double v) {
        if (!usable(v) || !(v > 0.0)) return;
        const double ln_p = extended_log_vapour_pressure(c.vapour_pressure, t);
        const double p_sat = usable(ln_p) ? std::exp(ln_p) : kNaN;
        d.t[d.n] = t;
        d.pressure[d.n] = p_sat > kAtmosphere ? std::exp(kCompression * ln_p) : kAtmosphere;
        d.target[d.n] = v;
        d.weight[d.n] = -v;
        ++d.n;
    };
    if (c.tc > kSixtyF) {
        const double v = usable(c.standard_volume) ? c.standard_volume : kNaN;
        add_volume(kSixtyF, usable(v) ? v : (source ? liquid_volume(c.liquid, kSixtyF) : kNaN));
    }
    if (source && c.tc > kRoomT) add_volume(kRoomT, liquid_volume(c.liquid, kRoomT));
    if (source && usable(c.tb) && c.tb < c.tc) add_volume(c.tb, liquid_volume(c.liquid, c.tb));
    return d;
}

FitOutcome fit_component(const host::Host &host, std::int64_t d, std::int64_t i) {
    FitOutcome out;
    const std::int64_t pos[3] = {host.unary_pos(host.offsets1(kSegmentNumber), d, i),
                                 host.unary_pos(host.offsets1(kSegmentDiameter), d, i),
                                 host.unary_pos(host.offsets1(kSegmentEnergy), d, i)};
    for (std::size_t k = 0; k < 3; ++k) out.values[k] = host.real(pos[k]);
    if (host.is_polymer_or_oligomer(i)) return out;
    const auto missing = [&](std::size_t k) { return host.is_missing(out.values[k]); };
    if (!host.is_segment(i) && missing(0)) {
        if (const auto m = noble_gas_segment_number(host.identifier(i))) {
            out.values = {*m, kNobleDiameter, kNobleEnergy};
            for (std::size_t k = 0; k < 3; ++k) host.set_real(pos[k], out.values[k]);
            out.kind = FitOutcome::Kind::noble_gas;
            return out;
        }
    }
    if (!missing(0) && !missing(1) && !missing(2)) return out;

    const ComponentCorrelations c = read_correlations(host, i);
    out.data = pseudo_data(c);
    if (out.data.n_vapour == 0) {
        out.kind = FitOutcome::Kind::no_data;
        return out;
    }

    FitProblem f;
    f.host = &host;
    f.data_set = d;
    f.data = out.data;
    f.mw = usable(c.mw) ? c.mw : host.missing();
    f.tc = usable(c.tc) ? c.tc : host.missing();
    f.pc = usable(c.pc) ? c.pc : host.missing();
    const auto unary_named = [&](std::string_view name) {
        const std::int64_t b = host.param_offset(name);
        return b > 0 ? host.real(host.unary_pos(b, d, i)) : host.missing();
    };
    const double type = unary_named("PCSATY");
    f.site_type = host.is_missing(type) || !usable(type) ? 0 : static_cast<std::int64_t>(std::lround(type));
    f.eps_ab = unary_named("PCSAEP");
    f.kappa_ab = unary_named("PCSAKP");
    f.dipole = unary_named("PCSAMU");
    f.dipolar_fraction = unary_named("PCSAXP");
    f.parameters = out.values;

    // Unknowns in the order m, eps/k, sigma.
    std::array<double, 3> x{}, lower{}, upper{}, typical{};
    std::int64_t n = 0;
    const auto add_unknown = [&](std::size_t k, double start, double bound) {
        f.unknown[k] = n;
        x[n] = start;
        lower[n] = bound;
        upper[n] = kUpperBound;
        typical[n] = kTypical;
        out.fitted[k] = true;
        ++n;
    };
    if (missing(0)) add_unknown(0, m_start(c.mw), 1.0);
    if (missing(2)) add_unknown(2, 300.0, 100.0);
    if (missing(1)) add_unknown(1, 3.0, 2.0);
    for (std::size_t k = 0; k < 3; ++k)
        if (f.unknown[k] >= 0) f.parameters[k] = x[f.unknown[k]];

    const keld_host &table = host.table();
    if (!table.bounded_least_squares) {
        out.kind = FitOutcome::Kind::refused;
        return out;
    }
    const std::int64_t m = out.data.n, iterations = kIterations;
    std::array<double, (3 + 4) * kMaxFitPoints + 9 + 18> work{};
    const std::int64_t words = static_cast<std::int64_t>(work.size());
    const double marker = host.missing();
    std::array<double, 8> settings = kSettings;
    const auto solve = [&](std::int64_t &status) {
        table.bounded_least_squares(&n, &m, x.data(), out.data.target.data(), out.data.weight.data(), fit_model, &f,
                                    &iterations, settings.data(), lower.data(), upper.data(), typical.data(),
                                    &marker, work.data(), &words, &status);
    };
    solve(out.status);
    if (out.status == 1) {
        settings[0] = 0.0;
        settings[2] = kRetryTolerance;
        solve(out.retry_status);
    }
    const std::int64_t final_status = out.retry_status >= 0 ? out.retry_status : out.status;
    // A refused call has no result: the parameters stay missing rather than take the start values.
    if (final_status < 0 || final_status > 2) {
        out.kind = FitOutcome::Kind::refused;
        return out;
    }
    for (std::size_t k = 0; k < 3; ++k) {
        if (f.unknown[k] < 0) continue;
        out.values[k] = x[f.unknown[k]];
        host.set_real(pos[k], out.values[k]);
    }
    f.parameters = out.values;
    fit_model(x.data(), &m, out.model.data(), &f);
    out.kind = FitOutcome::Kind::fitted;
    return out;
}

void fit_missing_parameters(std::int64_t data_sets) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found || data_sets < 1 || found->global(30) == kSkipDefaults) return;
    const host::Host &host = *found;
    const std::int64_t nc = host.component_count();
    for (std::int64_t d = 1; d <= data_sets && host.has_data_set(d); ++d) {
        if (!unary_block_in_store(host, host.offsets1(kSegmentNumber), d) ||
            !unary_block_in_store(host, host.offsets1(kSegmentDiameter), d) ||
            !unary_block_in_store(host, host.offsets1(kSegmentEnergy), d))
            return;
        for (std::int64_t i = 1; i <= nc; ++i) fit_component(host, d, i);
    }
}

void hand_over_binary_tables(std::int64_t data_sets) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found || !found->table().temp_param) return;
    const host::Host &host = *found;
    std::int64_t nc = host.component_count();
    struct Table {
        std::int64_t table, result, coefficients, form;
    };
    const Table tables[2] = {{host.offsets1(kKijTable), host.offsets1(kKijResult), 6, 5},
                             {host.offsets1(kLijTable), host.offsets1(kLijResult), 4, 3}};
    for (std::int64_t d = 1; d <= data_sets && host.has_data_set(d); ++d) {
        for (Table t : tables) {
            if (t.table < 1 || t.result < 1) continue;
            if (!binary_block_in_store(host, t.table, d, t.coefficients) || !unary_block_in_store(host, t.result, d))
                continue;
            std::int64_t option = 1;
            host.table().temp_param(&t.coefficients, &nc, host.word(t.table + t.coefficients * nc * nc * (d - 1) + 1),
                                    &t.form, &option, host.word(t.result + nc * (d - 1) + 1));
        }
    }
}

}  // namespace keld::pcsaf
