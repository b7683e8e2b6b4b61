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
    scripts/time_forfeits.py --latency --latency-threads 1 4 8 --movetime 1000 100 --searches 24

Self-play uses fastchess and the peer games cutechess-cli. Each is looked
for in the runners folder (--runners, else $BRAKKEN_RUNNERS, else
../shared/runners beside the checkout) and then on PATH; the first line says
which driver plays and where it was found. Without fastchess, self-play falls
back to a small pipe driver of its own that keeps the clocks itself; peer
games need cutechess-cli. A peer named without a folder is looked for on PATH
and in /usr/games, where Debian puts the chess engines. The PGN and the
runner's log go to a temporary folder that is removed at the end, unless
--keep names a folder for them. Exits 1 when a game was lost on time (with
--latency: when an answer came at or after its move time), 2 on a
runner warning, 3 when something it needs (the engine, the peer, the
runner for peer games) is missing.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BESIDE_CHECKOUT = os.path.normpath(os.path.join(ROOT, "..", "shared", "runners"))
# Debian installs the chess engines there, and root's PATH often lacks it.
GAMES = "/usr/games"
MISSING = 3

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


class Missing(Exception):
    """Something the run needs is not there; the message says what to do."""


def runners_folder(args):
    """The folder to look in first and how messages name it."""
    if args.runners:
        return args.runners, "in --runners"
    if os.environ.get("BRAKKEN_RUNNERS"):
        return os.environ["BRAKKEN_RUNNERS"], "in $BRAKKEN_RUNNERS"
    return BESIDE_CHECKOUT, "beside the checkout"


def find_runner(name, args):
    """(path, where it was found) of the runner called name: the runners
    folder first, then PATH; (None, where it was looked for) when neither
    has it."""
    folder, label = runners_folder(args)
    path = os.path.join(folder, name)
    if os.path.isfile(path) and os.access(path, os.X_OK):
        return path, label
    path = shutil.which(name)
    if path:
        return path, "on PATH"
    return None, "%s (%s) or on PATH" % (label, folder)


def find_peer(peer):
    """The peer engine's path: as given when it names a folder, else from
    PATH or /usr/games."""
    if os.sep in peer:
        path = shutil.which(peer)
        if not path:
            raise Missing("peer %s is not an executable file" % peer)
        return os.path.abspath(path)
    path = shutil.which(peer, path=os.environ.get("PATH", os.defpath) + os.pathsep + GAMES)
    if not path:
        raise Missing("peer %s found neither on PATH nor in %s (apt-get install -y %s, if Debian has it)"
                      % (peer, GAMES, peer))
    return path


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
    # A runner that could not start (a missing library, say) plays nothing
    # and may print nothing the patterns above catch.
    if process.returncode != 0:
        last = process.stdout.strip().splitlines()[-1:] or ["no output"]
        warnings.append("%s exited with status %d: %s" % (os.path.basename(command[0]), process.returncode, last[0]))
    return len(finished), forfeits, warnings, time.time() - started


def fastchess_match(args, runner, work):
    engine = os.path.abspath(args.engine)
    option = "option.NumberOfProcessors=%d" % args.threads
    command = [runner,
               "-engine", "cmd=" + engine, "name=brakken-a", option,
               "-engine", "cmd=" + engine, "name=brakken-b", option,
               "-each", "tc=" + args.tc,
               "-openings", "file=" + write_openings(work), "format=pgn", "order=random",
               "-rounds", str((args.games + 1) // 2), "-games", "2", "-repeat",
               "-concurrency", str(args.concurrency),
               "-pgnout", "file=" + os.path.join(work, "games.pgn")]
    return run_runner(command, os.path.join(work, "runner.log"))


def cutechess_match(args, runner, work):
    engine = os.path.abspath(args.engine)
    command = [runner,
               "-engine", "cmd=" + engine, "name=brakken", "proto=uci",
               "option.NumberOfProcessors=%d" % args.threads,
               "-engine", "cmd=" + args.peer_path, "name=" + os.path.basename(args.peer), "proto=xboard",
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


def own_match(args, _runner, _work):
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
    """The time from "go movetime T" to the "bestmove" line, as the pipe
    sees it, against T: a fixed move time must be answered within it.
    Searches from a few positions; gives back the number of late answers."""
    moves = "e2e4 e7e5 g1f3 b8c6 f1b5 a7a6 b5a4 g8f6 e1g1 f8e7".split()
    late_in_all = 0
    for threads in args.latency_threads:
        for movetime in args.movetime:
            e = Engine(args.engine, threads)
            delays = []
            for i in range(args.searches):
                e.send("position startpos moves " + " ".join(moves[:i % len(moves)]))
                e.send("isready")
                e.until("readyok")
                t0 = time.monotonic()
                e.send("go movetime %d" % movetime)
                e.until("bestmove")
                delays.append((time.monotonic() - t0) * 1000.0)
            e.close()
            delays.sort()
            n = len(delays)
            late = sum(1 for x in delays if x >= movetime)
            late_in_all += late
            print("%d threads, go movetime %d, %d searches: bestmove after min %.1f ms, median %.1f ms, "
                  "90%% %.1f ms, max %.1f ms; %d at or after the move time"
                  % (threads, movetime, n, delays[0], delays[n // 2], delays[int(n * 0.9)], delays[-1], late))
    return late_in_all


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--engine", default=os.path.join(ROOT, "build", "brakken"))
    parser.add_argument("--tc", default="1+0.01", help="seconds+increment, e.g. 0.5+0.005")
    parser.add_argument("--threads", type=int, default=8, help="NumberOfProcessors of our engine")
    parser.add_argument("--games", type=int, default=100)
    parser.add_argument("--concurrency", type=int, default=1)
    parser.add_argument("--peer", help="an xboard engine to play instead of self-play")
    parser.add_argument("--runners", help="folder of fastchess and cutechess-cli, looked in before PATH "
                                          "(default $BRAKKEN_RUNNERS, else ../shared/runners beside the checkout)")
    parser.add_argument("--keep", help="folder for the PGN and the runner's log, kept after the run "
                                       "(without it they go to a temporary folder that is removed)")
    parser.add_argument("--latency", action="store_true",
                        help="measure the time from 'go movetime T' to bestmove against T instead of playing "
                             "games (exits 1 when an answer came at or after T)")
    parser.add_argument("--latency-threads", type=int, nargs="+", default=[1, 4, 8])
    parser.add_argument("--movetime", type=int, nargs="+", default=[1000, 100])
    parser.add_argument("--searches", type=int, default=50)
    args = parser.parse_args()
    try:
        return run(args)
    except Missing as e:
        print("time_forfeits.py: %s" % e, file=sys.stderr)
        return MISSING


def run(args):
    if not (os.path.isfile(args.engine) and os.access(args.engine, os.X_OK)):
        raise Missing("no engine at %s: build it first (cmake --build build --target brakken)" % args.engine)
    if args.latency:
        load = os.getloadavg()
        late = latency(args)
        print("load average before %.1f %.1f %.1f, after %.1f %.1f %.1f (%d cores)"
              % (load + os.getloadavg() + (os.cpu_count(),)))
        return 1 if late else 0

    if args.peer:
        args.peer_path = find_peer(args.peer)
        runner, where = find_runner("cutechess-cli", args)
        if not runner:
            raise Missing("games against a peer need cutechess-cli, none found %s; put it there, "
                          "name its folder with --runners, or play self-play without --peer" % where)
        match, how = cutechess_match, "cutechess-cli"
        print("driver: cutechess-cli at %s (%s); peer %s" % (runner, where, args.peer_path))
    else:
        runner, where = find_runner("fastchess", args)
        if runner:
            match, how = fastchess_match, "fastchess"
            print("driver: fastchess at %s (%s)" % (runner, where))
        else:
            match, how = own_match, "own pipe driver"
            print("driver: own pipe driver (no fastchess found %s)" % where)
    sys.stdout.flush()

    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        work = args.keep
    else:
        work = tempfile.mkdtemp(prefix="brakken-forfeits-")
    try:
        load = os.getloadavg()
        games, forfeits, warnings, seconds = match(args, runner, work)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    print("%s, tc %s, %d threads%s, concurrency %d: %d games in %.0f s, %d lost on time, %d runner warnings"
          % (how, args.tc, args.threads, " vs " + args.peer if args.peer else " each side", args.concurrency,
             games, seconds, len(forfeits), len(warnings)))
    print("load average before %.1f %.1f %.1f, after %.1f %.1f %.1f (%d cores)%s"
          % (load + os.getloadavg() + (os.cpu_count(),
                                       "; files in " + work if args.keep else "")))
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
