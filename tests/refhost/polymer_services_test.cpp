// Polymer classification, apparent/true/weight conversions and the
// polymer-segment map, walked the way the library walks it.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "keld/refhost.h"

namespace keld::refhost {
namespace {

// Toluene (1), polystyrene (2: apparent MW 104.15 of a styrene unit, MWN 1e5),
// styrene segment (3), a copolymer (4), nitrogen (5), butadiene segment (6).
class PolymerHost : public ::testing::Test {
protected:
    PolymerHost() {
        toluene = host.add_component("TOLUENE", ComponentKind::ordinary, 92.14);
        ps = host.add_polymer("PS", ComponentKind::polymer, 104.15, 1.0e5);
        sty = host.add_component("STY-SEG", ComponentKind::segment, 104.15);
        sbr = host.add_polymer("SBR", ComponentKind::oligomer, 80.0, 2000.0);
        n2 = host.add_component("N2", ComponentKind::ordinary, 28.014);
        bd = host.add_component("BD-SEG", ComponentKind::segment, 54.09);
        const SegmentShare ps_shares[] = {{sty, 1.0}}, sbr_shares[] = {{sty, 0.6}, {bd, 0.4}};
        host.set_segment_composition(ps, ps_shares);
        host.set_segment_composition(sbr, sbr_shares);
        host.install();
        table = host.table();
    }
    std::int64_t integer(std::int64_t p) { return host.store_integer(p); }
    const double *mw() { return host.store().data() + host.offsets1(306); }  // MW by component
    std::int64_t segment_list() {  // position of the map's segment list
        std::int64_t handle = 0;
        table.find_polymer_map(&handle);
        const std::int64_t list_handle = integer(table.locate(&handle) + 1);
        return table.locate(&list_handle);
    }
    ReferenceHost host;
    keld_host table{};
    std::int64_t toluene = 0, ps = 0, sty = 0, sbr = 0, n2 = 0, bd = 0;
    static constexpr std::int64_t option = 1;
};

TEST_F(PolymerHost, ClassificationIsALogicalInBitZero) {
    for (std::int64_t c = 0; c <= 7; ++c) {
        EXPECT_EQ(table.is_polymer(&c), c == ps ? -1 : 0) << c;
        EXPECT_EQ(table.is_oligomer(&c), c == sbr ? -1 : 0) << c;
        EXPECT_EQ(table.is_segment(&c), (c == sty || c == bd) ? -1 : 0) << c;
    }
}

TEST_F(PolymerHost, MapWalkGivesEverySegmentInComponentOrder) {
    const std::int64_t s = segment_list();
    ASSERT_GT(s, 0);
    EXPECT_EQ(integer(s), 2);
    EXPECT_EQ(integer(s + 1), sty);
    EXPECT_EQ(integer(s + 2), bd);

    std::int64_t handle = 0, offset = -1, rows = -1, columns = -1;
    table.find_polymer_map(&handle);
    const std::int64_t matrix_handle = integer(table.locate(&handle) + 3);
    table.locate_matrix(&matrix_handle, &offset, &rows, &columns);
    EXPECT_EQ(rows, 2);  // PS and SBR
    EXPECT_EQ(columns, 2);
    EXPECT_EQ(host.store_at(offset + (2 - 1) * rows + 2), 0.4);  // butadiene in SBR

    const std::int64_t unknown = 99;
    EXPECT_EQ(table.locate(&unknown), 0);
    table.locate_matrix(&unknown, &offset, &rows, &columns);
    EXPECT_EQ(offset + rows + columns, 0);
}

TEST_F(PolymerHost, ApparentToTrueCountsPolymerMoleculesAndLeavesOrdinaryMixtures) {
    const std::int64_t n = 2, idx[2] = {toluene, ps}, plain[2] = {toluene, n2};
    const double z[2] = {0.5, 0.5}, z_plain[2] = {0.25, 0.75};
    double x[2] = {-1, -1}, w[2] = {-1, -1}, mwn[2] = {-1, -1};
    table.apparent_to_true(&n, idx, mw(), z, x);
    const double molecules = 0.5 * 104.15 / 1.0e5;  // of PS in 0.5 apparent moles
    EXPECT_NEAR(x[1], molecules / (0.5 + molecules), 1e-15);
    EXPECT_NEAR(x[0] + x[1], 1.0, 1e-15);
    table.apparent_to_weight(z, &n, idx, w);
    EXPECT_NEAR(w[1], 104.15 / (104.15 + 92.14), 1e-15);
    table.number_average_mw(&option, &n, idx, mwn);
    EXPECT_EQ(mwn[0], 92.14);
    EXPECT_EQ(mwn[1], 1.0e5);
    table.apparent_to_true(&n, plain, mw(), z_plain, x);
    EXPECT_DOUBLE_EQ(x[0], 0.25);
    EXPECT_DOUBLE_EQ(x[1], 0.75);
}

TEST_F(PolymerHost, BadComponentNumbersGiveZerosNotReads) {
    const std::int64_t n = 3, idx[3] = {0, 7, -3}, zero = 0;
    const double z[3] = {0.2, 0.3, 0.5};
    double x[3] = {-1, -1, -1}, w[3] = {-1, -1, -1}, mwn[3] = {-1, -1, -1};
    table.apparent_to_true(&n, idx, mw(), z, x);
    table.apparent_to_weight(z, &n, idx, w);
    table.number_average_mw(&option, &n, idx, mwn);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(x[k] == 0.0 && w[k] == 0.0 && mwn[k] == 0.0) << k;
    table.apparent_to_true(&zero, idx, nullptr, z, x);  // N < 1: nothing read or written
}

TEST_F(PolymerHost, SegmentWeightAndMoleFractions) {
    double f[2] = {-1, -1};
    table.segment_weight_fractions(&option, &sbr, f);
    EXPECT_EQ(f[0], 0.6);
    EXPECT_EQ(f[1], 0.4);
    table.segment_mole_fractions(&option, &sbr, f);
    const double sty_moles = 0.6 / 104.15, bd_moles = 0.4 / 54.09;
    EXPECT_NEAR(f[0], sty_moles / (sty_moles + bd_moles), 1e-14);
    EXPECT_NEAR(f[1], bd_moles / (sty_moles + bd_moles), 1e-14);
    table.segment_mole_fractions(&option, &ps, f);
    EXPECT_EQ(f[0], 1.0);
    EXPECT_EQ(f[1], 0.0);  // butadiene is not in PS
    for (std::int64_t not_polymer : {toluene, sty, std::int64_t{0}, std::int64_t{42}}) {
        f[0] = f[1] = -1;
        table.segment_weight_fractions(&option, &not_polymer, f);
        EXPECT_EQ(f[0] + f[1], 0.0) << not_polymer;
    }
}

TEST_F(PolymerHost, SettersKeepWhatIsGivenAndRefuseWhatCannotBe) {
    const SegmentShare shares[] = {{sty, 0.3}, {bd, 0.3}}, not_a_segment[] = {{n2, 1.0}};
    host.set_segment_composition(sbr, shares);
    double f[2];
    table.segment_weight_fractions(&option, &sbr, f);
    EXPECT_EQ(f[0], 0.3);  // not normalised
    EXPECT_EQ(f[1], 0.3);
    EXPECT_THROW(host.set_segment_composition(sbr, not_a_segment), std::invalid_argument);
    EXPECT_THROW(host.set_segment_composition(toluene, shares), std::invalid_argument);
    host.set_component_value("MWN", ps, ReferenceHost::missing_value);
    EXPECT_EQ(host.number_average_mw(ps), 104.15);  // falls back to MW
    EXPECT_THROW(host.set_number_average_mw(toluene, 10.0), std::invalid_argument);
}

TEST_F(PolymerHost, AddingASegmentLaterExtendsTheMap) {
    const std::int64_t am = host.add_component("AM-SEG", ComponentKind::segment, 71.08);
    table = host.table();  // the store moved
    const std::int64_t s = segment_list();
    EXPECT_EQ(integer(s), 3);
    EXPECT_EQ(integer(s + 3), am);
    double f[3];
    table.segment_weight_fractions(&option, &sbr, f);
    EXPECT_EQ(f[0], 0.6);  // the composition survived the new layout
    EXPECT_EQ(f[2], 0.0);
    // So did the molecular weights the conversions read, through a parameter defined later as well.
    host.define_parameter("XPARM", ParameterShape::unary);
    table = host.table();
    const std::int64_t n = 4, idx[4] = {toluene, ps, sbr, am};
    double mwn[4];
    table.number_average_mw(&option, &n, idx, mwn);
    EXPECT_EQ(mwn[0], 92.14);
    EXPECT_EQ(mwn[1], 1.0e5);
    EXPECT_EQ(mwn[2], 2000.0);
    EXPECT_EQ(mwn[3], 71.08);
}

}  // namespace
}  // namespace keld::refhost
