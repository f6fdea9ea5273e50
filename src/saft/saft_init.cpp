#include "saft/saft_init.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "common/messages.h"
#include "common/monitor_call.h"
#include "common/temperature_table.h"
#include "host/host.h"

namespace keld::saft {
namespace {

const host::RoutineId kRoutine("ESSF", "TI");
constexpr std::int64_t kSkipCompletion = 100;  // HostGlobals(30): parameters already complete

// Approximate values from the molecular weight (single-precision fits, widened to double).
double approximate_segment_number(double mw) { return std::max(1.0, 0.046647001057863235 * mw + 0.07040199637413025); }
double approximate_segment_energy(double mw) { return 210.0 - 26.88599967956543 * std::exp(-0.01334100030362606 * mw); }
// The volume fit gives the close-packed volume of the whole molecule, m v00
// (for n-hexane 0.059 m3/kmol against m v00 = 0.061 of its fitted parameters);
// the stored parameter is the volume of one segment, so the fit is shared out
// over the molecule's segments. Taken as it stands it made v00 m times too large.
double approximate_segment_volume(double mw, double segments) {
    const double m = std::isfinite(segments) && segments > 0.0 ? segments : 1.0;
    return (0.5518699884414673 * mw + 11.887999534606934) / 1000 / m;
}
constexpr double kApproximateSegmentRatio = 0.046647001057863235;

struct Completion {
    std::int64_t element;
    std::int64_t number;  // of the message check
    std::string_view body;  // the message without its heading line
};

constexpr Completion kNumber{elements::kSegmentNumber, 1,
                             "6X,'SAFTM (DATA SET ',I3,') ',A,2A4,/,6X,'AN APPROXIMATE VALUE OF ',F7.4,' ASSUMED'"};
constexpr Completion kEnergy{elements::kSegmentEnergy, 2,
                             "6X,'SAFTU (DATA SET ',I3,') ',A,2A4,/,6X,'A APPROXIMATE VALUE OF ',F5.0,' (K) ASSUMED'"};
constexpr Completion kVolume{
    elements::kSegmentVolume, 3,
    "6X,'SAFTV (DATA SET ',I3,') ',A,2A4,/,6X,'A APPROXIMATE VALUE OF ',F6.4,' (CUM/KMOL) ASSUMED'"};
constexpr Completion kRatio{elements::kSegmentRatio, 4,
                            "6X,'SAFTR (DATA SET ',I3,') ',A,2A4,/,6X,'A APPROXIMATE VALUE OF ',F8.6,' ASSUMED'"};

void complete_parameters(const host::Host &host, std::int64_t data_sets) {
    const std::int64_t nc = host.component_count();
    const std::int64_t source = host.offsets1(elements::kSourceFlags), mw = host.offsets1(elements::kMolecularWeight);
    if (!unary_block_in_store(host, mw, 1)) return;
    messages::MissingParameterReport report(host, "POLYSAFT");
    for (std::int64_t d = 1; d <= data_sets && host.has_data_set(d); ++d) {
        // A data set past the host's arrays ends the walk.
        for (const Completion *c : {&kNumber, &kEnergy, &kVolume, &kRatio})
            if (!unary_block_in_store(host, host.offsets1(c->element), d)) return;
        if (!unary_block_in_store(host, source, d)) return;
        for (std::int64_t i = 1; i <= nc; ++i) {
            host.set_real(host.unary_pos(source, d, i), 0.0);
            if (host.is_polymer_or_oligomer(i)) continue;  // completed from segments by the monitor
            const bool segment = host.is_segment(i);
            const double weight = host.real(mw + i);
            const host::ComponentId id = host.identifier(i);
            auto complete = [&](const Completion &c, double value) {
                const std::int64_t pos = host.unary_pos(host.offsets1(c.element), d, i);
                if (!host.is_missing(host.real(pos))) return;
                host.set_real(pos, value);
                report.issue({kRoutine, 3, c.number, host.global(11)}, c.body,
                             {d, segment ? "MISSING FOR SEGMENT " : "MISSING FOR COMPONENT ",
                              std::string_view(id.data(), 4), std::string_view(id.data() + 4, 4), value});
            };
            if (!segment) complete(kNumber, approximate_segment_number(weight));
            complete(kEnergy, approximate_segment_energy(weight));
            // Segments in the molecule: its SAFTM (completed above), or for a
            // segment its segments per unit of molecular weight times MW.
            const double stored_ratio = host.real(host.unary_pos(host.offsets1(kRatio.element), d, i));
            const double segments =
                segment ? (host.is_missing(stored_ratio) ? kApproximateSegmentRatio : stored_ratio) * weight
                        : host.real(host.unary_pos(host.offsets1(kNumber.element), d, i));
            complete(kVolume, approximate_segment_volume(weight, segments));
            if (segment) complete(kRatio, kApproximateSegmentRatio);
        }
    }
}

}  // namespace

void initialise(std::int64_t data_sets) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return;
    if (found->global(30) != kSkipCompletion && data_sets >= 1) complete_parameters(*found, data_sets);
    hand_over_temperature_table(*found, data_sets, elements::kBinaryTable, elements::kTableResult);
}

// Words of the argument-driven monitor's work vectors for NC components, 12 NC + 3 NC^2; 0 for a
// count whose length would leave 64-bit arithmetic (no host of such a size can exist).
std::int64_t argument_work_words(std::int64_t nc) {
    constexpr std::int64_t kLargest = std::int64_t{1} << 24;
    return nc >= 1 && nc <= kLargest ? 12 * nc + 3 * nc * nc : 0;
}

bool positions(std::int64_t kwork, Positions &out) {
    const std::optional<host::Host> found = host::Host::current();
    if (!found) return false;
    const host::Host &host = *found;
    using namespace elements;
    const std::int64_t nc = host.component_count();
    // A host's offset of INT64_MAX names no position (0) rather than overflowing.
    auto after = [](std::int64_t offset) { return offset < std::numeric_limits<std::int64_t>::max() ? offset + 1 : 0; };
    auto located = [&](std::int64_t element) { return after(host.offsets1(element)); };
    // The work vectors only for a work area that lies in the host's work block: KWORK is checked
    // before a position is formed from it, so that no KWORK (up to INT64_MAX) overflows.
    const std::int64_t words = argument_work_words(nc);
    const bool area = words > 0 && host.work_area_fits(kwork, words);
    const std::int64_t w = area ? host.work_offset() + kwork : 0;
    std::int64_t *v = out.value;
    v[0] = located(kSegmentNumber);
    v[1] = located(kSegmentVolume);
    v[2] = located(kSegmentEnergy);
    v[3] = located(kEnergyCorrection);
    v[4] = located(kCriticalTemperature);
    v[5] = located(kCriticalPressure);
    v[6] = located(kMolecularWeight);
    v[7] = after(host.offsets4(2));
    for (int k = 0; k < 9; ++k) v[8 + k] = area ? w + k * nc : 0;
    for (int k = 0; k < 3; ++k) v[17 + k] = area ? w + 9 * nc + k * nc * nc : 0;
    v[20] = located(kCrossEnergies);
    v[21] = located(kCrossSegmentNumbers);
    for (int k = 0; k < 3; ++k) v[22 + k] = area ? w + (9 + k) * nc + 3 * nc * nc : 0;
    v[25] = v[26] = 0;
    v[27] = located(kSegmentRatio);
    v[28] = located(kBinaryTable);
    v[29] = located(kUnused883);
    return true;
}

}  // namespace keld::saft
