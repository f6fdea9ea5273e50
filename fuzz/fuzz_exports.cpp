// libFuzzer harness of the exported routines of keld.h that take their
// parameters from the host store: the Sanchez-Lacombe, PC-SAFT, SAFT and cubic
// monitors, their vector forms, the initialisation routines, the SAFT position
// service and energy-correction table, and the gfortran aliases, on a
// reference host (fuzz_arrays.cpp covers the routines whose parameters come
// as arguments). The input picks the routine and every argument: mostly
// values a simulator could pass, often values it must not (NaN, negative or
// huge offsets, unknown phases and data sets, fractions that do not add up).
//
// Beyond the sanitizers it checks that nothing is written outside what the
// call was given: each output array and scalar sits between guard words, and
// every store word outside the call's own work area must be unchanged after
// the call, except the few words a monitor publishes for the host. The store
// is restored after each input, so that every input runs on the same host.
#include <cstdint>
#include <vector>

#include "fuzz_support.h"
#include "keld/keld.h"

namespace {

using namespace keld::fuzz;

constexpr int kMaxComponents = 6;

struct Arguments {
    double t = 0, p = 0;
    std::int64_t n = 0;
    std::vector<std::int64_t> idx;
    std::vector<double> z, pressures;
    std::int64_t kwork = 0, kspare = 0, kvl = 0, flags[5]{}, kds = 0, kdiag = 0, kopt = 0;
    std::int64_t keosopt = 0, kmodel = 0, krule = 0;  // the cubic's
};

// A vector form's N is a number of points (its arrays have N elements); a scalar form gets any N now and then.
Arguments arguments(FuzzedDataProvider &in, const FuzzHost &h, bool vector_form) {
    Arguments a;
    const std::int64_t nc = h.host.component_count();
    a.t = temperature(in);
    a.n = !vector_form && in.ConsumeIntegralInRange<int>(0, 15) == 0
              ? in.ConsumeIntegral<std::int64_t>()
              : in.ConsumeIntegralInRange<std::int64_t>(-1, kMaxComponents);
    const std::size_t n = static_cast<std::size_t>(std::clamp<std::int64_t>(a.n, 0, kMaxComponents));
    for (std::size_t k = 0; k < n; ++k) a.idx.push_back(small(in, 0, nc + 1));
    a.z = fractions(in, n);
    a.p = pressure(in);
    for (std::size_t k = 0; k < n; ++k) a.pressures.push_back(pressure(in));
    a.kwork = work_offset(in, h);
    a.kspare = in.ConsumeIntegral<std::int64_t>();
    a.kvl = small(in, -1, 4);
    for (std::int64_t &f : a.flags) f = small(in, -1, 6);
    a.kds = small(in, -1, 3);
    a.kdiag = small(in, -1, 10);
    a.kopt = in.ConsumeBool() ? 5 : small(in, -1, 6);
    a.keosopt = small(in, 1, 2);
    a.kmodel = small(in, 0, 8);
    a.krule = small(in, 0, 5);
    return a;
}

// Calls one exported routine with guarded outputs; `vector` for the 26-argument forms.
template <class Routine>
void call(Routine routine, bool vector, Arguments &a) {
    const std::size_t n = static_cast<std::size_t>(std::clamp<std::int64_t>(a.n, 0, kMaxComponents));
    const std::size_t scalar = vector ? n : 1;
    GuardedReal phi(n), dphi(n), h(scalar), s(scalar), g(scalar), v(scalar), dh(scalar), ds(scalar), dg(scalar),
        dv(scalar);
    GuardedInt kstat(std::vector<std::int64_t>{1});
    if constexpr (requires { routine(&a.t, &a.p, a.z.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl,
                                     &a.flags[0], &a.flags[1], &a.flags[2], &a.flags[3], &a.flags[4], &a.kds,
                                     &a.kdiag, phi.data(), h.data(), s.data(), g.data(), v.data(), dphi.data(),
                                     dh.data(), ds.data(), dg.data(), dv.data(), kstat.data(), &a.kopt); }) {
        routine(&a.t, &a.p, a.z.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl, &a.flags[0], &a.flags[1],
                &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, phi.data(), h.data(), s.data(), g.data(),
                v.data(), dphi.data(), dh.data(), ds.data(), dg.data(), dv.data(), kstat.data(), &a.kopt);
    } else {
        routine(&a.t, a.pressures.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl, &a.flags[0],
                &a.flags[1], &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, phi.data(), h.data(),
                s.data(), g.data(), v.data(), dphi.data(), dh.data(), ds.data(), dg.data(), dv.data(), kstat.data(),
                &a.kopt);
    }
    for (const GuardedReal *gd : {&phi, &dphi, &h, &s, &g, &v, &dh, &ds, &dg, &dv}) gd->check();
    kstat.check();
    if (kstat[0] != 0 && kstat[0] != 1) fail("KSTAT neither kept nor cleared");
}

// The cubic monitor (30 arguments) or its vector form (29).
template <class Routine>
void call_cubic(Routine routine, bool vector, Arguments &a) {
    const std::size_t n = static_cast<std::size_t>(std::clamp<std::int64_t>(a.n, 0, kMaxComponents));
    const std::size_t scalar = vector ? n : 1;
    GuardedReal phi(n), dphi(n), h(scalar), s(scalar), g(scalar), v(scalar), dh(scalar), ds(scalar), dg(scalar),
        dv(scalar);
    GuardedInt kret(std::vector<std::int64_t>{1});
    const std::int64_t kpass = 0;
    if constexpr (requires { routine(&a.t, &a.p, a.z.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl,
                                     &a.flags[0], &a.flags[1], &a.flags[2], &a.flags[3], &a.flags[4], &a.kds,
                                     &a.kdiag, &a.keosopt, &a.kmodel, &a.krule, phi.data(), h.data(), s.data(),
                                     g.data(), v.data(), dphi.data(), dh.data(), ds.data(), dg.data(), dv.data(),
                                     kret.data(), &kpass); }) {
        routine(&a.t, &a.p, a.z.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl, &a.flags[0], &a.flags[1],
                &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, &a.keosopt, &a.kmodel, &a.krule, phi.data(),
                h.data(), s.data(), g.data(), v.data(), dphi.data(), dh.data(), ds.data(), dg.data(), dv.data(),
                kret.data(), &kpass);
    } else {
        routine(&a.t, a.pressures.data(), &a.n, a.idx.data(), &a.kwork, &a.kspare, &a.kvl, &a.flags[0], &a.flags[1],
                &a.flags[2], &a.flags[3], &a.flags[4], &a.kds, &a.kdiag, &a.keosopt, phi.data(), h.data(), s.data(),
                g.data(), v.data(), dphi.data(), dh.data(), ds.data(), dg.data(), dv.data(), &a.kmodel, &a.krule,
                kret.data(), &kpass);
    }
    for (const GuardedReal *gd : {&phi, &dphi, &h, &s, &g, &v, &dh, &ds, &dg, &dv}) gd->check();
    kret.check();
    if (kret[0] != 0 && kret[0] != 1) fail("KRET neither 0 nor 1");
}

// The SAFT position service: 29 positions out, each guarded.
template <class Routine>
void call_positions(Routine routine, Arguments &a) {
    std::vector<GuardedInt> k(29, GuardedInt(1));
    routine(k[0].data(), k[1].data(), k[2].data(), k[3].data(), k[4].data(), k[5].data(), k[6].data(), k[7].data(),
            k[8].data(), k[9].data(), k[10].data(), k[11].data(), k[12].data(), k[13].data(), k[14].data(),
            k[15].data(), k[16].data(), k[17].data(), k[18].data(), k[19].data(), k[20].data(), k[21].data(),
            k[22].data(), k[23].data(), k[24].data(), &a.kwork, &a.kspare, k[25].data(), k[26].data(), k[27].data());
    for (const GuardedInt &g : k) g.check();
}

// The energy-correction table: EPS by component, NC words.
template <class Routine>
void call_energy_corrections(Routine routine, Arguments &a, std::int64_t nc) {
    GuardedReal eps(static_cast<std::size_t>(nc));
    routine(&a.n, a.idx.data(), &a.kspare, eps.data());
    eps.check();
}

enum class Area { sanchez_lacombe, pcsaft, saft, cubic, none };

// Words of a family's work area for NC components (the cubic without a UNIFAC group table).
std::int64_t area_words(Area area, std::int64_t nc) {
    switch (area) {
    case Area::sanchez_lacombe: return 10 * nc + 5 * nc * nc;
    case Area::pcsaft: return 18 * nc + 7 * nc * nc;
    case Area::saft: return 18 * nc + 3 * nc * nc;
    case Area::cubic: return 34 * nc + 6 * nc * nc + 8;
    case Area::none: break;
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static FuzzHost h;
    FuzzedDataProvider in(data, size);
    const int routine = in.ConsumeIntegralInRange<int>(0, 33);
    if (std::getenv("KELD_FUZZ_VERBOSE")) std::fprintf(stderr, "routine %d\n", routine);
    const bool vector_form = routine < 16 && routine % 4 >= 2;
    Arguments a = arguments(in, h, vector_form);
    const StoreSnapshot before(h);
    const std::int64_t nc = h.host.component_count(), nds = a.kds;

    Area area = Area::none;
    bool initialisation = false;
    switch (routine) {
    case 0: area = Area::sanchez_lacombe; call(KELD_ESSLP, false, a); break;
    case 1: area = Area::sanchez_lacombe; call(keld_esslp_, false, a); break;
    case 2: area = Area::sanchez_lacombe; call(KELD_ESSLPA, true, a); break;
    case 3: area = Area::sanchez_lacombe; call(keld_esslpa_, true, a); break;
    case 4: area = Area::pcsaft; call(KELD_ESPCSF, false, a); break;
    case 5: area = Area::pcsaft; call(keld_espcsf_, false, a); break;
    case 6: area = Area::pcsaft; call(KELD_ESPCSA, true, a); break;
    case 7: area = Area::pcsaft; call(keld_espcsa_, true, a); break;
    case 8: area = Area::saft; call(KELD_PSAFM1, false, a); break;
    case 9: area = Area::saft; call(keld_psafm1_, false, a); break;
    case 10: area = Area::saft; call(KELD_ESSFTB, true, a); break;
    case 11: area = Area::saft; call(keld_essftb_, true, a); break;
    case 12: area = Area::cubic; call_cubic(KELD_ES40, false, a); break;
    case 13: area = Area::cubic; call_cubic(keld_es40_, false, a); break;
    case 14: area = Area::cubic; call_cubic(KELD_ES40A, true, a); break;
    case 15: area = Area::cubic; call_cubic(keld_es40a_, true, a); break;
    case 16: call_positions(KELD_SFTHLP, a); break;
    case 17: call_positions(keld_sfthlp_, a); break;
    case 18: call_energy_corrections(KELD_SETEPS, a, nc); break;
    case 19: call_energy_corrections(keld_seteps_, a, nc); break;
    default:
        // The initialisation routines write parameters and flags of every data set.
        initialisation = true;
        switch (routine % 10) {
        case 0: KELD_ESPSLI(&nds); break;
        case 1: keld_espsli_(&nds); break;
        case 2: KELD_ESPCSI(&nds); break;
        case 3: keld_espcsi_(&nds); break;
        case 4: KELD_ESSFTI(&nds); break;
        case 5: keld_essfti_(&nds); break;
        case 6: KELD_ESPSAI(&nds); break;
        case 7: keld_espsai_(&nds); break;
        case 8: KELD_ESPSAHI(&nds); break;
        default: keld_espsahi_(&nds); break;
        }
        break;
    }
    if (!initialisation) {
        const auto [first, last] = work_range(h, a.kwork, area_words(area, nc));
        if (std::getenv("KELD_FUZZ_VERBOSE"))
            std::fprintf(stderr, "KWORK %lld, area [%lld, %lld), work block at %lld, %lld words; N %lld, KDS %lld\n",
                         static_cast<long long>(a.kwork), static_cast<long long>(first), static_cast<long long>(last),
                         static_cast<long long>(h.host.work_offset()), static_cast<long long>(h.host.work_words()),
                         static_cast<long long>(a.n), static_cast<long long>(a.kds));
        before.verify(first, last);
    }
    before.restore();
    return 0;
}
