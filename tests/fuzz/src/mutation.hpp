// Damage done to one run folder: what it touches, which kind of field it hits,
// a replayable form and a description for the reader of a failure.
#pragma once
#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fuzz {

// A run folder as file name -> bytes.
using Folder = std::map<std::string, std::string>;

enum class Kind {
  Truncate,     // file cut at a record boundary or inside a record
  Count,        // an integer that counts something (dimension, roots, symmetries)
  Offset,       // an address into the file (table of contents)
  Index,        // an orbital or symmetry index
  Length,       // a record's byte count or a block's length
  Label,        // a label searched for in a table of contents
  NonFinite,    // NaN or Inf in place of a double
  Unused,       // bytes the writer left blank
  Append,       // bytes or a record added at the end
  TextValue,    // a value of a namelist item or an orbital file field
  TextSyntax,   // the punctuation of a namelist group or the line structure
  TextLine,     // a line removed, doubled or without end
  Device,       // a file name of the input pointing at a device or a folder
  Remove,       // a file missing
  ScratchName,  // an input file named like a scratch file of the program
  DiskFull,     // writes fail beyond a file-size limit
  RecordType,   // the type word of a record (integers, reals, characters)
  Records,      // whole records missing, repeated or swapped
  ScratchLink,  // a scratch name that is a link, a FIFO or a folder
  NonRegular,   // an input that is a FIFO or a folder
  Stdin,        // standard input empty, a folder or closed
};
const char* kind_name(Kind k);

struct Mutation {
  std::string file;  // the file touched, "-" for the run's environment
  Kind kind;
  std::string recipe;  // replayable: trunc@N, splice@OFF+LEN:HEX,
                      // fill@OFF:N*HH, rm, rename:NAME, fsize:N,
                      // link:TARGET, fifo, dir, stdin:empty|folder|closed
  std::string what;  // for the reader
};

// What the run finds in place of a regular file.
struct Special {
  std::string name;
  enum { kLink, kFifo, kFolder } kind;
  std::string target;  // of a link, relative to the folder
};

enum class StdinForm { kFile, kEmpty, kFolder, kClosed };

// The damage applied to a folder.  File-size limit in bytes, -1 for none.
// `leftover`: files an earlier run left, which the run may change.
struct Damaged {
  Folder folder;
  long fsize_limit = -1;
  std::vector<Special> specials;
  StdinForm stdin_form = StdinForm::kFile;
  std::set<std::string> leftover;
};

// A file outside the run's folder that links may point to, with the content
// it must keep.
inline constexpr const char* kOutside = "outside";
inline constexpr const char* kOutsideContent = "not the run's\n";

// Applies m to a copy of the folder; throws std::invalid_argument on a recipe
// it cannot read (a hand-typed --mutation).
Damaged apply(const Folder& base, const Mutation& m);

// Every mutation of every file of the folder, in a fixed order.
std::vector<Mutation> mutations_of(const Folder& folder, int molcas_version);

// Helpers shared with the text mutations.
std::string splice_recipe(std::size_t off, std::size_t len, const std::string& bytes);
std::string trunc_recipe(std::size_t n);

}  // namespace fuzz
