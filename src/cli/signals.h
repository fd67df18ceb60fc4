// The signals a run answers. With a checkpoint, SIGINT and SIGTERM stop the
// run once its checkpoint is written (exit status 128 + the signal): the
// main thread alone takes them, between its reports, and the workers never
// do. As rank 0 of an MPI job without a checkpoint, SIGTERM is how the MPI
// runtime ends the job when another rank fails: the run says so.
#pragma once

namespace wdist::cli {

// Blocks SIGINT and SIGTERM in this thread: the threads it starts after
// this inherit the mask, so that only this thread takes them once
// take_stop_signals() unblocks them here.
void block_stop_signals();
// Notes SIGINT and SIGTERM (stop_signal()) instead of ending the process,
// and unblocks them in this thread.
void take_stop_signals();
// The stop signal that came, or 0 while none did.
int stop_signal();

// SIGTERM ends the process with a message that the MPI job was ended (a
// rank failed, or the job was stopped) and exit status 128 + SIGTERM.
// (Only rank 0 of an MPI job needs it.)
void say_why_the_job_ends();

}  // namespace wdist::cli
