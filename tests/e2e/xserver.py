"""A private X server for the end-to-end tests: Xvfb on a free display number, started with
-noreset (without it the server resets whenever its last client leaves, refusing connections
meanwhile and dropping its settings), and used only once it answers."""
import contextlib
import os
import subprocess
import time


@contextlib.contextmanager
def xvfb(*extra):
    """Yields the display name (":N") of a 1024x768 Xvfb that answers; stops it afterwards."""
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
                               "-nolisten", "tcp", "-noreset", *extra], pass_fds=(write_fd,),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    try:
        with os.fdopen(read_fd) as f:
            display = ":" + f.readline().strip()
        deadline = time.monotonic() + 20
        while subprocess.run(["xwininfo", "-root", "-display", display], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if time.monotonic() > deadline or server.poll() is not None:
                raise RuntimeError("the X server on %s does not answer" % display)
            time.sleep(0.1)
        yield display
    finally:
        server.terminate()
        server.wait()
