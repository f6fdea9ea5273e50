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

// The same call as the family's `evaluate` (models/monitor27.h), in work area `kwork`.
void call_monitor(Monitor27Routine monitor, const StateRequest &state, StateResult &r, std::int64_t kwork) {
    const std::int64_t n = static_cast<std::int64_t>(state.components.size());
    const std::int64_t kspare = 0;
    const auto &f = state.flags;
    monitor(&state.temperature, &state.pressure, state.z.data(), &n, state.components.data(), &kwork, &kspare,
            &state.phase, &f[0], &f[1], &f[2], &f[3], &f[4], &state.data_set, &state.diagnostics, r.phi.data(),
            &r.h, &r.s, &r.g, &r.v, r.dphi.data(), &r.dh, &r.ds, &r.dg, &r.dv, &r.status, &state.option);
}

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
                call_monitor(b.models[i]->monitor27, b.states[i], b.results[i], kwork);
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
        const bool any_concurrent = workers > 1 && std::any_of(models.begin(), models.end(), [](const ModelEntry *m) {
            return m->monitor27 != nullptr;
        });
        const std::int64_t stride = any_concurrent ? host.reserve_work_areas(workers) : 0;
        if (!host.installed_as_is()) host.install();
        Batch batch{host, states, models, results, reporter};

        // The states whose family takes concurrent calls, grouped by the
        // temperature their binary tables need (one group when none depends on T).
        const bool by_temperature = host.temperature_tables_vary();
        std::map<double, std::vector<std::size_t>> groups;
        for (std::size_t i = 0; i < states.size(); ++i) {
            if (any_concurrent && models[i]->monitor27 != nullptr)
                groups[by_temperature ? states[i].temperature : 0.0].push_back(i);
        }
        for (const auto &[t, group] : groups) {
            host.apply_temperature_tables(by_temperature ? t : states[group.front()].temperature);
            run_concurrently(batch, group, workers, stride);
        }
        // The others one at a time, in their order, as evaluate() calls them.
        for (std::size_t i = 0; i < states.size(); ++i) {
            if (any_concurrent && models[i]->monitor27 != nullptr) continue;
            host.apply_temperature_tables(states[i].temperature);
            ReferenceHost::MessageCapture capture(host);
            models[i]->evaluate(host, states[i], results[i]);
            results[i].messages = capture.take();
            reporter.at(++batch.done);
        }
    }
    for (std::size_t i = 0; i < states.size(); ++i) detail::mask_unrequested(states[i], results[i]);
    reporter.at(states.size(), true);
    return results;
}

}  // namespace keld::refhost
