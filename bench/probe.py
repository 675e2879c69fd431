"""Fresh-process probe: peak memory (and optionally time) of one of our calls, printed as one JSON line.

run.py starts one probe per case and size, so every measurement begins from a clean heap:
    python bench/probe.py '{"case": "tfim_matrix", "size": 12, "reps": 0, "as_limit": null}'
The process first calls the same function on a tiny input (module, NumPy and allocator paths loaded),
builds the inputs, resets the kernel's peak-RSS mark, and then measures the ru_maxrss delta around the call.
"""

import gc
import json
import os
import resource
import sys
import time

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import inputs  # noqa: E402


def status_kib(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def reset_peak():
    """Reset the peak-RSS mark so that ru_maxrss restarts from the current RSS (Linux >= 4.0).
    Returns the method used, for the report."""
    try:
        with open("/proc/self/clear_refs", "w") as refs:
            refs.write("5")
        return "ru_maxrss delta after a peak reset"
    except OSError:
        return "ru_maxrss minus the RSS before the call (peak reset unavailable)"


def summary(case, result):
    """The numbers a peer's result is checked against."""
    if case == "tfim_observables":
        return {"energy": result["energy"][0], "variance": result["energy_variance"],
                "magnetization": result["magnetization_total"]}
    if case == "tfim_ground_state":
        return {"energy": result[0]}
    return None


def main():
    request = json.loads(sys.argv[1])
    case, size = request["case"], request["size"]
    out = {"case": case, "size": size}
    try:
        import vendrel_quantum as vq

        out["module"] = vq.__file__
        inputs.ours(vq, case, inputs.TINY[case])()  # warm-up on a tiny input
        call = inputs.ours(vq, case, size)
        if request.get("as_limit"):
            # Address-space budget on top of what the process (with its inputs) already maps.
            limit = status_kib("VmSize") * 1024 + int(request["as_limit"])
            resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        gc.collect()
        out["memory_method"] = reset_peak()
        rss_before = status_kib("VmRSS")
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        # ru_maxrss never drops below the peak the process inherited at exec; when that floor is above
        # our RSS, read the address space's own high-water mark (VmHWM, what ru_maxrss reports otherwise).
        inherited = before > status_kib("VmHWM") + 16 * 1024
        if inherited:
            out["memory_method"] = "VmHWM delta (ru_maxrss carries the launcher's peak)"
            before = status_kib("VmHWM")
        elif out["memory_method"].startswith("ru_maxrss minus"):
            before = rss_before
        start = time.perf_counter()
        result = call()
        first = time.perf_counter() - start
        after = status_kib("VmHWM") if inherited else resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        out["peak_bytes"] = max(0, after - before) * 1024
        out["result_nbytes"] = inputs.result_nbytes(result)
        out["summary"] = summary(case, result)
        out["first_seconds"] = first
        del result
        times = []
        for _ in range(int(request.get("reps", 0))):
            start = time.perf_counter()
            result = call()
            times.append(time.perf_counter() - start)
            del result
        out["times"] = times
    except MemoryError as error:
        out["error"] = f"MemoryError: {error}"
    except Exception as error:  # reported to the driver, which prints it in the table
        out["error"] = f"{type(error).__name__}: {error}"
    print(json.dumps(out))


if __name__ == "__main__":
    np.seterr(all="ignore")
    main()
