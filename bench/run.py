"""Side-by-side benchmark suite: times every function against a NumPy baseline and peer libraries in one
run, measures our peak memory in fresh processes, and prints the table (also written to bench/results.md).

    PYTHONPATH=build/src/python .venv/bin/python bench/run.py [--quick] [--only CASE,...]

Ratios are ours / theirs (below 1 means ours is faster). Targets are reported, never asserted.
"""

import argparse
import datetime
import gc
import importlib.metadata
import importlib.util
import json
import os
import platform
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import warnings

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import inputs  # noqa: E402
import peers  # noqa: E402

GIB = 1 << 30
MIB = 1 << 20


# ---------------------------------------------------------------------------------------------------------
# Settings


class Settings:
    def __init__(self, quick):
        self.quick = quick
        self.reps = 3 if quick else 5
        # A measurement stops repeating once it has spent this long (the warm-up included).
        self.measure_budget = 2.0 if quick else 12.0
        # A peer size whose predicted single call exceeds this is skipped.
        self.call_budget = 2.0 if quick else 15.0
        self.matrix_sites = [10, 11] if quick else [10, 11, 12, 13]
        self.ground_sites = list(range(2, 7)) if quick else list(range(2, 9))
        self.observable_sites = [12, 16] if quick else [12, 16, 20]
        self.observable_timeout = 30 if quick else 120
        self.observable_as_budget = 8 * GIB
        self.estimate_params = [64, 256] if quick else [64, 256, 512]
        self.solve_params = [16, 64, 256] if quick else [16, 64, 256, 1024]
        self.basis_sizes = [(20, None), (30, 3)] if quick else [(24, None), (30, 3)]
        self.overhead_seconds = 0.005 if quick else 0.03


# ---------------------------------------------------------------------------------------------------------
# Our module: a private copy of the built extension, so a rebuild during the run cannot swap it underneath


def snapshot_module():
    module_spec = importlib.util.find_spec("vendrel_quantum")
    if module_spec is None or not module_spec.origin:
        sys.exit("vendrel_quantum is not importable: build it first (make build) and set PYTHONPATH")
    directory = tempfile.mkdtemp(prefix="vq-bench-")
    shutil.copy2(module_spec.origin, directory)
    sys.path.insert(0, directory)
    import vendrel_quantum

    modified = datetime.datetime.fromtimestamp(os.path.getmtime(module_spec.origin)).isoformat(timespec="seconds")
    return vendrel_quantum, directory, f"{module_spec.origin} (built {modified}), run from a private copy"


# ---------------------------------------------------------------------------------------------------------
# Machine facts


def machine_facts(module_source, settings):
    cpu = "unknown"
    try:
        with open("/proc/cpuinfo") as info:
            cpu = next(line.split(":", 1)[1].strip() for line in info if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    memory = "unknown"
    try:
        with open("/proc/meminfo") as info:
            memory = f"{int(next(line for line in info if line.startswith('MemTotal')).split()[1]) / 2**20:.1f} GiB"
    except (OSError, StopIteration):
        pass
    try:
        blas = np.show_config(mode="dicts")["Build Dependencies"]["blas"]
        blas = f"{blas.get('name')} {blas.get('version', '')}".strip()
    except Exception:  # the layout of show_config differs between NumPy versions
        blas = "unknown"
    threads = {k: v for k, v in os.environ.items() if k.startswith(("OPENBLAS", "OMP_", "MKL_"))}
    versions = []
    for dist in ("scipy", "quspin", "quimb", "qutip"):
        try:
            versions.append(f"{dist} {importlib.metadata.version(dist)}")
        except importlib.metadata.PackageNotFoundError:
            versions.append(f"{dist} (not installed)")
    return [
        ("date", datetime.datetime.now().astimezone().isoformat(timespec="seconds")),
        ("load average", " ".join(f"{v:.2f}" for v in os.getloadavg()) + " (1, 5, 15 min) at the start; "
                         "other work on the machine shows up as noise"),
        ("CPU", cpu),
        ("cores", f"{os.cpu_count()} logical, {len(os.sched_getaffinity(0))} usable"),
        ("memory", memory),
        ("Python", f"{platform.python_implementation()} {platform.python_version()}"),
        ("NumPy", f"{np.__version__} (BLAS {blas}; default threads"
                  + (f", {', '.join(f'{k}={v}' for k, v in threads.items())}" if threads else "") + ")"),
        ("peers", ", ".join(versions)),
        ("module", module_source),
        ("mode", "quick" if settings.quick else "full"),
    ]


# ---------------------------------------------------------------------------------------------------------
# Measurement


def timed(fn):
    start = time.perf_counter()
    result = fn()
    elapsed = time.perf_counter() - start
    del result
    return elapsed


def timed_loop(fn, count):
    """Seconds for count calls; each result is dropped at once, so no call pays for memory held by another."""
    start = time.perf_counter()
    for _ in range(count):
        fn()
    return time.perf_counter() - start


class Measured:
    def __init__(self, seconds, runs, warm):
        self.seconds, self.runs, self.warm = seconds, runs, warm


# Calls shorter than this get untimed calls of their own, for SETTLE_SECONDS, right before each timed one.
SETTLE_BELOW = 0.05
SETTLE_SECONDS = 0.02


def measure(fns, settings):
    """Time the named zero-argument callables side by side: one warm-up call each, then rounds in which
    every callable still within its time budget runs once, so that a burst of load on the machine hits all
    sides alike. Each gets the best of its timed calls; a call shorter than a millisecond is timed as a loop
    of calls (about 5 ms) divided by its length. One whose warm-up alone leaves no room for a timed call
    within the budget reports that first call (it was warmed at a smaller size).
    Returns ({name: Measured}, {name: error text})."""
    first, loops, times, spent, errors = {}, {}, {name: [] for name in fns}, {}, {}
    gc.collect()
    for name, fn in fns.items():
        try:
            first[name] = spent[name] = timed(fn)
        except Exception as error:  # reported in the row
            errors[name] = f"{type(error).__name__}: {error}"
            continue
        loops[name] = 1 if first[name] > 1e-3 else max(1, int(5e-3 / max(timed(fn), 1e-7)))

    def run(name):
        fn, count = fns[name], loops[name]
        # A short call first meets the allocator, the caches and the memory as the side before left them:
        # after a peer that churned memory, a 16 MiB build on this kind of machine needs several calls
        # (not one) to get back to its steady time, and how many differs between sides. So each gets
        # untimed calls of its own for SETTLE_SECONDS (at least one), whether it is then timed alone or
        # in a loop; long calls are not repeated.
        if first[name] < SETTLE_BELOW:
            settle_end = time.perf_counter() + SETTLE_SECONDS
            fn()
            while time.perf_counter() < settle_end:
                fn()
        if count > 1:
            return timed_loop(fn, count) / count
        return timed(fn)

    for round_index in range(settings.reps):
        active = [name for name in first
                  if spent[name] + min(times[name] or [first[name]]) <= settings.measure_budget]
        if not active:
            break
        # The order turns by one each round: a side that runs right after a peer which churned the
        # allocator and the caches (the Kronecker builders do) is not always the same one.
        shift = round_index % len(active)
        for name in active[shift:] + active[:shift]:
            if first[name] > 0.05:
                gc.collect()  # large results only: keeps the collector's cache sweep out of short calls
            times[name].append(run(name))
            spent[name] += times[name][-1] * loops[name]
    measured = {name: Measured(min(times[name]), len(times[name]), True) if times[name]
                else Measured(first[name], 1, False) for name in first}
    return measured, errors


def per_call(fn, settings):
    """Per-call time of a very short call: loops calibrated to settings.overhead_seconds, best of 5."""
    for _ in range(100):
        fn()
    loops = 1
    while timed_loop(fn, loops) < settings.overhead_seconds / 4:
        loops *= 4
    return min(timed_loop(fn, loops) for _ in range(5)) / loops


def probe(case, size, module_dir, timeout, reps=0, as_limit=None):
    """Our call in a fresh process: peak memory (ru_maxrss delta) and optionally times; dict or error."""
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([module_dir, HERE]))
    request = json.dumps({"case": case, "size": size, "reps": reps, "as_limit": as_limit})
    # The probe is a grandchild started by a shell that does not exec it: a process exec'ed straight from
    # this (large) process inherits our peak RSS as its ru_maxrss floor, which would hide its own peak.
    command = ["/bin/sh", "-c", '"$@"; exit $?', "sh", sys.executable, os.path.join(HERE, "probe.py"), request]
    process = subprocess.Popen(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                               start_new_session=True)
    try:
        stdout, stderr = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)  # the shell and the probe, both started here
        process.communicate()
        return {"error": f"timeout (> {timeout} s)"}
    lines = stdout.strip().splitlines()
    if process.returncode != 0 or not lines:
        tail = (stderr.strip().splitlines() or ["no output"])[-1]
        return {"error": f"probe exited {process.returncode}: {tail}"}
    result = json.loads(lines[-1])
    if "memory_method" in result:
        MEMORY_METHODS.add(result["memory_method"])
    return result


MEMORY_METHODS = set()


# ---------------------------------------------------------------------------------------------------------
# Formatting


def fmt_time(seconds):
    if seconds is None:
        return "—"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.2f} µs"
    if seconds < 1:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds:.2f} s"


def fmt_bytes(n):
    if n >= GIB:
        return f"{n / GIB:.2f} GiB"
    if n >= MIB:
        return f"{n / MIB:.1f} MiB"
    if n >= 1024:
        return f"{n / 1024:.0f} KiB"
    return f"{n} B"


def fmt_memory(result):
    """Peak of ours as a ratio to the result's bytes, with the absolute numbers."""
    if result is None:
        return "—"
    if "error" in result:
        return "failed"
    peak, size = result["peak_bytes"], result["result_nbytes"]
    if size == 0:
        return f"peak {fmt_bytes(peak)}"
    return f"{peak / size:.2f}x ({fmt_bytes(peak)} / {fmt_bytes(size)})"


def verdict(value, limit):
    return "ok" if value is not None and value <= limit else "MISS"


COLUMNS = [("case", 18), ("size", 14), ("vs", 13), ("ours", 10), ("theirs", 10), ("ours/theirs", 11),
           ("target", 24), ("ours peak / result", 34), ("note", 0)]


class Table:
    def __init__(self):
        self.rows, self.notes = [], []

    @staticmethod
    def line(values):
        return "  ".join(v.ljust(w) if w else v for v, (_, w) in zip(values, COLUMNS)).rstrip()

    def header(self):
        print(self.line([name for name, _ in COLUMNS]))
        print(self.line(["-" * (w or 4) for _, w in COLUMNS]))

    def add(self, case, size, vs, ours=None, theirs=None, target="", memory=None, note=""):
        ratio = f"{ours / theirs:.2f}" if ours is not None and theirs else "—"
        row = [case, str(size), vs, fmt_time(ours), fmt_time(theirs), ratio, target,
               memory if isinstance(memory, str) else fmt_memory(memory), note]
        self.rows.append(row)
        print(self.line(row), flush=True)

    def note(self, text):
        if text not in self.notes:
            self.notes.append(text)

    def markdown(self, facts):
        out = ["# Benchmark results", "", "Generated by `make bench` (bench/run.py). Ratios are ours / theirs: "
               "below 1 means ours is faster. Targets are reported, not asserted.", ""]
        out += [f"- **{k}**: {v}" for k, v in facts] + [""]
        out.append("| " + " | ".join(name for name, _ in COLUMNS) + " |")
        out.append("|" + "|".join("---" for _ in COLUMNS) + "|")
        out += ["| " + " | ".join(v.replace("|", "\\|") for v in row) + " |" for row in self.rows]
        out += ["", "## Notes", ""] + [f"- {n}" for n in self.notes]
        return "\n".join(out) + "\n"


# ---------------------------------------------------------------------------------------------------------
# Cases


def single(measured, name):
    return "" if measured[name].warm else f"{name}: single call"


def run_matrices(vq, table, settings, module_dir):
    dense = peers.dense_peers()
    for peer in dense:
        if not peer.load():
            table.note(f"{peer.name}: skipped for the model matrices, {peer.unavailable}")
        else:
            table.note(f"{peer.name} {peer.version} mapping: {peer.mapping}")
    for model in inputs.MATRIX_CASES:
        aborted, last_time = {}, {}
        for peer in dense:
            if peer.unavailable:
                continue
            try:
                peer.verify(vq, model)
                peer.build(model, inputs.model_args(model, settings.matrix_sites[0] - 2))  # warm-up (JIT, caches)
            except Exception as error:
                aborted[peer.name] = f"aborted: {error}"
                table.note(f"{peer.name} {model}: {error}")
        for n in settings.matrix_sites:
            size, dim = f"{n} sites", 1 << n
            memory = probe(model, n, module_dir, timeout=120)
            args = inputs.model_args(model, n)
            fns = {"ours": inputs.ours(vq, model, n), "np.full": lambda: np.full((dim, dim), 1 + 0j)}
            skipped = {}
            for peer in dense:
                # A peer whose call at this size is predicted past the budget is skipped.
                predicted = last_time.get(peer.name, 0.0) * 6  # ~4x the entries and more terms per site
                if peer.unavailable:
                    skipped[peer.name] = f"skipped: {peer.unavailable}"
                elif peer.name in aborted:
                    skipped[peer.name] = aborted[peer.name]
                elif predicted > settings.call_budget:
                    skipped[peer.name] = (f"skipped (> budget: ~{predicted:.0f} s predicted per call, "
                                          f"budget {settings.call_budget:.0f} s)")
                    last_time[peer.name] = predicted
                else:
                    fns[peer.name] = lambda peer=peer: peer.build(model, args)
            measured, errors = measure(fns, settings)
            if "ours" in errors:
                table.add(model, size, "np.full", note=f"ours failed: {errors['ours']}")
                continue
            ours = measured["ours"].seconds
            ratio = ours / measured["np.full"].seconds
            mem_ratio = memory["peak_bytes"] / memory["result_nbytes"] if "peak_bytes" in memory else None
            note = "; ".join(filter(None, [f"memory probe: {memory['error']}" if "error" in memory else "",
                                           single(measured, "ours"), single(measured, "np.full")]))
            table.add(model, size, "np.full", ours, measured["np.full"].seconds,
                      f"t<=1.5 {verdict(ratio, 1.5)}; m<=1.25 {verdict(mem_ratio, 1.25)}", memory, note)
            for peer in dense:
                if peer.name in skipped:
                    table.add(model, size, peer.name, ours, note=skipped[peer.name])
                elif peer.name in errors:
                    last_time[peer.name] = float("inf")
                    table.add(model, size, peer.name, ours, note=f"peer failed: {errors[peer.name]}")
                else:
                    last_time[peer.name] = measured[peer.name].seconds
                    table.add(model, size, peer.name, ours, measured[peer.name].seconds,
                              note=single(measured, peer.name))


def run_ground_state(vq, table, settings, module_dir):
    for n in settings.ground_sites:
        size = f"{n} sites"
        memory = probe("tfim_ground_state", n, module_dir, timeout=300)
        J, h = inputs.ground_state_args(n)
        measured, errors = measure({"ours": lambda: vq.tfim_ground_state(J, h),
                                    "eigh": lambda: np.linalg.eigh(vq.tfim_matrix(J, h))}, settings)
        if "ours" in errors:
            table.add("tfim_ground_state", size, "eigh(matrix)", note=f"ours failed: {errors['ours']}")
            continue
        ours, theirs = measured["ours"].seconds, measured["eigh"].seconds
        limit = 10 if n >= 8 else 3
        # The probe's energy saves another (possibly slow) call of ours.
        energy = memory["summary"]["energy"] if memory.get("summary") else vq.tfim_ground_state(J, h)[0]
        gap = abs(energy - np.linalg.eigh(vq.tfim_matrix(J, h))[0][0])
        note = "; ".join(filter(None, [f"|E - eigh| = {gap:.1e}", single(measured, "ours")]))
        table.add("tfim_ground_state", size, "eigh(matrix)", ours, theirs,
                  f"<={limit} {verdict(ours / theirs, limit)}", memory, note)


def run_observables(vq, table, settings, module_dir):
    available = peers.observables_peers()
    for name, (_, version, mapping, unavailable) in available.items():
        table.note(f"{name} (observables) " + (f"{version} mapping: {mapping}" if not unavailable else unavailable))
    table.note("tfim_observables: ours runs in a fresh process with a timeout and an address-space limit of "
               f"{fmt_bytes(settings.observable_as_budget)} beyond its inputs (warm-up, one call measured for "
               "memory, then the best of the timed calls); its peak is the growth of the resident set beyond "
               "the caller's state. Peers compute energy, variance and <sum Z_i> from the couplings, "
               "checked against ours.")
    for n in settings.observable_sites:
        size = f"{n} sites"
        result = probe("tfim_observables", n, module_dir, timeout=settings.observable_timeout,
                       reps=settings.reps, as_limit=settings.observable_as_budget)
        if "error" in result:
            ours, target = None, ("<2 s, <1 GiB MISS" if n >= 20 else "")
            table.note(f"tfim_observables at {n} sites: ours failed/timeout: {result['error']}")
        else:
            ours = min(result["times"]) if result["times"] else result["first_seconds"]
            target = ""
            if n >= 20:
                target = f"<2 s, <1 GiB {'ok' if ours < 2 and result['peak_bytes'] < GIB else 'MISS'}"
        J, h, state = inputs.observables_args(n)
        fns = {name: (lambda fn=fn: fn(J, h, state)) for name, (fn, _, _, missing) in available.items()
               if not missing}
        measured, errors = measure(fns, settings)
        for index, (name, (fn, _, _, missing)) in enumerate(available.items()):
            row_target, row_memory = (target, result) if index == 0 else ("", None)
            if ours is None:
                note = "ours failed/timeout"
            elif name in measured:
                expected, got = fn(J, h, state), result["summary"]
                worst = max(abs(got[k] - expected[k]) / max(1.0, abs(expected[k])) for k in expected)
                note = f"agree to {worst:.0e}" if worst < 1e-8 else f"DISAGREE by {worst:.1e}"
            else:
                note = ""
            if missing:
                note = f"skipped: {missing}"
            elif name in errors:
                note = f"peer failed: {errors[name]}"
            theirs = measured[name].seconds if name in measured else None
            table.add("tfim_observables", size, name, ours, theirs, row_target, row_memory, note)


def numpy_statistics(weights, energies, derivatives):
    p = weights / weights.sum()
    mean = p @ energies
    centred = derivatives - p @ derivatives
    delta = energies - mean
    weighted = centred.conj().T * p
    qgt = (weighted @ centred).real
    force = weighted @ delta
    return {"rhs": force.imag, "qgt": qgt, "energy_mean": mean, "energy_variance": p @ np.abs(delta) ** 2}


def run_estimate(vq, table, settings, module_dir):
    for p in settings.estimate_params:
        size = f"N={inputs.SAMPLES} P={p}"
        memory = probe("tdvp_estimate", p, module_dir, timeout=300)
        w, e, d = inputs.estimate_args(p)
        measured, errors = measure({"ours": lambda: vq.tdvp_estimate(w, e, d),
                                    "numpy": lambda: numpy_statistics(w, e, d)}, settings)
        if "ours" in errors:
            table.add("tdvp_estimate", size, "numpy expr", note=f"ours failed: {errors['ours']}")
            continue
        got, expected = vq.tdvp_estimate(w, e, d), numpy_statistics(w, e, d)
        worst = max(np.abs(got[k] - expected[k]).max() / max(1.0, np.abs(expected[k]).max()) for k in expected)
        table.add("tdvp_estimate", size, "numpy expr", measured["ours"].seconds, measured["numpy"].seconds, "",
                  memory, f"agree to {worst:.0e}" if worst < 1e-10 else f"DISAGREE by {worst:.1e}")


def run_solve(vq, table, settings, module_dir):
    import scipy.sparse.linalg

    table.note("tdvp_solve: S = Q diag(logspace(-3, 0, P)) Q^T (exactly symmetric), shift 1e-3, tolerance 1e-10, "
               "max_iterations 10 P; SciPy cg gets the pre-formed dense S + shift I, rtol 1e-10, atol 0 and "
               "maxiter = our iteration count, and a callback counts its iterations; when SciPy stops earlier "
               "(its residual recurrence rounds differently) it is rerun at a fixed count (rtol 1e-300).")
    for p in settings.solve_params:
        size = f"P={p}"
        memory = probe("tdvp_solve", p, module_dir, timeout=300)
        s, b, shift = inputs.solve_args(p)
        call = inputs.ours(vq, "tdvp_solve", p)
        try:
            solved = call()
        except Exception as error:
            table.add("tdvp_solve", size, "scipy cg", note=f"ours failed: {type(error).__name__}: {error}")
            continue
        k = solved["iterations"]
        a = s + shift * np.eye(p)
        counts = []

        def scipy_cg(rtol):
            counter = [0]
            x, _ = scipy.sparse.linalg.cg(a, b, rtol=rtol, atol=0.0, maxiter=k,
                                          callback=lambda _: counter.__setitem__(0, counter[0] + 1))
            counts.append(counter[0])
            return x

        rtol, fixed = inputs.SOLVE_TOLERANCE, ""
        scipy_cg(rtol)
        if counts[-1] != k:
            rtol, fixed = 1e-300, f" (SciPy at rtol 1e-10: {counts[-1]}; rerun at a fixed count)"
        counts.clear()
        measured, _ = measure({"ours": call, "scipy": lambda: scipy_cg(rtol)}, settings)
        x = scipy_cg(rtol)
        same = all(c == k for c in counts)
        gap = np.abs(x - solved["direction"]).max() / max(1e-300, np.abs(x).max())
        note = (f"iterations ours {k} / scipy {counts[-1]}{'' if same else ' (UNEQUAL)'}{fixed}; "
                f"converged {solved['converged']}; directions agree to {gap:.0e}")
        table.add("tdvp_solve", size, "scipy cg", measured["ours"].seconds, measured["scipy"].seconds, "",
                  memory, note)


def run_basis(vq, table, settings, module_dir):
    for sites, weight in settings.basis_sizes:
        size = f"{sites} sites" + (f" w={weight}" if weight is not None else "")
        memory = probe("basis_states", [sites, weight], module_dir, timeout=120)
        try:
            shape = vq.basis_states(sites, weight).shape
        except Exception as error:
            table.add("basis_states", size, "np.ones", note=f"ours failed: {type(error).__name__}: {error}")
            continue
        measured, _ = measure({"ours": lambda: vq.basis_states(sites, weight),
                               "np.ones": lambda: np.ones(shape, np.uint8)}, settings)
        ours, theirs = measured["ours"].seconds, measured["np.ones"].seconds
        table.add("basis_states", size, "np.ones", ours, theirs, f"<=2 {verdict(ours / theirs, 2)}", memory,
                  f"result shape {shape}")


def run_overhead(vq, table, settings, module_dir):
    one = np.zeros((1, 1))
    two = np.array([[0.0, 1.0], [1.0, 0.0]])
    field = np.array([0.5])
    state = np.array([1.0, 0.0], dtype=complex)
    calls = [
        ("row_major_site_ids", "1x1", lambda: vq.row_major_site_ids(1, 1)),
        ("resolve_ising_interactions", "2 sites", lambda: vq.resolve_ising_interactions(two)),
        ("basis_states", "1 site", lambda: vq.basis_states(1, None)),
        ("tfim_matrix", "1 site", lambda: vq.tfim_matrix(one, field)),
        ("tfim_ground_state", "1 site", lambda: vq.tfim_ground_state(one, field)),
        ("tfim_observables", "1 site", lambda: vq.tfim_observables(one, field, state)),
        ("heisenberg_matrix", "1 site", lambda: vq.heisenberg_matrix(one)),
        ("rydberg_matrix", "1 site", lambda: vq.rydberg_matrix(one, field, field)),
        ("tdvp_estimate", "N=1 P=1", lambda: vq.tdvp_estimate(np.ones(1), np.ones(1, complex), np.ones((1, 1), complex))),
        ("tdvp_solve", "P=1", lambda: vq.tdvp_solve(np.eye(1), np.ones(1))),
    ]
    table.note("overhead: per-call time of the smallest inputs (loops of calls, best of 5) next to np.empty of "
               "the result's first array (shape and dtype); a dict without arrays compares with np.empty(0).")
    for name, size, call in calls:
        try:
            result = call()
        except Exception as error:
            table.add("overhead", size, "np.empty", note=f"{name} failed: {type(error).__name__}: {error}")
            continue
        arrays = [result] if isinstance(result, np.ndarray) else [
            v for v in (result.values() if isinstance(result, dict) else result) if isinstance(v, np.ndarray)]
        shape, dtype = (arrays[0].shape, arrays[0].dtype) if arrays else ((0,), np.float64)
        ours = per_call(call, settings)
        theirs = per_call(lambda: np.empty(shape, dtype), settings)
        table.add("overhead", size, "np.empty", ours, theirs, note=f"{name}; np.empty({shape}, {np.dtype(dtype).name})")


CASES = {
    "matrices": run_matrices,
    "tfim_ground_state": run_ground_state,
    "tfim_observables": run_observables,
    "tdvp_estimate": run_estimate,
    "tdvp_solve": run_solve,
    "basis_states": run_basis,
    "overhead": run_overhead,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="smaller sizes and fewer repetitions (< 1 minute)")
    parser.add_argument("--only", default="", help=f"comma-separated subset of: {', '.join(CASES)}")
    parser.add_argument("--output", default=os.path.join(HERE, "results.md"), help="Markdown output file")
    options = parser.parse_args()
    selected = [c for c in options.only.split(",") if c] or list(CASES)
    unknown = set(selected) - set(CASES)
    if unknown:
        parser.error(f"unknown case(s): {', '.join(sorted(unknown))}")

    warnings.simplefilter("ignore")
    settings = Settings(options.quick)
    vq, module_dir, module_source = snapshot_module()
    facts = machine_facts(module_source, settings)
    width = max(len(k) for k, _ in facts)
    for key, value in facts:
        print(f"{key.ljust(width)}  {value}")
    print()
    table = Table()
    table.note(f"Times: one warm-up call per side, then up to {settings.reps} rounds in which ours and every "
               "comparator run once each (interleaved, so load bursts hit all sides alike, in an order that "
               "turns by one each round, so no side always follows the same peer; a call under "
               f"{SETTLE_BELOW * 1e3:.0f} ms, or a loop of such calls, right after untimed calls of its own "
               f"for {SETTLE_SECONDS * 1e3:.0f} ms, at least one); "
               "each reports its "
               f"best call. A side stops repeating after {settings.measure_budget:.0f} s; 'single call' marks a "
               "time that is the first call at that size (warmed up at a smaller size).")
    table.note("Peak memory: a fresh process per case warms up on a tiny input, resets its peak-RSS mark "
               "(/proc/self/clear_refs) and reports the ru_maxrss growth over our call, as a ratio to the bytes "
               "of the arrays in the result.")
    table.note("Every dense peer is checked at 2, 3 and 4 sites before it is timed: with the mapping below its "
               "matrix equals ours (atol 1e-12 x the largest entry), and for the peers with site 0 in the most "
               "significant bit the unmapped matrix equals ours after the bit-reversal permutation of rows and "
               "columns. A mismatch aborts that peer for that model with the reason in its rows.")
    table.header()
    facts_load = os.getloadavg()[0]
    started = time.perf_counter()
    try:
        for case in selected:
            CASES[case](vq, table, settings, module_dir)
    finally:
        shutil.rmtree(module_dir, ignore_errors=True)
    elapsed = time.perf_counter() - started
    end_load = os.getloadavg()[0]
    facts.append(("load average at the end", f"{end_load:.2f} (1 min, this run included)"))
    # This run keeps about one core busy itself, so only load beyond that is other work.
    if facts_load >= 1.0 or end_load - 1.0 >= 1.0:
        table.note(f"The machine was busy (1-minute load average {facts_load:.1f} at the start, {end_load:.1f} at "
                   f"the end with this run, on {os.cpu_count()} cores): "
                   "multi-threaded BLAS comparators (NumPy eigh and matrix products, SciPy cg) spin-wait under "
                   "contention and can read many times slower than on an idle machine; rerun when it is idle.")
    for method in sorted(MEMORY_METHODS):
        table.note(f"memory measured as: {method}")
    facts.append(("run time", f"{elapsed:.0f} s"))
    print("\nNotes:")
    for note in table.notes:
        print(f"- {note}")
    print(f"\nrun time {elapsed:.0f} s; Markdown written to {os.path.relpath(options.output)}")
    with open(options.output, "w") as out:
        out.write(table.markdown(facts))


if __name__ == "__main__":
    main()
