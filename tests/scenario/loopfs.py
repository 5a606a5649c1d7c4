"""A folder served by a small FUSE file system in which one subfolder is a folder above it, as a share that follows
the server's links shows a link to a folder above: a plain folder, no link to be seen, whose identity (its inode
number, what Windows calls the file index) is that of the folder it leads to. Every path through it leads on without
end: "Maker/Line/Again/Line/Again/fixture.stl" is "Maker/fixture.stl".

    with LoopingFolder(path, {"index.db": b"...", "Maker/Line/deep.stl": b"..."}, loop="Maker/Line/Again", to="Maker"):
        ...

The loop leads at least two levels up: Wine takes a folder whose ".." has its own identity for a mount point and
reports it as a reparse point, as Windows reports a link.
"""
import errno
import os
import stat
from pathlib import Path

from fusepy import FuseOSError, Operations

from faultyfs import mount, unmount

MTIME = 1258502400 * 10**9  # 2009-11-18, in nanoseconds (use_ns)


class _Operations(Operations):
    use_ns = True

    def __init__(self, files: dict, loop: str, to: str):
        self.files = files
        self.loop, self.to = loop, to
        self.loop_parent, _, self.loop_name = loop.rpartition("/")
        self.folders = {""} | {name.rpartition("/")[0] for name in files}
        for folder in list(self.folders):
            while folder:
                folder = folder.rpartition("/")[0]
                self.folders.add(folder)
        self.inodes = {}

    def _canonical(self, path: str) -> str:
        """The path with every step through the loop taken as the step to the folder it leads to."""
        parts = []
        for part in filter(None, path.strip("/").split("/")):
            parts.append(part)
            if "/".join(parts) == self.loop:
                parts = self.to.split("/")
        return "/".join(parts)

    def _inode(self, canonical: str) -> int:
        return self.inodes.setdefault(canonical, len(self.inodes) + 2)

    def getattr(self, path, fh=None):
        name = self._canonical(path)
        times = {"st_mtime": MTIME, "st_ctime": MTIME, "st_atime": MTIME, "st_ino": self._inode(name)}
        if name in self.folders:
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2, **times}
        if name in self.files:
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": len(self.files[name]), **times}
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        name = self._canonical(path)
        prefix = name + "/" if name else ""
        entries = {child[len(prefix):].split("/")[0] for child in (*self.files, *self.folders)
                   if child.startswith(prefix) and child != name}
        if name == self.loop_parent:
            entries.add(self.loop_name)
        return [".", ".."] + sorted(entries)

    def open(self, path, flags):
        if self._canonical(path) not in self.files:
            raise FuseOSError(errno.ENOENT)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return 0

    def read(self, path, size, offset, fh):
        return self.files[self._canonical(path)][offset:offset + size]


class LoopingFolder:
    def __init__(self, mountpoint: Path, files: dict, loop: str, to: str):
        self.mountpoint = Path(mountpoint)
        self.operations = _Operations(files, loop, to)
        self._thread = None

    def __enter__(self):
        # use_ino: the kernel reports the inode numbers given here, so the two paths show one folder.
        self._thread = mount(self.operations, self.mountpoint, use_ino=True)
        return self

    def __exit__(self, *exc):
        unmount(self.mountpoint, self._thread)
        return False
