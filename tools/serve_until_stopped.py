"""Runs a socketserver until SIGTERM or SIGINT, for the local test servers.

A Python signal handler runs on the main thread between any two steps of the
code there, even while that code holds the lock inside a threading.Event or
threading's own bookkeeping. A handler that set an Event or started a thread
could then wait for that lock forever, and the server would never exit: its
test waits on it until the test runner's time-out. So the stop signals are
blocked in every thread and taken by waiting for them on the main thread,
where no lock is held.
"""

import signal
import threading

STOP_SIGNALS = {signal.SIGTERM, signal.SIGINT}


def serve_until_stopped(server, on_stop=None):
    """Serves on a worker thread until a stop signal; then calls on_stop,
    shuts the server down and closes it. Call it before any other thread is
    started, so that every thread inherits the blocked signals."""
    signal.pthread_sigmask(signal.SIG_BLOCK, STOP_SIGNALS)
    worker = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1})
    worker.start()
    try:
        signal.sigwait(STOP_SIGNALS)
    finally:
        if on_stop:
            on_stop()
        server.shutdown()
        worker.join()
        server.server_close()
