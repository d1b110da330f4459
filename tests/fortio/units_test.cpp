// Units: records as gfortran lays them out, and errors that name unit and file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "fortio/stop.hpp"
#include "fortio/units.hpp"

namespace {

namespace fs = std::filesystem;

struct UnitsTest : ::testing::Test {
  std::ostringstream out, err;
  std::istringstream in;
  fio::Units io{out, in, err};
  fs::path dir = fs::temp_directory_path() / ("units_test_" + std::to_string(::getpid()));
  void SetUp() override {
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  void TearDown() override {
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
  }
  std::string bytes(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
  }
};

TEST_F(UnitsTest, UnformattedRecordIsFramedByLittleEndianLengths) {
  io.open(61, "detb", fio::Status::Unknown, fio::Form::Unformatted);
  int n[2] = {3, -1};
  io.write_record(61, n, sizeof n);
  io.close(61);
  const std::string b = bytes("detb");
  ASSERT_EQ(b.size(), 16u);
  EXPECT_EQ(b.substr(0, 4), std::string("\x08\0\0\0", 4));
  EXPECT_EQ(b.substr(4, 4), std::string("\x03\0\0\0", 4));
  EXPECT_EQ(b.substr(8, 4), std::string("\xff\xff\xff\xff", 4));
  EXPECT_EQ(b.substr(12, 4), std::string("\x08\0\0\0", 4));
}

TEST_F(UnitsTest, ReadingFewerItemsThanTheRecordHoldsSkipsTheRest) {
  io.open(10, "v", fio::Status::Unknown, fio::Form::Unformatted);
  double x[3] = {1, 2, 3}, y = 7;
  io.write_record(10, x, sizeof x);
  io.write_record(10, &y, sizeof y);
  io.rewind(10);
  double got = 0;
  io.read_record(10, &got, sizeof got);
  EXPECT_EQ(got, 1.0);
  io.read_record(10, &got, sizeof got);
  EXPECT_EQ(got, 7.0);
}

TEST_F(UnitsTest, ShortOrMissingRecordIsAnErrorNamingUnitAndFile) {
  io.open(11, "davecb", fio::Status::Unknown, fio::Form::Unformatted);
  int one = 1;
  io.write_record(11, &one, sizeof one);
  io.rewind(11);
  double d[2];
  try {
    io.read_record(11, d, sizeof d);
    FAIL() << "short record accepted";
  } catch (const fio::StopRun& s) {
    EXPECT_NE(s.status, 0);
    EXPECT_NE(err.str().find("unit 11"), std::string::npos);
    EXPECT_NE(err.str().find("davecb"), std::string::npos);
  }
  err.str("");
  io.rewind(11);
  io.skip_record(11);
  EXPECT_THROW(io.read_record(11, d, 4), fio::StopRun);
  EXPECT_NE(err.str().find("end of file"), std::string::npos);
}

TEST_F(UnitsTest, OpeningAMissingOldFileStopsWithItsName) {
  try {
    io.open(45, "Info", fio::Status::Old, fio::Form::Formatted);
    FAIL();
  } catch (const fio::StopRun& s) {
    EXPECT_EQ(s.status, fio::kStatusIoError);
    EXPECT_NE(err.str().find("unit 45, file 'Info'"), std::string::npos);
  }
  EXPECT_FALSE(io.try_open(45, "Info", fio::Status::Old, fio::Form::Formatted));
}

TEST_F(UnitsTest, WriteAfterRewindMakesTheNewRecordTheLast) {
  io.open(75, "BID75", fio::Status::Unknown, fio::Form::Formatted);
  io.write_line(75, "first long record");
  io.write_line(75, "second");
  io.rewind(75);
  io.write_line(75, "new");
  io.rewind(75);
  std::string line;
  ASSERT_TRUE(io.read_line(75, line));
  EXPECT_EQ(line, "new");
  EXPECT_FALSE(io.read_line(75, line));
}

// A determinant list of a few megabytes in kilobyte records, far more than
// one stream buffer holds: read half-way, a write there makes its record the
// last, and everything reaches the file at close.
TEST_F(UnitsTest, ALongListOfRecordsSurvivesAWriteInTheMiddle) {
  constexpr int kRecords = 3000, kWords = 256;
  std::vector<int> rec(kWords);
  io.open(60, "deta", fio::Status::Unknown, fio::Form::Unformatted);
  for (int r = 0; r < kRecords; ++r) {
    for (int w = 0; w < kWords; ++w) rec[w] = r * kWords + w;
    io.write_record(60, rec.data(), sizeof(int) * kWords);
  }
  io.rewind(60);
  for (int r = 0; r < kRecords / 2; ++r) io.read_record(60, rec.data(), sizeof(int) * kWords);
  EXPECT_EQ(rec[kWords - 1], (kRecords / 2) * kWords - 1);
  const int last = -7;
  io.write_record(60, &last, sizeof last);
  io.close(60);
  EXPECT_EQ(fs::file_size("deta"), (kRecords / 2) * (8u + sizeof(int) * kWords) + 12u);

  io.open(60, "deta", fio::Status::Old, fio::Form::Unformatted);
  for (int r = 0; r < kRecords / 2; ++r) {
    io.read_record(60, rec.data(), sizeof(int) * kWords);
    ASSERT_EQ(rec[0], r * kWords);
    ASSERT_EQ(rec[kWords - 1], r * kWords + kWords - 1);
  }
  int got = 0;
  io.read_record(60, &got, sizeof got);
  EXPECT_EQ(got, last);
  std::size_t len = 0;
  EXPECT_FALSE(io.try_read_record(60, rec.data(), sizeof(int) * kWords, &len));
}

TEST_F(UnitsTest, CardsAreCutOrPaddedToEightyColumns) {
  {
    std::ofstream f("cards");
    f << std::string(85, 'x') << "\nab\n";
  }
  io.open(4, "cards", fio::Status::Old, fio::Form::Formatted);
  std::string card;
  ASSERT_TRUE(io.read_card(4, card));
  EXPECT_EQ(card, std::string(80, 'x'));
  ASSERT_TRUE(io.read_card(4, card));
  EXPECT_EQ(card, "ab" + std::string(78, ' '));
  EXPECT_FALSE(io.read_card(4, card));
}

}  // namespace

namespace {

// Runs f and returns what it wrote on standard error when it stopped the
// run with an input/output error.
template <class F>
std::string io_error_of(std::ostringstream& err, F f) {
  try {
    f();
  } catch (const fio::StopRun& s) {
    EXPECT_EQ(s.status, fio::kStatusIoError);
    return err.str();
  }
  ADD_FAILURE() << "no stop";
  return "";
}

TEST_F(UnitsTest, DataThatCannotReachTheDiskIsAnErrorAtFlushAndClose) {
  // /dev/full takes every open and refuses every write with "no space": the
  // write fails where the buffer goes to the file, with the system's reason.
  io.open(84, "/dev/full", fio::Status::Unknown, fio::Form::Unformatted);
  int block[4] = {1, 2, 3, 4};
  io.write_record(84, block, sizeof block);  // still in the buffer
  std::string e = io_error_of(err, [&] { io.rewind(84); });
  EXPECT_NE(e.find("ciprop: input/output error on unit 84, file '/dev/full': write failed: No "
                   "space left on device"),
            std::string::npos) << e;

  err.str("");
  io.open(3, "/dev/full", fio::Status::Unknown, fio::Form::Formatted);
  io.write_line(3, "&RHO NPRINT=0 &END");
  e = io_error_of(err, [&] { io.close_all(); });
  EXPECT_NE(e.find("unit 3, file '/dev/full': close failed: No space left on device"),
            std::string::npos) << e;
}

TEST_F(UnitsTest, ALineWithoutEndIsCappedInsteadOfGrowingForever) {
  io.open(1, "/dev/zero", fio::Status::Unknown, fio::Form::Formatted);
  std::string line;
  const std::string e = io_error_of(err, [&] { io.read_line(1, line); });
  EXPECT_NE(e.find("file '/dev/zero': line 1 is longer than 65536 characters"), std::string::npos)
      << e;

  std::istringstream zeros(std::string(70000, '0'));
  fio::Units stdin_io{out, zeros, err};
  err.str("");
  EXPECT_NE(io_error_of(err, [&] { stdin_io.read_line(5, line); }).find("unit 5"),
            std::string::npos);
}

}  // namespace
