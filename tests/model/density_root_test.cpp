// The density root on the model's own P(rho): the right root of each phase on every family, found in a
// handful of pressure evaluations (a counting residual watches the search).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keld/model.hpp"
#include "keld/model_cubic.hpp"
#include "model/residual.h"

namespace keld::testing {
namespace {

// A family's residual that counts the pressure evaluations of a density search.
class CountingResidual final : public model::Residual {
  public:
    explicit CountingResidual(std::shared_ptr<const model::Residual> inner) : inner_(std::move(inner)) {}
    std::size_t size() const override { return inner_->size(); }
    double alphar(double t, double rho, const double *x) const override { return inner_->alphar(t, rho, x); }
    model::D1 alphar(const model::D1 &t, const model::D1 &rho, const model::D1 *x) const override {
        return inner_->alphar(t, rho, x);
    }
    model::D2 alphar(const model::D2 &t, const model::D2 &rho, const model::D2 *x) const override {
        return inner_->alphar(t, rho, x);
    }
    model::D3 alphar(const model::D3 &t, const model::D3 &rho, const model::D3 *x) const override {
        return inner_->alphar(t, rho, x);
    }
    model::J2 alphar(const model::J2 &t, const model::J2 &rho, const model::J2 *x) const override {
        return inner_->alphar(t, rho, x);
    }
    model::DT4 alphar(const model::DT4 &t, const model::DT4 &rho, const model::DT4 *x) const override {
        return inner_->alphar(t, rho, x);
    }
    double max_density(double t, const double *x) const override { return inner_->max_density(t, x); }
    model::DensitySlopes density_slopes(double t, double rho, const double *x) const override {
        ++evaluations;
        return inner_->density_slopes(t, rho, x);
    }
    mutable int evaluations = 0;

  private:
    std::shared_ptr<const model::Residual> inner_;
};

struct Counted {
    Model inner;
    std::shared_ptr<const CountingResidual> counter;
    Model model;
};

// inner's residual stays owned by inner.
Counted counted(Model inner) {
    std::shared_ptr<const model::Residual> borrowed(std::shared_ptr<void>(), &inner.residual());
    auto counter = std::make_shared<const CountingResidual>(borrowed);
    Model model(inner.family(), inner.components(), counter);
    return {std::move(inner), counter, std::move(model)};
}

Model hexane() { return Model::pcsaft({{"HEXANE", 86.177, 3.0576, 3.7983, 236.77}}); }
Model five() {
    return Model::pcsaft({{"METHANE", 16.043, 1.0, 3.7039, 150.03},
                          {"ETHANE", 30.07, 1.6069, 3.5206, 191.42},
                          {"PROPANE", 44.096, 2.002, 3.6184, 208.11},
                          {"HEXANE", 86.177, 3.0576, 3.7983, 236.77},
                          {"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}});
}
Model polystyrene_in_toluene() {
    return Model::pcsaft({{"TOLUENE", 92.141, 2.8149, 3.7169, 285.69}, {"PS", 1e5, 0.019 * 1e5, 4.1071, 267.0, 104.152}});
}
Model lattice_fluid() {
    return Model::sanchez_lacombe({{"TOLUENE", 92.141, 543.0, 402e6, 966.0}, {"PS", 1e5, 735.0, 357e6, 1105.0, 104.152}});
}
Model saft_hexane() { return Model::saft({{"HEXANE", 86.177, 4.724, 0.012454, 202.72, 10.0}}); }
Model srk_pair() {
    return Model::cubic({{"PROPANE", 44.096, 369.8, 4.248e6, 0.152}, {"HEXANE", 86.177, 507.6, 3.025e6, 0.301}}, {});
}

struct Case {
    const char *name;
    Model (*model)();
    std::vector<double> x;
    double t, p;
    Phase phase;
    int most_evaluations;  // pressure evaluations per root, as few as the search takes today
};

// Liquids from 1 bar to 1000 bar, vapours, supercritical fluids, a polymer solution; every family.
const Case kCases[] = {
    {"hexane liquid 1 bar", hexane, {1.0}, 300.0, 1e5, Phase::liquid, 14},
    {"hexane liquid 0.1 bar (below saturation)", hexane, {1.0}, 300.0, 1e4, Phase::liquid, 12},
    {"hexane liquid 1000 bar", hexane, {1.0}, 300.0, 1e8, Phase::liquid, 12},
    {"hexane vapour 0.1 bar", hexane, {1.0}, 300.0, 1e4, Phase::vapour, 7},
    {"hexane supercritical liquid", hexane, {1.0}, 700.0, 3e6, Phase::liquid, 14},
    {"five components liquid 5 bar", five, {0.1, 0.1, 0.1, 0.3, 0.4}, 350.0, 5e5, Phase::liquid, 15},
    {"five components liquid 50 bar", five, {0.3, 0.1, 0.1, 0.2, 0.3}, 350.0, 5e6, Phase::liquid, 13},
    {"five components vapour 20 bar", five, {0.7, 0.1, 0.1, 0.05, 0.05}, 350.0, 2e6, Phase::vapour, 7},
    // No vapour branch reaches 50 bar: the ideal gas's density already lies past the spinodal, and the
    // vapour's root is the only one, on the liquid branch (a scan from zero density took 270).
    {"five components, vapour sought at 50 bar", five, {0.05, 0.1, 0.15, 0.3, 0.4}, 350.0, 5e6, Phase::vapour, 25},
    // Nearly pure propane, 20 K below its critical point: its liquid branch ends (the spinodal) above
    // 5 bar, and the liquid's root is the only one, on the vapour branch (a scan from the dense end
    // took 261).
    {"propane-rich, liquid sought at 5 bar", five, {0.006851, 0.003655, 0.987026, 0.001275, 0.001193}, 350.0, 5e5,
     Phase::liquid, 29},
    {"polystyrene in toluene", polystyrene_in_toluene, {0.9995, 0.0005}, 300.0, 1e5, Phase::liquid, 10},
    {"lattice fluid solution", lattice_fluid, {0.999, 0.001}, 350.0, 1e5, Phase::liquid, 15},
    {"SAFT hexane liquid", saft_hexane, {1.0}, 320.0, 1e5, Phase::liquid, 9},
    {"SRK liquid", srk_pair, {0.4, 0.6}, 320.0, 1e6, Phase::liquid, 15},
    // The liquid branch barely reaches 1000 Pa before the dense end: the root lies just above the
    // branch's pressure minimum (about -3.4e4 Pa), not at the vapour's density.
    {"SRK liquid near its pressure minimum", srk_pair, {0.9, 0.1}, 350.0, 1e3, Phase::liquid, 19},
    {"SRK vapour", srk_pair, {0.4, 0.6}, 320.0, 1e5, Phase::vapour, 6},
};

// The pressure and slope of the model at rho.
struct Point {
    double p, dp;
};
Point at(const Model &m, double t, double rho, const std::vector<double> &x) {
    const Properties pr = properties(m, t, rho, x, {.composition_derivatives = false});
    return {pr.p, pr.dp_drho};
}

TEST(DensityRoot, IsThePhasesRootInFewEvaluations) {
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.name);
        const Counted m = counted(c.model());
        const std::optional<double> rho = density(m.model, c.t, c.p, c.x, c.phase);
        const int evaluations = m.counter->evaluations;
        ASSERT_TRUE(rho);
        EXPECT_LE(evaluations, c.most_evaluations);
        // On the root to the resolution of rho, mechanically stable.
        const Point here = at(m.model, c.t, *rho, c.x);
        EXPECT_GT(here.dp, 0.0);
        EXPECT_LE(std::fabs(here.p - c.p), 2e-15 * *rho * here.dp + 1e-13 * c.p);
        // The double nearest the root in the search's own arithmetic (a bit of a dense liquid's rho is
        // 1e-12 in ln phi): a neighbouring double's pressure lies no closer to P but by less than half of
        // what a bit of rho moves it.
        const std::unique_ptr<model::DensityLine> line = m.model.residual().density_line(c.t, c.x.data());
        const double rt = kGasConstant * c.t;
        const auto gap = [&](double r) { return std::fabs(r * rt * (1.0 + r * line->at(r).a_rho) - c.p); };
        for (const double toward : {0.0, 1e300}) {
            const double next = std::nextafter(*rho, toward);
            EXPECT_LE(gap(*rho), gap(next) + 0.5 * here.dp * std::fabs(next - *rho)) << "the neighbour " << next;
        }
        // No crossing of P on the phase's side of the root: a liquid is the densest root, a vapour the
        // lightest (a scan from the end of the range inward).
        const double rho_max = m.model.max_density(c.t, c.x);
        const double end = c.phase == Phase::liquid ? rho_max * (1.0 - 1e-9) : 1e-9 * *rho;
        const double sign = at(m.model, c.t, end, c.x).p - c.p;
        for (int k = 1; k < 400; ++k) {
            const double r = end + (*rho - end) * k / 400.0;
            if ((at(m.model, c.t, r, c.x).p - c.p) * sign > 0.0) continue;
            ADD_FAILURE() << "a crossing at " << r << " kmol/m3 beyond the root " << *rho;
            break;
        }
    }
}

}  // namespace
}  // namespace keld::testing
