// The wdist program's command line: what it asks for, read and checked
// alike by every process of the run.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/formats.h"
#include "wdist/stabilizer.h"
#include "wdist/wdist.h"

namespace wdist::cli {

struct Settings {
  Format format = Format::text;
  bool projective = false;
  DualRoute dual = DualRoute::automatic;
  unsigned threads = 0;             // 0: every hardware thread
  double max_work = 0x1p48;
  bool progress = false;
  bool quiet = false;
  std::string checkpoint;           // empty: none
  double checkpoint_interval = 60;
  std::vector<std::string> files;   // "-" for standard input; never empty
  // --stabilizer or --additive: the inputs hold stabilizer records
  // (stabilizer.h), each counted as the binary image of its group.
  std::optional<GroupKind> group;
  // The minimum distance instead of the distribution (search.h).
  bool min_distance = false;
  int weights_up_to = 0;            // low-weight counts A_w, w <= this (0: none)
  double time_limit = 0;            // seconds; 0: none
};

// Reads the command line into `s`; false with the exit status in `status`
// when the program ends here (a usage error, --help, --version). Only with
// `speak` does it write anything (help, version, the usage errors): the
// other processes of an MPI job read the same command line silently.
bool parse_command_line(int argc, char** argv, bool speak, Settings& s, int& status);

// Whether the run searches for minimum distances or low-weight counts.
inline bool searches(const Settings& s) { return s.min_distance || s.weights_up_to > 0; }

// The options every record is planned with. With `group` the records are
// group images (stabilizer.h), counted directly: their `dual` was decided
// by image_of with group_options.
Options record_options(const Settings& s);
// The options image_of chooses a group's counted side with (the --dual
// asked for).
Options group_options(const Settings& s);

}  // namespace wdist::cli
