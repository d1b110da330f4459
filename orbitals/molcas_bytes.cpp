#include "orbitals/molcas_bytes.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>

#include "core/unit_numbers.hpp"
#include "fortio/stop.hpp"
#include "input/byte_files.hpp"

namespace ciprop {

std::string_view molcas_file_name(const Run& run, int k) {
  if (k == kOneInt) return "OneInt";
  if (k == kTraOne) return "TraOne";
  return run.hacer.molcas == 22 ? "RunFile" : "ComFile";
}

std::string molcas_file(const Run& run, int k) {
  std::string file(molcas_file_name(run, k));
  const std::string& name = run.filcnom(k);
  if (!name.empty()) file += " '" + name + "'";
  return file;
}

void molcas_fault(Run& run, int k, std::string_view what) {
  fio::stop_io(run.io, "input/output error on the MOLCAS file " + molcas_file(run, k) + ": " +
                           std::string(what));
}

void molcas_refuse(Run& run, int k, std::string_view what) {
  run.io.list(kUnitReport, {molcas_file(run, k) + ": " + std::string(what)});
  molcas_stop(run, k, what);
}

void molcas_stop(Run& run, int k, std::string_view what) {
  fio::stop_error(run.io, "MOLCAS file " + molcas_file(run, k) + ": " + std::string(what));
}

void need_file(Run& run, int k) {
  if (run.filc(k) < 0) molcas_fault(run, k, "file not found");
}

void seek(Run& run, int k, long offset) {
  if (c_lseek(run.filc(k), offset) != offset)
    molcas_fault(run, k, "cannot position at byte " + std::to_string(offset));
}

void read_exact(Run& run, int k, void* data, long nbytes) {
  if (c_read(run.filc(k), data, static_cast<size_t>(nbytes)) != nbytes)
    molcas_fault(run, k, "file too short or unreadable");
}

void read_at(Run& run, int k, long offset, void* data, long nbytes) {
  seek(run, k, offset);
  read_exact(run, k, data, nbytes);
}

long file_size(Run& run, int k) {
  struct stat st;
  if (::fstat(run.filc(k), &st) != 0)
    molcas_fault(run, k, std::string("cannot be read: ") + std::strerror(errno));
  return static_cast<long>(st.st_size);
}

long read_some(Run& run, int k, long offset, void* data, long nbytes) {
  seek(run, k, offset);
  const long got = c_read(run.filc(k), data, static_cast<size_t>(nbytes));
  if (got < 0) molcas_fault(run, k, std::string("cannot be read: ") + std::strerror(errno));
  return got;
}

int32_t le32(const unsigned char* b) {
  return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 |
                              uint32_t(b[3]) << 24);
}

int64_t le64(const unsigned char* b) {
  uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = v << 8 | b[k];
  return static_cast<int64_t>(v);
}

int32_t int_at(Run& run, int k, long offset) {
  unsigned char b[4];
  read_at(run, k, offset, b, 4);
  return le32(b);
}

int64_t int64_at(Run& run, int k, long offset) {
  unsigned char b[8];
  read_at(run, k, offset, b, 8);
  return le64(b);
}

}  // namespace ciprop
