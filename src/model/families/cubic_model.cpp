// keld::Model::cubic: SRK with excess-Gibbs mixing from plain parameters (keld/model_cubic.hpp).
#include "keld/model.hpp"
#include "model/families/cubic_family.h"

namespace keld {

Model Model::cubic(std::vector<CubicComponent> components, const CubicOptions &options) {
    model::CubicParameters p = model::cubic_parameters(components, options);
    std::vector<ModelComponent> described;
    for (const CubicComponent &c : components) described.push_back({c.name, c.mw, c.mw_apparent});
    return Model("cubic", std::move(described), model::cubic_residual(std::move(p)));
}

}  // namespace keld
