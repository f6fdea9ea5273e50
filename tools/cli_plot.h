// PNG plots of the phase-equilibrium commands, drawn by Debian's matplotlib
// (the project already depends on it): keld writes the curves as JSON and runs
// a short script with /usr/bin/python3 (or $KELD_PYTHON). A missing
// interpreter or matplotlib is an error that says so.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace keld::cli {

struct PlotSeries {
    std::string label;
    std::vector<double> x, y;
    std::string style = "line";  // "line", "dashed", "points" (measured data), "marker" (a special point)
    std::string color;           // a matplotlib colour ("C0", "k"); empty: the next of the cycle
};

struct PlotSpec {
    std::string title, x_label, y_label;
    bool log_y = false;
    std::vector<PlotSeries> series;
};

// Throws std::runtime_error with a message for people when it cannot draw.
void draw_png(const PlotSpec &plot, const std::string &path);

// Measured points to draw with a plot: the first two numeric columns of a CSV
// file (a header line and lines starting with '#' are skipped; a line
// "# label: TEXT" names the points in the legend). Throws
// std::runtime_error naming the file and line of a fault.
PlotSeries read_data_points(const std::string &path);

}  // namespace keld::cli
