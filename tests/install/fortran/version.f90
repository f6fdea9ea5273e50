! Prints the version the Fortran module reports for the loaded keld.
program fortran_version
  use keld, only: keld_version
  implicit none
  write (*, '(a)') keld_version()
end program fortran_version
