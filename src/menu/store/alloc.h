// The allocation primitives every storage record is built from, and the
// seam through which they obtain memory. Each primitive asks twice before a
// request counts as failed and then halts through its check; no primitive
// clears what it hands out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "field/fields.h"
#include "menu/store/counter.h"

namespace wdist {

using Count64 = std::uint64_t;  // a histogram count

// Where the primitives get their blocks. The default is the C library's
// malloc (huge requests additionally ask for transparent huge pages). Tests
// and the fuzz build install their own source to drive failed allocations;
// the blocks are always given back with std::free.
using BlockSource = void* (*)(std::size_t bytes);
void set_block_source(BlockSource source);  // nullptr restores the default
void* request_block(std::size_t bytes);     // one request, no retry

// m + 1 Counters, entries 0..m; halts (105/133 "NULL==r") after two failures.
Counter* new_counter_array(std::uint64_t m);
// m + 1 unsigned 64-bit counts; halts (442 "NULL==r") after two failures.
Count64* new_count64_array(std::uint64_t m);
// m + 2 bytes handed out one past the block start, so entries -1..m exist;
// halts (734 "r==NULL") after two failures.
ElemCode* new_byte_row(std::int32_t m);
// Gives back the block of a byte row (row - 1), halts (742) if that block
// start is null, and nulls the caller's pointer.
void free_byte_row(ElemCode*& row);

// Two requests of the same size; nullptr only when both failed.
void* request_block_twice(std::size_t bytes);

}  // namespace wdist
