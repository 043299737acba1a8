#!/usr/bin/env python3
"""How much processor time the game takes while it shows a still picture.

Runs the built game headless on a fresh demo installation for SECONDS of its test card,
RUNS times, and prints the processor seconds (user + system) it used per second of running:
every run, then the min and the median.

    tools/cpu_idle.py [--build DIR] [--seconds S] [--runs N]

DIR defaults to build/release (tools/play.sh builds it).
"""
import argparse
import os
import resource
import statistics
import subprocess
import tempfile
import time


def run_once(build, seconds, work):
    env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy",
               ALSOFT_DRIVERS="null", DEZOR_REGISTRY=os.path.join(work, "demo", "registry.ini"),
               DEZOR_INPUT=os.path.join(work, "script"))
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    subprocess.run([os.path.join(build, "dezor")], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return cpu / wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build/release")
    parser.add_argument("--seconds", type=int, default=5)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([os.path.join(args.build, "tools", "datakit", "dezor-datakit"), "install",
                        os.path.join(work, "demo")], stdout=subprocess.DEVNULL, check=True)
        with open(os.path.join(work, "script"), "w") as script:
            script.write(f"{args.seconds * 1000} end\n")
        ratios = [run_once(args.build, args.seconds, work) for _ in range(args.runs)]
    print("processor seconds per second of a still picture:",
          " ".join(f"{r:.3f}" for r in ratios))
    print(f"min {min(ratios):.3f}, median {statistics.median(ratios):.3f}")


if __name__ == "__main__":
    main()
