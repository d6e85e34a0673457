// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace korvane::chart {

// The pixel column of x when [x0, x1] is spread over columns columns: floor of the scaled
// offset, x1 itself in the last column. Non-decreasing in x; only meaningful within [x0, x1].
int ReviewColumnOf(double x, double x0, double x1, int columns);

// Indices of the points to draw for sorted xs within [x0, x1] over columns pixel columns: for
// each column that has a point with a value, its first, minimum, maximum and last such point,
// ascending and without repeats, so at most four per column. Points whose y is NaN carry no
// value and are left out. Only the visible points are visited. Empty for an empty or reversed
// range, no columns, or arrays of different lengths.
std::vector<std::size_t> DecimateColumns(std::span<const double> xs, std::span<const double> ys,
                                         double x0, double x1, int columns);

}  // namespace korvane::chart
