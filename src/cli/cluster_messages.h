// The messages between the ranks of an MPI job (cluster.h), as bytes of
// the program's byte format (byte_format.h). They are plain records
// encoded and decoded here, apart from MPI, so that their format is tested
// without it.
//
// A rank asks rank 0 for work with an empty message; rank 0 answers with
// a deal: a few small records whole, or a range of a large record's units
// (or of a search's level).
// The rank answers a deal with a reply of one entry per entry of the deal,
// in its order: a whole record's output text, or what the units counted (a
// UnitProgress, which rank 0 adds to the record's job only when it fits
// its plan).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "wdist/executor.h"

namespace wdist::cli {

struct DealEntry {
  std::uint64_t item = 0;           // its index among the items of the inputs, the same on every rank
  bool whole = false;               // the record whole, or:
  std::uint64_t plan_identity = 0;  // the plan of it rank 0 made, which the rank's own must be
  UnitRange units;                  // the units of it to compute
  // Units of a search (search_mode.h): 0 for those of its complete
  // distribution, L + 1 for those of its level L (a level's plan is known
  // from its number alone); 0 for a distribution's.
  std::uint64_t search_level = 0;
  std::int64_t lightest = -1;  // a search's: the weight of the lightest codeword met so far (-1: none)
};

struct Deal {
  std::uint64_t oldest_item = 0;  // no item before it is dealt again: a rank lets go of those
  std::vector<DealEntry> entries;
};

struct ReplyEntry {
  std::uint64_t item = 0;
  bool whole = false;
  Status status;          // not ok: the entry failed there, with nothing else
  std::string output;     // whole: the record's output text
  UnitProgress progress;  // a range: the units computed and what they counted
};

std::vector<unsigned char> encode_deal(const Deal& deal);
// False when the bytes are not a deal, whole and nothing more.
bool decode_deal(const std::vector<unsigned char>& bytes, Deal& deal);

std::vector<unsigned char> encode_reply(const std::vector<ReplyEntry>& reply);
// False when the bytes are not a reply, whole and nothing more.
bool decode_reply(const std::vector<unsigned char>& bytes, std::vector<ReplyEntry>& reply);

}  // namespace wdist::cli
