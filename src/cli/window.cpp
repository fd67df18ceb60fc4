#include "cli/window.h"

namespace wdist::cli {

void OutputWindow::push(WindowItem item) {
  held_ += item.bytes;
  items_.push_back(std::move(item));
}

void OutputWindow::pop() {
  held_ -= items_.front().bytes;
  items_.pop_front();
}

std::vector<RecordInProgress> OutputWindow::records_in_progress() const {
  std::vector<RecordInProgress> records;
  for (const WindowItem& item : items_) {
    if (!item.record) continue;
    if (item.job->finished() && !item.job->status()) continue;
    UnitProgress progress = item.job->progress();
    if (progress.done.empty()) continue;
    records.push_back(RecordInProgress{item.index, std::move(progress)});
  }
  return records;
}

bool OutputWindow::claim_elsewhere(std::uint64_t most, double whole_messages, ElsewhereClaim& claim) {
  bool settled = true;  // every item looked at so far
  for (WindowItem& item : items_) {
    if (item.index < settled_) continue;
    if (item.record && !item.dealt_whole) {
      Job& job = *item.job;
      if (item.record->messages() <= whole_messages && job.take_whole()) {
        item.dealt_whole = true;
        claim = ElsewhereClaim{item.index, item.job, item.record, true, 0, UnitRange{}};
        return true;
      }
      UnitRange units;
      if (job.claim(most, units)) {
        claim = ElsewhereClaim{item.index, item.job, item.record, false, job.plan_identity(), units};
        return true;
      }
      // Finished, or planned with every unit claimed; one being planned
      // may have units to deal later.
      settled = settled && (job.finished() || job.counts().units > 0);
    }
    if (settled) settled_ = item.index + 1;
  }
  return false;
}

}  // namespace wdist::cli
