// Byte-level reads of the MOLCAS binary files (OneInt, TraOne and the
// run-information file), opened as descriptors by the opening stage.  Every
// read is checked: a missing file, or one that ends before a position its
// layout names, stops the run naming the file instead of leaving zeros where
// integrals belong.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/run_state.hpp"

namespace ciprop {

// The files by their place in filc.  Place 2 holds ComFile for the old
// layouts and the RunFile, its successor, for current OpenMolcas.
inline constexpr int kOneInt = 1, kComFile = 2, kTraOne = 3;

// The file's base name as the run knows it ("RunFile" in place 2 for the
// current layout).
std::string_view molcas_file_name(const Run& run, int k);

// The file's base name and, when it was opened, its path: "TraOne 'path'".
std::string molcas_file(const Run& run, int k);

// Writes "ciprop: input/output error on the MOLCAS file <name> '<path>':
// <what>" on standard error and stops with the input/output status.
[[noreturn]] void molcas_fault(Run& run, int k, std::string_view what);

// A file that contradicts the run or another file: the message on standard
// output and, naming the file, on standard error; an error stop.
[[noreturn]] void molcas_refuse(Run& run, int k, std::string_view what);
// The same when the report already holds the lines of the stop: only the
// line that names the file, on standard error.
[[noreturn]] void molcas_stop(Run& run, int k, std::string_view what);

void need_file(Run& run, int k);
void seek(Run& run, int k, long offset);
void read_exact(Run& run, int k, void* data, long nbytes);
void read_at(Run& run, int k, long offset, void* data, long nbytes);
// The size of the file in bytes.
long file_size(Run& run, int k);
// Reads what is there, up to nbytes; the count read.
long read_some(Run& run, int k, long offset, void* data, long nbytes);

// Little-endian integers of four and eight bytes.
int32_t le32(const unsigned char* b);
int64_t le64(const unsigned char* b);
int32_t int_at(Run& run, int k, long offset);
int64_t int64_at(Run& run, int k, long offset);

}  // namespace ciprop
