#!/usr/bin/python3
"""Runs a program as on a file system that cannot create unnamed files:
openat with O_TMPFILE fails with EOPNOTSUPP, as NFS and FAT make it fail.

  without_unnamed_files.py PROGRAM [ARG...]
"""
import errno
import os
import sys

import seccomp

rules = seccomp.SyscallFilter(defaction=seccomp.ALLOW)
rules.add_rule(seccomp.ERRNO(errno.EOPNOTSUPP), "openat", seccomp.Arg(2, seccomp.MASKED_EQ, os.O_TMPFILE, os.O_TMPFILE))
rules.load()
os.execv(sys.argv[1], sys.argv[1:])
