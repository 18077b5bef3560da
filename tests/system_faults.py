#!/usr/bin/python3
"""Runs a program on a system that fails chosen calls, by a seccomp filter:

  system_faults.py [--no-unnamed-files] [--flock ERRNO] [--stat ERRNO] [--fail CALL=ERRNO]... PROGRAM [ARG...]

--no-unnamed-files  openat with O_TMPFILE fails with EOPNOTSUPP, as NFS and
                    FAT make it fail
--flock ERRNO       every flock fails so (ENOLCK: NFS without a lock manager)
--stat ERRNO        every stat of a name, links followed, fails so (EIO: a
                    failing disk); fstat, lstat and fstatat of a folder's
                    entry without following links still work
--fail CALL=ERRNO   every CALL fails so (link=EPERM, linkat=EPERM: a file
                    system without hard links, as FAT is)
"""
import errno
import os
import sys

import seccomp

rules = seccomp.SyscallFilter(defaction=seccomp.ALLOW)
args = sys.argv[1:]
while args and args[0].startswith("--"):
    option = args.pop(0)
    if option == "--no-unnamed-files":
        rules.add_rule(seccomp.ERRNO(errno.EOPNOTSUPP), "openat",
                       seccomp.Arg(2, seccomp.MASKED_EQ, os.O_TMPFILE, os.O_TMPFILE))
    elif option == "--flock":
        rules.add_rule(seccomp.ERRNO(getattr(errno, args.pop(0))), "flock")
    elif option == "--stat":
        code = getattr(errno, args.pop(0))
        rules.add_rule(seccomp.ERRNO(code), "stat")
        rules.add_rule(seccomp.ERRNO(code), "newfstatat", seccomp.Arg(3, seccomp.EQ, 0))
    elif option == "--fail":
        call, code = args.pop(0).split("=")
        rules.add_rule(seccomp.ERRNO(getattr(errno, code)), call)
    else:
        sys.exit("system_faults.py: unknown option " + option)
rules.load()
os.execv(args[0], args)
