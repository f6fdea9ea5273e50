// One reference host that carries PC-SAFT, SAFT and Sanchez-Lacombe parameters for the same
// components: methane, n-hexane, toluene, ethylene and styrene segments, polystyrene and an
// ethylene-styrene copolymer built from them, and a polystyrene with its own parameters.
#pragma once

#include <cstdint>
#include <vector>

#include "keld/refhost.h"
#include "support/saft_systems.h"
#include "support/segment_calls.h"

namespace keld::testing {

// Ethylene units: n-eicosane (PC-SAFT) and n-tetratetracontane (SAFT) per unit of molecular weight;
// high-density polyethylene for Sanchez-Lacombe.
inline constexpr PcsaftSegment kEthylene{"ETH", 28.054, 7.9849 / 282.553, 3.9869, 257.75};
inline constexpr SaftSegment kEthyleneHr{"ETH", 28.054, 29.252 / 619.1854, 0.012, 207.73, 10.0};
inline constexpr SlFluid kPolyethyleneSl{596.0, 479.8e6, 932.0};
inline constexpr double kCopolymerMw = 35.929;  // mean repeat unit of 70 wt % ETH, 30 wt % STY

struct SegmentSystems {
    refhost::ReferenceHost host;
    std::int64_t c1, c6, tol, sty, eth, ps, pes, psown;

    SegmentSystems() {
        using refhost::ComponentKind;
        c1 = add_pcsaft_fluid(host, kMethane);
        c6 = add_pcsaft_fluid(host, kHexane);
        tol = add_pcsaft_fluid(host, kToluene);
        sty = add_pcsaft_segment(host, kStyrene);
        eth = add_pcsaft_segment(host, kEthylene);
        ps = add_homopolymer(host, "PS", sty, kStyrene.mw, 1e5);
        pes = host.add_polymer("PES", ComponentKind::polymer, kCopolymerMw, 5e4);
        const refhost::SegmentShare shares[2] = {{eth, 0.7}, {sty, 0.3}};
        host.set_segment_composition(pes, shares);
        psown = add_homopolymer(host, "PSOWN", sty, kStyrene.mw, 1e5);
        host.set_unary("PCSFTR", psown, kStyrene.r);
        host.set_unary("PCSFTV", psown, kStyrene.sigma);
        host.set_unary("PCSFTU", psown, kStyrene.eps);

        set_saft_parameters(host, c1, kMethaneHr);
        set_saft_parameters(host, c6, kHexaneHr);
        set_saft_parameters(host, tol, kTolueneHr);
        set_saft_segment_parameters(host, sty, kStyreneHr);
        set_saft_segment_parameters(host, eth, kEthyleneHr);
        set_saft_segment_parameters(host, psown, kStyreneHr);
        host.set_unary("SAFTE", ps, 10.0);
        host.set_unary("SAFTE", pes, 10.0);

        set_sl_parameters(host, c6, kHexaneSl);
        set_sl_parameters(host, tol, kTolueneSl);
        set_sl_parameters(host, sty, kPolystyreneSl);
        set_sl_parameters(host, eth, kPolyethyleneSl);
        set_sl_parameters(host, psown, kPolystyreneSl);

        binary("PCSKIJ", c1, c6, 0.02);
        binary("PCSKIJ", tol, sty, 0.01);
        binary("SFTKIJ", c1, c6, 0.02);
        binary("SFTKIJ", tol, sty, 0.01);
        for (auto [i, j] : {std::pair{tol, sty}, std::pair{sty, tol}}) host.set_binary("SLKIJ", i, j, 0.01);
        for (auto [i, j] : {std::pair{tol, eth}, std::pair{eth, tol}}) host.set_binary("SLETIJ", i, j, -0.005);
        for (auto [i, j] : {std::pair{c6, tol}, std::pair{tol, c6}}) host.set_binary("SLKIJ", i, j, 0.003);
        host.install();
    }

    // A six-coefficient table entry for both orders of a pair.
    void binary(const char *table, std::int64_t i, std::int64_t j, double a, double b = 0.0) {
        const double c[2] = {a, b};
        host.set_binary_coefficients(table, i, j, c);
        host.set_binary_coefficients(table, j, i, c);
    }

    // Apparent mole fractions from mass fractions.
    std::vector<double> by_mass(const std::vector<std::int64_t> &idx, const std::vector<double> &w) const {
        std::vector<double> z(idx.size());
        double sum = 0.0;
        for (std::size_t k = 0; k < idx.size(); ++k) sum += z[k] = w[k] / host.component_value("MW", idx[k]);
        for (double &v : z) v /= sum;
        return z;
    }
};

}  // namespace keld::testing
