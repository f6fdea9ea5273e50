// An independent oracle of the density roots a monitor's model has. Installed
// in place of the host's root routines, it answers the monitor's conversation
// with a scan: P and dP/dV on 1500 volumes from just above V_cp to far beyond
// the ideal-gas volume (uniform in ln(V/V_cp - 1)), 24 more inside every cell
// whose slopes allow a hidden pair of crossings, bisection of every sign change
// of P(V) - P to 1e-14 (noting which are stable, where P(V) - P falls through
// 0 as V grows), then state 5. It reaches the model only through the
// exported monitor and the root protocol, so it serves every family whose
// monitor uses the host's root routines. One oracle at a time.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "keld/refhost.h"

namespace keld::testing {

class RootOracle {
public:
    explicit RootOracle(refhost::ReferenceHost &host) : host_(host) {
        active() = this;
        keld_host table = host.table();
        table.vapor_root = table.liquid_root = &callback;
        host.install(table);
    }
    ~RootOracle() {
        active() = nullptr;
        host_.install();
    }
    RootOracle(const RootOracle &) = delete;
    RootOracle &operator=(const RootOracle &) = delete;

    // The roots of the last conversation, ascending.
    const std::vector<double> &roots() const { return roots_; }
    // The close-packed volume the last conversation was opened with.
    double close_packed() const { return vcp_; }
    // Its stable roots (P(V) - P falls through 0 as V grows) above v_lowest, ascending.
    std::vector<double> stable_roots_above(double v_lowest) const {
        std::vector<double> out;
        for (std::size_t k = 0; k < roots_.size(); ++k)
            if (falling_[k] && roots_[k] > v_lowest) out.push_back(roots_[k]);
        return out;
    }

private:
    struct Sample {
        double v, f, slope;  // f = P(V) - P
    };

    static RootOracle *&active() {
        static RootOracle *oracle = nullptr;
        return oracle;
    }

    static void callback(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *, const double *,
                         const double *t, const double *p, double *v, double *p_calc, double *dpdv, const char *,
                         const std::int64_t *) {
        RootOracle &o = *active();
        if (*state == 4) o.open(*vcp, *t, *p);
        else o.record({*v, *p_calc - o.p_, *dpdv});
        const double next = o.next();
        *mode = 1;
        *state = next > 0.0 ? 3 : 5;
        if (next > 0.0) *v = next;
    }

    void open(double vcp, double t, double p) {
        p_ = p;
        vcp_ = vcp;
        refined_ = false;
        pending_.clear(), samples_.clear(), brackets_.clear(), roots_.clear(), falling_.clear(), found_.clear();
        const double lo = std::log(1e-15), hi = std::log(std::max(1e4 * host_.property_global(3) * t / p / vcp, 10.0));
        for (int k = 0; k < 1500; ++k) pending_.push_back(vcp * (1.0 + std::exp(lo + (hi - lo) * k / 1499.0)));
    }

    void record(const Sample &s) {
        if (brackets_.empty()) return samples_.push_back(s);
        std::vector<Sample> &b = brackets_.back();  // keeps one end on each side of the crossing
        b[(s.f > 0.0) == (b[0].f > 0.0) ? 0 : 1] = s;
    }

    // Pairs of neighbouring samples, sorted by volume, for which `pick` holds.
    template <class Pick>
    std::vector<std::vector<Sample>> cells(Pick pick) {
        std::sort(samples_.begin(), samples_.end(), [](const Sample &a, const Sample &b) { return a.v < b.v; });
        std::vector<std::vector<Sample>> out;
        for (std::size_t k = 0; k + 1 < samples_.size(); ++k)
            if (std::isfinite(samples_[k].f) && std::isfinite(samples_[k + 1].f) && pick(samples_[k], samples_[k + 1]))
                out.push_back({samples_[k], samples_[k + 1]});
        return out;
    }

    // The next volume to evaluate, or 0 when the conversation is over.
    double next() {
        if (pending_.empty() && !refined_) {
            refined_ = true;
            for (const auto &c : cells([](const Sample &a, const Sample &b) {
                     const bool monotone = (a.slope < 0.0 && b.slope < 0.0) || (a.slope > 0.0 && b.slope > 0.0);
                     return (a.f > 0.0) == (b.f > 0.0) && !monotone;
                 }))
                for (int j = 1; j < 24; ++j) pending_.push_back(c[0].v + (c[1].v - c[0].v) * j / 24.0);
        }
        if (!pending_.empty()) {
            const double v = pending_.back();
            pending_.pop_back();
            return v;
        }
        if (!samples_.empty()) {
            brackets_ = cells([](const Sample &a, const Sample &b) { return (a.f > 0.0) != (b.f > 0.0); });
            samples_.clear();
        }
        while (!brackets_.empty()) {
            const double a = brackets_.back()[0].v, b = brackets_.back()[1].v;
            if (std::fabs(b - a) > 1e-14 * std::max(a, b)) return 0.5 * (a + b);
            found_.push_back({0.5 * (a + b), brackets_.back()[0].f > 0.0});  // end 0 is the dense one
            brackets_.pop_back();
        }
        std::sort(found_.begin(), found_.end());
        roots_.clear(), falling_.clear();
        for (const auto &[v, falling] : found_) roots_.push_back(v), falling_.push_back(falling);
        return 0.0;
    }

    refhost::ReferenceHost &host_;
    double p_ = 0.0, vcp_ = 0.0;
    bool refined_ = false;
    std::vector<double> pending_;
    std::vector<Sample> samples_;
    std::vector<std::vector<Sample>> brackets_;
    std::vector<double> roots_;
    std::vector<bool> falling_;                    // by root: a stable crossing
    std::vector<std::pair<double, bool>> found_;  // the same while the brackets close
};

}  // namespace keld::testing
