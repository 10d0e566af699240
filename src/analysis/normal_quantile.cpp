#include "analysis/normal_quantile.hpp"

#include <cmath>
#include <limits>

#include "common/types.hpp"

namespace tavrel {
namespace {

// A polynomial in r with the coefficients from the constant term upward,
// evaluated by Horner's scheme from the highest power down.
template <int N>
double polynomial(const double (&c)[N], double r) {
    double v = c[N - 1];
    for (int i = N - 2; i >= 0; --i) v = v * r + c[i];
    return v;
}

}  // namespace

// Wichura's rational approximations (algorithm AS 241, 1988): one for the
// centre |p - 0.5| <= 0.425, two for the tails in r = sqrt(-log(min(p, 1 - p))).
double normalQuantile(double p) {
    if (!(p >= 0.0 && p <= 1.0)) return kNaN;
    if (p == 0.0) return -std::numeric_limits<double>::infinity();
    if (p == 1.0) return std::numeric_limits<double>::infinity();

    const double q = p - 0.5;
    if (std::fabs(q) <= 0.425) {
        static constexpr double a[] = {3.387132872796366608,   133.14166789178437745, 1971.5909503065514427,
                                       13731.693765509461125,  45921.953931549871457, 67265.770927008700853,
                                       33430.575583588128105,  2509.0809287301226727};
        static constexpr double b[] = {1.0,                   42.313330701600911252, 687.1870074920579083,
                                       5394.1960214247511077, 21213.794301586595867, 39307.89580009271061,
                                       28729.085735721942674, 5226.495278852545925};
        const double r = 0.180625 - q * q;
        return q * polynomial(a, r) / polynomial(b, r);
    }

    double r = std::sqrt(-std::log(q < 0.0 ? p : 1.0 - p));
    double z;
    if (r <= 5.0) {
        static constexpr double c[] = {1.42343711074968357734,  4.6303378461565452959,   5.7694972214606914055,
                                       3.64784832476320460504,  1.27045825245236838258,  0.24178072517745061177,
                                       0.0227238449892691845833, 7.7454501427834140764e-4};
        static constexpr double d[] = {1.0,                     2.05319162663775882187, 1.6763848301838038494,
                                       0.68976733498510000455,  0.14810397642748007459, 0.0151986665636164571966,
                                       5.475938084995344946e-4, 1.05075007164441684324e-9};
        r -= 1.6;
        z = polynomial(c, r) / polynomial(d, r);
    } else {
        static constexpr double e[] = {6.6579046435011037772,    5.4637849111641143699,   1.7848265399172913358,
                                       0.29656057182850489123,   0.026532189526576123093, 0.0012426609473880784386,
                                       2.71155556874348757815e-5, 2.01033439929228813265e-7};
        static constexpr double f[] = {1.0,                      0.59983220655588793769,  0.13692988092273580531,
                                       0.0148753612908506148525, 7.868691311456132591e-4, 1.8463183175100546818e-5,
                                       1.4215117583164458887e-7, 2.04426310338993978564e-15};
        r -= 5.0;
        z = polynomial(e, r) / polynomial(f, r);
    }
    return q < 0.0 ? -z : z;
}

}  // namespace tavrel
