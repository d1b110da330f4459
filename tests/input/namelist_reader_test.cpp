// The card reader: finding a group on a unit, gathering its cards, the end
// markers, the echo, and the compact echo of unit 75.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "core/print.hpp"
#include "fortio/format.hpp"
#include "fortio/namelist_out.hpp"
#include "fortio/stop.hpp"
#include "input/namelist.hpp"
#include "support/run_in_dir.hpp"

namespace {

using ciprop::kGroupCapacity;

struct ReaderTest : ::testing::Test {
  test::ScratchDir dir;
  std::ostringstream out, err;
  std::istringstream in;
  std::unique_ptr<ciprop::Run> run = std::make_unique<ciprop::Run>(out, in, err);

  // Writes the cards to a file and opens it on unit 93.
  void cards(const std::string& text) {
    dir.write("BID93", text);
    run->io.open(ciprop::kUnitInput, (dir.path() / "BID93").string(), fio::Status::Old,
                 fio::Form::Formatted);
  }
  // The gathered text without its trailing blanks; the rest must be blank.
  std::string read(std::string_view group, int* ierr = nullptr, int iprint = 0) {
    std::string text;
    int e = -1;
    ciprop::lecnam(*run, group, text, ciprop::kUnitInput, e, iprint);
    if (ierr) *ierr = e;
    EXPECT_EQ(text.size(), size_t(kGroupCapacity));
    return text.substr(0, text.find_last_not_of(' ') + 1);
  }
  fio::StopRun stop_of(std::string_view group) {
    try {
      read(group);
    } catch (const fio::StopRun& s) {
      return s;
    }
    ADD_FAILURE() << "the reader did not stop";
    try {
      fio::stop_run(run->io, -1, "", "no stop");
    } catch (const fio::StopRun& s) {
      return s;
    }
  }
};

TEST_F(ReaderTest, GathersUpperCaseOutsideApostrophesWithoutBlanks) {
  cards("&rofil prefix='Run/A b'\n &end\n&RHO vrt=\"Run/A b\" /\n");
  EXPECT_EQ(read("&ROFIL"), "PREFIX='Run/A b',");
  EXPECT_EQ(read("&RHO"), "VRT=\"RUN/A B\",");
}

TEST_F(ReaderTest, SkipsCardsBeforeTheGroupAndFindsItAnywhereOnACard) {
  cards("junk a=1\n &RHC x=1\n   some text &RHO nprint=2,\n  numac=1 2 3\n&end\n");
  EXPECT_EQ(read("&RHO"), "NPRINT=2,NUMAC=123,");
}

TEST_F(ReaderTest, EndMarkersOnTheirOwnCardOrAfterData) {
  // A marker right after a value gives the same text as a marker alone.
  cards("&RHO A=1\n&END\n&RHO A=1 &END\n&RHO A=1 $end\n&RHO A=1 /\n");
  for (int k = 0; k < 4; ++k) EXPECT_EQ(read("&RHO"), "A=1,") << k;
}

TEST_F(ReaderTest, AGroupNameAloneOnItsCardGathersItsComma) {
  // The name card is made to end in a separator like any other card.
  cards("&RHO\n A=1\n /\n");
  EXPECT_EQ(read("&RHO"), ",A=1,");
}

TEST_F(ReaderTest, AnEndMarkerIsTakenToBeTheLastThingOnItsCard) {
  // From three columns before the last non-blank the card is blanked: the
  // marker itself stays and the text after it is lost.
  cards("&RHO X=2\nA=1 &END B=2\n&RHC Y=3 / Z=4\n /\n");
  EXPECT_EQ(read("&RHO"), "X=2,A=1&END,");
  // A "/" that is not the last non-blank does not end the group.
  EXPECT_EQ(read("&RHC"), "Y=3/Z=4,");
}

TEST_F(ReaderTest, BlankCardsAddNothingAndNeverEndAGroup) {
  cards("&VRT noac=2,\n\n          \n numac=\n3,4\n&end\n");
  EXPECT_EQ(read("&VRT"), "NOAC=2,NUMAC=3,4,");
}

TEST_F(ReaderTest, MissingGroupLeavesTheUnitAtItsEnd) {
  // Groups on one unit are found only in the order in which they stand.
  cards("&RHC A=1 /\n&RHO B=2 /\n");
  int ierr = -1;
  EXPECT_EQ(read("&RHO", &ierr), "B=2,");
  EXPECT_EQ(ierr, 0);
  EXPECT_EQ(read("&RHC", &ierr), "");
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(read("&COST", &ierr), "");
  EXPECT_EQ(ierr, 1);
  EXPECT_EQ(out.str(), "");
}

TEST_F(ReaderTest, ColumnEightyMustBeBlankOrACommaAndNothingMayFollowIt) {
  // Blanks beyond column 80 are no text; a card must end in a separator.
  std::string ok = "&RHO A=1";
  ok.resize(79, ' ');
  std::string bad = ok + "X";
  cards(ok + "     \n /\n" + bad + "\n /\n" + ok + " ZZ\n /\n");
  EXPECT_EQ(read("&RHO"), "A=1,");
  fio::StopRun s = stop_of("&RHO");
  EXPECT_EQ(s.status, fio::kStatusError);
  EXPECT_EQ(out.str(), " " + bad + "\n ligne de 80 caracteres sans vigule a la fin\n");
  EXPECT_EQ(s.reason, "line 3 of standard input fills all 80 columns and does not end in a comma; "
                      "end it with a comma, or break it after one");
  // Text beyond column 80 would be lost.
  s = stop_of("&RHO");
  EXPECT_EQ(s.reason, "line 5 of standard input has 82 characters; a namelist card is read in its "
                      "first 80 columns and the text beyond them would be lost: break the line "
                      "after a comma");
}

TEST_F(ReaderTest, EndOfUnitInsideAGroupIsAnInputOutputError) {
  cards("&RHO A=1,\nB=2,\n");
  const fio::StopRun s = stop_of("&RHO");
  EXPECT_EQ(s.status, fio::kStatusIoError);
  EXPECT_EQ(err.str(), "ciprop: standard input ends inside the group &RHO, which has no end "
                       "(&END, $END or a final /); close the group\n");
}

TEST_F(ReaderTest, CapacityIsExactlyFiveThousandTwoHundredEighty) {
  // 75 characters from the name card, 65 full cards of 80, then 5 more.
  std::string full = "&RHO " + std::string(74, 'A') + ",\n";
  for (int k = 0; k < 65; ++k) full += std::string(79, 'A') + ",\n";
  cards(full + "BBBB,\n/\n" + full + "BBBBB,\n/\n");
  const std::string text = read("&RHO");
  ASSERT_EQ(text.size(), size_t(kGroupCapacity));
  EXPECT_EQ(text.substr(kGroupCapacity - 6), ",BBBB,");
  const fio::StopRun s = stop_of("&RHO");
  EXPECT_EQ(s.status, fio::kStatusError);
  EXPECT_EQ(out.str(), "     *** TOO MANY CHARACTERS IN NAMELIST    &RHO ** STOP **\n");
}

TEST_F(ReaderTest, EchoShowsTheGatheredTextInPiecesOfSixty) {
  cards("&ROFIL prefix='p', " + std::string(50, ' ') + "\n vrt='" + std::string(50, 'v') +
        "' /\n");
  read("&ROFIL", nullptr, 1);
  const std::string text = "PREFIX='p',VRT='" + std::string(50, 'v') + "',";
  EXPECT_EQ(out.str(),
            "  \n"
            " =============== NAMELIST  &ROFIL ==( en donnee )==============\n"
            " " + text.substr(0, 60) + "\n"
            " " + text.substr(60) + std::string(120 - text.size(), ' ') + "\n"
            " " + std::string(60, '=') + "\n"
            "  \n");
}

TEST(CardHelpers, MajnamKeepsColumnOneAndApostropheStrings) {
  std::string card = "a b='x y'c \"d\" 'e";
  ciprop::majnam(card, static_cast<int>(card.size()));
  EXPECT_EQ(card, "a B='x y'C \"D\" 'e");
  std::string s = "az{`AZ09";
  ciprop::maj(s.data(), 6);
  EXPECT_EQ(s, "AZ{`AZ09");
}

struct EchoTest : ReaderTest {
  void SetUp() override {
    run->io.open(ciprop::kUnitListing, (dir.path() / "BID75").string(), fio::Status::Unknown,
                 fio::Form::Formatted);
  }
  std::vector<std::string> shown() { return test::split_lines(out.str()); }
};

TEST_F(EchoTest, CompactEchoDropsBlanksAndBreaksAfterACommaOrBlank) {
  const int numac[16] = {3, 4, 7, 8};
  fio::NamelistOut(run->io, ciprop::kUnitListing, "VRT")
      .add("NOAC", 4)
      .add("NUMAC", std::span<const int>(numac))
      .add("NELAC", 4)
      .add("GENER", "DDCI")
      .add("TWVEC", 0.05)
      .add("YCL", true)
      .end();
  ciprop::scrinam(*run, "NAMELIST VRT");
  const std::string coll =
      " &VRT NOAC=4, NUMAC=3,4,7,8,12*0, NELAC=4, GENER=\"DDCI\", "
      "TWVEC=" + fio::listed_real(0.05) + ", YCL=T, / ";
  // The first line ends at the first blank or comma after 51 characters.
  const size_t cut = coll.find_first_of(" ,", 51) + 1;
  EXPECT_EQ(shown(), (std::vector<std::string>{
                         "  ",
                         " ===================== NAMELIST VRT    ======================",
                         " " + coll.substr(0, cut), " " + coll.substr(cut),
                         " " + std::string(60, '='), "  "}));
  // Unit 75 is left rewound for the next stage.
  std::string first;
  ASSERT_TRUE(run->io.read_line(ciprop::kUnitListing, first));
  EXPECT_EQ(first, "&VRT");
}

TEST_F(EchoTest, CompactEchoCutsTheTitleAndLongRunsAtSeventyThree) {
  run->io.write_line(ciprop::kUnitListing, std::string(100, 'x'));
  ciprop::scrinam(*run, "NAMELIST RHO,RHC");
  const std::vector<std::string> lines = shown();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[1], " ===================== NAMELIST RHO,RH ======================");
  EXPECT_EQ(lines[2], " " + (" " + std::string(72, 'x')));
  EXPECT_EQ(lines[3], " " + (std::string(28, 'x') + " "));
}

TEST_F(EchoTest, CompactEchoShowsALongCharacterValueWhole) {
  const std::string name(80, 'n');
  fio::NamelistOut(run->io, ciprop::kUnitListing, "ROFIL").add("PREFIX", name).end();
  ciprop::scrinam(*run, "NAMELIST ROFIL");
  std::string joined;
  for (const std::string& l : shown()) joined += l.substr(1);
  EXPECT_NE(joined.find("PREFIX=\"" + name + "\","), std::string::npos);
}

}  // namespace
