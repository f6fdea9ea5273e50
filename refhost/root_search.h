// Density-root search of the reference host, spoken by reverse communication.
//
// A property monitor asks the host for the volume at which its model pressure
// equals the given pressure. The host cannot evaluate the model, so the
// conversation runs in steps: the monitor calls `step` with state 4 to open a
// search; the host places a trial volume in `v` and answers with state 1, 2 or
// 3; the monitor evaluates its pressure (and dP/dV unless the mode word is 2)
// at `v` (which it may move, e.g. away from the close-packed volume) and calls
// `step` again; the host finally answers 4 (converged: `v` is the last
// evaluated volume and the root) or 5 (no root of any kind found).
#pragma once

#include <cstdint>

namespace keld::refhost {

enum class RootKind { vapour, liquid };

struct RootSettings {
    double gas_constant = 8314.462618;  // J/(kmol K), to place ideal-gas-like trial volumes
    double relative_tolerance = 1e-12;  // on |P_calc - P| / P
    int max_evaluations = 200;          // per conversation
};

class RootSearch {
public:
    explicit RootSearch(RootKind kind);

    RootSettings &settings() { return settings_; }
    const RootSettings &settings() const { return settings_; }
    RootKind kind() const { return kind_; }

    // One step of the conversation; arguments as the host root routine receives
    // them. `single_component` is the routine's single-component switch.
    void step(std::int64_t &state, std::int64_t &mode, double v_close_packed, double v_critical,
              double v_dividing, double t, double p, double &v, double &p_calc, double &dpdv,
              bool single_component);

    // Model evaluations requested in the current (or last) conversation.
    int evaluations() const { return evaluations_; }

private:
    RootKind kind_;
    RootSettings settings_;
    int evaluations_ = 0;
    // Search state kept between steps: private members added by the implementation.
};

}  // namespace keld::refhost
