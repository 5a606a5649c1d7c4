"""Files served by a small FUSE file system, for what a real drive does and a plain folder cannot: a read that fails
part-way through a file (a scratched disc), a read that waits (a slow drive) until the test lets it go, and a folder
whose listing breaks off (a disc taken out, a bad sector in the folder's list).

    with FaultyFolder(path, {"a.dcm": Served(b"..."), "b.dcm": Served(b"...", hold=True)}) as folder:
        folder.files["b.dcm"].reached.wait(30)   # a program is reading it, and waits
        ...
        folder.files["b.dcm"].release()

Names are listed in the order given. Reads go straight to the file system (no page cache), so every read a program
makes reaches the file.

    FaultyFolder(path, files, listing_breaks=True)

lists the folder whole until a file of it has been read, and from then on fails every further step of a listing
(EIO): Wine reads a listing in portions, and enters the folder again (fchdir, which asks the file system) for each
one, so a program's listing breaks after the portion it holds. A count of the folder before the copy lists it whole;
the copy's own listing breaks.
"""
import errno
import os
import stat
import subprocess
import threading
import time
from pathlib import Path

from fusepy import FUSE, FuseOSError, Operations

MTIME = 1258502400 * 10**9  # 2009-11-18, a whole second, in nanoseconds (use_ns)


class Served:
    def __init__(self, data: bytes, fail_from=None, hold=False, hold_from=None):
        """`fail_from`: reads of the bytes from this offset on fail with EIO (a read that starts before it returns
        the bytes up to it, as a drive returns what it could read). `hold`: every read waits for release();
        `hold_from`: every read from this offset on (`waiting` is set when one does)."""
        self.data = data
        self.fail_from = fail_from
        self.hold_from = hold_from
        self.released = threading.Event()
        if not hold and hold_from is None:
            self.released.set()
        self.reached = threading.Event()
        self.waiting = threading.Event()
        self.failed_reads = 0

    def release(self):
        self.released.set()

    def read(self, size, offset):
        self.reached.set()
        if self.hold_from is not None:
            if offset + size > self.hold_from:
                if offset < self.hold_from:
                    return self.data[offset:self.hold_from]
                self.waiting.set()
                self.released.wait()
        else:
            self.released.wait()
        if self.fail_from is not None:
            if offset >= self.fail_from:
                self.failed_reads += 1
                raise FuseOSError(errno.EIO)
            size = min(size, self.fail_from - offset)
        return self.data[offset:offset + size]


class _Operations(Operations):
    use_ns = True

    def __init__(self, files, listing_breaks=False):
        self.files = files
        self.listing_breaks = listing_breaks
        self.read_any = False
        self.broken_listings = 0

    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2, "st_mtime": MTIME, "st_ctime": MTIME,
                    "st_atime": MTIME}
        served = self.files.get(path[1:])
        if served is None:
            raise FuseOSError(errno.ENOENT)
        return {"st_mode": stat.S_IFREG | 0o644, "st_nlink": 1, "st_size": len(served.data), "st_mtime": MTIME,
                "st_ctime": MTIME, "st_atime": MTIME}

    def readdir(self, path, fh):
        return [".", ".."] + list(self.files)

    def access(self, path, amode):
        if path == "/" and self.listing_breaks and self.read_any:
            self.broken_listings += 1
            raise FuseOSError(errno.EIO)
        return 0

    def open(self, path, flags):
        if path[1:] not in self.files:
            raise FuseOSError(errno.ENOENT)
        if flags & (os.O_WRONLY | os.O_RDWR):
            raise FuseOSError(errno.EROFS)
        return 0

    def read(self, path, size, offset, fh):
        self.read_any = True
        return self.files[path[1:]].read(size, offset)


class FaultyFolder:
    def __init__(self, mountpoint: Path, files: dict, listing_breaks=False):
        self.mountpoint = Path(mountpoint)
        self.files = files
        self.operations = _Operations(files, listing_breaks)
        self._thread = None

    @property
    def broken_listings(self):
        """How many steps of a listing failed."""
        return self.operations.broken_listings

    def __enter__(self):
        self._thread = mount(self.operations, self.mountpoint, direct_io=True)
        return self

    def __exit__(self, *exc):
        for served in self.files.values():
            served.release()
        unmount(self.mountpoint, self._thread)
        return False


def mount(operations, mountpoint: Path, **options):
    """Serves a read-only FUSE file system at the mount point from a thread of this process; the thread, once the
    mount is there. Skips the test where the machine has no FUSE device."""
    if not os.path.exists("/dev/fuse"):
        import pytest
        pytest.skip("no FUSE device (/dev/fuse) on this machine")
    mountpoint.mkdir(parents=True, exist_ok=True)
    thread = threading.Thread(target=FUSE, args=(operations, str(mountpoint)),
                              kwargs={"foreground": True, "ro": True, **options}, daemon=True)
    thread.start()
    deadline = time.time() + 10
    while not os.path.ismount(mountpoint):
        if time.time() > deadline or not thread.is_alive():
            raise RuntimeError(f"could not mount a FUSE file system at {mountpoint}")
        time.sleep(0.02)
    return thread


def unmount(mountpoint: Path, thread):
    subprocess.run(["umount", "-l", str(mountpoint)], capture_output=True)
    thread.join(10)
