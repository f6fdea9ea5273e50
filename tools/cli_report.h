// Results of the keld command as a readable table, JSON or CSV.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "keld/case.h"

namespace keld::cli {

struct Evaluation {
    std::size_t state_number;  // 1-based, in the case
    refhost::StateRequest request;
    refhost::StateResult result;
};

// CSV written as the rows come: the columns follow from the requests (the
// components any of them lists, the properties any of them asks for).
class CsvWriter {
public:
    CsvWriter(std::ostream &out, const refhost::Case &c, const std::vector<refhost::StateRequest> &requests);
    void row(const Evaluation &e);

private:
    std::ostream &out_;
    const refhost::Case &case_;
    std::vector<std::int64_t> columns_;
    std::array<bool, 5> any_value_{}, any_derivative_{};
};

// A JSON document written state by state: finish() closes it.
class JsonWriter {
public:
    JsonWriter(std::ostream &out, const refhost::Case &c,
               const std::vector<refhost::ModelInitialisation> &initialisation);
    void state(const Evaluation &e);
    void finish();

private:
    std::ostream &out_;
    const refhost::Case &case_;
    bool first_ = true;
};

// Monitor message lines for a person: the models named by family, and what to do
// when they report missing parameters. JSON and CSV keep the lines as recorded.
void print_messages(std::ostream &out, const std::vector<std::string> &lines);
// "no messages", "1 message line", "3 message lines".
std::string message_count(std::size_t n);

void write_table(std::ostream &out, const refhost::Case &c,
                 const std::vector<refhost::ModelInitialisation> &initialisation,
                 const std::vector<Evaluation> &evaluations);
// The database entries a case's components name and the parameter sets taken from them: as text
// for `keld init` (JSON output has them as its "database" field).
void print_database_uses(std::ostream &out, const refhost::Case &c);

void write_json(std::ostream &out, const refhost::Case &c,
                const std::vector<refhost::ModelInitialisation> &initialisation,
                const std::vector<Evaluation> &evaluations);
void write_csv(std::ostream &out, const refhost::Case &c, const std::vector<Evaluation> &evaluations);

}  // namespace keld::cli
