// PNG plots through matplotlib (see cli_plot.h).
#include "cli_plot.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

extern char **environ;

namespace keld::cli {
namespace {

constexpr int kNoMatplotlib = 3;  // exit status of the script when matplotlib is missing

// Reads the curves (JSON) from argv[1] and writes the PNG argv[2].
constexpr const char *kScript = R"PY(
import json, sys
try:
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
except ImportError as e:
    sys.stderr.write(str(e) + "\n")
    sys.exit(3)
with open(sys.argv[1]) as f:
    spec = json.load(f)
fig, ax = plt.subplots(figsize=(6.4, 4.6), dpi=110)
ax.ticklabel_format(useOffset=False)
styles = {"line": dict(ls="-", lw=1.6), "dashed": dict(ls="--", lw=1.2),
          "points": dict(ls="none", marker="o", ms=5, mfc="none", mew=1.2),
          "marker": dict(ls="none", marker="*", ms=11)}
for s in spec["series"]:
    if not s["x"]:
        continue
    extra = {"color": s["color"]} if s.get("color") else {}
    style = styles.get(s["style"], {})
    if s["style"] == "computed":
        # Every computed point is marked; straight joins only where the points
        # are dense enough to stand for the curve, and no marks crowding a dense one.
        n = len(s["x"])
        style = dict(ls="-" if n >= 20 else "none", lw=1.4, marker="o" if n <= 80 else None, ms=4)
    ax.plot(s["x"], s["y"], label=s["label"] or None, **style, **extra)
if spec.get("log_y"):
    ax.set_yscale("log")
ax.set_xlabel(spec["x_label"])
ax.set_ylabel(spec["y_label"])
ax.set_title(spec["title"], fontsize=10)
ax.grid(True, alpha=0.3)
celsius = (lambda t: t - 273.15, lambda c: c + 273.15)
if spec.get("celsius_axis") == "y":
    ax.secondary_yaxis("right", functions=celsius).set_ylabel("T / degC")
elif spec.get("celsius_axis") == "x":
    ax.secondary_xaxis("top", functions=celsius).set_xlabel("T / degC")
if any(s["label"] for s in spec["series"]):
    ax.legend(fontsize=8)
fig.tight_layout()
fig.savefig(sys.argv[2])
)PY";

#ifndef KELD_DEFAULT_PYTHON
#define KELD_DEFAULT_PYTHON "/usr/bin/python3"
#endif

std::string python_interpreter() {
    const char *chosen = std::getenv("KELD_PYTHON");
    return chosen != nullptr && *chosen != '\0' ? chosen : KELD_DEFAULT_PYTHON;
}

nlohmann::json numbers(const std::vector<double> &v) {
    nlohmann::json out = nlohmann::json::array();
    for (double x : v) out.push_back(std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr));
    return out;
}

bool ends_with(const std::string &text, const std::string &end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

AxisScale pressure_scale(double largest_pa) {
    const double p = std::fabs(largest_pa);
    if (p >= 1e6) return {1e6, "MPa"};
    if (p >= 1e3) return {1e3, "kPa"};
    return {1.0, "Pa"};
}

std::string scale_pressures(std::vector<PlotSeries> &series, bool y_axis, const std::string &symbol) {
    double largest = 0;
    for (const PlotSeries &s : series)
        for (double v : y_axis ? s.y : s.x)
            if (std::isfinite(v)) largest = std::max(largest, std::fabs(v));
    const AxisScale scale = pressure_scale(largest);
    for (PlotSeries &s : series)
        for (double &v : y_axis ? s.y : s.x) v /= scale.factor;
    return symbol + " / " + scale.unit;
}

PlotSpec with_pressure_unit(PlotSpec plot) {
    if (plot.pressure_axis == 'x') plot.x_label = scale_pressures(plot.series, false, plot.x_label);
    if (plot.pressure_axis == 'y') plot.y_label = scale_pressures(plot.series, true, plot.y_label);
    plot.pressure_axis = 0;
    return plot;
}

std::string plot_json(const PlotSpec &unscaled) {
    const PlotSpec plot = with_pressure_unit(unscaled);
    nlohmann::json spec;
    spec["title"] = plot.title;
    spec["x_label"] = plot.x_label;
    spec["y_label"] = plot.y_label;
    spec["log_y"] = plot.log_y;
    if (plot.celsius_axis != 0) spec["celsius_axis"] = std::string(1, plot.celsius_axis);
    spec["series"] = nlohmann::json::array();
    for (const PlotSeries &s : plot.series)
        spec["series"].push_back({{"label", s.label},
                                  {"x", numbers(s.x)},
                                  {"y", numbers(s.y)},
                                  {"style", s.style},
                                  {"color", s.color}});
    return spec.dump();
}

void draw_png(const PlotSpec &plot, const std::string &path) {
    if (ends_with(path, ".json")) {
        std::ofstream out(path);
        out << plot_json(plot) << "\n";
        if (!out.flush()) throw std::runtime_error("--plot: cannot write " + path);
        return;
    }
    run_plot_script(kScript, plot_json(plot), path);
}

void draw_with_script(const char *script, const std::string &description, const std::string &path) {
    if (path.size() > 5 && path.compare(path.size() - 5, 5, ".json") == 0) {
        std::ofstream out(path);
        out << description << "\n";
        if (!out.flush()) throw std::runtime_error("--plot: cannot write " + path);
        return;
    }
    run_plot_script(script, description, path);
}

void run_plot_script(const char *script, const std::string &data, const std::string &path) {
    const std::string python = python_interpreter();
    if (access(python.c_str(), X_OK) != 0)
        throw std::runtime_error("--plot draws with matplotlib through " + python +
                                 ", which was not found (install python3-matplotlib, or set KELD_PYTHON)");
    const char *tmp = std::getenv("TMPDIR");
    std::string data_path = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/keld-plot-XXXXXX";
    const int fd = mkstemp(data_path.data());
    if (fd < 0)
        throw std::runtime_error("--plot: cannot create a temporary file: " +
                                 std::string(std::strerror(errno)));
    const bool written = write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    close(fd);
    if (!written) {
        unlink(data_path.c_str());
        throw std::runtime_error("--plot: cannot write a temporary file");
    }

    std::vector<std::string> args{python, "-c", script, data_path, path};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    const int spawned = posix_spawn(&pid, python.c_str(), nullptr, nullptr, argv.data(), environ);
    int status = 0;
    if (spawned == 0) waitpid(pid, &status, 0);
    unlink(data_path.c_str());
    if (spawned != 0)
        throw std::runtime_error("--plot: cannot run " + python + ": " + std::strerror(spawned));
    if (WIFEXITED(status) && WEXITSTATUS(status) == kNoMatplotlib)
        throw std::runtime_error("--plot needs matplotlib, which " + python +
                                 " cannot import (install python3-matplotlib)");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("--plot: " + python + " failed to draw " + path);
}

PlotSeries read_data_points(const std::string &path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + ": cannot open the data file");
    PlotSeries s;
    s.label = "data";
    s.style = "points";
    s.color = "k";  // measured points stand apart from the model curves (C0, C1, ...)
    std::string line;
    int number = 0;
    bool header_allowed = true;
    while (std::getline(in, line)) {
        ++number;
        if (line.rfind("# label:", 0) == 0) {
            s.label = line.substr(8);
            s.label.erase(0, s.label.find_first_not_of(' '));
            continue;
        }
        if (line.empty() || line[0] == '#') continue;
        std::stringstream fields(line);
        std::string a, b;
        std::getline(fields, a, ',');
        std::getline(fields, b, ',');
        char *end_a = nullptr, *end_b = nullptr;
        const double x = std::strtod(a.c_str(), &end_a), y = std::strtod(b.c_str(), &end_b);
        const bool numeric = !a.empty() && !b.empty() && *end_a == '\0' && (*end_b == '\0' || *end_b == '\r');
        if (!numeric) {
            if (header_allowed) {
                header_allowed = false;
                continue;
            }
            throw std::runtime_error(path + ":" + std::to_string(number) + ": expected two numbers");
        }
        header_allowed = false;
        s.x.push_back(x);
        s.y.push_back(y);
    }
    if (s.x.empty()) throw std::runtime_error(path + ": no data points");
    return s;
}

}  // namespace keld::cli
