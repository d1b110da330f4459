#include "mutation.hpp"

#include <cstdint>
#include <cstring>
#include <set>
#include <stdexcept>

#include "text_mutations.hpp"
#include "tools/mkcase/openmolcas.hpp"

namespace fuzz {

const char* kind_name(Kind k) {
  switch (k) {
    case Kind::Truncate: return "truncate";
    case Kind::Count: return "count";
    case Kind::Offset: return "offset";
    case Kind::Index: return "index";
    case Kind::Length: return "length";
    case Kind::Label: return "label";
    case Kind::NonFinite: return "nan/inf";
    case Kind::Unused: return "unused bytes";
    case Kind::Append: return "append";
    case Kind::TextValue: return "text value";
    case Kind::TextSyntax: return "text syntax";
    case Kind::TextLine: return "text line";
    case Kind::Device: return "device name";
    case Kind::Remove: return "missing file";
    case Kind::ScratchName: return "scratch name";
    case Kind::DiskFull: return "disk full";
    case Kind::RecordType: return "record type";
    case Kind::Records: return "records";
    case Kind::ScratchLink: return "scratch link";
    case Kind::NonRegular: return "non-regular";
    case Kind::Stdin: return "standard input";
  }
  return "?";
}

std::string trunc_recipe(std::size_t n) { return "trunc@" + std::to_string(n); }

std::string splice_recipe(std::size_t off, std::size_t len, const std::string& bytes) {
  static const char* hex = "0123456789abcdef";
  std::string s = "splice@" + std::to_string(off) + "+" + std::to_string(len) + ":";
  for (unsigned char c : bytes) {
    s += hex[c >> 4];
    s += hex[c & 15];
  }
  return s;
}

namespace {

// The run-input keys that name each input file.
const std::map<std::string, std::string> kNameKey = {
    {"vrt", "VRT1"},       {"Info", "INFO1"},       {"deta", "DETA1"},
    {"detb", "DETB1"},     {"daveca", "DAVECA1"},   {"davecb", "DAVECB1"},
    {"INPORB", "ORB1"},    {"OneInt", "ONEINT1"},   {"TraOne", "TRAONE1"},
    {"ComFile", "COMFILE1"}, {"RunFile", "COMFILE1"}};

// The scratch files the program writes in its folder.
const char* const kScratch[] = {"ORDET", "IADRV", "BID75", "BID84", "BID93", "Mattemp"};

std::size_t number(const std::string& s, std::size_t& pos) {
  std::size_t end = pos;
  while (end < s.size() && s[end] >= '0' && s[end] <= '9') ++end;
  if (end == pos) throw std::invalid_argument("mutation: number expected in '" + s + "'");
  std::size_t v = std::stoull(s.substr(pos, end - pos));
  pos = end;
  return v;
}

std::string unhex(const std::string& h) {
  if (h.size() % 2) throw std::invalid_argument("mutation: odd hex string");
  std::string out;
  for (std::size_t i = 0; i < h.size(); i += 2)
    out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

// Adds KEY='value', to the first group of the run input, the file names.
std::string with_file_name(const std::string& input, const std::string& key,
                           const std::string& value) {
  std::size_t at = input.find("&ROFIL");
  if (at == std::string::npos) throw std::invalid_argument("mutation: input has no &ROFIL");
  std::string out = input;
  out.insert(at + 6, " " + key + "='" + value + "',");
  return out;
}

}  // namespace

// The copy of standard input that a finished run leaves in the folder, as
// the card reader reads it: lines cut or padded to 80 columns.
std::string input_copy(const std::string& input) {
  std::string copy;
  for (std::size_t at = 0; at < input.size();) {
    std::size_t end = input.find('\n', at);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(at, end - at);
    line.resize(80, ' ');
    copy += line + "\n";
    at = end + 1;
  }
  return copy;
}

Damaged apply(const Folder& base, const Mutation& m) {
  Damaged d{base, -1, {}, StdinForm::kFile, {}};
  const std::string& s = m.recipe;
  if (s.rfind("fsize:", 0) == 0) {
    std::size_t p = 6;
    d.fsize_limit = static_cast<long>(number(s, p));
    return d;
  }
  if (s.rfind("stdin:", 0) == 0) {
    const std::string form = s.substr(6);
    d.stdin_form = form == "empty"    ? StdinForm::kEmpty
                   : form == "folder" ? StdinForm::kFolder
                   : form == "closed" ? StdinForm::kClosed
                                      : throw std::invalid_argument("mutation: stdin:" + form);
    // The copy of the input a finished run left: a run must never read it
    // in place of its own.
    d.folder["BID93"] = input_copy(base.at("input"));
    d.leftover.insert("BID93");
    return d;
  }
  if (s.rfind("link:", 0) == 0 || s == "fifo" || s == "dir") {
    // An input replaced, or a scratch name taken, by something else than a
    // regular file.
    d.folder.erase(m.file);
    const auto kind = s == "fifo" ? Special::kFifo : s == "dir" ? Special::kFolder : Special::kLink;
    d.specials.push_back({m.file, kind, kind == Special::kLink ? s.substr(5) : ""});
    return d;
  }
  auto it = d.folder.find(m.file);
  if (it == d.folder.end()) throw std::invalid_argument("mutation: no file " + m.file);
  std::string& bytes = it->second;
  if (s == "rm") {
    d.folder.erase(it);
  } else if (s.rfind("rename:", 0) == 0) {
    std::string name = s.substr(7);
    auto key = kNameKey.find(m.file);
    if (key == kNameKey.end()) throw std::invalid_argument("mutation: no input key names " + m.file);
    std::string content = bytes;
    d.folder.erase(it);
    d.folder[name] = content;
    d.folder["input"] = with_file_name(d.folder["input"], key->second, name);
  } else if (s.rfind("fill@", 0) == 0) {
    // fill@OFF:N*HH inserts N copies of byte HH at OFF.
    std::size_t p = 5, off = number(s, p);
    if (p >= s.size() || s[p] != ':') throw std::invalid_argument("mutation: fill@OFF:N*HH");
    ++p;
    std::size_t n = number(s, p);
    if (p >= s.size() || s[p] != '*' || off > bytes.size())
      throw std::invalid_argument("mutation: fill@OFF:N*HH");
    bytes.insert(off, std::string(n, unhex(s.substr(p + 1)).at(0)));
  } else if (s.rfind("trunc@", 0) == 0) {
    std::size_t p = 6, n = number(s, p);
    if (n > bytes.size()) throw std::invalid_argument("mutation: cut beyond the end");
    bytes.resize(n);
  } else if (s.rfind("splice@", 0) == 0) {
    std::size_t p = 7, off = number(s, p);
    if (p >= s.size() || s[p] != '+') throw std::invalid_argument("mutation: splice@OFF+LEN:HEX");
    ++p;
    std::size_t len = number(s, p);
    if (p >= s.size() || s[p] != ':') throw std::invalid_argument("mutation: splice@OFF+LEN:HEX");
    if (off + len > bytes.size()) throw std::invalid_argument("mutation: splice beyond the end");
    bytes.replace(off, len, unhex(s.substr(p + 1)));
  } else {
    throw std::invalid_argument("mutation: cannot read '" + s + "'");
  }
  return d;
}

namespace {

uint32_t le32(const std::string& b, std::size_t at) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(b[at + k]);
  return v;
}

uint64_t le64(const std::string& b, std::size_t at) {
  return le32(b, at) | uint64_t{le32(b, at + 4)} << 32;
}

std::string bytes32(uint32_t v) {
  std::string s(4, '\0');
  for (int k = 0; k < 4; ++k) s[k] = static_cast<char>(v >> (8 * k));
  return s;
}

std::string bytes64(uint64_t v) {
  std::string s(8, '\0');
  for (int k = 0; k < 8; ++k) s[k] = static_cast<char>(v >> (8 * k));
  return s;
}

// Collects the mutations of one binary file from a description of its fields.
class BinaryFile {
 public:
  BinaryFile(const std::string& name, const std::string& bytes, std::vector<Mutation>& out)
      : name_(name), b_(bytes), out_(out) {}

  void cut(std::size_t at, const std::string& where) {
    if (at >= b_.size() || !cuts_.insert(at).second) return;
    add(Kind::Truncate, trunc_recipe(at), "cut to " + std::to_string(at) + " bytes (" + where + ")");
  }

  // A four-byte integer: zero, negative, one off, single bit flips, huge.
  void int32(std::size_t at, Kind kind, const std::string& field) {
    if (at + 4 > b_.size()) return;
    const uint32_t v = le32(b_, at);
    const uint32_t values[] = {0u, 0xffffffffu, v + 1, v - 1, 0u - v, v ^ 0x80000000u,
                               v ^ 0x40000000u, v ^ 0x10000u, v ^ 0x100u, v ^ 1u, v ^ 8u,
                               0x7fffffffu, v * 2};
    std::set<uint32_t> seen{v};
    for (uint32_t x : values)
      if (seen.insert(x).second)
        add(kind, splice_recipe(at, 4, bytes32(x)),
            field + " at " + std::to_string(at) + ": " + std::to_string(int32_t(v)) + " -> " +
                std::to_string(int32_t(x)));
  }

  // An eight-byte integer: zero, negative, one off, past the four-byte
  // range, and values whose product by a block of 512 bytes overflows;
  // `extra` adds values of the field's own (a type, an address past the end).
  void int64(std::size_t at, Kind kind, const std::string& field,
             std::initializer_list<uint64_t> extra = {}) {
    if (at + 8 > b_.size()) return;
    const uint64_t v = le64(b_, at);
    std::set<uint64_t> seen{v};
    auto put = [&](uint64_t x) {
      if (seen.insert(x).second)
        add(kind, splice_recipe(at, 8, bytes64(x)),
            field + " at " + std::to_string(at) + ": " + std::to_string(int64_t(v)) + " -> " +
                std::to_string(int64_t(x)));
    };
    for (uint64_t x : {uint64_t{0}, ~uint64_t{0}, v + 1, v - 1, v + (uint64_t{1} << 32),
                       uint64_t{1} << 31, uint64_t{1} << 55, ~uint64_t{0} >> 1, uint64_t{1} << 63})
      put(x);
    for (uint64_t x : extra) put(x);
  }

  // A one-byte index or descriptor.
  void byte(std::size_t at, Kind kind, const std::string& field) {
    if (at >= b_.size()) return;
    const unsigned v = static_cast<unsigned char>(b_[at]);
    const unsigned values[] = {0u, 255u, (v + 1) & 255, (v - 1) & 255, v ^ 0x80, v ^ 0x40, v ^ 0x10};
    std::set<unsigned> seen{v};
    for (unsigned x : values)
      if (seen.insert(x).second)
        add(kind, splice_recipe(at, 1, std::string(1, static_cast<char>(x))),
            field + " at " + std::to_string(at) + ": " + std::to_string(v) + " -> " +
                std::to_string(x));
  }

  void real(std::size_t at, const std::string& field) {
    if (at + 8 > b_.size()) return;
    const std::pair<uint64_t, const char*> values[] = {
        {0x7ff8000000000000ull, "NaN"}, {0x7ff0000000000000ull, "+Inf"},
        {0xfff0000000000000ull, "-Inf"}};
    for (const auto& [bits, label] : values)
      add(Kind::NonFinite, splice_recipe(at, 8, bytes64(bits)),
          field + " at " + std::to_string(at) + " -> " + label);
  }

  void label(std::size_t at, std::size_t len, const std::string& field) {
    if (at + len > b_.size()) return;
    add(Kind::Label, splice_recipe(at, 1, "X"), field + " at " + std::to_string(at) + ": first letter -> X");
    add(Kind::Label, splice_recipe(at, len, std::string(len, ' ')), field + " at " + std::to_string(at) + " blanked");
  }

  void unused(std::size_t at) {
    if (at + 4 > b_.size()) return;
    add(Kind::Unused, splice_recipe(at, 1, std::string(1, static_cast<char>(b_[at] ^ 0x81))),
        "byte " + std::to_string(at) + " flipped");
    add(Kind::Unused, splice_recipe(at, 4, bytes32(0xffffffffu)),
        "bytes " + std::to_string(at) + ".." + std::to_string(at + 3) + " set to ff");
  }

  void append(const std::string& extra, const std::string& what) {
    add(Kind::Append, splice_recipe(b_.size(), 0, extra), what);
  }

  const std::string& bytes() const { return b_; }

  void add(Kind k, std::string recipe, std::string what) {
    out_.push_back({name_, k, std::move(recipe), std::move(what)});
  }

 private:
  std::string name_;
  const std::string& b_;
  std::vector<Mutation>& out_;
  std::set<std::size_t> cuts_;
};

struct Record {
  std::size_t start, payload, end;  // leading count, first payload byte, one past trailer
};

// The records of a sequential unformatted file, as far as they are whole.
std::vector<Record> records(const std::string& b) {
  std::vector<Record> r;
  std::size_t pos = 0;
  while (pos + 8 <= b.size()) {
    std::size_t n = le32(b, pos);
    if (pos + 8 + n > b.size()) break;
    r.push_back({pos, pos + 4, pos + 8 + n});
    pos += 8 + n;
  }
  return r;
}

// Evenly spread positions first..last-step (at most k of them).
std::vector<std::size_t> spread(std::size_t first, std::size_t last, std::size_t step, std::size_t k) {
  std::vector<std::size_t> at;
  if (last <= first) return at;
  std::size_t n = (last - first) / step;
  if (n == 0) return at;
  for (std::size_t i = 0; i < std::min(n, k); ++i)
    at.push_back(first + (k >= n ? i : i * (n - 1) / (k - 1)) * step);
  return at;
}

// Cuts, record counts and the appended records common to sequential files.
void sequential(BinaryFile& f, const std::vector<Record>& recs) {
  int k = 0;
  for (const Record& r : recs) {
    std::string rec = "record " + std::to_string(++k);
    std::size_t n = r.end - r.start - 8;
    f.cut(r.start, "before " + rec);
    f.cut(r.start + 2, "inside the leading count of " + rec);
    f.cut(r.payload, "after the leading count of " + rec);
    f.cut(r.payload + n / 2, "inside the payload of " + rec);
    f.cut(r.end - 4, "before the trailing count of " + rec);
    f.cut(r.end - 1, "inside the trailing count of " + rec);
    f.int32(r.start, Kind::Length, "leading count of " + rec);
    f.int32(r.end - 4, Kind::Length, "trailing count of " + rec);
  }
  const std::string& b = f.bytes();
  if (!recs.empty())
    f.append(b.substr(recs.back().start), "last record written twice");
  f.append(std::string(3, '\0'), "three zero bytes after the last record");
  f.append(bytes32(0x7fffffff), "a record count of 2^31-1 after the last record");
}

void determinant_list(BinaryFile& f) {
  const std::string& b = f.bytes();
  auto recs = records(b);
  sequential(f, recs);
  int k = 0;
  for (const Record& r : recs) {
    std::string rec = "block " + std::to_string(++k);
    std::size_t p = r.payload;
    if (r.end - r.start < 16) continue;
    std::size_t l1 = le32(b, p), ndet = le32(b, p + 4);
    f.int32(p, Kind::Length, "orbital byte count of " + rec);
    f.int32(p + 4, Kind::Count, "determinant count of " + rec);
    std::size_t orb = p + 8, desc = orb + l1, l3 = desc + ndet;
    if (l3 + 4 > r.end - 4) continue;
    for (std::size_t at : spread(orb, desc, 1, 8)) f.byte(at, Kind::Index, "orbital of " + rec);
    for (std::size_t at : spread(desc, l3, 1, 5)) f.byte(at, Kind::Count, "descriptor of " + rec);
    f.int32(l3, Kind::Length, "high-bit byte count of " + rec);
    f.cut(desc, "between orbitals and descriptors of " + rec);
  }
}

// Whole records of a sequential file: each one removed, written twice, and
// swapped with the next one of another length (two roots of one length
// swapped are another valid file, the roots in another order).
void record_structure(BinaryFile& f, const std::vector<Record>& recs) {
  const std::string& b = f.bytes();
  for (std::size_t k = 0; k < recs.size(); ++k) {
    const Record& r = recs[k];
    const std::string rec = "record " + std::to_string(k + 1);
    const std::string whole = b.substr(r.start, r.end - r.start);
    f.add(Kind::Records, splice_recipe(r.start, whole.size(), ""), rec + " removed");
    f.add(Kind::Records, splice_recipe(r.start, 0, whole), rec + " written twice");
    if (k + 1 < recs.size() && recs[k + 1].end - recs[k + 1].start != whole.size()) {
      const Record& n = recs[k + 1];
      f.add(Kind::Records,
            splice_recipe(r.start, n.end - r.start, b.substr(n.start, n.end - n.start) + whole),
            rec + " and record " + std::to_string(k + 2) + " swapped");
    }
  }
}

void vector_file(BinaryFile& f) {
  const std::string& b = f.bytes();
  auto recs = records(b);
  sequential(f, recs);
  record_structure(f, recs);
  for (std::size_t k = 0; k < recs.size(); ++k) {
    const Record& r = recs[k];
    if (k == 0) {
      f.int32(r.payload, Kind::Count, "vector dimension");
      f.int32(r.payload + 4, Kind::Count, "root count");
    } else if (k == 1) {
      for (std::size_t at = r.payload; at + 8 <= r.end - 4; at += 8) f.real(at, "root energy");
    } else {
      for (std::size_t at : spread(r.payload, r.end - 4, 8, 3))
        f.real(at, "coefficient of root " + std::to_string(k - 1));
    }
  }
}

void density_file(BinaryFile& f) {
  auto recs = records(f.bytes());
  sequential(f, recs);
  for (std::size_t k = 0; k < recs.size(); ++k)
    for (std::size_t at : spread(recs[k].payload, recs[k].end - 4, 8, 3))
      f.real(at, "density of root " + std::to_string(k + 1));
}

// OneInt: a 40960-byte header (title, table of contents of labels and
// addresses, symmetry and basis counts for the older versions), then the
// packed operator matrices, each followed by its origin and nuclear value.
void one_int(BinaryFile& f, int version) {
  const std::string& b = f.bytes();
  const std::size_t header = 40960, unit = version == 4 ? 1024 : 8;
  for (std::size_t at : {0ul, 8ul, 176ul, 192ul, 2716ul, 2752ul, header - 1, header})
    f.cut(at, "header");
  if (version == 5) f.int32(172, Kind::Offset, "word address of the overlap");
  std::vector<std::size_t> starts;
  for (int k = 0; k < 14; ++k) {
    std::size_t label = 176 + 20 * k, addr = 192 + 20 * k;
    f.label(label, 16, "table-of-contents label " + std::to_string(k + 1));
    f.int32(addr, Kind::Offset, "table-of-contents address " + std::to_string(k + 1));
    std::size_t start = le32(b, addr) * unit;
    if (k >= 1 && k <= 9 && start >= header && start < b.size()) starts.push_back(start);
  }
  if (version != 54) {
    f.int32(2716, Kind::Count, "symmetry count");
    for (int s = 0; s < 8; ++s) f.int32(2752 + 4 * s, Kind::Count, "basis count " + std::to_string(s + 1));
  }
  for (std::size_t at : {0ul, 12ul, 100ul, 600ul, 1000ul, 2000ul, 3000ul, 10000ul, 40000ul})
    if (at < 12 || (at > 156 && at < 176) || at > 480) f.unused(at);
  for (std::size_t i = 0; i < starts.size(); ++i) {
    std::size_t start = starts[i], end = i + 1 < starts.size() ? starts[i + 1] : b.size();
    std::string op = "operator " + std::to_string(i + 1);
    f.cut(start, "start of " + op);
    f.cut(start + 4, "inside the first element of " + op);
    f.real(start, "first element of " + op);
    if (end >= start + 40) {
      f.real(end - 8, "last word of " + op + " (nuclear value)");
      f.real(end - 32, "origin of " + op);
    }
  }
  f.cut(b.size() - 8, "last number");
  f.cut(b.size() - 1, "inside the last number");
  f.append(std::string(5, '\x7f'), "five bytes after the end");
}

void tra_one(BinaryFile& f, int version) {
  const std::size_t nbas = version == 54 ? 272 : 268, kept = version == 54 ? 304 : 300;
  for (std::size_t at : {0ul, 264ul, nbas, kept, 1023ul}) f.cut(at, "header");
  f.int32(264, Kind::Count, "symmetry count");
  for (int s = 0; s < 8; ++s) {
    f.int32(nbas + 4 * s, Kind::Count, "basis count " + std::to_string(s + 1));
    f.int32(kept + 4 * s, Kind::Count, "kept orbital count " + std::to_string(s + 1));
  }
  for (std::size_t at : {0ul, 100ul, 500ul, 1000ul}) f.unused(at);
}

// ComFile: a table of labels and word addresses of the run information.
void com_file(BinaryFile& f) {
  for (std::size_t at : {0ul, 28ul, 32ul, 1024ul, 1032ul, 2048ul, 40959ul}) f.cut(at, "header");
  f.int32(28, Kind::Offset, "word address of the title");
  for (int k = 0; k < 4; ++k) {
    f.label(32 + 16 * k, 12, "table label " + std::to_string(k + 1));
    f.int32(44 + 16 * k, Kind::Offset, "table address " + std::to_string(k + 1));
  }
  f.int32(1024, Kind::Count, "symmetry count");
  for (int s = 0; s < 8; ++s) f.int32(1032 + 4 * s, Kind::Count, "basis count " + std::to_string(s + 1));
  for (std::size_t at : {4ul, 500ul, 2048ul, 4000ul, 20000ul, 40000ul}) f.unused(at);
}

// The files of current OpenMolcas, walked by the layout the generator
// writes them with: every entry of the OneInt table of contents, every item
// of TraOne, every used slot of the RunFile tables.
using namespace mkcase::current_layout;

void one_int_current(BinaryFile& f) {
  const std::string& b = f.bytes();
  f.int64(0, Kind::Label, "file id");
  f.int64(8, Kind::Label, "version");
  const uint64_t past_end = b.size() / kBlock + 1;
  for (std::size_t e = 0; kTocFirst + kTocEntry * (e + 1) <= b.size(); ++e) {
    const std::size_t at = kTocFirst + kTocEntry * e;
    if (le64(b, at) == ~uint64_t{0}) break;
    const std::string entry = "entry " + std::to_string(e + 1) + " (" + b.substr(at, 8) + ")";
    f.label(at, 8, "label of " + entry);
    f.int64(at + 16, Kind::Index, "component of " + entry);
    f.int64(at + 24, Kind::Index, "symmetry label of " + entry, {3, 0x81});
    f.int64(at + 32, Kind::Offset, "address of " + entry, {past_end});
    const std::size_t record = le64(b, at + 32) * kBlock;
    f.cut(record, "start of the record of " + entry);
    f.cut(record + 12, "inside the first value of " + entry);
    f.real(record, "first value of " + entry);
  }
  f.cut(kTocBytes - 8, "inside the table of contents");
  f.append(std::string(5, '\x7f'), "five bytes after the end");
}

void tra_one_current(BinaryFile& f) {
  f.cut(kTraSymCount, "before the symmetry count");
  f.int64(kTraSymCount, Kind::Count, "symmetry count", {9});
  const std::pair<std::size_t, const char*> lists[] = {{kTraBasis, "basis count"},
                                                       {kTraKept, "kept-orbital count"},
                                                       {kTraFrozen, "frozen-orbital count"},
                                                       {kTraDeleted, "deleted-orbital count"}};
  for (const auto& [first, what] : lists) {
    f.cut(first, std::string("before the ") + what + "s");
    for (int s = 0; s < 8; ++s)
      f.int64(first + 8 * s, Kind::Count, std::string(what) + " " + std::to_string(s + 1));
  }
}

void run_file(BinaryFile& f) {
  const std::string& b = f.bytes();
  f.int64(0, Kind::Label, "file id");
  f.int64(8, Kind::Label, "version");
  const uint64_t past_end = b.size() / kBlock + 1;
  for (std::size_t w = kRunLabelsWord; w < kRunTablesWord + 4; ++w)
    f.int64(8 * w, Kind::Offset, "header word " + std::to_string(w + 1), {past_end});
  if (b.size() < 8 * (kRunTablesWord + 4)) return;
  const std::size_t labels = le64(b, 8 * kRunLabelsWord) * kBlock;
  std::size_t table[4];
  for (int k = 0; k < 4; ++k) table[k] = le64(b, 8 * (kRunTablesWord + k)) * kBlock;
  for (std::size_t slot = 0; slot < kRunSlots; ++slot) {
    const std::size_t type = table[3] + 8 * slot;
    if (type + 8 > b.size() || le64(b, type) == 0) continue;
    const std::string label = b.substr(labels + kRunLabelLength * slot, kRunLabelLength);
    const std::string rec = "record '" + label.substr(0, label.find_last_not_of(' ') + 1) + "'";
    f.label(labels + kRunLabelLength * slot, kRunLabelLength, "label of " + rec);
    f.int64(type, Kind::RecordType, "type of " + rec, {1, 2, 3, 4});
    const uint64_t length = le64(b, table[1] + 8 * slot);
    f.int64(table[1] + 8 * slot, Kind::Length, "length of " + rec,
            {8 * length, length / 8, 1 << 24});
    f.int64(table[0] + 8 * slot, Kind::Offset, "address of " + rec, {past_end});
    const std::size_t at = le64(b, table[0] + 8 * slot) * kBlock;
    f.cut(at, "start of " + rec);
    f.cut(at + 4, "inside " + rec);
  }
}

// Links, FIFOs and folders under the scratch names (the links to inputs, to
// a file outside the folder and to nothing), inputs that are FIFOs or
// folders, and standard input in the forms that give no text.
void environment_mutations(const Folder& folder, std::vector<Mutation>& out) {
  for (const char* scratch : kScratch) {
    for (const std::string& target :
         {std::string("detb"), std::string("Info"), std::string("input"),
          "../" + std::string(kOutside), std::string("nowhere")})
      out.push_back({scratch, Kind::ScratchLink, "link:" + target,
                     std::string(scratch) + " a link to " + target});
    out.push_back({scratch, Kind::ScratchLink, "fifo", std::string(scratch) + " a FIFO"});
    out.push_back({scratch, Kind::ScratchLink, "dir", std::string(scratch) + " a folder"});
  }
  for (const auto& [name, bytes] : folder) {
    if (name == "input") continue;
    out.push_back({name, Kind::NonRegular, "fifo", name + " a FIFO"});
    out.push_back({name, Kind::NonRegular, "dir", name + " a folder"});
  }
  for (const char* form : {"empty", "folder", "closed"})
    out.push_back({"-", Kind::Stdin, std::string("stdin:") + form,
                   std::string("standard input ") + form + ", after a finished run"});
}

}  // namespace

std::vector<Mutation> mutations_of(const Folder& folder, int molcas_version) {
  std::vector<Mutation> out;
  for (const auto& [name, bytes] : folder) {
    BinaryFile f(name, bytes, out);
    if (name == "deta" || name == "detb") determinant_list(f);
    else if (name == "daveca" || name == "davecb") vector_file(f);
    else if (name == "dens") density_file(f);
    else if (name == "OneInt" && molcas_version == 22) one_int_current(f);
    else if (name == "TraOne" && molcas_version == 22) tra_one_current(f);
    else if (name == "OneInt") one_int(f, molcas_version);
    else if (name == "TraOne") tra_one(f, molcas_version);
    else if (name == "ComFile") com_file(f);
    else if (name == "RunFile") run_file(f);
    else if (name == "OCCMRS") reference_file_mutations(bytes, out);
    else if (name == "vrt" || name == "Info") namelist_mutations(name, bytes, true, out);
    else if (name == "input") input_mutations(bytes, out);
    else if (name == "INPORB") orbital_file_mutations(bytes, out);
    else continue;
    if (name != "input") out.push_back({name, Kind::Remove, "rm", "file removed"});
    if (kNameKey.count(name))
      for (const char* scratch : kScratch)
        out.push_back({name, Kind::ScratchName, std::string("rename:") + scratch,
                       "file given to the run under the scratch name " + std::string(scratch)});
  }
  for (long limit : {0l, 4096l, 65536l})
    out.push_back({"-", Kind::DiskFull, "fsize:" + std::to_string(limit),
                   "files limited to " + std::to_string(limit) + " bytes"});
  environment_mutations(folder, out);
  return out;
}

}  // namespace fuzz
