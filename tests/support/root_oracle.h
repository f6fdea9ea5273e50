// An independent oracle of the density roots a monitor's model has: installed
// in place of the host's root routines, it answers the monitor's conversation
// not with a search but with a scan. It asks the model for P and dP/dV on a
// fine grid of volumes from just above V_cp to far beyond the ideal-gas volume
// (uniform in ln(V/V_cp - 1)), looks inside every grid cell whose Hermite
// interpolant could hide a pair of crossings, bisects every sign change of
// P(V) - P to roundoff, and finally answers state 5. The roots of the last
// conversation are then known in ascending volume: the liquid request must
// return the first, the vapour request the last.
//
// It plays the host through the exported monitor only, so it serves every
// family whose monitor uses the host's root routines. One oracle at a time;
// construct it after the reference host's install().
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "keld/refhost.h"

namespace keld::testing {

class RootOracle {
public:
    explicit RootOracle(refhost::ReferenceHost &host, int grid_points = 1500) : host_(host), grid_(grid_points) {
        active() = this;
        keld_host table = host.table();
        table.vapor_root = &callback;
        table.liquid_root = &callback;
        host.install(table);
    }
    ~RootOracle() {
        if (active() == this) active() = nullptr;
        if (refhost::ReferenceHost::current() == &host_) host_.install();
    }
    RootOracle(const RootOracle &) = delete;
    RootOracle &operator=(const RootOracle &) = delete;

    // Volumes with P(V) = P of the last conversation, ascending (each a
    // crossing of P, located to 1e-14 relative), and the model evaluations used.
    const std::vector<double> &roots() const { return roots_; }
    int evaluations() const { return evaluations_; }

private:
    struct Sample {
        double v, f, slope;
    };
    enum class Phase { scan, refine_dip, bisect, done };

    static RootOracle *&active() {
        static RootOracle *oracle = nullptr;
        return oracle;
    }

    static void callback(std::int64_t *state, std::int64_t *mode, const double *vcp, const double *, const double *,
                         const double *t, const double *p, double *v, double *p_calc, double *dpdv, const char *,
                         const std::int64_t *) {
        RootOracle *o = active();
        if (!o) {
            *state = 5;
            return;
        }
        if (*state == 4) o->open(*vcp, *t, *p);
        else o->record(*v, *p_calc, *dpdv);
        const double next = o->next_volume();
        *mode = 1;
        if (next > 0.0) {
            *v = next;
            *state = 3;
            ++o->evaluations_;
        } else {
            *state = 5;
        }
    }

    void open(double vcp, double t, double p) {
        roots_.clear();
        samples_.clear();
        dips_.clear();
        brackets_.clear();
        evaluations_ = 0;
        p_ = p;
        vcp_ = vcp;
        const double v_ideal = host_.property_global(3) * t / p;
        u_low_ = std::log(1e-15);
        u_high_ = std::log(std::max(1e4 * v_ideal / vcp, 10.0));
        next_grid_ = 0;
        phase_ = Phase::scan;
    }

    double grid_volume(int k) const {
        const double u = u_low_ + (u_high_ - u_low_) * k / (grid_ - 1);
        return vcp_ * (1.0 + std::exp(u));
    }

    void record(double v, double p_calc, double dpdv) {
        const Sample s{v, p_calc - p_, dpdv};
        switch (phase_) {
        case Phase::scan:
            samples_.push_back(s);
            break;
        case Phase::refine_dip:
            refine_dip(s);
            break;
        case Phase::bisect:
            bisect(s);
            break;
        case Phase::done:
            break;
        }
    }

    // Next trial volume, or 0 when the conversation is over.
    double next_volume() {
        if (phase_ == Phase::scan) {
            if (next_grid_ < grid_) return grid_volume(next_grid_++);
            find_brackets_and_dips();
            phase_ = Phase::refine_dip;
        }
        if (phase_ == Phase::refine_dip) {
            while (!dips_.empty()) {
                Dip &d = dips_.back();
                if (d.steps < 80 && d.b.v - d.a.v > 1e-15 * d.b.v) return d.probe();
                dips_.pop_back();
            }
            phase_ = Phase::bisect;
        }
        if (phase_ == Phase::bisect) {
            while (!brackets_.empty()) {
                Bracket &b = brackets_.back();
                if (b.hi - b.lo > 1e-14 * b.hi) return 0.5 * (b.lo + b.hi);
                roots_.push_back(0.5 * (b.lo + b.hi));
                brackets_.pop_back();
            }
            std::sort(roots_.begin(), roots_.end());
            phase_ = Phase::done;
        }
        return 0.0;
    }

    // A cell between samples of one sign whose slopes say P has an extremum
    // inside: golden-section search of that extremum, a sign change there
    // giving two brackets.
    struct Dip {
        Sample a, b;
        double sign;  // +1: f > 0 at both ends (look for a minimum), -1: f < 0 (a maximum)
        double x1 = 0, x2 = 0, f1 = 0, f2 = 0;
        bool known1 = false, known2 = false;
        int steps = 0;

        static constexpr double kGolden = 0.381966011250105;
        void start() {
            x1 = a.v + kGolden * (b.v - a.v);
            x2 = b.v - kGolden * (b.v - a.v);
        }
        double probe() const { return known1 ? x2 : x1; }
    };

    void refine_dip(const Sample &s) {
        Dip &d = dips_.back();
        if (s.f * d.sign <= 0.0) {
            // The extremum reaches P: P(V) - P changes sign on both sides of s.
            brackets_.push_back({d.a.v, s.v, d.a.f > 0.0});
            brackets_.push_back({s.v, d.b.v, s.f > 0.0});
            dips_.pop_back();
            return;
        }
        ++d.steps;
        if (!d.known1) {
            d.f1 = s.f;
            d.known1 = true;
        } else {
            d.f2 = s.f;
            d.known2 = true;
        }
        if (!(d.known1 && d.known2)) return;
        // Keep the part holding the smaller |f| (the one closer to a crossing).
        if (d.f1 * d.sign < d.f2 * d.sign) {
            d.b.v = d.x2;
            d.x2 = d.x1;
            d.f2 = d.f1;
            d.x1 = d.a.v + Dip::kGolden * (d.b.v - d.a.v);
            d.known1 = false;
        } else {
            d.a.v = d.x1;
            d.x1 = d.x2;
            d.f1 = d.f2;
            d.x2 = d.b.v - Dip::kGolden * (d.b.v - d.a.v);
            d.known2 = false;
        }
    }

    struct Bracket {
        double lo, hi;
        bool f_lo_positive;
    };

    void bisect(const Sample &s) {
        Bracket &b = brackets_.back();
        const double mid = s.v;
        if ((s.f > 0.0) == b.f_lo_positive) b.lo = mid;
        else b.hi = mid;
    }

    void find_brackets_and_dips() {
        for (std::size_t k = 0; k + 1 < samples_.size(); ++k) {
            const Sample &a = samples_[k], &b = samples_[k + 1];
            if (!std::isfinite(a.f) || !std::isfinite(b.f)) continue;
            if ((a.f > 0.0) != (b.f > 0.0)) {
                if (a.f == 0.0) roots_.push_back(a.v);
                else brackets_.push_back({a.v, b.v, a.f > 0.0});
                continue;
            }
            // Same sign: a hidden pair of crossings needs an extremum inside,
            // seen as slopes of opposite signs (or unknown ones).
            const bool extremum = !(a.slope < 0.0 && b.slope < 0.0) && !(a.slope > 0.0 && b.slope > 0.0);
            if (extremum) {
                Dip d{a, b, a.f > 0.0 ? 1.0 : -1.0};
                d.start();
                dips_.push_back(d);
            }
        }
    }

    refhost::ReferenceHost &host_;
    int grid_;
    Phase phase_ = Phase::done;
    double p_ = 0, vcp_ = 0, u_low_ = 0, u_high_ = 0;
    int next_grid_ = 0, evaluations_ = 0;
    std::vector<Sample> samples_;
    std::vector<Dip> dips_;
    std::vector<Bracket> brackets_;
    std::vector<double> roots_;
};

}  // namespace keld::testing
