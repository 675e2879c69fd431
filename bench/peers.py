"""Peer implementations the suite times against: dense model matrices (NumPy Kronecker products, QuSpin,
quimb, QuTiP) and TFIM observables (hand-written SciPy sparse, QuSpin), with how each maps to our conventions.

Our conventions: site i is bit i of the basis index (site 0 least significant), bit value 1 is the -1
eigenstate of Pauli Z, and operators are Pauli matrices. QuSpin, quimb and QuTiP all put site 0 in the
most significant bit (the first Kronecker factor) with the +1 eigenstate of Z first, i.e. their index of a
state is the bit-reversal of ours. Instead of permuting a 2^n x 2^n matrix, the timed builders hand our
site i to the peer as site n - 1 - i: that relabelling is exactly the bit-reversal of the index, so the
peer's matrix comes out in our order. verify() checks both statements at 2, 3 and 4 sites before a peer
is timed: the relabelled matrix equals ours, and the unrelabelled one equals ours after permuting rows
and columns by bit reversal. All three peers are asked for Pauli operators, so no coupling is rescaled
(QuSpin pauli=1, quimb's 'x'/'y'/'z', QuTiP's sigmax/sigmay/sigmaz; spin-1/2 operators S = sigma/2 would
need couplings times 4 for two-site terms and times 2 for one-site terms).
"""

import functools
import importlib.metadata
import warnings

import numpy as np

X = np.array([[0, 1], [1, 0]], dtype=complex)
Y = np.array([[0, -1j], [1j, 0]], dtype=complex)
Z_DIAG = np.array([1.0, -1.0])


class PeerMismatch(AssertionError):
    pass


def bit_reversal(n):
    """Index permutation k -> k with its n bits reversed."""
    k = np.arange(1 << n)
    r = np.zeros_like(k)
    for i in range(n):
        r |= ((k >> i) & 1) << (n - 1 - i)
    return r


def pairs(n):
    return [(i, j) for i in range(n) for j in range(i + 1, n)]


# ---------------------------------------------------------------------------------------------------------
# NumPy Kronecker products (written here). Site 0 is the last Kronecker factor, as in our order, so no
# mapping is needed. Diagonal terms (Z, ZZ, occupations) are built as Kronecker products of diagonals
# (2^n numbers each); every off-diagonal term (X_i, X_i X_j, Y_i Y_j) is a dense 2^n x 2^n Kronecker
# product added to the result, which is what makes this builder slow at 12-13 sites.


def _z_diag(n, i):
    return np.kron(np.kron(np.ones(1 << (n - 1 - i)), Z_DIAG), np.ones(1 << i))


def _dense_term(n, factors):
    """Dense Kronecker product of {site: 2x2 matrix}, identities elsewhere, site 0 last."""
    result = np.eye(1, dtype=complex)
    gap = 0
    for site in reversed(range(n)):
        if site in factors:
            result = np.kron(np.kron(result, np.eye(1 << gap)), factors[site])
            gap = 0
        else:
            gap += 1
    return np.kron(result, np.eye(1 << gap))


def numpy_kron(model, args):
    n = len(args[0])
    z = [_z_diag(n, i) for i in range(n)]
    if model == "tfim_matrix":
        J, h = args
        diag = np.zeros(1 << n)
        for i, j in pairs(n):
            diag -= J[i, j] * z[i] * z[j]
        H = np.diag(diag.astype(complex))
        for i in range(n):
            H -= h[i] * _dense_term(n, {i: X})
        return H
    if model == "heisenberg_matrix":
        (J,) = args
        diag = np.zeros(1 << n)
        for i, j in pairs(n):
            diag += J[i, j] / 4 * z[i] * z[j]
        H = np.diag(diag.astype(complex))
        for i, j in pairs(n):
            H += J[i, j] / 4 * _dense_term(n, {i: X, j: X})
            H += J[i, j] / 4 * _dense_term(n, {i: Y, j: Y})
        return H
    if model == "rydberg_matrix":
        V, omega, delta = args
        occupation = [(1 - zi) / 2 for zi in z]
        diag = np.zeros(1 << n)
        for i in range(n):
            diag -= delta[i] * occupation[i]
        for i, j in pairs(n):
            diag += V[i, j] * occupation[i] * occupation[j]
        H = np.diag(diag.astype(complex))
        for i in range(n):
            H -= omega[i] / 2 * _dense_term(n, {i: X})
        return H
    raise ValueError(model)


# ---------------------------------------------------------------------------------------------------------
# QuSpin: spin_basis_1d(n, pauli=1) (Pauli matrices), hamiltonian(static list) then toarray(). QuSpin
# lists states from all-up down, site 0 in the most significant bit; relabelling our site i as n - 1 - i
# makes its array index equal ours. It has no occupation operator on a spin basis, so the Rydberg
# occupations are expanded: n_i = (1 - Z_i) / 2.


def _quspin_static(model, args, site):
    n = len(args[0])
    if model == "tfim_matrix":
        J, h = args
        return [["zz", [[-J[i, j], site(i), site(j)] for i, j in pairs(n)]],
                ["x", [[-h[i], site(i)] for i in range(n)]]]
    if model == "heisenberg_matrix":
        (J,) = args
        return [[op, [[J[i, j] / 4, site(i), site(j)] for i, j in pairs(n)]] for op in ("xx", "yy", "zz")]
    if model == "rydberg_matrix":
        V, omega, delta = args
        # -delta n_i = -delta/2 + (delta/2) Z_i; V n_i n_j = V/4 (1 - Z_i - Z_j + Z_i Z_j)
        constant = -sum(delta) / 2 + sum(V[i, j] for i, j in pairs(n)) / 4
        z = [delta[i] / 2 - sum(V[i, j] for j in range(n) if j != i) / 4 for i in range(n)]
        return [["I", [[constant, site(0)]]],
                ["z", [[z[i], site(i)] for i in range(n)]],
                ["zz", [[V[i, j] / 4, site(i), site(j)] for i, j in pairs(n)]],
                ["x", [[-omega[i] / 2, site(i)] for i in range(n)]]]
    raise ValueError(model)


def quspin_dense(model, args, relabel=True):
    from quspin.basis import spin_basis_1d
    from quspin.operators import hamiltonian

    n = len(args[0])
    site = (lambda i: n - 1 - i) if relabel else (lambda i: i)
    basis = spin_basis_1d(n, pauli=1)
    H = hamiltonian(_quspin_static(model, args, site), [], basis=basis, dtype=np.complex128,
                    check_symm=False, check_herm=False, check_pcon=False)
    return H.toarray()


# ---------------------------------------------------------------------------------------------------------
# quimb: quimb.operator.SparseOperatorBuilder with Pauli 'x', 'y', 'z' and the occupation 'n' (1 on the
# -1 eigenstate of Z, as ours), built straight to a dense array with build_dense(parallel=True), the
# fastest of quimb's dense routes here (ikron sums and the 1D ham_* builders do not take all-to-all
# random couplings as directly). Site 0 is the most significant bit: relabelled as for QuSpin.


def quimb_dense(model, args, relabel=True):
    from quimb.operator import SparseOperatorBuilder

    n = len(args[0])
    site = (lambda i: n - 1 - i) if relabel else (lambda i: i)
    builder = SparseOperatorBuilder(dtype=np.complex128)
    if model == "tfim_matrix":
        J, h = args
        for i, j in pairs(n):
            builder.add_term(-J[i, j], ("z", site(i)), ("z", site(j)))
        for i in range(n):
            builder.add_term(-h[i], ("x", site(i)))
    elif model == "heisenberg_matrix":
        (J,) = args
        for i, j in pairs(n):
            for op in "xyz":
                builder.add_term(J[i, j] / 4, (op, site(i)), (op, site(j)))
    elif model == "rydberg_matrix":
        V, omega, delta = args
        for i in range(n):
            builder.add_term(-omega[i] / 2, ("x", site(i)))
            builder.add_term(-delta[i], ("n", site(i)))
        for i, j in pairs(n):
            builder.add_term(V[i, j], ("n", site(i)), ("n", site(j)))
    else:
        raise ValueError(model)
    return builder.build_dense(dtype=np.complex128, parallel=True)


# ---------------------------------------------------------------------------------------------------------
# QuTiP 5: a sum of qutip.tensor products of sigmax/sigmay/sigmaz/num(2) and identities (sparse CSR data
# inside QuTiP), converted with .full(). The first tensor factor is site 0's most significant bit:
# relabelled as above. num(2) = diag(0, 1) is our occupation.


def qutip_dense(model, args, relabel=True):
    import qutip

    n = len(args[0])
    position = (lambda i: n - 1 - i) if relabel else (lambda i: i)
    identity = qutip.qeye(2)

    def term(factors):
        ops = [identity] * n
        for s, op in factors.items():
            ops[position(s)] = op
        return qutip.tensor(*ops)

    sx, sy, sz, num = qutip.sigmax(), qutip.sigmay(), qutip.sigmaz(), qutip.num(2)
    H = 0
    if model == "tfim_matrix":
        J, h = args
        for i, j in pairs(n):
            H = H + (-J[i, j]) * term({i: sz, j: sz})
        for i in range(n):
            H = H + (-h[i]) * term({i: sx})
    elif model == "heisenberg_matrix":
        (J,) = args
        for i, j in pairs(n):
            for op in (sx, sy, sz):
                H = H + (J[i, j] / 4) * term({i: op, j: op})
    elif model == "rydberg_matrix":
        V, omega, delta = args
        for i in range(n):
            H = H + (-omega[i] / 2) * term({i: sx}) + (-delta[i]) * term({i: num})
        for i, j in pairs(n):
            H = H + V[i, j] * term({i: num, j: num})
    else:
        raise ValueError(model)
    return np.asarray(H.full(), dtype=np.complex128)


# ---------------------------------------------------------------------------------------------------------


class DensePeer:
    def __init__(self, name, distribution, build, msb_first, mapping):
        self.name, self.distribution, self.build_fn = name, distribution, build
        self.msb_first, self.mapping = msb_first, mapping
        self.version, self.unavailable = None, None

    def load(self):
        """Import the peer once; on failure record why, so the suite can skip it and say so."""
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                if self.distribution:
                    __import__(self.distribution)
                    self.version = importlib.metadata.version(self.distribution)
                else:
                    self.version = np.__version__
        except Exception as error:  # any import failure means the peer is skipped
            self.unavailable = f"not importable ({type(error).__name__}: {error})"
        return self.unavailable is None

    def build(self, model, args, relabel=True):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            if self.msb_first:
                return self.build_fn(model, args, relabel)
            return self.build_fn(model, args)

    def verify(self, vq, model, sizes=(2, 3, 4)):
        """Assert at small sizes that the peer's matrix is ours under the documented mapping."""
        from inputs import model_args

        for n in sizes:
            args = model_args(model, n)
            expected = getattr(vq, model)(*args)
            atol = 1e-12 * max(1.0, float(np.abs(expected).max()))
            got = self.build(model, args)
            if got.shape != expected.shape or not np.allclose(got, expected, rtol=0, atol=atol):
                raise PeerMismatch(f"{self.name} {model} at {n} sites differs from ours after the mapping "
                                   f"({self.mapping}); max |diff| = {np.abs(got - expected).max():.3g}")
            if self.msb_first:
                raw = self.build(model, args, relabel=False)
                perm = bit_reversal(n)
                if not np.allclose(raw[np.ix_(perm, perm)], expected, rtol=0, atol=atol):
                    raise PeerMismatch(f"{self.name} {model} at {n} sites: the unrelabelled matrix is not ours "
                                       f"under the bit-reversal permutation")


def dense_peers():
    return [
        DensePeer("numpy-kron", None, numpy_kron, False,
                  "site 0 = last Kronecker factor as ours; Pauli matrices; no mapping"),
        DensePeer("quspin", "quspin", quspin_dense, True,
                  "pauli=1, our site i -> QuSpin site n-1-i (= bit reversal of the index); "
                  "Rydberg n_i expanded as (1 - Z_i)/2"),
        DensePeer("quimb", "quimb", quimb_dense, True,
                  "SparseOperatorBuilder Pauli 'x','y','z' and 'n', build_dense(parallel=True); "
                  "our site i -> quimb site n-1-i (= bit reversal)"),
        DensePeer("qutip", "qutip", qutip_dense, True,
                  "tensor of sigmax/sigmay/sigmaz/num(2) summed, .full(); our site i -> tensor position n-1-i "
                  "(= bit reversal)"),
    ]


# ---------------------------------------------------------------------------------------------------------
# TFIM observables (z basis, magnetisation along z) for a normalised state in our index order.


def _z_spins(n):
    """(2^n, n) float array of Z eigenvalues: column i is +1 where bit i is 0, -1 where it is 1."""
    k = np.arange(1 << n, dtype=np.int64)
    return (1 - 2 * ((k[:, None] >> np.arange(n)) & 1)).astype(np.float64)


def scipy_observables(J, h, state):
    """Hand-written SciPy version: the sparse TFIM from bit operations (row k holds the diagonal
    -sum J_ij z_i z_j and -h_i at column k ^ (1 << i)), then energy, variance and <sum Z_i>."""
    import scipy.sparse

    n = len(h)
    dim = 1 << n
    spins = _z_spins(n)
    diag = -0.5 * np.einsum("ki,ki->k", spins @ J, spins)  # J has a zero diagonal
    k = np.arange(dim, dtype=np.int64)
    columns = np.empty((dim, n + 1), dtype=np.int64)
    columns[:, 0] = k
    columns[:, 1:] = k[:, None] ^ (1 << np.arange(n))
    values = np.empty((dim, n + 1))
    values[:, 0] = diag
    values[:, 1:] = -h
    H = scipy.sparse.csr_matrix((values.ravel(), columns.ravel(), np.arange(0, dim * (n + 1) + 1, n + 1)),
                                shape=(dim, dim))
    norm = np.vdot(state, state).real
    h_state = H @ state
    energy = np.vdot(state, h_state).real / norm
    variance = max(np.vdot(h_state, h_state).real / norm - energy * energy, 0.0)
    magnetization = (np.abs(state) ** 2) @ spins.sum(axis=1) / norm
    return {"energy": energy, "variance": variance, "magnetization": magnetization}


def quspin_observables(J, h, state):
    """QuSpin: the TFIM and sum_i Z_i as hamiltonian objects (pauli=1, site i -> n-1-i so the state is
    used in our order), then expt_value and quant_fluct."""
    from quspin.basis import spin_basis_1d
    from quspin.operators import hamiltonian

    n = len(h)
    site = lambda i: n - 1 - i  # noqa: E731
    basis = spin_basis_1d(n, pauli=1)
    options = dict(basis=basis, dtype=np.float64, check_symm=False, check_herm=False, check_pcon=False)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        H = hamiltonian([["zz", [[-J[i, j], site(i), site(j)] for i, j in pairs(n)]],
                         ["x", [[-h[i], site(i)] for i in range(n)]]], [], **options)
        M = hamiltonian([["z", [[1.0, site(i)] for i in range(n)]]], [], **options)
        energy = H.expt_value(state).real
        variance = max(H.quant_fluct(state).real, 0.0)
        magnetization = M.expt_value(state).real
    return {"energy": energy, "variance": variance, "magnetization": magnetization}


@functools.cache
def observables_peers():
    peers = {"scipy-sparse": (scipy_observables, "scipy",
                              "sparse CSR from bit operations in our index order; no mapping"),
             "quspin": (quspin_observables, "quspin", "pauli=1, our site i -> QuSpin site n-1-i")}
    available = {}
    for name, (fn, dist, mapping) in peers.items():
        try:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                __import__(dist)
            available[name] = (fn, importlib.metadata.version(dist), mapping, None)
        except Exception as error:
            available[name] = (fn, None, mapping, f"not importable ({type(error).__name__}: {error})")
    return available
