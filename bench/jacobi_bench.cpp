// Times the Jacobi eigensolver against its step-by-step reference on TFIM chains of 2 to 8 sites.
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/models.hpp"
#include "exact/dense_matrix.hpp"
#include "exact/eigensolver.hpp"
#include "exact/eigensolver_reference.hpp"
#include "exact/exact_basis.hpp"

namespace {

using namespace vendrel;

// An open chain with couplings and fields drawn from [0.5, 1.5), in the z basis.
exact::DenseMatrix tfim_chain(std::uint32_t sites, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> draw(0.5, 1.5);
    std::vector<core::InteractionTerm> terms;
    for (std::uint32_t site = 0; site + 1 < sites; ++site) {
        auto bond = core::Bond::create(core::SiteId::create(site), core::SiteId::create(site + 1));
        terms.push_back({*bond, core::InteractionChannel::ising_zz(), draw(rng)});
    }
    std::vector<double> fields(sites);
    for (double& field : fields) field = draw(rng);
    const auto count = *core::SiteCount::create(sites);
    auto table = core::InteractionTable::create(count, std::move(terms));
    auto model = core::tfim(*table, fields, core::SimulationBasis::Z);
    auto matrix = exact::DenseMatrix::from_hamiltonian(model->hamiltonian(), *exact::ExactBasis::full(count));
    if (!matrix) {
        std::fprintf(stderr, "cannot build the %u-site TFIM matrix\n", sites);
        std::exit(1);
    }
    return *std::move(matrix);
}

// The best of `repeats` runs, in milliseconds.
template <class F>
double best_milliseconds(int repeats, F&& run) {
    double best = 1e300;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
        best = std::min(best, elapsed.count());
    }
    return best;
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) || (a == 0.0 && b == 0.0);
}

bool same_spectrum(const exact::Eigensystem& a, const exact::Eigensystem& b) {
    if (a.values.size() != b.values.size()) return false;
    for (std::size_t i = 0; i < a.values.size(); ++i) {
        if (!same_bits(a.values[i], b.values[i]) || !same_bits(a.residuals[i], b.residuals[i])) return false;
        for (std::size_t k = 0; k < a.vectors[i].size(); ++k) {
            if (!same_bits(a.vectors[i][k].re, b.vectors[i][k].re) ||
                !same_bits(a.vectors[i][k].im, b.vectors[i][k].im)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint32_t max_sites = argc > 1 ? static_cast<std::uint32_t>(std::atoi(argv[1])) : 8;
    const std::uint32_t max_reference_sites = 7;
    std::mt19937_64 rng(2024);
    std::printf("%5s %6s %14s %12s %9s %10s\n", "sites", "dim", "reference ms", "fast ms", "speedup", "same bits");
    for (std::uint32_t sites = 2; sites <= max_sites; ++sites) {
        const exact::DenseMatrix matrix = tfim_chain(sites, rng);
        const int repeats = sites <= 5 ? 50 : (sites <= 7 ? 5 : 3);
        exact::Eigensystem fast;
        const double fast_ms = best_milliseconds(repeats, [&] { fast = *exact::diagonalize_hermitian(matrix); });
        if (sites > max_reference_sites) {
            std::printf("%5u %6llu %14s %12.3f %9s %10s\n", sites, static_cast<unsigned long long>(matrix.dimension()),
                        "-", fast_ms, "-", "-");
            continue;
        }
        exact::Eigensystem reference;
        const double reference_ms = best_milliseconds(sites <= 5 ? repeats : 1, [&] {
            reference = *exact::reference::diagonalize_hermitian(matrix);
        });
        std::printf("%5u %6llu %14.3f %12.3f %9.1f %10s\n", sites, static_cast<unsigned long long>(matrix.dimension()),
                    reference_ms, fast_ms, reference_ms / fast_ms, same_spectrum(fast, reference) ? "yes" : "NO");
    }
    return 0;
}
