// Results of the phase-equilibrium commands: one table of numbers with a
// status per row, written as aligned text, CSV or JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace keld::cli {

struct TableRow {
    std::vector<double> values;  // one per column; NaN prints as an empty cell / null
    std::string status;          // "converged", "no solution", ...
    std::string message;         // why, when the row did not converge
    std::string label;           // optional first cell (e.g. "liquid" in a flash)
};

struct Table {
    std::string command;  // "sat", "activity", ...
    std::string title;    // one line for people
    std::string case_name, model;
    std::string label_column;          // name of the label column, empty for none
    std::vector<std::string> columns;  // names with units, "T / K"
    std::vector<TableRow> rows;
    std::vector<std::string> notes;                   // e.g. the critical point
    nlohmann::json extra = nlohmann::json::object();  // added to the JSON document

    bool all_ok() const;
};

void write_text(std::ostream &out, const Table &t);
void write_csv(std::ostream &out, const Table &t);
void write_json(std::ostream &out, const Table &t);

}  // namespace keld::cli
