#!/usr/bin/env python3
"""The backend's own cost per job through a private CUPS scheduler: the same
1 MB and 200 MB jobs submitted with lp to two raw queues of the same cupsd,
one with CUPS's plain socket backend and one with ours wrapping it, both
sending to loopback printers; per job the time from submission until the
printer has received the whole job. Prints the medians side by side with
their difference and ratio, and how much of the difference was the stand-in
application server answering the backend's calls (its mean time per job from
request to answer): what is left is the backend's own cost. Needs root and
cupsd (tests/job/e2e/harness.py).

  bench/backend_cupsd_bench.py BUILD_DIR [JOBS_PER_SIZE]
"""

import os
import statistics
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "job", "e2e"))
import harness  # noqa: E402


def wait_for_job(printer, count, size):
    """Waits until `printer` has ended `count` jobs of `size` bytes; when the
    last one ended."""
    harness.wait_for(lambda: len([e for e in printer.ended if e[1] == size]) >= count, 300,
                     "%d jobs of %d bytes" % (count, size), 0.005)
    return printer.ended[-1][0]


def service_times(env):
    """The stand-in's time from request to answer of every call so far, in ms."""
    if not os.path.exists(env.standin_service_times):
        return []
    with open(env.standin_service_times) as f:
        return [float(line) for line in f if line.strip()]


def main():
    build = sys.argv[1]
    jobs = int(sys.argv[2]) if len(sys.argv) > 2 else 9
    tools = os.path.join(build, "tools")
    env = harness.Environment(SOURCE, os.path.join(tools, "spoolwarden"),
                              os.path.join(tools, "spoolwarden-events"),
                              os.path.join(tools, "print_monitor_standin"))
    settings = "color-detection=N;failure-mode=PRINT_NEW_NO_REPLAY;hardware-check-mode=NONE;"
    env.start({"default": "PRINT", "methods": {"spoolwarden.getPrinterConfig": settings}},
              {"ServerName": "bench", "Debug": "off"})
    try:
        plain = harness.LoopbackPrinter(keep=False)
        wrapped = harness.LoopbackPrinter(keep=False)
        env.run(["lpadmin", "-h", env.host, "-p", "plain", "-E", "-v",
                 "socket://127.0.0.1:%d" % plain.port, "-m", "raw"])
        env.add_queue("wrapped", uri="socket://127.0.0.1:%d" % wrapped.port)
        work = tempfile.mkdtemp(prefix="sw_bench_")
        print("%-8s %10s %10s %12s %7s %10s %10s" % (
            "job", "socket ms", "ours ms", "overhead ms", "ratio", "server ms", "own ms"))
        for size in (1000 * 1000, 200 * 1000 * 1000):
            path = os.path.join(work, "job-%d" % size)
            with open(path, "wb") as f:
                f.write(os.urandom(size))
            times = {"plain": [], "wrapped": []}
            answered_before = service_times(env)
            for i in range(jobs + 1):  # the first of each is a warm-up
                for queue, printer in (("plain", plain), ("wrapped", wrapped)):
                    before = len([e for e in printer.ended if e[1] == size])
                    start = time.monotonic()
                    env.submit(queue, path, title="bench")
                    end = wait_for_job(printer, before + 1, size)
                    if i > 0:
                        times[queue].append((end - start) * 1000)
            p, w = statistics.median(times["plain"]), statistics.median(times["wrapped"])
            server = sum(service_times(env)[len(answered_before):]) / (jobs + 1)
            print("%-8s %10.1f %10.1f %12.1f %7.2f %10.1f %10.1f" % (
                "%d MB" % (size // 1000000), p, w, w - p, w / p, server, w - p - server),
                flush=True)
            os.unlink(path)
    finally:
        env.stop()


if __name__ == "__main__":
    main()
