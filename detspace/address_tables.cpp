#include "detspace/address_tables.hpp"

#include "detspace/mr_tables.hpp"
#include "detspace/reference_configurations.hpp"

namespace ciprop {

int SrAddressTables::size() const { return static_cast<int>(records().dets.ntotal); }

int SrAddressTables::address(const SplitDet& d) const {
  if (!in_space(records(), d)) return 0;
  int iadr = 0;
  adrdet(records(), d, iadr);
  return iadr;
}

// A CAS space has neither holes nor particles.
bool SrAddressTables::active_only() const { return records().prep.gener == "CAS "; }

std::unique_ptr<ExcitationShortcut> SrAddressTables::excitation_shortcut() const {
  return std::make_unique<Excitations>(records());
}

std::unique_ptr<AddressTables> make_address_tables(Run& run) {
  if (multireference(run.prep.gener)) return std::make_unique<MrAddressTables>(run);
  return std::make_unique<SrAddressTables>(run);
}

}  // namespace ciprop
