#include "association/site_types.h"

#include <array>
#include <atomic>
#include <mutex>

namespace keld::assoc {
namespace {

constexpr SiteType kNoSites{};

constexpr std::array<SiteType, kFixedTypes> kFixed = {{
    {1, {kBipolar}},
    {2, {kNegative, kPositive}},
    {3, {kNegative, kNegative, kPositive}},
    {4, {kNegative, kNegative, kPositive, kPositive}},
    {4, {kPositive, kPositive, kPositive, kNegative}},
    {1, {kNegative}},
    {2, {kNegative, kNegative}},
    {1, {kPositive}},
    {2, {kPositive, kPositive}},
}};

// The user table. Entries below g_count are complete and never change again.
std::array<std::int64_t, kUserTypes> g_codes{};
std::array<SiteType, kUserTypes> g_types{};
std::atomic<std::int64_t> g_count{0};
std::mutex g_register;

}  // namespace

const SiteType *site_type(std::int64_t type) {
    if (type == 0) return &kNoSites;
    if (type >= 1 && type <= kFixedTypes) return &kFixed[type - 1];
    const std::int64_t k = type - kFixedTypes - 1;
    if (k >= 0 && k < g_count.load(std::memory_order_acquire)) return &g_types[k];
    return nullptr;
}

std::int64_t user_type_count() { return g_count.load(std::memory_order_acquire); }

bool decode_user_code(std::int64_t code, SiteType &out) {
    const std::int64_t b = code >= 1000 ? (code / 100) % 10 : 0;
    const std::int64_t p = (code / 10) % 10, n = code % 10;
    if (code < 0 || b + p + n > kMaxSitesPerType) return false;
    out = SiteType{};
    for (std::int64_t i = 0; i < b; ++i) out.kinds[out.count++] = kBipolar;
    for (std::int64_t i = 0; i < p; ++i) out.kinds[out.count++] = kPositive;
    for (std::int64_t i = 0; i < n; ++i) out.kinds[out.count++] = kNegative;
    return true;
}

CodeResolution resolve_user_code(const host::Host &host, std::int64_t code) {
    std::int64_t count = g_count.load(std::memory_order_acquire);
    std::int64_t k = host.component_vector(code, g_codes.data(), count);
    if (k > 0) return {k + kFixedTypes, CodeStatus::registered};
    SiteType decoded;
    if (!decode_user_code(code, decoded)) return {code, CodeStatus::too_many_sites};
    std::lock_guard lock(g_register);
    count = g_count.load(std::memory_order_relaxed);
    k = host.component_vector(code, g_codes.data(), count);  // registered meanwhile by another caller
    if (k > 0) return {k + kFixedTypes, CodeStatus::registered};
    if (count >= kUserTypes) return {code, CodeStatus::table_full};
    g_codes[count] = code;
    g_types[count] = decoded;
    g_count.store(count + 1, std::memory_order_release);
    return {count + 1 + kFixedTypes, CodeStatus::registered};
}

}  // namespace keld::assoc
