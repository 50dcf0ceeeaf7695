#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""jobwick beside the programs a user would otherwise run, side by side.

Starts a private CUPS scheduler (its own folder, a free loopback port, the
queues written into printers.conf before it starts and stopped, so that
jobs wait and no filter runs), the printer simulator for a large folder
list, and times, alternating the commands compared in every round:

  jobwick print --settings T   against  lp -o ... with the same options
  the same on a queue whose PPD has 5k options
  jobwick print with 50k cached folders  against the same print with none
  jobwick queues               against  lpstat -v, with 500 queues
  jobwick folders (50k folders): peak RSS
  jobwick dialog showing a queue  against  GTK's print dialog alone showing it
                               (with a DISPLAY, and plain_print_dialog built)

Every figure is the CPU time (user + system, from wait4's rusage) of the
child, shown as median [min-max] over the rounds, with the wall time
beside it; the goals are ratios of CPU-time medians, so that a busy machine
does not decide them. Exit status 1 when a goal is missed, 2 when the
scheduler or a tool is missing.

Usage: peers.py BUILD_DIR [--quick] [--prints] [--folders-only]
  --prints        only the prints beside lp (the sample PPD and the 5k-option one)
  --folders-only  only the folder cache's figures: the print with 50k cached
                  folders beside the print with none, and the 50k-folder fetch
"""

import json
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIME = "/usr/bin/time"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def run_measured(argv, env):
    """Runs argv; answers (cpu seconds, wall seconds, max RSS KiB, status, out, err).

    Through GNU time, which forks it: a process started from this
    interpreter would keep the interpreter's peak RSS as its own across
    exec. The CPU time is wait4's for time and its child (time's own is a
    fraction of a millisecond), the peak RSS the child's, as time reports it."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile("r") as rss:
        program = argv[0] if os.sep in argv[0] else shutil.which(argv[0]) or argv[0]
        actions = [(os.POSIX_SPAWN_OPEN, 0, os.devnull, os.O_RDONLY, 0),
                   (os.POSIX_SPAWN_DUP2, out.fileno(), 1), (os.POSIX_SPAWN_DUP2, err.fileno(), 2)]
        timed = [TIME, "-q", "-f", "%M", "-o", rss.name, program] + list(argv[1:])
        start = time.monotonic()
        pid = os.posix_spawn(TIME, timed, env, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        wall = time.monotonic() - start
        out.seek(0)
        err.seek(0)
        lines = rss.read().split()
        return (usage.ru_utime + usage.ru_stime, wall, int(lines[-1]) if lines else 0,
                os.waitstatus_to_exitcode(status), out.read().decode(errors="replace"),
                err.read().decode(errors="replace"))


class Scheduler:
    """A cupsd of its own in `folder` with the queues given, all stopped."""

    def __init__(self, folder, queues):
        self.folder = folder
        self.port = free_port()
        for sub in ("etc/ppd", "spool/tmp", "cache", "state", "log", "bin"):
            os.makedirs(os.path.join(folder, sub), exist_ok=True)
        for sub in ("backend", "cgi-bin", "daemon", "filter", "monitor", "notifier"):
            os.symlink(os.path.join("/usr/lib/cups", sub), os.path.join(folder, "bin", sub))
        os.makedirs(os.path.join(folder, "bin/driver"))
        f = folder
        with open(os.path.join(f, "etc/cupsd.conf"), "w") as conf:
            conf.write(f"Listen 127.0.0.1:{self.port}\nBrowsing No\nWebInterface No\n"
                       "MaxJobs 0\nPreserveJobHistory No\nPreserveJobFiles No\nLogLevel warn\n"
                       "DefaultAuthType None\n<Location />\n  Order allow,deny\n"
                       "  Allow 127.0.0.1\n</Location>\n<Policy default>\n  <Limit All>\n"
                       "    Order deny,allow\n  </Limit>\n</Policy>\n")
        with open(os.path.join(f, "etc/cups-files.conf"), "w") as conf:
            conf.write(f"ServerRoot {f}/etc\nServerBin {f}/bin\nRequestRoot {f}/spool\n"
                       f"TempDir {f}/spool/tmp\nCacheDir {f}/cache\nStateDir {f}/state\n"
                       f"AccessLog {f}/log/access_log\nErrorLog {f}/log/error_log\n"
                       f"PageLog {f}/log/page_log\nPrintcap {f}/printcap\n"
                       "FileDevice Yes\nSandboxing Relaxed\nSystemGroup root\n")
        with open(os.path.join(f, "etc/printers.conf"), "w") as conf:
            for name, ppd in queues:
                shutil.copyfile(ppd, os.path.join(f, "etc/ppd", name + ".ppd"))
                conf.write(f"<Printer {name}>\nInfo {name}\nMakeModel Bench\nState Stopped\n"
                           "StateMessage held for the benchmark\nAccepting Yes\nShared No\n"
                           "DeviceURI file:///dev/null\n</Printer>\n")
        etc = os.path.join(f, "etc")
        self.process = subprocess.Popen(
            ["timeout", "-k", "5", "1800", "/usr/sbin/cupsd", "-f", "-c", etc + "/cupsd.conf",
             "-s", etc + "/cups-files.conf"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.server = f"127.0.0.1:{self.port}"

    def wait(self):
        # With 500 queues the scheduler reads every PPD before it listens.
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return False
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.2):
                    return True
            except OSError:
                time.sleep(0.1)
        return False

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class Figures:
    def __init__(self):
        self.failed = []

    @staticmethod
    def spread(values, scale=1000.0, unit="ms"):
        v = [x * scale for x in values]
        return f"{statistics.median(v):8.1f} {unit} [{min(v):.1f}-{max(v):.1f}]"

    def show(self, name, runs):
        cpu = [r[0] for r in runs]
        wall = [r[1] for r in runs]
        rss = max(r[2] for r in runs) / 1024.0
        print(f"  {name:<44} cpu {self.spread(cpu)}  wall {self.spread(wall)}  "
              f"peak RSS {rss:.1f} MiB")

    def check(self, name, value, limit, unit="x"):
        ok = value <= limit
        if not ok:
            self.failed.append(name)
        print(f"  {name:<56} {value:8.2f}{unit}  (goal <= {limit}{unit})  {'ok' if ok else 'FAIL'}")


def side_by_side(rounds, commands):
    """Runs every command once per round, in turn; answers their runs.

    A command is (argv, env) or (argv, env, statuses it may end with)."""
    runs = {name: [] for name in commands}
    for _ in range(rounds):
        for name, (argv, env, *statuses) in commands.items():
            result = run_measured(argv, env)
            if result[3] not in (statuses[0] if statuses else (0,)):
                raise RuntimeError(f"{name}: {' '.join(argv)} exited {result[3]}: {result[5][-400:]}")
            runs[name].append(result)
    return runs


def median_cpu(runs):
    return statistics.median(r[0] for r in runs)


def ppd_with_options(count):
    with open(os.path.join(SOURCE, "examples/ppd/vk7300.ppd")) as f:
        text = f.read()
    if not text.endswith("\n"):
        text += "\n"
    parts = [text]
    for i in range(count):
        name = f"BenchOpt{i}"
        parts.append(f"*OpenUI *{name}/Bench Option {i}: PickOne\n*Default{name}: Off\n"
                     f"*{name} Off/Off: \"\"\n*{name} On/On: \"\"\n*CloseUI: *{name}\n")
    return "".join(parts)


def fetch_folders(build, scratch, env, count, prefs):
    """Caches `count` folders for printer Vk7300 with `jobwick folders`; answers its run."""
    listing = os.path.join(scratch, "folders.json")
    with open(listing, "w") as f:
        json.dump([{"name": f"Folder {i}", "password": i % 3 == 0} for i in range(count)], f)
    simulator = subprocess.Popen(
        [sys.executable, os.path.join(SOURCE, "tests/tools/printer_simulator.py"), "--folders",
         listing, "--lifetime", "300"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        port = simulator.stdout.readline().split()[1]
        return run_measured(
            [os.path.join(build, "host/jobwick"), "folders", "--address", f"127.0.0.1:{port}",
             "--printer-id", "Vk7300", "--ppd", os.path.join(SOURCE, "examples/ppd/vk7300.ppd"),
             "--prefs-dir", prefs], env)
    finally:
        simulator.terminate()
        simulator.wait()


def compare_dialogs(build, rounds, env, document, prefs, figures):
    """The print dialog with the panel against GTK's alone, each from its
    start to showing queue Vk7300, then Cancel: on the DISPLAY given (the
    bench's Xvfb), both through GTK's CUPS backend on the private scheduler."""
    dialog = os.path.join(build, "gtk/jobwick-dialog")
    plain = os.path.join(build, "bench/plain_print_dialog")
    if not os.environ.get("DISPLAY") or not os.path.exists(dialog) or not os.path.exists(plain):
        print("  (no DISPLAY or no GTK programs: the dialogs are not compared)")
        return
    gtk_env = dict(env, GDK_BACKEND="x11", GSK_RENDERER="cairo", NO_AT_BRIDGE="1",
                   DBUS_SESSION_BUS_ADDRESS="disabled:")
    # jobwick's dialog ends with status 1 when cancelled.
    runs = side_by_side(rounds, {
        "GTK print dialog alone, to queue shown": ([plain, "Vk7300"], gtk_env),
        "jobwick dialog, to queue shown": ([dialog, "dialog", document, "--printer", "Vk7300",
                                            "--cancel", "--prefs-dir", prefs], gtk_env, (1,)),
    })
    for name, measured in runs.items():
        figures.show(name, measured)
    figures.check("jobwick dialog / GTK print dialog alone",
                  median_cpu(runs["jobwick dialog, to queue shown"]) /
                  median_cpu(runs["GTK print dialog alone, to queue shown"]), 1.1)


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    build = os.path.abspath(sys.argv[1])
    quick = "--quick" in sys.argv[2:]
    folders_only = "--folders-only" in sys.argv[2:]
    prints_only = "--prints" in sys.argv[2:]
    rounds = 3 if quick else 11
    for tool in ("/usr/sbin/cupsd", shutil.which("lp"), shutil.which("lpstat"), TIME):
        if not tool or not os.path.exists(tool):
            print("peers.py: needs cupsd, lp, lpstat and GNU time (cups, cups-client, time)",
                  file=sys.stderr)
            return 2
    jobwick = os.path.join(build, "host/jobwick")
    scratch = tempfile.mkdtemp(prefix="jobwick-peers-")
    scheduler = None
    try:
        big = os.path.join(scratch, "options5k.ppd")
        with open(big, "w") as f:
            f.write(ppd_with_options(5000))
        sample = os.path.join(SOURCE, "examples/ppd/vk7300.ppd")
        queues = [("Vk7300", sample), ("Big5k", big)]
        queues += [(f"Many{i:03d}", sample) for i in range(498)]
        scheduler = Scheduler(os.path.join(scratch, "cupsd"), queues)
        if not scheduler.wait():
            print("peers.py: the private cupsd did not start", file=sys.stderr)
            return 2
        home = os.path.join(scratch, "home")
        os.makedirs(home)
        env = dict(os.environ, CUPS_SERVER=scheduler.server, HOME=home, LC_ALL="C.UTF-8",
                   JOBWICK_BUNDLE_DIR=os.path.join(build, "bundles"))
        env.pop("JOBWICK_PREFS_DIR", None)
        plain = os.path.join(scratch, "prefs-plain")
        cached = os.path.join(scratch, "prefs-cached")
        document = os.path.join(scratch, "doc.ps")
        with open(document, "w") as f:
            f.write("%!PS\n/Helvetica findfont 12 scalefont setfont\nshowpage\n")

        # The ticket a session saves (secrets included), then the same options for lp.
        ticket = os.path.join(scratch, "ticket.json")
        made = run_measured([jobwick, "print", document, "--printer", "Vk7300", "--session",
                             os.path.join(SOURCE, "examples/sessions/vk7300-round-trip.json"),
                             "--var", "PRINTER=127.0.0.1:9", "--save-settings", ticket,
                             "--dry-run", "--prefs-dir", plain], env)
        if made[3] != 0:
            print("peers.py: cannot make the ticket: " + made[5], file=sys.stderr)
            return 2
        with open(ticket) as f:
            settings = json.load(f)["settings"]
        lp_options = []
        for key, value in settings.items():
            lp_options += ["-o", f"{key}={value}"]

        figures = Figures()
        print(f"peers.py: {rounds} rounds, CPU time (user + system) median [min-max]")
        fetch = None if prints_only else fetch_folders(build, scratch, env, 50000, cached)
        if fetch and fetch[3] != 0:
            print("peers.py: the 50k-folder fetch failed: " + fetch[5][-400:], file=sys.stderr)
            return 2
        if fetch:
            figures.show("jobwick folders, 50k folders (one run)", [fetch])

        def print_job(queue, prefs):
            return ([jobwick, "print", document, "--printer", queue, "--settings", ticket,
                     "--allow-exposed-ticket", "--prefs-dir", prefs], env)

        def lp_job(queue):
            return (["lp", "-d", queue] + lp_options + [document], env)

        commands = {
            "lp": lp_job("Vk7300"),
            "jobwick print": print_job("Vk7300", plain),
            "jobwick print, 50k cached folders": print_job("Vk7300", cached),
            "lp, 5k-option PPD": lp_job("Big5k"),
            "jobwick print, 5k-option PPD": print_job("Big5k", plain),
            "lpstat -v, 500 queues": (["lpstat", "-v"], env),
            "jobwick queues, 500 queues": ([jobwick, "queues"], env),
        }
        if folders_only:
            commands = {name: command for name, command in commands.items()
                        if name.startswith("jobwick print") and "PPD" not in name}
        elif prints_only:
            for name in ("jobwick print, 50k cached folders", "lpstat -v, 500 queues",
                         "jobwick queues, 500 queues"):
                del commands[name]
        runs = side_by_side(rounds, commands)
        for name, measured in runs.items():
            figures.show(name, measured)

        print("goals (ratios of CPU-time medians):")
        if folders_only:
            figures.check("print with 50k cached folders / with none",
                          median_cpu(runs["jobwick print, 50k cached folders"]) /
                          median_cpu(runs["jobwick print"]), 1.3)
            figures.check("jobwick folders, 50k folders: peak RSS", fetch[2] / 1024.0, 100.0,
                          " MiB")
            return 1 if figures.failed else 0
        figures.check("jobwick print / lp", median_cpu(runs["jobwick print"]) /
                      median_cpu(runs["lp"]), 1.2)
        figures.check("jobwick print / lp, 5k-option PPD",
                      median_cpu(runs["jobwick print, 5k-option PPD"]) /
                      median_cpu(runs["lp, 5k-option PPD"]), 1.5)
        if prints_only:
            if figures.failed:
                print("peers.py: goals missed: " + ", ".join(figures.failed))
            return 1 if figures.failed else 0
        figures.check("print with 50k cached folders / with none",
                      median_cpu(runs["jobwick print, 50k cached folders"]) /
                      median_cpu(runs["jobwick print"]), 1.3)
        figures.check("jobwick queues / lpstat -v, 500 queues",
                      median_cpu(runs["jobwick queues, 500 queues"]) /
                      median_cpu(runs["lpstat -v, 500 queues"]), 1.5)
        figures.check("jobwick folders, 50k folders: peak RSS", fetch[2] / 1024.0, 100.0, " MiB")
        compare_dialogs(build, rounds, env, document, plain, figures)
        if figures.failed:
            print("peers.py: goals missed: " + ", ".join(figures.failed))
        return 1 if figures.failed else 0
    finally:
        if scheduler:
            scheduler.stop()
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
