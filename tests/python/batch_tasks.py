"""Conversion tasks for the batch tests; importable by the workers of a cluster."""
import os

from vrml import batch


def crash_on_marker(path, output, format):
    """Converts, except that a file with a '.crash' file beside it makes the worker process exit at once."""
    if os.path.exists(path + ".crash"):
        os._exit(3)
    return batch.convert_one(path, output, format)
