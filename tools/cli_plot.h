// PNG plots of the sweep and phase-equilibrium commands, drawn by matplotlib:
// keld writes the curves as JSON and runs a short script with the Python
// interpreter the build was configured with (KELD_DEFAULT_PYTHON, normally the
// one of the environment the package was installed into), or $KELD_PYTHON. A
// missing interpreter or matplotlib is an error that says so. A file name
// ending in .json gets the curves themselves, for drawing elsewhere.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "model_names.h"

namespace keld::cli {

struct PlotSeries {
    std::string label;
    std::vector<double> x, y;
    // "line", "dashed", "points" (measured data), "marker" (a special point),
    // "computed" (points of the model: marked, and joined when dense enough to show the curve)
    std::string style = "line";
    std::string color;           // a matplotlib colour ("C0", "k"); empty: the next of the cycle
};

struct PlotSpec {
    std::string title, x_label, y_label;
    bool log_y = false;
    // 'x' or 'y': that axis holds pressures in Pa, and its label is the bare
    // symbol ("P"); drawing shows them in the unit pressure_scale chooses and
    // writes the unit into the label. 0: no pressure axis.
    char pressure_axis = 0;
    std::vector<PlotSeries> series;
    // 'x' or 'y': that axis holds temperatures in K; a second axis opposite it reads them in degC.
    char celsius_axis = 0;
};

// The unit a pressure axis reads best in: Pa, kPa or MPa by the largest value.
struct AxisScale {
    double factor;     // Pa per unit
    const char *unit;  // "Pa", "kPa", "MPa"
};
AxisScale pressure_scale(double largest_pa);
// Divides the x (or y) values of every series, given in Pa, by the unit
// pressure_scale chooses for them; returns the axis label "SYMBOL / unit".
std::string scale_pressures(std::vector<PlotSeries> &series, bool y_axis, const std::string &symbol);

// `plot` with its pressure axis (if any) in kPa or MPa, unit in the label.
PlotSpec with_pressure_unit(PlotSpec plot);

// The plot as the JSON document the drawing script reads.
std::string plot_json(const PlotSpec &plot);
// Draws `plot` as a PNG (or writes plot_json for a path ending in .json).
// Throws std::runtime_error with a message for people when it cannot.
void draw_png(const PlotSpec &plot, const std::string &path);
// Runs a matplotlib script (python -c SCRIPT DATA_FILE PATH) with `data` in a temporary file, through
// the interpreter keld was configured with (or $KELD_PYTHON); the script exits 3 without matplotlib.
void run_plot_script(const char *script, const std::string &data, const std::string &path);
// Draws the plot `description` (JSON the script reads) with `script` as a PNG, or writes that JSON for a
// path ending in .json (for tests and for drawing elsewhere).
void draw_with_script(const char *script, const std::string &description, const std::string &path);

// Measured points to draw with a plot: the first two numeric columns of a CSV
// file (a header line and lines starting with '#' are skipped; a line
// "# label: TEXT" names the points in the legend). Throws
// std::runtime_error naming the file and line of a fault.
PlotSeries read_data_points(const std::string &path);

}  // namespace keld::cli
