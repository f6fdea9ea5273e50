// keld sweep --plot FILE.png: one property against the swept temperature or
// pressure, a curve per state of the sweep.
#pragma once

#include <string>
#include <vector>

#include "cli_plot.h"
#include "cli_report.h"

namespace keld::cli {

class SweepPlot {
  public:
    // `property`: "V", "H", "S", "G" or "lnphi:ID"; empty: the first of V, H,
    // G, S that every swept state asks for, else ln phi of its first component.
    SweepPlot(std::string path, std::string property, bool over_temperature);
    // Throws CommandLineError when a swept state does not ask for the property.
    void check(const refhost::Case &c, const std::vector<std::size_t> &states);
    void add(const Evaluation &e);  // points of failed evaluations are left out
    void draw() const;  // throws std::runtime_error when it cannot draw

  private:
    std::string path_, property_, component_;
    bool over_t_;
    std::vector<std::size_t> states_;
    std::vector<long> positions_;  // the component of lnphi:ID among each state's listed ones
    std::vector<PlotSeries> series_;
};

}  // namespace keld::cli
