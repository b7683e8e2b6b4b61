#!/usr/bin/env python3
"""Fast games through the engine binary, counting losses on time.

A benchmark, not a test: the answer depends on the machine and its load.
It plays the engine against itself (both sides with the same thread count)
or against an xboard peer such as phalanx, and reports the games, the time
forfeits and every warning of the match runner (an unreadable info line,
an illegal move, a stalled or lost engine).

    scripts/time_forfeits.py --tc 1+0.01 --threads 8 --games 100
    scripts/time_forfeits.py --tc 0.5+0.005 --threads 4 --games 100
    scripts/time_forfeits.py --tc 1+0.01 --threads 4 --games 20 --peer /usr/games/phalanx
    scripts/time_forfeits.py --latency --latency-threads 1 4 8 --movetime 50

Self-play uses fastchess and the peer games cutechess-cli from --runners
(default ../shared/runners next to the checkout, or $BRAKKEN_RUNNERS); without
fastchess, self-play falls back to a small driver of its own that keeps the
clocks itself. Exits 1 when a game was lost on time, 2 on a runner warning.
"""
import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Short, common openings, so that the games do not all repeat one another.
OPENINGS = [
    "e4 e5 Nf3 Nc6 Bb5", "e4 c5 Nf3 d6", "e4 e6 d4 d5", "e4 c6 d4 d5", "d4 d5 c4 e6",
    "d4 Nf6 c4 g6", "d4 Nf6 c4 e6 Nc3 Bb4", "c4 e5", "Nf3 d5 g3", "e4 d5 exd5 Qxd5",
    "e4 e5 Nf3 Nc6 Bc4 Bc5", "d4 d5 c4 c6", "e4 c5 Nc3 Nc6", "d4 f5", "e4 g6 d4 Bg7",
    "b3 e5 Bb2 Nc6",
]

WARNING = re.compile(r"warn|could not|illegal|disconnect|stall|crash", re.IGNORECASE)


def seconds_of(tc):
    base, _, inc = tc.partition("+")
    return float(base), float(inc or 0)


def write_openings(directory):
    path = os.path.join(directory, "openings.pgn")
    with open(path, "w") as f:
        for i, line in enumerate(OPENINGS):
            words = line.split()
            moves = " ".join(("%d. " % (j // 2 + 1) if j % 2 == 0 else "") + w for j, w in enumerate(words))
            f.write('[Event "opening %d"]\n[Result "*"]\n\n%s *\n\n' % (i + 1, moves))
    return path


FINISHED = re.compile(r"Finished game \d+ \((.*) vs (.*)\): \S+ \{(White|Black)")


def loser(line):
    """The name of the side that lost the finished game of line."""
    m = FINISHED.match(line)
    if not m:
        return ""
    return m.group(1) if m.group(3) == "White" else m.group(2)


def run_runner(command, log_path):
    started = time.time()
    with open(log_path, "w") as log:
        # fastchess leaves its settings file in the working directory.
        process = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                 errors="replace", cwd=os.path.dirname(log_path))
        log.write(process.stdout)
    finished = [l for l in process.stdout.splitlines() if l.startswith("Finished game")]
    forfeits = [l for l in finished if "on time" in l and loser(l).startswith("brakken")]
    others = [l for l in finished if "on time" in l and not loser(l).startswith("brakken")]
    if others:
        print("the peer lost %d games on time" % len(others))
    warnings = [l for l in process.stdout.splitlines()
                if WARNING.search(l) and "opening" not in l.lower() and not l.startswith("Finished game")
                and not re.match(r"\s*Crashed: 0$", l)]
    return len(finished), forfeits, warnings, time.time() - started


def fastchess_match(args, runners, work):
    engine = os.path.abspath(args.engine)
    option = "option.NumberOfProcessors=%d" % args.threads
    command = [os.path.join(runners, "fastchess"),
               "-engine", "cmd=" + engine, "name=brakken-a", option,
               "-engine", "cmd=" + engine, "name=brakken-b", option,
               "-each", "tc=" + args.tc,
               "-openings", "file=" + write_openings(work), "format=pgn", "order=random",
               "-rounds", str((args.games + 1) // 2), "-games", "2", "-repeat",
               "-concurrency", str(args.concurrency),
               "-pgnout", "file=" + os.path.join(work, "games.pgn")]
    return run_runner(command, os.path.join(work, "runner.log"))


def cutechess_match(args, runners, work):
    engine = os.path.abspath(args.engine)
    command = [os.path.join(runners, "cutechess-cli"),
               "-engine", "cmd=" + engine, "name=brakken", "proto=uci",
               "option.NumberOfProcessors=%d" % args.threads,
               "-engine", "cmd=" + args.peer, "name=" + os.path.basename(args.peer), "proto=xboard",
               "-each", "tc=" + args.tc,
               "-openings", "file=" + write_openings(work), "format=pgn", "order=random",
               "-games", str(args.games), "-repeat", "-concurrency", str(args.concurrency),
               "-pgnout", os.path.join(work, "games.pgn")]
    return run_runner(command, os.path.join(work, "runner.log"))


class Engine:
    def __init__(self, path, threads):
        self.p = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1,
                                  errors="replace")
        self.send("uci")
        self.until("uciok")
        self.send("setoption name NumberOfProcessors value %d" % threads)
        self.send("isready")
        self.until("readyok")

    def send(self, line):
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()

    def until(self, prefix):
        while True:
            line = self.p.stdout.readline()
            if not line:
                raise RuntimeError("engine ended")
            if line.startswith(prefix):
                return line.split()

    def close(self):
        self.send("quit")
        self.p.wait(timeout=10)


def own_match(args, _runners, _work):
    """Self-play without a runner: the clocks are kept here, the game ends
    after 200 plies or when the engine has no move (no adjudication)."""
    base, inc = seconds_of(args.tc)
    forfeits, finished, started = [], 0, time.time()
    for game in range(args.games):
        engines = [Engine(args.engine, args.threads), Engine(args.engine, args.threads)]
        clock = [base * 1000.0, base * 1000.0]
        moves = []  # from the start position: the openings are SAN, which this driver does not read
        for ply in range(200):
            side = ply % 2
            e = engines[(side + game) % 2]
            e.send("position startpos" + (" moves " + " ".join(moves) if moves else ""))
            t0 = time.monotonic()
            e.send("go wtime %d btime %d winc %d binc %d" % (clock[0], clock[1], inc * 1000, inc * 1000))
            answer = e.until("bestmove")
            clock[side] -= (time.monotonic() - t0) * 1000.0
            if clock[side] <= 0:
                forfeits.append("game %d ply %d: %s loses on time" % (game + 1, ply, "white" if side == 0 else "black"))
                break
            clock[side] += inc * 1000.0
            if len(answer) < 2 or answer[1] == "0000":
                break
            moves.append(answer[1])
        for e in engines:
            e.close()
        finished += 1
    return finished, forfeits, [], time.time() - started


def latency(args):
    """The time from the hard limit to the "bestmove" line, as the pipe sees
    it: searches of "go movetime N" (hard limit N) from a few positions."""
    moves = "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7".split()
    for threads in args.latency_threads:
        e = Engine(args.engine, threads)
        late = []
        for i in range(args.searches):
            e.send("position startpos moves " + " ".join(moves[:i % len(moves)]))
            e.send("isready")
            e.until("readyok")
            t0 = time.monotonic()
            e.send("go movetime %d" % args.movetime)
            e.until("bestmove")
            late.append((time.monotonic() - t0) * 1000.0 - args.movetime)
        e.close()
        late.sort()
        n = len(late)
        print("%d threads, go movetime %d, %d searches: bestmove after the hard limit median %+.1f ms, "
              "90%% %+.1f ms, max %+.1f ms, %d later than 5 ms"
              % (threads, args.movetime, n, late[n // 2], late[int(n * 0.9)], late[-1], sum(1 for x in late if x > 5)))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--engine", default=os.path.join(ROOT, "build", "brakken"))
    parser.add_argument("--tc", default="1+0.01", help="seconds+increment, e.g. 0.5+0.005")
    parser.add_argument("--threads", type=int, default=8, help="NumberOfProcessors of our engine")
    parser.add_argument("--games", type=int, default=100)
    parser.add_argument("--concurrency", type=int, default=1)
    parser.add_argument("--peer", help="an xboard engine to play instead of self-play")
    parser.add_argument("--runners", default=os.environ.get("BRAKKEN_RUNNERS",
                                                            os.path.join(ROOT, "..", "shared", "runners")))
    parser.add_argument("--keep", help="directory for the PGN and the runner's log")
    parser.add_argument("--latency", action="store_true",
                        help="measure the time from the hard limit to bestmove instead of playing games")
    parser.add_argument("--latency-threads", type=int, nargs="+", default=[1, 4, 8])
    parser.add_argument("--movetime", type=int, default=50)
    parser.add_argument("--searches", type=int, default=50)
    args = parser.parse_args()
    if args.latency:
        load = os.getloadavg()
        latency(args)
        print("load average before %.1f %.1f %.1f, after %.1f %.1f %.1f (%d cores)"
              % (load + os.getloadavg() + (os.cpu_count(),)))
        return 0

    work = args.keep or tempfile.mkdtemp(prefix="brakken-forfeits-")
    os.makedirs(work, exist_ok=True)
    if args.peer:
        match, how = cutechess_match, "cutechess-cli"
    elif os.access(os.path.join(args.runners, "fastchess"), os.X_OK):
        match, how = fastchess_match, "fastchess"
    else:
        match, how = own_match, "own driver"
    load = os.getloadavg()
    games, forfeits, warnings, seconds = match(args, args.runners, work)
    print("%s, tc %s, %d threads%s, concurrency %d: %d games in %.0f s, %d lost on time, %d runner warnings"
          % (how, args.tc, args.threads, " vs " + args.peer if args.peer else " each side", args.concurrency,
             games, seconds, len(forfeits), len(warnings)))
    print("load average before %.1f %.1f %.1f, after %.1f %.1f %.1f (%d cores); files in %s"
          % (load + os.getloadavg() + (os.cpu_count(), work)))
    for line in forfeits:
        print("  " + line)
    # Warnings by kind: the text without the move and the engine it names.
    kinds = {}
    for line in warnings:
        kind = re.sub(r" - move \S+ from \S+| from \S+$", "", line)
        kinds[kind] = kinds.get(kind, 0) + 1
    for kind, count in sorted(kinds.items(), key=lambda k: -k[1])[:20]:
        print("  %5d x %s" % (count, kind))
    return 1 if forfeits else 2 if warnings else 0


if __name__ == "__main__":
    sys.exit(main())
