#include "numerics/numerics.h"

namespace keld::refhost::numerics {

std::int64_t component_vector(const std::int64_t *value, const std::int64_t *vector, const std::int64_t *n) {
    if (value == nullptr || vector == nullptr || n == nullptr) return 0;
    for (std::int64_t k = 0; k < *n; ++k)
        if (vector[k] == *value) return k + 1;
    return 0;
}

}  // namespace keld::refhost::numerics
