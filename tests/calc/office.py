"""A throwaway LibreOffice for the tests: a new user profile in a temporary
folder, the extension installed into it with unopkg, and a headless office
listening on a loopback port, driven through python3-uno.

unopkg refuses to install for a user when run as root, so as root the office
and unopkg run as the user nobody, on copies of the files they need in a
folder that nobody owns; the tests connect to it over loopback either way.
"""
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import time

import uno
from com.sun.star.beans import PropertyValue

# Calc's error codes, as the add-in sets them.
NOT_AVAILABLE = 0x7FFF  # #N/A
ILLEGAL_ARGUMENT = 502
ILLEGAL_FP = 503  # #NUM!
PARAMETER_LIST = 504
NO_VALUE = 519  # #VALUE!

# The add-in's functions as files and the API name them.
PREFIX = "ORG.DATEMODULES.CALC.DATEDIFFERENCES."


def _props(**values):
    out = []
    for name, value in values.items():
        p = PropertyValue()
        p.Name, p.Value = name, value
        out.append(p)
    return tuple(out)


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Office:
    """One office with the extension `oxt` installed; close() ends it. With
    listen False no office runs: run() starts office programs on the profile
    (soffice --convert-to, say)."""

    def __init__(self, oxt, timeout=120, listen=True):
        self.timeout = timeout
        self.folder = tempfile.mkdtemp(prefix="datemodules-calc-")
        self.as_nobody = os.geteuid() == 0
        shutil.copy(oxt, os.path.join(self.folder, "datemodules.oxt"))
        if self.as_nobody:
            os.chmod(self.folder, 0o755)
            nobody = pwd.getpwnam("nobody")
            for root, dirs, files in os.walk(self.folder):
                for name in dirs + files + [""]:
                    os.chown(os.path.join(root, name), nobody.pw_uid, nobody.pw_gid)
        self.profile = "file://" + os.path.join(self.folder, "profile")
        self.process = None
        # A profile is made on the office's first start; an extension added
        # before that would be dropped by it.
        self.run(["soffice", "--headless", "--norestore", "--terminate_after_init"])
        self.run(["unopkg", "add", os.path.join(self.folder, "datemodules.oxt")])
        if not listen:
            return
        self.port = _free_port()
        self.process = subprocess.Popen(
            self._command(["soffice", "--headless", "--norestore", "--nologo", "--nodefault",
                           f"--accept=socket,host=127.0.0.1,port={self.port};urp;"]),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, cwd=self.folder)
        self.context = self._connect()
        self.desktop = self.context.ServiceManager.createInstanceWithContext(
            "com.sun.star.frame.Desktop", self.context)

    def _command(self, argv):
        argv = argv + [f"-env:UserInstallation={self.profile}"]
        env = ["env", f"HOME={self.folder}"]
        if self.as_nobody:
            return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] + env + argv
        return env + argv

    def run(self, argv):
        """Runs an office program as the office's user, on its profile."""
        done = subprocess.run(self._command(argv), cwd=self.folder, capture_output=True,
                              text=True, timeout=self.timeout)
        if done.returncode != 0:
            raise RuntimeError(f"{' '.join(argv)} failed ({done.returncode}): "
                               f"{done.stdout}{done.stderr}")
        return done.stdout + done.stderr

    def _connect(self):
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext(
            "com.sun.star.bridge.UnoUrlResolver", local)
        deadline = time.monotonic() + self.timeout
        while True:
            try:
                return resolver.resolve(
                    f"uno:socket,host=127.0.0.1,port={self.port};urp;StarOffice.ComponentContext")
            except Exception:
                if self.process.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("the office did not start")
                time.sleep(0.2)

    def path(self, name):
        """Where a file for the office goes (readable by it)."""
        return os.path.join(self.folder, name)

    def copy(self, path):
        """A copy of the file at path in the office's folder, readable by it."""
        copy = self.path(os.path.basename(path))
        shutil.copy(path, copy)
        os.chmod(copy, 0o644)
        return copy

    def load(self, path):
        """Opens a copy of the document at path, hidden."""
        copy = self.copy(path)
        return self.desktop.loadComponentFromURL(uno.systemPathToFileUrl(copy), "_blank", 0,
                                                 _props(Hidden=True))

    def new_sheet(self):
        return self.desktop.loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                                 _props(Hidden=True))

    def alive(self):
        return self.process.poll() is None

    def close(self):
        try:
            if self.process is not None and self.alive():
                try:
                    self.desktop.terminate()
                except Exception:  # the bridge goes down with the office
                    pass
                try:
                    self.process.wait(timeout=30)
                except subprocess.TimeoutExpired:
                    self.process.kill()
                    self.process.wait()
        finally:
            shutil.rmtree(self.folder, ignore_errors=True)


def cell_result(cell):
    """A formula cell's result: ("value", float), ("text", str) or ("error", code)."""
    error = cell.getError()
    if error:
        return ("error", error)
    if cell.getType().value == "TEXT" or (cell.getType().value == "FORMULA"
                                          and cell.FormulaResultType2 == 2):
        return ("text", cell.getString())
    return ("value", cell.getValue())
