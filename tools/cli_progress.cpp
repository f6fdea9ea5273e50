// Progress bar (see cli_progress.h).
#include "cli_progress.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace keld::cli {
namespace {

bool progress_wanted() {
    const char *setting = std::getenv("KELD_PROGRESS");
    if (setting != nullptr && std::strcmp(setting, "0") == 0) return false;
    if (setting != nullptr && std::strcmp(setting, "1") == 0) return true;
    return isatty(STDERR_FILENO) != 0;
}

}  // namespace

Progress::Progress(std::string what, std::size_t total)
    : what_(std::move(what)),
      total_(total),
      enabled_(progress_wanted() && total > 1),
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
    if (now - start_ < std::chrono::seconds(1) || now - last_draw_ < std::chrono::milliseconds(100)) return;
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
