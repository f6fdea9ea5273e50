#include "saft/saft_arguments.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/messages.h"
#include "common/outputs.h"
#include "saft/missing_parameter.h"
#include "contributions/saft_dispersion.h"

namespace keld::saft {
namespace {

const host::RoutineId kRoutine("ESSA", "FT");
constexpr std::int64_t kSkipCheck = 100;       // HostGlobals(30): binary parameters already checked
constexpr std::int64_t kEnclosingCharacter = 16;  // HostErrorControl2 element around identifiers

bool finite_positive(double v) { return std::isfinite(v) && v > 0.0; }

// Both orders of a pair given (non-zero) and different: the first listed wins, with a message.
bool asymmetric(double first_second, double second_first) {
    return first_second != 0.0 && second_first != 0.0 && first_second != second_first;
}

void report_asymmetry(const host::Host &host, const SaftCall &c, std::string_view name, std::int64_t k,
                      std::int64_t l, double value) {
    if (host.global(30) == kSkipCheck) return;
    if (!messages::wanted(host, {kRoutine, 2, 1, host.global(11)})) return;
    const host::ComponentId a = identifier(c, k), b = identifier(c, l);
    const std::int64_t around = host.error_control2(kEnclosingCharacter);
    char format[200];
    std::snprintf(format, sizeof format,
                  "(6X,'%.*s BINARY PARAMETERS FOR COMPONENTS ',A1,2A4,A1,'-',A1,2A4,A1,/,"
                  "6X,'NOT SYMMETRIC (DATA SET ',I3,')','; VALUE ASSUMED = ',G10.3)",
                  static_cast<int>(name.size()), name.data());
    messages::write_and_print(host, format,
                              {around, std::string_view(a.data(), 4), std::string_view(a.data() + 4, 4), around,
                               around, std::string_view(b.data(), 4), std::string_view(b.data() + 4, 4), around,
                               c.kds, value});
}

}  // namespace

host::ComponentId identifier(const SaftCall &call, std::int64_t i) {
    host::ComponentId id;
    std::memcpy(id.data(), call.ids + 2 * (i - 1), 4);
    std::memcpy(id.data() + 4, call.ids + 2 * (i - 1) + 1, 4);
    return id;
}

bool arguments_usable(const host::Host &host, const SaftCall &c) {
    const std::int64_t nc = host.component_count();
    if (c.n > nc || !host.has_data_set(c.kds) || !finite_positive(c.t) || !finite_positive(c.p)) return false;
    for (std::int64_t k = 0; k < c.n; ++k) {
        const std::int64_t i = c.idx[k];
        if (i < 1 || i > nc) return false;
        if (!finite_positive(c.mw[i - 1]) || !finite_positive(c.mwn[k]) || !std::isfinite(c.x[k]) ||
            !std::isfinite(c.z[k]))
            return false;
    }
    return true;
}

void reject(const SaftCall &c) {
    const std::optional<host::Host> host = host::Host::current();
    mark_unavailable(c.rq, refused_positions(c.n, host ? host->component_count() : 0), c.out);
    *c.kstat = 0;
}

void complete_pure_parameters(const host::Host &host, const SaftCall &c) {
    struct Default {
        double *values;
        double value;
        std::int64_t number;
        std::string_view body;
    };
    const Default defaults[] = {
        {c.m, 3.5, 1, "6X,'SAFTM (DATA SET ',I3,') ','MISSING FOR COMPONENT ',2A4"},
        {c.v00, 0.012, 2, "6X,'SAFTV (DATA SET ',I3,') ','MISSING FOR COMPONENT ',2A4"},
        {c.u0, 210.0, 3, "6X,'SAFTU (DATA SET ',I3,') ','MISSING FOR COMPONENT ',2A4"},
    };
    messages::MissingParameterReport report(host, "ESSAFT");
    for (std::int64_t k = 0; k < c.n; ++k) {
        const std::int64_t i = c.idx[k];
        for (const Default &d : defaults) {
            // The vectors may be the host's own words, shared by concurrent calls: the default is
            // written once, and reported by the call that wrote it.
            if (!host::complete_word(&d.values[i - 1], host.missing(), d.value)) continue;
            const host::ComponentId id = identifier(c, i);
            report.issue({kRoutine, 1, d.number, c.kdiag}, d.body,
                         {c.kds, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4)});
        }
    }
}

bool energy_corrections_given(const host::Host &host, const SaftCall &c) {
    for (std::int64_t k = 0; k < c.n; ++k) {
        const std::int64_t i = c.idx[k];
        // Read after any completion of the word by a concurrent call of the stored-parameter monitor,
        // which may share it (HostOffsets1 879).
        if (!host.is_missing(host::settled_word(&c.e[i - 1]))) continue;
        report_missing_parameter(host, {kRoutine, kRefusalClass, kRefusalNumber, c.kdiag}, "ESSAFT", "SAFTE", c.kds,
                                 identifier(c, i));
        return false;
    }
    return true;
}

void cross_matrices_for_host(const host::Host &host, const SaftCall &c, const Parameters &par) {
    const std::int64_t nc = host.component_count();
    for (std::int64_t p = 0; p < c.n; ++p) {
        for (std::int64_t q = p; q < c.n; ++q) {
            const std::int64_t k = c.idx[p], l = c.idx[q];
            const std::int64_t kl = (l - 1) * nc + (k - 1), lk = (k - 1) * nc + (l - 1);
            if (p != q && asymmetric(par.kij[kl], par.kij[lk])) report_asymmetry(host, c, "SFTKIJ", k, l, par.kij[kl]);
            if (p != q && asymmetric(par.lij[kl], par.lij[lk])) report_asymmetry(host, c, "SFTLIJ", k, l, par.lij[kl]);
            const double u0 = cross_energy(par, k - 1, l - 1), m = cross_segment_number(par, k - 1, l - 1);
            for (const std::int64_t at : {kl, lk}) {
                host::publish_word(&c.u0_matrix[at], u0);
                host::publish_word(&c.m_matrix[at], m);
            }
        }
    }
}

}  // namespace keld::saft
