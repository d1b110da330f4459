! Reference writer for the FORMAT tests: reads cases "shape|format|item|...|"
! from standard input, writes the items under the format with gfortran's
! own formatted output and ends each case with a line "@@END@@".
!
! The shape names the kinds of the items: a head of single items, then after
! '*' the kinds that repeat to the end (A text, I integer, R real as a 16-digit
! hex bit pattern, L logical T/F).  Texts repeated in an array share a length.
! Shape "LIST" writes one real list-directed instead.
program fmtref
  implicit none
  character(len=16384) :: line
  character(len=:), allocatable :: fmt, shape, t1, t2
  character(len=:), allocatable :: tv(:)
  integer :: p(0:4000), nf, n, i, k, ios
  integer(8) :: iv(4000), i1
  real(8) :: rv(4000), r1
  logical :: lv(4000)

  do
    read (*, '(a)', iostat=ios) line
    if (ios /= 0) exit
    nf = 0
    p(0) = 0
    do k = 1, len_trim(line)
      if (line(k:k) == '|') then
        nf = nf + 1
        p(nf) = k
      end if
    end do
    shape = fld(1)
    fmt = fld(2)
    n = nf - 2
    select case (shape)
    case ('*R')
      call reals(3, n)
      write (*, fmt) (rv(i), i=1, n)
    case ('*I')
      call ints(3, n)
      write (*, fmt) (iv(i), i=1, n)
    case ('*L')
      do i = 1, n
        lv(i) = fld(2 + i) == 'T'
      end do
      write (*, fmt) (lv(i), i=1, n)
    case ('*A')
      call texts(3, n, 1)
      write (*, fmt) (tv(i), i=1, n)
    case ('A*I')
      t1 = fld(3)
      call ints(4, n - 1)
      write (*, fmt) t1, (iv(i), i=1, n - 1)
    case ('A*R')
      t1 = fld(3)
      call reals(4, n - 1)
      write (*, fmt) t1, (rv(i), i=1, n - 1)
    case ('I*R')
      i1 = ival(3)
      call reals(4, n - 1)
      write (*, fmt) i1, (rv(i), i=1, n - 1)
    case ('AIA*I')
      t1 = fld(3)
      i1 = ival(4)
      t2 = fld(5)
      call ints(6, n - 3)
      write (*, fmt) t1, i1, t2, (iv(i), i=1, n - 3)
    case ('ARI')
      t1 = fld(3)
      r1 = rval(4)
      i1 = ival(5)
      write (*, fmt) t1, r1, i1
    case ('AIL')
      t1 = fld(3)
      i1 = ival(4)
      write (*, fmt) t1, i1, fld(5) == 'T'
    case ('*IA')
      call texts(4, n / 2, 2)
      do i = 1, n / 2
        iv(i) = ival(1 + 2 * i)
      end do
      write (*, fmt) (iv(i), tv(i), i=1, n / 2)
    case ('LIST')
      r1 = rval(3)
      write (*, *) r1
    end select
    write (*, '(a)') '@@END@@'
  end do

contains

  function fld(k) result(s)
    integer, intent(in) :: k
    character(len=:), allocatable :: s
    s = line(p(k - 1) + 1:p(k) - 1)
  end function

  function ival(k) result(v)
    integer, intent(in) :: k
    integer(8) :: v
    character(len=:), allocatable :: s
    s = fld(k)
    read (s, *) v
  end function

  function rval(k) result(v)
    integer, intent(in) :: k
    real(8) :: v
    integer(8) :: bits
    character(len=:), allocatable :: s
    s = fld(k)
    read (s, '(z16)') bits
    v = transfer(bits, 1d0)
  end function

  subroutine reals(first, m)
    integer, intent(in) :: first, m
    integer :: j
    do j = 1, m
      rv(j) = rval(first + j - 1)
    end do
  end subroutine

  subroutine ints(first, m)
    integer, intent(in) :: first, m
    integer :: j
    do j = 1, m
      iv(j) = ival(first + j - 1)
    end do
  end subroutine

  ! m texts at fields first, first+step, ...; all of the first one's length
  subroutine texts(first, m, step)
    integer, intent(in) :: first, m, step
    integer :: j, len1
    len1 = 0
    if (m > 0) len1 = len(fld(first))
    if (allocated(tv)) deallocate (tv)
    allocate (character(len=len1) :: tv(max(m, 1)))
    do j = 1, m
      tv(j) = fld(first + (j - 1) * step)
    end do
  end subroutine
end program
