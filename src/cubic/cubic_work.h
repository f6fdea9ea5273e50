// The cubic monitor's work area: a run of store words handed out in order.
// Its size for NC components and NS UNIFAC subgroups is words(NC, NS); every
// piece of the calculation takes its arrays from here, so nothing is
// allocated on the heap and nothing is written past the area.
#pragma once

#include <cstdint>
#include <new>

#include "cubic/jet.h"

namespace keld::cubic {

class WorkArea {
public:
    static std::int64_t words(std::int64_t nc, std::int64_t ns) {
        return 34 * nc + 6 * nc * nc + ns * (4 * nc + 16) + 3 * ns * ns + 8;
    }

    WorkArea(double *base, std::int64_t words) : next_(base), left_(words) {}

    // `count` doubles (zeroed), or nullptr when the area is exhausted.
    double *reals(std::int64_t count) { return take<double>(count, 1); }
    // `count` Jets (zeroed), three words each.
    Jet *jets(std::int64_t count) { return take<Jet>(count, 3); }
    bool exhausted() const { return exhausted_; }

private:
    template <class T>
    T *take(std::int64_t count, std::int64_t words_each) {
        const std::int64_t need = count * words_each;
        if (count < 0 || need > left_) {
            exhausted_ = true;
            return nullptr;
        }
        double *start = next_;
        next_ += need;
        left_ -= need;
        static_assert(sizeof(T) % sizeof(double) == 0);
        T *first = reinterpret_cast<T *>(start);
        for (std::int64_t k = 0; k < count; ++k) new (start + k * words_each) T{};
        return count ? std::launder(first) : first;
    }

    double *next_;
    std::int64_t left_;
    bool exhausted_ = false;
};

}  // namespace keld::cubic
