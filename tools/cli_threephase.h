// The three-phase commands of keld on the model's Helmholtz energy: vlle (the three-phase line of
// a binary up to its upper critical end point) and the flash into up to three phases that
// `keld flash --phases 3` runs.
#pragma once

#include <string>
#include <vector>

#include "cli_command.h"
#include "cli_table.h"
#include "keld/model.hpp"

namespace keld::cli {

// Declares vlle.
void add_threephase_commands(Commands &commands);

// Fills `t` with the flash of the feed z (true mole fractions) at T (K) and P (Pa) into up to
// `phases` phases on the model: one row per phase (liquids first, then the vapour), the columns
// of `keld flash`. Returns the result's status as text.
void flash_on_model_table(const Model &model, const std::vector<std::string> &ids, double t_k, double p,
                          const std::vector<double> &z, int phases, Table &t);

}  // namespace keld::cli
