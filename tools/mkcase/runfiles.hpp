// The text files of a run folder: the CI program's run description "vrt"
// (group &VRT), its orbital description "Info" (groups &COST_AO and
// &COST_MO), and the run input "input" that makes ciprop compute the case.
#pragma once
#include <string>

#include "tools/mkcase/case.hpp"

namespace mkcase {

std::string vrt_text(const Description& d, long long ndet);
std::string info_text(const Description& d);
// with_density_file: the folder holds "dens"; otherwise the input asks for
// the density to be computed even for a state (CALCRO=1).
std::string input_text(const Description& d, bool with_density_file);

// Writes text to dir/name, creating dir if needed; throws std::runtime_error
// naming the file when it cannot be written.
void write_text(const std::string& dir, const std::string& name,
                const std::string& text);

// vrt and Info: what a stage that opens and reads the run description needs.
void write_run_description(const Description& d, const std::string& dir,
                           long long ndet);

}  // namespace mkcase
