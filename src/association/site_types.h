// Association site types: how many sites a molecule (or a polymer's segment type) carries and the kind
// of each. Types 1 to 9 are fixed; types 10 to 20 are defined at run time from user codes above 100 and
// kept for the life of the library. That table is the one state shared by all calls: registration
// is serialised by a mutex and publishes each entry before its type number can be seen, so readers
// take no lock and never see a half-written type.
#pragma once

#include <cstdint>

#include "host/host.h"

namespace keld::assoc {

inline constexpr int kMaxSitesPerType = 10;
inline constexpr std::int64_t kFixedTypes = 9;
inline constexpr std::int64_t kUserTypes = 11;
inline constexpr std::int64_t kFirstUserCode = 101;  // codes above 100 are user definitions

// Site kinds: a bipolar site bonds with every site, a positive one with negative and bipolar sites,
// a negative one with positive and bipolar sites.
inline constexpr int kNegative = -1, kPositive = 1, kBipolar = 2;
inline constexpr bool bonds(int a, int b) {
    const int p = a * b;
    return p < 0 || p >= 2;
}

struct SiteType {
    int count = 0;
    int kinds[kMaxSitesPerType] = {};
};

// The sites of type `type`: types 0 (no sites) to 9, and the user types registered so far. nullptr
// for any other number, so a type that was never registered is never read.
const SiteType *site_type(std::int64_t type);

// Number of user types registered in the life of the library (0 to 11).
std::int64_t user_type_count();

// Decodes a user code: 1000 and above read as 1bpn (thousands digit ignored), smaller codes as hpn
// (hundreds digit ignored, b = 0); b bipolar, then p positive, then n negative sites. False when the
// code asks for more than kMaxSitesPerType sites.
bool decode_user_code(std::int64_t code, SiteType &out);

enum class CodeStatus { registered, table_full, too_many_sites };

// The type number of user code `code` (> 100): the type it was registered under, or a new one.
// With 11 codes registered, or a code of more than 10 sites, the code is not registered and the
// returned type is the code itself.
struct CodeResolution {
    std::int64_t type;
    CodeStatus status;
};
CodeResolution resolve_user_code(const host::Host &host, std::int64_t code);

}  // namespace keld::assoc
