#include "menu/store/code_context.h"

#include <cstdlib>

#include "menu/store/cons_str.h"

namespace wdist {

CodeContext code_context{};

namespace {

std::uint64_t as_index(std::int32_t v) { return static_cast<std::uint64_t>(static_cast<std::int64_t>(v)); }

void allocate_code_context(std::int32_t k, std::int32_t length, std::int32_t r) {
  CodeContext& c = code_context;
  c.cap_len = length;
  c.cap_k = k;
  c.cap_rows = r;
  c.length = length;
  std::int64_t table_entries = static_cast<std::int64_t>(r) + 1;
  // The row table of a is asked for once only.
  c.a = table_entries >= 0
            ? static_cast<Counter**>(request_block(static_cast<std::size_t>(table_entries) * sizeof(Counter*)))
            : nullptr;
  check(c.a == nullptr, CheckId::context_rows_null);
  for (std::int32_t i = 0; i <= r; ++i) c.a[i] = new_counter_array(as_index(k));
  c.Aspec = new_count64_array(as_index(length));
  c.Bspec = new_count64_array(as_index(length));
  c.row_spare_k = new_counter_array(as_index(r));
  c.row_spare_lcv = new_counter_array(as_index(r));
  c.row_spare_lcvo = new_counter_array(as_index(r));
  c.weight_spare_vecrank = new_counter_array(as_index(length));
  c.weight_spare_prop = new_counter_array(as_index(length));
  check(c.weight_spare_vecrank == nullptr, CheckId::context_vecrank_null);
  c.mem = 1;
}

template <class T>
void give_back(T*& p, CheckId id) {
  T* given = p;
  std::free(static_cast<void*>(given));
  check(nullptr == given, id);
}

}  // namespace

void size_code_context(std::int32_t k, std::int32_t length) {
  CodeContext& c = code_context;
  c.length = length;
  // k >= 1 here: records whose k would make this division meaningless are
  // refused before anything is sized.
  c.rows_wanted = length / k + 4;
  if (c.mem == 1) {
    if (length > c.cap_len || k > c.cap_k || c.cap_rows < c.rows_wanted) {
      release_code_context();
      allocate_code_context(k, length, c.rows_wanted);
    }
    return;
  }
  c.mem = 1;
  allocate_code_context(k, length, c.rows_wanted);
}

void release_code_context() {
  CodeContext& c = code_context;
  if (c.mem == 0) return;
  for (std::int32_t i = 0; i <= c.cap_rows; ++i) give_back(c.a[i], CheckId::counter_row_release_null);
  give_back(c.a, CheckId::context_release_rows_null);
  give_back(c.Aspec, CheckId::context_release_aspec_null);
  give_back(c.Bspec, CheckId::context_release_bspec_null);
  give_back(c.row_spare_k, CheckId::context_release_k_null);
  give_back(c.row_spare_lcv, CheckId::context_release_lcv_null);
  give_back(c.row_spare_lcvo, CheckId::context_release_lcvo_null);
  give_back(c.weight_spare_vecrank, CheckId::context_release_vecrank_null);
  give_back(c.weight_spare_prop, CheckId::context_release_prop_null);
  c.mem = 0;
}

}  // namespace wdist
