// Model::saft: the SAFT of Huang and Radosz from plain parameters (see keld/model.hpp).
#include "keld/model.hpp"
#include "model/families/saft_family.h"

namespace keld {

Model Model::saft(std::vector<SaftComponent> components, std::vector<double> kij, std::vector<double> lij) {
    model::SaftParameters p;
    std::vector<ModelComponent> described;
    for (const SaftComponent &c : components) {
        p.m.push_back(c.m);
        p.v00.push_back(c.v00);
        p.u0.push_back(c.u0_k);
        p.e.push_back(c.e_k);
        described.push_back({c.name, c.mw, c.mw_apparent});
    }
    p.kij = std::move(kij);
    p.lij = std::move(lij);
    return Model("saft", std::move(described), model::saft_residual(std::move(p)));
}

}  // namespace keld
