#!/usr/bin/python3
"""Mounts a file system at MOUNTPOINT whose writes never return.

It stands for a network share mounted "hard" whose server has gone, or a FUSE
file system that hangs: files can be made, opened and looked at, but a write
waits in the kernel for an answer that does not come, and no signal but a
fatal one ends it. Making a file named "release" lets every write fail, so
that the writers left waiting can end. The daemon runs in the foreground
until it is killed.
"""

import errno
import stat
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations


class StallingFs(Operations):
    def __init__(self):
        self.sizes = {}
        self.released = threading.Event()

    def getattr(self, path, fh=None):
        now = time.time()
        times = dict(st_atime=now, st_mtime=now, st_ctime=now)
        if path == "/":
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2, **times)
        if path in self.sizes:
            return dict(st_mode=stat.S_IFREG | 0o644, st_nlink=1, st_size=self.sizes[path], **times)
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", ".."] + [name[1:] for name in self.sizes]

    def create(self, path, mode, fi=None):
        self.sizes[path] = 0
        if path == "/release":
            self.released.set()
        return 0

    def open(self, path, flags):
        return 0

    def truncate(self, path, length, fh=None):
        self.sizes[path] = length

    def write(self, path, data, offset, fh):
        self.released.wait()  # no answer until released, and then a failure
        raise FuseOSError(errno.EIO)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: stalling_fs.py MOUNTPOINT")
    FUSE(StallingFs(), sys.argv[1], foreground=True)
