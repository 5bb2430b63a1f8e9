// The right-hand side X'y and the diagonal of X'X, both in single precision
// in record order, and the console report of the diagonal.
#pragma once

#include <cstdint>
#include <span>

#include "common/text_io.hpp"
#include "estimator/state.hpp"

namespace gp {

// xpy(j) = y * row(j) + xpy(j) for every j, each product and sum rounded to
// single precision: X'y of the records so far, when called once per record
// in file order with its design row (row.size() == xpy.size()).
void add_row_to_xpy(std::span<float> xpy, float y, std::span<const int8_t> row);

// diag(j) = sum over records in order of x(i, j)^2, single precision.
// Needs x.rows == nrec and x.cols == neq.
void form_diag(EstimatorState& state);

// Prints "diags" and " 5 elements of XPX: " with the first five diagonal
// elements (fewer when there are fewer equations).
void report_diag(Units& io, const EstimatorState& state);

}  // namespace gp
