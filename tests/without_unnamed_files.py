#!/usr/bin/python3
"""Runs a program as on a file system that cannot create unnamed files:
openat with O_TMPFILE fails with EOPNOTSUPP, as NFS and FAT make it fail.
Each --fail CALL=ERRNO makes that system call fail too, as --fail
link=EPERM --fail linkat=EPERM does on FAT, which has no hard links.

  without_unnamed_files.py [--fail CALL=ERRNO]... PROGRAM [ARG...]
"""
import errno
import os
import sys

import seccomp

rules = seccomp.SyscallFilter(defaction=seccomp.ALLOW)
rules.add_rule(seccomp.ERRNO(errno.EOPNOTSUPP), "openat", seccomp.Arg(2, seccomp.MASKED_EQ, os.O_TMPFILE, os.O_TMPFILE))
args = sys.argv[1:]
while args[0] == "--fail":
    call, name = args[1].split("=")
    rules.add_rule(seccomp.ERRNO(getattr(errno, name)), call)
    args = args[2:]
rules.load()
os.execv(args[0], args)
