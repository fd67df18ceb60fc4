// The binary image of a code over F_4 as a matrix record: a binary code of
// dimension 2k and length 3n whose codewords are the images of all
// F_4-combinations of the rows of G, each with exactly twice the weight.
// The entries are those of f4_image_entry (columns.h).
#pragma once

#include "menu/store/gen_matrix.h"

namespace wdist {

// Fills `image` (sized by the caller: 2k rows, 3n columns) from the F_4
// matrix g. Row j holds, in the three blocks of n columns, the traces of
// G[j] times 1, w, w^2; row k + j those of G[j] times w^2, 1, w (the image
// of w^2 G[j]). Sets image.k to 2k.
void build_binary_image(const GenMatrix& g, GenMatrix& image);

}  // namespace wdist
