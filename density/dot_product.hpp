// The dot product of the density kernels: four running sums added at the end
// in a fixed order, so that a sum has the same bits on every machine and in
// every thread, whatever piece of work it falls in.
#pragma once

namespace ciprop {

inline double dot(const double* x, const double* y, long long n) {
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  long long k = 0;
  for (; k + 4 <= n; k += 4) {
    s0 += x[k] * y[k];
    s1 += x[k + 1] * y[k + 1];
    s2 += x[k + 2] * y[k + 2];
    s3 += x[k + 3] * y[k + 3];
  }
  for (; k < n; ++k) s0 += x[k] * y[k];
  return (s0 + s1) + (s2 + s3);
}

}  // namespace ciprop
