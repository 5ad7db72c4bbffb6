"""The sweep file: a TOML file naming the models, the grids of their
parameters, the channels, the stand-in's settings and what to report.

TOML rather than YAML: its values have one reading each (YAML 1.1 reads the
receiver's DFE_Mode value `off` as false, and `1.0e9` as a string), and
Python reads it without an extra package. tomllib reports syntax errors by
line; every later mistake is named by line through TomlLines. All mistakes
are collected and reported together, before anything runs.
"""
import glob
import math
import os
import tomllib
from dataclasses import dataclass, field

from .ami_file import AmiFileError, read_ami_file, spaced, arithmetic
from .stand_in import MANAGED_OPTIONS, StandInError, find_stand_in, read_stand_in
from .toml_lines import TomlLines

FROM_AMI = "from-ami"
# The eye height where the receiver samples (its clock) in a whole link, the
# eye height after the model at its best phase for a transmitter alone.
DEFAULT_RANK_BY = ("statistical_eye.eyes.0.at_target.height_v",
                   "eyes.at_rx_clock.height_reference_v", "eyes.after_get_wave.height_best_v")

_SECTIONS = {
    "sweep": {"name", "amisim", "output", "time_limit_s", "retries"},
    "tx": {"model", "ami", "parameters"},
    "rx": {"model", "ami", "parameters"},
    "channels": None,
    "settings": None,
    "report": {"rank_by", "goal", "heatmap", "limit"},
}
_CHANNEL_KEYS = {"file", "files", "ports", "builtin", "bits"}


class SweepFileError(ValueError):
    def __init__(self, problems):
        super().__init__("\n".join(problems))
        self.problems = problems


@dataclass
class Axis:
    """One swept input: a column of the table and its values."""
    column: str  # "tx.TX_Corner", "rx.DFE_Mode", "settings.bits"
    name: str  # the parameter's or option's own name
    values: list


@dataclass
class Model:
    file: str
    ami: object  # AmiFile or None
    axes: list


@dataclass
class Channel:
    label: str  # as the table shows it
    file: str  # absolute path; None for the built-in channel
    ports: str = None
    builtin_bits: int = None


@dataclass
class Sweep:
    path: str
    name: str
    stand_in: object  # StandIn
    output: str
    time_limit_s: float
    retries: int
    tx: Model
    rx: Model
    channels: list
    settings: dict  # option -> value, fixed for every point (True: a flag)
    setting_axes: list
    rank_by: tuple
    goal: str
    heatmap: tuple  # two axis columns, or None: the first two swept
    limit: float = None
    line_of: object = None  # (key, ...) -> the line of the file it is on
    axes: list = field(default_factory=list)

    def __post_init__(self):
        self.axes = self.tx.axes + (self.rx.axes if self.rx else []) + self.setting_axes


class _Reader:
    def __init__(self, path, text):
        self.path = path
        self.folder = os.path.dirname(os.path.abspath(path))
        self.lines = TomlLines(text)
        self.problems = []

    def error(self, where, message):
        self.problems.append(f"{self.path}:{self.lines.line(where)}: {message}")

    def resolve(self, text):
        return os.path.normpath(os.path.join(self.folder, os.path.expanduser(text)))

    def typed(self, where, value, kinds, what):
        if isinstance(value, bool) and bool not in kinds:
            ok = False
        else:
            ok = isinstance(value, kinds)
        if not ok:
            self.error(where, f"{'.'.join(map(str, where))} must be {what}, not {value!r}")
        return ok

    def unknown_keys(self, where, table, allowed):
        for key in table:
            if key not in allowed:
                self.error(where + (key,), f"unknown key '{key}' in [{'.'.join(map(str, where))}]"
                           f" (known: {', '.join(sorted(allowed))})")


def _is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def _is_scalar(value):
    return isinstance(value, (str, int, float, bool))


def _grid_values(reader, where, given, parameter):
    """The values of one grid entry: a value, a list, a range table, or the
    model's own declaration ("from-ami", or a table with from_ami = true)."""
    def check_allowed(values, element_paths):
        if parameter is None:
            return values
        for value, path in zip(values, element_paths):
            if not parameter.allows(value):
                reader.error(path, f"{where[-1]} = {value!r} is outside the model's "
                             f"{parameter.describe()}")
        return values

    if isinstance(given, str) and given == FROM_AMI or isinstance(given, dict) and "from_ami" in given:
        options = given if isinstance(given, dict) else {}
        reader.unknown_keys(where, options, {"from_ami", "count", "log"})
        if parameter is None:
            reader.error(where, f"{where[-1]} = \"{FROM_AMI}\" needs the model's .ami file, "
                         "which declares it (give [tx] or [rx] ami = \"FILE.ami\")")
            return []
        try:
            return parameter.expand(options.get("count"), options.get("log", False))
        except AmiFileError as error:
            reader.error(where, f"{error}: write {where[-1]} = {{ from_ami = true, count = N }}")
            return []
    if isinstance(given, dict):
        reader.unknown_keys(where, given, {"from", "to", "step", "count", "log"})
        low, high = given.get("from"), given.get("to")
        if not (_is_number(low) and _is_number(high)) or (
                ("step" in given) == ("count" in given)):
            reader.error(where, f"a range needs numbers from and to, and a step or a count: "
                         f"{where[-1]} = {{ from = 1, to = 4, step = 1 }}")
            return []
        try:
            if "step" in given:
                values = arithmetic(low, high, given["step"])
            else:
                integer = all(isinstance(v, int) for v in (low, high))
                values = spaced(low, high, given["count"], given.get("log", False), integer)
        except (AmiFileError, TypeError, ZeroDivisionError) as error:
            reader.error(where, f"{where[-1]}: {error}")
            return []
        return check_allowed(values, [where] * len(values))
    if isinstance(given, list):
        if not given:
            reader.error(where, f"{where[-1]} has an empty list of values")
        for index, value in enumerate(given):
            if not _is_scalar(value):
                reader.error(where + (index,), f"{where[-1]}: a value must be a string or a "
                             f"number, not {value!r}")
                return []
            if value in given[:index]:
                reader.error(where + (index,), f"{where[-1]}: {value!r} is listed twice")
        return check_allowed(list(given), [where + (i,) for i in range(len(given))])
    if _is_scalar(given):
        return check_allowed([given], [where])
    reader.error(where, f"{where[-1]}: expected a value, a list, a range or \"{FROM_AMI}\"")
    return []


def _model(reader, data, section):
    table = data.get(section)
    if not reader.typed((section,), table, dict, "a table"):
        return None
    reader.unknown_keys((section,), table, _SECTIONS[section])
    model = table.get("model")
    if not reader.typed((section, "model"), model, str, "the model's file (a string)"):
        return None
    model_file = reader.resolve(model)
    if not os.path.isfile(model_file):
        reader.error((section, "model"), f"{model}: no such file")
    ami = None
    ami_given = table.get("ami")
    if ami_given is not None and reader.typed((section, "ami"), ami_given, str, "a file name"):
        ami_file = reader.resolve(ami_given)
    else:
        stem, _ = os.path.splitext(model_file)
        for suffix in ("_64", "_32"):
            stem = stem[:-len(suffix)] if stem.endswith(suffix) else stem
        ami_file = stem + ".ami"
    if os.path.isfile(ami_file):
        try:
            ami = read_ami_file(ami_file)
        except (AmiFileError, OSError) as error:
            reader.error((section, "ami"), str(error))
    elif ami_given is not None:
        reader.error((section, "ami"), f"{ami_given}: no such file")
    parameters = table.get("parameters", {})
    axes = []
    if reader.typed((section, "parameters"), parameters, dict, "a table of parameters"):
        for name, given in parameters.items():
            where = (section, "parameters", name)
            parameter = ami.settable(name) if ami else None
            if ami and parameter is None:
                declared = ", ".join(n for n in ami.parameters if ami.settable(n))
                reader.error(where, f"{name} is not a parameter the model takes in "
                             f"{os.path.basename(ami.path)} (it takes: {declared})")
                continue
            axes.append(Axis(f"{section}.{name}", name,
                             _grid_values(reader, where, given, parameter)))
    return Model(model_file, ami, axes)


def _ports(reader, where, ports):
    if isinstance(ports, list) and all(_is_number(p) and isinstance(p, int) for p in ports):
        ports = ",".join(map(str, ports))
    if not isinstance(ports, str) or len(ports.split(",")) not in (2, 4) or not all(
            p.strip().isdigit() for p in ports.split(",")):
        reader.error(where, f"ports must be 2 or 4 port numbers, e.g. \"1,3,2,4\", not {ports!r}")
        return None
    return ports.replace(" ", "")


def _channels(reader, data):
    entries = data.get("channels")
    if not isinstance(entries, list) or not entries:
        reader.error(("channels",), "the sweep names no channel: add [[channels]] with file = "
                     "\"FILE\", files = \"GLOB\" or builtin = true")
        return []
    channels = []
    for index, entry in enumerate(entries):
        where = ("channels", index)
        if not reader.typed(where, entry, dict, "a table"):
            continue
        reader.unknown_keys(where, entry, _CHANNEL_KEYS)
        ports = _ports(reader, where + ("ports",), entry["ports"]) if "ports" in entry else None
        if entry.get("builtin") is True:
            bits = entry.get("bits")
            if bits is not None and not (isinstance(bits, int) and bits > 0):
                reader.error(where + ("bits",), f"bits must be a positive integer, not {bits!r}")
            label = "built-in" if bits is None else f"built-in {bits} bits"
            channels.append(Channel(label, None, None, bits))
            continue
        patterns = entry.get("files", entry.get("file"))
        key = "files" if "files" in entry else "file"
        if isinstance(patterns, str):
            patterns = [patterns]
        if not isinstance(patterns, list) or not patterns or not all(
                isinstance(p, str) for p in patterns):
            reader.error(where, "a channel needs file = \"FILE\", files = [\"GLOB\", ...] "
                         "or builtin = true")
            continue
        for number, pattern in enumerate(patterns):
            at = where + (key,) + ((number,) if key == "files" and
                                   isinstance(entry[key], list) else ())
            matches = sorted(glob.glob(reader.resolve(pattern)))
            files = [m for m in matches if os.path.isfile(m)]
            if not files:
                reader.error(at, f"{pattern}: no such file" if not glob.has_magic(pattern)
                             else f"{pattern} matches no file")
            for path in files:
                label = os.path.relpath(path, reader.folder)
                label = path if label.startswith("..") else label
                channels.append(Channel(label + (f" [{ports}]" if ports else ""), path, ports))
    labels = [c.label for c in channels]
    for index, label in enumerate(labels):
        if label in labels[:index]:
            reader.error(("channels",), f"channel {label} is named twice")
    return channels


def _settings(reader, data, stand_in):
    table = data.get("settings", {})
    fixed, axes = {}, []
    if not reader.typed(("settings",), table, dict, "a table"):
        return fixed, axes
    for key, value in table.items():
        where = ("settings", key)
        option = key.replace("_", "-")
        if option in MANAGED_OPTIONS:
            reader.error(where, f"--{option} is set by the sweep itself for each point "
                         "(through [tx], [rx] and [[channels]])")
            continue
        if option not in stand_in.options:
            known = ", ".join(o.replace("-", "_") for o in stand_in.options
                              if o not in MANAGED_OPTIONS)
            reader.error(where, f"unknown setting '{key}': the stand-in has no --{option} "
                         f"(its settings: {known})")
            continue
        takes_argument = stand_in.options[option]
        values = _grid_values(reader, where, value, None)
        for v in values:
            if takes_argument and isinstance(v, bool):
                reader.error(where, f"{key} takes a value (--{option} VALUE), not {v}")
            elif not takes_argument and not isinstance(v, bool):
                reader.error(where, f"{key} is a switch: write {key} = true or false")
        if len(values) == 1 and not isinstance(value, list):
            fixed[option] = values[0]
        elif values:
            axes.append(Axis(f"settings.{key}", option, values))
    return fixed, axes


def _report(reader, data, axes):
    table = data.get("report", {})
    rank_by, goal, heatmap, limit = DEFAULT_RANK_BY, "max", None, None
    if not reader.typed(("report",), table, dict, "a table"):
        return rank_by, goal, heatmap, limit
    reader.unknown_keys(("report",), table, _SECTIONS["report"])
    if "rank_by" in table:
        given = table["rank_by"]
        given = [given] if isinstance(given, str) else given
        if not isinstance(given, list) or not given or not all(isinstance(g, str) for g in given):
            reader.error(("report", "rank_by"), "rank_by names a figure of the table, e.g. "
                         "\"eyes.at_rx_clock.height_best_v\", or a list of them (the first "
                         "that the results have is used)")
        else:
            rank_by = tuple(given)
    if "goal" in table:
        goal = table["goal"]
        if goal not in ("max", "min"):
            reader.error(("report", "goal"), f"goal must be \"max\" or \"min\", not {goal!r}")
    if "limit" in table:
        limit = table["limit"]
        if not _is_number(limit) or not math.isfinite(limit):
            reader.error(("report", "limit"), f"limit must be a number, not {limit!r}")
            limit = None
    if "heatmap" in table:
        names = table["heatmap"]
        columns = []
        for index, name in enumerate(names if isinstance(names, list) else [names]):
            found = [a.column for a in axes if name in (a.column, a.name)]
            if len(found) != 1:
                swept = ", ".join(a.column for a in axes if len(a.values) > 1) or "none"
                reader.error(("report", "heatmap", index) if isinstance(names, list) else
                             ("report", "heatmap"),
                             f"heatmap: {name!r} is not {'one' if not found else 'a unique'} "
                             f"swept parameter (swept: {swept})")
            else:
                columns.append(found[0])
        if not isinstance(names, list) or len(names) != 2:
            reader.error(("report", "heatmap"), "heatmap names two swept parameters")
        elif len(columns) == 2:
            heatmap = tuple(columns)
    return rank_by, goal, heatmap, limit


def load_sweep(path, amisim=None):
    """Reads and checks a sweep file; raises SweepFileError listing every
    mistake as FILE:LINE: message. The stand-in is the one named (amisim),
    else the file's [sweep] amisim, else the one find_stand_in finds."""
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as error:
        raise SweepFileError([f"{path}: {error.strerror}"]) from error
    try:
        text = raw.decode("utf-8")
        data = tomllib.loads(text)
    except UnicodeDecodeError as error:
        raise SweepFileError([f"{path}: not UTF-8 text ({error.reason})"]) from error
    except tomllib.TOMLDecodeError as error:
        message = str(error)
        line = message.rsplit("(at line ", 1)
        if len(line) == 2:
            number, _, rest = line[1].partition(", column ")
            raise SweepFileError([f"{path}:{number}:{rest.rstrip(')')}: {line[0].strip()}"]) \
                from error
        raise SweepFileError([f"{path}: {message}"]) from error
    reader = _Reader(path, text)
    reader.unknown_keys((), data, _SECTIONS)
    head = data.get("sweep", {})
    if reader.typed(("sweep",), head, dict, "a table"):
        reader.unknown_keys(("sweep",), head, _SECTIONS["sweep"])
    else:
        head = {}
    name = head.get("name", os.path.splitext(os.path.basename(path))[0])
    output = head.get("output", os.path.splitext(os.path.basename(path))[0] + "-out")
    time_limit = head.get("time_limit_s", 600)
    retries = head.get("retries", 2)
    reader.typed(("sweep", "name"), name, str, "a string")
    given = head.get("amisim")
    if amisim is None and reader.typed(("sweep", "amisim"), given, (str, type(None)), "a program"):
        amisim = reader.resolve(given) if given else None
    try:
        stand_in = read_stand_in(find_stand_in(amisim))
    except StandInError as error:
        reader.error(("sweep", "amisim"), str(error))
        raise SweepFileError(reader.problems) from error
    if reader.typed(("sweep", "output"), output, str, "a folder (a string)"):
        output = reader.resolve(output)
    if not _is_number(time_limit) or time_limit <= 0:
        reader.error(("sweep", "time_limit_s"), f"time_limit_s must be a positive number of "
                     f"seconds, not {time_limit!r}")
    if not (_is_number(retries) and isinstance(retries, int)) or retries < 0:
        reader.error(("sweep", "retries"), f"retries must be 0 or more, not {retries!r}")
    tx = _model(reader, data, "tx") if "tx" in data else None
    if tx is None and "tx" not in data:
        reader.error((), "the sweep names no transmitter: add [tx] with model = \"FILE.so\"")
    rx = _model(reader, data, "rx") if "rx" in data else None
    channels = _channels(reader, data)
    settings, setting_axes = _settings(reader, data, stand_in)
    axes = (tx.axes if tx else []) + (rx.axes if rx else []) + setting_axes
    rank_by, goal, heatmap, limit = _report(reader, data, axes)
    if reader.problems:
        raise SweepFileError(reader.problems)
    return Sweep(os.path.abspath(path), name, stand_in, output, float(time_limit), retries, tx,
                 rx, channels, settings, setting_axes, rank_by, goal, heatmap, limit,
                 reader.lines.line)
