// A binary parameter that follows a six-coefficient temperature table, in
// the form the reference host's table service documents
// (refhost/temperature_table.cpp):
//     k(T) = a + b/Tr + c ln Tr + d Tr + e Tr^2,   Tr = T / Tref,
// Tref = 298.15 K when not given; a missing coefficient counts as 0. The
// model evaluates it with its own number types, so that k_ij(T) enters every
// temperature derivative exactly.
#pragma once

#include <cmath>

namespace keld::model {

struct BinaryTable {
    double a = 0.0, b = 0.0, c = 0.0, d = 0.0, e = 0.0;
    double t_ref = 298.15;  // K

    static BinaryTable constant(double value) { return {value}; }

    bool varies() const { return b != 0.0 || c != 0.0 || d != 0.0 || e != 0.0; }

    // The same sums in the same order as the host's service.
    template <class S>
    S at(const S &t) const {
        using std::log;
        if (!varies()) return S(a);
        const S tr = t / t_ref;
        S k = S(a);
        if (b != 0.0) k = k + b / tr;
        if (c != 0.0) k = k + c * log(tr);
        if (d != 0.0) k = k + d * tr;
        if (e != 0.0) k = k + e * tr * tr;
        return k;
    }

    // From the six stored words (a, b, c, d, e, Tref), with the host's
    // missing-value marker counted as 0 (and as no Tref).
    static BinaryTable from_words(const double *w, double missing) {
        auto word = [&](int k) { return w[k] == missing ? 0.0 : w[k]; };
        BinaryTable table{word(0), word(1), word(2), word(3), word(4)};
        const double t_ref = word(5);
        if (t_ref > 0.0 && std::isfinite(t_ref)) table.t_ref = t_ref;
        return table;
    }
};

}  // namespace keld::model
