"""Prints 'ratio <task> vs <peer>: x.xx' for every task measured for orvel and a peer."""
import json
import sys


def main(paths):
    times = {}
    for path in paths:
        with open(path) as f:
            for bench in json.load(f)["benchmarks"]:
                if bench.get("run_type") == "aggregate" and bench.get("aggregate_name") != "median":
                    continue
                task, _, impl = bench["run_name"].rpartition("/")
                if task:
                    times.setdefault(task, {})[impl] = bench["real_time"]
    for task, impls in times.items():
        ours = impls.get("orvel")
        if ours is None:
            continue
        for peer, theirs in impls.items():
            if peer != "orvel" and theirs > 0:
                print(f"ratio {task} vs {peer}: {ours / theirs:.2f}")


if __name__ == "__main__":
    main(sys.argv[1:])
