"""tdvp_estimate and tdvp_solve against NumPy, with their refusals."""

import numpy as np
import pytest

from conftest import assert_unchanged, snapshot


def reference_statistics(weights, energies, derivatives, mode):
    p = weights / weights.sum()
    mean = p @ energies
    centred = derivatives - p @ derivatives
    delta = energies - mean
    qgt = ((centred.conj().T * p) @ centred).real
    force = (centred.conj().T * p) @ delta
    rhs = force.imag if mode == "real_time" else -force.real
    return rhs, qgt, mean, p @ np.abs(delta) ** 2


def random_samples(rng, n, p):
    weights = rng.random(n) + 0.1
    energies = rng.normal(size=n) + 1j * rng.normal(size=n)
    derivatives = rng.normal(size=(n, p)) + 1j * rng.normal(size=(n, p))
    return weights, energies, derivatives


@pytest.mark.parametrize("mode", ["real_time", "imaginary_time"])
@pytest.mark.parametrize(("n", "p"), [(1, 1), (5, 3), (64, 8), (200, 17)])
def test_statistics_match_numpy(vq, mode, n, p):
    weights, energies, derivatives = random_samples(np.random.default_rng(n * p), n, p)
    result = vq.tdvp_estimate(weights, energies, derivatives, mode)
    assert list(result) == ["rhs", "qgt", "energy_mean", "energy_variance", "samples"]
    rhs, qgt, mean, variance = reference_statistics(weights, energies, derivatives, mode)
    np.testing.assert_allclose(result["rhs"], rhs, rtol=1e-12, atol=1e-13)
    np.testing.assert_allclose(result["qgt"], qgt, rtol=1e-12, atol=1e-13)
    assert result["energy_mean"] == pytest.approx(mean, rel=1e-13)
    assert result["energy_variance"] == pytest.approx(variance, rel=1e-12)
    assert result["samples"] == n and type(result["samples"]) is int
    assert type(result["energy_mean"]) is complex and type(result["energy_variance"]) is float
    assert result["rhs"].dtype == np.float64 and result["rhs"].shape == (p,)
    assert result["qgt"].dtype == np.float64 and result["qgt"].shape == (p, p)
    assert result["qgt"].flags.c_contiguous and result["qgt"].flags.writeable


@pytest.mark.parametrize("scale", [1e-150, 1.0, 1e100])
def test_qgt_is_exactly_symmetric(vq, scale):
    rng = np.random.default_rng(7)
    weights, energies, derivatives = random_samples(rng, 40, 12)
    derivatives *= scale * np.exp(rng.normal(scale=3, size=derivatives.shape))
    qgt = vq.tdvp_estimate(weights, energies, derivatives)["qgt"]
    assert np.all(np.isfinite(qgt))
    np.testing.assert_array_equal(qgt, qgt.T)


def test_documented_example(vq):
    weights, energies, derivatives = np.array([1.0, 1.0]), np.array([0, 2], dtype=complex), np.array([[0], [1]], dtype=complex)
    result = vq.tdvp_estimate(weights, energies, derivatives)
    assert result["rhs"].tolist() == [0.0]
    assert result["qgt"].tolist() == [[0.25]]
    assert result["energy_mean"] == 1 + 0j and result["energy_variance"] == 1.0 and result["samples"] == 2
    assert vq.tdvp_estimate(weights, energies, derivatives, mode="imaginary_time")["rhs"].tolist() == [-0.5]


def test_layouts_give_the_contiguous_result(vq):
    weights, energies, derivatives = random_samples(np.random.default_rng(1), 9, 4)
    expected = vq.tdvp_estimate(weights, energies, derivatives)
    wide = np.zeros((9, 8), dtype=complex)
    wide[:, ::2] = derivatives
    for view in (np.asfortranarray(derivatives), wide[:, ::2], np.ascontiguousarray(derivatives[::-1])[::-1]):
        before = snapshot(view, weights, energies)
        result = vq.tdvp_estimate(weights, energies, view)
        assert_unchanged(before)
        np.testing.assert_array_equal(result["qgt"], expected["qgt"], strict=True)
        np.testing.assert_array_equal(result["rhs"], expected["rhs"], strict=True)
    broadcast = vq.tdvp_estimate(np.broadcast_to(1.0, (9,)), energies, derivatives)
    np.testing.assert_array_equal(broadcast["qgt"], vq.tdvp_estimate(np.ones(9), energies, derivatives)["qgt"])


NAN = float("nan")
C = complex


@pytest.mark.parametrize(
    ("weights", "energies", "derivatives", "mode", "error", "message"),
    [
        ([1, 1], [0, 0], np.zeros((3, 2)), "Real_Time", "InputError", "TDVP sample dimensions do not match"),
        ([1, 1, 1], [0, 0], np.zeros((3, 2)), "real_time", "InputError", "TDVP sample dimensions do not match"),
        ([1, 1], [0, 0], np.zeros((2, 1)), "Real_Time", "InputError", "invalid TDVP mode: Real_Time"),
        ([1, 1], [0, 0], np.zeros((2, 1)), " real_time", "InputError", "invalid TDVP mode:  real_time"),
        ([1, 1], [0, 0], np.zeros((2, 1)), "", "InputError", "invalid TDVP mode: "),
        ([], [], np.zeros((0, 3)), "real_time", "NumericalError", "TDVP requires positive sample weight"),
        ([1, 1], [0, 0], np.zeros((2, 0)), "real_time", "NumericalError", "TDVP requires positive sample weight"),
        ([0, 0], [0, 0], np.zeros((2, 1)), "real_time", "NumericalError", "TDVP requires positive sample weight"),
        ([1, -0.5], [0, 0], np.zeros((2, 1)), "real_time", "NumericalError", "invalid TDVP parameter sample weight"),
        ([NAN, 1], [0, 0], np.zeros((2, 1)), "real_time", "NumericalError", "invalid TDVP parameter sample weight"),
        ([1, 1], [0, C(0, NAN)], np.zeros((2, 1)), "real_time", "NumericalError", "non-finite TDVP local energy"),
        ([1, 1], [0, 0], [[np.inf], [0]], "real_time", "NumericalError", "non-finite TDVP derived statistics"),
    ],
)
def test_estimate_refusals(vq, weights, energies, derivatives, mode, error, message):
    arrays = (np.array(weights, dtype=float), np.array(energies, dtype=complex), np.array(derivatives, dtype=complex))
    before = snapshot(*arrays)
    with pytest.raises(getattr(vq, error)) as info:
        vq.tdvp_estimate(*arrays, mode=mode)
    assert str(info.value) == message
    assert_unchanged(before)


@pytest.mark.parametrize("p", [1, 4, 16, 64])
def test_solve_matches_numpy(vq, p):
    rng = np.random.default_rng(p)
    a = rng.normal(size=(p, p))
    qgt = a @ a.T + p * np.eye(p)
    rhs = rng.normal(size=p)
    result = vq.tdvp_solve(qgt, rhs, shift=0.5, tolerance=1e-13, max_iterations=10 * p)
    assert list(result) == ["direction", "residual_norm", "iterations", "converged"]
    assert result["converged"] is True
    np.testing.assert_allclose(result["direction"], np.linalg.solve(qgt + 0.5 * np.eye(p), rhs), rtol=1e-9, atol=1e-11)
    assert result["residual_norm"] <= 1e-13 * np.linalg.norm(rhs)
    assert 1 <= result["iterations"] <= 10 * p


def test_solve_documented_cases(vq):
    assert vq.tdvp_solve(np.array([[2.0]]), np.array([4.0]), shift=0.0) == {
        "direction": pytest.approx(np.array([2.0])), "residual_norm": 0.0, "iterations": 1, "converged": True}
    default = vq.tdvp_solve(np.array([[2.0]]), np.array([4.0]))
    assert default["direction"].tolist() == [4.0 / (2.0 + 1e-8)] and default["iterations"] == 1
    zero = vq.tdvp_solve(np.eye(3), np.zeros(3))
    assert zero["direction"].tolist() == [0.0, 0.0, 0.0] and zero["iterations"] == 0 and zero["converged"] is True
    indefinite = vq.tdvp_solve(np.array([[-1.0]]), np.array([1.0]), 0.0)
    assert indefinite["converged"] is False and indefinite["iterations"] == 0
    assert vq.tdvp_solve(np.array([[1.0]]), np.array([1.0]), max_iterations=True)["iterations"] == 1


def test_solve_stops_at_the_iteration_limit(vq):
    qgt, rhs = np.diag([1.0, 3.0]), np.array([1.0, 1.0])
    one = vq.tdvp_solve(qgt, rhs, shift=0.0, max_iterations=1)
    assert one["iterations"] == 1 and one["converged"] is False and one["residual_norm"] > 0
    two = vq.tdvp_solve(qgt, rhs, shift=0.0, max_iterations=2)
    assert two["converged"] is True
    np.testing.assert_allclose(two["direction"], [1.0, 1.0 / 3.0])


@pytest.mark.parametrize(
    ("qgt", "rhs", "options", "error", "message"),
    [
        (np.zeros((2, 3)), np.zeros(2), {}, "InputError", "QGT and right-hand side shapes do not match"),
        (np.eye(2), np.zeros(3), {}, "InputError", "QGT and right-hand side shapes do not match"),
        (np.zeros((0, 0)), np.zeros(0), {}, "NumericalError", "invalid TDVP parameter QGT dimension"),
        (np.array([[1.0, 0.5], [0.6, 1.0]]), np.ones(2), {}, "NumericalError", "invalid TDVP parameter symmetric QGT"),
        (np.array([[NAN]]), np.ones(1), {}, "NumericalError", "non-finite TDVP QGT"),
        (np.eye(1), np.ones(1), {"shift": -1.0}, "NumericalError", "invalid TDVP parameter Tikhonov lambda"),
        (np.eye(1), np.ones(1), {"shift": float("inf")}, "NumericalError", "invalid TDVP parameter Tikhonov lambda"),
        (np.eye(1), np.ones(1), {"tolerance": 0.0}, "NumericalError", "invalid TDVP parameter CG options"),
        (np.eye(1), np.ones(1), {"tolerance": NAN}, "NumericalError", "invalid TDVP parameter CG options"),
        (np.eye(1), np.ones(1), {"max_iterations": 0}, "NumericalError", "invalid TDVP parameter CG options"),
        (np.eye(1), np.array([NAN]), {}, "NumericalError", "non-finite TDVP CG right-hand side"),
    ],
)
def test_solve_refusals(vq, qgt, rhs, options, error, message):
    before = snapshot(qgt, rhs)
    with pytest.raises(getattr(vq, error)) as info:
        vq.tdvp_solve(qgt, rhs, **options)
    assert str(info.value) == message
    assert_unchanged(before)


@pytest.mark.parametrize(
    ("options", "error", "note"),
    [
        ({"max_iterations": -1}, OverflowError, "max_iterations"),
        ({"shift": "0.1"}, TypeError, "shift"),
        ({"tolerance": None}, TypeError, "tolerance"),
    ],
)
def test_solve_conversion_errors(vq, options, error, note):
    with pytest.raises(error) as info:
        vq.tdvp_solve(np.eye(1), np.ones(1), **options)
    assert info.value.__notes__ == [f"while processing '{note}'"]


def test_estimate_feeds_solve(vq):
    weights, energies, derivatives = random_samples(np.random.default_rng(5), 50, 6)
    statistics = vq.tdvp_estimate(weights, energies, derivatives, "imaginary_time")
    step = vq.tdvp_solve(statistics["qgt"], statistics["rhs"], shift=1e-3)
    assert step["converged"] is True
    np.testing.assert_allclose(
        (statistics["qgt"] + 1e-3 * np.eye(6)) @ step["direction"], statistics["rhs"], atol=1e-9)
