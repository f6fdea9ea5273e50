// Many states on one host, spread over threads (keld/case.h, evaluate_many).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "case_evaluation.h"
#include "keld/case.h"

namespace keld::refhost {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto report_interval = std::chrono::milliseconds(100);
constexpr std::size_t chunk = 16;  // states a thread takes at a time: little contention, even load

// The progress callback, called from the calling thread only.
class Reporter {
  public:
    explicit Reporter(const ManyOptions &options) : progress_(options.progress), last_(Clock::now()) {}
    void at(std::size_t done, bool final = false) {
        if (!progress_) return;
        const auto now = Clock::now();
        if (!final && now - last_ < report_interval) return;
        last_ = now;
        progress_(done);
    }

  private:
    const std::function<void(std::size_t)> &progress_;
    Clock::time_point last_;
};

struct Batch {
    ReferenceHost &host;
    const std::vector<StateRequest> &states;
    const std::vector<const ModelEntry *> &models;
    std::vector<StateResult> &results;
    Reporter &reporter;
    std::size_t done = 0;  // states finished before the current group
};

// States `group` on `workers` threads, thread k in work area k * stride. The
// calling thread is thread 0 and reports progress between its chunks.
void run_concurrently(Batch &b, const std::vector<std::size_t> &group, unsigned workers, std::int64_t stride) {
    std::atomic<std::size_t> next{0}, finished{0};
    auto work = [&](unsigned k, bool report) {
        const std::int64_t kwork = static_cast<std::int64_t>(k) * stride;
        for (;;) {
            const std::size_t first = next.fetch_add(chunk);
            if (first >= group.size()) return;
            const std::size_t last = std::min(group.size(), first + chunk);
            for (std::size_t g = first; g < last; ++g) {
                const std::size_t i = group[g];
                ReferenceHost::MessageCapture capture(b.host);
                b.models[i]->evaluate_in_work_area(b.host, b.states[i], b.results[i], kwork);
                b.results[i].messages = capture.take();
            }
            const std::size_t done = finished.fetch_add(last - first, std::memory_order_relaxed) + (last - first);
            if (report) b.reporter.at(b.done + done);
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    for (unsigned k = 1; k < workers; ++k) {
        try {
            threads.emplace_back(work, k, false);
        } catch (const std::system_error &) {
            break;  // no more threads to be had: the ones running share the work
        }
    }
    work(0, true);
    for (std::thread &t : threads) t.join();
    b.done += group.size();
}

}  // namespace

std::vector<StateResult> evaluate_many(ReferenceHost &host, const std::vector<StateRequest> &states,
                                       const ManyOptions &options) {
    std::vector<const ModelEntry *> models;
    std::vector<StateResult> results;
    models.reserve(states.size());
    results.reserve(states.size());
    for (const StateRequest &s : states) {
        models.push_back(&detail::checked_model(host, s));
        results.push_back(detail::blank_result(s));
    }
    unsigned workers = options.workers != 0 ? options.workers : std::max(1u, std::thread::hardware_concurrency());
    workers = static_cast<unsigned>(std::min<std::size_t>(workers, states.size()));

    Reporter reporter(options);
    {
        const std::lock_guard<std::mutex> alone(detail::case_calls_mutex());
        auto concurrent = [&](std::size_t i) { return workers > 1 && models[i]->evaluate_in_work_area != nullptr; };
        std::vector<bool> alone_in_order(states.size(), false);
        bool any_concurrent = false;
        for (std::size_t i = 0; i < states.size(); ++i) any_concurrent = any_concurrent || concurrent(i);
        const std::int64_t stride = any_concurrent ? host.reserve_work_areas(workers) : 0;
        if (!host.installed_as_is()) host.install();
        Batch batch{host, states, models, results, reporter};
        auto one_at_a_time = [&](std::size_t i) {
            host.apply_temperature_tables(states[i].temperature);
            ReferenceHost::MessageCapture capture(host);
            models[i]->evaluate(host, states[i], results[i]);
            results[i].messages = capture.take();
            reporter.at(++batch.done);
        };

        // A state whose call completes missing values in the host runs first,
        // alone and in order: the states before it do not read what it writes,
        // and those after it then see it written, as one after another would.
        for (std::size_t i = 0; i < states.size(); ++i) {
            const auto first_use = models[i]->completes_on_first_use;
            if (concurrent(i) && first_use && first_use(host, states[i])) {
                alone_in_order[i] = true;
                one_at_a_time(i);
            }
        }
        // The other states of families that take concurrent calls, grouped by
        // the temperature their binary tables need (one group when none depends on T).
        const bool by_temperature = host.temperature_tables_vary();
        std::map<double, std::vector<std::size_t>> groups;
        for (std::size_t i = 0; i < states.size(); ++i)
            if (concurrent(i) && !alone_in_order[i]) groups[by_temperature ? states[i].temperature : 0.0].push_back(i);
        for (const auto &[t, group] : groups) {
            host.apply_temperature_tables(by_temperature ? t : states[group.front()].temperature);
            run_concurrently(batch, group, workers, stride);
        }
        // The others one at a time, in their order, as evaluate() calls them.
        for (std::size_t i = 0; i < states.size(); ++i)
            if (!concurrent(i)) one_at_a_time(i);
    }
    for (std::size_t i = 0; i < states.size(); ++i) detail::mask_unrequested(states[i], results[i]);
    reporter.at(states.size(), true);
    return results;
}

}  // namespace keld::refhost
