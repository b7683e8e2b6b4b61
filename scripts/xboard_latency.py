#!/usr/bin/env python3
"""Measures the xboard front end's reaction times through pipes, as an
interface sees them: from "usermove" to the first thinking line (the search
has started and finished its first iteration) and from "?" to the "move"
line. Usage: scripts/xboard_latency.py [engine binary] [rounds]"""
import os
import select
import statistics
import subprocess
import sys
import time

binary = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build", "brakken")
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 50

engine = subprocess.Popen([binary], stdin=subprocess.PIPE, stdout=subprocess.PIPE, bufsize=0)
pending = b""


def send(line):
    engine.stdin.write((line + "\n").encode())


def read_line(timeout=10.0):
    global pending
    deadline = time.monotonic() + timeout
    while b"\n" not in pending:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([engine.stdout], [], [], left)[0]:
            raise SystemExit("no answer from the engine")
        chunk = os.read(engine.stdout.fileno(), 65536)
        if not chunk:
            raise SystemExit("the engine ended")
        pending += chunk
    line, pending = pending.split(b"\n", 1)
    return line.decode(errors="replace")


def wait_for(predicate, timeout=10.0):
    while True:
        line = read_line(timeout)
        if predicate(line):
            return line


def is_thinking(line):
    words = line.split()
    return len(words) >= 4 and all(w.lstrip("-").isdigit() for w in words[:4])


send("xboard")
send("protover 2")
wait_for(lambda l: l == "feature done=1")
start_latency, move_latency = [], []
for i in range(rounds):
    send("new")
    send("post")
    send("level 40 5 0")
    send("ping %d" % i)
    wait_for(lambda l: l == "pong %d" % i)
    t0 = time.monotonic()
    send("usermove e2e4")
    wait_for(is_thinking)
    start_latency.append((time.monotonic() - t0) * 1000)
    time.sleep(0.1)
    t0 = time.monotonic()
    send("?")
    wait_for(lambda l: l.startswith("move "))
    move_latency.append((time.monotonic() - t0) * 1000)
send("quit")
engine.wait(10)


def summary(name, values):
    values = sorted(values)
    print("%-28s median %6.2f ms  90%% %6.2f ms  max %6.2f ms  (%d rounds)" %
          (name, statistics.median(values), values[int(0.9 * (len(values) - 1))], values[-1], len(values)))


summary("usermove -> first thinking", start_latency)
summary("? -> move", move_latency)
