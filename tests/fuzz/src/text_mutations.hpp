// Mutations of the text files of a run: the namelist files (run description,
// orbital description, run input) and the MOLCAS orbital file.
#pragma once
#include <string>
#include <vector>

#include "mutation.hpp"

namespace fuzz {

// vrt and Info: every value, key, group marker and line.  With must_agree,
// values one off and null values are tried too: these files must agree with
// the binary ones, so such a value is a damaged file, never another valid run.
void namelist_mutations(const std::string& name, const std::string& text, bool must_agree,
                        std::vector<Mutation>& out);

// The run input on standard input.  Only damage that leaves no valid run is
// made: a value one off, a null value or a whole group left out selects
// another run (other roots, defaults) whose different moments are right, so
// those are not tried.
void input_mutations(const std::string& text, std::vector<Mutation>& out);

// INPORB: structure, fields, numbers that are not finite numbers, cuts.
// Digits of a coefficient are never changed: that makes another valid file.
void orbital_file_mutations(const std::string& text, std::vector<Mutation>& out);

// OCCMRS: the reference count (none, one more or less, 1001), and every
// reference line: a digit more, characters after it, a digit less, each
// occupation changed (another valid list of references), removed, doubled.
void reference_file_mutations(const std::string& text, std::vector<Mutation>& out);

std::string fill_recipe(std::size_t off, std::size_t n, char byte);

}  // namespace fuzz
