// Progress bar (see cli_progress.h).
#include "cli_progress.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace keld::cli {
namespace {

const char *progress_setting() { return std::getenv("KELD_PROGRESS"); }

bool progress_wanted() {
    const char *setting = progress_setting();
    if (setting != nullptr && std::strcmp(setting, "0") == 0) return false;
    if (setting != nullptr && (std::strcmp(setting, "1") == 0 || std::strcmp(setting, "now") == 0)) return true;
    return isatty(STDERR_FILENO) != 0;
}

// KELD_PROGRESS=now draws from the first point (scripts and tests whose sweeps are quick).
std::chrono::milliseconds progress_delay() {
    const char *setting = progress_setting();
    return setting != nullptr && std::strcmp(setting, "now") == 0 ? std::chrono::milliseconds(0)
                                                                  : std::chrono::milliseconds(1000);
}

}  // namespace

Progress::Progress(std::string what, std::size_t total)
    : what_(std::move(what)),
      total_(total),
      enabled_(progress_wanted() && total > 1),
      delay_(progress_delay()),
      start_(std::chrono::steady_clock::now()),
      last_draw_(start_) {}

Progress::~Progress() {
    if (shown_) draw(true);
}

void Progress::step() { advance_to(done_ + 1); }

void Progress::advance_to(std::size_t done) {
    done_ = done;
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < delay_ || (now - last_draw_ < std::chrono::milliseconds(100) && shown_)) return;
    last_draw_ = now;
    draw(false);
}

void Progress::draw(bool final) {
    constexpr int width = 30;
    const int filled = total_ > 0 ? static_cast<int>(width * done_ / total_) : width;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r%s [%s] %zu/%zu  %.1f s", what_.c_str(), bar.c_str(), done_, total_, seconds);
    if (final) std::fprintf(stderr, "\n");
    std::fflush(stderr);
    shown_ = true;
}

}  // namespace keld::cli
