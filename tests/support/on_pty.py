#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal, as an operator's terminal would, writes everything it drew
to standard output byte for byte, and exits with the command's exit status.

    on_pty.py PROGRAM [ARG...]
"""
import os
import pty
import sys

pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
raw = b""
while True:
    try:
        chunk = os.read(fd, 65536)
    except OSError:  # the terminal's other side closed: the command has ended
        break
    if not chunk:
        break
    raw += chunk
_, status = os.waitpid(pid, 0)
sys.stdout.buffer.write(raw)
sys.exit(os.waitstatus_to_exitcode(status))
