// Results of the keld command as a readable table, JSON or CSV.
#pragma once

#include <cstddef>
#include <ostream>
#include <vector>

#include "keld/case.h"

namespace keld::cli {

struct Evaluation {
    std::size_t state_number;  // 1-based, in the case
    refhost::StateRequest request;
    refhost::StateResult result;
};

void write_table(std::ostream &out, const refhost::Case &c,
                 const std::vector<refhost::ModelInitialisation> &initialisation,
                 const std::vector<Evaluation> &evaluations);
void write_json(std::ostream &out, const refhost::Case &c,
                const std::vector<refhost::ModelInitialisation> &initialisation,
                const std::vector<Evaluation> &evaluations);
void write_csv(std::ostream &out, const refhost::Case &c, const std::vector<Evaluation> &evaluations);

}  // namespace keld::cli
