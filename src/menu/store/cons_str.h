// The checks of the storage records: every structural invariant and every
// allocation is guarded by one row of this table, with the line number and
// the condition's own source text that the check record reports. Only the
// first two rows differ between the narrow and the wide program.
#pragma once

#include "menu/store/check.h"
#include "menu/store/counter.h"

namespace wdist {

// WDIST_CHECK(id, line in wdist-narrow, line in wdist-wide, condition text)
#define WDIST_CHECK_TABLE(WDIST_CHECK)                                              \
  WDIST_CHECK(counter_array_null, 105, 133, "NULL==r")                              \
  WDIST_CHECK(counter_row_release_null, 112, 140, "NULL==r")                        \
  WDIST_CHECK(count_table_rows_null, 174, 174, "c.a==NULL")                         \
  WDIST_CHECK(count_table_release_null, 216, 216, "NULL==c.a")                      \
  WDIST_CHECK(count64_array_null, 442, 442, "NULL==r")                              \
  WDIST_CHECK(context_rows_null, 585, 585, "c.a==NULL")                             \
  WDIST_CHECK(context_vecrank_null, 610, 610, "c.vecrank==NULL")                    \
  WDIST_CHECK(context_release_rows_null, 633, 633, "NULL==c.a")                     \
  WDIST_CHECK(context_release_aspec_null, 647, 647, "NULL==c.Aspec")                \
  WDIST_CHECK(context_release_bspec_null, 650, 650, "NULL==c.Bspec")                \
  WDIST_CHECK(context_release_k_null, 658, 658, "NULL==c.k")                        \
  WDIST_CHECK(context_release_lcv_null, 660, 660, "NULL==c.lcv")                    \
  WDIST_CHECK(context_release_lcvo_null, 662, 662, "NULL==c.lcvo")                  \
  WDIST_CHECK(context_release_vecrank_null, 666, 666, "NULL==c.vecrank")            \
  WDIST_CHECK(context_release_prop_null, 668, 668, "NULL==c.prop")                  \
  WDIST_CHECK(byte_row_null, 734, 734, "r==NULL")                                   \
  WDIST_CHECK(byte_row_release_null, 742, 742, "NULL==&(r[-1])")                    \
  WDIST_CHECK(gen_matrix_rows_null, 767, 767, "c.a==NULL")                          \
  WDIST_CHECK(gen_matrix_size_mem, 778, 778, "!((1==c.mem)||(0==c.mem))")           \
  WDIST_CHECK(gen_matrix_release_mem, 800, 800, "!((1==c.mem)||(0==c.mem))")        \
  WDIST_CHECK(gen_matrix_release_null, 812, 812, "NULL==c.a")

enum class CheckId {
#define WDIST_CHECK_ENUM(id, narrow, wide, text) id,
  WDIST_CHECK_TABLE(WDIST_CHECK_ENUM)
#undef WDIST_CHECK_ENUM
};

struct CheckRow {
  CheckId id;
  int line;          // the line number of this build
  const char* text;  // the condition, exactly as the check record shows it
};

inline constexpr CheckRow kChecks[] = {
#define WDIST_CHECK_ROW(id, narrow, wide, text) {CheckId::id, by_width(narrow, wide), text},
    WDIST_CHECK_TABLE(WDIST_CHECK_ROW)
#undef WDIST_CHECK_ROW
};

// The header path the check record names: the menu programs' own text, fixed
// here so that it does not follow where this header lives in the tree.
inline constexpr char kConsStrPath[] = "src/store/cons_str.h";

constexpr const CheckRow& check_row(CheckId id) { return kChecks[static_cast<int>(id)]; }

// Halts through fail_check with the row of `id` when `failed` holds. Inline,
// so that every caller (and the static analyser) sees that a failed check
// does not return.
inline void check(bool failed, CheckId id) {
  if (failed) fail_check(check_row(id).line, check_row(id).text);
}

}  // namespace wdist
