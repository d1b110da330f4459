// Random and mutated namelist groups through the card reader and every
// decoder.  Targets are heap arrays of exactly their capacity, so a store past
// one is caught by the sanitizer.  Every run either finishes or stops with a
// non-zero status after one of the reader's or decoders' messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "fortio/stop.hpp"
#include "input/namelist.hpp"

// Leak checking needs ptrace, which some containers forbid; it is not what
// this test is about.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const char* const kKeys[] = {"NOAC", "NUMAC", "AC", "YCL", "TWVEC", "GENER", "PREFIX",
                             "INFO", "INFO1", "N", "MS2"};

const char* const kMessages[] = {
    "ligne de 80 caracteres sans vigule a la fin",
    "*** TOO MANY CHARACTERS IN NAMELIST ",
    "*** ERREUR EN LISANT LA VARIABLE ",
    " === ERREUR DANS LA LECTURE D'UN ",
    " ERRORE NELLA LETTURA DI UN LOGICO",
    "namelist: too many values for key ",
    "namelist: subscript",
    "namelist: value",
    "a namelist card is read in its first 80 columns",
};

struct Fuzzer {
  std::mt19937 rng;
  explicit Fuzzer(uint32_t seed) : rng(seed) {}

  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  bool chance(int percent) { return pick(100) < percent; }
  template <class T, size_t N>
  const T& one_of(const T (&a)[N]) {
    return a[pick(int(N))];
  }

  std::string number() {
    static const char* const forms[] = {"7", "-12", "+3", "0", "2147483647", "99999999999",
                                        "1.5", "-.5E1", "5D-3", "0.005", "1.2.3", "1E400",
                                        "1D-400", "3*4", "0*9", "-2*1", "", "&5", "T", "F",
                                        ".TRUE.", "X", "2*", "*"};
    return one_of(forms);
  }
  std::string quoted() {
    const char q = chance(70) ? '\'' : '"';
    std::string s(1, q);
    const int n = chance(10) ? 75 + pick(10) : pick(6);
    for (int k = 0; k < n; ++k) s.push_back(chance(10) ? ' ' : char('a' + pick(26)));
    if (chance(90)) s.push_back(q);
    return s;
  }
  std::string item() {
    std::string s = one_of(kKeys);
    if (chance(20)) s += "(" + std::to_string(pick(22) - 3) + ")";
    if (chance(95)) s += "=";
    const int values = 1 + pick(chance(10) ? 30 : 4);
    for (int k = 0; k < values; ++k) {
      if (k) s += ",";
      if (chance(15)) s += std::to_string(pick(5) - 1) + "*";
      s += chance(35) ? quoted() : number();
    }
    return s + (chance(90) ? "," : " ");
  }
  char noise() {
    static const char alphabet[] = "AZaz09=,()*'\"&$/ .-+DETF";
    return alphabet[pick(int(sizeof alphabet) - 1)];
  }
  void mutate(std::string& s) {
    for (int n = pick(4); n > 0 && !s.empty(); --n) {
      const size_t at = size_t(pick(int(s.size())));
      switch (pick(3)) {
        case 0: s[at] = noise(); break;
        case 1: s.insert(at, 1, noise()); break;
        default: s.erase(at, 1); break;
      }
    }
  }
  // Standard input of a run: junk, the group in cards of random width, an end
  // marker (sometimes missing, sometimes with data in front of it).
  std::string input() {
    std::string body = chance(30) ? " " : "";
    for (int n = 1 + pick(chance(5) ? 300 : 12); n > 0; --n) body += item();
    if (chance(30)) mutate(body);
    std::string in = chance(30) ? "junk line\n" : "";
    in += chance(50) ? "&grp " : " &GRP";
    for (size_t at = 0; at < body.size();) {
      const size_t width = size_t(chance(5) ? 70 + pick(20) : 5 + pick(60));
      in += body.substr(at, width) + "\n";
      at += width;
    }
    static const char* const ends[] = {"&END\n", " $end\n", "/\n", " A=1 &END\n", ""};
    in += one_of(ends);
    return in;
  }
  // A text as the reader leaves it, or a raw one with blanks in it.
  std::string raw_text() {
    std::string s;
    for (int n = 1 + pick(8); n > 0; --n) s += item();
    mutate(s);
    s.resize(size_t(ciprop::kGroupCapacity), ' ');
    return s;
  }
};

struct NamelistFuzz : ::testing::Test {
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run = std::make_unique<ciprop::Run>(out, in, err);
  int stops = 0;

  // Runs f; a stop must be an error stop that printed a known message (or an
  // input/output error on standard error).
  template <class F>
  void guarded(F f, const std::string& input) {
    out.str("");
    err.str("");
    try {
      f();
    } catch (const fio::StopRun& s) {
      ++stops;
      ASSERT_NE(s.status, 0) << input;
      if (s.status == fio::kStatusIoError) {
        ASSERT_NE(err.str().find("ciprop: "), std::string::npos) << input;
        return;
      }
      bool known = false;
      for (const char* m : kMessages) known = known || out.str().find(m) != std::string::npos;
      ASSERT_TRUE(known) << "input:\n" << input << "\noutput:\n" << out.str();
    }
  }

  void decode_all(Fuzzer& fz, std::string& text, const std::string& input) {
    for (const char* key : kKeys) {
      const int cap = 1 + fz.pick(17);
      auto ints = std::make_unique<int[]>(size_t(cap));
      auto shorts = std::make_unique<int16_t[]>(size_t(cap));
      auto bools = std::make_unique<bool[]>(size_t(cap));
      auto reals = std::make_unique<double[]>(size_t(cap));
      auto floats = std::make_unique<float[]>(size_t(cap));
      const int length = fz.chance(50) ? 1 + fz.pick(6) : 80;
      auto chars = std::make_unique<char[]>(size_t(cap) * size_t(length));
      switch (fz.pick(7)) {
        case 0: guarded([&] { ciprop::nameli(*run, text, ints.get(), key, 4, cap); }, input); break;
        case 1: guarded([&] { ciprop::nameli(*run, text, shorts.get(), key, 2, cap); }, input); break;
        case 2: guarded([&] { ciprop::namell(*run, text, bools.get(), key, 1, cap); }, input); break;
        case 3: guarded([&] { ciprop::namell(*run, text, ints.get(), key, 4, cap); }, input); break;
        case 4: guarded([&] { ciprop::nameld(*run, text, reals.get(), key, 8, cap); }, input); break;
        case 5: guarded([&] { ciprop::nameld(*run, text, floats.get(), key, 4, cap); }, input); break;
        default:
          guarded([&] { ciprop::namela(*run, text, chars.get(), key, length, cap); }, input);
      }
      ASSERT_EQ(text.size(), size_t(ciprop::kGroupCapacity));
    }
  }
};

TEST_F(NamelistFuzz, RandomGroupsThroughTheReaderAndEveryDecoder) {
  Fuzzer fz(20240607);
  int found = 0;
  for (int iter = 0; iter < 4000; ++iter) {
    const std::string input = fz.input();
    in.str(input);
    in.clear();
    std::string text;
    int ierr = -1;
    guarded([&] { ciprop::lecnam(*run, "&GRP", text, 5, ierr, iter % 2); }, input);
    ASSERT_EQ(text.size(), size_t(ciprop::kGroupCapacity));
    if (ierr != 0) continue;
    ++found;
    decode_all(fz, text, input);
    if (HasFatalFailure()) return;
  }
  // The generator must exercise both outcomes.
  EXPECT_GT(found, 700);
  EXPECT_GT(stops, 700);
}

TEST_F(NamelistFuzz, RandomTextsThroughEveryDecoder) {
  Fuzzer fz(777);
  for (int iter = 0; iter < 4000; ++iter) {
    std::string text = fz.raw_text();
    const std::string input = text.substr(0, text.find_last_not_of(' ') + 1);
    decode_all(fz, text, input);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
