/* Links against an installed keld: with no host installed, a monitor call
 * returns without touching its outputs. */
#include <keld/keld.h>
#include <stdio.h>

int main(void) {
    double t = 300, p = 1e5, z = 1, phi = 42, h = 42, s = 42, g = 42, v = 42, dphi = 42, dh = 42, ds = 42, dg = 42,
           dv = 42;
    int64_t n = 1, idx = 1, kwork = 0, kspare = 0, kvl = 2, k3 = 3, kds = 1, kdiag = 0, kstat = 1, kopt = 0;
    KELD_ESSLP(&t, &p, &z, &n, &idx, &kwork, &kspare, &kvl, &k3, &k3, &k3, &k3, &k3, &kds, &kdiag, &phi, &h, &s, &g,
               &v, &dphi, &dh, &ds, &dg, &dv, &kstat, &kopt);
    keld_esslp_(&t, &p, &z, &n, &idx, &kwork, &kspare, &kvl, &k3, &k3, &k3, &k3, &k3, &kds, &kdiag, &phi, &h, &s,
                &g, &v, &dphi, &dh, &ds, &dg, &dv, &kstat, &kopt);
    if (phi != 42 || v != 42 || kstat != 1) {
        fprintf(stderr, "a call without a host wrote its outputs\n");
        return 1;
    }
    keld_host none;
    if (keld_host_installed(&none)) return 1;
    printf("keld linked\n");
    return 0;
}
