// A short array of numbers for one evaluation of a model: on the stack up to
// kInline elements (every mixture of a dozen components), on the heap beyond.
// The model layer evaluates its families millions of times per second; an
// allocation per evaluation would cost more than the arithmetic.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace keld::model {

template <class S, std::size_t kInline = 16>
class Scratch {
  public:
    explicit Scratch(std::size_t n) : n_(n) {
        if (n > kInline) heap_.resize(n);
    }
    S *data() { return n_ > kInline ? heap_.data() : inline_.data(); }
    const S *data() const { return n_ > kInline ? heap_.data() : inline_.data(); }
    S &operator[](std::size_t k) { return data()[k]; }
    const S &operator[](std::size_t k) const { return data()[k]; }
    std::size_t size() const { return n_; }

  private:
    std::size_t n_;
    std::array<S, kInline> inline_{};
    std::vector<S> heap_;
};

}  // namespace keld::model
