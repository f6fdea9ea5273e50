// The association routine allocates nothing: every operator new of this program is counted while a
// 1000-site copolymer is solved with all derivatives (Newton with 1000 unknowns, LAPACK factors).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "keld/refhost.h"
#include "support/assoc_systems.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void *allocate(std::size_t size) {
    if (counting) ++allocations;
    if (void *p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void *operator new(std::size_t size) { return allocate(size); }
void *operator new[](std::size_t size) { return allocate(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (counting) ++allocations;
    return std::malloc(size ? size : 1);
}
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return operator new(size, std::nothrow); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

namespace keld::testing {
namespace {

TEST(AssociationAllocation, ThousandSiteCopolymerSolvesInTheWorkArea) {
    refhost::ReferenceHost reference;
    reference.add_component("HOST", refhost::ComponentKind::ordinary, 1.0);
    reference.install();
    const host::Host host = *host::Host::current();
    AssocSystem sys = copolymer_in_solvent(1000);
    const assoc::Mixture first = sys.mixture(4.0);
    std::vector<double> work(static_cast<std::size_t>(assoc::work_words(host, first, sys.options)));
    std::vector<double> a_x(first.ncp);
    assoc::Outputs out;
    out.a_x = a_x.data();
    const assoc::Requests all{true, true, true, true};
    ASSERT_EQ(assoc::evaluate(host, first, sys.options, all, out, work).failed, 0);  // warms the host's LAPACK

    const assoc::Mixture mix = sys.mixture(4.2);
    counting = true;
    const assoc::Results r = assoc::evaluate(host, mix, sys.options, all, out, work);
    counting = false;
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(r.failed, 0);
    EXPECT_EQ(r.unknowns, 1000);
    EXPECT_EQ(r.stats.method, 2);
    EXPECT_LE(r.stats.newton_iterations, 8);
}

}  // namespace
}  // namespace keld::testing
