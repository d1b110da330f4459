// Byte-level access to the MOLCAS binary files, which are read by absolute
// byte offset rather than as Fortran records.
#pragma once
#include <cstddef>

namespace ciprop {

// Opens the zero-terminated name for reading only; returns the descriptor or
// a negative value.  The MOLCAS files are inputs of another package and are
// never created or modified here.
int c_open(const char* name);
// Positions fd at an absolute byte offset; returns the new offset or -1.
long c_lseek(int fd, long offset);
// Reads up to nbytes bytes; returns the count read (0 at end, -1 on error).
long c_read(int fd, void* buffer, std::size_t nbytes);

}  // namespace ciprop
