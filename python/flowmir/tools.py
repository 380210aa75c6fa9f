"""Where the engine's programs are, and running them."""
import os
import shutil

_HERE = os.path.dirname(os.path.abspath(__file__))
_SOURCE = os.path.dirname(os.path.dirname(_HERE))

# Environment variable, file name in a build directory, and name on the PATH of each program.
_PROGRAMS = {
    "host": ("FLOWMIR_HOST", "flowmir"),
    "sim": ("FLOWMIR_SIM", "flowmir-sim"),
    "lib": ("FLOWMIR_LIB", "libflowmir-lib.so"),
}


class FlowmirError(RuntimeError):
    """A run that failed; the message is the log's first ERROR or FATAL line when there is one."""

    def __init__(self, message, project=None, log=None, returncode=None):
        super().__init__(message)
        self.project = project
        self.log = log
        self.returncode = returncode


def find(kind):
    """The path of the host ("host"), flowmir-sim ("sim") or the library ("lib").

    An environment variable (FLOWMIR_HOST, FLOWMIR_SIM, FLOWMIR_LIB) wins; then the build
    directory of this source tree (build/); then the PATH.
    """
    env, name = _PROGRAMS[kind]
    if os.environ.get(env):
        return os.environ[env]
    built = os.path.join(_SOURCE, "build", name)
    if os.path.exists(built):
        return built
    found = shutil.which(name) if kind != "lib" else None
    if found:
        return found
    raise FlowmirError("cannot find %s: set %s or build the engine in %s" % (name, env, os.path.join(_SOURCE, "build")))
