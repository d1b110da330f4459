// Formatted and list-directed output, checked against what gfortran writes.
//
// The first tests hold known gfortran lines and run everywhere.  The tests
// named AgainstGfortran send thousands of cases through fmtref, a Fortran
// program that writes them with gfortran's run-time library, and compare
// every record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "fortio/format.hpp"

namespace {

using fio::Items;

std::string fmt(std::string_view f, const Items& items) { return fio::format_text(f, items); }

std::vector<std::string> listed(const Items& items) {
  std::vector<std::string> r;
  fio::listed_records(items, r);
  return r;
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---------------------------------------------------------------------------
// Known lines.

TEST(Format, NumbersRoundTiesToEvenAndKeepTheMinusOfAZero) {
  EXPECT_EQ(fmt("(F5.2)", {0.125}), " 0.12");
  EXPECT_EQ(fmt("(F5.2)", {0.375}), " 0.38");
  EXPECT_EQ(fmt("(F3.0,F3.0)", {2.5, 3.5}), " 2. 4.");
  EXPECT_EQ(fmt("(F4.0,F5.1)", {-0.4, -0.04}), " -0. -0.0");
  EXPECT_EQ(fmt("(F6.4,F6.4)", {-0.0, 0.0}), "-.00000.0000");
  EXPECT_EQ(fmt("(E12.4,E12.4)", {-0.0, 9.99996}), " -0.0000E+00  0.1000E+02");
  EXPECT_EQ(fmt("(G15.8,'|')", {99999999.5}), " 0.10000000E+09|");
  EXPECT_EQ(fmt("(G15.8,'|')", {0.0999999995}), " 0.10000000    |");
  EXPECT_EQ(fmt("(G15.8,'|')", {0.09999999949}), " 0.99999999E-01|");
  EXPECT_EQ(fmt("(G15.8,G15.8)", {0.0, -0.0}), "  0.0000000     -0.0000000    ");
  // The double nearest 9.99999995 already counts as two digits before the
  // point, although its exact value rounds to 9.9999999.
  EXPECT_EQ(fmt("(G15.8)", {9.99999995}), "  10.000000    ");
}

TEST(Format, OptionalZeroExponentsAndFieldsThatDoNotFit) {
  EXPECT_EQ(fmt("(F5.4,F6.4,F5.4,F6.4)", {0.5, 0.5, -0.5, -0.5}), ".50000.5000*****-.5000");
  EXPECT_EQ(fmt("(F2.0,F1.0,F2.0)", {0.4, 0.4, -0.4}), "0.***");
  EXPECT_EQ(fmt("(F8.4)", {12345.6789}), "********");
  EXPECT_EQ(fmt("(E10.4,E9.4,E10.4)", {1234.56789, 1234.56789, -1234.56789}),
            "0.1235E+04.1235E+04-.1235E+04");
  EXPECT_EQ(fmt("(E12.4,D12.4,E12.4)", {1e100, 1e100, 1e-100}),
            "  0.1000+101  0.1000+101  0.1000E-99");
  EXPECT_EQ(fmt("(E12.4E3,E12.4E1,E12.4E1)", {1234.56789, 1234.56789, 1.5e9}),
            " 0.1235E+004   0.1235E+4************");
  EXPECT_EQ(fmt("(G10.8,G15.8E3,'|')", {-1234.5678, -1234.5678}), "**********-1234.5678     |");
  EXPECT_EQ(fmt("(G25.18)", {1e300}), " 0.100000000000000005+301");
  EXPECT_EQ(fmt("(I5.3,I5.0,I1,I3.3,I0)", {-7, 0, 12, -5, -42}), " -007     ****-42");
  EXPECT_EQ(fmt("(F8.4,F8.4,F9.4,F3.1,F8.4,F2.4,G12.4)", {kInf, -kInf, -kInf, -kInf, kNaN, kNaN, -kInf}),
            "Infinity    -Inf-Infinity***     NaN**   -Infinity");
}

TEST(Format, TextsLogicalsBlanksAndCase) {
  EXPECT_EQ(fmt("(L1,L3,'|',A3,'|',A,'|',A1)", {true, false, "a", "bc", "xyz"}), "T  F|  a|bc|x");
  EXPECT_EQ(fmt("(/,'  nombre d''orbitales par symetrie avant gel',/  8i4)", {2, 0, 1}),
            "\n  nombre d'orbitales par symetrie avant gel\n   2   0   1");
  EXPECT_EQ(fmt("('     double precision pour les integrales ydp '      ,l8)", {false}),
            "     double precision pour les integrales ydp        F");
  EXPECT_EQ(fmt("( 1 x , a 4 ,\"q\"\"r\" , 1 0 i 2 )", {"mux", 1, 2}), "  muxq\"r 1 2");
}

TEST(Format, OutputStopsAtTheFirstDataDescriptorWithoutAnItem) {
  EXPECT_EQ(fmt("(1X,A12,10(20I4,/))", {"occupees    ", 1, 2, 3}), " occupees       1   2   3");
  // Trailing X blanks are never written; a final / still ends its record.
  EXPECT_EQ(fmt("(A,1X)", {"ab"}), "ab");
  EXPECT_EQ(fmt("(A,3X,/)", {"ab"}), "ab\n");
  EXPECT_EQ(fmt("(A,3X,'q',I3)", {"ab"}), "ab   q");
  EXPECT_EQ(fmt("(i3,:,' and ',i3)", {1}), "  1");
  EXPECT_EQ(fmt("(i3,2(i3,'x'),'end')", {1}), "  1");
  EXPECT_EQ(fmt("('xx',i3)", {}), "xx");
  EXPECT_EQ(fmt("(/)", {}), "\n");
  EXPECT_EQ(fmt("(2/)", {}), "\n\n");
}

TEST(Format, ReversionRestartsAtTheLastTopLevelGroup) {
  EXPECT_EQ(fmt("(i3,2(i3,'x'),'end')", {1, 2, 3, 4, 5, 6, 7}), "  1  2x  3xend\n  4x  5xend\n  6x  7xend");
  EXPECT_EQ(fmt("(a,2(i2,(i3)),i2)", {"x", 1, 2, 3, 4, 5, 6, 7, 8}), "x 1  2 3  4 5\n 6  7 8");
  EXPECT_EQ(fmt("(2i3)", {1, 2, 3, 4, 5}), "  1  2\n  3  4\n  5");
  std::vector<std::string> r;
  Items all{"inactives   ", 21, "   "};
  for (int k = 1; k <= 21; ++k) all << k;
  fio::format_records("(1X,A12,I4,A3,20I4,/,12(20X,20I4))", all, r);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1], std::string(20, ' ') + "  21");
}

TEST(Format, MisuseIsAProgrammingError) {
  EXPECT_THROW(fmt("(I4)", {"text"}), std::logic_error);
  EXPECT_THROW(fmt("(F8.4)", {3}), std::logic_error);
  EXPECT_THROW(fmt("(A4)", {1.0}), std::logic_error);
  EXPECT_THROW(fmt("(L2)", {1}), std::logic_error);
  EXPECT_THROW(fmt("('no data')", {1}), std::logic_error);
  EXPECT_THROW(fmt("(I3,('x'))", {1, 2}), std::logic_error);
  for (const char* bad : {"I4", "(I4", "(I4))", "(F8)", "(Q4)", "(E10.0)", "(F0.2)", "('open)", "(0I4)",
                          "(F300.2)"})
    EXPECT_THROW(fmt(bad, {1.0}), std::logic_error) << bad;
}

TEST(Listed, RealsIntegersLogicalsAndTexts) {
  EXPECT_EQ(fio::listed_real(1.5), "1.5000000000000000");
  EXPECT_EQ(fio::listed_real(0.1), "0.10000000000000001");
  EXPECT_EQ(fio::listed_real(5e-2), "5.0000000000000003E-002");
  EXPECT_EQ(fio::listed_real(1e16), "10000000000000000.");
  EXPECT_EQ(fio::listed_real(1e17), "1.0000000000000000E+017");
  EXPECT_EQ(fio::listed_real(-0.0), "-0.0000000000000000");
  EXPECT_EQ(fio::listed_real(-kInf), "-Infinity");
  EXPECT_EQ(listed({"ab", "cd", 3, -4, true, 0.5}), std::vector<std::string>{" abcd 3 -4 T 0.50000000000000000"});
}

TEST(Listed, AnItemThatWouldPassColumnEightyStartsANewRecord) {
  const std::string t78(78, 'x');
  EXPECT_EQ(listed({t78, "y"}), std::vector<std::string>{" " + t78 + "y"});
  EXPECT_EQ(listed({t78, "yz"}), (std::vector<std::string>{" " + t78, " yz"}));
  EXPECT_EQ(listed({t78, 12}), (std::vector<std::string>{" " + t78, "  12"}));
  const std::string t90(90, 'z');
  EXPECT_EQ(listed({t90}), std::vector<std::string>{" " + t90});
  EXPECT_EQ(listed({1, t90, 2}), (std::vector<std::string>{"  1", " " + t90, "  2"}));
  EXPECT_EQ(listed({}), std::vector<std::string>{" "});
}

// ---------------------------------------------------------------------------
// Comparison with gfortran through fmtref.

// One write: the shape names the item kinds as fmtref reads them ("head*tail":
// single items, then kinds repeated to the end), the fields hold the items.
struct Case {
  std::string shape, format;
  std::vector<std::string> fields;
};

std::string hex(double x) {
  char b[32];
  std::snprintf(b, sizeof b, "%016llX", static_cast<unsigned long long>(std::bit_cast<uint64_t>(x)));
  return b;
}

char kind_at(const std::string& shape, size_t k) {
  size_t star = shape.find('*');
  std::string head = shape.substr(0, star), tail = star == std::string::npos ? "" : shape.substr(star + 1);
  return k < head.size() ? head[k] : tail[(k - head.size()) % tail.size()];
}

Items items_of(const Case& c) {
  Items it;
  for (size_t k = 0; k < c.fields.size(); ++k) {
    const std::string& f = c.fields[k];
    switch (kind_at(c.shape, k)) {
      case 'R': it << std::bit_cast<double>(std::stoull(f, nullptr, 16)); break;
      case 'I': it << std::stoll(f); break;
      case 'L': it << (f == "T"); break;
      default: it << std::string_view(f); break;
    }
  }
  return it;
}

// Runs the cases through fmtref; one list of records per case.
std::vector<std::vector<std::string>> gfortran_records(const std::vector<Case>& cases) {
#ifdef FMTREF_EXE
  namespace fs = std::filesystem;
  const fs::path base = fs::temp_directory_path() / ("fmtref_" + std::to_string(::getpid()));
  const std::string in = base.string() + ".in", out = base.string() + ".out";
  {
    std::ofstream f(in);
    for (const Case& c : cases) {
      f << c.shape << '|' << c.format << '|';
      for (const std::string& s : c.fields) f << s << '|';
      f << '\n';
    }
  }
  const std::string cmd = std::string(FMTREF_EXE) + " < " + in + " > " + out;
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  std::vector<std::vector<std::string>> blocks(1);
  std::ifstream f(out);
  for (std::string line; std::getline(f, line);) {
    if (line == "@@END@@")
      blocks.emplace_back();
    else
      blocks.back().push_back(line);
  }
  blocks.pop_back();
  fs::remove(in);
  fs::remove(out);
  return blocks;
#else
  (void)cases;
  return {};
#endif
}

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// The case as fmtref reads it, with each real also in decimal.
std::string describe(const Case& c) {
  std::string s = c.shape + "|" + c.format + "|";
  for (size_t k = 0; k < c.fields.size(); ++k) {
    s += c.fields[k];
    if (c.shape == "LIST" || kind_at(c.shape, k) == 'R') {
      char b[40];
      std::snprintf(b, sizeof b, "(%.17g)", std::bit_cast<double>(std::stoull(c.fields[k], nullptr, 16)));
      s += b;
    }
    s += '|';
  }
  return s;
}

void expect_same_as_gfortran(const std::vector<Case>& cases) {
#ifndef FMTREF_EXE
  GTEST_SKIP() << "no Fortran compiler: comparison with gfortran skipped";
#endif
  const auto want = gfortran_records(cases);
  ASSERT_EQ(want.size(), cases.size()) << "fmtref did not answer every case";
  int failures = 0;
  for (size_t k = 0; k < cases.size(); ++k) {
    std::vector<std::string> got;
    if (cases[k].shape == "LIST")
      got.push_back(fio::listed_real(std::bit_cast<double>(std::stoull(cases[k].fields[0], nullptr, 16))));
    else
      fio::format_records(cases[k].format, items_of(cases[k]), got);
    std::vector<std::string> expected = want[k];
    if (cases[k].shape == "LIST")
      for (std::string& s : expected) s = trimmed(s);
    if (got != expected && ++failures <= 15) {
      std::string g, w;
      for (const auto& s : got) g += "[" + s + "]";
      for (const auto& s : expected) w += "[" + s + "]";
      ADD_FAILURE() << describe(cases[k]) << "\n   ours: " << g << "\n  gfortran: " << w;
    }
  }
  EXPECT_EQ(failures, 0) << "of " << cases.size() << " cases";
}

// Values that stress rounding, signs, magnitudes and the switch points of
// every G and E field with d significant digits.
std::vector<double> real_values(const std::vector<int>& digit_counts) {
  std::vector<double> v = {0.0, -0.0, 0.125, -0.125, 0.375, 0.625, 2.5, 3.5, -2.5, 0.5, -0.5, -0.4, -0.04,
                           -4e-4, -4.9e-5, 0.05, 0.95, 9.5, 99.5, 999.5, 0.45, 1, -1, 10, 100, 1e-300,
                           std::numeric_limits<double>::denorm_min(), DBL_MIN, DBL_MAX, -DBL_MAX, 1e100,
                           -1e100, 1e-100, 1e99, 9.99995e99, 1e-99, 1e-10, 1.0000000000000002, 0.1, 0.3,
                           1.0 / 3, -2.0 / 3, std::numbers::pi * 1e5, 1e16, 1e17, 99999999999999984.0, 123456789.123,
                           kInf, -kInf, kNaN, 1234.56789, -1234.56789, 0.099999999, 99999999.5, 1e8, 9999.5,
                           0.00049999, 0.0005, 0.00050001};
  std::mt19937_64 rng(20240611);
  // Exact binary ties: odd / 2^m has m decimals ending in 5.
  for (int m = 1; m <= 14; ++m)
    for (int r = 0; r < 3; ++r) {
      double x = static_cast<double>(2 * (rng() % 5000) + 1) / std::ldexp(1.0, m);
      v.push_back(r == 1 ? -x : x);
    }
  std::uniform_real_distribution<double> mant(1.0, 10.0);
  for (int k = 0; k < 160; ++k) {
    int e = static_cast<int>(rng() % 51) - 25;
    double x = mant(rng) * std::pow(10.0, e);
    v.push_back(rng() % 2 ? -x : x);
  }
  for (int k = 0; k < 60; ++k) {
    double x = static_cast<double>(rng() % 100000) / std::pow(10.0, static_cast<int>(rng() % 7));
    v.push_back(k % 2 ? -x : x);
  }
  for (int k = 0; k < 40; ++k) {
    double x = std::bit_cast<double>(rng());
    if (std::isfinite(x)) v.push_back(x);
  }
  // Where rounding to d digits carries into the next power of ten.
  for (int d : digit_counts)
    for (int p = -3; p <= d + 2; ++p) {
      double b = std::pow(10.0, p) * (1 - 0.5 * std::pow(10.0, -d));
      for (double x : {b, std::nextafter(b, 0.0), std::nextafter(b, kInf), std::nextafter(std::nextafter(b, kInf), kInf)})
        v.push_back(x);
      v.push_back(-b);
    }
  return v;
}

std::vector<Case> real_cases(const std::vector<std::string>& formats, const std::vector<int>& digit_counts) {
  std::vector<Case> cases;
  const std::vector<double> values = real_values(digit_counts);
  for (const std::string& f : formats)
    for (double x : values) cases.push_back({"*R", f, {hex(x)}});
  return cases;
}

TEST(AgainstGfortran, FixedPoint) {
  expect_same_as_gfortran(real_cases({"(F8.4)", "(F5.2)", "(F3.0)", "(F2.0)", "(F1.0)", "(F4.0)", "(F6.4)",
                                      "(F5.4)", "(F11.7)", "(F20.10)", "(F25.16)", "(F40.3)", "(F3.1)",
                                      "(f4.1)", "(F6.4,'!')"},
                                     {2, 4, 7}));
}

TEST(AgainstGfortran, Exponent) {
  expect_same_as_gfortran(real_cases({"(E12.4)", "(E9.4)", "(E10.4)", "(E11.4)", "(E12.4E3)", "(E12.4E1)",
                                      "(E14.5E4)", "(D12.4)", "(D18.12)", "(E25.17)", "(E8.1)", "(e30.20)",
                                      "(E6.4)", "(ES21.14)", "(ES10.3)", "(ES12.4E3)", "(ES9.4)",
                                      "(es8.1E1)"},
                                     {1, 4, 5, 12, 15, 17}));
}

TEST(AgainstGfortran, General) {
  expect_same_as_gfortran(real_cases({"(G25.18)", "(G15.8)", "(G10.3)", "(G12.4E3)", "(G5.1)", "(G8.2)",
                                      "(G9.3)", "(G14.7)", "(G30.17)", "(G7.1)", "(G12.5E1)", "(g6.1)",
                                      "(G11.4,'!')", "(G45.25)", "(G50.30)"},
                                     {1, 2, 3, 4, 5, 7, 8, 17, 18, 25, 30}));
}

TEST(AgainstGfortran, IntegersLogicalsAndTexts) {
  std::vector<Case> cases;
  std::vector<long long> ints = {0, 1, -1, 9, -9, 10, -10, 99, -99, 100, -100, 999, -999, 1000, -1000, 9999,
                                 -9999, 123456789, -2147483648LL, std::numeric_limits<long long>::max(),
                                 std::numeric_limits<long long>::min() + 1};
  std::mt19937_64 rng(7);
  for (int k = 0; k < 40; ++k) ints.push_back(static_cast<long long>(rng() >> (rng() % 63)) * (k % 2 ? -1 : 1));
  for (const char* f : {"(I4)", "(I1)", "(I3)", "(I5.3)", "(I5.0)", "(I20)", "(I8)", "(i2)", "(I0)", "(I4.4)"})
    for (long long i : ints) cases.push_back({"*I", f, {std::to_string(i)}});
  for (const char* f : {"(L1)", "(L3)", "('yion',l2)", "(2L2,'!')"})
    for (int n = 0; n <= 3; ++n) {
      Case c{"*L", f, {}};
      for (int k = 0; k < n; ++k) c.fields.push_back(k % 2 ? "F" : "T");
      cases.push_back(c);
    }
  for (const char* f : {"(A)", "(A1)", "(A3)", "(A10)", "(A3,'!',A)", "(1x,a)"})
    for (std::string t : {"a", "abc", "abcdef", " x y ", "theta xx "}) cases.push_back({"*A", f, {t, t}});
  expect_same_as_gfortran(cases);
}

// The program's own FORMATs with every item count around their line and
// group lengths: record layout, reversion and where output stops.
TEST(AgainstGfortran, ProgramFormatsAndReversion) {
  std::vector<Case> cases;
  auto counted = [&](const std::string& shape, const std::string& f, std::vector<std::string> head, int nmax,
                     auto tail_item) {
    for (int n = 0; n <= nmax; ++n) {
      Case c{shape, f, head};
      for (int k = 1; k <= n; ++k) tail_item(c, k);
      cases.push_back(c);
    }
  };
  auto integer = [](Case& c, int k) { c.fields.push_back(std::to_string(k * 37 % 1000 - 10)); };
  auto real = [](Case& c, int k) { c.fields.push_back(hex(std::sin(k) * std::pow(10.0, k % 5 - 2))); };
  auto letter = [](Case& c, int k) { c.fields.push_back(std::string(1, static_cast<char>('a' + k % 26))); };
  auto pair = [](Case& c, int k) {
    c.fields.push_back(std::to_string(k * 7 - 20));
    c.fields.push_back(k == 3 ? "=>" : "  ");
  };
  for (const char* f : {"(20i3)", "(10i4)", "(5(10i4,/))", "(20i4)", "(/,1X,10(6X,I2))",
                        "(i3,2(i3,'x'),'end')", "(i2,2/,i2)", "(i3/)", "(i3,:,' and ',i3)", "(I3 ,2 X, I3)",
                        "(i3,3x)", "('iadrv avant ecribl',10i8)",
                        "(/,'  nombre d''orbitales par symetrie avant gel',/  8i4)",
                        "(/,'  nombre d''orbitales gelees   ',                8i4)", "(2(2(i2,'.'),/))"})
    counted("*I", f, {}, 61, integer);
  for (const char* f : {"(/)", "(2/)", "('only text')", "(3x)"}) cases.push_back({"*I", f, {}});
  for (const char* f : {"(1X,A12,10(20I4,/))", "(a6,10(20i4,/))", "(a,2(i2,(i3)),i2)"})
    counted("A*I", f, {"occupees    "}, 45, integer);
  counted("A*I", "(A50,10I4)", {"norb     "}, 10, integer);
  counted("AIA*I", "(1X,A12,I4,A3,20I4,/,12(20X,20I4))", {"inactives   ", "7", "   "}, 45, integer);
  counted("*IA", "(1X,10(I3,A2))", {}, 25, pair);
  counted("I*R", "(3X,I2,10F8.4)", {"12"}, 10, real);
  counted("*R", "(10f8.4)", {}, 25, real);
  counted("*R", "(4D18.12)", {}, 9, real);
  counted("*R", "(5(1X,ES21.14))", {}, 11, real);
  for (const char* f : {"(1X,A4,7X,G25.18,3X,G15.8,3X,G25.18,1X)", "(1X,A9,2X,G25.18,3X,G15.8,3X,G25.18,1X)",
                        "( 1x , a4 , 7x , g25.18 , 3x , g15.8 , 3 x , G 25.18 )"})
    for (const char* label : {"mux", "muxx", "theta xx "}) counted("A*R", f, {label}, 3, real);
  for (const char* f : {"(a50,3X,F11.7,i8)", "(a35,15x,3X,F11.7,i8)"})
    for (double x : {0.0, -0.5, 0.70710678118654757, -12.345678951, 1234.5678})
      cases.push_back({"ARI", f, {"    1=>  2ab", hex(x), "17"}});
  cases.push_back({"AIL", "(a20,i8,l2)", {"adresses vides", "5", "T"}});
  for (const char* f : {"(80a1)", "(70a1)", "(' orbitales lues :', 40a1)"}) counted("*A", f, {}, 85, letter);
  for (int n = 0; n <= 3; ++n) {
    Case c{"*A", "(50(1x,a60))", {}};
    for (int k = 0; k < n; ++k) c.fields.push_back(std::string(59, static_cast<char>('a' + k)) + "!");
    cases.push_back(c);
  }
  expect_same_as_gfortran(cases);
}

TEST(AgainstGfortran, ListDirectedReals) {
  std::vector<Case> cases;
  std::vector<double> values = real_values({16, 17});
  for (int p = -20; p <= 20; ++p)
    for (double x : {std::pow(10.0, p), std::nextafter(std::pow(10.0, p), 0.0)}) values.push_back(x);
  values.insert(values.end(), {0.09999999999999999, 0.1, 1e17 - 16, 1e17, 123456789.123});
  for (double x : values) cases.push_back({"LIST", "", {hex(x)}});
  expect_same_as_gfortran(cases);
}

}  // namespace
