// The value decoders: key search, lists, repeat counts and subscripts, the
// reading of reals, character values, and every error text and stop code.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <sstream>

#include "fortio/stop.hpp"
#include "input/namelist.hpp"

namespace {

using ciprop::kGroupCapacity;

// x to the n by repeated squaring, as Fortran's x**n for an integer n: the
// squares x, x^2, x^4 ... of the set bits of n multiplied in, lowest first.
double squared_power(double x, int n) {
  double product = 1.0;
  for (double square = x; n > 0; n /= 2, square *= square)
    if (n % 2) product *= square;
  return product;
}

double from_bits(uint64_t u) {
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct DecodeTest : ::testing::Test {
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run = std::make_unique<ciprop::Run>(out, in, err);
  std::string text;

  // A gathered group text of the usual capacity.
  void group(const std::string& items) {
    text = items;
    text.resize(kGroupCapacity, ' ');
  }
  std::string left() const { return text.substr(0, text.find_last_not_of(' ') + 1); }
  int integer(std::string_view key, int dflt = -7) {
    ciprop::nameli(*run, text, dflt, key);
    return dflt;
  }
  double real(const std::string& items) {
    group(items);
    double x = -1;
    ciprop::nameld(*run, text, x, "TWVEC");
    return x;
  }
  template <class F>
  fio::StopRun stop_of(F f) {
    try {
      f();
    } catch (const fio::StopRun& s) {
      return s;
    }
    ADD_FAILURE() << "the decoder did not stop";
    try {
      fio::stop_run(run->io, -1, "", "no stop");
    } catch (const fio::StopRun& s) {
      return s;
    }
  }
};

TEST_F(DecodeTest, KeysAreFoundOnlyBeforeABlankParenthesisOrEquals) {
  group("INFO1='a',INFO='b',NPRINT=1,NPRINT=2,NOAC=5,X=3,");
  char info[1], info1[1];
  ciprop::namela(*run, text, info, "info", 1, 1);
  ciprop::namela(*run, text, info1, "INFO1", 1, 1);
  EXPECT_EQ(info[0], 'b');
  EXPECT_EQ(info1[0], 'a');
  // Every occurrence is processed, in order; an absent key keeps its value.
  EXPECT_EQ(integer("NPRINT"), 2);
  EXPECT_EQ(integer("NDET"), -7);
  // The character in front of a key is not looked at.
  EXPECT_EQ(integer("AC"), 5);
  // Processed items are blanked from where the key matched; numeric items
  // leave their comma.
  EXPECT_EQ(left(), std::string(27, ' ') + "," + std::string(8, ' ') + ",NO    ,X=3,");
}

TEST_F(DecodeTest, KeysMayBeDecodedInAnyOrder) {
  // What a decoded item leaves behind is no value of the item in front of it,
  // even when that item's last value has no comma of its own.
  group("NGEL=1,2,NDEL=3,NOAC=,NPRINT=4,NUMAC(2)=5,MS2=6,NUMERO=7,8ISX=9,YCL=TISY=1,");
  ciprop::Arr1<int, 1, 8> ngel, ndel;
  ciprop::Arr1<int, 1, 17> numac;
  ciprop::Arr1<int, 1, 2> numero;
  bool ycl = false;
  EXPECT_EQ(integer("NPRINT"), 4);
  ciprop::nameli(*run, text, ndel, "NDEL");
  EXPECT_EQ(integer("NOAC"), 0);
  ciprop::nameli(*run, text, ngel, "NGEL");
  EXPECT_EQ(ndel(1), 3);
  EXPECT_EQ(std::vector<int>(ngel.v.begin(), ngel.v.begin() + 3), (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(integer("MS2"), 6);
  ciprop::nameli(*run, text, numac, "NUMAC");
  EXPECT_EQ(numac(2), 5);
  EXPECT_EQ(integer("ISX"), 9);
  ciprop::nameli(*run, text, numero, "NUMERO");
  EXPECT_EQ(numero(2), 8);
  EXPECT_EQ(integer("ISY"), 1);
  ciprop::namell(*run, text, ycl, "YCL");
  EXPECT_TRUE(ycl);
  // A key glued to the "=" of the one in front leaves that one without value.
  group("NOAC=NDEL=1,");
  ciprop::nameli(*run, text, ndel, "NDEL");
  EXPECT_EQ(stop_of([&] { integer("NOAC"); }).status, 210);
}

TEST_F(DecodeTest, ListsRepeatCountsAndSubscripts) {
  group("NUMAC=3,4,7,NGEL=2*1,0,3,NUMAC(2)=9,NOAC=,NDEL=0*5,2,");
  ciprop::Arr1<int, 1, 17> numac;
  ciprop::Arr1<int, 1, 8> ngel, ndel;
  ciprop::nameli(*run, text, numac, "NUMAC");
  ciprop::nameli(*run, text, ngel, "NGEL");
  ciprop::nameli(*run, text, ndel, "NDEL");
  EXPECT_EQ(std::vector<int>(numac.v.begin(), numac.v.begin() + 4), (std::vector<int>{3, 9, 7, 0}));
  EXPECT_EQ(std::vector<int>(ngel.v.begin(), ngel.v.begin() + 5), (std::vector<int>{1, 1, 0, 3, 0}));
  // A repeat count of zero stores nothing: the next value goes to element 1.
  EXPECT_EQ(ndel(1), 2);
  // An empty value is 0.
  EXPECT_EQ(integer("NOAC"), 0);
}

TEST_F(DecodeTest, SignedValuesAndAValuePartEndingBeforeTheNextKey) {
  // The value part runs to the last comma before the next "=".
  group("NUMAC=1,2,3,+4,-5,NOAC=2,");
  ciprop::Arr1<int, 1, 17> numac;
  ciprop::nameli(*run, text, numac, "NUMAC");
  EXPECT_EQ(std::vector<int>(numac.v.begin(), numac.v.begin() + 6),
            (std::vector<int>{1, 2, 3, 4, -5, 0}));
  EXPECT_EQ(integer("NOAC"), 2);
}

TEST_F(DecodeTest, TwoByteIntegersFourByteLogicalsAndSinglePrecisionReals) {
  group("I=2*-300,L=.TRUE.,F,R=0.1,");
  int16_t i[3] = {0, 0, 9};
  int32_t l[2] = {7, 7};
  float r = 0;
  ciprop::nameli(*run, text, i, "I", 2, 2);
  ciprop::namell(*run, text, l, "L", 4, 2);
  ciprop::nameld(*run, text, &r, "R", 4, 1);
  EXPECT_EQ(i[0], -300);
  EXPECT_EQ(i[1], -300);
  EXPECT_EQ(i[2], 9);
  EXPECT_EQ(l[0], 1);
  EXPECT_EQ(l[1], 0);
  EXPECT_EQ(r, static_cast<float>(squared_power(0.1, 1) * 1.0));
}

TEST_F(DecodeTest, LogicalsAreTrueWithATAndFalseWithAnF) {
  bool y = false;
  for (const char* v : {"T", ".TRUE.", "TRUE"}) {
    group(std::string("YCL=") + v + ",");
    ciprop::namell(*run, text, y, "YCL");
    EXPECT_TRUE(y) << v;
  }
  group("YCL=.FALSE.,");
  ciprop::namell(*run, text, y, "YCL");
  EXPECT_FALSE(y);
  group("YCL=X,");
  const fio::StopRun s = stop_of([&] { ciprop::namell(*run, text, y, "YCL"); });
  EXPECT_EQ(s.status, fio::kStatusError);
  EXPECT_EQ(out.str(), "  ERRORE NELLA LETTURA DI UN LOGICO\n");
}

TEST_F(DecodeTest, RealsAreBuiltByRepeatedSquaringOfTenAndOneTenth) {
  const double five_thousandths = squared_power(0.1, 3) * 5.0;
  EXPECT_TRUE(same_bits(real("TWVEC=5D-3,"), five_thousandths));
  EXPECT_TRUE(same_bits(real("TWVEC=0.005,"), five_thousandths));
  EXPECT_TRUE(same_bits(real("TWVEC=5E-3,"), five_thousandths));
  EXPECT_EQ(real("TWVEC=-.5E1,"), -5.0);
  EXPECT_TRUE(same_bits(real("TWVEC=12.375D+17,"),
                        squared_power(0.1, 3) * 12375.0 * squared_power(10.0, 17)));
  EXPECT_TRUE(same_bits(real("TWVEC=1.0E-22,"),
                        squared_power(0.1, 1) * 10.0 * squared_power(0.1, 22)));
  // 0.1d0**22 and 10d0**17 as gfortran computes them.
  EXPECT_TRUE(same_bits(squared_power(0.1, 22), from_bits(0x3B5E392010175EF9)));
  EXPECT_TRUE(same_bits(squared_power(10.0, 17), from_bits(0x4376345785D8A000)));
  EXPECT_EQ(real("TWVEC=,"), 0.0);
  EXPECT_EQ(real("TWVEC=&7.,"), 7.0);
}

TEST_F(DecodeTest, ABadCharacterIsMarkedInTheWholeText) {
  // A list after a subscript is decoded as one value; its comma is refused.
  group("NUMAC(2)=9,10,");
  ciprop::Arr1<int, 1, 17> numac;
  const fio::StopRun s = stop_of([&] { ciprop::nameli(*run, text, numac, "NUMAC"); });
  EXPECT_EQ(s.status, 211);
  EXPECT_EQ(s.shown, "STOP 211");
  EXPECT_EQ(out.str(), "\n"
                       "    === ERREUR DANS LA LECTURE D'UN ENTIER\n"
                       "\n"
                       "   9,10," + std::string(75, ' ') + "\n"
                       "   ----------*" + std::string(69, ' ') + "\n");
}

TEST_F(DecodeTest, ASecondDecimalPointIsABadRealCharacter) {
  group(std::string(90, ' ') + "TWVEC=1.2.3,");
  double x;
  const fio::StopRun s = stop_of([&] { ciprop::nameld(*run, text, x, "TWVEC"); });
  EXPECT_EQ(s.status, 211);
  // The field starts at the value; beyond column 80 the marker is all dashes.
  EXPECT_EQ(out.str(), "\n"
                       "    === ERREUR DANS LA LECTURE D'UN REEL  \n"
                       "\n"
                       "   1.2.3," + std::string(74, ' ') + "\n"
                       "   " + std::string(80, '-') + "\n");
}

TEST_F(DecodeTest, AnIntegerBeyondFourBytesIsRefused) {
  group("N=2147483647,M=2147483648,K=-00000000000000000012,");
  EXPECT_EQ(integer("N"), 2147483647);
  EXPECT_EQ(integer("K"), -12);
  const fio::StopRun s = stop_of([&] { integer("M"); });
  EXPECT_EQ(s.status, 211);
  EXPECT_NE(out.str().find("ENTIER"), std::string::npos);
}

TEST_F(DecodeTest, ItemErrorNamesTheKeyAndShowsTheTextFromIt) {
  group("NPRINT=1");
  const fio::StopRun s = stop_of([&] { integer("NPRINT"); });
  EXPECT_EQ(s.status, 210);
  EXPECT_EQ(s.shown, "STOP 210");
  EXPECT_EQ(out.str(), "     *** ERREUR EN LISANT LA VARIABLE NPRINT DANS NPRINT=1" +
                           std::string(72, ' ') + " ***   STOP ***\n");
  group("A=1B=2,");
  out.str("");
  EXPECT_EQ(stop_of([&] { integer("A"); }).status, 210);
  EXPECT_EQ(out.str().substr(0, 50), "     *** ERREUR EN LISANT LA VARIABLE      A DANS ");
}

TEST_F(DecodeTest, UnacceptedElementSizes) {
  int x[2];
  const struct {
    int (*decode)(ciprop::Run&, std::string&, void*, std::string_view, int, int);
    const char* items;
    const char* shown;
  } cases[] = {{ciprop::nameli, "A=1,", "  il valore 3 per un intero e' intoller         abile\n"},
               {ciprop::namell, "A=T,", "  il valore 3 per un logico e' intollerabi      le\n"},
               {ciprop::nameld, "A=1,", "  il valore 3 per un reale e' intollerabil      e\n"}};
  for (const auto& c : cases) {
    out.str("");
    group(c.items);
    EXPECT_EQ(stop_of([&] { c.decode(*run, text, x, "A", 3, 2); }).status, fio::kStatusError);
    EXPECT_EQ(out.str(), c.shown);
  }
}

TEST_F(DecodeTest, StoresBeyondTheTargetAreRefused) {
  group("NUMAC=1,2,3,4,");
  int numac[4] = {0, 0, 0, -1};
  const fio::StopRun s = stop_of([&] { ciprop::nameli(*run, text, numac, "NUMAC", 4, 3); });
  EXPECT_NE(s.status, 0);
  EXPECT_EQ(out.str(), " namelist: too many values for key NUMAC (capacity 3)\n");
  EXPECT_EQ(numac[2], 3);
  EXPECT_EQ(numac[3], -1);
  for (const char* items : {"NUMAC(4)=9,", "NUMAC(0)=9,", "NUMAC(-1)='x',", "NUMAC=4*'x',"}) {
    group(items);
    out.str("");
    const bool chars = std::strchr(items, '\'') != nullptr;
    char names[4] = {0, 0, 0, 'g'};
    EXPECT_NE(stop_of([&] {
                if (chars)
                  ciprop::namela(*run, text, names, "NUMAC", 1, 3);
                else
                  ciprop::nameli(*run, text, numac, "NUMAC", 4, 3);
              }).status,
              0);
    EXPECT_NE(out.str().find("key NUMAC"), std::string::npos) << out.str();
    EXPECT_EQ(numac[3], -1);
    EXPECT_EQ(names[3], 'g');
  }
  group("NUMAC(4)=9,");
  out.str("");
  stop_of([&] { ciprop::nameli(*run, text, numac, "NUMAC", 4, 3); });
  EXPECT_EQ(out.str(), " namelist: subscript 4 out of range 1 to 3 for key NUMAC\n");
}

TEST_F(DecodeTest, CharacterValuesArePaddedCutOrRefused) {
  ciprop::FChar<4> gener;
  group("GENER='MR',");
  ciprop::namela(*run, text, gener, "GENER");
  EXPECT_EQ(gener.view(), "MR  ");
  // Up to L+1 characters are accepted and cut; L+2 are refused.
  char name[80];
  group("PREFIX='" + std::string(80, 'a') + "b',");
  ciprop::namela(*run, text, name, "PREFIX", 80, 1);
  EXPECT_EQ(std::string(name, 80), std::string(80, 'a'));
  group("PREFIX='" + std::string(82, 'a') + "',");
  EXPECT_EQ(stop_of([&] { ciprop::namela(*run, text, name, "PREFIX", 80, 1); }).status, 212);
  group("PREFIX(1)='" + std::string(82, 'a') + "',");
  EXPECT_EQ(stop_of([&] { ciprop::namela(*run, text, name, "PREFIX", 80, 1); }).status, 211);
  group("PREFIX=1,");
  out.str("");
  EXPECT_EQ(stop_of([&] { ciprop::namela(*run, text, name, "PREFIX", 80, 1); }).status, 210);
  EXPECT_EQ(out.str().substr(0, 56), "     *** ERREUR EN LISANT LA VARIABLE PREFIX DANS PREFIX");
}

TEST_F(DecodeTest, CharacterListsEndWhereNoValueFollows) {
  // The list ends at the "D" after the first separator: DETA is left alone.
  group("PREFIX='a',DETA='b',");
  char prefix[1];
  ciprop::namela(*run, text, prefix, "PREFIX", 1, 1);
  EXPECT_EQ(prefix[0], 'a');
  EXPECT_EQ(left(), std::string(11, ' ') + "DETA='b',");
  // A key without a quoted value takes the next quoted value in the text.
  group("VRT1=,VRT='x',");
  char vrt1[2] = {'-', '-'}, vrt[2] = {'-', '-'};
  ciprop::namela(*run, text, vrt1, "VRT1", 2, 1);
  ciprop::namela(*run, text, vrt, "VRT", 2, 1);
  EXPECT_EQ(std::string(vrt1, 2), "x ");
  EXPECT_EQ(std::string(vrt, 2), "--");
}

TEST_F(DecodeTest, CharacterListsWithRepeatCountsAndBothQuotes) {
  // The quote that opens an item's first value is the only one of the item.
  group("N=2*'ab','CD',2*'e',N(6)=\"Z'\",N(5)='x',\"y\",");
  char n[6 * 3];
  std::memset(n, '.', sizeof n);
  ciprop::namela(*run, text, n, "N", 3, 6);
  EXPECT_EQ(std::string(n, sizeof n), "ab ab CD e  x  Z' ");
  // A repeat count of zero or less stores nothing and ends the item.
  group("N=0*'x','y',");
  std::memset(n, '.', sizeof n);
  ciprop::namela(*run, text, n, "N", 3, 6);
  EXPECT_EQ(n[0], '.');
  EXPECT_EQ(left(), std::string(8, ' ') + "'y',");
  group("N='a',0*'x','y',");
  ciprop::namela(*run, text, n, "N", 3, 6);
  EXPECT_EQ(std::string(n, 6), "a  ...");
}

}  // namespace
