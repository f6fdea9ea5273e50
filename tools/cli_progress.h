// A progress bar on standard error for sweeps that take longer than a second.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace keld::cli {

// Drawn only when standard error is a terminal (KELD_PROGRESS=1 forces it,
// KELD_PROGRESS=0 turns it off), and only once the sweep has run for a second
// (KELD_PROGRESS=now: forced, from the first point);
// redrawn at most ten times a second, ended with a newline when the sweep ends.
class Progress {
  public:
    Progress(std::string what, std::size_t total);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    void step();  // one more point done
    void advance_to(std::size_t done);  // `done` points done in all

  private:
    void draw(bool final);

    std::string what_;
    std::size_t total_, done_ = 0;
    bool enabled_, shown_ = false;
    std::chrono::milliseconds delay_;
    std::chrono::steady_clock::time_point start_, last_draw_;
};

}  // namespace keld::cli
