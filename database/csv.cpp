// Parsing the database's CSV tables.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

#include "tables.h"

namespace keld::database {

namespace {

// Splits the text into records of cells; `line` counts physical lines for messages.
std::vector<std::vector<std::string>> records(const std::string &path, std::string_view text) {
    std::vector<std::vector<std::string>> out;
    std::vector<std::string> record;
    std::string cell;
    bool quoted = false, cell_started = false;
    std::size_t line = 1;
    auto end_cell = [&] {
        record.push_back(std::move(cell));
        cell.clear();
        cell_started = false;
    };
    auto end_record = [&] {
        end_cell();
        if (!(record.size() == 1 && record.front().empty())) out.push_back(std::move(record));
        record.clear();
    };
    for (std::size_t k = 0; k < text.size(); ++k) {
        const char c = text[k];
        if (quoted) {
            if (c == '"' && k + 1 < text.size() && text[k + 1] == '"') {
                cell += '"';
                ++k;
            } else if (c == '"') {
                quoted = false;
            } else {
                if (c == '\n') ++line;
                cell += c;
            }
            continue;
        }
        if (c == '"') {
            if (cell_started || !cell.empty())
                throw std::invalid_argument(path + ":" + std::to_string(line) + ": a quote inside an unquoted cell");
            quoted = cell_started = true;
        } else if (c == ',') {
            end_cell();
        } else if (c == '\n') {
            end_record();
            ++line;
        } else if (c != '\r') {
            cell += c;
            cell_started = true;
        }
    }
    if (quoted) throw std::invalid_argument(path + ": a quoted cell is not closed");
    end_record();
    return out;
}

}  // namespace

std::size_t Database::Table::column(std::string_view name) const {
    for (std::size_t k = 0; k < header.size(); ++k) {
        if (header[k] == name) return k;
    }
    return std::string::npos;
}

const std::string &Database::Table::cell(std::size_t row, std::string_view name) const {
    static const std::string empty;
    const std::size_t k = column(name);
    return k == std::string::npos ? empty : rows.at(row)[k];
}

Database::Table parse_csv(std::string path, std::string_view text) {
    auto all = records(path, text);
    if (all.empty()) throw std::invalid_argument(path + ": no header line");
    Database::Table t;
    t.path = std::move(path);
    t.header = std::move(all.front());
    for (std::size_t k = 1; k < all.size(); ++k) {
        if (all[k].size() != t.header.size()) {
            throw std::invalid_argument(t.path + ": row " + std::to_string(k) + " has " + std::to_string(all[k].size()) +
                                        " cells, the header " + std::to_string(t.header.size()));
        }
        t.rows.push_back(std::move(all[k]));
    }
    return t;
}

bool parse_number(std::string_view text, double &value) {
    // Published numbers carry no blanks; strtod alone would also take " 3", "nan" or "0x1p3".
    if (text.empty() || text.find_first_of(" \t\r\nxXnN") != std::string_view::npos) return false;
    const std::string s(text);
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || errno == ERANGE || !std::isfinite(v)) return false;
    value = v;
    return true;
}

}  // namespace keld::database
