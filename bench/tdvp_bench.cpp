// Times the plain and the fast TDVP estimate and shifted solve, checks that they agree bit for bit, prints a table.
//
//   vendrel_tdvp_bench            the default sizes (estimate at N = 16384, P = 64, 256, 512; solve P = 16..1024)
//   vendrel_tdvp_bench quick      smaller sizes, for a smoke run
#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <span>
#include <string_view>
#include <vector>

#include "variational/qgt_reference.hpp"
#include "variational/tdvp.hpp"
#include "variational/tdvp_kernels.hpp"
#include "variational/tdvp_statistics_reference.hpp"

namespace {

using vendrel::Complex;
namespace tdvp = vendrel::variational;

using Clock = std::chrono::steady_clock;

// Smallest wall time of `repeats` calls, in seconds.
template <class F>
double best_of(int repeats, F&& call) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = Clock::now();
        call();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

bool same_bits(std::span<const double> a, std::span<const double> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

void bench_estimate(std::uint64_t samples, std::uint64_t parameters, int repeats) {
    std::mt19937_64 rng(samples * 131 + parameters);
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> weights(samples);
    std::vector<Complex> energies(samples);
    std::vector<Complex> derivatives(samples * parameters);
    for (auto& w : weights) w = uniform(rng);
    for (auto& e : energies) e = {normal(rng), normal(rng)};
    for (auto& d : derivatives) d = {normal(rng), normal(rng)};

    auto fast = tdvp::estimate_tdvp(weights, energies, derivatives, parameters, tdvp::TDVPMode::RealTime);
    auto plain = tdvp::reference::estimate_tdvp(weights, energies, derivatives, parameters, tdvp::TDVPMode::RealTime);
    const bool equal = fast && plain && same_bits(fast->qgt().as_slice(), plain->qgt().as_slice()) &&
                       same_bits(fast->rhs(), plain->rhs()) &&
                       same_bits(fast->force().real(), plain->force().real());

    const double t_plain = best_of(std::max(1, repeats / 2), [&] {
        auto r = tdvp::reference::estimate_tdvp(weights, energies, derivatives, parameters, tdvp::TDVPMode::RealTime);
        if (!r) std::puts("error");
    });
    std::printf("estimate  N=%6llu P=%5llu   plain %9.4f s", static_cast<unsigned long long>(samples),
                static_cast<unsigned long long>(parameters), t_plain);
    for (const tdvp::kernels::Kernels* table : tdvp::kernels::available()) {
        const tdvp::kernels::ScopedKernels scope(*table);
        const double t_fast = best_of(repeats, [&] {
            auto r = tdvp::estimate_tdvp(weights, energies, derivatives, parameters, tdvp::TDVPMode::RealTime);
            if (!r) std::puts("error");
        });
        std::printf("   %s %8.4f s (x%5.1f)", table->name, t_fast, t_plain / t_fast);
    }
    std::printf("   %s\n", equal ? "same bits" : "DIFFERENT");
}

// A well-conditioned symmetric positive definite S = B B^T / P + I, and a tolerance so small that both
// solvers run exactly `iterations` iterations.
void bench_solve(std::uint64_t parameters, std::uint64_t iterations, int repeats) {
    std::mt19937_64 rng(parameters);
    std::normal_distribution<double> normal;
    std::vector<double> b(parameters * parameters);
    for (auto& x : b) x = normal(rng);
    std::vector<double> s(parameters * parameters);
    for (std::uint64_t i = 0; i < parameters; ++i) {
        for (std::uint64_t j = 0; j <= i; ++j) {
            double sum = 0.0;
            for (std::uint64_t k = 0; k < parameters; ++k) sum += b[i * parameters + k] * b[j * parameters + k];
            sum /= static_cast<double>(parameters);
            if (i == j) sum += 1.0;
            s[i * parameters + j] = sum;
            s[j * parameters + i] = sum;
        }
    }
    std::vector<double> rhs(parameters);
    for (auto& x : rhs) x = normal(rng);
    auto qgt = tdvp::DenseQgt::create(parameters, s);
    if (!qgt) {
        std::puts("bad QGT");
        return;
    }
    constexpr double kTolerance = 1e-300;
    constexpr double kShift = 1e-3;
    auto fast = qgt->solve(rhs, kShift, kTolerance, iterations);
    auto plain = tdvp::reference::solve(*qgt, rhs, kShift, kTolerance, iterations);
    const bool equal = fast && plain && same_bits(fast->direction(), plain->direction()) &&
                       fast->iterations() == plain->iterations();
    const double t_plain = best_of(repeats, [&] {
        auto r = tdvp::reference::solve(*qgt, rhs, kShift, kTolerance, iterations);
        if (!r) std::puts("error");
    });
    const double t_fast = best_of(repeats, [&] {
        auto r = qgt->solve(rhs, kShift, kTolerance, iterations);
        if (!r) std::puts("error");
    });
    const std::vector<double> v(rhs);
    const double t_matvec_plain = best_of(repeats * 5, [&] {
        auto r = tdvp::reference::matvec(*qgt, v);
        if (!r) std::puts("error");
    });
    const double t_matvec_fast = best_of(repeats * 5, [&] {
        auto r = qgt->matvec(v);
        if (!r) std::puts("error");
    });
    std::printf(
        "solve     P=%5llu it=%4llu   plain %9.6f s   fast %9.6f s   x%6.1f   matvec plain %9.6f fast %9.6f x%5.1f   "
        "%s\n",
        static_cast<unsigned long long>(parameters), static_cast<unsigned long long>(fast ? fast->iterations() : 0),
        t_plain, t_fast, t_plain / t_fast, t_matvec_plain, t_matvec_fast, t_matvec_plain / t_matvec_fast,
        equal ? "same bits" : "DIFFERENT");
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string_view(argv[1]) == "quick";
    std::printf("kernels: %s\n", tdvp::kernels::best().name);
    const std::uint64_t samples = quick ? 2048 : 16384;
    for (const std::uint64_t p : {64, 256, 512}) {
        bench_estimate(samples, p, quick ? 2 : 5);
    }
    for (const std::uint64_t p : {16, 32, 64, 128, 256, 512, 1024}) {
        bench_solve(p, std::min<std::uint64_t>(p, 100), quick ? 3 : 10);
    }
    return 0;
}
