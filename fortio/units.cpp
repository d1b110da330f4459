#include "fortio/units.hpp"

#include <fcntl.h>
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

// What a file that is not a regular file is, for the message refusing it.
const char* file_kind(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISFIFO(st.st_mode)) return "a FIFO (named pipe)";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  return "not a regular file";
}

bool same_file(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What a user can do when the working folder refuses a scratch file.
std::string folder_hint(int error) {
  if (error == EACCES || error == EPERM || error == EROFS)
    return "; the run writes its scratch files in the working folder, which must be writable";
  if (error == EEXIST) return "; another run is creating it in this folder";
  return "";
}

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
  std::string file = (unit >= 0 && unit < kMaxUnit) ? name(unit) : std::string();
  stop_io(*this, "input/output error on unit " + std::to_string(unit) + ", file '" + file +
                     "': " + std::string(what));
}

void Units::write_failed(int unit, int error) {
  io_error(unit, std::string("write failed: ") + std::strerror(error));
}

void Units::damaged_record(int unit, std::string_view what) {
  io_error(unit, "record " + std::to_string(units_[unit].records + 1) + " " + std::string(what));
}

Units::Unit& Units::get(int unit, std::string_view op) {
  if (unit < 0 || unit >= kMaxUnit)
    stop_io(*this, "input/output error: unit " + std::to_string(unit) + " out of range (" +
                       std::string(op) + ")");
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
  // An existing file opened as UNKNOWN is a file the caller writes again.
  if (status == Status::Unknown && exists)
    return attach(unit, name, std::fopen(name.c_str(), "r+b"), form);
  if (exists) return attach(unit, name, open_input(unit, name), form);
  return attach(unit, name, std::fopen(name.c_str(), "w+b"), form);
}

bool Units::try_open_readonly(int unit, std::string_view name_in, Form form) {
  const std::string name = trimmed(name_in);
  if (!free_unit(unit) || name.empty()) return false;
  return attach(unit, name, open_input(unit, name), form);
}

// An input is opened without waiting: a FIFO with no writer would block the
// open for ever, and a device or a folder has no records to read.  Only a
// regular file is taken, and never one of the run's own scratch files under
// another name (a link to it), which holds this run's data, not the input.
std::FILE* Units::open_input(int unit, const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    units_[unit].name = name;
    io_error(unit, std::string("it is ") + file_kind(st) +
                       ", not a regular file; name the file that holds the data");
  }
  for (const Unit& u : units_) {
    struct stat su {};
    if (u.f && u.scratch && u.name != name && ::fstat(fileno(u.f), &su) == 0 &&
        same_file(st, su)) {
      ::close(fd);
      units_[unit].name = name;
      io_error(unit, "it is the scratch file " + u.name +
                         " that this run writes (a link to it); give the input a name of its own");
    }
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) ::close(fd);
  return f;
}

void Units::open_scratch(int unit, std::string_view name_in, Form form) {
  const std::string name = trimmed(name_in);
  if (!free_unit(unit) || name.empty()) io_error(unit, "cannot open a scratch file here");
  units_[unit].name = name;
  struct stat st {};
  if (::lstat(name.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode))
      io_error(unit, "a folder has the name of this scratch file; remove or rename it");
    // Removing the name of an open input would take the input away.
    for (int other = 0; other < kMaxUnit; ++other) {
      struct stat so {};
      const Unit& u = units_[other];
      if (u.f && ::fstat(fileno(u.f), &so) == 0 && same_file(st, so))
        io_error(unit, "it is the input file '" + u.name + "' open on unit " +
                           std::to_string(other) + "; give that input a name of its own");
    }
    if (::unlink(name.c_str()) != 0 && errno != ENOENT) {
      const int error = errno;
      io_error(unit, std::string("cannot remove the scratch file of an earlier run: ") +
                         std::strerror(error) + folder_hint(error));
    }
  }
  const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    io_error(unit, std::string("cannot create the scratch file: ") + std::strerror(error) +
                       folder_hint(error));
  }
  std::FILE* f = ::fdopen(fd, "w+b");
  if (!f) {
    ::close(fd);
    io_error(unit, "cannot create the scratch file");
  }
  attach(unit, name, f, form);
  units_[unit].scratch = true;
}

bool Units::scratch_locked(std::string_view name_in) const {
  const std::string name = trimmed(name_in);
  const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return locked;
}

void Units::describe(int unit, std::string shown) { get(unit, "describe").shown = std::move(shown); }

void Units::move(int from, int to) {
  Unit& u = get(from, "move");
  if (std::fflush(u.f) != 0) write_failed(from, errno);
  std::rewind(u.f);
  if (!free_unit(to)) io_error(to, "cannot take another unit's file");
  units_[to] = std::move(u);
  units_[from] = Unit{};
  units_[to].may_have_tail = true;
  units_[to].last_write = false;
  units_[to].records = 0;
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
  u.scratch = false;
  u.records = 0;
  u.shown.clear();
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
  const int error = errno;
  u.f = nullptr;
  u.buffer.reset();
  u.shown.clear();
  if (delete_file) {
    std::remove(u.name.c_str());
    return;
  }
  if (failed) io_error(unit, std::string("close failed: ") + std::strerror(error));
}

bool Units::try_lock(int unit) {
  Unit& u = get(unit, "lock");
  return ::flock(fileno(u.f), LOCK_EX | LOCK_NB) == 0;
}

void Units::rewind(int unit) {
  if (unit == kStdout || unit == kStdin) return;
  Unit& u = get(unit, "rewind");
  // Data written and still buffered goes to the file here: a disk that is
  // full fails now, at the file that was written.
  if (std::fflush(u.f) != 0) write_failed(unit, errno);
  std::fseek(u.f, 0, SEEK_SET);
  std::clearerr(u.f);
  u.may_have_tail = true;
  u.last_write = false;
  u.records = 0;
}

void Units::flush(int unit) {
  if (unit == kStdout) {
    if (!out_.flush())
      io_error(unit, std::string("write to standard output failed: ") + std::strerror(errno));
    return;
  }
  if (unit >= 0 && unit < kMaxUnit && units_[unit].f && std::fflush(units_[unit].f) != 0)
    write_failed(unit, errno);
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

const std::string& Units::name(int unit) const {
  const Unit& u = units_[unit];
  return u.shown.empty() ? u.name : u.shown;
}

long long Units::record(int unit) const {
  return unit >= 0 && unit < kMaxUnit ? units_[unit].records : 0;
}

// Switching between reading and writing on one stream needs a positioning
// call in between.  A write in the middle of a sequential file makes the
// written record the last one, as Fortran does, so the tail is cut first.
void Units::before_read(Unit& u) {
  if (u.last_write) {
    // The seek writes out what is buffered; a full disk fails here.
    if (std::fseek(u.f, 0, SEEK_CUR) != 0) write_failed(static_cast<int>(&u - units_), errno);
    u.last_write = false;
  }
}

void Units::before_write(Unit& u) {
  if (!u.last_write && std::fseek(u.f, 0, SEEK_CUR) != 0)
    io_error(static_cast<int>(&u - units_), std::string("cannot position: ") + std::strerror(errno));
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
  const std::string too_long =
      "line " + std::to_string(unit >= 0 && unit < kMaxUnit ? units_[unit].records + 1 : 0) +
      " is longer than " + std::to_string(kMaxLine) + " characters: not a text file";
  if (unit == kStdin) {
    bool any = false;
    for (int c; (c = in_.get()) != std::char_traits<char>::eof();) {
      any = true;
      if (c == '\n') break;
      if (line.size() == kMaxLine) io_error(unit, too_long);
      line.push_back(static_cast<char>(c));
    }
    // A folder or a closed descriptor as standard input reads as an error,
    // never as an empty input.
    if (in_.bad())
      stop_io(*this, std::string("standard input cannot be read (") + std::strerror(errno) +
                         "); give the run's namelist groups on standard input, as in: "
                         "ciprop < input");
    if (!any) return false;
    ++units_[kStdin].records;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  Unit& u = get(unit, "read");
  before_read(u);
  int c;
  bool any = false;
  while ((c = std::fgetc(u.f)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() == kMaxLine) io_error(unit, too_long);
    line.push_back(static_cast<char>(c));
  }
  if (std::ferror(u.f)) io_error(unit, std::string("read failed: ") + std::strerror(errno));
  if (any) ++u.records;
  return any;
}

bool Units::read_card(int unit, std::string& card, int width) {
  if (!read_line(unit, card)) return false;
  card.resize(static_cast<size_t>(width), ' ');
  return true;
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
    write_failed(unit, errno);
  ++u.records;
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
  if (!ok) write_failed(unit, errno);
  ++u.records;
}

namespace {

// How a record's frame was found.
enum class Frame { kWhole, kEnd, kCutHead, kCutPayload, kCutTail, kTailDiffers };

// Reads the 4-byte head of a record; kEnd at a clean end of file.
Frame read_head(std::FILE* f, uint32_t* n) {
  unsigned char b[4];
  const size_t got = std::fread(b, 1, 4, f);
  if (got == 0) return Frame::kEnd;
  if (got != 4) return Frame::kCutHead;
  *n = get_le32(b);
  return Frame::kWhole;
}

Frame read_tail(std::FILE* f, uint32_t n, uint32_t* tail) {
  unsigned char b[4];
  if (std::fread(b, 1, 4, f) != 4) return Frame::kCutTail;
  *tail = get_le32(b);
  return *tail == n ? Frame::kWhole : Frame::kTailDiffers;
}

// The words for a record that is not whole: a sequential file cut short or
// overwritten, never a clean end of the data.
std::string frame_words(Frame f, uint32_t n, uint32_t tail) {
  switch (f) {
    case Frame::kCutHead: return "is cut inside its leading length";
    case Frame::kCutPayload:
      return "is cut: its length says " + std::to_string(n) + " bytes, the file ends before";
    case Frame::kCutTail: return "is cut before its trailing length";
    case Frame::kTailDiffers:
      return "is damaged: its trailing length " + std::to_string(tail) +
             " differs from its leading length " + std::to_string(n);
    case Frame::kWhole:
    case Frame::kEnd: break;
  }
  return {};
}

}  // namespace

void Units::read_record(int unit, void* data, std::size_t nbytes) {
  Unit& u = get(unit, "read");
  before_read(u);
  uint32_t n = 0, tail = 0;
  Frame f = read_head(u.f, &n);
  if (f == Frame::kEnd) damaged_record(unit, "is missing: end of file");
  if (f == Frame::kWhole && n < nbytes)
    damaged_record(unit, "holds " + std::to_string(n) + " bytes, " + std::to_string(nbytes) +
                             " expected");
  if (f == Frame::kWhole && nbytes > 0 && std::fread(data, 1, nbytes, u.f) != nbytes)
    f = Frame::kCutPayload;
  if (f == Frame::kWhole && n > nbytes && std::fseek(u.f, static_cast<long>(n - nbytes), SEEK_CUR) != 0)
    f = Frame::kCutPayload;
  if (f == Frame::kWhole) f = read_tail(u.f, n, &tail);
  if (f != Frame::kWhole) damaged_record(unit, frame_words(f, n, tail));
  ++u.records;
}

Units::RecordRead Units::read_record_or_end(int unit, void* data, std::size_t cap,
                                            std::size_t* len) {
  return next_record(unit, data, cap, len);
}

// One record taken as it is framed: its payload read into data, or passed
// over when data is null.  A damaged frame is kept in words for the error
// that names the record.
Units::RecordRead Units::next_record(int unit, void* data, std::size_t cap, std::size_t* len) {
  Unit& u = get(unit, "read");
  before_read(u);
  uint32_t n = 0, tail = 0;
  Frame f = read_head(u.f, &n);
  if (f == Frame::kEnd) return RecordRead::kEnd;
  if (f == Frame::kWhole && n > cap) return RecordRead::kTooLong;
  if (f == Frame::kWhole && n > 0) {
    const bool taken = data ? std::fread(data, 1, n, u.f) == n
                            : std::fseek(u.f, static_cast<long>(n), SEEK_CUR) == 0;
    if (!taken) f = Frame::kCutPayload;
  }
  if (f == Frame::kWhole) f = read_tail(u.f, n, &tail);
  ++u.records;
  if (f != Frame::kWhole) {
    u.damage = "record " + std::to_string(u.records) + " " + frame_words(f, n, tail);
    return RecordRead::kDamaged;
  }
  *len = n;
  return RecordRead::kRead;
}

const std::string& Units::damage(int unit) const { return units_[unit].damage; }

bool Units::try_read_record(int unit, void* data, std::size_t cap, std::size_t* len) {
  const RecordRead r = read_record_or_end(unit, data, cap, len);
  if (r == RecordRead::kTooLong) io_error(unit, kRecordTooLong);
  if (r == RecordRead::kDamaged) io_error(unit, damage(unit));
  return r == RecordRead::kRead;
}

void Units::skip_record(int unit) {
  std::size_t len = 0;
  const RecordRead r = skip_record_or_end(unit, &len);
  if (r == RecordRead::kEnd) damaged_record(unit, "is missing: end of file");
  if (r == RecordRead::kDamaged) io_error(unit, damage(unit));
}

Units::RecordRead Units::skip_record_or_end(int unit, std::size_t* len) {
  return next_record(unit, nullptr, SIZE_MAX, len);
}

}  // namespace fio
