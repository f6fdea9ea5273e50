// keld sweep --plot (see cli_sweep_plot.h).
#include "cli_sweep_plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "cli_equilibria.h"

namespace keld::cli {
namespace {

struct Property {
    const char *name;
    std::size_t flag;  // index into StateRequest::flags
    const char *axis;
};
constexpr Property properties[] = {{"V", 4, "V / (m3/kmol)"},
                                   {"H", 1, "H - H_ig / (J/kmol)"},
                                   {"G", 3, "G - G_ig / (J/kmol)"},
                                   {"S", 2, "S - S_ig / (J/(kmol K))"}};

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char ch) { return std::toupper(ch); });
    return text;
}

const Property *find_property(const std::string &name) {
    for (const Property &p : properties)
        if (name == p.name) return &p;
    return nullptr;
}

// Position of component `id` among the state's listed components; -1 when absent.
long listed_position(const refhost::Case &c, const refhost::StateRequest &s, const std::string &id) {
    for (std::size_t k = 0; k < s.components.size(); ++k)
        if (upper(c.host->identifier(s.components[k])) == upper(id)) return static_cast<long>(k);
    return -1;
}

}  // namespace

SweepPlot::SweepPlot(std::string path, std::string property, bool over_temperature)
    : path_(std::move(path)), property_(std::move(property)), over_t_(over_temperature) {
    if (path_.empty()) throw CommandLineError("--plot needs a file name");
    if (property_.rfind("lnphi:", 0) == 0) {
        component_ = property_.substr(6);
        if (component_.empty()) throw CommandLineError("--property lnphi:ID needs a component identifier");
    } else if (!property_.empty() && find_property(property_) == nullptr) {
        throw CommandLineError("--property takes V, H, S, G or lnphi:ID, not '" + property_ + "'");
    }
}

void SweepPlot::check(const refhost::Case &c, const std::vector<std::size_t> &states) {
    states_ = states;
    auto all_ask = [&](std::size_t flag) {
        return std::all_of(states.begin(), states.end(),
                           [&](std::size_t n) { return refhost::wants_value(c.states[n - 1].flags[flag]); });
    };
    if (property_.empty()) {
        for (const Property &p : properties)
            if (all_ask(p.flag)) {
                property_ = p.name;
                break;
            }
        if (property_.empty()) {
            const auto &first = c.states[states.front() - 1];
            component_ = c.host->identifier(first.components.front());
            property_ = "lnphi:" + component_;
        }
    }
    if (!component_.empty()) {
        for (std::size_t n : states) {
            positions_.push_back(listed_position(c, c.states[n - 1], component_));
            if (positions_.back() < 0)
                throw CommandLineError("--property " + property_ + ": state " + std::to_string(n) +
                                       " does not list " + component_);
        }
        if (!all_ask(0)) throw CommandLineError("--property " + property_ + ": a swept state does not ask for ln phi");
    } else if (!all_ask(find_property(property_)->flag)) {
        throw CommandLineError("--property " + property_ + ": a swept state does not ask for " + property_);
    }
}

void SweepPlot::add(const Evaluation &e) {
    const auto index = static_cast<std::size_t>(std::find(states_.begin(), states_.end(), e.state_number) -
                                                 states_.begin());
    if (index >= states_.size()) return;
    if (series_.size() < states_.size()) series_.resize(states_.size());
    PlotSeries &s = series_[index];
    if (s.label.empty()) {
        s.label = "state " + std::to_string(e.state_number);
        if (!e.request.label.empty()) s.label += ": " + e.request.label;
    }
    double y = 0;
    if (component_.empty()) {
        const double values[] = {0, e.result.h, e.result.s, e.result.g, e.result.v};
        y = values[find_property(property_)->flag];
    } else {
        y = e.result.phi.at(static_cast<std::size_t>(positions_[index]));
    }
    if (e.result.status != 1 || !std::isfinite(y)) return;  // a gap in the curve
    s.x.push_back(over_t_ ? e.request.temperature : e.request.pressure);
    s.y.push_back(y);
}

void SweepPlot::draw() const {
    PlotSpec plot;
    plot.title = "keld sweep";
    plot.x_label = over_t_ ? "T / K" : "P / Pa";
    plot.y_label = component_.empty() ? find_property(property_)->axis : "ln phi(" + component_ + ")";
    for (const PlotSeries &s : series_)
        if (!s.x.empty()) plot.series.push_back(s);
    draw_png(plot, path_);
}

}  // namespace keld::cli
