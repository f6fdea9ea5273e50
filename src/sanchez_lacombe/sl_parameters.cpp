#include "sanchez_lacombe/sl_parameters.h"

#include "common/monitor_call.h"

namespace keld::sanchez_lacombe {

std::optional<ParameterBlocks> ParameterBlocks::locate(const host::Host &host, std::int64_t kds) {
    ParameterBlocks b;
    b.t_star = host.param_offset("SLTSTR");
    b.p_star = host.param_offset("SLPSTR");
    b.rho_star = host.param_offset("SLRSTR");
    b.kij = host.param_offset("SLKIJ");
    b.eta = host.param_offset("SLETIJ");
    b.t_work = host.param_offset("TSTARL");
    b.p_work = host.param_offset("PSTARL");
    b.rho_work = host.param_offset("DSTARL");
    b.mw = host.param_offset("MW");
    b.source = host.offsets1(kSourceFlagsElement);
    const bool ok = unary_block_in_store(host, b.t_star, kds) && unary_block_in_store(host, b.p_star, kds) &&
                    unary_block_in_store(host, b.rho_star, kds) && unary_block_in_store(host, b.source, kds) &&
                    binary_block_in_store(host, b.kij, kds) && binary_block_in_store(host, b.eta, kds) &&
                    unary_block_in_store(host, b.t_work, 1) && unary_block_in_store(host, b.p_work, 1) &&
                    unary_block_in_store(host, b.rho_work, 1) && unary_block_in_store(host, b.mw, 1);
    if (!ok) return std::nullopt;
    return b;
}

}  // namespace keld::sanchez_lacombe
