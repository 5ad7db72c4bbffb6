"""What the sweep needs to know about the stand-in simulator: its options
(from its --help, so that options added to it are settings of a sweep with
no change here), and what identifies the results it computes.

The version recorded in results.json is the project's version, which stays
the same while the stand-in's code changes between releases; a fix in how it
measures an eye must not leave stale results in a cache. So the results of a
point are keyed by the SHA-256 of the programs themselves (the stand-in and,
beside it, the model hosts it runs the models in) as well as by that version.
"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
from dataclasses import dataclass, field

# Options the sweep sets for each point itself; a sweep file names these
# through its [tx], [rx] and [[channels]] sections.
MANAGED_OPTIONS = {"out", "channel", "ports", "channel-bits", "rx", "rx-params", "rx-set",
                   "params", "set", "help"}

_OPTION_LINE = re.compile(r"^\s{1,4}(--[a-z][a-z0-9-]*)(?:\s+(\[?[A-Z][A-Za-z0-9_.]*\]?))?")

_file_digests = {}


def sha256_of(path):
    """SHA-256 of a file's bytes, remembered per (path, size, mtime)."""
    status = os.stat(path)
    token = (os.path.realpath(path), status.st_size, status.st_mtime_ns)
    if token not in _file_digests:
        digest = hashlib.sha256()
        with open(path, "rb") as f:
            for block in iter(lambda: f.read(1 << 20), b""):
                digest.update(block)
        _file_digests[token] = digest.hexdigest()
    return _file_digests[token]


class StandInError(RuntimeError):
    pass


@dataclass
class StandIn:
    path: str
    options: dict = field(default_factory=dict)  # "bits" -> takes an argument
    programs_sha256: dict = field(default_factory=dict)
    version: str = None

    def identity(self):
        return {"version": self.version, "programs_sha256": self.programs_sha256}


def find_stand_in(given=None):
    """The stand-in named, else $AMISIM, else the project's dist/amisim,
    else amisim on PATH."""
    candidates = [given, os.environ.get("AMISIM"),
                  os.path.join(os.path.dirname(__file__), "..", "..", "dist", "amisim")]
    for candidate in candidates:
        if candidate and os.path.isfile(candidate):
            return os.path.abspath(candidate)
    if given:
        raise StandInError(f"{given}: no such program")
    on_path = shutil.which("amisim")
    if on_path:
        return on_path
    raise StandInError("no stand-in found: build it (scripts/build-release.sh) or name it with "
                       "--amisim or AMISIM")


def read_stand_in(path):
    """The stand-in's options and the digests of its programs."""
    try:
        done = subprocess.run([path, "--help"], capture_output=True, text=True, timeout=60)
    except OSError as error:
        raise StandInError(f"{path}: {error}") from error
    if done.returncode != 0:
        raise StandInError(f"{path} --help: exit {done.returncode}: {done.stderr.strip()}")
    stand_in = StandIn(os.path.abspath(path))
    for line in done.stdout.splitlines():
        match = _OPTION_LINE.match(line)
        if match:
            stand_in.options[match.group(1)[2:]] = bool(match.group(2))
    if "out" not in stand_in.options:
        raise StandInError(f"{path} --help lists no --out option: is it the stand-in?")
    for name in (os.path.basename(path), "amisim-host-64", "amisim-host-32"):
        program = os.path.join(os.path.dirname(stand_in.path), name)
        if os.path.isfile(program):
            stand_in.programs_sha256[name] = sha256_of(program)
    return stand_in


@dataclass
class Trial:
    status: int  # the stand-in's exit status, None if it overran
    stderr: str
    results: dict  # its results.json, None if it wrote none


def probe(stand_in, arguments):
    """Runs the stand-in briefly with the given arguments: what it said and
    its results.json, which tells its version (recorded in stand_in) and the
    figures a point of this kind of run will have."""
    with tempfile.TemporaryDirectory(prefix="amisweep-probe-") as folder:
        out = os.path.join(folder, "out")
        try:
            done = subprocess.run([stand_in.path, *arguments, "--out", out],
                                  capture_output=True, text=True, timeout=120)
        except subprocess.TimeoutExpired:
            return Trial(None, "", None)
        try:
            with open(os.path.join(out, "results.json"), encoding="utf-8") as f:
                results = json.load(f)
        except (OSError, ValueError):
            results = None
    if results is not None:
        stand_in.version = results.get("amisim_version")
    return Trial(done.returncode, done.stderr.strip(), results)
