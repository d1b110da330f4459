// Fortran-style units: a table from unit number to an open sequential file.
// Unit 6 is standard output and unit 5 standard input.  Formatted units hold
// text records (lines); unformatted units hold records framed by a 4-byte
// little-endian length before and after the payload.  Every failing open,
// read or write of a required file ends the run with a message on standard
// error that names the unit and the file (non-zero exit status).
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fortio/items.hpp"

namespace fio {

enum class Status { Old, Unknown, New };
enum class Form { Formatted, Unformatted };

class Units {
 public:
  static constexpr int kMaxUnit = 100;

  // out and in stand for units 6 and 5; err receives input/output error
  // messages and stop texts.
  Units(std::ostream& out, std::istream& in, std::ostream& err);
  ~Units();
  Units(const Units&) = delete;
  Units& operator=(const Units&) = delete;

  // Opening and closing.  open() stops the run when the file cannot be
  // opened; try_open() returns false instead.  Status Old needs an existing
  // file, New a missing one, Unknown creates the file when it is missing.
  // A file opened OLD is an input: it is opened for reading only, and one
  // that is not a regular file (a FIFO, a folder, a device), or that is one
  // of the scratch files open, stops the run naming it -- it is never waited
  // on, read as text or read back as the run's own scratch.
  void open(int unit, std::string_view name, Status status, Form form);
  bool try_open(int unit, std::string_view name, Status status, Form form);
  // Opens an existing file for reading only (inputs that must never be
  // created or modified), with the checks above.
  bool try_open_readonly(int unit, std::string_view name, Form form);
  // A scratch file of the run in the working folder: the name is removed
  // (a link, or a file an earlier run left) and the file created anew,
  // without following a link, so that nothing is ever written through a
  // link.  A name that is a folder, or the file of an input open on another
  // unit, stops the run instead; so does a folder the run may not write in.
  void open_scratch(int unit, std::string_view name, Form form);
  // Whether the scratch file `name` is locked by another process (another
  // run in this folder).  Opens it for reading without following a link.
  bool scratch_locked(std::string_view name) const;
  // Moves the open file of unit `from` to unit `to`, rewound: a scratch file
  // written on one unit and read on another keeps its descriptor, never
  // looked up again by name.
  void move(int from, int to);
  // The name that messages about the unit's file use from now on (name()
  // returns it); the file itself keeps its name.
  void describe(int unit, std::string shown);
  void close(int unit, bool delete_file = false);
  // Takes an exclusive lock on the open file of `unit` without waiting;
  // false when another process holds it.  Released when the unit closes.
  bool try_lock(int unit);
  void rewind(int unit);
  // flush() and close() stop the run when buffered data cannot be written;
  // flush_all() is the quiet flush of the error paths.
  void flush(int unit);
  void flush_all();
  // The end of a finished run: standard output flushed and every unit
  // closed, each failure an input/output error.
  void close_all();
  bool is_open(int unit) const;
  const std::string& name(int unit) const;
  // Records read or written on the unit since it was opened or rewound:
  // the number of the last record met (its line, on a formatted unit).
  long long record(int unit) const;

  // Formatted records.  read_line returns the record without its newline,
  // read_card the record as a card of `width` columns ("(A80)": a longer
  // record is cut, a shorter one padded with blanks).  Both return false at
  // end of file.
  bool read_line(int unit, std::string& line);
  bool read_card(int unit, std::string& card, int width = 80);
  void write_line(int unit, std::string_view record);
  // Formatted write under a FORMAT, and list-directed write.
  void write(int unit, std::string_view fmt, const Items& items);
  void list(int unit, const Items& items);

  // Unformatted sequential records.
  void write_record(int unit, const void* data, std::size_t nbytes);
  // One record made of several pieces, written in order.
  struct Piece {
    const void* data;
    std::size_t nbytes;
  };
  void write_record(int unit, std::initializer_list<Piece> pieces);
  // Reads the next record and copies its first nbytes into data; the rest of
  // a longer record is skipped.  A missing or shorter record is an
  // input/output error.
  void read_record(int unit, void* data, std::size_t nbytes);
  // Reads the next record whole into data (capacity `cap` bytes) and returns
  // its length in *len; returns false at end of file.  A damaged record (cut
  // inside, or with a trailing length that differs from the leading one) or
  // one longer than cap is an input/output error naming the record.
  bool try_read_record(int unit, void* data, std::size_t cap, std::size_t* len);
  // The same, leaving a record longer than cap, or a damaged one, to the
  // caller, who raises it when its turn comes (a list read ahead of the
  // determinants it is checking): io_error with kRecordTooLong, or with
  // damage(unit), the words for the damaged record.
  enum class RecordRead { kRead, kEnd, kTooLong, kDamaged };
  RecordRead read_record_or_end(int unit, void* data, std::size_t cap, std::size_t* len);
  const std::string& damage(int unit) const;
  static constexpr std::string_view kRecordTooLong = "record longer than the buffer that receives it";
  // Skips the next record; a missing record is an input/output error.
  void skip_record(int unit);
  // Skips the next record and gives its length: kRead, kEnd at a clean end
  // of file, kDamaged for a record cut short or whose trailing length
  // differs from its leading one (the caller names the record).
  RecordRead skip_record_or_end(int unit, std::size_t* len);

  // Stops the run: "input/output error on unit N, file 'NAME': what".
  [[noreturn]] void io_error(int unit, std::string_view what);

  std::ostream& out() { return out_; }
  std::ostream& err() { return err_; }
  // Whether standard error is a terminal, where progress may be shown.
  void set_err_is_terminal(bool terminal) { err_is_terminal_ = terminal; }
  bool err_is_terminal() const { return err_is_terminal_; }
  // The last line of standard output that is not blank: the message of a
  // stop that printed its reason there.
  const std::string& last_out() const { return last_out_; }

 private:
  // read_record_or_end and skip_record_or_end: the payload read, or passed
  // over when data is null.
  RecordRead next_record(int unit, void* data, std::size_t cap, std::size_t* len);
  struct Unit {
    std::FILE* f = nullptr;
    std::string name;
    Form form = Form::Formatted;
    bool may_have_tail = false;  // a write must first cut the file here
    bool last_write = false;     // last operation was a write
    bool scratch = false;        // created by open_scratch
    long long records = 0;       // records met since the start of the file
    std::string damage;          // what was wrong with the last damaged record
    std::string shown;           // the name messages use, when not the file's
    std::unique_ptr<char[]> buffer;  // the stream's buffer, unformatted units
  };
  Unit& get(int unit, std::string_view op);
  bool free_unit(int unit);
  bool attach(int unit, const std::string& name, std::FILE* f, Form form);
  std::FILE* open_input(int unit, const std::string& name);
  [[noreturn]] void write_failed(int unit, int error);
  [[noreturn]] void damaged_record(int unit, std::string_view what);
  void before_read(Unit& u);
  void before_write(Unit& u);
  void emit(int unit, const std::vector<std::string>& records);

  std::ostream& out_;
  std::istream& in_;
  std::ostream& err_;
  Unit units_[kMaxUnit];
  std::vector<std::string> scratch_;
  bool err_is_terminal_ = false;
  std::string last_out_;
};

}  // namespace fio
