// Model::sanchez_lacombe: the lattice fluid from plain parameters (see keld/model.hpp).
#include "keld/model.hpp"
#include "model/families/sanchez_lacombe_family.h"

namespace keld {

Model Model::sanchez_lacombe(std::vector<SanchezLacombeComponent> components, std::vector<double> kij,
                             std::vector<double> eta) {
    model::SanchezLacombeParameters p;
    std::vector<ModelComponent> described;
    for (const SanchezLacombeComponent &c : components) {
        p.t_star.push_back(c.t_star);
        p.p_star.push_back(c.p_star);
        p.rho_star.push_back(c.rho_star);
        p.mw.push_back(c.mw);
        described.push_back({c.name, c.mw, c.mw_apparent});
    }
    p.kij = std::move(kij);
    p.eta = std::move(eta);
    return Model("sanchez_lacombe", std::move(described), model::sanchez_lacombe_residual(std::move(p)));
}

}  // namespace keld
