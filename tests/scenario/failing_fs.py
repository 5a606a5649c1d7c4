"""A read-only FUSE file system that serves a folder as it is, except that reads of the named files fail (EIO) past
a given offset: a scratched disc, whose files list with their full size and cannot be read to their end.

    python3 failing_fs.py BACKING MOUNTPOINT FAIL_AFTER NAME...

Runs in the foreground until the mount point is unmounted (umount, or fusermount -u when not root).
"""
import errno
import os
import sys

from fusepy import FUSE, FuseOSError, Operations


class FailingFs(Operations):
    def __init__(self, root, fail_after, names):
        self.root, self.fail_after, self.names = root, fail_after, set(names)

    def _path(self, path):
        return os.path.join(self.root, path.lstrip("/"))

    def getattr(self, path, fh=None):
        try:
            st = os.lstat(self._path(path))
        except FileNotFoundError:
            raise FuseOSError(errno.ENOENT)
        return {k: getattr(st, k) for k in ("st_mode", "st_nlink", "st_size", "st_uid", "st_gid", "st_atime",
                                            "st_mtime", "st_ctime")}

    def readdir(self, path, fh):
        return [".", ".."] + os.listdir(self._path(path))

    def read(self, path, size, offset, fh):
        if os.path.basename(path) in self.names and offset + size > self.fail_after:
            raise FuseOSError(errno.EIO)
        with open(self._path(path), "rb") as f:
            f.seek(offset)
            return f.read(size)

    def statfs(self, path):
        st = os.statvfs(self.root)
        return {k: getattr(st, k) for k in ("f_bavail", "f_bfree", "f_blocks", "f_bsize", "f_favail", "f_ffree",
                                            "f_files", "f_flag", "f_frsize", "f_namemax")}


if __name__ == "__main__":
    backing, mountpoint, fail_after, *names = sys.argv[1:]
    # Every read reaches this process, none is served from the page cache of an earlier run.
    FUSE(FailingFs(backing, int(fail_after), names), mountpoint, foreground=True, ro=True, direct_io=True)
