#include "cubic/cubic_defaults.h"

#include <atomic>
#include <string_view>

#include "common/messages.h"
#include "common/monitor_call.h"
#include "cubic/cubic_store.h"

namespace keld::cubic {
namespace {

const host::RoutineId kRoutine("ES40", "");
constexpr std::int64_t kWordC = 20;  // HostErrorControl2 element handed to the check

// The defaults of n-hexane, as single-precision values where the model keeps them so.
constexpr double kDefaultTc = 507.4;
constexpr double kDefaultPc = 2968820.0;
constexpr double kDefaultOmega = static_cast<double>(0.296f);
constexpr double kDefaultComponentConstant = static_cast<double>(0.110549f);
constexpr double kDefaultPairConstant = 2740830.0;

struct Missing {
    std::int64_t number;
    std::string_view body;
};
constexpr Missing kTc{1, "6X,'TCRKS AND ITS DEFAULT TC (DATA SET ',I3,') ','MISSING FOR COMPONENT ',2A4"};
constexpr Missing kPc{2, "6X,'PCRKS AND ITS DEFAULT PC (DATA SET ',I3,') ','MISSING FOR COMPONENT ',2A4"};
constexpr Missing kOmega{3,
                         "6X,'OMGRKS AND ITS DEFAULT OMEGA (DATA SET ',I3,') ','MISSING FOR COMPONENT ',2A4"};

void warn(messages::MissingParameterReport &report, const host::Host &host, const CubicCall &call,
          const Missing &m, std::int64_t component) {
    host.set_error_control2(kWordC, 0);
    const messages::CheckSite site{kRoutine, 1, m.number, call.base.kdiag, 0, 1, host.error_control2(kWordC)};
    const host::ComponentId id = host.identifier(component);
    if (report.issue(site, m.body,
                     {call.base.kds, std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4)}))
        host.set_error_control2(kWordC, 0);
}

}  // namespace

std::optional<PureBlocks> PureBlocks::locate(const host::Host &host, std::int64_t kds) {
    using namespace elements;
    const std::int64_t nc = host.component_count();
    PureBlocks b{host.offsets1(kCriticalTemperature), host.offsets1(kCriticalPressure),
                 host.offsets1(kAcentricFactor),      host.offsets1(kMolecularWeight),
                 host.offsets1(kCheckMarker),         host.offsets1(kComponentConstant),
                 host.offsets1(kPairConstant),        host.offsets1(kAlphaRecord)};
    const bool required = unary_block_in_store(host, b.tc, kds) && unary_block_in_store(host, b.pc, kds) &&
                          unary_block_in_store(host, b.omega, kds) && unary_block_in_store(host, b.marker, kds) &&
                          unary_block_in_store(host, b.mw, 1);
    if (!required) return std::nullopt;
    if (!unary_block_in_store(host, b.component_constant, kds)) b.component_constant = 0;
    if (!binary_block_in_store(host, b.pair_constant, kds)) b.pair_constant = 0;
    if (!(b.alpha_record > 0 && host.in_store(b.alpha_record + 3 * (kds - 1) * nc + 1, 3 * nc))) b.alpha_record = 0;
    return b;
}

void complete_defaults(const host::Host &host, const CubicCall &call, const PureBlocks &b,
                       const host::RoutineId &name) {
    const MonitorCall &c = call.base;
    const std::int64_t d = c.kds;
    const std::int64_t d0 = (d - 1) * host.component_count();
    char name_text[8];
    model_name_text(name, name_text);
    messages::MissingParameterReport report(host, std::string_view(name_text, 8));
    // The words are the host's, shared by concurrent calls: each default is
    // written once, by the call that finds the word missing first (which
    // reports it), and every call reads the parameters after that store. The
    // check marker is set after the defaults, so that a call seeing it set
    // also sees them.
    auto fill = [&](std::int64_t pos, double value) {
        return host.in_store(pos, 1) && host::complete_word(host.word(pos), host.missing(), value);
    };
    for (std::int64_t k = 0; k < c.n; ++k) {
        const std::int64_t i = c.idx[k];
        const std::int64_t marker = b.marker + d0 + i;
        if (host::settled_word(host.word(marker)) == 1.0) continue;
        if (fill(b.tc + d0 + i, kDefaultTc)) warn(report, host, call, kTc, i);
        if (fill(b.pc + d0 + i, kDefaultPc)) warn(report, host, call, kPc, i);
        const bool record_given = b.alpha_record && !host.is_missing(host.real(b.alpha_record + 3 * (d0 + i) - 2));
        if ((call.keosopt != 2 || !record_given) && fill(b.omega + d0 + i, kDefaultOmega))
            warn(report, host, call, kOmega, i);
        if (b.component_constant) fill(b.component_constant + d0 + i, kDefaultComponentConstant);
        if (b.pair_constant)
            for (std::int64_t l = 0; l < c.n; ++l)
                fill(host.binary_pos(b.pair_constant, d, c.idx[l], i), kDefaultPairConstant);
        std::atomic_ref<double>(*host.word(marker)).store(1.0, std::memory_order_release);
    }
}

}  // namespace keld::cubic
