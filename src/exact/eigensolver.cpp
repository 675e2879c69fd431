// Classical Jacobi diagonalisation of the real embedding of a Hermitian matrix, with an incremental pivot
// search and a half-size run for real matrices; the ground state of a spectrum.
#include "exact/eigensolver.hpp"

#include "common/interrupt.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "core/complex_sum.hpp"
#include "exact/eigensolver_kernels.hpp"
#include "exact/embedding_eigenpairs.hpp"

namespace vendrel::exact {

namespace {

constexpr double kHermitianTolerance = 1e-10;
constexpr double kDiagonalThreshold = 1e-13;
constexpr double kDependenceThreshold = 1e-12;

std::optional<std::uint64_t> checked_multiply(std::uint64_t left, std::uint64_t right) {
    std::uint64_t product = 0;
    if (__builtin_mul_overflow(left, right, &product)) return std::nullopt;
    return product;
}

}  // namespace

Pivot max_off_diagonal(std::span<const double> a, std::uint64_t n) {
    const std::uint64_t last = n == 0 ? 0 : n - 1;
    Pivot best{0, std::min<std::uint64_t>(1, last), 0.0};
    for (std::uint64_t row = 0; row < n; ++row) {
        for (std::uint64_t column = row + 1; column < n; ++column) {
            const double magnitude = std::abs(a[row * n + column]);
            // Strictly greater: the first maximum stays, and a NaN compares false.
            if (magnitude > best.magnitude) best = Pivot{row, column, magnitude};
        }
    }
    return best;
}

void jacobi_rotate(std::span<double> a, std::span<double> vectors, std::uint64_t n, std::uint64_t p,
                   std::uint64_t q) {
    const double app = a[p * n + p];
    const double aqq = a[q * n + q];
    const double apq = a[p * n + q];
    const auto [c, s] = kernels::plane_rotation(app, aqq, apq);

    for (std::uint64_t k = 0; k < n; ++k) {
        const double akp = a[k * n + p];
        const double akq = a[k * n + q];
        a[k * n + p] = c * akp - s * akq;
        a[k * n + q] = s * akp + c * akq;
    }
    for (std::uint64_t k = 0; k < n; ++k) {
        const double apk = a[p * n + k];
        const double aqk = a[q * n + k];
        a[p * n + k] = c * apk - s * aqk;
        a[q * n + k] = s * apk + c * aqk;
    }
    double* column_p = vectors.data() + p * n;
    double* column_q = vectors.data() + q * n;
    for (std::uint64_t k = 0; k < n; ++k) {
        const double old_p = column_p[k];
        const double old_q = column_q[k];
        column_p[k] = c * old_p - s * old_q;
        column_q[k] = s * old_p + c * old_q;
    }
}

std::optional<std::vector<Complex>> orthonormalize(std::vector<Complex> candidate,
                                                   std::span<const std::vector<Complex>> prior) {
    for (const std::vector<Complex>& accepted : prior) {
        // Projected on the candidate as already reduced by the earlier vectors (modified Gram-Schmidt).
        const Complex projection = dot(accepted, candidate);
        const std::size_t length = std::min(accepted.size(), candidate.size());
        for (std::size_t k = 0; k < length; ++k) candidate[k] = candidate[k] - accepted[k] * projection;
    }
    const double length = norm(candidate);
    if (length <= kDependenceThreshold) return std::nullopt;
    for (Complex& element : candidate) element = divide(element, length);
    return candidate;
}

Result<double, ExactError> residual_norm(const DenseMatrix& matrix, std::span<const Complex> vector, double value) {
    auto applied = matrix.apply(vector);
    if (!applied) return fail(std::move(applied.error()));
    double sum = 0.0;
    for (std::size_t i = 0; i < vector.size(); ++i) {
        const Complex scaled{vector[i].re * value, vector[i].im * value};
        sum += norm_squared((*applied)[i] - scaled);
    }
    return std::sqrt(sum);
}

namespace {

// Real parts up to this bound keep every rotation of the real solver finite: the rotations preserve the
// Frobenius norm, so no entry can grow past n times the bound, far from overflow.
constexpr double kModerateMagnitude = 1e150;

// A matrix whose pairs are exact conjugates, with finite entries, passes validate_hermitian at any
// tolerance (every difference is exactly zero); that costs a comparison per entry instead of a hypot.
bool exactly_hermitian(const DenseMatrix& matrix) {
    const std::uint64_t n = matrix.dimension();
    const Complex* data = matrix.data().data();
    for (std::uint64_t row = 0; row < n; ++row) {
        for (std::uint64_t column = row; column < n; ++column) {
            const Complex upper = data[row * n + column];
            const Complex lower = data[column * n + row];
            if (!is_finite(upper) || upper.re != lower.re || upper.im != -lower.im) return false;
        }
    }
    return true;
}

bool real_and_moderate(const DenseMatrix& matrix) {
    for (const Complex entry : matrix.data()) {
        if (entry.im != 0.0 || !(std::fabs(entry.re) <= kModerateMagnitude)) return false;
    }
    return true;
}

// Two doubles: an off-diagonal entry and its mirror image, worked on side by side.
typedef double Pair __attribute__((vector_size(16)));

Pair load_pair(const double* p) {
    Pair value;
    std::memcpy(&value, p, sizeof value);
    return value;
}
void store_pair(double* p, Pair value) { std::memcpy(p, &value, sizeof value); }
Pair swapped(Pair value) { return __builtin_shufflevector(value, value, 1, 0); }

// Classical Jacobi rotations on a real n by n matrix, exactly as jacobi_rotate does them, with the pivot
// search of max_off_diagonal made incremental.
//
// Storage. Each off-diagonal pair is one record: row i holds, for every column j > i, the record
// (a(i, j), a(j, i)); the diagonal is kept apart. A rotation (p, q) rewrites rows and columns p and q,
// that is the records {k, p} and {k, q} for every k: for k > q they run along rows p and q, and only for
// k < q do they sit one per row k. Compared with a plain row-major matrix, whose columns p and q cost
// two scattered cache lines per row, this halves the scattered memory traffic, and every update of an
// entry goes with that of its mirror, two lanes of one vector operation.
//
// Pivots. Each row keeps the largest magnitude of its strict upper triangle and the first column
// holding it; the pivot is the first row holding the largest of those, at that row's column: the first
// maximum in row-major order. After a rotation rows p and q are rescanned (on the way); any other row k
// changed only in its entries of columns p and q, and needs a look only when one of them, old or new,
// reaches the row's maximum. A row whose maximum shrank keeps it as a bound instead (stale) and is
// rescanned only when that bound leads the search; most never do before a rotation rewrites them.
class TrackedRotations {
public:
    // `entry(i, j)` gives a(i, j) of the starting matrix.
    template <class Entry>
    TrackedRotations(std::uint64_t n, Entry&& entry)
        : n_(n), diagonal_(n), row_start_(n), vectors_(n * n, 0.0), best_(n, 0.0), column_(n, n) {
        // Row i keeps the records of columns i + 1 .. n - 1; record j of row i is at row(i) + 2 j. The
        // storage starts with 2n spare doubles so that row(i) itself never points before it.
        std::uint64_t used = 2 * n;
        for (std::uint64_t i = 0; i < n; ++i) {
            row_start_[i] = used - 2 * (i + 1);
            used += 2 * (n - i - 1);
        }
        storage_.assign(used, 0.0);
        for (std::uint64_t i = 0; i < n; ++i) {
            diagonal_[i] = entry(i, i);
            double* r = row(i);
            for (std::uint64_t j = i + 1; j < n; ++j) {
                r[2 * j] = entry(i, j);
                r[2 * j + 1] = entry(j, i);
            }
            vectors_[i * n + i] = 1.0;
        }
        for (std::uint64_t i = 0; i < n; ++i) rescan(i);
        lead_ = kernels::largest_magnitude(best_.data(), n_ - 1);
    }

    // The rotations made until the pivot magnitude fell below the diagonal threshold, or nothing when
    // `budget` rotations did not get there (the last one is not followed by a test).
    std::optional<std::uint64_t> run(std::uint64_t budget) {
        InterruptPoll poll(512);
        for (std::uint64_t iteration = 0; iteration < budget; ++iteration) {
            poll();
            const Pivot pivot = next_pivot();
            if (pivot.magnitude < kDiagonalThreshold) return iteration;
            rotate(pivot.p, pivot.q);
        }
        return std::nullopt;
    }

    [[nodiscard]] double diagonal(std::uint64_t i) const { return diagonal_[i]; }
    // Column i of the accumulated rotations, contiguous.
    [[nodiscard]] const double* vector(std::uint64_t i) const { return vectors_.data() + i * n_; }

private:
    double* row(std::uint64_t i) { return storage_.data() + row_start_[i]; }

    // The first row holding the largest bound: a row that is not stale holds its exact maximum there,
    // and every other row is either below it or comes later, so its maximum is the first maximum in
    // row-major order. A stale row found there is rescanned first.
    Pivot next_pivot() {
        kernels::LargestMagnitude largest = lead_;
        for (;;) {
            // Nothing beats 0.0: the start pivot of max_off_diagonal.
            if (!(largest.magnitude > 0.0)) return Pivot{0, std::min<std::uint64_t>(1, n_ - 1), 0.0};
            if (column_[largest.index] != stale()) return Pivot{largest.index, column_[largest.index], largest.magnitude};
            rescan(largest.index);
            largest = kernels::largest_magnitude(best_.data(), n_ - 1);
        }
    }

    // The row maxima are never NaN; the last row has no upper triangle and never leads. A row below
    // the one in `lead_` wins a tie.
    void raise_lead(std::uint64_t k, double bound) {
        if (bound > lead_.magnitude || (bound == lead_.magnitude && k < lead_.index)) lead_ = {bound, k};
    }

    // The row's maximum over its strict upper triangle.
    void rescan(std::uint64_t i) {
        const auto largest = kernels::largest_in_records(row(i) + 2 * (i + 1), n_ - i - 1);
        settle(i, kernels::LargestMagnitude{largest.magnitude, i + 1 + largest.index});
    }

    void settle(std::uint64_t i, kernels::LargestMagnitude lead) {
        best_[i] = lead.magnitude;
        column_[i] = lead.magnitude > 0.0 ? lead.index : n_;
    }

    // Takes (magnitude, column) when strictly larger: the first maximum of segments seen in order.
    static void see(kernels::LargestMagnitude& lead, double magnitude, std::uint64_t column) {
        if (magnitude > lead.magnitude) lead = kernels::LargestMagnitude{magnitude, column};
    }

    // Whether (magnitude, column) comes before the row's current best: larger, or as large and further
    // left. Nothing beats 0.0 by a tie, and a NaN beats nothing.
    static bool beats(double magnitude, std::uint64_t column, double best, std::uint64_t best_column) {
        return magnitude > best || (magnitude == best && best > 0.0 && column < best_column);
    }

    // A row whose maximum shrank is not rescanned at once: it keeps its old maximum as a bound on its
    // entries and is marked stale, and is rescanned only if that bound comes to lead the pivot search.
    // Its bound is raised, and the row made exact, by an entry strictly above it.
    [[nodiscard]] std::uint64_t stale() const { return n_ + 1; }

    // Row k < p after its entries in columns p and q became x and y (magnitudes).
    void update_both(std::uint64_t k, std::uint64_t p, double x, std::uint64_t q, double y) {
        double best = best_[k];
        std::uint64_t column = column_[k];
        if (column == stale() || ((column == p || column == q) && !((column == p ? x : y) >= best))) {
            // Every other entry is at most `best`: one of x and y strictly above it leads (x first on a
            // tie, its column being the smaller); otherwise `best` bounds the row.
            const double top = y > x ? y : x;
            if (top > best) {
                best_[k] = top;
                column_[k] = y > x ? q : p;
                raise_lead(k, top);
            } else {
                column_[k] = stale();
            }
            return;
        }
        if (column == p || column == q) {
            // The old maximum sat in a changed column and did not shrink: it stays the maximum of the
            // unchanged ones.
            best = column == p ? x : y;
            if (column == p) {
                if (y > best) best = y, column = q;
            } else if (x >= best) {
                best = x, column = p;
            }
        } else {
            if (beats(x, p, best, column)) best = x, column = p;
            if (beats(y, q, best, column)) best = y, column = q;
        }
        best_[k] = best;
        column_[k] = column;
        raise_lead(k, best);
    }

    // Row p < k < q after its entry in column q became y (magnitude).
    void update_one(std::uint64_t k, std::uint64_t q, double y) {
        const std::uint64_t column = column_[k];
        if (column == stale() || (column == q && !(y >= best_[k]))) {
            if (y > best_[k]) {
                best_[k] = y;
                column_[k] = q;
            } else {
                column_[k] = stale();
            }
        } else if (column == q) {
            best_[k] = y;
        } else if (beats(y, q, best_[k], column)) {
            best_[k] = y;
            column_[k] = q;
        }
    }

    // jacobi_rotate in the (p, q) plane, p < q. Every entry gets the value of jacobi_rotate's column
    // pass, row pass or both, from the same operands: for k outside {p, q} the column pass writes
    // a(k, p), a(k, q) from their old values and the row pass a(p, k), a(q, k) from theirs, which the
    // column pass left alone; only the 2 by 2 block sees both passes, in that order.
    void rotate(std::uint64_t p, std::uint64_t q) {
        const std::uint64_t n = n_;
        double* const storage = storage_.data();
        const std::uint64_t* const row_start = row_start_.data();
        double* const row_p = row(p);
        double* const row_q = row(q);
        const double app = diagonal_[p], aqq = diagonal_[q];
        const double apq = row_p[2 * q], aqp = row_p[2 * q + 1];
        const auto [c, s] = kernels::plane_rotation(app, aqq, apq);
        const Pair cc{c, c}, ss{s, s};
        const double* const best = best_.data();

        // The segments touch disjoint entries and rows, so their order is free; the rows whose maxima
        // are known first are settled first, so that the stores are long done when the next pivot
        // search reads them back.
        //
        // k > q: the records (a(p, k), a(k, p)) and (a(q, k), a(k, q)) along rows p and q, where entry
        // and mirror rotate alike. Row q has no other records, so it is settled here.
        kernels::LargestMagnitude tail_p{0.0, n};
        kernels::LargestMagnitude lead_q{0.0, n};
        if (q + 1 < n) {
            const auto tail = kernels::rotate_records(row_p + 2 * (q + 1), row_q + 2 * (q + 1), n - q - 1, c, s);
            see(tail_p, tail.x.magnitude, q + 1 + tail.x.index);
            see(lead_q, tail.y.magnitude, q + 1 + tail.y.index);
        }
        settle(q, lead_q);
        // p < k < q: the record (a(p, k), a(k, p)) in row p and (a(k, q), a(q, k)) in row k, the latter
        // turned around so that both carry the row pass in lane 0. Row p is rewritten whole, so its
        // maximum is gathered on the way, segment by segment in column order.
        kernels::LargestMagnitude lead_p{0.0, n};
        for (std::uint64_t k = p + 1; k < q; ++k) {
            double* const r = storage + row_start[k];
            const Pair pk = load_pair(row_p + 2 * k), kq = load_pair(r + 2 * q);
            const Pair qk = swapped(kq);
            const Pair new_pk = cc * pk - ss * qk, new_qk = ss * pk + cc * qk;
            store_pair(row_p + 2 * k, new_pk);
            store_pair(r + 2 * q, swapped(new_qk));
            see(lead_p, std::fabs(new_pk[0]), k);
            const double b = best[k];
            const double y = std::fabs(new_qk[1]);
            if ((y >= b) | (std::fabs(kq[0]) >= b)) update_one(k, q, y);
        }
        // The 2 by 2 block: column pass, then row pass.
        const double column_pp = c * app - s * apq, column_pq = s * app + c * apq;
        const double column_qp = c * aqp - s * aqq, column_qq = s * aqp + c * aqq;
        diagonal_[p] = c * column_pp - s * column_qp;
        row_p[2 * q + 1] = s * column_pp + c * column_qp;
        const double new_pq = c * column_pq - s * column_qq;
        row_p[2 * q] = new_pq;
        diagonal_[q] = s * column_pq + c * column_qq;
        see(lead_p, std::fabs(new_pq), q);
        see(lead_p, tail_p.magnitude, tail_p.index);
        settle(p, lead_p);
        // Every row maximum but those of rows k < p is now final, and those only grow below (their
        // updates raise the lead): the search for the next pivot starts here, and the rotations
        // below run while it completes.
        lead_ = kernels::largest_magnitude(best_.data(), n_ - 1);
        // k < p: records (a(k, p), a(p, k)) and (a(k, q), a(q, k)) in row k; lane 0 gets the column pass,
        // lane 1 the row pass. A row whose old maximum sat in column p or q has an old entry there as
        // large as it, so one test against the old and new entries finds every row that needs a look.
        for (std::uint64_t k = 0; k < p; ++k) {
            double* const r = storage + row_start[k];
            const Pair kp = load_pair(r + 2 * p), kq = load_pair(r + 2 * q);
            const Pair new_kp = cc * kp - ss * kq, new_kq = ss * kp + cc * kq;
            store_pair(r + 2 * p, new_kp);
            store_pair(r + 2 * q, new_kq);
            const double b = best[k];
            const double x = std::fabs(new_kp[0]), y = std::fabs(new_kq[0]);
            if ((x >= b) | (y >= b) | (std::fabs(kp[0]) >= b) | (std::fabs(kq[0]) >= b)) update_both(k, p, x, q, y);
        }
        kernels::rotate_pair(vectors_.data() + p * n, vectors_.data() + q * n, n, c, s);
    }

    std::uint64_t n_;
    std::vector<double> diagonal_;
    std::vector<std::uint64_t> row_start_;
    std::vector<double> storage_;
    // Column i is vectors_[i * n .. i * n + n).
    std::vector<double> vectors_;
    std::vector<double> best_;
    std::vector<std::uint64_t> column_;
    // The first largest of best_ over all rows but the last, as of the end of the last rotation.
    kernels::LargestMagnitude lead_{0.0, 0};
};

// Any Hermitian matrix: the rotations run on the whole real embedding of size 2n.
Result<Eigensystem, ExactError> diagonalize_embedding(const DenseMatrix& matrix, std::uint64_t max_iterations) {
    const std::uint64_t n = matrix.dimension();
    const std::uint64_t rn = 2 * n;
    // Re H on both diagonal blocks, -Im H upper right, Im H lower left.
    const Complex* data = matrix.data().data();
    TrackedRotations rotations(rn, [&](std::uint64_t r, std::uint64_t c) {
        const Complex entry = data[(r % n) * n + c % n];
        if ((r < n) == (c < n)) return entry.re;
        return r < n ? -entry.im : entry.im;
    });
    const auto rotation_count = rotations.run(max_iterations);
    if (!rotation_count) return fail<ExactError>(exact_error::NonConvergent{max_iterations});
    return detail::eigensystem_from_embedding(
        matrix, [&](std::uint64_t i) { return rotations.diagonal(i); },
        [&](std::uint64_t i) { return rotations.vector(i); }, *rotation_count);
}

std::uint64_t round_up_to_lanes(std::uint64_t count) {
    return (count + kernels::kLaneBlock - 1) / kernels::kLaneBlock * kernels::kLaneBlock;
}

// Lanes per Gram-Schmidt window: enough to keep the vector units busy, few enough for the cache.
constexpr std::uint64_t kWindowLanes = 16;

// A real symmetric H (all imaginary parts zero). Its embedding is two copies of H, block A in rows and
// columns 0..n-1 and block B in n..2n-1, with zero blocks between them that rotations inside A or B
// keep zero. A rotation inside a block reads only that block, and block A comes first in row-major
// order, so the embedding's pivot is A's first maximum unless B's maximum is strictly larger. Hence B
// replays A's rotation sequence, lagging behind, and both stop at the first state of that sequence
// whose maximum is below the threshold: the embedding needs exactly twice A's rotations and ends with
// two identical blocks. Only A is rotated here.
//
// The candidates are then a column u of A's vectors as u + 0i (index i < n) or 0 + iu (index i + n).
// Gram-Schmidt and residuals on such vectors do, on the non-zero parts, exactly the real arithmetic on
// the columns (conj(v) c has one part v * c and the other a sum of zero products), so they run on real
// columns; only the sign of some zeros can differ. Several candidates go through Gram-Schmidt side by
// side, each still meeting the accepted vectors in acceptance order.
Result<Eigensystem, ExactError> diagonalize_real(const DenseMatrix& matrix, std::uint64_t max_iterations) {
    const std::uint64_t n = matrix.dimension();
    const std::uint64_t rn = 2 * n;
    std::vector<double> h(n * n);
    for (std::uint64_t k = 0; k < n * n; ++k) h[k] = matrix.data()[k].re;
    TrackedRotations block(n, [&](std::uint64_t r, std::uint64_t c) { return h[r * n + c]; });
    // The embedding's budget is even, and it fails when A needs half of it or more.
    const auto block_rotations = block.run(max_iterations / 2);
    if (!block_rotations) return fail<ExactError>(exact_error::NonConvergent{max_iterations});
    const std::uint64_t rotations = 2 * *block_rotations;

    std::vector<detail::DiagonalEntry> pairs;
    pairs.reserve(rn);
    for (std::uint64_t i = 0; i < rn; ++i) pairs.push_back(detail::DiagonalEntry{block.diagonal(i % n), i});
    detail::sort_diagonal(pairs);

    // Accepted vector j is accepted[j * n .. j * n + n), imaginary when it came from an index >= n.
    std::vector<double> accepted(n * n);
    std::vector<bool> imaginary(n);
    std::vector<double> values;
    values.reserve(n);
    std::uint64_t count = 0;

    constexpr std::uint64_t kNoLane = std::numeric_limits<std::uint64_t>::max();
    std::vector<std::uint64_t> lane_of(n, kNoLane);
    std::vector<std::uint64_t> lane_columns;
    std::vector<double> lanes;
    std::uint64_t cursor = 0;
    while (cursor < rn && count < n) {
        // A window of whole runs of equal values. Both copies of a diagonal entry, and so both
        // candidates built from one column, fall in the same run; runs have even length, so windows
        // hold whole pairs.
        std::uint64_t window_end = cursor;
        lane_columns.clear();
        while (window_end < rn && (window_end == cursor || lane_columns.size() < kWindowLanes)) {
            std::uint64_t run_end = window_end + 1;
            while (run_end < rn && core::total_cmp(pairs[run_end].value, pairs[window_end].value) == 0) ++run_end;
            for (std::uint64_t j = window_end; j < run_end; ++j) {
                const std::uint64_t column = pairs[j].index % n;
                if (lane_of[column] == kNoLane) {
                    lane_of[column] = lane_columns.size();
                    lane_columns.push_back(column);
                }
            }
            window_end = run_end;
        }
        const std::uint64_t lane_count = round_up_to_lanes(lane_columns.size());
        lanes.assign(n * lane_count, 0.0);
        for (std::uint64_t b = 0; b < lane_columns.size(); ++b) {
            const double* column = block.vector(lane_columns[b]);
            for (std::uint64_t k = 0; k < n; ++k) lanes[k * lane_count + b] = column[k];
        }
        for (std::uint64_t j = 0; j < count; ++j) kernels::project_out(&accepted[j * n], lanes.data(), n, lane_count);

        for (; cursor < window_end && count < n; cursor = std::min(cursor + 2, rn)) {
            const std::uint64_t end = std::min(cursor + 2, rn);
            const double low = pairs[cursor].value;
            const double high = pairs[end - 1].value;
            const double physical_value = low + (high - low) * 0.5;
            for (std::uint64_t j = cursor; j < end; ++j) {
                const double* lane = lanes.data() + lane_of[pairs[j].index % n];
                double square = 0.0;
                for (std::uint64_t k = 0; k < n; ++k) square = square + lane[k * lane_count] * lane[k * lane_count];
                const double length = std::sqrt(square);
                if (length <= kDependenceThreshold) continue;
                double* vector = &accepted[count * n];
                for (std::uint64_t k = 0; k < n; ++k) vector[k] = lane[k * lane_count] / length;
                imaginary[count] = pairs[j].index >= n;
                values.push_back(physical_value);
                ++count;
                // Every lane meets the new vector now, in acceptance order.
                if (count < n) kernels::project_out(vector, lanes.data(), n, lane_count);
                break;
            }
        }
        for (const std::uint64_t column : lane_columns) lane_of[column] = kNoLane;
    }
    if (count < n) return fail<ExactError>(exact_error::InvalidParameter{"degenerate eigenbasis"});

    // The residuals of all vectors at once, vectors side by side in lanes.
    const std::uint64_t lane_count = round_up_to_lanes(n);
    lanes.assign(n * lane_count, 0.0);
    for (std::uint64_t i = 0; i < n; ++i) {
        for (std::uint64_t k = 0; k < n; ++k) lanes[k * lane_count + i] = accepted[i * n + k];
    }
    std::vector<double> lane_values(lane_count, 0.0);
    std::copy(values.begin(), values.end(), lane_values.begin());
    std::vector<double> sums(lane_count);
    kernels::residual_sums(h.data(), lanes.data(), lane_values.data(), n, lane_count, sums.data());

    std::vector<std::vector<Complex>> eigenvectors(n, std::vector<Complex>(n));
    std::vector<double> residuals(n);
    for (std::uint64_t i = 0; i < n; ++i) {
        const double* vector = &accepted[i * n];
        std::vector<Complex>& out = eigenvectors[i];
        if (imaginary[i]) {
            for (std::uint64_t k = 0; k < n; ++k) out[k] = Complex{0.0, vector[k]};
        } else {
            for (std::uint64_t k = 0; k < n; ++k) out[k] = Complex{vector[k], 0.0};
        }
        residuals[i] = std::sqrt(sums[i]);
    }
    return detail::check_residuals(Eigensystem{std::move(values), std::move(eigenvectors), std::move(residuals)},
                                   rotations);
}

}  // namespace

Result<Eigensystem, ExactError> diagonalize_hermitian(const DenseMatrix& matrix) {
    if (!exactly_hermitian(matrix)) {
        auto hermitian = matrix.validate_hermitian(kHermitianTolerance);
        if (!hermitian) return fail(std::move(hermitian.error()));
    }
    // Checked before the working storage is allocated, so that an absurd size fails as an error.
    const auto size = embedding_size(matrix.dimension());
    if (!size) return fail(std::move(size.error()));

    if (real_and_moderate(matrix)) return diagonalize_real(matrix, size->max_iterations);
    return diagonalize_embedding(matrix, size->max_iterations);
}

Result<EmbeddingSize, ExactError> embedding_size(std::uint64_t n) {
    if (n == 0) return fail<ExactError>(exact_error::DimensionOverflow{});
    const auto real_n = checked_multiply(2, n);
    if (!real_n) return fail<ExactError>(exact_error::DimensionOverflow{});
    const auto real_dimension = checked_multiply(*real_n, *real_n);
    if (!real_dimension) return fail<ExactError>(exact_error::DimensionOverflow{});
    const auto max_iterations = checked_multiply(100, *real_dimension);
    if (!max_iterations) return fail<ExactError>(exact_error::DimensionOverflow{});
    return EmbeddingSize{*real_n, *real_dimension, *max_iterations};
}

Result<GroundState, ExactError> GroundState::from_spectrum(const Eigensystem& spectrum) {
    const auto& values = spectrum.values;
    if (values.empty()) return fail<ExactError>(exact_error::DimensionOverflow{});
    std::size_t position = 0;
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (core::total_cmp(values[i], values[position]) < 0) position = i;
    }
    const std::size_t paired = std::min(spectrum.vectors.size(), spectrum.residuals.size());
    if (paired != values.size()) return fail<ExactError>(exact_error::Shape{values.size(), paired});
    return GroundState(values[position], spectrum.vectors[position], spectrum.residuals[position]);
}

}  // namespace vendrel::exact
