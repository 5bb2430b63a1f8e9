// Natural logarithm and exponential that give the same bits on every
// processor. The C library picks its exp and log at run time (with or without
// fused multiply-add), so their last bit may differ between machines; these
// use only IEEE-exact operations (+ - * /, bit manipulation) in a fixed order.
// Both are fdlibm's algorithms (Sun Microsystems, 1993), error below 1 ulp.
#pragma once

namespace gp {

// log(x): -inf at +-0, NaN below 0 and for NaN, +inf at +inf.
double fixed_log(double x);

// exp(x): +inf above 709.78, +0 below -745.13, NaN for NaN; subnormal
// results in between.
double fixed_exp(double x);

}  // namespace gp
