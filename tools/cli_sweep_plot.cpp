// keld sweep --plot (see cli_sweep_plot.h).
#include "cli_sweep_plot.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

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

std::string short_number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

// The fixed temperature or pressure of a curve, pressure in the unit its size suggests.
std::string fixed_condition(const refhost::StateRequest &s, bool over_t) {
    if (!over_t) return "T = " + short_number(s.temperature) + " K";
    const AxisScale scale = pressure_scale(s.pressure);
    return "P = " + short_number(s.pressure / scale.factor) + " " + scale.unit;
}

std::string composition_text(const refhost::Case &c, const refhost::StateRequest &s) {
    std::string text;
    for (std::size_t k = 0; k < s.components.size(); ++k)
        text += (k ? ", " : "") + std::string("x ") + c.host->identifier(s.components[k]) + " = " +
                short_number(s.z[k]);
    return text;
}

// Everything of a state that shapes its curve, the swept variable aside.
bool same_curve(const refhost::StateRequest &a, const refhost::StateRequest &b, bool over_t) {
    return a.model == b.model && (over_t ? a.pressure == b.pressure : a.temperature == b.temperature) &&
           a.components == b.components && a.z == b.z && a.phase == b.phase && a.data_set == b.data_set &&
           a.option == b.option && a.mixing_rule == b.mixing_rule && a.excess_model == b.excess_model &&
           a.alpha_option == b.alpha_option && a.association_options == b.association_options;
}

}  // namespace

SweepPlot::SweepPlot(std::string path, std::string property, bool over_temperature)
    : path_(std::move(path)), property_(std::move(property)), over_t_(over_temperature) {
    if (path_.empty()) throw CommandLineError("--plot needs a file name");
    // ln_phi[ID] is the column's own name; lnphi:ID is the older spelling, kept for scripts.
    const bool bracketed = property_.rfind("ln_phi[", 0) == 0 && property_.back() == ']';
    if (bracketed || property_.rfind("lnphi:", 0) == 0) {
        component_ = bracketed ? property_.substr(7, property_.size() - 8) : property_.substr(6);
        if (component_.empty()) throw CommandLineError("--property ln_phi[ID] needs a component identifier");
        property_ = "ln_phi[" + component_ + "]";
    } else if (!property_.empty() && find_property(property_) == nullptr) {
        throw CommandLineError("--property takes V, H, S, G or ln_phi[ID], not '" + property_ + "'");
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
            property_ = "ln_phi[" + component_ + "]";
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
    curve_of_.clear();
    for (std::size_t i = 0; i < states.size(); ++i) {
        std::size_t first = i;
        for (std::size_t j = 0; j < i && first == i; ++j)
            if (curve_of_[j] == j && same_curve(c.states[states[j] - 1], c.states[states[i] - 1], over_t_)) first = j;
        curve_of_.push_back(first);
    }
    name_curves(c);
}

// Labels from what differs between the distinct curves; the title from the
// system and what they share.
void SweepPlot::name_curves(const refhost::Case &c) {
    std::vector<const refhost::StateRequest *> curves;
    for (std::size_t i = 0; i < states_.size(); ++i)
        if (curve_of_[i] == i) curves.push_back(&c.states[states_[i] - 1]);
    auto differ = [&](auto field) {
        return std::any_of(curves.begin(), curves.end(), [&](const auto *s) { return field(*s) != field(*curves[0]); });
    };
    const bool models = differ([](const auto &s) { return s.model; });
    const bool phases = differ([](const auto &s) { return s.phase; });
    const bool fixed = differ([&](const auto &s) { return over_t_ ? s.pressure : s.temperature; });
    const bool compositions = differ([](const auto &s) { return s.z; }) ||
                              differ([](const auto &s) { return s.components; });
    const bool data_sets = differ([](const auto &s) { return s.data_set; });
    const auto &first = *curves[0];

    std::vector<std::string> shared;
    if (!models) shared.push_back(model_display_name(first.model));
    if (!phases) shared.push_back(first.phase == 1 ? "vapour" : "liquid");
    if (!fixed) shared.push_back(fixed_condition(first, over_t_));
    std::string system = c.title;
    if (system.empty())
        for (std::int64_t k : first.components) system += (system.empty() ? "" : " + ") + c.host->identifier(k);
    title_ = system;
    for (std::size_t k = 0; k < shared.size(); ++k) title_ += (k ? ", " : "\n") + shared[k];

    series_.assign(states_.size(), PlotSeries{});
    for (std::size_t i = 0; i < states_.size(); ++i) {
        if (curve_of_[i] != i) continue;
        const auto &s = c.states[states_[i] - 1];
        std::vector<std::string> parts;
        if (models || curves.size() == 1) parts.push_back(model_display_name(s.model));
        if (phases) parts.push_back(s.phase == 1 ? "vapour" : "liquid");
        if (fixed) parts.push_back(fixed_condition(s, over_t_));
        if (compositions) parts.push_back(composition_text(c, s));
        if (data_sets) parts.push_back("data set " + std::to_string(s.data_set));
        if (parts.empty()) parts.push_back("state " + std::to_string(states_[i]));  // only call settings differ
        std::string label;
        for (std::size_t k = 0; k < parts.size(); ++k) label += (k ? ", " : "") + parts[k];
        series_[i].label = label;
        series_[i].style = "computed";
    }
}

void SweepPlot::add(const Evaluation &e) {
    const auto index = static_cast<std::size_t>(std::find(states_.begin(), states_.end(), e.state_number) -
                                                 states_.begin());
    if (index >= states_.size() || curve_of_[index] != index) return;  // a duplicate of an earlier curve
    PlotSeries &s = series_[index];
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

PlotSpec SweepPlot::spec() const {
    PlotSpec plot;
    plot.title = title_;
    plot.y_label = component_.empty() ? find_property(property_)->axis : "ln phi(" + component_ + ")";
    for (const PlotSeries &s : series_)
        if (!s.x.empty()) plot.series.push_back(s);
    plot.x_label = over_t_ ? "T / K" : "P";
    if (!over_t_) plot.pressure_axis = 'x';
    return plot;
}

void SweepPlot::draw() const { draw_png(spec(), path_); }

}  // namespace keld::cli
