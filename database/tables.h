// The database's tables: CSV text parsed into rows of cells, and the tables compiled into the library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "keld/database.hpp"

namespace keld::database {

struct Database::Table {
    std::string path;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;  // each as long as the header

    // The column's index; npos when the table has none.
    std::size_t column(std::string_view name) const;
    const std::string &cell(std::size_t row, std::string_view name) const;  // "" for a missing column
};

// RFC 4180 CSV (quoted cells may hold commas, doubled quotes and line breaks). Throws
// std::invalid_argument naming the path and line of a malformed row.
Database::Table parse_csv(std::string path, std::string_view text);

// A published number as a double; none for an empty cell or text that is not wholly a finite number.
bool parse_number(std::string_view text, double &value);

namespace detail {
// (path relative to data/, CSV text) of every shipped table; generated at configure time.
const std::vector<std::pair<std::string, std::string>> &shipped_tables();
}  // namespace detail

}  // namespace keld::database
