// The C++ example of the README, built against an installed keld.
#include <keld/keld.h>
#include <keld/refhost.h>

#include <cmath>
#include <cstdio>

int main() {
    keld::refhost::ReferenceHost host;
    auto toluene = host.add_component("TOLUENE", keld::refhost::ComponentKind::ordinary, 92.14);
    host.set_unary("PCSFTM", toluene, 2.8149);
    host.set_unary("PCSFTV", toluene, 3.7169);
    host.set_unary("PCSFTU", toluene, 285.69);
    host.install();
    double t = 298.15, p = 1e5, z = 1, phi, h, s, g, v, dphi, dh, ds, dg, dv;
    int64_t n = 1, idx = toluene, kwork = 0, kspare = 0, kvl = 2, k = 3, kds = 1, kdiag = 4, kstat = 1, kopt = 0;
    KELD_ESPCSF(&t, &p, &z, &n, &idx, &kwork, &kspare, &kvl, &k, &k, &k, &k, &k, &kds, &kdiag,
                &phi, &h, &s, &g, &v, &dphi, &dh, &ds, &dg, &dv, &kstat, &kopt);
    const double density = 92.14 / v;
    std::printf("toluene liquid at 298.15 K: %.1f kg/m3, ln phi %.4f, status %lld\n", density, phi,
                static_cast<long long>(kstat));
    // Toluene is near 862 kg/m3 at room temperature.
    return kstat == 1 && std::fabs(density - 862.0) < 20.0 ? 0 : 1;
}
