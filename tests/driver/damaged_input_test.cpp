// Damaged and hostile input, run end to end on generated cases: every run
// either gives the moments of the intact case or stops with a non-zero
// status and one "ciprop:" line on standard error that names the file or
// key, and no input file is ever created or changed.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/run_in_dir.hpp"

namespace {

namespace fs = std::filesystem;

// A generated run folder, its files read and written as bytes.
class Case {
 public:
  explicit Case(const std::string& options) : folder_(dir_.path() / "case") {
    const std::string cmd = "'" MKCASE_EXE "' " + options + " '" + folder_.string() + "' > /dev/null";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  }
  std::string read(const std::string& name) const {
    std::ifstream f(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
  }
  // Replaces n bytes of a file at offset.
  void splice(const std::string& name, size_t at, const std::string& bytes) const {
    std::string b = read(name);
    ASSERT_LE(at + bytes.size(), b.size()) << name;
    b.replace(at, bytes.size(), bytes);
    write(name, b);
  }
  // Adds KEY='value', to the "&ROFIL" group of standard input.
  void name_file(const std::string& key, const std::string& value) const {
    std::string in = read("input");
    in.insert(in.find("&ROFIL") + 6, " " + key + "='" + value + "',");
    write("input", in);
  }
  // Replaces every "from" of standard input with "to".
  void edit_input(const std::string& from, const std::string& to) const {
    std::string in = read("input");
    size_t n = 0;
    for (size_t at = 0; (at = in.find(from, at)) != std::string::npos; at += to.size(), ++n)
      in.replace(at, from.size(), to);
    EXPECT_GT(n, 0u) << from;
    write("input", in);
  }
  // `how`: standard input; `before`: shell commands that set the run's
  // environment.
  test::RunResult run(const std::string& how = "< input", const std::string& before = "") const {
    const std::string cmd = "cd '" + folder_.string() + "' && " + before + " timeout 20 '" CIPROP_EXE
                            "' " + how + " > '" + (dir_.path() / "stdout").string() + "' 2> '" +
                            (dir_.path() / "stderr").string() + "'";
    const int rc = std::system(cmd.c_str());
    test::RunResult r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = dir_.read("stdout");
    r.err = dir_.read("stderr");
    return r;
  }
  const fs::path& folder() const { return folder_; }

 private:
  test::ScratchDir dir_;
  fs::path folder_;
};

const char* const kCasState =
    "--nsym=1 --ninac=1 --nact=4 --nvirt=2 --ngel=1 --nelac=4 --gener=CAS --roots=1,1 --molcas=5";
const char* const kDdciTwoSym =
    "--nsym=2 --ninac=1,1 --nact=2,1 --nvirt=2,1 --nelac=4 --gener=DDCI --roots=1,2 --molcas=5";

std::string le32(int v) {
  std::string b(4, '\0');
  std::memcpy(b.data(), &v, 4);
  return b;
}
std::string f64(double v) {
  std::string b(8, '\0');
  std::memcpy(b.data(), &v, 8);
  return b;
}
double get_f64(const std::string& b, size_t at) {
  double v;
  std::memcpy(&v, b.data() + at, 8);
  return v;
}

// Offset of the payload of record k (from 1) of a sequential unformatted file.
size_t payload(const std::string& bytes, int k) {
  size_t at = 0;
  for (int i = 1; i < k; ++i) {
    int n;
    std::memcpy(&n, bytes.data() + at, 4);
    at += 8 + static_cast<size_t>(n);
  }
  return at + 4;
}

// The refusal every damaged run must end with: non-zero status, a
// "ciprop:" line naming what is wrong, no number printed as a result.
void expect_refused(const test::RunResult& r, const std::string& named) {
  EXPECT_NE(r.status, 0) << r.out.substr(r.out.size() > 600 ? r.out.size() - 600 : 0);
  const size_t at = r.err.find("ciprop:");
  ASSERT_NE(at, std::string::npos) << r.err;
  EXPECT_NE(r.err.find(named, at), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("\n FIN\n"), std::string::npos);
}

TEST(DamagedInput, CountsBeyondTheArraysAreRefusedBeforeAnyArithmetic) {
  {
    Case c(kDdciTwoSym);
    c.edit_input("NGEL=0,0,", "NGEL=-1,0,");
    expect_refused(c.run(), "NGEL(1) = -1");
  }
  {
    Case c(kDdciTwoSym);
    c.edit_input("NDEL=0,0,", "NDEL=0,2147483647,");
    expect_refused(c.run(), "NDEL(2)");
  }
  {
    // The kept-orbital count of the first symmetry in TraOne (version 5).
    Case c(kDdciTwoSym);
    c.splice("TraOne", 300, le32(-2147483645));
    expect_refused(c.run(), "TraOne");
  }
  {
    // A descriptor of the first list that puts the empty slot of an odd
    // electron count among the holes, where it has no orbital.
    Case c("--nsym=1 --ninac=2 --nact=3 --nvirt=3 --nelac=3 --ms2=-1 --gener=MONO --roots=1,2 "
           "--molcas=5");
    ASSERT_EQ(c.read("deta")[572], 9);
    c.splice("deta", 572, std::string(1, 73));
    expect_refused(c.run(), "hole 17 outside 1..16");
  }
}

TEST(DamagedInput, NonFiniteNumbersAreRefusedNamingFileAndRecord) {
  const double nan = std::nan(""), inf = HUGE_VAL;
  {
    Case c(kDdciTwoSym);
    const std::string v = c.read("daveca");
    c.splice("daveca", payload(v, 3) + 8, f64(nan));
    expect_refused(c.run(), "daveca");
  }
  {
    Case c(kDdciTwoSym);
    const std::string v = c.read("davecb");
    c.splice("davecb", payload(v, 2), f64(inf));
    const auto r = c.run();
    expect_refused(r, "davecb");
    EXPECT_NE(r.err.find("energies"), std::string::npos) << r.err;
  }
  {
    // The nuclear value of the last operator ends OneInt.
    Case c(kDdciTwoSym);
    c.splice("OneInt", c.read("OneInt").size() - 8, f64(nan));
    expect_refused(c.run(), "OneInt");
  }
  {
    Case c(kCasState);
    c.splice("dens", payload(c.read("dens"), 1), f64(-inf));
    expect_refused(c.run(), "dens");
  }
  {
    // An orbital coefficient whose exponent overflows, in its 18 columns.
    Case c(kCasState);
    std::string orb = c.read("INPORB");
    const size_t at = orb.find('\n', orb.find("* ORBITAL")) + 1;
    orb.replace(at, 18, "0.12345678901D+999");
    c.write("INPORB", orb);
    expect_refused(c.run(), "coefficient");
  }
}

TEST(DamagedInput, InputsAreNeverCreatedOrRewritten) {
  for (const char* scratch : {"BID75", "BID93", "IADRV", "ORDET"}) {
    SCOPED_TRACE(scratch);
    Case c(kDdciTwoSym);
    const std::string info = c.read("Info");
    fs::rename(c.folder() / "Info", c.folder() / scratch);
    c.name_file("INFO1", scratch);
    expect_refused(c.run(), std::string("scratch file ") + scratch);
    EXPECT_EQ(c.read(scratch), info);
  }
  {
    // STOP='ORDET' names a stage, not a file: a second run asking for the
    // reordered list, in a folder where the first left it, runs as well.
    Case c(kDdciTwoSym);
    c.edit_input("&RHO", "&RHO STOP='ORDET',");
    for (int run = 1; run <= 2; ++run) {
      const auto r = c.run();
      EXPECT_EQ(r.status, 0) << "run " << run << ": " << r.err;
      EXPECT_TRUE(fs::exists(c.folder() / "ORDET")) << "run " << run;
    }
  }
  {
    // A missing run description is told in the report and not created.
    Case c(kDdciTwoSym);
    fs::remove(c.folder() / "vrt");
    const auto r = c.run();
    expect_refused(r, "run description");
    EXPECT_NE(r.out.find("on n'a pas trouve de fichier vrt"), std::string::npos);
    EXPECT_FALSE(fs::exists(c.folder() / "vrt"));
  }
}

TEST(DamagedInput, OptionsThatNameNothingAreRefused) {
  const struct {
    const char* from;
    const char* to;
    const char* named;
  } cases[] = {
      {"ISX=1,", "ISX=3,", "ISX"},  // two symmetries
      {"ISYZ=1,", "ISYZ=5,", "ISYZ"},
      {"IPROP=0,", "IPROP=3,", "IPROP"},
      {"NUMERO=1,2,", "NUMERO=0,1,", "NUMERO(1)"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.to);
    Case c(kDdciTwoSym);
    c.edit_input(k.from, k.to);
    expect_refused(c.run(), k.named);
  }
}

// A stop says why in words of its own, naming the file, record, key or line.
// Each damage returns the words its refusal must hold.
TEST(DamagedInput, EveryStopSaysWhatIsWrongAndWhere) {
  using Damage = std::function<std::string(const Case&)>;
  const Damage damages[] = {
      [](const Case& c) {
        const std::string b = c.read("detb");
        int records = 0;
        for (size_t at = 0; at < b.size(); ++records) at += payload(b.substr(at), 2) - 4;
        c.splice("detb", b.size() - 4, le32(7));
        return "file 'detb': record " + std::to_string(records) +
               " is damaged: its trailing length 7 differs from its leading";
      },
      [](const Case& c) {
        std::string v = c.read("vrt");
        v[v.find("GENER='") + 9] = '\0';
        c.write("vrt", v);
        return std::string("gives GENER='DD I'");
      },
      [](const Case& c) {
        c.edit_input("&RHO", "&RHO MEM=99999999999,");
        return std::string("MEM in &RHO of standard input: '99999999999' does not fit an "
                           "integer of 4 bytes");
      },
      [](const Case& c) {
        c.edit_input("NGEL=0,0,", "NGEL=500,0,");
        return std::string("the frozen and deleted orbitals of NGEL and NDEL differ from the orbitals TraOne");
      },
      // The lists' reference has more occupied orbitals than Info says.
      [](const Case& c) {
        std::string i = c.read("Info");
        i.replace(i.find("NOC=4"), 5, "NOC=3");
        c.write("Info", i);
        return std::string("determinant list detb in address order (ORDET): determinant 1: "
                           "hole 4 is not occupied");
      },
  };
  for (const Damage& damage : damages) {
    Case c(kDdciTwoSym);
    const std::string named = damage(c);
    SCOPED_TRACE(named);
    const auto r = c.run();
    expect_refused(r, named);
    EXPECT_EQ(r.err.find("stopped on an error"), std::string::npos) << r.err;
  }
}

TEST(DamagedInput, IntegralAddressesAndCutOrbitalsAreRefused) {
  {
    // Table-of-contents entry 3 (y) of OneInt version 5, one word on: the
    // operator now overlaps its neighbour.
    Case c(kDdciTwoSym);
    const std::string b = c.read("OneInt");
    int y;
    std::memcpy(&y, b.data() + 192 + 40, 4);
    c.splice("OneInt", 192 + 40, le32(y + 1));
    expect_refused(c.run(), "OneInt");
  }
  {
    // Entry 2 (x), the first operator after the overlap, one word back: it
    // now starts inside the overlap, which no other operator shares.
    Case c(kCasState);
    const std::string b = c.read("OneInt");
    int x;
    std::memcpy(&x, b.data() + 192 + 20, 4);
    c.splice("OneInt", 192 + 20, le32(x - 1));
    expect_refused(c.run(), "two operators overlap");
  }
  for (int address : {0, 1 << 30}) {
    SCOPED_TRACE(address);
    Case c(kDdciTwoSym);
    c.splice("OneInt", 192 + 40, le32(address));
    expect_refused(c.run(), "OneInt");
  }
  {
    // Version 5 files read as version 4: addresses in words taken as blocks.
    Case c(kDdciTwoSym);
    c.edit_input("MOLCAS=5,", "MOLCAS=4,");
    expect_refused(c.run(), "OneInt");
  }
  {
    Case c(kCasState);
    std::string orb = c.read("INPORB");
    size_t end = orb.find_last_of("0123456789");
    c.write("INPORB", orb.substr(0, end - 3));
    expect_refused(c.run(), "INPORB");
  }
}

// The files a run reads, as they were before it.
std::map<std::string, std::string> inputs_of(const Case& c) {
  std::map<std::string, std::string> files;
  for (const char* name : {"input", "vrt", "Info", "deta", "detb", "daveca", "davecb", "dens",
                           "INPORB", "OneInt", "TraOne"})
    files[name] = c.read(name);
  return files;
}

// Standard input in every form and the settings of the shell, in a folder
// where a finished run left its copy of the input: the copy starts empty
// every run, so no text runs on the defaults (roots 1 and 1, the density
// from file) and says so.  A write that fails says where and why.
TEST(RunEnvironment, StandardInputAndTheShellInEveryForm) {
  Case c(kDdciTwoSym);
  ASSERT_EQ(c.run().status, 0);
  const std::string input = c.read("input");
  c.write("cut", input.substr(0, input.find("NGEL")));
  c.write("long", " &ROFIL\n &END\n &RHO" + std::string(80, ' ') + "NPRINT=1, /\n");
  const struct {
    std::string before, how;
    int status;
    std::string said;
  } forms[] = {
      {"", "< /dev/null", 0, "warning: standard input is empty"},
      {"", "< .", 2, "standard input cannot be read (Is a directory)"},
      {"", "<&-", 2, "standard input cannot be read (Bad file descriptor)"},
      {"", "< cut", 2, "standard input ends inside the group &RHO"},
      {"", "< long", 1, "line 3 of standard input has 96 characters"},
      {"CIPROP_THREADS=two", "< input", 0, "warning: CIPROP_THREADS='two' is not a positive number"},
      // The shell counts blocks of 512 bytes.
      {"trap '' XFSZ; ulimit -f 8;", "< input", 2, "file 'BID84': write failed: File too large"},
      {"cd /sys &&", "< '" + (c.folder() / "input").string() + "'", 2,
       "file 'BID75': cannot create the scratch file: Permission denied; the run writes its "
       "scratch files in the working folder, which must be writable"},
  };
  for (const auto& f : forms) {
    SCOPED_TRACE(f.before + " " + f.how);
    const auto r = c.run(f.how, f.before);
    EXPECT_EQ(r.status, f.status) << r.err;
    EXPECT_NE(r.err.find(f.said), std::string::npos) << r.err;
    if (f.how == "< /dev/null") EXPECT_NE(r.out.find("se lee del fichero dens"), std::string::npos);
  }
}

// Scratch names that are links, FIFOs or folders, and an input that is a
// link to a scratch name: a scratch file is removed and made anew, never
// written through; a folder in its place and an input that is one are
// refused.  No input changes, nor the file outside the folder.
TEST(RunEnvironment, ScratchFilesAreNeverWrittenThroughALink) {
  const struct {
    const char* scratch;
    std::string link_to;  // "fifo", "folder", "Info" (the input's data under
                          // the scratch name), or the target of a link
    const char* said;     // the refusal, or null for a finished run
  } cases[] = {
      {"ORDET", "detb", nullptr},
      {"BID75", "../outside", nullptr},
      {"IADRV", "../nowhere", nullptr},
      {"Mattemp", "fifo", nullptr},
      {"BID93", "folder", "file 'BID93': a folder has the name of this scratch file"},
      {"BID84", "Info", "the input file 'Info' is the scratch file BID84"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(std::string(k.scratch) + " -> " + k.link_to);
    Case c(kDdciTwoSym);
    const fs::path scratch = c.folder() / k.scratch;
    c.write("../outside", "kept\n");
    if (k.link_to == "fifo") {
      ASSERT_EQ(::mkfifo(scratch.c_str(), 0644), 0);
    } else if (k.link_to == "folder") {
      fs::create_directory(scratch);
    } else if (k.link_to == "Info") {
      fs::rename(c.folder() / "Info", scratch);
      fs::create_symlink(k.scratch, c.folder() / "Info");
    } else {
      fs::create_symlink(k.link_to, scratch);
    }
    const auto before = inputs_of(c);
    const auto r = c.run();
    if (k.said) expect_refused(r, k.said);
    else EXPECT_TRUE(r.status == 0 && !fs::is_symlink(scratch)) << r.err;
    EXPECT_EQ(inputs_of(c), before);
    EXPECT_EQ(c.read("../outside"), "kept\n");
    EXPECT_FALSE(fs::exists(c.folder() / "../nowhere"));
  }
}

// An input that is no regular file is refused at once, naming it: a FIFO is
// never waited on, a device or a folder never read.
TEST(RunEnvironment, InputsThatAreNoRegularFilesAreRefusedWithoutWaiting) {
  const struct {
    const char* key;  // naming the file in &ROFIL; none: a FIFO in place of detb
    const char* name;
    const char* said;
  } cases[] = {
      {nullptr, "detb", "file 'detb': it is a FIFO (named pipe), not a regular file"},
      {"INFO1", ".", "file '.': it is a folder, not a regular file"},
      {"ORB1", "/dev/zero", "file '/dev/zero': it is a device, not a regular file"},
      {"ONEINT1", "/dev/null", "file '/dev/null': it is a device, not a regular file"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    Case c(kDdciTwoSym);
    if (k.key) c.name_file(k.key, k.name);
    else ASSERT_TRUE(fs::remove(c.folder() / k.name) && ::mkfifo((c.folder() / k.name).c_str(), 0644) == 0);
    const auto r = c.run();
    EXPECT_EQ(r.status, 2) << r.err;
    expect_refused(r, k.said);
  }
}

TEST(DamagedInput, ASecondRunInTheSameFolderIsRefused) {
  Case c(kCasState);
  const int fd = ::open((c.folder() / "BID75").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  expect_refused(c.run(), "another run is using this folder");
  ::close(fd);
  EXPECT_EQ(c.run().status, 0);
}

TEST(DamagedInput, OneRootWithEnergiesOneUlpApartIsStillOneState) {
  Case c(kCasState);
  const auto intact = c.run();
  ASSERT_EQ(intact.status, 0) << intact.err;
  const std::string b = c.read("davecb");
  const size_t at = payload(b, 2);
  c.splice("davecb", at, f64(std::nextafter(get_f64(b, at), 0.0)));
  const auto r = c.run();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("La matriz de densidad se lee del fichero dens"), std::string::npos);
  const auto moments = [](const std::string& out) { return out.substr(out.find(" mux")); };
  EXPECT_EQ(moments(r.out).substr(0, 400), moments(intact.out).substr(0, 400));
}

}  // namespace

namespace {

// The determinants of a plain list, each as its record of n and, when n is
// not 0, its record of n holes and n particles.
struct PlainList {
  std::vector<std::vector<int>> dets;  // n, holes, particles

  explicit PlainList(const std::string& bytes) {
    std::vector<std::vector<int>> records;
    for (size_t at = 0; at + 4 <= bytes.size();) {
      int len;
      std::memcpy(&len, bytes.data() + at, 4);
      std::vector<int> r(static_cast<size_t>(len) / 4);
      std::memcpy(r.data(), bytes.data() + at + 4, static_cast<size_t>(len));
      records.push_back(r);
      at += 8 + static_cast<size_t>(len);
    }
    for (size_t k = 0; k < records.size(); ++k) {
      std::vector<int> d{records[k][0]};
      if (d[0] > 0) d.insert(d.end(), records[k + 1].begin(), records[k + 1].end()), ++k;
      dets.push_back(d);
    }
  }
  std::string bytes() const {
    std::string out;
    auto record = [&](const int* v, size_t n) {
      const int len = static_cast<int>(4 * n);
      out += le32(len);
      out.append(reinterpret_cast<const char*>(v), 4 * n);
      out += le32(len);
    };
    for (const auto& d : dets) {
      record(d.data(), 1);
      if (d[0] > 0) record(d.data() + 1, d.size() - 1);
    }
    return out;
  }
  // The first determinant with at least one substitution, from position k.
  size_t substituted(size_t k) const {
    while (dets[k][0] == 0) ++k;
    return k;
  }
};

}  // namespace

// The first determinant list belongs to the space of the first vector, here
// of another symmetry than the run's: a determinant met twice, one of the
// second vector's space, a hole in a virtual orbital, a particle in an
// inactive one, a list one determinant short are each refused, naming the
// list and the determinant, in a single-reference and a multireference mode.
TEST(DamagedInput, AFirstListThatIsNotItsVectorsSpaceIsRefused) {
  const char* const spaces[] = {
      "--nsym=2 --ninac=1,1 --nact=2,1 --nvirt=2,1 --nelac=4 --gener=DDCI --is0=2 --is0a=1 "
      "--roots=1,2 --plain --molcas=5",
      "--nsym=2 --ninac=1,1 --nact=2,1 --nvirt=2,1 --nelac=4 --gener=MRDD --refs=220,202 --is0=1 "
      "--is0a=2 --roots=1,2 --plain --molcas=5"};
  const int norb = 8;  // 2 inactive, 3 active, 3 virtual orbitals, the virtual ones last
  for (const char* space : spaces) {
    SCOPED_TRACE(space);
    {
      Case intact(space);
      const auto r = intact.run();
      ASSERT_EQ(r.status, 0) << r.err;
    }
    using Edit = std::function<std::string(PlainList&, const PlainList&)>;
    const Edit edits[] = {
        [](PlainList& a, const PlainList&) {
           a.dets[7] = a.dets[3];
           return "determinant 8: appears twice";
        },
        [](PlainList& a, const PlainList& b) {
           a.dets[5] = b.dets[b.substituted(1)];
           return "determinant 6: lies outside the space of its vector";
        },
        [](PlainList& a, const PlainList& b) {
           a.dets[7] = a.dets[3];
           a.dets[5] = b.dets[b.substituted(1)];
           return "determinant 6: lies outside the space of its vector";
        },
        [&](PlainList& a, const PlainList&) {
           const size_t k = a.substituted(2);
           a.dets[k][1] = norb;
           return "determinant " + std::to_string(k + 1) + ": hole 8 is not occupied in the reference";
        },
        [](PlainList& a, const PlainList&) {
           const size_t k = a.substituted(2);
           const int n = a.dets[k][0];
           a.dets[k][size_t(n) + 1] = 1;
           return "determinant " + std::to_string(k + 1) + ": particle 1 is occupied in the reference";
        },
        [](PlainList& a, const PlainList&) {
           a.dets.pop_back();
           return std::string("determinant list deta holds");
        }};
    for (const Edit& edit : edits) {
      Case c(space);
      PlainList a(c.read("deta"));
      const std::string named = edit(a, PlainList(c.read("detb")));
      SCOPED_TRACE(named);
      c.write("deta", a.bytes());
      const auto r = c.run();
      expect_refused(r, named);
      EXPECT_NE(r.err.find("deta"), std::string::npos) << r.err;
      // A determinant that can be read is refused once the whole vector is
      // printed and phased; one that cannot be read stops that pass.
      const bool readable = named.find("twice") != std::string::npos ||
                            named.find("outside") != std::string::npos;
      const size_t refusal = r.out.find("determinant list deta");
      ASSERT_NE(refusal, std::string::npos) << r.out;
      EXPECT_EQ(r.out.find("APRES SGN") < refusal, readable) << r.out;
    }
  }
}
