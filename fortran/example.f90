! Calls keld's PC-SAFT and Sanchez-Lacombe monitors the way a simulator
! written in Fortran does: every argument by reference, 64-bit integers.
!
!   keld_fortran_example <case.json>
!
! The case file (e.g. examples/polystyrene-toluene.json) is loaded through the
! reference host's C interface; its first state supplies T, P, the listed
! components IDX, the composition Z, the phase and the request flags. Each
! result is printed as "<routine> <quantity> <value> [unit]".
program keld_example
  use, intrinsic :: iso_c_binding, only: c_associated, c_char, c_double, c_int64_t, c_ptr
  use keld
  implicit none

  integer(c_int64_t), parameter :: max_components = 20, text_length = 512
  character(len=1024) :: path
  character(kind=c_char) :: error(text_length), text(text_length)
  type(c_ptr) :: case, host
  integer(c_int64_t) :: n, idx(max_components), kvl, flags(5), kds, kdiag, kopt, nds, k
  real(c_double) :: t, p, z(max_components), mw(max_components)

  if (command_argument_count() /= 1) then
    write (*, '(a)') 'usage: keld_fortran_example <case.json>'
    error stop 2
  end if
  call get_command_argument(1, path)

  case = keld_refhost_case_open(c_string(path), error, text_length)
  if (.not. c_associated(case)) then
    write (*, '(a)') trim(fortran_string(error))
    error stop 1
  end if
  if (keld_refhost_case_state(case, 1_c_int64_t, t, p, n, idx, z, max_components, kvl, flags, kds, kdiag, kopt) &
      /= KELD_REFHOST_OK) then
    write (*, '(a)') 'the case has no first state with at most 20 components'
    error stop 1
  end if
  if (keld_refhost_case_state_label(case, 1_c_int64_t, text, text_length) /= KELD_REFHOST_OK) text = ' '

  ! The host must be installed before any keld routine runs; the parameter
  ! initialisation routines run once, before the first property call.
  host = keld_refhost_case_host(case)
  if (keld_refhost_install(host) /= KELD_REFHOST_OK) error stop 1
  nds = keld_refhost_case_data_set_count(case)
  call keld_espcsi(nds)
  call keld_espsli(nds)
  do k = 1, n
    if (keld_refhost_get_component_value(host, c_string('MW'), idx(k), mw(k)) /= KELD_REFHOST_OK) error stop 1
  end do

  write (*, '(a, a)') 'state 1: ', trim(fortran_string(text))
  write (*, '(a, f10.3, a, es12.5, a, i0, a)') 'T = ', t, ' K, P = ', p, ' Pa, ', n, ' components'
  call evaluate('KELD_ESPCSF')
  call evaluate('KELD_ESSLP')

  call keld_refhost_case_close(case)

contains

  subroutine evaluate(routine)
    character(len=*), intent(in) :: routine
    integer(c_int64_t), parameter :: kwork = 0, kspare = 0
    real(c_double) :: phi(max_components), dphi(max_components), h, s, g, v, dh, ds, dg, dv
    integer(c_int64_t) :: kstat, i

    phi = 0; dphi = 0; h = 0; s = 0; g = 0; v = 0; dh = 0; ds = 0; dg = 0; dv = 0
    kstat = 1
    select case (routine)
    case ('KELD_ESPCSF')
      call keld_espcsf(t, p, z, n, idx, kwork, kspare, kvl, flags(1), flags(2), flags(3), flags(4), flags(5), &
                       kds, kdiag, phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt)
    case ('KELD_ESSLP')
      call keld_esslp(t, p, z, n, idx, kwork, kspare, kvl, flags(1), flags(2), flags(3), flags(4), flags(5), &
                      kds, kdiag, phi, h, s, g, v, dphi, dh, ds, dg, dv, kstat, kopt)
    end select

    write (*, '(a, 1x, a, 1x, i0)') routine, 'status', kstat
    do i = 1, n
      write (*, '(a, 1x, a, i0, a, 1x, es25.17)') routine, 'ln_phi(', i, ')', phi(i)
    end do
    write (*, '(a, 1x, a, 1x, es25.17, a)') routine, 'H', h, ' J/kmol'
    write (*, '(a, 1x, a, 1x, es25.17, a)') routine, 'S', s, ' J/(kmol K)'
    write (*, '(a, 1x, a, 1x, es25.17, a)') routine, 'G', g, ' J/kmol'
    write (*, '(a, 1x, a, 1x, es25.17, a)') routine, 'V', v, ' m3/kmol'
    write (*, '(a, 1x, a, 1x, f12.3, a)') routine, 'density', sum(z(1:n) * mw(1:n)) / v, ' kg/m3'
  end subroutine evaluate
end program keld_example
