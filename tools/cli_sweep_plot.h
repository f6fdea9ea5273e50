// keld sweep --plot FILE.png: one property against the swept temperature or
// pressure. States that differ only in the swept variable (or their label) give
// the same curve, which is drawn once; the curves are named by what still
// differs between them (model, phase, the fixed T or P, composition, data set)
// and the title names the system and what all curves share.
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
    PlotSpec spec() const;          // what draw() draws
    void draw() const;              // throws std::runtime_error when it cannot draw

  private:
    void name_curves(const refhost::Case &c);

    std::string path_, property_, component_, title_;
    bool over_t_;
    std::vector<std::size_t> states_;
    std::vector<std::size_t> curve_of_;  // per swept state: the first state drawing the same curve
    std::vector<long> positions_;        // the component of lnphi:ID among each state's listed ones
    std::vector<PlotSeries> series_;
};

}  // namespace keld::cli
