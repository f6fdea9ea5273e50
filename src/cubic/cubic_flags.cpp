#include "cubic/cubic_flags.h"

namespace keld::cubic {

void write_eos_log(const host::Host &host, const Requests &rq) {
    using host::logical;
    auto set = [&](std::int64_t element, bool on) { host.set_eos_log(element, logical(on)); };
    set(1, rq.phi.value);
    set(2, rq.phi.derivative);
    set(3, rq.h.value);
    set(4, rq.h.derivative);
    set(5, rq.g.value);
    set(6, rq.g.derivative);
    set(7, rq.s.value);
    set(8, rq.s.derivative);
    set(9, rq.v.value);
    set(24, rq.v.derivative);
    const bool any_derivative =
        rq.phi.derivative || rq.h.derivative || rq.g.derivative || rq.s.derivative || rq.v.derivative;
    set(10, any_derivative);
    set(11, rq.h.derivative || rq.s.derivative);
    set(12, any_derivative || rq.h.value || rq.s.value);
    for (std::int64_t e = 13; e <= 22; ++e) set(e, false);
}

}  // namespace keld::cubic
