"""Prints 'ratio <task> vs <peer>: x.xx' for every task measured for orvel and a peer."""
import json
import re
import sys


def read_times(paths):
    times = {}
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
            if bench.get("run_type") == "aggregate" and bench.get("aggregate_name") != "median":
                continue
            name = bench.get("run_name") or bench.get("name", "")
            # Benchmarks that set their own iterations or time carry these suffixes.
            name = re.sub(r"(/iterations:\d+)?(/repeats:\d+)?(/manual_time)?$", "", name)
            task, _, impl = name.rpartition("/")
            if task:
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
