// The large arrays of the run state: zero in every new run state, whatever
// memory an earlier one left behind, copied by value with their record, and
// subscripts checked in the checking build as for any record array.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "core/run_state.hpp"

namespace {

struct Streams {
  std::ostringstream out, err;
  std::istringstream in;
};

std::unique_ptr<ciprop::Run> new_run(Streams& s) {
  return std::make_unique<ciprop::Run>(s.out, s.in, s.err);
}

// A second run state in the same process gets memory that the first one
// wrote: it must still start with the zeros of a fresh program.
TEST(RecordArrays, ANewRunStateStartsAtZeroAfterAnotherWasUsed) {
  Streams s;
  for (int round = 0; round < 3; ++round) {
    auto run = new_run(s);
    ciprop::Run& r = *run;
    EXPECT_EQ(r.ints.xyz(1, 1, 1), 0.0);
    EXPECT_EQ(r.ints.xyz(500, 500, 4), 0.0);
    EXPECT_EQ(r.ints.xxyyzz(37, 2, 7), 0.0);
    EXPECT_EQ(r.ints.pxq(1), 0.0);
    EXPECT_EQ(r.ints.orb(500, 1), 0.0);
    EXPECT_EQ(r.dens.mat(3, 4), 0.0);
    EXPECT_EQ(r.dens.val(250000), 0.0);
    EXPECT_EQ(r.dets.adrsym.irangs(12870, 16), 0);
    EXPECT_EQ(r.dets.comb(16, 1), 0);
    EXPECT_EQ(r.dets.mr.base(1), 0);
    EXPECT_EQ(r.dets.mr.offmrs(1, 1, 1, 0), 0);
    r.ints.xyz.fill(1.5);
    r.ints.xxyyzz(37, 2, 7) = 2.0;
    r.ints.pxq.fill(3.0);
    r.ints.orb(500, 1) = 4.0;
    r.dens.mat.fill(5.0);
    r.dens.val(250000) = 6.0;
    r.dets.adrsym.irangs.fill(7);
    r.dets.comb(16, 1) = 8;
    r.dets.mr.base.fill(9);
    r.dets.mr.offmrs.fill(10);
  }
}

// The tables of the multireference space of another symmetry start as a copy
// of the run's own: filling the copy must leave the run's tables alone.
TEST(RecordArrays, ACopiedRecordOwnsItsArrays) {
  auto a = std::make_unique<ciprop::MrRecords>();
  a->base(7) = 70;
  a->offmrs(2, 3, 4, 5) = 2345;
  auto b = std::make_unique<ciprop::MrRecords>(*a);
  EXPECT_EQ(b->base(7), 70);
  b->base(7) = 71;
  b->offmrs.fill(0);
  EXPECT_EQ(a->base(7), 70);
  EXPECT_EQ(a->offmrs(2, 3, 4, 5), 2345);
  *b = *a;
  EXPECT_EQ(b->offmrs(2, 3, 4, 5), 2345);
  a->offmrs(2, 3, 4, 5) = 0;
  EXPECT_EQ(b->offmrs(2, 3, 4, 5), 2345);
  // data() reaches the same elements as the subscripts, first index fastest.
  EXPECT_EQ(b->base.data()[6], 70);
}

#if defined(CIPROP_BOUNDS)
TEST(RecordArraysDeathTest, SubscriptsOutsideTheDeclaredRangeStopTheProgram) {
  Streams s;
  auto run = new_run(s);
  EXPECT_DEATH(run->ints.xyz(501, 1, 1), "subscript 501 outside 1..500");
  EXPECT_DEATH(run->dens.mat(1, 0), "subscript 0 outside 1..500");
  EXPECT_DEATH(run->dets.mr.offmrs(1, 1, 1, 17), "subscript 17 outside 0..16");
}
#endif

}  // namespace
