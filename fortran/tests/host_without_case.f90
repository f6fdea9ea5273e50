! Builds reference hosts from Fortran alone, without a case file, and calls the
! monitors on them; the printed results must equal `keld eval` of the same
! systems given as case files (hexane.json, polystyrene-toluene-tables.json),
! value by value (compare_with_eval checks them).
!
! Output lines: "<case> <state> <quantity> <value>", quantity lnphi(k),
! dlnphi/dT(k), H, dH/dT, S, dS/dT, G, dG/dT, V, dV/dT or status.
! Any failing host call stops the program with the host's reason.
program host_without_case
  use, intrinsic :: iso_c_binding, only: c_associated, c_double, c_int64_t, c_ptr
  use keld
  implicit none

  integer(c_int64_t), parameter :: one = 1
  type(c_ptr) :: host

  ! n-hexane, PC-SAFT.
  block
    integer(c_int64_t) :: hexane
    host = keld_host_create(one)
    if (.not. c_associated(host)) error stop 'keld_host_create failed'
    call check(keld_host_add_component(host, 'HEXANE', KELD_COMPONENT_ORDINARY, 86.177_c_double, hexane))
    call check(keld_host_set_unary(host, 'PCSFTM', hexane, one, 3.0576_c_double))
    call check(keld_host_set_unary(host, 'PCSFTV', hexane, one, 3.7983_c_double))
    call check(keld_host_set_unary(host, 'PCSFTU', hexane, one, 236.77_c_double))
    call check(keld_host_install(host))
    call keld_espcsi(one)
    call evaluate('hexane', 1, 'pcsaft', 250.0_c_double, 1e5_c_double, [hexane], [1.0_c_double], KELD_PHASE_LIQUID)
    call evaluate('hexane', 2, 'pcsaft', 400.0_c_double, 1e5_c_double, [hexane], [1.0_c_double], KELD_PHASE_VAPOUR)
    call keld_host_destroy(host)
  end block

  ! Polystyrene described by its styrene segments, in toluene; both k_ij
  ! depend on temperature.
  block
    integer(c_int64_t) :: toluene, sty, ps
    real(c_double), parameter :: sl_table(6) = [0.01_c_double, 0.004_c_double, 0.0_c_double, 0.0_c_double, &
                                                0.0_c_double, 300.0_c_double]
    real(c_double), parameter :: pc_table(2) = [0.002_c_double, 0.003_c_double]
    host = keld_host_create(one)
    if (.not. c_associated(host)) error stop 'keld_host_create failed'
    call check(keld_host_add_component(host, 'TOLUENE', KELD_COMPONENT_ORDINARY, 92.141_c_double, toluene))
    call check(keld_host_add_component(host, 'STY', KELD_COMPONENT_SEGMENT, 104.152_c_double, sty))
    call check(keld_host_add_component(host, 'PS', KELD_COMPONENT_POLYMER, 104.152_c_double, ps))
    call check(keld_host_set_mwn(host, ps, 1e5_c_double))
    call check(keld_host_set_segment_fraction(host, ps, sty, 1.0_c_double))

    call check(keld_host_set_unary(host, 'SLTSTR', toluene, one, 543.0_c_double))
    call check(keld_host_set_unary(host, 'SLTSTR', sty, one, 735.0_c_double))
    call check(keld_host_set_unary(host, 'SLPSTR', toluene, one, 4.02e8_c_double))
    call check(keld_host_set_unary(host, 'SLPSTR', sty, one, 3.57e8_c_double))
    call check(keld_host_set_unary(host, 'SLRSTR', toluene, one, 966.0_c_double))
    call check(keld_host_set_unary(host, 'SLRSTR', sty, one, 1105.0_c_double))
    call check(keld_host_set_table(host, 'SLKIJT', toluene, ps, one, sl_table))
    call check(keld_host_set_table(host, 'SLKIJT', ps, toluene, one, sl_table))

    call check(keld_host_set_unary(host, 'PCSFTM', toluene, one, 2.8149_c_double))
    call check(keld_host_set_unary(host, 'PCSFTV', toluene, one, 3.7169_c_double))
    call check(keld_host_set_unary(host, 'PCSFTV', sty, one, 4.1071_c_double))
    call check(keld_host_set_unary(host, 'PCSFTU', toluene, one, 285.69_c_double))
    call check(keld_host_set_unary(host, 'PCSFTU', sty, one, 267.0_c_double))
    call check(keld_host_set_unary(host, 'PCSFTR', sty, one, 0.019_c_double))
    call check(keld_host_set_table(host, 'PCSKIJ', toluene, ps, one, pc_table))
    call check(keld_host_set_table(host, 'PCSKIJ', ps, toluene, one, pc_table))

    call check(keld_host_install(host))
    call keld_espsli(one)
    call keld_espcsi(one)
    call evaluate('polystyrene-toluene-tables', 1, 'sanchez-lacombe', 320.0_c_double, 2e5_c_double, [toluene, ps], &
                  [0.9_c_double, 0.1_c_double], KELD_PHASE_LIQUID)
    call evaluate('polystyrene-toluene-tables', 2, 'sanchez-lacombe', 380.0_c_double, 2e5_c_double, [toluene, ps], &
                  [0.9_c_double, 0.1_c_double], KELD_PHASE_LIQUID)
    call evaluate('polystyrene-toluene-tables', 3, 'pcsaft', 350.0_c_double, 2e5_c_double, [toluene, ps], &
                  [0.9_c_double, 0.1_c_double], KELD_PHASE_LIQUID)
    call check_captured_messages()
    call keld_host_destroy(host)
  end block

contains

  subroutine check(status)
    integer(c_int64_t), intent(in) :: status
    if (status /= KELD_REFHOST_OK) then
      write (*, '(a, i0, 2a)') 'host call failed with status ', status, ': ', keld_host_last_error(host)
      error stop 1
    end if
  end subroutine check

  ! One state as `keld eval` runs it: the host's temperature tables at T,
  ! KSTAT 1 before the call, work offset 0, every value and derivative.
  subroutine evaluate(name, state, model, t, p, idx, z, kvl)
    character(len=*), intent(in) :: name, model
    integer, intent(in) :: state
    real(c_double), intent(in) :: t, p, z(:)
    integer(c_int64_t), intent(in) :: idx(:), kvl
    integer(c_int64_t), parameter :: kwork = 0, kspare = 0, all = 3, kds = 1, kdiag = 4, kopt = 0
    real(c_double) :: phi(size(z)), dphi(size(z)), h, s, g, v, dh, ds, dg, dv
    integer(c_int64_t) :: n, kstat, k

    n = size(z)
    kstat = 1
    call check(keld_host_apply_temperature(host, t))
    select case (model)
    case ('pcsaft')
      call keld_espcsf(t, p, z, n, idx, kwork, kspare, kvl, all, all, all, all, all, kds, kdiag, &
                       phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt)
    case ('sanchez-lacombe')
      call keld_esslp(t, p, z, n, idx, kwork, kspare, kvl, all, all, all, all, all, kds, kdiag, &
                      phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt)
    case default
      error stop 'unknown model'
    end select
    do k = 1, n
      call print_value(name, state, 'lnphi(' // int_text(k) // ')', phi(k))
      call print_value(name, state, 'dlnphi/dT(' // int_text(k) // ')', dphi(k))
    end do
    call print_value(name, state, 'H', h)
    call print_value(name, state, 'dH/dT', dh)
    call print_value(name, state, 'S', s)
    call print_value(name, state, 'dS/dT', ds)
    call print_value(name, state, 'G', g)
    call print_value(name, state, 'dG/dT', dg)
    call print_value(name, state, 'V', v)
    call print_value(name, state, 'dV/dT', dv)
    call print_value(name, state, 'status', real(kstat, c_double))
  end subroutine evaluate

  subroutine print_value(name, state, quantity, value)
    character(len=*), intent(in) :: name, quantity
    integer, intent(in) :: state
    real(c_double), intent(in) :: value
    write (*, '(a, 1x, i0, 1x, a, 1x, es26.17e3)') name, state, quantity, value
  end subroutine print_value

  function int_text(k) result(text)
    integer(c_int64_t), intent(in) :: k
    character(len=:), allocatable :: text
    character(len=20) :: buffer
    write (buffer, '(i0)') k
    text = trim(buffer)
  end function int_text

  ! The SAFT initialisation names the SAFT parameters this host lacks; with
  ! capture on, its lines are kept in the host and read back here.
  subroutine check_captured_messages()
    integer(c_int64_t) :: count
    character(len=200) :: line, beyond

    call check(keld_host_capture_messages(host, .true.))
    call check(keld_host_clear_messages(host))
    call keld_essfti(one)
    call check(keld_host_message_count(host, count))
    if (count < 2) error stop 'the SAFT initialisation left no captured message'
    call check(keld_host_message(host, 2_c_int64_t, line))
    if (index(line, 'SAFTM') == 0) error stop 'the second captured line does not name SAFTM'
    if (keld_host_message(host, count + 1, beyond) == KELD_REFHOST_OK) error stop 'a line past the last was read'
    write (*, '(a, i0, 2a)') '# captured ', count, ' message lines; second: ', trim(adjustl(line))
  end subroutine check_captured_messages
end program host_without_case
