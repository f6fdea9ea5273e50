// keld/equilibria/distribution.h - a polymer's molecular-weight distribution
// and its discretisation into pseudo-components.
//
// A distribution is held as its number distribution (mole fractions of chains
// over the molecular weight M, kg/kmol). Its moments mu_j = sum x_i M_i^j
// (mu0 = 1) give the averages Mn = mu1/mu0, Mw = mu2/mu1, Mz = mu3/mu2.
//
// Discretisation: the N pseudo-components are the nodes and weights of the
// N-point Gauss quadrature of the number distribution, formed from its
// orthogonal polynomials (the Jacobi matrix of their three-term recurrence,
// whose eigenvalues are the nodes and whose eigenvectors' first entries
// squared the weights: Golub-Welsch). A Gauss rule of N points integrates
// M^j exactly for j <= 2N - 1, so N >= 2 conserves mu0..mu3, hence Mn, Mw and
// Mz. The recurrence is analytic for Schulz-Flory (generalised Laguerre);
// for a log-normal distribution it comes from a fine Gauss-Hermite rule in
// ln M, for measured or explicit points from the points themselves, each
// reduced by a Lanczos (Householder) tridiagonalisation, which stays accurate
// where forming the recurrence from raw moments would not.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keld::equilibria {

// One pseudo-component of a polymer: its molecular weight and its share of
// the polymer by mass and by chains.
struct PseudoComponent {
    double mw = 0.0;               // kg/kmol
    double weight_fraction = 0.0;  // of the polymer's mass
    double mole_fraction = 0.0;    // of the polymer's chains
};

// Moments of a number distribution normalised to mu0 = 1 (kg/kmol to the
// power j) and the averages they give (kg/kmol).
struct DistributionMoments {
    double mu0 = 0.0, mu1 = 0.0, mu2 = 0.0, mu3 = 0.0;
    double mn = 0.0, mw = 0.0, mz = 0.0;
};

DistributionMoments moments_of(std::span<const PseudoComponent> set);

class MolecularWeightDistribution {
  public:
    enum class Kind { schulz_flory, log_normal, points };

    // Schulz-Flory (a gamma distribution of chains in M) of number- and
    // weight-average molecular weight Mn <= Mw (kg/kmol); Mw = Mn is one chain length.
    static MolecularWeightDistribution schulz_flory(double mn, double mw);
    // Log-normal in M of the given Mn <= Mw.
    static MolecularWeightDistribution log_normal(double mn, double mw);
    // Measured or explicit: molecular weights (kg/kmol, > 0) and the weight
    // fraction of the polymer at each (>= 0, any scale: normalised here).
    static MolecularWeightDistribution from_points(std::vector<double> mw, std::vector<double> weight);
    // A GPC trace as text: two columns, molecular weight (g/mol = kg/kmol)
    // and either the weight fraction of each slice or dw/dlogM (a header
    // naming the second column "dw/dlogM" or "dwdlogM"; slices are then
    // weighted by their width in log10 M). Separated by commas, semicolons,
    // tabs or blanks; an optional header line; '#' starts a comment. Throws
    // std::invalid_argument naming the line at fault.
    static MolecularWeightDistribution parse_gpc(std::string_view text);
    static MolecularWeightDistribution read_gpc(const std::string &path);

    Kind kind() const { return kind_; }
    // The distribution's own moments (analytic, or of its points).
    DistributionMoments moments() const;
    // N >= 1 pseudo-components by Gauss quadrature (fewer when the
    // distribution has fewer distinct molecular weights: one for Mw = Mn),
    // in increasing molecular weight. Nodes with less than 1e-8 of the
    // polymer's mass are dropped (a broad log-normal's far tail) and the
    // weights of the rest set to meet mu0..mu3 again.
    std::vector<PseudoComponent> discretise(std::size_t count) const;

  private:
    Kind kind_ = Kind::points;
    double mn_ = 0.0, mw_ = 0.0;
    std::vector<double> points_mw_, points_moles_;  // number distribution of points, sum 1
};

}  // namespace keld::equilibria
