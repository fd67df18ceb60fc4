// Opening a file that is to be read as a code file. A name that opens but
// cannot be read as a file (a directory, say) is as unusable as one that
// does not open: both give nullptr with errno telling why.
#pragma once

#include <cstdio>

namespace wdist {

std::FILE* open_input_file(const char* name);

}  // namespace wdist
