#include "cli/cluster.h"

#include <mpi.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/items.h"

namespace wdist::cli {

namespace {

enum Tag : int {
  kRequest = 1,  // a rank asks for work (no content)
  kDeal,         // rank 0 deals work: the oldest item still wanted, then the entries
  kReply,        // a rank sends back what a deal's entries came to, in the deal's order
  kStop,         // rank 0: the run is over
  kBye,          // a rank has stopped and sends nothing more
};

// A record whose code counts at most this many messages is dealt whole:
// planned, computed and written out where it goes (about one binary unit:
// dealing its units one by one would cost more than computing them).
constexpr double kWholeMessages = 0x1p22;
// A deal holds about this many units per thread of the rank it goes to
// (tens of milliseconds of work), or small records of about as many
// messages (each priced at its messages and its entries, which it reads),
// at most this many per thread: a round trip costs more than a small record
// takes. A rank holds this many deals at once, so that the next is there
// before its threads run out.
constexpr std::uint64_t kUnitsPerThread = 4;
constexpr double kMessagesPerThread = kUnitsPerThread * kWholeMessages;
constexpr std::uint64_t kWholePerThread = 64;
constexpr std::size_t kDealsAhead = 2;
// How often rank 0 looks for requests and replies while its own threads
// have nothing to compute, and how long an idle rank sleeps between looks
// for its next deal (MPI's own blocking calls would spin on a core).
constexpr std::chrono::microseconds kDealerLook{500};
constexpr std::chrono::microseconds kIdleSleep{200};

// Started by an MPI launcher: each sets one of these for its processes
// (Open MPI's mpirun, PMIx, and PMI for MPICH's launchers and srun).
bool launched_by_mpi() {
  constexpr std::array<const char*, 4> kNames = {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"};
  return std::any_of(kNames.begin(), kNames.end(), [](const char* name) { return std::getenv(name) != nullptr; });
}

// The ranks run the same program on the same kind of machine: values go
// as their bytes.
class Packer {
 public:
  void u64(std::uint64_t v) { put(&v, sizeof v); }
  void f64(double v) { put(&v, sizeof v); }
  void text(const std::string& s) {
    u64(s.size());
    put(s.data(), s.size());
  }
  void counts(const std::vector<std::uint64_t>& c) {
    u64(c.size());
    put(c.data(), c.size() * sizeof(std::uint64_t));
  }
  [[nodiscard]] const std::vector<unsigned char>& bytes() const { return bytes_; }

 private:
  void put(const void* p, std::size_t size) {
    const auto* b = static_cast<const unsigned char*>(p);
    bytes_.insert(bytes_.end(), b, b + size);
  }
  std::vector<unsigned char> bytes_;
};

class Unpacker {
 public:
  explicit Unpacker(const std::vector<unsigned char>& bytes) : bytes_(bytes) {}
  std::uint64_t u64() {
    std::uint64_t v = 0;
    get(&v, sizeof v);
    return v;
  }
  double f64() {
    double v = 0;
    get(&v, sizeof v);
    return v;
  }
  std::string text() {
    std::string s(static_cast<std::size_t>(std::min<std::uint64_t>(u64(), left())), '\0');
    get(s.data(), s.size());
    return s;
  }
  std::vector<std::uint64_t> counts() {
    std::vector<std::uint64_t> c(static_cast<std::size_t>(std::min<std::uint64_t>(u64(), left() / 8)));
    get(c.data(), c.size() * sizeof(std::uint64_t));
    return c;
  }
  // Every value read was there.
  [[nodiscard]] bool ok() const { return ok_; }

 private:
  [[nodiscard]] std::uint64_t left() const { return bytes_.size() - at_; }
  void get(void* p, std::size_t size) {
    if (size > left()) {
      ok_ = false;
      return;
    }
    if (size != 0) std::memcpy(p, bytes_.data() + at_, size);
    at_ += size;
  }
  const std::vector<unsigned char>& bytes_;
  std::size_t at_ = 0;
  bool ok_ = true;
};

void send(const std::vector<unsigned char>& bytes, int tag, int to) {
  MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD);
}

void send_empty(int tag, int to) { MPI_Send(nullptr, 0, MPI_BYTE, to, tag, MPI_COMM_WORLD); }

// The message `probed` announced, received.
std::vector<unsigned char> receive(const MPI_Status& probed) {
  int size = 0;
  MPI_Get_count(&probed, MPI_BYTE, &size);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(std::max(size, 0)));
  MPI_Recv(bytes.data(), size, MPI_BYTE, probed.MPI_SOURCE, probed.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  return bytes;
}

// The next message from `from` (MPI_ANY_SOURCE: anyone), if one has come.
bool probe(int from, MPI_Status& probed) {
  int flag = 0;
  MPI_Iprobe(from, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &probed);
  return flag != 0;
}

// A rank that cannot go on ends the job: its message, then MPI's abort.
[[noreturn]] void fail(int rank, const std::string& why) {
  std::fprintf(stderr, "wdist: rank %d: %s\n", rank, why.c_str());
  std::fflush(stderr);
  MPI_Abort(MPI_COMM_WORLD, 1);
  std::abort();  // not reached: MPI_Abort does not return
}

// Whether every rank can read the inputs as rank 0 does: named files that
// are regular (or that no rank can open: an item like any other).
bool inputs_shared(const Settings& s) {
  for (const std::string& name : s.files) {
    struct stat info {};
    if (name == "-" || (stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode))) return false;
  }
  return true;
}

bool valid_status_code(std::uint64_t code) { return code <= static_cast<std::uint64_t>(StatusCode::internal_error); }

}  // namespace

// What rank 0 has dealt and not heard back about, per rank.
struct Cluster::Dealer {
  struct Sent {
    std::shared_ptr<Job> job;
    bool whole = false;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
  };
  struct Rank {
    unsigned threads = 1;
    int requests = 0;                          // asked for and not dealt yet
    std::deque<std::vector<Sent>> deals;       // sent, in order, not replied to yet
  };
  std::vector<Rank> ranks;  // by rank; 0 is this one
  bool stopped = false;
  std::chrono::steady_clock::time_point last_probe;

  void serve(Executor& executor, std::uint64_t oldest_item);
  bool deal(Executor& executor, int to, std::uint64_t oldest_item);
  void take_reply(int from, const std::vector<unsigned char>& bytes);
};

void Cluster::Dealer::serve(Executor& executor, std::uint64_t oldest_item) {
  // The Runner looks after every record it reads; a probe for messages
  // costs more than a small record (and with more ranks than cores, MPI
  // yields the core in it).
  const auto now = std::chrono::steady_clock::now();
  if (now - last_probe < kDealerLook) return;
  last_probe = now;
  MPI_Status probed{};
  while (probe(MPI_ANY_SOURCE, probed)) {
    const std::vector<unsigned char> bytes = receive(probed);
    if (probed.MPI_TAG == kRequest)
      ++ranks[static_cast<std::size_t>(probed.MPI_SOURCE)].requests;
    else if (probed.MPI_TAG == kReply)
      take_reply(probed.MPI_SOURCE, bytes);
  }
  for (std::size_t r = 1; r < ranks.size(); ++r)
    while (ranks[r].requests > 0)
      if (!deal(executor, static_cast<int>(r), oldest_item)) return;  // nothing left to deal now
}

bool Cluster::Dealer::deal(Executor& executor, int to, std::uint64_t oldest_item) {
  Rank& rank = ranks[static_cast<std::size_t>(to)];
  std::vector<Sent> sent;
  Packer entries;
  std::uint64_t whole_left = kWholePerThread * rank.threads;
  double messages_left = kMessagesPerThread * rank.threads;
  while (whole_left > 0 && messages_left > 0) {
    Executor::ElsewhereClaim claim;
    if (!executor.claim_elsewhere(kUnitsPerThread * rank.threads, kWholeMessages, claim)) break;
    entries.u64(claim.job->tag);
    entries.u64(claim.whole ? 1 : 0);
    entries.u64(claim.whole ? 0 : claim.job->plan.summary.identity);
    entries.u64(claim.first);
    entries.u64(claim.count);
    sent.push_back(Sent{claim.job, claim.whole, claim.first, claim.count});
    if (!claim.whole) break;  // a range of units fills a deal
    --whole_left;
    const Code& code = claim.job->code;
    messages_left -= std::pow(static_cast<double>(code.q), static_cast<double>(std::min<std::int64_t>(code.k, code.n))) +
                     static_cast<double>(code.entries.size());
  }
  if (sent.empty()) return false;
  Packer deal;
  deal.u64(oldest_item);
  deal.u64(sent.size());
  std::vector<unsigned char> bytes = deal.bytes();
  bytes.insert(bytes.end(), entries.bytes().begin(), entries.bytes().end());
  send(bytes, kDeal, to);
  --rank.requests;
  rank.deals.push_back(std::move(sent));
  return true;
}

void Cluster::Dealer::take_reply(int from, const std::vector<unsigned char>& bytes) {
  Rank& rank = ranks[static_cast<std::size_t>(from)];
  if (rank.deals.empty()) fail(0, "rank " + std::to_string(from) + " replied to a deal it was not sent");
  const std::vector<Sent> sent = std::move(rank.deals.front());
  rank.deals.pop_front();
  Unpacker in(bytes);
  if (in.u64() != sent.size()) fail(0, "rank " + std::to_string(from) + " replied to another deal");
  for (const Sent& s : sent) {
    const std::uint64_t index = in.u64();
    const std::uint64_t code = in.u64();
    Status status{valid_status_code(code) ? static_cast<StatusCode>(code) : StatusCode::internal_error, in.text()};
    const double busy = in.f64();
    if (!in.ok() || index != s.job->tag) fail(0, "rank " + std::to_string(from) + " sent a damaged reply");
    if (s.whole) {
      std::string rendered = in.text();
      finish_elsewhere(*s.job, status, std::move(rendered), busy);
      continue;
    }
    Tally tally{in.counts()};
    std::size_t size = 0;
    {
      std::lock_guard<std::mutex> lock(s.job->mutex);
      size = s.job->total.counts.size();
      s.job->busy_seconds += busy;
    }
    if (status && tally.counts.size() != size)
      status = Status{StatusCode::internal_error, "a tally of another size came from rank " + std::to_string(from)};
    complete_units(*s.job, s.first, s.count, tally, status);
  }
  if (!in.ok()) fail(0, "rank " + std::to_string(from) + " sent a damaged reply");
}

Cluster::Cluster(int& argc, char**& argv) {
  if (!launched_by_mpi()) return;
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  joined_ = true;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
  if (provided < MPI_THREAD_FUNNELED && size_ > 1)
    fail(rank_, "this MPI cannot be called from the main thread of a process that runs threads");
}

Cluster::~Cluster() {
  if (joined_) MPI_Finalize();
}

void Cluster::abort(int status) const {
  std::fflush(stderr);
  if (joined_) MPI_Abort(MPI_COMM_WORLD, status);
  std::_Exit(status);
}

Helpers Cluster::start_dealing(const Settings& s) {
  int shared = inputs_shared(s) ? 1 : 0;
  MPI_Bcast(&shared, 1, MPI_INT, 0, MPI_COMM_WORLD);
  if (shared == 0) return Helpers{};
  unsigned mine = thread_count(s.threads);
  std::vector<unsigned> threads(static_cast<std::size_t>(size_));
  MPI_Gather(&mine, 1, MPI_UNSIGNED, threads.data(), 1, MPI_UNSIGNED, 0, MPI_COMM_WORLD);
  dealer_ = std::make_shared<Dealer>();
  dealer_->ranks.resize(static_cast<std::size_t>(size_));
  Helpers helpers;
  for (std::size_t r = 1; r < threads.size(); ++r) {
    dealer_->ranks[r].threads = std::max(1u, threads[r]);
    helpers.threads += dealer_->ranks[r].threads;
  }
  helpers.serve = [dealer = dealer_](Executor& executor, std::uint64_t oldest_item) {
    dealer->serve(executor, oldest_item);
  };
  helpers.every = kDealerLook;
  return helpers;
}

void Cluster::stop_dealing() {
  if (!dealer_ || dealer_->stopped) return;
  dealer_->stopped = true;
  for (int r = 1; r < size_; ++r) send_empty(kStop, r);
  // Requests and replies may still be on their way: each is taken in
  // before the rank's goodbye, which comes last.
  for (int left = size_ - 1; left > 0;) {
    MPI_Status probed{};
    if (!probe(MPI_ANY_SOURCE, probed)) {
      std::this_thread::sleep_for(kIdleSleep);
      continue;
    }
    receive(probed);
    if (probed.MPI_TAG == kBye) --left;
  }
}

namespace {

// A rank's side: the records it was dealt, from its own reading of the
// inputs.
class Helper {
 public:
  Helper(const Settings& s, int rank)
      : s_(s), rank_(rank), options_(record_options(s)), items_(s.files, s.format, s.projective, {}),
        executor_(thread_count(s.threads)) {
    executor_.set_look([this] { take_deals(); }, std::chrono::milliseconds(1));
  }

  void run() {
    while (!stopped_) {
      for (; requests_ + deals_.size() < kDealsAhead; ++requests_) send_empty(kRequest, 0);
      take_deals();
      if (stopped_) break;
      if (deals_.empty()) {
        sent_off();
        std::this_thread::sleep_for(kIdleSleep);
        continue;
      }
      // The oldest deal first: rank 0 takes the replies in order.
      if (const Job* job = unfinished(deals_.front())) {
        executor_.wait(*job, std::chrono::milliseconds(5));
        continue;
      }
      reply(deals_.front());
      deals_.pop_front();
      sent_off();
    }
    // Stopped with work in hand: a run that was abandoned.
    executor_.cancel();
    // Rank 0 takes everything in until the goodbye. (The analyzer cannot
    // pair requests kept in a container with their sends.)
    for (Outgoing& o : outgoing_) MPI_Wait(&o.request, MPI_STATUS_IGNORE);  // NOLINT(clang-analyzer-optin.mpi.MPI-Checker)
    send_empty(kBye, 0);
  }

 private:
  struct Entry {
    std::uint64_t index = 0;
    bool whole = false;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    std::shared_ptr<Job> job;  // null when it failed before any work (`failure`)
    Status failure;
  };
  using Deal = std::vector<Entry>;
  struct Outgoing {
    std::vector<unsigned char> bytes;
    MPI_Request request = MPI_REQUEST_NULL;
  };
  // A record read and not yet let go: rank 0 may still deal it.
  struct Held {
    Item item;
    bool planned = false;
    Plan plan;
  };

  static const Job* unfinished(const Deal& deal) {
    const auto it = std::find_if(deal.begin(), deal.end(), [](const Entry& e) { return e.job && !is_finished(*e.job); });
    return it == deal.end() ? nullptr : it->job.get();
  }

  void take_deals() {
    MPI_Status probed{};
    while (!stopped_ && probe(0, probed)) {
      const std::vector<unsigned char> bytes = receive(probed);
      if (probed.MPI_TAG == kStop) {
        stopped_ = true;
      } else if (probed.MPI_TAG == kDeal) {
        --requests_;
        take_deal(bytes);
      }
    }
  }

  void take_deal(const std::vector<unsigned char>& bytes) {
    Unpacker in(bytes);
    const std::uint64_t oldest = in.u64();
    held_.erase(held_.begin(), held_.lower_bound(oldest));
    Deal deal(static_cast<std::size_t>(in.u64()));
    for (Entry& e : deal) {
      e.index = in.u64();
      e.whole = in.u64() != 0;
      const std::uint64_t identity = in.u64();
      e.first = in.u64();
      e.count = in.u64();
      if (!in.ok()) fail(rank_, "a damaged deal came from rank 0");
      start(e, identity);
    }
    deals_.push_back(std::move(deal));
  }

  Held& record(std::uint64_t index) {
    while (next_item_ <= index) {
      Item item;
      if (!items_.next(item)) break;
      const std::uint64_t at = item.index;
      next_item_ = at + 1;
      if (item.message.empty()) held_.emplace(at, Held{std::move(item), false, Plan{}});
    }
    const auto it = held_.find(index);
    if (it == held_.end())
      fail(rank_, "item " + std::to_string(index + 1) +
                      " of the inputs is not a record here as on rank 0: every rank must read the same files");
    return it->second;
  }

  void start(Entry& e, std::uint64_t identity) {
    Held& h = record(e.index);
    if (e.whole) {
      auto render = record_renderer(s_.format, h.item.origin, h.item.capacity, h.item.code);
      e.job = std::make_shared<Job>(std::move(h.item.code), options_);
      e.job->render = std::move(render);
      held_.erase(e.index);  // dealt whole once
    } else {
      if (!h.planned) {
        e.failure = plan_record(h.item.code, options_, h.plan);
        if (!e.failure) return;
        h.planned = true;
      }
      if (h.plan.summary.identity != identity)
        fail(rank_, h.item.origin.file + " record " + std::to_string(h.item.origin.number) +
                        " is planned otherwise than on rank 0: every rank must read the same files with the same "
                        "program");
      e.job = std::make_shared<Job>(h.plan, e.first, e.count);
    }
    executor_.add(e.job);
  }

  void reply(Deal& deal) {
    Packer out;
    out.u64(deal.size());
    for (Entry& e : deal) {
      out.u64(e.index);
      if (!e.job) {
        out.u64(static_cast<std::uint64_t>(e.failure.code));
        out.text(e.failure.message);
        out.f64(0);
        if (e.whole) out.text(""); else out.counts({});
        continue;
      }
      std::lock_guard<std::mutex> lock(e.job->mutex);
      out.u64(static_cast<std::uint64_t>(e.job->status.code));
      out.text(e.job->status.message);
      out.f64(e.job->busy_seconds);
      if (e.whole)
        out.text(e.job->status ? output_of(*e.job) : std::string());
      else
        out.counts(e.job->status ? e.job->total.counts : std::vector<std::uint64_t>{});
    }
    if (out.bytes().size() > static_cast<std::size_t>(INT_MAX)) fail(rank_, "a reply of more than 2 GiB");
    // Sent without waiting: rank 0 may be sending a deal at the same time,
    // and two blocking sends of large messages would wait for each other.
    Outgoing& o = outgoing_.emplace_back();
    o.bytes = out.bytes();
    // Waited for in sent_off() and at the end of run(): the analyzer cannot
    // pair requests kept in a container with their waits.
    // NOLINTBEGIN(clang-analyzer-optin.mpi.MPI-Checker)
    MPI_Isend(o.bytes.data(), static_cast<int>(o.bytes.size()), MPI_BYTE, 0, kReply, MPI_COMM_WORLD, &o.request);
  }
  // NOLINTEND(clang-analyzer-optin.mpi.MPI-Checker)

  // Lets go of the replies that have gone.
  void sent_off() {
    while (!outgoing_.empty()) {
      int done = 0;
      MPI_Test(&outgoing_.front().request, &done, MPI_STATUS_IGNORE);
      if (done == 0) return;
      outgoing_.pop_front();
    }
  }

  const Settings& s_;
  const int rank_;
  const Options options_;
  InputItems items_;
  std::uint64_t next_item_ = 0;
  std::map<std::uint64_t, Held> held_;
  std::size_t requests_ = 0;  // sent, not answered yet
  std::deque<Deal> deals_;
  std::deque<Outgoing> outgoing_;  // replies on their way
  bool stopped_ = false;
  Executor executor_;  // last: its threads end before the rest goes
};

}  // namespace

int Cluster::serve(const Settings& s) const {
  int shared = 0;
  MPI_Bcast(&shared, 1, MPI_INT, 0, MPI_COMM_WORLD);
  if (shared == 0) return 0;
  unsigned mine = thread_count(s.threads);
  MPI_Gather(&mine, 1, MPI_UNSIGNED, nullptr, 0, MPI_UNSIGNED, 0, MPI_COMM_WORLD);
  Helper helper(s, rank_);
  helper.run();
  return 0;
}

}  // namespace wdist::cli
