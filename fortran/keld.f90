! keld - Fortran interface of keld's property monitors, of its reference
! host's case loader and of the reference host itself (keld_host_*, built
! without a case file: fortran/host_builder.f90).
!
! The monitors are exported with C linkage and take every argument by
! reference, so they are declared here with bind(C) and no VALUE attribute:
! a Fortran simulator calls them exactly as it calls its own routines, with
! integer(c_int64_t) integers and real(c_double) reals. Arrays are 1-based.
!
! The reference host (keld/refhost_c.h, keld/case_c.h) is a C interface with
! opaque handles and by-value sizes; those few arguments carry VALUE, and
! character arguments are NUL-terminated (see c_string / fortran_string).
module keld
  use, intrinsic :: iso_c_binding, only: c_char, c_double, c_f_pointer, c_int, c_int64_t, c_null_char, c_ptr
  use keld_host_builder
  implicit none
  private

  ! A reference host built from Fortran (fortran/host_builder.f90).
  public :: keld_host_create, keld_host_destroy, keld_host_install, keld_host_last_error
  public :: keld_host_add_component, keld_host_component_count, keld_host_set_mwn, keld_host_set_segment_fraction, &
            keld_host_set_formula
  public :: keld_host_set_unary, keld_host_get_unary, keld_host_set_binary, keld_host_get_binary, &
            keld_host_set_table, keld_host_apply_temperature, keld_host_set_component_value, &
            keld_host_get_component_value
  public :: keld_host_capture_messages, keld_host_message_count, keld_host_message, keld_host_clear_messages
  public :: KELD_COMPONENT_ORDINARY, KELD_COMPONENT_POLYMER, KELD_COMPONENT_OLIGOMER, KELD_COMPONENT_SEGMENT

  public :: keld_esslp, keld_esslpa, keld_espsli, keld_espcsf, keld_espcsa, keld_espcsi
  public :: keld_essaft, keld_essfta, keld_essfti, keld_sfthlp, keld_psafm1, keld_essftb
  public :: keld_pcsf01, keld_pcsf00, keld_saft01, keld_saft00, keld_posl01, keld_posl00, keld_pcsfwk, keld_seteps
  public :: keld_es40, keld_es40a, keld_pcsaf5, keld_pcsaf1, keld_pcsaf0
  public :: keld_version
  public :: keld_espsai, keld_espsahi
  public :: keld_refhost_install, keld_refhost_component_count, &
            keld_refhost_get_component_value, keld_refhost_capture_messages, keld_refhost_captured_line_count, &
            keld_refhost_captured_line
  public :: keld_refhost_case_open, keld_refhost_case_close, keld_refhost_case_host, &
            keld_refhost_case_state_count, keld_refhost_case_data_set_count, keld_refhost_case_state, &
            keld_refhost_case_state_model, keld_refhost_case_state_label
  public :: c_string, fortran_string
  public :: KELD_REFHOST_OK, KELD_PHASE_VAPOUR, KELD_PHASE_LIQUID

  integer(c_int), parameter :: KELD_REFHOST_OK = 0
  integer(c_int64_t), parameter :: KELD_PHASE_VAPOUR = 1, KELD_PHASE_LIQUID = 2

  ! ---------------------------------------------------------------------------
  ! Property monitors (27 arguments, all by reference). T in K, P in Pa,
  ! Z(N) apparent mole fractions of the listed components IDX(N); results
  ! PHI(N) = ln(fugacity coefficient), H, G in J/kmol, S in J/(kmol K),
  ! V in m3/kmol, and their temperature derivatives DPHI, DH, DS, DG, DV.
  ! KSTAT is cleared to 0 when the density root fails; set it to 1 before.
  ! ---------------------------------------------------------------------------
  interface
    subroutine keld_esslp(t, p, z, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                          phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt) bind(C, name="KELD_ESSLP")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag
      real(c_double), intent(inout) :: phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv
      integer(c_int64_t), intent(inout) :: kstat
      integer(c_int64_t), intent(in) :: kopt
    end subroutine keld_esslp

    subroutine keld_espcsf(t, p, z, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt) bind(C, name="KELD_ESPCSF")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag
      real(c_double), intent(inout) :: phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv
      integer(c_int64_t), intent(inout) :: kstat
      integer(c_int64_t), intent(in) :: kopt
    end subroutine keld_espcsf

    ! Vector forms (26 arguments): component IDX(k) alone at pressure P(k);
    ! every output has one element per listed component.
    subroutine keld_esslpa(t, p, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt) bind(C, name="KELD_ESSLPA")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag
      real(c_double), intent(inout) :: phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), dv(*)
      integer(c_int64_t), intent(inout) :: kstat
      integer(c_int64_t), intent(in) :: kopt
    end subroutine keld_esslpa

    subroutine keld_espcsa(t, p, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt) bind(C, name="KELD_ESPCSA")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag
      real(c_double), intent(inout) :: phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), dv(*)
      integer(c_int64_t), intent(inout) :: kstat
      integer(c_int64_t), intent(in) :: kopt
    end subroutine keld_espcsa

    ! Parameter initialisation of NDS data sets; run once before property calls.
    subroutine keld_espsli(nds) bind(C, name="KELD_ESPSLI")
      import :: c_int64_t
      integer(c_int64_t), intent(in) :: nds
    end subroutine keld_espsli

    subroutine keld_espcsi(nds) bind(C, name="KELD_ESPCSI")
      import :: c_int64_t
      integer(c_int64_t), intent(in) :: nds
    end subroutine keld_espcsi
  end interface

  ! ---------------------------------------------------------------------------
  ! PC-SAFT with association: parameter preparation (keld/keld.h describes both).
  ! KELD_ESPSAI hands the binary temperature tables to the host; KELD_ESPSAHI
  ! fits missing segment number, diameter and energy to correlation data.
  interface
    subroutine keld_espsai(nds) bind(C, name="KELD_ESPSAI")
      import :: c_int64_t
      integer(c_int64_t), intent(in) :: nds
    end subroutine keld_espsai

    subroutine keld_espsahi(nds) bind(C, name="KELD_ESPSAHI")
      import :: c_int64_t
      integer(c_int64_t), intent(in) :: nds
    end subroutine keld_espsahi
  end interface

  ! ---------------------------------------------------------------------------
  ! SAFT of Huang and Radosz (keld/keld.h describes every argument).
  ! KELD_ESSAFT takes its parameters, binary tables and work arrays as
  ! arguments (51); KELD_ESSFTA is its vector form (no Z; P, MWN and the
  ! outputs by position). KELD_SFTHLP hands out HostStore positions for them.
  ! KELD_PSAFM1 / KELD_ESSFTB read the parameters from the host store.
  ! ---------------------------------------------------------------------------
  interface
    subroutine keld_essaft(t, p, z, n, idx, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kstat, cid, tc, pc2, &
                           saftm, saftv, saftu, safte, u0ij, d, v0, xm, xmd, xmd2, xmd3, dmmix, chain, dudx, &
                           mw, mwn, x, tk, xmij, gij, gijd, gijdd, phi, h, s, g, v, dphi, dh, ds, dg, dv, &
                           sftkij, sftlij) bind(C, name="KELD_ESSAFT")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*), cid(*), safte(*), mw(*), mwn(*), x(*), sftkij(*), sftlij(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kvl, kphi, kh, ks, kg, kv, kds, kdiag
      integer(c_int64_t), intent(inout) :: kstat
      real(c_double), intent(inout) :: tc(*), pc2(*), saftm(*), saftv(*), saftu(*), u0ij(*), d(*), v0(*), &
                                       xm(*), xmd(*), xmd2(*), xmd3(*), dmmix(*), chain(*), dudx(*), tk(*), &
                                       xmij(*), gij(*), gijd(*), gijdd(*)
      real(c_double), intent(inout) :: phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv
    end subroutine keld_essaft

    subroutine keld_essfta(t, p, n, idx, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kstat, cid, tc, pc2, &
                           saftm, saftv, saftu, safte, u0ij, d, v0, xm, xmd, xmd2, xmd3, dmmix, chain, dudx, &
                           mw, mwn, x, tk, xmij, gij, gijd, gijdd, phi, h, s, g, v, dphi, dh, ds, dg, dv, &
                           sftkij, sftlij) bind(C, name="KELD_ESSFTA")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*), cid(*), safte(*), mw(*), mwn(*), x(*), sftkij(*), sftlij(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kvl, kphi, kh, ks, kg, kv, kds, kdiag
      integer(c_int64_t), intent(inout) :: kstat
      real(c_double), intent(inout) :: tc(*), pc2(*), saftm(*), saftv(*), saftu(*), u0ij(*), d(*), v0(*), &
                                       xm(*), xmd(*), xmd2(*), xmd3(*), dmmix(*), chain(*), dudx(*), tk(*), &
                                       xmij(*), gij(*), gijd(*), gijdd(*)
      real(c_double), intent(inout) :: phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), dv(*)
    end subroutine keld_essfta

    subroutine keld_essfti(nds) bind(C, name="KELD_ESSFTI")
      import :: c_int64_t
      integer(c_int64_t), intent(in) :: nds
    end subroutine keld_essfti

    subroutine keld_sfthlp(ksaftm, ksaftv, ksaftu, ksafte, ktc, kpc, kmw, kcid, kd, kv0, kxm, kxmd, kxmd2, &
                           kxmd3, kdmmix, kchain, kdudx, kgij, kgijd, kgijdd, ku0ij, kxmij, kmwn, kx, ktk, &
                           kwork, kspare, ksaftr, ksfkij, k883) bind(C, name="KELD_SFTHLP")
      import :: c_int64_t
      integer(c_int64_t), intent(out) :: ksaftm, ksaftv, ksaftu, ksafte, ktc, kpc, kmw, kcid, kd, kv0, kxm, &
                                         kxmd, kxmd2, kxmd3, kdmmix, kchain, kdudx, kgij, kgijd, kgijdd, ku0ij, &
                                         kxmij, kmwn, kx, ktk, ksaftr, ksfkij, k883
      integer(c_int64_t), intent(in) :: kwork, kspare
    end subroutine keld_sfthlp

    subroutine keld_psafm1(t, p, z, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt) bind(C, name="KELD_PSAFM1")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag
      real(c_double), intent(inout) :: phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv
      integer(c_int64_t), intent(inout) :: kstat
      integer(c_int64_t), intent(in) :: kopt
    end subroutine keld_psafm1

    subroutine keld_essftb(t, p, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt) bind(C, name="KELD_ESSFTB")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag
      real(c_double), intent(inout) :: phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), dv(*)
      integer(c_int64_t), intent(inout) :: kstat
      integer(c_int64_t), intent(in) :: kopt
    end subroutine keld_essftb
  end interface

  ! ---------------------------------------------------------------------------
  ! Segment-based monitors (keld/keld.h describes every argument and the work
  ! layouts): KELD_PCSF01 (54 arguments), KELD_SAFT01 (55), KELD_POSL01 (53)
  ! with their vector forms KELD_PCSF00 (45), KELD_SAFT00 (46), KELD_POSL00
  ! (44); KELD_PCSFWK hands out the blocks of a KELD_PCSF01 work array,
  ! KELD_SETEPS the SAFT energy corrections from formula words.
  ! ---------------------------------------------------------------------------
  interface
    subroutine keld_pcsf01(t, p, z, n, idx, w, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt, mw, tc, pc, m, sigma, eps, r, &
                           kijtab, source, nc, ns, seg, segmol, poly, kijwords, iopt, ioptc, optvec, optfac, &
                           nwork, kpass1, kpass2, optout, x, mwn, optval, segwt) bind(C, name="KELD_PCSF01")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*), mw(*), tc(*), pc(*), m(*), sigma(*), eps(*), r(*), kijtab(*), &
                                    segmol(*), optfac, mwn(*), optval(*), segwt(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kopt, nc, &
                                        ns, seg(*), poly(*), kijwords, iopt, ioptc, nwork, kpass1, kpass2
      real(c_double), intent(inout) :: w(*), phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv, source(*), &
                                       optvec(*), optout, x(*)
      integer(c_int64_t), intent(inout) :: kstat
    end subroutine keld_pcsf01

    subroutine keld_pcsf00(t, p, n, idx, w, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt, mw, tc, pc, m, sigma, eps, r, &
                           kijtab, source, nc, ns, seg, segmol, poly, kijwords, optvec, mwn, optval, segwt) &
                           bind(C, name="KELD_PCSF00")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*), mw(*), tc(*), pc(*), m(*), sigma(*), eps(*), r(*), kijtab(*), &
                                    segmol(*), mwn(*), optval(*), segwt(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kopt, nc, &
                                        ns, seg(*), poly(*), kijwords
      real(c_double), intent(inout) :: w(*), phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), &
                                       dv(*), source(*), optvec(*)
      integer(c_int64_t), intent(inout) :: kstat
    end subroutine keld_pcsf00

    subroutine keld_saft01(t, p, z, n, idx, w, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt, mw, tc, pc, m, v00, u0, r, e, &
                           kijtab, source, nc, ns, seg, segmol, poly, kijwords, iopt, ioptc, optvec, optfac, &
                           nwork, kpass1, kpass2, optout, x, mwn, optval, segwt) bind(C, name="KELD_SAFT01")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*), mw(*), tc(*), pc(*), m(*), v00(*), u0(*), r(*), e(*), &
                                    kijtab(*), segmol(*), optfac, mwn(*), optval(*), segwt(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kopt, nc, &
                                        ns, seg(*), poly(*), kijwords, iopt, ioptc, nwork, kpass1, kpass2
      real(c_double), intent(inout) :: w(*), phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv, source(*), &
                                       optvec(*), optout, x(*)
      integer(c_int64_t), intent(inout) :: kstat
    end subroutine keld_saft01

    subroutine keld_saft00(t, p, n, idx, w, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt, mw, tc, pc, m, v00, u0, r, e, &
                           kijtab, source, nc, ns, seg, segmol, poly, kijwords, optvec, mwn, optval, segwt) &
                           bind(C, name="KELD_SAFT00")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*), mw(*), tc(*), pc(*), m(*), v00(*), u0(*), r(*), e(*), &
                                    kijtab(*), segmol(*), mwn(*), optval(*), segwt(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kopt, nc, &
                                        ns, seg(*), poly(*), kijwords
      real(c_double), intent(inout) :: w(*), phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), &
                                       dv(*), source(*), optvec(*)
      integer(c_int64_t), intent(inout) :: kstat
    end subroutine keld_saft00

    subroutine keld_posl01(t, p, z, n, idx, w, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt, mw, tstar, pstar, rstar, kijtab, &
                           etatab, source, nc, ns, seg, segmol, poly, kijwords, etawords, iopt, ioptc, optvec, &
                           optfac, nwork, kpass1, kpass2, optout, x, mwn, optval, segwt) bind(C, name="KELD_POSL01")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*), mw(*), tstar(*), pstar(*), rstar(*), kijtab(*), etatab(*), &
                                    segmol(*), optfac, mwn(*), optval(*), segwt(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kopt, nc, &
                                        ns, seg(*), poly(*), kijwords, etawords, iopt, ioptc, nwork, kpass1, kpass2
      real(c_double), intent(inout) :: w(*), phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv, source(*), &
                                       optvec(*), optout, x(*)
      integer(c_int64_t), intent(inout) :: kstat
    end subroutine keld_posl01

    subroutine keld_posl00(t, p, n, idx, w, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                           phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt, mw, tstar, pstar, rstar, kijtab, &
                           etatab, source, nc, ns, seg, segmol, poly, kijwords, etawords, optvec, mwn, optval, &
                           segwt) bind(C, name="KELD_POSL00")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*), mw(*), tstar(*), pstar(*), rstar(*), kijtab(*), etatab(*), &
                                    segmol(*), mwn(*), optval(*), segwt(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, kopt, nc, &
                                        ns, seg(*), poly(*), kijwords, etawords
      real(c_double), intent(inout) :: w(*), phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), &
                                       dv(*), source(*), optvec(*)
      integer(c_int64_t), intent(inout) :: kstat
    end subroutine keld_posl00

    subroutine keld_pcsfwk(k1, k2, k3, k4, k5, k6, k7, k8, k9, k10, k11, k12, k13, k14, k15, k16, k17, k18, &
                           k19, k20, k21, k22, k23, k24, k25, k26, k27, k28, k29, k30, k31, k32, k33, k34, &
                           k35, k36, nc) bind(C, name="KELD_PCSFWK")
      import :: c_int64_t
      integer(c_int64_t), intent(inout) :: k1, k2, k3, k4, k5, k6, k7, k8, k9, k10, k11, k12, k13, k14, k15, &
                                           k16, k17, k18, k19, k20, k21, k22, k23, k24, k25, k26, k27, k28, &
                                           k29, k30, k31, k32, k33, k34, k35, k36
      integer(c_int64_t), intent(in) :: nc
    end subroutine keld_pcsfwk

    subroutine keld_seteps(n, idx, kspare, eps) bind(C, name="KELD_SETEPS")
      import :: c_double, c_int64_t
      integer(c_int64_t), intent(in) :: n, idx(*), kspare
      real(c_double), intent(inout) :: eps(*)
    end subroutine keld_seteps
  end interface

  ! ---------------------------------------------------------------------------
  ! Cubic equation of state with excess-Gibbs mixing: KELD_ES40 (30 arguments)
  ! and its vector form KELD_ES40A (29); keld/keld.h tables KEOSOPT, KMODEL,
  ! KRULE and the parameters read. KRET is 1 when the call was computed.
  ! ---------------------------------------------------------------------------
  interface
    subroutine keld_es40(t, p, z, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, keosopt, &
                         kmodel, krule, phi, h, s, g, v, dphi, dh, ds, dg, dv, kret, kpass) bind(C, name="KELD_ES40")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                                        keosopt, kmodel, krule, kpass
      real(c_double), intent(inout) :: phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv
      integer(c_int64_t), intent(inout) :: kret
    end subroutine keld_es40

    subroutine keld_es40a(t, p, n, idx, kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, keosopt, &
                          phi, h, s, g, v, dphi, dh, ds, dg, dv, kmodel, krule, kret, kpass) bind(C, name="KELD_ES40A")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*)
      integer(c_int64_t), intent(in) :: n, idx(*), kwork, kspare, kvl, kphi, kh, ks, kg, kv, kds, kdiag, &
                                        keosopt, kmodel, krule, kpass
      real(c_double), intent(inout) :: phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), dv(*)
      integer(c_int64_t), intent(inout) :: kret
    end subroutine keld_es40a
  end interface

  ! ---------------------------------------------------------------------------
  ! Association: KELD_PCSAF5 (55 arguments) returns the association Helmholtz
  ! energy of one phase and its derivatives; PC-SAFT with association and a
  ! dipolar term: KELD_PCSAF1 (57) and its pure-component vector form
  ! KELD_PCSAF0 (56). keld/keld.h tables every argument. Arguments that may
  ! be NULL there are OPTIONAL here: leave them out to pass NULL.
  ! ---------------------------------------------------------------------------
  interface
    subroutine keld_pcsaf5(t, rho, ncp, nc, idx, x, m, sigma, amark, d, tdd, nseg, lseg, iseg, wseg, fseg, &
                           itype, bcpa, bmix, nv, iasl, epsa, vola, zpack, crule, krho, krho2, kt, kx, iopt, &
                           isngl, tol, method, kdiag, lunit, model, kstart, a, ar, ar2, at, ax, del, delr, delr2, &
                           delt, mxv, nvar, no, isite, lxa, xa, ifail, work, lwork) bind(C, name="KELD_PCSAF5")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, rho, x(*), m(*), sigma(*), amark(*), d(*), wseg(*), fseg(*), bmix, &
                                    epsa(*), vola(*), zpack(4), tol
      real(c_double), intent(in), optional :: tdd(*), bcpa(*), crule(*)
      integer(c_int64_t), intent(in) :: ncp, nc, idx(*), nseg(*), lseg, iseg(*), nv, iasl(*), krho, krho2, kt, &
                                        kx, iopt, isngl, method, kdiag, lunit, model, kstart, mxv, lxa, lwork
      integer(c_int64_t), intent(inout) :: itype(*)
      real(c_double), intent(inout) :: a, ar, ar2, at, ax(*), del(*), delr(*), delr2(*), delt(*), work(*)
      real(c_double), intent(inout), optional :: xa(*)
      integer(c_int64_t), intent(inout) :: nvar, no(*), isite(*), ifail
    end subroutine keld_pcsaf5

    subroutine keld_pcsaf1(t, p, n, nc, kvl, kphi, kh, ks, kg, kv, kdiag, kopt, kstat, idx, z, mw, tc, pc, kds, &
                           xm, sig, epk, itype, epsab, kapab, dipm, xpol, phi, h, s, g, v, dphi, dh, ds, dg, dv, &
                           nseg, lseg, iseg, wseg, kijc, lijc, atol, ameth, lunit, rho, lwork, work, &
                           spare1, spare2, spare3, spare4, spare5, spare6, spare7, spare8) bind(C, name="KELD_PCSAF1")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p, z(*), mw(*), tc(*), pc(*), xm(*), sig(*), epk(*), epsab(*), kapab(*), &
                                    dipm(*), xpol(*), wseg(*), kijc(*), lijc(*), atol
      integer(c_int64_t), intent(in) :: n, nc, kvl, kphi, kh, ks, kg, kv, kdiag, kopt(3), idx(*), kds, itype(*), &
                                        lseg, iseg(*), ameth, lunit, lwork
      integer(c_int64_t), intent(in), optional :: nseg(*)
      integer(c_int64_t), intent(inout) :: kstat
      real(c_double), intent(inout) :: phi(*), h, s, g, v, dphi(*), dh, ds, dg, dv, rho, work(*)
      type(*), intent(in), optional :: spare1, spare2, spare3, spare4, spare5, spare6, spare7, spare8
    end subroutine keld_pcsaf1

    subroutine keld_pcsaf0(t, p, n, nc, kvl, kphi, kh, ks, kg, kv, kdiag, kopt, kstat, idx, mw, tc, pc, kds, &
                           xm, sig, epk, itype, epsab, kapab, dipm, xpol, phi, h, s, g, v, dphi, dh, ds, dg, dv, &
                           nseg, lseg, iseg, wseg, kijc, lijc, atol, ameth, lunit, rho, lwork, work, &
                           spare1, spare2, spare3, spare4, spare5, spare6, spare7, spare8) bind(C, name="KELD_PCSAF0")
      import :: c_double, c_int64_t
      real(c_double), intent(in) :: t, p(*), mw(*), tc(*), pc(*), xm(*), sig(*), epk(*), epsab(*), kapab(*), &
                                    dipm(*), xpol(*), wseg(*), kijc(*), lijc(*), atol
      integer(c_int64_t), intent(in) :: n, nc, kvl, kphi, kh, ks, kg, kv, kdiag, kopt(3), idx(*), kds, itype(*), &
                                        lseg, iseg(*), ameth, lunit, lwork
      integer(c_int64_t), intent(in), optional :: nseg(*)
      integer(c_int64_t), intent(inout) :: kstat
      real(c_double), intent(inout) :: phi(*), h(*), s(*), g(*), v(*), dphi(*), dh(*), ds(*), dg(*), dv(*), &
                                       rho(*), work(*)
      type(*), intent(in), optional :: spare1, spare2, spare3, spare4, spare5, spare6, spare7, spare8
    end subroutine keld_pcsaf0
  end interface

  ! The library's version, "MAJOR.MINOR.PATCH" (keld_version below).
  interface
    function c_keld_version() result(text) bind(C, name="keld_version")
      import :: c_ptr
      type(c_ptr) :: text
    end function c_keld_version
  end interface

  ! ---------------------------------------------------------------------------
  ! Reference host and case files (C interface: handles and sizes by value).
  ! Functions returning integer(c_int) give 0 (KELD_REFHOST_OK) on success.
  ! ---------------------------------------------------------------------------
  interface
    ! Loads a case file with its states; a null pointer and the message in
    ! `error` (place in the file first) on failure.
    function keld_refhost_case_open(path, error, capacity) result(case) bind(C, name="keld_refhost_case_open")
      import :: c_char, c_int64_t, c_ptr
      character(kind=c_char), intent(in) :: path(*)
      character(kind=c_char), intent(out) :: error(*)
      integer(c_int64_t), value :: capacity
      type(c_ptr) :: case
    end function keld_refhost_case_open

    subroutine keld_refhost_case_close(case) bind(C, name="keld_refhost_case_close")
      import :: c_ptr
      type(c_ptr), value :: case
    end subroutine keld_refhost_case_close

    ! The case's host, owned by the case.
    function keld_refhost_case_host(case) result(host) bind(C, name="keld_refhost_case_host")
      import :: c_ptr
      type(c_ptr), value :: case
      type(c_ptr) :: host
    end function keld_refhost_case_host

    function keld_refhost_case_state_count(case) result(count) bind(C, name="keld_refhost_case_state_count")
      import :: c_ptr, c_int64_t
      type(c_ptr), value :: case
      integer(c_int64_t) :: count
    end function keld_refhost_case_state_count

    function keld_refhost_case_data_set_count(case) result(count) &
        bind(C, name="keld_refhost_case_data_set_count")
      import :: c_ptr, c_int64_t
      type(c_ptr), value :: case
      integer(c_int64_t) :: count
    end function keld_refhost_case_data_set_count

    ! The monitor arguments of state number `state` (1-based): T, P, N,
    ! IDX(capacity), Z(capacity), KVL, flags(5) = KPHI, KH, KS, KG, KV, KDS,
    ! KDIAG, KOPT.
    function keld_refhost_case_state(case, state, t, p, n, idx, z, capacity, kvl, flags, kds, kdiag, kopt) &
        result(code) bind(C, name="keld_refhost_case_state")
      import :: c_ptr, c_int, c_int64_t, c_double
      type(c_ptr), value :: case
      integer(c_int64_t), value :: state, capacity
      real(c_double), intent(out) :: t, p, z(*)
      integer(c_int64_t), intent(out) :: n, idx(*), kvl, flags(5), kds, kdiag, kopt
      integer(c_int) :: code
    end function keld_refhost_case_state

    function keld_refhost_case_state_model(case, state, name, capacity) result(code) &
        bind(C, name="keld_refhost_case_state_model")
      import :: c_ptr, c_int, c_int64_t, c_char
      type(c_ptr), value :: case
      integer(c_int64_t), value :: state, capacity
      character(kind=c_char), intent(out) :: name(*)
      integer(c_int) :: code
    end function keld_refhost_case_state_model

    function keld_refhost_case_state_label(case, state, label, capacity) result(code) &
        bind(C, name="keld_refhost_case_state_label")
      import :: c_ptr, c_int, c_int64_t, c_char
      type(c_ptr), value :: case
      integer(c_int64_t), value :: state, capacity
      character(kind=c_char), intent(out) :: label(*)
      integer(c_int) :: code
    end function keld_refhost_case_state_label

    ! Makes the host current: the monitors then use its store and services.
    function keld_refhost_install(host) result(code) bind(C, name="keld_refhost_install")
      import :: c_ptr, c_int
      type(c_ptr), value :: host
      integer(c_int) :: code
    end function keld_refhost_install

    function keld_refhost_component_count(host, count) result(code) bind(C, name="keld_refhost_component_count")
      import :: c_ptr, c_int, c_int64_t
      type(c_ptr), value :: host
      integer(c_int64_t), intent(out) :: count
      integer(c_int) :: code
    end function keld_refhost_component_count

    ! A per-component value by parameter name, e.g. c_string("MW").
    function keld_refhost_get_component_value(host, name, component, value) result(code) &
        bind(C, name="keld_refhost_get_component_value")
      import :: c_ptr, c_int, c_int64_t, c_char, c_double
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: component
      real(c_double), intent(out) :: value
      integer(c_int) :: code
    end function keld_refhost_get_component_value

    ! capture /= 0: message lines are kept in the host instead of going to
    ! standard error; read them with the two functions below (1-based lines).
    function keld_refhost_capture_messages(host, capture) result(code) bind(C, name="keld_refhost_capture_messages")
      import :: c_ptr, c_int
      type(c_ptr), value :: host
      integer(c_int), value :: capture
      integer(c_int) :: code
    end function keld_refhost_capture_messages

    function keld_refhost_captured_line_count(host, count) result(code) &
        bind(C, name="keld_refhost_captured_line_count")
      import :: c_ptr, c_int, c_int64_t
      type(c_ptr), value :: host
      integer(c_int64_t), intent(out) :: count
      integer(c_int) :: code
    end function keld_refhost_captured_line_count

    function keld_refhost_captured_line(host, index, buffer, capacity) result(code) &
        bind(C, name="keld_refhost_captured_line")
      import :: c_ptr, c_int, c_int64_t, c_char
      type(c_ptr), value :: host
      integer(c_int64_t), value :: index, capacity
      character(kind=c_char), intent(out) :: buffer(*)
      integer(c_int) :: code
    end function keld_refhost_captured_line
  end interface

contains

  ! The version of the loaded keld library, e.g. "0.1.0".
  function keld_version() result(version)
    character(len=:), allocatable :: version
    character(kind=c_char), pointer :: chars(:)
    integer :: n
    call c_f_pointer(c_keld_version(), chars, [64])
    n = 0
    do while (n < 64)
      if (chars(n + 1) == c_null_char) exit
      n = n + 1
    end do
    allocate (character(len=n) :: version)
    version = transfer(chars(1:n), version)
  end function keld_version

  ! A Fortran string as a NUL-terminated C string (trailing blanks removed).
  pure function c_string(text) result(out)
    character(len=*), intent(in) :: text
    character(kind=c_char, len=len_trim(text) + 1) :: out
    out = trim(text) // c_null_char
  end function c_string

  ! The characters of a NUL-terminated C buffer before the NUL, as a
  ! Fortran string of the buffer's length (blank-padded).
  pure function fortran_string(buffer) result(out)
    character(kind=c_char), intent(in) :: buffer(:)
    character(len=size(buffer)) :: out
    integer :: k
    out = ' '
    do k = 1, size(buffer)
      if (buffer(k) == c_null_char) exit
      out(k:k) = buffer(k)
    end do
  end function fortran_string
end module keld
