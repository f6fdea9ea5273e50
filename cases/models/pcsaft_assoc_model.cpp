// The associating PC-SAFT model of a state, from the arrays this host gathers for the monitor's call
// (see pcsaft_assoc_arguments.h): each listed component a molecule with its own parameters or a
// polymer by its segment types, the binaries of every pair of species in play, the association and
// dipoles unless the state turns them off. What the monitor reads and what it passes over follow its
// rules (pcsaft_assoc/pcsaf_model.cpp): a dipole needs its moment and its fraction, a cross value given
// in one order of a pair holds for both, a polymer by segments carries no sites or dipoles of its own.
#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "keld/model.hpp"
#include "models/pcsaft_assoc_arguments.h"
#include "temperature_table.h"

namespace keld::refhost::families {
namespace {

constexpr double kMissing = ReferenceHost::missing_value;
constexpr std::int64_t kAssociationOff = 1, kSimplifiedAssociation = 20;

bool usable(double v) { return std::isfinite(v) && v != kMissing; }
bool set_and_nonzero(double v) { return usable(v) && v != 0.0; }

[[noreturn]] void refuse(const std::string &why) {
    throw std::invalid_argument("the pcsaft-assoc model cannot be built: " + why);
}

// Site types 1 to 9 by their sites (negative, positive, bipolar), as the association routine defines them.
constexpr int kFixedTypes[9][3] = {{0, 0, 1}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}, {1, 3, 0},
                                   {1, 0, 0}, {2, 0, 0}, {0, 1, 0}, {0, 2, 0}};

class Builder {
  public:
    Builder(ReferenceHost &host, const StateRequest &state)
        : host_(host), state_(state), a_(gather_pcsaft_assoc(host, state)),
          terms_(state.association_options[2] != kAssociationOff) {}

    Model build() {
        std::vector<PcSaftAssocComponent> components;
        for (const std::int64_t c : state_.components) components.push_back(component(c));
        std::vector<PcSaftAssocBinary> binaries;
        for (std::size_t p = 0; p < species_.size(); ++p)
            for (std::size_t q = p + 1; q < species_.size(); ++q) add_binary(species_[p], species_[q], binaries);
        try {
            return Model::pcsaft_assoc(std::move(components), std::move(binaries));
        } catch (const std::invalid_argument &e) {
            refuse(e.what());
        }
    }

  private:
    std::string name(std::int64_t c) const { return host_.identifier(c); }
    std::size_t at(std::int64_t i, std::int64_t j) const { return static_cast<std::size_t>((j - 1) * a_.nc + (i - 1)); }

    // The monitor stops at the first missing value of a species it reads.
    double required(const char *store_name, std::int64_t c, double v) const {
        if (usable(v) && v > 0.0) return v;
        const std::string set = std::string(store_name) == "MW" ? "" : " (data set " + std::to_string(state_.data_set) + ")";
        refuse(std::string(store_name) + set + " missing for " + (host_.is_segment(c) ? "segment " : "component ") +
               name(c));
    }

    AssociationSites sites(std::int64_t c) const {
        const std::int64_t type = a_.types[static_cast<std::size_t>(c - 1)];
        if (type == 0) return {};
        if (type >= 1 && type <= 9) {
            const int *s = kFixedTypes[type - 1];
            return {s[0], s[1], s[2]};
        }
        // A user code: 1bpn from 1000 on, else hpn (no bipolar sites); b bipolar, p positive, n negative.
        if (type > 100) return {int(type % 10), int(type / 10 % 10), type >= 1000 ? int(type / 100 % 10) : 0};
        refuse("PCSATY " + std::to_string(type) + " of " + name(c) + " is a site type registered at run time, not a code");
    }

    // Sites, association and dipole of a molecule or segment type, as the monitor reads them.
    template <class T>
    void own_terms(std::int64_t c, T &out) const {
        if (!terms_) return;
        const std::size_t i = static_cast<std::size_t>(c - 1), ii = at(c, c);
        const double kappa = a_.kappa_ab[ii], energy = a_.eps_ab[ii];
        out.sites = sites(c);
        if (!out.sites.any()) {
            if (set_and_nonzero(kappa)) required("PCSATY", c, kMissing);
        } else {
            if (set_and_nonzero(kappa)) {
                out.kappa_ab = kappa;
                out.epsilon_ab_k = usable(energy) ? energy : required("PCSAEP", c, kMissing);
            } else if (usable(energy)) {
                out.epsilon_ab_k = energy;  // for the cross energies' combining rule
            }
        }
        if (set_and_nonzero(a_.dipole[i]) && set_and_nonzero(a_.xp[i])) {
            out.dipole = a_.dipole[i];
            out.dipolar_fraction = a_.xp[i];
        }
    }

    PcSaftAssocComponent component(std::int64_t c) {
        const std::size_t i = static_cast<std::size_t>(c - 1);
        PcSaftAssocComponent out;
        out.name = name(c);
        const std::int64_t nseg = a_.nseg[i];
        if (nseg <= 0) {
            out.m = required("PCSFTM", c, a_.m[i]);
            out.sigma = required("PCSFTV", c, a_.sigma[i]);
            out.epsilon_k = required("PCSFTU", c, a_.eps[i]);
            out.mw = out.mw_apparent = required("MW", c, a_.mw[i]);
            own_terms(c, out);
            species_.push_back(c);
            return out;
        }
        // A polymer by its segment types: its number-average weight is the sum of theirs.
        double mwn = 0.0;
        for (std::int64_t s = 0; s < nseg; ++s) mwn += a_.wseg[static_cast<std::size_t>((c - 1) * a_.lseg + s)];
        out.mw = mwn;
        out.mw_apparent = required("MW", c, a_.mw[i]);
        out.m = usable(a_.m[i]) ? a_.m[i] : 0.0;
        for (std::int64_t s = 0; s < nseg; ++s) {
            const std::size_t k = static_cast<std::size_t>((c - 1) * a_.lseg + s);
            const std::int64_t sc = a_.iseg[k];
            const std::size_t j = static_cast<std::size_t>(sc - 1);
            PcSaftAssocSegment seg;
            seg.name = name(sc);
            seg.mass_fraction = a_.wseg[k] / mwn;
            seg.mw = required("MW", sc, a_.mw[j]);
            seg.segment_ratio = required("PCSFTM", sc, a_.m[j]) / seg.mw;
            seg.sigma = required("PCSFTV", sc, a_.sigma[j]);
            seg.epsilon_k = required("PCSFTU", sc, a_.eps[j]);
            own_terms(sc, seg);
            out.segments.push_back(seg);
            if (std::find(species_.begin(), species_.end(), sc) == species_.end()) species_.push_back(sc);
        }
        return out;
    }

    // A pair's constant value of a coefficient table (`words` per pair), the same in both orders.
    double constant(const char *store_name, const std::vector<double> &table, std::int64_t words, std::int64_t i,
                    std::int64_t j) const {
        const double *ij = table.data() + words * at(i, j), *ji = table.data() + words * at(j, i);
        const std::string pair = std::string(store_name) + " of " + name(i) + " and " + name(j);
        if (!binary_table_is_constant(ij, words, kMissing) || !binary_table_is_constant(ji, words, kMissing))
            refuse(pair + " follows a temperature table; the model takes constant binaries only");
        const double k = binary_table_constant(ij, words, kMissing), k_ji = binary_table_constant(ji, words, kMissing);
        if (k != k_ji) refuse(pair + " differs between the two orders of the pair; the model takes one value per pair");
        return k;
    }

    // A cross association value: the entry of (i, j), else that of (j, i), as the monitor reads it.
    std::optional<double> cross(const char *store_name, const std::vector<double> &m, std::int64_t i,
                                std::int64_t j) const {
        const double ij = m[at(i, j)], ji = m[at(j, i)];
        if (usable(ij) && usable(ji) && ij != ji)
            refuse(std::string(store_name) + " of " + name(i) + " and " + name(j) +
                   " differs between the two orders of the pair; the model takes one value per pair");
        if (usable(ij)) return ij;
        if (usable(ji)) return ji;
        return std::nullopt;
    }

    void add_binary(std::int64_t i, std::int64_t j, std::vector<PcSaftAssocBinary> &out) const {
        PcSaftAssocBinary b;
        b.first = name(i);
        b.second = name(j);
        b.k_ij = constant("PCSKIJ", a_.kij, 6, i, j);
        b.l_ij = constant("PCSLIJ", a_.lij, 4, i, j);
        if (terms_ && a_.types[static_cast<std::size_t>(i - 1)] != 0 && a_.types[static_cast<std::size_t>(j - 1)] != 0) {
            b.kappa_ab = cross("PCSAKX", a_.kappa_ab, i, j);
            b.epsilon_ab_k = cross("PCSAEX", a_.eps_ab, i, j);
        }
        if (b.k_ij != 0.0 || b.l_ij != 0.0 || b.kappa_ab || b.epsilon_ab_k) out.push_back(std::move(b));
    }

    ReferenceHost &host_;
    const StateRequest &state_;
    const PcSaftAssocArguments a_;
    const bool terms_;
    std::vector<std::int64_t> species_;  // component numbers of the molecules and segment types in play
};

}  // namespace

Model pcsaft_assoc_model(ReferenceHost &host, const StateRequest &state) {
    if (state.association_options[2] == kSimplifiedAssociation)
        refuse("\"association\": \"simplified\" solves one site fraction per species to 1e-6; the model has the full "
               "association only");
    if (state.components.empty()) refuse("no component listed");
    return Builder(host, state).build();
}

}  // namespace keld::refhost::families
