// Writers of the phase-equilibrium tables (see cli_table.h).
#include "cli_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model_names.h"
#include "quantity_names.h"

namespace keld::cli {
namespace {

std::string cell(double x) {
    if (std::isnan(x)) return "";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.10g", x);
    return buffer;
}

std::string csv_field(const std::string &text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

bool Table::all_ok() const {
    return std::all_of(rows.begin(), rows.end(), [](const TableRow &r) {
        return r.status == "converged" || r.status == "single phase";
    });
}

void write_text(std::ostream &out, const Table &t) {
    out << t.title << "\n"
        << "case: " << t.case_name << ", model: " << model_display_name(t.model)
        << (model_display_name(t.model) == t.model ? "" : " (" + t.model + ")") << "\n\n";
    std::vector<std::string> header;
    if (!t.label_column.empty()) header.push_back(t.label_column);
    header.insert(header.end(), t.columns.begin(), t.columns.end());
    header.push_back("status");
    std::vector<std::vector<std::string>> cells;
    for (const TableRow &r : t.rows) {
        std::vector<std::string> line;
        if (!t.label_column.empty()) line.push_back(r.label);
        for (double v : r.values) line.push_back(std::isnan(v) ? "-" : cell(v));
        line.push_back(r.status);
        cells.push_back(std::move(line));
    }
    std::vector<std::size_t> width(header.size());
    for (std::size_t c = 0; c < header.size(); ++c) {
        width[c] = header[c].size();
        for (const auto &line : cells) width[c] = std::max(width[c], line[c].size());
    }
    auto emit = [&](const std::vector<std::string> &line) {
        std::string text;
        for (std::size_t c = 0; c < line.size(); ++c) {
            std::string field = line[c];
            if (c + 1 < line.size()) field.resize(width[c] + 2, ' ');
            text += field;
        }
        out << text << "\n";
    };
    emit(header);
    for (const auto &line : cells) emit(line);
    bool first = true;
    for (std::size_t k = 0; k < t.rows.size(); ++k) {
        if (t.rows[k].message.empty()) continue;
        if (first) out << "\n";
        first = false;
        out << "row " << k + 1 << ": " << readable_message(t.rows[k].message) << "\n";
    }
    if (!t.notes.empty()) out << "\n";
    for (const std::string &note : t.notes) out << note << "\n";
}

void write_csv(std::ostream &out, const Table &t) {
    std::string header;
    if (!t.label_column.empty()) header += csv_field(t.label_column) + ",";
    for (const std::string &c : t.columns) header += csv_field(c) + ",";
    out << header << "status,message\n";
    for (const TableRow &r : t.rows) {
        std::string line;
        if (!t.label_column.empty()) line += csv_field(r.label) + ",";
        for (double v : r.values) line += (std::isnan(v) ? "" : round_trip(v)) + ",";
        out << line << csv_field(r.status) << "," << csv_field(r.message) << "\n";
    }
}

void write_json(std::ostream &out, const Table &t) {
    nlohmann::json doc;
    doc["command"] = t.command;
    doc["title"] = t.title;
    doc["case"] = t.case_name;
    doc["model"] = t.model;
    doc["columns"] = t.columns;
    nlohmann::json rows = nlohmann::json::array();
    for (const TableRow &r : t.rows) {
        nlohmann::json row;
        if (!t.label_column.empty()) row[t.label_column] = r.label;
        for (std::size_t c = 0; c < t.columns.size(); ++c)
            row[t.columns[c]] =
                std::isnan(r.values[c]) ? nlohmann::json(nullptr) : nlohmann::json(r.values[c]);
        row["status"] = r.status;
        if (!r.message.empty()) row["message"] = r.message;
        rows.push_back(row);
    }
    doc["rows"] = rows;
    doc["notes"] = t.notes;
    for (const auto &[key, value] : t.extra.items()) doc[key] = value;
    out << doc.dump(2) << "\n";
}

}  // namespace keld::cli
