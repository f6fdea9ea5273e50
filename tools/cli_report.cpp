// Results of the keld command as a readable table, JSON or CSV.
#include "cli_report.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "model_names.h"
#include "quantity_names.h"

namespace keld::cli {

namespace {

using refhost::wants_derivative;
using refhost::wants_value;

struct PropertyColumn {
    const char *name;
    const char *derivative;
};

// H, S, G, V in the order of the request flags KH, KS, KG, KV.
constexpr std::array<PropertyColumn, 4> properties{{
    {"H", "dH_dT"},
    {"S", "dS_dT"},
    {"G", "dG_dT"},
    {"V", "dV_dT"},
}};

std::string unit_of(const char *name) { return std::string(quantity(name).unit); }

std::array<double, 4> values_of(const refhost::StateResult &r) {
    return {r.h, r.s, r.g, r.v};
}
std::array<double, 4> derivatives_of(const refhost::StateResult &r) {
    return {r.dh, r.ds, r.dg, r.dv};
}

std::string number(double x, int digits) {
    if (std::isnan(x)) return "nan";
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, x);
    return buffer;
}

std::string phase_name(std::int64_t phase) {
    return phase == 1 ? "vapour" : phase == 2 ? "liquid" : "phase " + std::to_string(phase);
}

std::string status_word(std::int64_t status) {
    return status == 1 ? "ok" : "failed";
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text + " ";
}

std::string state_title(const Evaluation &e) {
    std::string title = "State " + std::to_string(e.state_number);
    if (!e.request.label.empty()) title += ": " + e.request.label;
    return title;
}

std::string component_id(const refhost::Case &c, std::int64_t number) {
    return c.host->identifier(number);
}

// The monitors' lines say which parameter is missing; what to do about it is the command's to add.
bool reports_missing_parameters(const std::vector<std::string> &lines) {
    for (const std::string &line : lines)
        if (line.find("HAS MISSING PARAMETERS") != std::string::npos) return true;
    return false;
}

}  // namespace

void print_messages(std::ostream &out, const std::vector<std::string> &lines) {
    for (const std::string &line : lines) out << "  | " << readable_message(line) << "\n";
    if (reports_missing_parameters(lines))
        out << "  what to do: give the missing values in the case's \"parameters\" for that data set, or name the "
               "component's \"database\" entry (keld db search NAME); keld init CASE lists what each model reads\n";
}

std::string message_count(std::size_t n) {
    return n == 0 ? "no messages" : std::to_string(n) + (n == 1 ? " message line" : " message lines");
}

void write_table(std::ostream &out, const refhost::Case &c,
                 const std::vector<refhost::ModelInitialisation> &initialisation,
                 const std::vector<Evaluation> &evaluations) {
    out << c.origin << (c.title.empty() ? "" : ": " + c.title) << "\n";
    for (const auto &init : initialisation) {
        out << "Initialisation of " << init.model << ": " << message_count(init.messages.size()) << "\n";
        print_messages(out, init.messages);
    }
    for (const Evaluation &e : evaluations) {
        const auto &q = e.request;
        const auto &r = e.result;
        out << "\n" << state_title(e) << "\n";
        out << "  model " << model_display_name(q.model) << " (" << q.model << "), data set " << q.data_set << ", " << phase_name(q.phase)
            << ", T = " << number(q.temperature, 10) << " K, P = " << number(q.pressure, 10) << " Pa\n";
        const bool phi = wants_value(q.flags[0]), dphi = wants_derivative(q.flags[0]);
        std::string header = "  " + padded("component", 10) + padded("z", 16) +
                             (phi ? padded("ln_phi", 16) : "") + (dphi ? label_in("d_ln_phi_dT", quantity("d_ln_phi_dT").unit) : "");
        while (header.back() == ' ') header.pop_back();
        out << header << "\n";
        for (std::size_t k = 0; k < q.components.size(); ++k) {
            std::string line = "  " + padded(component_id(c, q.components[k]), 10) +
                               padded(number(q.z[k], 9), 16) + (phi ? padded(number(r.phi[k], 10), 16) : "") +
                               (dphi ? number(r.dphi[k], 10) : "");
            while (line.back() == ' ') line.pop_back();
            out << line << "\n";
        }
        bool any = false, any_derivative = false;
        for (std::size_t p = 0; p < properties.size(); ++p) {
            any = any || wants_value(q.flags[p + 1]) || wants_derivative(q.flags[p + 1]);
            any_derivative = any_derivative || wants_derivative(q.flags[p + 1]);
        }
        if (any) {
            std::string columns =
                "  " + padded("property", 10) + padded("value", 16) +
                (any_derivative ? padded("unit", 12) + padded("d/dT", 16) + "unit" : "unit");
            out << columns << "\n";
            const auto values = values_of(r), derivatives = derivatives_of(r);
            for (std::size_t p = 0; p < properties.size(); ++p) {
                const std::int64_t flag = q.flags[p + 1];
                if (!wants_value(flag) && !wants_derivative(flag)) continue;
                std::string line = "  " + padded(properties[p].name, 10) +
                                   padded(wants_value(flag) ? number(values[p], 10) : "-", 16) +
                                   padded(unit_of(properties[p].name), 12);
                if (wants_derivative(flag))
                    line += padded(number(derivatives[p], 10), 16) + unit_of(properties[p].derivative);
                while (line.back() == ' ') line.pop_back();
                out << line << "\n";
            }
        }
        out << "  status: " << status_word(r.status) << " (KSTAT " << r.status << ")\n";
        if (r.messages.empty()) {
            out << "  messages: none\n";
        } else {
            out << "  messages:\n";
            print_messages(out, r.messages);
        }
    }
}

namespace {

nlohmann::ordered_json state_json(const refhost::Case &c, const Evaluation &e) {
    using Json = nlohmann::ordered_json;
    const auto &q = e.request;
    const auto &r = e.result;
    Json s;
    s["state"] = e.state_number;
    s["label"] = q.label;
    s["model"] = q.model;
    s["data_set"] = q.data_set;
    s["phase"] = phase_name(q.phase);
    s[label("T")] = q.temperature;
    s[label("P")] = q.pressure;
    Json ids = Json::array();
    for (std::int64_t i : q.components) ids.push_back(component_id(c, i));
    s["components"] = ids;
    s["z"] = q.z;
    // Per component, in the order of "components"; NaN is written as null.
    if (wants_value(q.flags[0])) s["ln_phi"] = r.phi;
    if (wants_derivative(q.flags[0])) s["d_ln_phi_dT / (1/K)"] = r.dphi;
    const auto values = values_of(r), derivatives = derivatives_of(r);
    for (std::size_t p = 0; p < properties.size(); ++p) {
        if (wants_value(q.flags[p + 1])) s[label(properties[p].name)] = values[p];
        if (wants_derivative(q.flags[p + 1])) s[label(properties[p].derivative)] = derivatives[p];
    }
    s["status"] = r.status;
    s["messages"] = r.messages;
    return s;
}

// Indents every line after the first of a dumped value by `by` blanks.
std::string indented(const std::string &text, std::size_t by) {
    std::string out;
    for (char ch : text) {
        out += ch;
        if (ch == '\n') out.append(by, ' ');
    }
    return out;
}

}  // namespace

static nlohmann::ordered_json database_json(const refhost::Case &c) {
    using Json = nlohmann::ordered_json;
    Json uses = Json::array();
    for (const refhost::DatabaseUse &use : c.database_uses) {
        Json sets = Json::array();
        for (const auto &s : use.sets) {
            sets.push_back({{"model", s.family}, {"data_set", s.data_set}, {"set", s.set}, {"table", s.table},
                            {"source", s.source}});
        }
        Json entry{{"component", use.component}, {"entry", use.entry}, {"sets", std::move(sets)}};
        if (!use.binaries.empty()) {
            Json binaries = Json::array();
            for (const auto &b : use.binaries) {
                binaries.push_back({{"model", b.family}, {"data_set", b.data_set}, {"with", b.other},
                                    {"parameter", b.name}, {"value", b.value}, {"source", b.source}});
            }
            entry["binaries"] = std::move(binaries);
        }
        uses.push_back(std::move(entry));
    }
    return uses;
}

void print_database_uses(std::ostream &out, const refhost::Case &c) {
    for (const refhost::DatabaseUse &use : c.database_uses) {
        out << "Database: " << use.component << " is " << use.entry << "\n";
        for (const auto &s : use.sets) {
            out << "  " << s.family << ", data set " << s.data_set << ": " << s.table << " (" << s.set
                << "), source " << s.source << "\n";
        }
        for (const auto &b : use.binaries) {
            out << "  " << b.family << ", data set " << b.data_set << ": " << b.name << " with " << b.other << " = "
                << b.value << ", source " << b.source << "\n";
        }
        if (use.sets.empty() && use.binaries.empty()) out << "  molecular weight only\n";
    }
}

JsonWriter::JsonWriter(std::ostream &out, const refhost::Case &c,
                       const std::vector<refhost::ModelInitialisation> &initialisation)
    : out_(out), case_(c) {
    using Json = nlohmann::ordered_json;
    Json init = Json::array();
    for (const auto &i : initialisation) init.push_back({{"model", i.model}, {"messages", i.messages}});
    out_ << "{\n  \"case\": " << Json(c.origin).dump() << ",\n  \"title\": " << Json(c.title).dump();
    // Only a case with database components has the field: other documents stay as they were.
    if (!c.database_uses.empty()) out_ << ",\n  \"database\": " << indented(database_json(c).dump(2), 2);
    out_ << ",\n  \"initialisation\": " << indented(init.dump(2), 2) << ",\n  \"states\": [";
}

void JsonWriter::state(const Evaluation &e) {
    out_ << (first_ ? "\n    " : ",\n    ") << indented(state_json(case_, e).dump(2), 4);
    first_ = false;
}

void JsonWriter::finish() { out_ << (first_ ? "]\n}\n" : "\n  ]\n}\n"); }

void write_json(std::ostream &out, const refhost::Case &c,
                const std::vector<refhost::ModelInitialisation> &initialisation,
                const std::vector<Evaluation> &evaluations) {
    JsonWriter writer(out, c, initialisation);
    for (const Evaluation &e : evaluations) writer.state(e);
    writer.finish();
}

namespace {

std::string csv_field(const std::string &text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char ch : text) {
        if (ch == '"') quoted += '"';
        quoted += ch;
    }
    return quoted + "\"";
}

}  // namespace

CsvWriter::CsvWriter(std::ostream &out, const refhost::Case &c, const std::vector<refhost::StateRequest> &requests)
    : out_(out), case_(c) {
    const std::int64_t nc = c.host->component_count();
    std::vector<bool> listed(static_cast<std::size_t>(nc) + 1, false);
    for (const refhost::StateRequest &q : requests) {
        for (std::int64_t i : q.components) listed[static_cast<std::size_t>(i)] = true;
        for (std::size_t p = 0; p < 5; ++p) {
            any_value_[p] = any_value_[p] || wants_value(q.flags[p]);
            any_derivative_[p] = any_derivative_[p] || wants_derivative(q.flags[p]);
        }
    }
    for (std::int64_t i = 1; i <= nc; ++i) {
        if (listed[static_cast<std::size_t>(i)]) columns_.push_back(i);
    }

    std::vector<std::string> header{"state",    "label",    "model",    "phase",
                                    "data_set", label("T"), label("P"), "status"};
    for (std::int64_t i : columns_) header.push_back(label("z", component_id(c, i)));
    if (any_value_[0]) {
        for (std::int64_t i : columns_) header.push_back(label("ln_phi", component_id(c, i)));
    }
    if (any_derivative_[0]) {
        for (std::int64_t i : columns_) header.push_back(label("d_ln_phi_dT", component_id(c, i)));
    }
    for (std::size_t p = 0; p < properties.size(); ++p) {
        if (any_value_[p + 1]) header.push_back(label(properties[p].name));
        if (any_derivative_[p + 1]) header.push_back(label(properties[p].derivative));
    }
    header.push_back("messages");
    for (std::size_t k = 0; k < header.size(); ++k) out_ << (k ? "," : "") << csv_field(header[k]);
    out_ << "\n";
}

void CsvWriter::row(const Evaluation &e) {
    const auto &q = e.request;
    const auto &r = e.result;
    std::vector<std::string> row{std::to_string(e.state_number),
                                 q.label,
                                 q.model,
                                 phase_name(q.phase),
                                 std::to_string(q.data_set),
                                 round_trip(q.temperature),
                                 round_trip(q.pressure),
                                 std::to_string(r.status)};
    auto per_component = [&](const std::vector<double> &v, bool wanted) {
        for (std::int64_t i : columns_) {
            std::string cell;
            for (std::size_t k = 0; k < q.components.size(); ++k) {
                if (q.components[k] == i && wanted) cell = round_trip(v[k]);
            }
            row.push_back(cell);
        }
    };
    per_component(q.z, true);
    if (any_value_[0]) per_component(r.phi, wants_value(q.flags[0]));
    if (any_derivative_[0]) per_component(r.dphi, wants_derivative(q.flags[0]));
    const auto values = values_of(r), derivatives = derivatives_of(r);
    for (std::size_t p = 0; p < properties.size(); ++p) {
        if (any_value_[p + 1]) row.push_back(wants_value(q.flags[p + 1]) ? round_trip(values[p]) : "");
        if (any_derivative_[p + 1])
            row.push_back(wants_derivative(q.flags[p + 1]) ? round_trip(derivatives[p]) : "");
    }
    std::string messages;
    for (const std::string &line : r.messages) messages += (messages.empty() ? "" : " | ") + line;
    row.push_back(messages);
    for (std::size_t k = 0; k < row.size(); ++k) out_ << (k ? "," : "") << csv_field(row[k]);
    out_ << "\n";
}

void write_csv(std::ostream &out, const refhost::Case &c, const std::vector<Evaluation> &evaluations) {
    std::vector<refhost::StateRequest> requests;
    for (const Evaluation &e : evaluations) requests.push_back(e.request);
    CsvWriter writer(out, c, requests);
    for (const Evaluation &e : evaluations) writer.row(e);
}

}  // namespace keld::cli
