#include "detspace/list_layout.hpp"

#include "detspace/detlist.hpp"
#include "input/input_checks.hpp"

namespace ciprop {

namespace {

enum class Layout { Empty, Plain, Packed };

Layout first_record(Run& run, int unit) {
  restart_list(run, unit);
  unsigned char head[sizeof run.dets.detsto.rec];
  size_t len = 0;
  const bool got = run.io.try_read_record(unit, head, sizeof head, &len);
  restart_list(run, unit);
  if (!got) return Layout::Empty;
  return len == sizeof(int) ? Layout::Plain : Layout::Packed;
}

}  // namespace

void choose_list_layout(Run& run) {
  const Layout a = first_record(run, kUnitDetA);
  const Layout b = first_record(run, kUnitDetB);
  if (a != Layout::Empty && b != Layout::Empty && a != b)
    refuse_input(run, "the determinant lists " + run.io.name(kUnitDetA) + " and " +
                          run.io.name(kUnitDetB) + " have different layouts (" +
                          (a == Layout::Plain ? "plain and packed)" : "packed and plain)"));
  const Layout layout = b != Layout::Empty ? b : a;
  run.switches.packed_lists = layout != Layout::Plain;
}

}  // namespace ciprop
