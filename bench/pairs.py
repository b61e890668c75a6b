#!/usr/bin/env python3
"""Times a command against its peer, the two in turn, as whole processes.

    bench/pairs.py --out ROW.json --runs N [--warmup W] [--prepare CMD] CORVANE_CMD PEER_CMD

Each round runs PREPARE (untimed, through sh), then one command, PREPARE again, then the
other; the commands alternate which goes first. A run's wall time is from fork to wait, its
CPU time the user and system time the kernel accounts to the process and its children
(wait4). Taken in turn, both commands see the machine in the same state, where one command's
runs after the other's would compare two states of a machine that drifts. The JSON file holds
each command's medians and means.
"""
import argparse
import json
import os
import shlex
import statistics
import subprocess
import time


def run_once(argv):
    # posix_spawn: the child does not start as a copy of this interpreter's memory, which its
    # exec would have to tear down at its own expense.
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, os.environ,
                          file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                        (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {shlex.join(argv)}")
    return wall, usage.ru_utime + usage.ru_stime


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--runs", type=int, required=True)
    parser.add_argument("--warmup", type=int, default=2)
    parser.add_argument("--prepare")
    parser.add_argument("corvane")
    parser.add_argument("peer")
    args = parser.parse_args()
    commands = {"corvane": shlex.split(args.corvane), "peer": shlex.split(args.peer)}
    times = {name: [] for name in commands}
    for round_ in range(args.warmup + args.runs):
        order = ["corvane", "peer"] if round_ % 2 == 0 else ["peer", "corvane"]
        for name in order:
            if args.prepare:
                subprocess.run(args.prepare, shell=True, check=True)
            measured = run_once(commands[name])
            if round_ >= args.warmup:
                times[name].append(measured)
    results = []
    for name, runs in times.items():
        walls = [w for w, _ in runs]
        cpus = [c for _, c in runs]
        results.append({"command": name, "wall_median": statistics.median(walls), "cpu_median": statistics.median(cpus),
                        "wall_mean": statistics.fmean(walls), "cpu_mean": statistics.fmean(cpus), "runs": len(runs)})
    with open(args.out, "w") as f:
        json.dump({"results": results}, f, indent=1)


if __name__ == "__main__":
    main()
