#!/usr/bin/python3
"""Mounts at MOUNTPOINT a file system, held in memory, whose writes can stall
or fail on demand, as a share whose server pauses or a disk that fills up.

While a file named ".stall" exists, every write waits for it to go; while a
file named ".full" exists, every write fails with ENOSPC. Both are made and
removed by the test, through the mount. The daemon runs in the foreground
until it is killed.
"""

import errno
import stat
import sys
import threading
import time

from fusepy import FUSE, FuseOSError, Operations

CONTROLS = ("/.stall", "/.full")


class FickleFs(Operations):
    def __init__(self):
        self.files = {}
        self.changed = threading.Condition()

    def getattr(self, path, fh=None):
        now = time.time()
        times = dict(st_atime=now, st_mtime=now, st_ctime=now)
        if path == "/":
            return dict(st_mode=stat.S_IFDIR | 0o755, st_nlink=2, **times)
        with self.changed:
            if path in self.files:
                size = len(self.files[path])
                return dict(st_mode=stat.S_IFREG | 0o644, st_nlink=1, st_size=size, **times)
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        with self.changed:
            return [".", ".."] + [name[1:] for name in self.files]

    def create(self, path, mode, fi=None):
        with self.changed:
            self.files[path] = bytearray()
            self.changed.notify_all()
        return 0

    def unlink(self, path):
        with self.changed:
            if path not in self.files:
                raise FuseOSError(errno.ENOENT)
            del self.files[path]
            self.changed.notify_all()

    def open(self, path, flags):
        return 0

    def read(self, path, size, offset, fh):
        with self.changed:
            return bytes(self.files[path][offset:offset + size])

    def truncate(self, path, length, fh=None):
        with self.changed:
            data = self.files[path]
            del data[length:]
            data.extend(bytes(length - len(data)))

    def write(self, path, data, offset, fh):
        with self.changed:
            self.changed.wait_for(lambda: "/.stall" not in self.files or path in CONTROLS)
            if "/.full" in self.files and path not in CONTROLS:
                raise FuseOSError(errno.ENOSPC)
            content = self.files[path]
            content[offset:offset + len(data)] = data
            return len(data)

    def flush(self, path, fh):
        return 0

    def release(self, path, fh):
        return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: fickle_fs.py MOUNTPOINT")
    FUSE(FickleFs(), sys.argv[1], foreground=True, nothreads=False)
