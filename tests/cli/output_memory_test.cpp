// The program's output of a record when memory is short: each format takes
// its text at once, never more than output_bytes says (so that the one
// request that can fail is the one a refusal names), and a text that
// cannot be had is the record's refusal naming that amount.
#include <gtest/gtest.h>

#include <gmpxx.h>

#include <random>
#include <string>
#include <vector>

#include "cli/formats.h"
#include "cli/items.h"
#include "support/failing_new.h"

namespace {

using wdist::cli::Format;

struct Record {
  wdist::cli::RecordOrigin origin;
  wdist::Code code;
  wdist::PlanSummary summary;  // the layout's counting rules, as the plan of such a code says
  wdist::Distribution d;
  std::vector<std::uint64_t> counts64;  // d.counts as 64-bit values, where they fit
  bool fits = true;
};

// A record's result as the formats see it (its counts need not be a code's
// own): some counts zero, others of every size up to hundreds of digits.
Record random_record(std::mt19937_64& rng, int q, int k, int n, int rank, bool projective, bool huge) {
  Record r;
  r.origin = {"f\xff\x01\"name", static_cast<int>(rng() % 100000)};
  r.code.q = q;
  r.code.k = k;
  r.code.n = n;
  r.code.entries.resize(static_cast<std::size_t>(k) * static_cast<std::size_t>(n));
  for (auto& e : r.code.entries) e = static_cast<wdist::ElemCode>(rng() % static_cast<unsigned>(q));
  r.d.q = q;
  r.d.n = n;
  r.d.k = k;
  r.d.rank = rank;
  r.d.projective = projective;
  r.summary.zero_message_counted = q == 2 || q == 4;
  r.summary.zero_columns_shift = projective;
  r.d.counts.assign(static_cast<std::size_t>(n) + 1, 0);
  for (mpz_class& c : r.d.counts) {
    if (rng() % 3 == 0) continue;
    c = static_cast<unsigned long>(rng() >> (rng() % 64));
    if (huge && rng() % 2 == 0) c *= mpz_class(1) << static_cast<unsigned>(rng() % 1000);
  }
  r.d.counts[0] = 1;
  for (const mpz_class& c : r.d.counts) {
    r.fits = r.fits && mpz_fits_slong_p(c.get_mpz_t()) != 0;
    r.counts64.push_back(r.fits ? static_cast<std::uint64_t>(c.get_si()) : 0);
  }
  return r;
}

TEST(OutputMemory, EveryFormatFitsItsBound) {
  std::mt19937_64 rng(12);
  const wdist::cli::MatrixCapacity capacity{true, 64, 96};
  for (int trial = 0; trial < 300; ++trial) {
    const int q = std::vector<int>{2, 3, 4, 5, 7}[rng() % 5];
    const int k = 1 + static_cast<int>(rng() % 9), n = static_cast<int>(rng() % 90);
    const int rank = std::min(k, n) - static_cast<int>(rng() % 3 == 0 ? rng() % static_cast<std::uint64_t>(std::min(k, n) + 1) : 0);
    const Record r = random_record(rng, q, k, n, rank, trial % 4 == 1, trial % 5 == 0);
    for (Format format : {Format::text, Format::json, Format::report}) {
      for (bool small : {false, true}) {
        if (small && !r.fits) continue;
        const std::vector<std::uint64_t>* counts = small ? &r.counts64 : nullptr;
        std::string out;
        ASSERT_TRUE(wdist::cli::record_output(format, r.origin, r.code, capacity, 1e300, r.summary, r.d, counts, out));
        EXPECT_LE(out.size(), wdist::cli::output_bytes(format, r.origin, r.code, r.d, counts))
            << "format " << static_cast<int>(format) << ", trial " << trial;
      }
    }
  }
}

TEST(OutputMemory, AnOutputThatCannotBeHadIsARefusalNamingItsSize) {
  std::mt19937_64 rng(13);
  const Record r = random_record(rng, 2, 20, 100000, 20, false, false);
  const wdist::cli::MatrixCapacity capacity{true, 20, 100000};
  for (Format format : {Format::text, Format::json, Format::report}) {
    const std::uint64_t bound = wdist::cli::output_bytes(format, r.origin, r.code, r.d, nullptr);
    ASSERT_GT(bound, std::uint64_t{1} << 20);
    std::string out = "left from before";
    wdist::Status s;
    {
      const wdist_test::FailFrom fail(std::size_t{1} << 20);
      s = wdist::cli::record_output(format, r.origin, r.code, capacity, 0.5, r.summary, r.d, nullptr, out);
    }
    EXPECT_EQ(s.code, wdist::StatusCode::out_of_memory);
    EXPECT_EQ(s.message, "its output of " + wdist::bytes_text(bound) + " cannot be had");
    EXPECT_EQ(out, "");
    EXPECT_TRUE(wdist::cli::record_output(format, r.origin, r.code, capacity, 0.5, r.summary, r.d, nullptr, out));
    EXPECT_GT(out.size(), std::size_t{1} << 20);
  }
}

}  // namespace
