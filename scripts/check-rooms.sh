#!/usr/bin/env bash
# Fails when a source includes a header of a room it may not reach: the
# arrows between the host's rooms, gtk/ and the plug-in only point down
# (docs/ARCHITECTURE.md draws them). Prints the arrows it found, counted.
set -euo pipefail
cd "$(dirname "$0")/.."
python3 - <<'PY'
import pathlib, re, sys, collections

# Room -> the rooms its sources may include (besides their own).
allowed = {
    "host/common":  {"platform"},
    "host/cups":    {"host/common", "platform"},
    "host/inspect": {"host/common", "platform"},
    "host/engine":  {"host/cups", "host/common", "platform"},
    "host/cli":     {"host/engine", "host/inspect", "host/cups", "host/common", "platform"},
    "gtk/lib":      {"gtk/lib", "host/engine", "host/cups", "host/common", "platform"},
    "gtk/program":  {"gtk/lib", "host/cli", "host/engine", "host/inspect", "host/cups",
                     "host/common", "platform"},
    "platform":     {"platform"},
}
# The GTK program's own files (command line, scaffolding for tests); the
# rest of gtk/ is the library the program and the tests link.
gtk_program = {"agent_main.cpp", "agent_main.h", "dialog_main.cpp", "print_window_script.cpp", "print_window_script.h",
               "screenshot_session.cpp", "screenshot_session.h"}

def room_of_source(path):
    parts = path.parts
    if parts[0] == "host":
        return "host/" + parts[1]
    if parts[0] == "gtk":
        return "gtk/program" if path.name in gtk_program else "gtk/lib"
    if parts[0] == "platform":
        return "platform"
    return None

def room_of_include(name):
    parts = pathlib.PurePosixPath(name).parts
    if parts[0] == "host" and len(parts) > 2:
        return "host/" + parts[1]
    if parts[0] == "gtk":
        return "gtk/program" if parts[-1] in gtk_program else "gtk/lib"
    if parts[0] == "platform":
        return "platform"
    if parts[0] in ("pde", "ticket", "ui", "prefs", "device"):
        return "plug-in"
    return None

arrows = collections.Counter()
bad = []
for folder in ("host", "gtk", "platform"):
    for path in sorted(pathlib.Path(folder).rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        room = room_of_source(path)
        for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
            if not m:
                continue
            target = room_of_include(m.group(1))
            if target is None or target == room:
                continue
            arrows[(room, target)] += 1
            if target not in allowed.get(room, set()):
                bad.append(f"{path}:{number}: {room} may not include {m.group(1)} ({target})")
for (source, target), count in sorted(arrows.items()):
    print(f"  {source:12} -> {target:12} {count}")
if bad:
    print("check-rooms: includes against the arrows:", file=sys.stderr)
    print("\n".join(bad), file=sys.stderr)
    sys.exit(1)
print("check-rooms: every include points down")
PY
