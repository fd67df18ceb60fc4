// The columns of a code over F_q, q = p^m, as columns over its prime field
// F_p, so that the binary (p = 2) and q-ary (odd p) transforms count its
// messages. The F_4 image of columns.h is one such image, in another basis.
//
// Why it works. With Tr the trace of F_q over F_p, the message x in F_q^k
// gives the F_p-linear functional y -> Tr(x . y) of F_q^k = F_p^(mk), and
// x -> that functional is a bijection onto all functionals, each of which
// is v -> <u, v> for one u in F_p^(mk); so the p^(mk) messages u of the
// image are the q^k messages x, one each. For a column g: if x . g = 0,
// Tr(x . (c g)) = 0 for every c in F_q^*; otherwise c x . g runs over
// F_q^*, on which Tr vanishes q/p - 1 times. The multiples c g and
// (l c) g, l in F_p^*, lie on the same hyperplanes, so one multiple per
// coset of F_p^* suffices: the powers a^0 .. a^(r-1) of the primitive
// element, r = (q - 1)/(p - 1). With n columns of which Z(x) have
// x . g = 0, the r n image columns on the hyperplane of u number
//   H_R = (q - 1)/(p - 1) Z + (q/p - 1)/(p - 1) (n - Z),
// i.e. (p - 1) H_R = H, the count over all q - 1 multiples, and
//   Z = ((p - 1) H_R - (q/p - 1) n) / (q - q/p),
// an exact division. The image word of u then has weight
//   r n - H_R = p^(m-1) (n - Z):
// every codeword's weight times p^(m-1) (F_4: 3n columns, twice the
// weight). Zero columns of the code give zero columns of the image, on
// every hyperplane, as the formulas count them.
//
// Layout. Image row i*m + j (0-based) holds digit j of coordinate i, so the
// pattern of an image column over F_2 is the codes of its k entries side by
// side, m bits each. Image column s*n + c (0-based) is a^s times column c.
// For a prime field (m = 1, r = 1) the image is the code itself.
#pragma once

#include <cstdint>

#include "field/galois.h"
#include "transform/columns.h"

namespace wdist {

// r = (q - 1)/(p - 1): the multiples of each column the image takes.
int image_multiples(const GaloisField& f);

// The image of a k x n code has m k rows and r n columns.
int image_row_count(const GaloisField& f, int k);
std::int64_t image_column_count(const GaloisField& f, std::int64_t n);

// p = 2, m k <= 64: the patterns (bit i*m + j is digit j of entry i) of
// image columns s*n + first .. s*n + first + count - 1, s = `multiple`
// (0 <= s < r), into patterns[0..count). The code's entries are below q.
void image_patterns(const GaloisField& f, const MatrixView& code, int multiple, std::int64_t first,
                    std::int64_t count, std::uint64_t* patterns);

// Any p: the whole image, rows[i*m + j][s*n + c] for every image row and
// column; `rows` holds m k rows of r n codes each, owned by the caller.
void write_image_rows(const GaloisField& f, const MatrixView& code, ElemCode* const* rows);

// Z, the coordinates where the codeword of x is zero, from H_R, the image
// columns on the hyperplane of u (zero columns included); n is the code's
// length. False when H_R cannot arise from any codeword (the division
// leaves a remainder or Z falls outside 0..n).
bool zeros_from_image_count(const GaloisField& f, std::int64_t n, std::int64_t on_hyperplane, std::int64_t& zeros);

// The codeword's weight from its image word's, w = W / p^(m-1); false when
// W is not a multiple of p^(m-1).
bool weight_from_image_weight(const GaloisField& f, std::int64_t image_weight, std::int64_t& weight);

}  // namespace wdist
