// The plain QGT product (one row, one column at a time) and the shifted solve built on it.
#include "variational/qgt_reference.hpp"

#include <algorithm>
#include <cmath>

namespace vendrel::variational::reference {

Result<std::vector<double>, TDVPError> matvec(const DenseQgt& qgt, std::span<const double> vector) {
    const std::uint64_t parameters = qgt.parameters();
    const std::span<const double> data = qgt.as_slice();
    if (vector.size() != parameters) {
        return fail(TDVPError{tdvp_error::Shape{parameters, vector.size()}});
    }
    if (!std::ranges::all_of(vector, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT vector"}});
    }
    std::vector<double> product(parameters);
    for (std::uint64_t row = 0; row < parameters; ++row) {
        const double* elements = data.data() + row * parameters;
        double sum = -0.0;
        for (std::uint64_t column = 0; column < parameters; ++column) {
            sum = sum + elements[column] * vector[column];
        }
        product[row] = sum;
    }
    if (!std::ranges::all_of(product, [](double value) { return std::isfinite(value); })) {
        return fail(TDVPError{tdvp_error::NonFinite{"QGT matvec"}});
    }
    return product;
}

Result<CGResult, TDVPError> solve(const DenseQgt& qgt, std::span<const double> rhs, double lambda, double tolerance,
                                  std::uint64_t max_iterations) {
    const auto product = [&qgt](std::span<const double> vector) { return matvec(qgt, vector); };
    return solve_shifted(product, qgt.parameters(), rhs, lambda, tolerance, max_iterations);
}

}  // namespace vendrel::variational::reference
