#include "saft/saft_arguments.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/messages.h"
#include "common/outputs.h"
#include "saft/missing_parameter.h"
#include "saft/saft_terms.h"

namespace keld::saft {
namespace {

const host::RoutineId kRoutine("ESSA", "FT");
constexpr std::int64_t kSkipCheck = 100;       // HostGlobals(30): binary parameters already checked
constexpr std::int64_t kEnclosingCharacter = 16;  // HostErrorControl2 element around identifiers

bool finite_positive(double v) { return std::isfinite(v) && v > 0.0; }

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
            if (!host.is_missing(d.values[i - 1])) continue;
            d.values[i - 1] = d.value;
            const host::ComponentId id = identifier(c, i);
            report.issue({kRoutine, 1, d.number, c.kdiag}, d.body,
                         {c.kds, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4)});
        }
    }
}

bool energy_corrections_given(const host::Host &host, const SaftCall &c) {
    for (std::int64_t k = 0; k < c.n; ++k) {
        const std::int64_t i = c.idx[k];
        if (!host.is_missing(c.e[i - 1])) continue;
        report_missing_parameter(host, {kRoutine, kRefusalClass, kRefusalNumber, c.kdiag}, "ESSAFT", "SAFTE", c.kds,
                                 identifier(c, i));
        return false;
    }
    return true;
}

void set_cross_matrices(const host::Host &host, const SaftCall &c) {
    const std::int64_t nc = host.component_count();
    const double *kij = c.kij + (c.kds - 1) * nc * nc;
    const double *lij = c.lij + (c.kds - 1) * nc * nc;
    for (std::int64_t p = 0; p < c.n; ++p) {
        for (std::int64_t q = p; q < c.n; ++q) {
            const std::int64_t k = c.idx[p], l = c.idx[q];
            const std::int64_t kl = (l - 1) * nc + (k - 1), lk = (k - 1) * nc + (l - 1);
            double k_value = 0.0, l_value = 0.0;
            if (p != q) {
                const terms::BinaryChoice kp = terms::choose_binary(kij[kl], kij[lk]);
                const terms::BinaryChoice lp = terms::choose_binary(lij[kl], lij[lk]);
                if (kp.conflict) report_asymmetry(host, c, "SFTKIJ", k, l, kp.value);
                if (lp.conflict) report_asymmetry(host, c, "SFTLIJ", k, l, lp.value);
                k_value = kp.value;
                l_value = lp.value;
            }
            c.u0_matrix[kl] = c.u0_matrix[lk] = terms::cross_energy(k_value, c.u0[k - 1], c.u0[l - 1]);
            c.m_matrix[kl] = c.m_matrix[lk] = terms::cross_segment_number(l_value, c.m[k - 1], c.m[l - 1]);
        }
    }
}

}  // namespace keld::saft
