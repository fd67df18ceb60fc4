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

#include "cli/cluster_messages.h"
#include "cli/items.h"
#include "cli/window.h"
#include "cli/work.h"

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

}  // namespace

// What rank 0 has dealt and not heard back about, per rank.
struct Cluster::Dealer {
  struct Rank {
    unsigned threads = 1;
    int requests = 0;                                // asked for and not dealt yet
    std::deque<std::vector<ElsewhereClaim>> deals;  // sent, in order, not replied to yet
  };
  std::vector<Rank> ranks;  // by rank; 0 is this one
  bool stopped = false;
  std::chrono::steady_clock::time_point last_probe;

  void serve(Executor& executor, OutputWindow& window, std::uint64_t oldest_item);
  void serve_search(Executor& executor, const SearchInFlight& now);
  // Takes in the requests and replies that have come; false when it is too
  // soon to look again.
  bool take_in(Executor& executor);
  bool deal(OutputWindow& window, int to, std::uint64_t oldest_item);
  bool deal_search(const SearchInFlight& now, int to);
  void take_reply(Executor& executor, int from, const std::vector<unsigned char>& bytes);
};

bool Cluster::Dealer::take_in(Executor& executor) {
  // The run looks after every record it reads; a probe for messages costs
  // more than a small record (and with more ranks than cores, MPI yields
  // the core in it).
  const auto now = std::chrono::steady_clock::now();
  if (now - last_probe < kDealerLook) return false;
  last_probe = now;
  MPI_Status probed{};
  while (probe(MPI_ANY_SOURCE, probed)) {
    const std::vector<unsigned char> bytes = receive(probed);
    if (probed.MPI_TAG == kRequest)
      ++ranks[static_cast<std::size_t>(probed.MPI_SOURCE)].requests;
    else if (probed.MPI_TAG == kReply)
      take_reply(executor, probed.MPI_SOURCE, bytes);
  }
  return true;
}

void Cluster::Dealer::serve(Executor& executor, OutputWindow& window, std::uint64_t oldest_item) {
  if (!take_in(executor)) return;
  for (std::size_t r = 1; r < ranks.size(); ++r)
    while (ranks[r].requests > 0)
      if (!deal(window, static_cast<int>(r), oldest_item)) return;  // nothing left to deal now
}

void Cluster::Dealer::serve_search(Executor& executor, const SearchInFlight& now) {
  if (!take_in(executor) || !now.job) return;
  for (std::size_t r = 1; r < ranks.size(); ++r)
    while (ranks[r].requests > 0)
      if (!deal_search(now, static_cast<int>(r))) return;  // nothing left to deal now
}

bool Cluster::Dealer::deal_search(const SearchInFlight& now, int to) {
  Rank& rank = ranks[static_cast<std::size_t>(to)];
  ElsewhereClaim claim;
  if (!now.job->claim(kUnitsPerThread * rank.threads, claim.units)) return false;
  claim.item = now.item;
  claim.job = now.job;
  // Its plan stays while units of it are claimed: the level cannot end.
  claim.plan_identity = now.job->plan_identity();
  DealEntry entry{claim.item, false, claim.plan_identity, claim.units};
  if (now.searching) {
    std::uint32_t level = 0;
    if (!now.run->current_level(claim.plan_identity, level, entry.lightest))
      fail(0, "units were claimed of no level of the search");
    entry.search_level = std::uint64_t{level} + 1;
  }
  Deal out;
  out.oldest_item = now.item;
  out.entries.push_back(entry);
  send(encode_deal(out), kDeal, to);
  --rank.requests;
  rank.deals.push_back({claim});
  return true;
}

bool Cluster::Dealer::deal(OutputWindow& window, int to, std::uint64_t oldest_item) {
  Rank& rank = ranks[static_cast<std::size_t>(to)];
  std::vector<ElsewhereClaim> sent;
  Deal deal;
  deal.oldest_item = oldest_item;
  std::uint64_t whole_left = kWholePerThread * rank.threads;
  double messages_left = kMessagesPerThread * rank.threads;
  while (whole_left > 0 && messages_left > 0) {
    ElsewhereClaim claim;
    if (!window.claim_elsewhere(kUnitsPerThread * rank.threads, kWholeMessages, claim)) break;
    deal.entries.push_back(DealEntry{claim.item, claim.whole, claim.plan_identity, claim.units});
    sent.push_back(claim);
    if (!claim.whole) break;  // a range of units fills a deal
    --whole_left;
    messages_left -= claim.record->messages() + static_cast<double>(claim.record->entries());
  }
  if (sent.empty()) return false;
  send(encode_deal(deal), kDeal, to);
  --rank.requests;
  rank.deals.push_back(std::move(sent));
  return true;
}

void Cluster::Dealer::take_reply(Executor& executor, int from, const std::vector<unsigned char>& bytes) {
  Rank& rank = ranks[static_cast<std::size_t>(from)];
  const std::string who = "rank " + std::to_string(from);
  if (rank.deals.empty()) fail(0, who + " replied to a deal it was not sent");
  const std::vector<ElsewhereClaim> sent = std::move(rank.deals.front());
  rank.deals.pop_front();
  std::vector<ReplyEntry> reply;
  if (!decode_reply(bytes, reply)) fail(0, who + " sent a damaged reply");
  if (reply.size() != sent.size()) fail(0, who + " replied to another deal");
  for (std::size_t i = 0; i < sent.size(); ++i) {
    const ElsewhereClaim& s = sent[i];
    ReplyEntry& r = reply[i];
    if (r.item != s.item || r.whole != s.whole) fail(0, who + " sent a damaged reply");
    if (!r.status) {
      s.job->end(r.status);
    } else if (s.whole) {
      s.record->set_output(std::move(r.output));
      s.job->end(Status{});
    } else if (r.progress.done.size() != 1 || r.progress.done[0].first != s.units.first ||
               r.progress.done[0].count != s.units.count) {
      fail(0, who + " sent back other units than it was dealt");
    } else if (Status fit = executor.add_units_done(s.job, r.progress); !fit) {
      s.job->end(Status{StatusCode::internal_error, "what " + who + " computed: " + fit.message});
    }
  }
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

bool Cluster::join_helpers(const Settings& s) {
  int shared = inputs_shared(s) ? 1 : 0;
  MPI_Bcast(&shared, 1, MPI_INT, 0, MPI_COMM_WORLD);
  if (shared == 0) return false;
  unsigned mine = thread_count(s.threads);
  std::vector<unsigned> threads(static_cast<std::size_t>(size_));
  MPI_Gather(&mine, 1, MPI_UNSIGNED, threads.data(), 1, MPI_UNSIGNED, 0, MPI_COMM_WORLD);
  dealer_ = std::make_shared<Dealer>();
  dealer_->ranks.resize(static_cast<std::size_t>(size_));
  for (std::size_t r = 1; r < threads.size(); ++r) dealer_->ranks[r].threads = std::max(1u, threads[r]);
  return true;
}

SearchHelpers Cluster::start_dealing_search(const Settings& s) {
  if (!join_helpers(s)) return SearchHelpers{};
  SearchHelpers helpers;
  helpers.serve = [dealer = dealer_](Executor& executor, const SearchInFlight& now) {
    dealer->serve_search(executor, now);
  };
  helpers.every = kDealerLook;
  return helpers;
}

Helpers Cluster::start_dealing(const Settings& s) {
  if (!join_helpers(s)) return Helpers{};
  Helpers helpers;
  for (std::size_t r = 1; r < dealer_->ranks.size(); ++r) helpers.threads += dealer_->ranks[r].threads;
  helpers.serve = [dealer = dealer_](Executor& executor, OutputWindow& window, std::uint64_t oldest_item) {
    dealer->serve(executor, window, oldest_item);
  };
  helpers.every = kDealerLook;
  helpers.whole_messages = kWholeMessages;
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
      : s_(s), rank_(rank), options_(record_options(s)),
        items_(s.group ? InputItems(s.files, *s.group, group_options(s), {})
                       : InputItems(s.files, s.format, s.projective, {})),
        executor_(thread_count(s.threads)) {
    executor_.set_owner_poll([this] { take_deals(); }, std::chrono::milliseconds(1));
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
        executor_.compute_until(*job, std::chrono::milliseconds(5));
        continue;
      }
      reply(deals_.front());
      deals_.pop_front();
      sent_off();
    }
    // Stopped with work in hand: a run that was abandoned.
    executor_.cancel();
    // Rank 0 takes everything in until the goodbye. (Tested rather than
    // waited for: clang-tidy's MPI checker fails on a wait for a request
    // kept in a container.)
    for (sent_off(); !outgoing_.empty(); sent_off()) std::this_thread::sleep_for(kIdleSleep);
    send_empty(kBye, 0);
  }

 private:
  struct Entry {
    DealEntry dealt;
    std::shared_ptr<Job> job;                // null when it failed before any work (`failure`)
    std::shared_ptr<RecordWork> record;      // dealt whole
    std::shared_ptr<UnitProgress> progress;  // a range: what its units counted, once done
    Status failure;
  };
  using Work = std::vector<Entry>;
  struct Outgoing {
    std::vector<unsigned char> bytes;
    MPI_Request request = MPI_REQUEST_NULL;
  };
  // A record read and not yet let go: rank 0 may still deal it.
  struct Held {
    Item item;
    bool planned = false;
    Plan plan;  // a search's: of the level last dealt, or of its complete distribution
    std::shared_ptr<SearchRun> search;
    std::uint64_t search_level = 0;  // as DealEntry's, of `plan` (with `planned`)
  };

  static const Job* unfinished(const Work& work) {
    const auto it = std::find_if(work.begin(), work.end(), [](const Entry& e) { return e.job && !e.job->finished(); });
    return it == work.end() ? nullptr : it->job.get();
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
    Deal deal;
    if (!decode_deal(bytes, deal)) fail(rank_, "a damaged deal came from rank 0");
    held_.erase(held_.begin(), held_.lower_bound(deal.oldest_item));
    Work work(deal.entries.size());
    for (std::size_t i = 0; i < work.size(); ++i) {
      work[i].dealt = deal.entries[i];
      start(work[i]);
    }
    deals_.push_back(std::move(work));
  }

  Held& record(std::uint64_t index) {
    while (next_item_ <= index) {
      Item item;
      if (!items_.next(item)) break;
      const std::uint64_t at = item.index;
      next_item_ = at + 1;
      if (item.message.empty()) held_.emplace(at, Held{std::move(item), false, Plan{}, nullptr, 0});
    }
    const auto it = held_.find(index);
    if (it == held_.end())
      fail(rank_, "item " + std::to_string(index + 1) +
                      " of the inputs is not a record here as on rank 0: every rank must read the same files");
    return it->second;
  }

  void start(Entry& e) {
    const DealEntry& dealt = e.dealt;
    Held& h = record(dealt.item);
    if (dealt.whole) {
      e.record = std::make_shared<RecordWork>(s_.format, options_, h.item.origin, std::move(h.item.code),
                                              h.item.capacity, std::move(h.item.group));
      e.job = record_job(e.record);
      held_.erase(dealt.item);  // dealt whole once
    } else {
      e.failure = searching_ ? plan_search_units(h, dealt) : plan_units(h);
      if (!e.failure) return;
      if (h.plan.summary.identity != dealt.plan_identity)
        fail(rank_, h.item.origin.file + " record " + std::to_string(h.item.origin.number) +
                        " is planned otherwise than on rank 0: every rank must read the same files with the same "
                        "program");
      auto progress = std::make_shared<UnitProgress>();
      progress->plan_identity = h.plan.summary.identity;
      progress->units = h.plan.summary.units;
      progress->done.push_back(dealt.units);
      e.progress = progress;
      // What the units counted is taken as they are done, for the reply.
      e.job = std::make_shared<Job>(h.plan, dealt.units, [progress](const Job& job, Worker&) {
        progress->total = job.total();
        progress->busy_seconds = job.busy_seconds();
        return Status{};
      });
    }
    executor_.add(e.job);
  }

  // The plan of a record whose units are dealt.
  Status plan_units(Held& h) const {
    if (h.planned) return Status{};
    if (Status st = plan_record(h.item.code, options_, h.plan); !st) return st;
    h.planned = true;
    return Status{};
  }

  // The plan of the units of a search that `dealt` names: its complete
  // distribution's, or a level's (the last one's kept: a level is dealt in
  // many ranges).
  Status plan_search_units(Held& h, const DealEntry& dealt) const {
    if (!h.search)
      if (Status st = SearchRun::plan(h.item.code, search_options(s_), h.search); !st) return st;
    h.search->learn_lightest(dealt.lightest);
    if (h.planned && h.search_level == dealt.search_level) return Status{};
    h.planned = false;
    if (dealt.search_level == 0) {
      if (!h.search->complete_route())
        fail(rank_, h.item.origin.file + " record " + std::to_string(h.item.origin.number) +
                        " is searched here, and its complete distribution computed on rank 0");
      h.plan = h.search->complete_plan();
    } else if (dealt.search_level - 1 > UINT32_MAX) {
      return Status{StatusCode::invalid_code, "a level beyond the search's"};
    } else if (Status st = h.search->plan_of_level(static_cast<std::uint32_t>(dealt.search_level - 1), h.plan); !st) {
      return st;
    }
    h.planned = true;
    h.search_level = dealt.search_level;
    return Status{};
  }

  void reply(Work& work) {
    std::vector<ReplyEntry> entries(work.size());
    for (std::size_t i = 0; i < work.size(); ++i) {
      Entry& e = work[i];
      ReplyEntry& r = entries[i];
      r.item = e.dealt.item;
      r.whole = e.dealt.whole;
      r.status = e.job ? e.job->status() : e.failure;
      if (!r.status) continue;
      if (e.dealt.whole)
        r.output = e.record->take_output();
      else
        r.progress = std::move(*e.progress);
    }
    std::vector<unsigned char> bytes = encode_reply(entries);
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) fail(rank_, "a reply of more than 2 GiB");
    // Sent without waiting: rank 0 may be sending a deal at the same time,
    // and two blocking sends of large messages would wait for each other.
    Outgoing& o = outgoing_.emplace_back();
    o.bytes = std::move(bytes);
    // Tested in sent_off(), at the end of run() until every one is sent:
    // the analyzer cannot pair requests kept in a container with those.
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
  const bool searching_ = searches(s_);  // a search's run (search_mode.h): units of its levels are dealt
  const Options options_;
  InputItems items_;
  std::uint64_t next_item_ = 0;
  std::map<std::uint64_t, Held> held_;
  std::size_t requests_ = 0;  // sent, not answered yet
  std::deque<Work> deals_;
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
