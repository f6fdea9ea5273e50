// Request flags of a property monitor: 0 nothing, 1 value, 2 temperature
// derivative, 3 both. Any integer is accepted; the bit tests decide (5 asks
// only for the derivative, a negative flag for nothing).
#pragma once

#include <cstdint>

namespace keld {

struct Flag {
    bool value = false;       // (flag with bit value 2 cleared) == 1
    bool derivative = false;  // flag > 1
    bool any() const { return value || derivative; }

    static constexpr Flag decode(std::int64_t f) { return Flag{(f & ~std::int64_t{2}) == 1, f > 1}; }
};

struct Requests {
    Flag phi, h, s, g, v;

    static constexpr Requests decode(std::int64_t kphi, std::int64_t kh, std::int64_t ks, std::int64_t kg,
                                     std::int64_t kv) {
        return {Flag::decode(kphi), Flag::decode(kh), Flag::decode(ks), Flag::decode(kg), Flag::decode(kv)};
    }
    bool any() const { return phi.any() || h.any() || s.any() || g.any() || v.any(); }
    bool any_derivative() const {
        return phi.derivative || h.derivative || s.derivative || g.derivative || v.derivative;
    }
};

}  // namespace keld
