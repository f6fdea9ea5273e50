! keld_host_builder - builds a reference host from Fortran, without a case
! file: components (ordinary, polymers with their number-average molecular
! weight and segment composition, segments), parameters of the store's
! catalogue (unary, binary, temperature tables), messages.
!
! The procedures take Fortran strings and every number by reference with
! 64-bit integers, as the monitors do, and return a status: 0
! (KELD_REFHOST_OK) on success, otherwise a positive code whose reason
! keld_host_last_error(host) gives. Component numbers and data sets are
! 1-based. The module `keld` re-exports everything here.
!
!   host = keld_host_create(1_c_int64_t)
!   status = keld_host_add_component(host, 'HEXANE', KELD_COMPONENT_ORDINARY, 86.177d0, hexane)
!   status = keld_host_set_unary(host, 'PCSFTM', hexane, 1_c_int64_t, 3.0576d0)
!   status = keld_host_install(host)           ! before any monitor call
!   call keld_espcsi(1_c_int64_t)              ! once per family, then the monitor calls
!   call keld_host_destroy(host)
module keld_host_builder
  use, intrinsic :: iso_c_binding, only: c_associated, c_char, c_double, c_f_pointer, c_int, c_int64_t, &
                                         c_null_char, c_null_ptr, c_ptr
  implicit none
  private

  public :: keld_host_create, keld_host_destroy, keld_host_install, keld_host_last_error
  public :: keld_host_add_component, keld_host_component_count, keld_host_set_mwn, keld_host_set_segment_fraction, &
            keld_host_set_formula
  public :: keld_host_set_unary, keld_host_get_unary, keld_host_set_binary, keld_host_get_binary, &
            keld_host_set_table, keld_host_apply_temperature, keld_host_set_component_value, &
            keld_host_get_component_value
  public :: keld_host_capture_messages, keld_host_message_count, keld_host_message, keld_host_clear_messages
  public :: KELD_COMPONENT_ORDINARY, KELD_COMPONENT_POLYMER, KELD_COMPONENT_OLIGOMER, KELD_COMPONENT_SEGMENT

  ! Component kinds (keld_host_add_component).
  integer(c_int64_t), parameter :: KELD_COMPONENT_ORDINARY = 0, KELD_COMPONENT_POLYMER = 1, &
                                   KELD_COMPONENT_OLIGOMER = 2, KELD_COMPONENT_SEGMENT = 3
  ! Returned when an argument cannot reach the C interface (e.g. a kind that is no C int).
  integer(c_int64_t), parameter :: invalid_argument = 1

  ! The reference host's C interface (keld/refhost_c.h): handles and sizes by value.
  interface
    function c_create(data_sets, work_words) result(host) bind(C, name="keld_refhost_create")
      import :: c_int64_t, c_ptr
      integer(c_int64_t), value :: data_sets, work_words
      type(c_ptr) :: host
    end function c_create

    subroutine c_destroy(host) bind(C, name="keld_refhost_destroy")
      import :: c_ptr
      type(c_ptr), value :: host
    end subroutine c_destroy

    function c_install(host) result(code) bind(C, name="keld_refhost_install")
      import :: c_int, c_ptr
      type(c_ptr), value :: host
      integer(c_int) :: code
    end function c_install

    function c_last_error(host) result(text) bind(C, name="keld_refhost_last_error")
      import :: c_ptr
      type(c_ptr), value :: host
      type(c_ptr) :: text
    end function c_last_error

    function c_add_component(host, identifier, kind, mw, number) result(code) bind(C, name="keld_refhost_add_component")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: identifier(*)
      integer(c_int), value :: kind
      real(c_double), value :: mw
      integer(c_int64_t), intent(out) :: number
      integer(c_int) :: code
    end function c_add_component

    function c_component_count(host, count) result(code) bind(C, name="keld_refhost_component_count")
      import :: c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      integer(c_int64_t), intent(out) :: count
      integer(c_int) :: code
    end function c_component_count

    function c_set_mwn(host, polymer, mwn) result(code) bind(C, name="keld_refhost_set_number_average_mw")
      import :: c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      integer(c_int64_t), value :: polymer
      real(c_double), value :: mwn
      integer(c_int) :: code
    end function c_set_mwn

    function c_set_segment_fraction(host, polymer, segment, fraction) result(code) &
        bind(C, name="keld_refhost_set_segment_weight_fraction")
      import :: c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      integer(c_int64_t), value :: polymer, segment
      real(c_double), value :: fraction
      integer(c_int) :: code
    end function c_set_segment_fraction

    function c_set_formula(host, component, formula) result(code) bind(C, name="keld_refhost_set_formula")
      import :: c_char, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      integer(c_int64_t), value :: component
      character(kind=c_char), intent(in) :: formula(*)
      integer(c_int) :: code
    end function c_set_formula

    function c_set_unary(host, name, component, data_set, value) result(code) bind(C, name="keld_refhost_set_unary")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: component, data_set
      real(c_double), value :: value
      integer(c_int) :: code
    end function c_set_unary

    function c_get_unary(host, name, component, data_set, value) result(code) bind(C, name="keld_refhost_get_unary")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: component, data_set
      real(c_double), intent(out) :: value
      integer(c_int) :: code
    end function c_get_unary

    function c_set_binary(host, name, i, j, data_set, value) result(code) bind(C, name="keld_refhost_set_binary")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: i, j, data_set
      real(c_double), value :: value
      integer(c_int) :: code
    end function c_set_binary

    function c_get_binary(host, name, i, j, data_set, value) result(code) bind(C, name="keld_refhost_get_binary")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: i, j, data_set
      real(c_double), intent(out) :: value
      integer(c_int) :: code
    end function c_get_binary

    function c_set_table(host, name, i, j, data_set, coefficients, count) result(code) &
        bind(C, name="keld_refhost_set_binary_coefficients")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: i, j, data_set, count
      real(c_double), intent(in) :: coefficients(*)
      integer(c_int) :: code
    end function c_set_table

    function c_apply_temperature(host, t) result(code) bind(C, name="keld_refhost_apply_temperature_tables")
      import :: c_double, c_int, c_ptr
      type(c_ptr), value :: host
      real(c_double), value :: t
      integer(c_int) :: code
    end function c_apply_temperature

    function c_set_component_value(host, name, component, value) result(code) &
        bind(C, name="keld_refhost_set_component_value")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: component
      real(c_double), value :: value
      integer(c_int) :: code
    end function c_set_component_value

    function c_get_component_value(host, name, component, value) result(code) &
        bind(C, name="keld_refhost_get_component_value")
      import :: c_char, c_double, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      character(kind=c_char), intent(in) :: name(*)
      integer(c_int64_t), value :: component
      real(c_double), intent(out) :: value
      integer(c_int) :: code
    end function c_get_component_value

    function c_capture_messages(host, capture) result(code) bind(C, name="keld_refhost_capture_messages")
      import :: c_int, c_ptr
      type(c_ptr), value :: host
      integer(c_int), value :: capture
      integer(c_int) :: code
    end function c_capture_messages

    function c_message_count(host, count) result(code) bind(C, name="keld_refhost_captured_line_count")
      import :: c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      integer(c_int64_t), intent(out) :: count
      integer(c_int) :: code
    end function c_message_count

    function c_message(host, index, buffer, capacity) result(code) bind(C, name="keld_refhost_captured_line")
      import :: c_char, c_int, c_int64_t, c_ptr
      type(c_ptr), value :: host
      integer(c_int64_t), value :: index, capacity
      character(kind=c_char), intent(out) :: buffer(*)
      integer(c_int) :: code
    end function c_message

    function c_clear_messages(host) result(code) bind(C, name="keld_refhost_clear_captured_lines")
      import :: c_int, c_ptr
      type(c_ptr), value :: host
      integer(c_int) :: code
    end function c_clear_messages
  end interface

contains

  ! A new host with DATA_SETS parameter data sets (>= 1) and a work block of
  ! at least WORK_WORDS words (left out or 0: sized for the components added).
  ! A null pointer (c_associated false) when it cannot be created.
  function keld_host_create(data_sets, work_words) result(host)
    integer(c_int64_t), intent(in) :: data_sets
    integer(c_int64_t), intent(in), optional :: work_words
    type(c_ptr) :: host
    integer(c_int64_t) :: words
    words = 0
    if (present(work_words)) words = work_words
    host = c_create(data_sets, words)
  end function keld_host_create

  ! Destroys the host and nulls the handle. A host that is installed must not
  ! be destroyed while monitors may still be called.
  subroutine keld_host_destroy(host)
    type(c_ptr), intent(inout) :: host
    if (c_associated(host)) call c_destroy(host)
    host = c_null_ptr
  end subroutine keld_host_destroy

  ! Makes the host the one the monitors use.
  function keld_host_install(host) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t) :: status
    status = c_install(host)
  end function keld_host_install

  ! The reason of the host's last failed call ('' after a successful one).
  function keld_host_last_error(host) result(text)
    type(c_ptr), intent(in) :: host
    character(len=:), allocatable :: text
    text = string_at(c_last_error(host))
  end function keld_host_last_error

  ! Appends a component; NUMBER receives its component number.
  function keld_host_add_component(host, identifier, kind, mw, number) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: identifier
    integer(c_int64_t), intent(in) :: kind
    real(c_double), intent(in) :: mw
    integer(c_int64_t), intent(out) :: number
    integer(c_int64_t) :: status
    number = 0
    if (kind < KELD_COMPONENT_ORDINARY .or. kind > KELD_COMPONENT_SEGMENT) then
      status = invalid_argument
      return
    end if
    status = c_add_component(host, c_text(identifier), int(kind, c_int), mw, number)
  end function keld_host_add_component

  function keld_host_component_count(host, count) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t), intent(out) :: count
    integer(c_int64_t) :: status
    status = c_component_count(host, count)
  end function keld_host_component_count

  ! The number-average molecular weight of a polymer or oligomer, kg/kmol.
  function keld_host_set_mwn(host, polymer, mwn) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t), intent(in) :: polymer
    real(c_double), intent(in) :: mwn
    integer(c_int64_t) :: status
    status = c_set_mwn(host, polymer, mwn)
  end function keld_host_set_mwn

  ! The weight fraction of segment component SEGMENT in POLYMER (the other
  ! segments' fractions are kept; fractions are used as given).
  function keld_host_set_segment_fraction(host, polymer, segment, weight_fraction) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t), intent(in) :: polymer, segment
    real(c_double), intent(in) :: weight_fraction
    integer(c_int64_t) :: status
    status = c_set_segment_fraction(host, polymer, segment, weight_fraction)
  end function keld_host_set_segment_fraction

  function keld_host_set_formula(host, component, formula) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t), intent(in) :: component
    character(len=*), intent(in) :: formula
    integer(c_int64_t) :: status
    status = c_set_formula(host, component, c_text(formula))
  end function keld_host_set_formula

  ! A per-component parameter of data set DATA_SET, by its store name (e.g.
  ! 'PCSFTM'), in the store's units (those of keld/refhost.h).
  function keld_host_set_unary(host, name, component, data_set, value) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: name
    integer(c_int64_t), intent(in) :: component, data_set
    real(c_double), intent(in) :: value
    integer(c_int64_t) :: status
    status = c_set_unary(host, c_text(name), component, data_set, value)
  end function keld_host_set_unary

  function keld_host_get_unary(host, name, component, data_set, value) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: name
    integer(c_int64_t), intent(in) :: component, data_set
    real(c_double), intent(out) :: value
    integer(c_int64_t) :: status
    status = c_get_unary(host, c_text(name), component, data_set, value)
  end function keld_host_get_unary

  ! A binary parameter of pair (I, J); set (J, I) too for a symmetric one.
  function keld_host_set_binary(host, name, i, j, data_set, value) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: name
    integer(c_int64_t), intent(in) :: i, j, data_set
    real(c_double), intent(in) :: value
    integer(c_int64_t) :: status
    status = c_set_binary(host, c_text(name), i, j, data_set, value)
  end function keld_host_set_binary

  function keld_host_get_binary(host, name, i, j, data_set, value) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: name
    integer(c_int64_t), intent(in) :: i, j, data_set
    real(c_double), intent(out) :: value
    integer(c_int64_t) :: status
    status = c_get_binary(host, c_text(name), i, j, data_set, value)
  end function keld_host_get_binary

  ! The temperature table of pair (I, J): COEFFICIENTS = a, b, c, d, e, Tref
  ! of k(T) = a + b/Tr + c ln Tr + d Tr + e Tr^2, Tr = T/Tref (at most six;
  ! those left out are 0). For a table that feeds a binary parameter (SLKIJT
  ! -> SLKIJ) call keld_host_apply_temperature whenever T changes.
  function keld_host_set_table(host, name, i, j, data_set, coefficients) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: name
    integer(c_int64_t), intent(in) :: i, j, data_set
    real(c_double), intent(in) :: coefficients(:)
    integer(c_int64_t) :: status
    real(c_double) :: words(6)
    if (size(coefficients) > 6) then
      status = invalid_argument
      return
    end if
    words = 0
    words(1:size(coefficients)) = coefficients
    status = c_set_table(host, c_text(name), i, j, data_set, words, int(size(coefficients), c_int64_t))
  end function keld_host_set_table

  ! Writes every temperature table's value at T (K) into its binary parameter.
  function keld_host_apply_temperature(host, t) result(status)
    type(c_ptr), intent(in) :: host
    real(c_double), intent(in) :: t
    integer(c_int64_t) :: status
    status = c_apply_temperature(host, t)
  end function keld_host_apply_temperature

  ! A per-component value outside the data sets, e.g. 'MW'.
  function keld_host_set_component_value(host, name, component, value) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: name
    integer(c_int64_t), intent(in) :: component
    real(c_double), intent(in) :: value
    integer(c_int64_t) :: status
    status = c_set_component_value(host, c_text(name), component, value)
  end function keld_host_set_component_value

  function keld_host_get_component_value(host, name, component, value) result(status)
    type(c_ptr), intent(in) :: host
    character(len=*), intent(in) :: name
    integer(c_int64_t), intent(in) :: component
    real(c_double), intent(out) :: value
    integer(c_int64_t) :: status
    status = c_get_component_value(host, c_text(name), component, value)
  end function keld_host_get_component_value

  ! CAPTURE true: the lines the monitors print are kept in the host (read
  ! them with keld_host_message_count / keld_host_message); false: they go to
  ! standard error.
  function keld_host_capture_messages(host, capture) result(status)
    type(c_ptr), intent(in) :: host
    logical, intent(in) :: capture
    integer(c_int64_t) :: status
    status = c_capture_messages(host, merge(1_c_int, 0_c_int, capture))
  end function keld_host_capture_messages

  function keld_host_message_count(host, count) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t), intent(out) :: count
    integer(c_int64_t) :: status
    status = c_message_count(host, count)
  end function keld_host_message_count

  ! Captured line INDEX (1-based) into LINE, blank-padded or cut to its length.
  function keld_host_message(host, index, line) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t), intent(in) :: index
    character(len=*), intent(out) :: line
    integer(c_int64_t) :: status
    character(kind=c_char) :: buffer(len(line) + 1)
    integer :: k
    line = ' '
    status = c_message(host, index, buffer, int(size(buffer), c_int64_t))
    if (status /= 0) return
    do k = 1, len(line)
      if (buffer(k) == c_null_char) exit
      line(k:k) = buffer(k)
    end do
  end function keld_host_message

  function keld_host_clear_messages(host) result(status)
    type(c_ptr), intent(in) :: host
    integer(c_int64_t) :: status
    status = c_clear_messages(host)
  end function keld_host_clear_messages

  ! A Fortran string as a NUL-terminated C string (trailing blanks removed).
  pure function c_text(text) result(out)
    character(len=*), intent(in) :: text
    character(kind=c_char, len=len_trim(text) + 1) :: out
    out = trim(text) // c_null_char
  end function c_text

  ! The NUL-terminated C string at TEXT as a Fortran string ('' for NULL).
  function string_at(text) result(out)
    type(c_ptr), intent(in) :: text
    character(len=:), allocatable :: out
    character(kind=c_char), pointer :: chars(:)
    integer :: n
    out = ''
    if (.not. c_associated(text)) return
    ! The bound is nominal: only the characters before the NUL are read.
    call c_f_pointer(text, chars, [huge(0)])
    n = 0
    do while (chars(n + 1) /= c_null_char)
      n = n + 1
    end do
    allocate (character(len=n) :: out)
    out = transfer(chars(1:n), out)
  end function string_at
end module keld_host_builder
