"""Prints 'ratio <task> vs <peer>: x.xx' for every task measured for orvel and a peer."""
import json
import re
import sys


# Which result of a benchmark counts, best first: the fastest of its repetitions where it
# records one (the least disturbed by other work on the machine), else the median, else a
# single run.
PREFERENCE = {"min": 0, "median": 1, None: 2}


def read_times(paths):
    times = {}
    ranks = {}
    for path in paths:
        try:
            with open(path) as f:
                benchmarks = json.load(f).get("benchmarks", [])
        except (OSError, ValueError) as error:
            print(f"skipping {path}: {error}", file=sys.stderr)
            continue
        for bench in benchmarks:
            if bench.get("error_occurred") or "real_time" not in bench:
                continue
            kind = bench.get("aggregate_name") if bench.get("run_type") == "aggregate" else None
            if kind not in PREFERENCE:
                continue
            name = bench.get("run_name") or bench.get("name", "")
            # Benchmarks timed by hand or repeated by their own setting carry these suffixes.
            name = re.sub(r"(/iterations:\d+)?(/repeats:\d+)?(/manual_time)?$", "", name)
            task, _, impl = name.rpartition("/")
            if task and PREFERENCE[kind] <= ranks.get((task, impl), 3):
                ranks[(task, impl)] = PREFERENCE[kind]
                times.setdefault(task, {})[impl] = float(bench["real_time"])
    return times


def main(paths):
    for task, impls in read_times(paths).items():
        ours = impls.get("orvel")
        if ours is None:
            continue
        for peer, theirs in impls.items():
            if peer != "orvel" and theirs > 0:
                print(f"ratio {task} vs {peer}: {ours / theirs:.2f}")


if __name__ == "__main__":
    main(sys.argv[1:])
