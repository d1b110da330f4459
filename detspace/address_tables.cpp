#include "detspace/address_tables.hpp"

#include "detspace/categories.hpp"
#include "detspace/mr_tables.hpp"
#include "detspace/reference_configurations.hpp"

namespace ciprop {

SrAddressTables::SrAddressTables(Run& run) : SrAddressTables(run, run.cs.is0) {}

SrAddressTables::SrAddressTables(Run& run, int symmetry)
    : AddressTables(run), blocks_(std::make_unique<BlockTable>()) {
  block_offsets(run, symmetry, *blocks_);
}

int SrAddressTables::size() const { return static_cast<int>(blocks_->ntotal); }

int SrAddressTables::address(const SplitDet& d) const {
  if (!in_space(records(), *blocks_, d)) return 0;
  int iadr = 0;
  adrdet(records(), *blocks_, d, iadr);
  return iadr;
}

// A CAS space has neither holes nor particles.
bool SrAddressTables::active_only() const { return records().prep.gener == "CAS "; }

std::unique_ptr<ExcitationShortcut> SrAddressTables::excitation_shortcut() const {
  return std::make_unique<Excitations>(records(), *blocks_);
}

std::unique_ptr<AddressTables> make_address_tables(Run& run) {
  return make_address_tables(run, run.cs.is0);
}

std::unique_ptr<AddressTables> make_address_tables(Run& run, int symmetry) {
  if (!multireference(run.prep.gener)) return std::make_unique<SrAddressTables>(run, symmetry);
  if (symmetry == run.dets.mr.is0) return std::make_unique<MrAddressTables>(run);
  auto r = std::make_unique<MrRecords>();
  mr_space_of_symmetry(run, symmetry, *r);
  return std::make_unique<MrAddressTables>(run, std::move(r));
}

}  // namespace ciprop
