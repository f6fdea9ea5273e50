// keld/model_pcsaft_assoc.hpp - plain parameters of PC-SAFT with association and dipoles, for
// keld::Model::pcsaft_assoc (keld/model.hpp includes this header).
//
// Components by their published parameters: PC-SAFT m, sigma / Angstrom, eps/k / K (Gross and Sadowski
// 2001); association sites with kappa^AB and eps^AB/k / K (Gross and Sadowski 2002); a dipole moment
// mu / D on a fraction x_p of the segments (the Jog and Chapman dipolar term); a copolymer by the
// segment types it is made of, each with its own parameters and its share of the polymer's mass.
// Binary parameters by the names of the two components (or segment types).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keld {

// The association sites of a molecule or segment type, by kind: a negative site bonds with positive
// and bipolar sites, a positive one with negative and bipolar sites, a bipolar one with every site.
// Written as counts, or as a scheme of Huang and Radosz (1990):
//   "1A" one bipolar           "2B" one negative, one positive      "3B" two negative, one positive
//   "4C" two of each kind      "4B" one negative, three positive    "2A", "3A", "4A" bipolar sites
// Schemes of at most ten sites are accepted; any combination beyond 1A, 2B, 3B, 4C, 4B and one or two
// sites of one kind takes one of eleven places the library keeps for other combinations.
struct AssociationSites {
    int negative = 0;
    int positive = 0;
    int bipolar = 0;

    AssociationSites() = default;
    AssociationSites(int negative_sites, int positive_sites, int bipolar_sites = 0)
        : negative(negative_sites), positive(positive_sites), bipolar(bipolar_sites) {}
    // A scheme name as above; std::invalid_argument for any other.
    AssociationSites(const char *scheme);         // NOLINT: "2B" reads as the sites it names
    AssociationSites(const std::string &scheme);  // NOLINT
    bool any() const { return negative + positive + bipolar > 0; }
};

// One segment type of a copolymer: a repeat unit with its own parameters.
struct PcSaftAssocSegment {
    std::string name{};             // unique among the model's components and segment types
    double mass_fraction = 0.0;     // of the polymer's mass that is in units of this type (they add up to 1)
    double mw = 0.0;                // kg/kmol of one unit
    double segment_ratio = 0.0;     // m/MW, mol/g: one unit brings segment_ratio * mw segments
    double sigma = 0.0;             // Angstrom
    double epsilon_k = 0.0;         // K
    AssociationSites sites{};       // none unless given
    double kappa_ab = 0.0;          // association volume kappa^AB (0: the type does not self-associate)
    double epsilon_ab_k = 0.0;      // association energy eps^AB/k, K
    double dipole = 0.0;            // dipole moment mu, D (0: none)
    double dipolar_fraction = 0.0;  // x_p, fraction of the type's segments that carry the dipole
};

// One component. A molecule (or a polymer described as one chain) has m, sigma and eps/k of its own; a
// copolymer lists its segment types instead (then m may be left 0: the sum of its units' segments, and
// sigma, eps/k and the association and dipole values of the component itself are not read).
struct PcSaftAssocComponent {
    std::string name{};
    double mw = 0.0;                // kg/kmol of one molecule (a polymer's number average)
    double m = 0.0;                 // segment number (a polymer: (m/MW) Mn)
    double sigma = 0.0;             // segment diameter, Angstrom
    double epsilon_k = 0.0;         // segment energy eps/k, K
    AssociationSites sites{};       // none unless given
    double kappa_ab = 0.0;          // association volume kappa^AB (0: no self-association)
    double epsilon_ab_k = 0.0;      // association energy eps^AB/k, K
    double dipole = 0.0;            // dipole moment mu, D (0: none)
    double dipolar_fraction = 0.0;  // x_p, fraction of the m segments that carry the dipole (m x_p dipolar segments)
    double mw_apparent = 0.0;       // kg/kmol of the unit the host counts (a polymer's repeat unit; 0: = mw)
    std::vector<PcSaftAssocSegment> segments{};  // a copolymer by its segment types; empty for a molecule
};

// Binary parameters of two components or segment types, by name. Pairs not given take k_ij = l_ij = 0
// and, between two self-associating species, the combining rules of Wolbach and Sandler (1998):
// eps^AB_ij/k = (eps^AB_i + eps^AB_j)/(2k) and kappa^AB_ij = sqrt(kappa_i kappa_j) (sqrt(sigma_i
// sigma_j) / ((sigma_i + sigma_j)/2))^3. Cross values given replace them, and also let a species with
// sites but no self-association bond with another (induced association, solvation).
struct PcSaftAssocBinary {
    std::string first{}, second{};
    double k_ij = 0.0;                     // eps_ij = (1 - k_ij) sqrt(eps_i eps_j)
    double l_ij = 0.0;                     // sigma_ij = (1 - l_ij)(sigma_i + sigma_j)/2 in the dispersion term
    std::optional<double> epsilon_ab_k{};  // cross association energy eps^AB/k, K
    std::optional<double> kappa_ab{};      // cross association volume kappa^AB
};

}  // namespace keld
