#include "cli/settings.h"

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

namespace wdist::cli {

namespace {

// What a run with a checkpoint cannot read twice (it reads each input once
// for the run's identity, then again for the records), as the message
// names it; null for an input that can be. Judged by the name alone,
// without opening it: opening a FIFO waits for its writer, and reading a
// pipe or device consumes it. A name that cannot be looked at is left to
// the run, which reports it as it would without a checkpoint.
const char* read_once_kind(const std::string& name) {
  struct stat st {};
  if (stat(name.c_str(), &st) != 0) return nullptr;
  if (S_ISFIFO(st.st_mode)) return "a pipe";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (S_ISCHR(st.st_mode)) return "a character device";
  return nullptr;
}

// "2^48", "1e12" or a plain number of messages; false when it is none of
// them or not in 1 .. 2^62.
bool parse_work(const std::string& text, double& value) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(s, &end);
  if (end == s || errno != 0) return false;
  if (*end == '^') {
    const char* exponent = end + 1;
    const double e = std::strtod(exponent, &end);
    if (end == exponent || errno != 0) return false;
    v = std::pow(v, e);
  }
  if (*end != '\0' || !(v >= 1) || v > 0x1p62) return false;
  value = v;
  return true;
}

}  // namespace

bool parse_command_line(int argc, char** argv, bool speak, Settings& s, int& status) {
  CLI::App app{"wdist " WDIST_VERSION
               ": weight distributions of linear codes over every F_q, q a prime power up to 256.\n"
               "Reads code records from each FILE (standard input when there is none, or for -)\n"
               "and writes their weight distributions to standard output in input order.",
               "wdist"};
  app.set_version_flag("--version", "wdist " WDIST_VERSION);
  std::string format = "text", dual = "auto", work = "2^48";
  app.add_option("--format", format, "text (default), json (JSON Lines) or report (wdist-wide's report blocks)")
      ->check(CLI::IsMember({"text", "json", "report"}));
  app.add_flag("--projective", s.projective,
               "one count per one-dimensional subcode, A_w/(q-1) (report: the menu's projective sums)");
  app.add_option("--dual", dual, "auto (default: whichever costs less), never or always: through the dual code")
      ->check(CLI::IsMember({"auto", "never", "always"}));
  app.add_option("--threads", s.threads, "threads that compute (default: every hardware thread; 1: this one alone)")
      ->check(CLI::Range(1u, 4096u));
  app.add_option("--max-work", work,
                 "refuse a record whose cheapest route counts more messages (default 2^48; at most 2^62)");
  CLI::Option* checkpoint = app.add_option("--checkpoint", s.checkpoint,
                 "keep the finished part of the run in FILE and resume from FILE when it exists: the finished\n"
                 "records' output is written again, the record in progress goes on where it stopped. A FILE of\n"
                 "other inputs or options, or damaged, or in use by another run, is refused (exit 2); inputs\n"
                 "that can be read twice only, not standard input or pipes. SIGINT and SIGTERM write it before\n"
                 "the run ends. FILE.spool is its working copy of the output; both are removed when the run\n"
                 "completes.")
      ->type_name("FILE");
  // NaN passes every comparison of a range: it is refused by name. At most
  // 1e9 seconds, so that an interval in milliseconds fits 64 bits.
  const CLI::Validator not_a_number(
      [](const std::string& text) {
        return std::isnan(std::strtod(text.c_str(), nullptr)) ? "Value " + text + " is not a number" : std::string();
      },
      "");
  app.add_option("--checkpoint-interval", s.checkpoint_interval,
                 "seconds between two writes of the checkpoint at most (default 60)")
      ->check(CLI::Range(0.0, 1e9))
      ->check(not_a_number)
      ->type_name("SECONDS");
  app.add_flag("--progress", s.progress, "always show the progress line of a long record");
  app.add_flag("--quiet", s.quiet, "never show a progress line");
  bool stabilizer = false, additive = false;
  CLI::Option* stabilizer_flag = app.add_flag(
      "--stabilizer", stabilizer,
      "the records are stabilizer codes: a head ? r n, then r generators as Pauli strings (I X Y Z)\n"
      "or 2n binary digits (x part, then z part); writes n, the rank, k, A_w and B_w, the distance\n"
      "and whether the code is degenerate");
  app.add_flag("--additive", additive,
               "the records are additive codes over F_4 given as stabilizer records (no commutation needed);\n"
               "writes their weight distributions")
      ->excludes(stabilizer_flag);
  app.add_flag("--min-distance", s.min_distance,
               "the minimum distance d and a codeword of weight d (a witness) instead of the distribution,\n"
               "by information sets or the complete distribution, whichever costs less");
  app.add_option("--weights-up-to", s.weights_up_to, "the counts A_w for every w <= W alone (with d when one is met)")
      ->check(CLI::Range(1, 1 << 30))
      ->type_name("W");
  app.add_option("--time-limit", s.time_limit,
                 "with --min-distance or --weights-up-to: stop after SECONDS and report the bounds proven\n"
                 "(exit 3)")
      ->check(CLI::Range(0.0, 1e9))
      ->check(not_a_number)
      ->type_name("SECONDS");
  app.add_option("FILE", s.files, "files of code records (- for standard input)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostream silent(nullptr);
    status = (speak ? app.exit(e) : app.exit(e, silent, silent)) == 0 ? 0 : 2;
    return false;
  }
  if (!parse_work(work, s.max_work)) {
    if (speak) std::fprintf(stderr, "wdist: --max-work %s: not a number of messages in 1 .. 2^62\n", work.c_str());
    status = 2;
    return false;
  }
  if ((stabilizer || additive) && (format == "report" || s.projective)) {
    if (speak)
      std::fprintf(stderr, "wdist: --%s: %s is for codes over a field\n", stabilizer ? "stabilizer" : "additive",
                   s.projective ? "--projective" : "--format report");
    status = 2;
    return false;
  }
  if (stabilizer) s.group = GroupKind::stabilizer;
  if (additive) s.group = GroupKind::additive;
  s.format = format == "json" ? Format::json : format == "report" ? Format::report : Format::text;
  s.dual = dual == "never" ? DualRoute::never : dual == "always" ? DualRoute::always : DualRoute::automatic;
  if (s.files.empty()) s.files.emplace_back("-");
  if (searches(s) && s.group) {
    if (speak) std::fprintf(stderr, "wdist: --min-distance and --weights-up-to are for codes over a field\n");
    status = 2;
    return false;
  }
  if (searches(s) && (s.projective || s.format == Format::report || dual != "auto")) {
    if (speak)
      std::fprintf(stderr, "wdist: --min-distance and --weights-up-to take neither --projective, --dual\n"
                           "nor --format report\n");
    status = 2;
    return false;
  }
  if (!searches(s) && s.time_limit > 0) {
    if (speak) std::fprintf(stderr, "wdist: --time-limit needs --min-distance or --weights-up-to\n");
    status = 2;
    return false;
  }
  if (checkpoint->count() > 0 && s.checkpoint.empty()) {
    if (speak) std::fprintf(stderr, "wdist: --checkpoint: the file name is empty\n");
    status = 2;
    return false;
  }
  if (!s.checkpoint.empty() &&
      std::any_of(s.files.begin(), s.files.end(), [](const std::string& name) { return name == "-"; })) {
    if (speak) std::fprintf(stderr, "wdist: --checkpoint needs named input files: standard input cannot be read again\n");
    status = 2;
    return false;
  }
  if (!s.checkpoint.empty()) {
    const auto read_once = std::find_if(s.files.begin(), s.files.end(),
                                        [](const std::string& name) { return read_once_kind(name) != nullptr; });
    if (read_once != s.files.end()) {
      if (speak)
        std::fprintf(stderr, "wdist: --checkpoint needs inputs that can be read again: %s is %s\n",
                     read_once->c_str(), read_once_kind(*read_once));
      status = 2;
      return false;
    }
  }
  return true;
}

Options record_options(const Settings& s) {
  Options options;
  options.projective = s.projective;
  options.dual = s.dual;
  options.max_work = s.max_work;
  if (s.group) options.dual = DualRoute::never;
  return options;
}

Options group_options(const Settings& s) {
  Options options;
  options.dual = s.dual;
  options.max_work = s.max_work;
  return options;
}

}  // namespace wdist::cli
