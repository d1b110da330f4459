#include "fortio/units.hpp"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <ostream>

#include "fortio/bytes.hpp"
#include "fortio/format.hpp"
#include "fortio/stop.hpp"

namespace fio {

namespace {

constexpr int kStdin = 5;
constexpr int kStdout = 6;

// No text file this program reads has lines anywhere near this long; a
// formatted unit that gives more without a line end is a device or a binary
// file, and reading on would grow one line without bound.
constexpr std::size_t kMaxLine = 65536;

// The stream buffer of an unformatted unit.  Determinant lists come as
// records of about a kilobyte, read and written by the ten thousand; with the
// default buffer of one disk block each few records cost a system call.
constexpr std::size_t kUnformattedBuffer = std::size_t(1) << 18;

bool file_exists(const std::string& name) { return ::access(name.c_str(), F_OK) == 0; }

std::string trimmed(std::string_view name) {
  size_t n = name.size();
  while (n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\0')) --n;
  return std::string(name.substr(0, n));
}

}  // namespace

Units::Units(std::ostream& out, std::istream& in, std::ostream& err)
    : out_(out), in_(in), err_(err) {
  units_[kStdout].name = "stdout";
  units_[kStdin].name = "stdin";
}

Units::~Units() {
  for (Unit& u : units_)
    if (u.f) std::fclose(u.f);
}

void Units::io_error(int unit, std::string_view what) {
  flush_all();
  std::string file = (unit >= 0 && unit < kMaxUnit) ? units_[unit].name : std::string();
  err_ << "ciprop: input/output error on unit " << unit << ", file '" << file << "': " << what
       << std::endl;
  throw StopRun{kStatusIoError, ""};
}

Units::Unit& Units::get(int unit, std::string_view op) {
  if (unit < 0 || unit >= kMaxUnit) {
    flush_all();
    err_ << "ciprop: input/output error: unit " << unit << " out of range (" << op << ")"
         << std::endl;
    throw StopRun{kStatusIoError, ""};
  }
  Unit& u = units_[unit];
  if (!u.f) io_error(unit, std::string(op) + " on a unit that is not open");
  return u;
}

bool Units::try_open(int unit, std::string_view name_in, Status status, Form form) {
  const std::string name = trimmed(name_in);
  if (!free_unit(unit) || name.empty()) return false;
  const bool exists = file_exists(name);
  if (status == Status::Old && !exists) return false;
  if (status == Status::New && exists) return false;
  std::FILE* f = std::fopen(name.c_str(), exists ? "r+b" : "w+b");
  if (!f && exists) f = std::fopen(name.c_str(), "rb");  // read-only input
  return attach(unit, name, f, form);
}

bool Units::try_open_readonly(int unit, std::string_view name_in, Form form) {
  const std::string name = trimmed(name_in);
  if (!free_unit(unit) || name.empty()) return false;
  return attach(unit, name, std::fopen(name.c_str(), "rb"), form);
}

// A unit that may be opened: in range, not standard input or output; a unit
// still open on another file is closed first, as an OPEN statement does.
bool Units::free_unit(int unit) {
  if (unit < 0 || unit >= kMaxUnit || unit == kStdin || unit == kStdout) return false;
  if (units_[unit].f) close(unit);
  return true;
}

bool Units::attach(int unit, const std::string& name, std::FILE* f, Form form) {
  if (!f) return false;
  Unit& u = units_[unit];
  u.f = f;
  if (form == Form::Unformatted) {
    u.buffer = std::make_unique_for_overwrite<char[]>(kUnformattedBuffer);
    std::setvbuf(f, u.buffer.get(), _IOFBF, kUnformattedBuffer);
  }
  u.name = name;
  u.form = form;
  u.may_have_tail = true;
  u.last_write = false;
  return true;
}

void Units::open(int unit, std::string_view name, Status status, Form form) {
  if (try_open(unit, name, status, form)) return;
  if (unit >= 0 && unit < kMaxUnit) units_[unit].name = trimmed(name);
  const char* why = status == Status::Old   ? "cannot open (file missing or unreadable)"
                    : status == Status::New ? "cannot open (file exists)"
                                            : "cannot open";
  io_error(unit, why);
}

void Units::close(int unit, bool delete_file) {
  if (unit < 0 || unit >= kMaxUnit) return;
  Unit& u = units_[unit];
  if (!u.f) return;
  // Data still buffered is lost when the close fails (a full disk): that is
  // an error, unless the file is thrown away anyway.
  const bool failed = std::fclose(u.f) != 0;
  u.f = nullptr;
  u.buffer.reset();
  if (delete_file) {
    std::remove(u.name.c_str());
    return;
  }
  if (failed) io_error(unit, std::string("close failed: ") + std::strerror(errno));
}

bool Units::try_lock(int unit) {
  Unit& u = get(unit, "lock");
  return ::flock(fileno(u.f), LOCK_EX | LOCK_NB) == 0;
}

void Units::rewind(int unit) {
  if (unit == kStdout || unit == kStdin) return;
  Unit& u = get(unit, "rewind");
  std::fflush(u.f);
  std::fseek(u.f, 0, SEEK_SET);
  std::clearerr(u.f);
  u.may_have_tail = true;
  u.last_write = false;
}

void Units::flush(int unit) {
  if (unit == kStdout) {
    if (!out_.flush()) io_error(unit, "write to standard output failed");
    return;
  }
  if (unit >= 0 && unit < kMaxUnit && units_[unit].f && std::fflush(units_[unit].f) != 0)
    io_error(unit, std::string("flush failed: ") + std::strerror(errno));
}

void Units::flush_all() {
  out_.flush();
  for (Unit& u : units_)
    if (u.f) std::fflush(u.f);
}

void Units::close_all() {
  flush(kStdout);
  for (int unit = 0; unit < kMaxUnit; ++unit) close(unit);
}

bool Units::is_open(int unit) const {
  if (unit == kStdout || unit == kStdin) return true;
  return unit >= 0 && unit < kMaxUnit && units_[unit].f != nullptr;
}

const std::string& Units::name(int unit) const { return units_[unit].name; }

// Switching between reading and writing on one stream needs a positioning
// call in between.  A write in the middle of a sequential file makes the
// written record the last one, as Fortran does, so the tail is cut first.
void Units::before_read(Unit& u) {
  if (u.last_write) {
    std::fseek(u.f, 0, SEEK_CUR);
    u.last_write = false;
  }
}

void Units::before_write(Unit& u) {
  if (!u.last_write) std::fseek(u.f, 0, SEEK_CUR);
  if (u.may_have_tail) {
    std::fflush(u.f);
    long pos = std::ftell(u.f);
    // Only a tail that is there is cut.  Cutting an empty file to length 0
    // is not harmless on ext4: it marks the file for a flush to disk on
    // close, which made closing a fresh "ORDET" of 56 MB wait 26 ms.
    struct stat st {};
    if (pos >= 0 && ::fstat(fileno(u.f), &st) == 0 && st.st_size > pos &&
        ::ftruncate(fileno(u.f), pos) != 0 && errno != EINVAL) {
      // Read-only inputs cannot be written at all; the write below fails.
    }
    u.may_have_tail = false;
  }
  u.last_write = true;
}

bool Units::read_line(int unit, std::string& line) {
  line.clear();
  if (unit == kStdin) {
    bool any = false;
    for (int c; (c = in_.get()) != std::char_traits<char>::eof();) {
      any = true;
      if (c == '\n') break;
      if (line.size() == kMaxLine)
        io_error(unit, "a line longer than " + std::to_string(kMaxLine) +
                           " characters: not a text file");
      line.push_back(static_cast<char>(c));
    }
    if (!any) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  Unit& u = get(unit, "read");
  before_read(u);
  int c;
  bool any = false;
  while ((c = std::fgetc(u.f)) != EOF) {
    any = true;
    if (c == '\n') return true;
    if (line.size() == kMaxLine)
      io_error(unit, "a line longer than " + std::to_string(kMaxLine) +
                         " characters: not a text file");
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(u.f)) return false;
  return any;
}

bool Units::read_card(int unit, std::string& card, int width) {
  if (!read_line(unit, card)) return false;
  card.resize(static_cast<size_t>(width), ' ');
  return true;
}

void Units::read_card_required(int unit, std::string& card, int width) {
  if (!read_card(unit, card, width)) io_error(unit, "end of file");
}

void Units::write_line(int unit, std::string_view record) {
  if (unit == kStdout) {
    out_ << record << '\n';
    if (record.find_first_not_of(' ') != std::string_view::npos) last_out_.assign(record);
    return;
  }
  Unit& u = get(unit, "write");
  before_write(u);
  if (std::fwrite(record.data(), 1, record.size(), u.f) != record.size() ||
      std::fputc('\n', u.f) == EOF)
    io_error(unit, "write failed");
}

void Units::emit(int unit, const std::vector<std::string>& records) {
  for (const std::string& r : records) write_line(unit, r);
}

void Units::write(int unit, std::string_view fmt, const Items& items) {
  scratch_.clear();
  format_records(fmt, items, scratch_);
  emit(unit, scratch_);
}

void Units::list(int unit, const Items& items) {
  scratch_.clear();
  listed_records(items, scratch_);
  emit(unit, scratch_);
}

void Units::write_record(int unit, const void* data, std::size_t nbytes) {
  write_record(unit, {Piece{data, nbytes}});
}

void Units::write_record(int unit, std::initializer_list<Piece> pieces) {
  Unit& u = get(unit, "write");
  before_write(u);
  std::size_t total = 0;
  for (const Piece& p : pieces) total += p.nbytes;
  if (total > 0x7fffffffu) io_error(unit, "record too long");
  unsigned char len[4];
  put_le32(len, static_cast<uint32_t>(total));
  bool ok = std::fwrite(len, 1, 4, u.f) == 4;
  for (const Piece& p : pieces)
    ok = ok && (p.nbytes == 0 || std::fwrite(p.data, 1, p.nbytes, u.f) == p.nbytes);
  ok = ok && std::fwrite(len, 1, 4, u.f) == 4;
  if (!ok) io_error(unit, "write failed");
}

namespace {

// Reads the 4-byte head of a record; false at a clean end of file.
bool read_head(std::FILE* f, uint32_t* n, bool* damaged) {
  unsigned char b[4];
  size_t got = std::fread(b, 1, 4, f);
  *damaged = got != 0 && got != 4;
  if (got != 4) return false;
  *n = get_le32(b);
  return true;
}

bool read_tail(std::FILE* f, uint32_t n) {
  unsigned char b[4];
  return std::fread(b, 1, 4, f) == 4 && get_le32(b) == n;
}

}  // namespace

void Units::read_record(int unit, void* data, std::size_t nbytes) {
  Unit& u = get(unit, "read");
  before_read(u);
  uint32_t n = 0;
  bool damaged = false;
  if (!read_head(u.f, &n, &damaged)) io_error(unit, damaged ? "damaged record" : "end of file");
  if (n < nbytes) io_error(unit, "record shorter than the data asked for");
  if (nbytes > 0 && std::fread(data, 1, nbytes, u.f) != nbytes) io_error(unit, "end of file");
  if (n > nbytes && std::fseek(u.f, static_cast<long>(n - nbytes), SEEK_CUR) != 0)
    io_error(unit, "end of file");
  if (!read_tail(u.f, n)) io_error(unit, "damaged record");
}

Units::RecordRead Units::read_record_or_end(int unit, void* data, std::size_t cap,
                                            std::size_t* len) {
  Unit& u = get(unit, "read");
  before_read(u);
  uint32_t n = 0;
  bool damaged = false;
  if (!read_head(u.f, &n, &damaged)) return RecordRead::kEnd;
  if (n > cap) return RecordRead::kTooLong;
  if (n > 0 && std::fread(data, 1, n, u.f) != n) return RecordRead::kEnd;
  if (!read_tail(u.f, n)) return RecordRead::kEnd;
  *len = n;
  return RecordRead::kRead;
}

bool Units::try_read_record(int unit, void* data, std::size_t cap, std::size_t* len) {
  const RecordRead r = read_record_or_end(unit, data, cap, len);
  if (r == RecordRead::kTooLong) io_error(unit, kRecordTooLong);
  return r == RecordRead::kRead;
}

void Units::skip_record(int unit) {
  std::size_t len = 0;
  const RecordRead r = skip_record_or_end(unit, &len);
  if (r != RecordRead::kRead) io_error(unit, r == RecordRead::kEnd ? "end of file" : "damaged record");
}

Units::RecordRead Units::skip_record_or_end(int unit, std::size_t* len) {
  Unit& u = get(unit, "read");
  before_read(u);
  uint32_t n = 0;
  bool damaged = false;
  if (!read_head(u.f, &n, &damaged)) return damaged ? RecordRead::kDamaged : RecordRead::kEnd;
  if (std::fseek(u.f, static_cast<long>(n), SEEK_CUR) != 0 || !read_tail(u.f, n))
    return RecordRead::kDamaged;
  *len = n;
  return RecordRead::kRead;
}

}  // namespace fio
