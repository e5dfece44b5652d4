#!/usr/bin/env python3
"""Runs a test command with pseudo-terminals it can use as COM ports.

Wine makes a COM port of any dosdevices link "comN" that points at a serial
device, but the test's Wine prefix only exists once the command runs. So this
opens the pseudo-terminal pairs first, keeps them open for the whole run,
hands their slave paths to the test (VELQUIN_PTYS, separated by ':'), and
creates the links the test asks for by dropping "<name>.req" files (link path
and target, one per line) into VELQUIN_PTY_REQUESTS; each is answered with
"<name>.done" ("ok" or the reason it was refused).

    pty_runner.py COUNT COMMAND [ARGS...]
"""
import os
import pty
import subprocess
import sys
import tempfile
import threading
import time


def answer_requests(folder, slaves, stop):
    while not stop.is_set():
        for name in sorted(os.listdir(folder)):
            if name.endswith(".req"):
                handle_request(os.path.join(folder, name), slaves)
        time.sleep(0.02)


def handle_request(path, slaves):
    with open(path) as request:
        lines = request.read().splitlines()
    outcome = "ok"
    if len(lines) != 2:
        outcome = "malformed request"
    else:
        link, target = lines
        # Only links to our own terminals, and only inside a Wine prefix.
        if target not in slaves:
            outcome = "target is not one of the runner's terminals"
        elif os.path.basename(os.path.dirname(link)) != "dosdevices":
            outcome = "link is not in a dosdevices folder"
        else:
            try:
                if os.path.lexists(link):
                    os.unlink(link)
                os.symlink(target, link)
            except OSError as error:
                outcome = str(error)
    done = path[:-len(".req")] + ".done"
    with open(done + ".tmp", "w") as reply:
        reply.write(outcome)
    os.rename(done + ".tmp", done)
    os.unlink(path)


def main():
    count = int(sys.argv[1])
    command = sys.argv[2:]
    pairs = [pty.openpty() for _ in range(count)]
    slaves = [os.ttyname(slave) for _, slave in pairs]
    with tempfile.TemporaryDirectory(prefix="velquin-pty-") as folder:
        env = dict(os.environ, VELQUIN_PTYS=":".join(slaves), VELQUIN_PTY_REQUESTS=folder)
        stop = threading.Event()
        worker = threading.Thread(target=answer_requests, args=(folder, slaves, stop), daemon=True)
        worker.start()
        try:
            result = subprocess.run(command, env=env).returncode
        finally:
            stop.set()
            worker.join(timeout=5)
            for master, slave in pairs:
                os.close(master)
                os.close(slave)
    # A command killed by a signal reports as a shell would, never as success.
    return result if result >= 0 else 128 - result


if __name__ == "__main__":
    sys.exit(main())
