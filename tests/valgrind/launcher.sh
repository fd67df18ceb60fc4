#!/bin/sh
# Starts the program named by its argument under valgrind memcheck, for the
# end-to-end suites (WDIST_TEST_LAUNCHER). A memcheck error ends the program
# with status 99, which no end-to-end test expects; the log of each process
# goes to $WDIST_VALGRIND_LOGS (one file per process id).
#
# A halted program keeps its records by design; their byte rows are reached
# only through pointers one past their block start, which memcheck calls
# "possibly lost", so only definite leaks count as errors.
exec valgrind --tool=memcheck --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite \
  --log-file="${WDIST_VALGRIND_LOGS:-/tmp}/vg-%p.log" "$@"
