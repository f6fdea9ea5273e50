#include "cubic/mixing_rules.h"

namespace keld::cubic {

void van_der_waals_rule(const RuleInputs &in, const double *kij, MixtureConstants &out) {
    const std::int64_t n = in.n;
    const double *x = in.x;
    Jet *root = out.d_i;  // sqrt(a_i), overwritten below
    for (std::int64_t i = 0; i < n; ++i) root[i] = sqrt(in.a[i]);
    out.b = Jet();
    for (std::int64_t i = 0; i < n; ++i) {
        out.b += x[i] * in.b[i];
        out.b_i[i] = Jet(in.b[i]);
    }
    // First sum_j x_j a_ij into b_i's slots, then D and D_i from them.
    out.d = Jet();
    for (std::int64_t i = 0; i < n; ++i) {
        Jet sum;
        for (std::int64_t j = 0; j < n; ++j) {
            if (x[j] == 0.0) continue;
            sum += (x[j] * (1.0 - kij[i + n * j])) * root[j];
        }
        out.b_i[i] = sum * root[i];  // temporarily sum_j x_j a_ij
    }
    for (std::int64_t i = 0; i < n; ++i) {
        out.d += x[i] * out.b_i[i];
        out.d_i[i] = 2.0 * out.b_i[i];
        out.b_i[i] = Jet(in.b[i]);
    }
}

}  // namespace keld::cubic
