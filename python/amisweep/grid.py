"""The points of a sweep: every channel against every combination of the
swept values, each with the stand-in's command line and its cache key.

A point's key is the SHA-256 of everything that determines its results: the
bytes of the models and of the channel file (not their names, so a renamed
file keeps its results and a changed one loses them), the parameter strings,
the stand-in's settings, and the stand-in itself (version and programs).
"""
import hashlib
import itertools
import json
import os
from dataclasses import dataclass

from .stand_in import sha256_of

KEY_FORMAT = 1


def value_text(value):
    """A value as the stand-in is given it: integers and strings as written,
    floats so that they read back exactly, whole ones as integers (a count
    written 1e6 is --bits 1000000)."""
    if isinstance(value, bool):
        return "True" if value else "False"
    if isinstance(value, float):
        return str(int(value)) if value.is_integer() and abs(value) < 1e15 else repr(value)
    return str(value)


@dataclass
class Point:
    index: int
    channel: object  # Channel
    values: dict  # axis column -> value
    command: list
    key: str

    def folder(self, output):
        return os.path.join(output, "points", self.key)


def _model_arguments(model, values, set_option):
    arguments, parameters = [], {}
    for axis in model.axes:
        text = value_text(values[axis.column])
        parameters[axis.name] = text
        arguments += [set_option, f"{axis.name}={text}"]
    return arguments, {"sha256": sha256_of(model.file), "parameters": parameters}


def make_point(sweep, index, channel, values):
    stand_in = sweep.stand_in
    command = [stand_in.path]
    tx_arguments, tx_identity = _model_arguments(sweep.tx, values, "--set")
    command += tx_arguments
    rx_identity = None
    if sweep.rx:
        rx_arguments, rx_identity = _model_arguments(sweep.rx, values, "--rx-set")
        command += ["--rx", sweep.rx.file] + rx_arguments
    if channel.file:
        command += ["--channel", channel.file]
        if channel.ports:
            command += ["--ports", channel.ports]
        channel_identity = {"sha256": sha256_of(channel.file), "ports": channel.ports}
    else:
        if channel.builtin_bits:
            command += ["--channel-bits", str(channel.builtin_bits)]
        channel_identity = {"built_in_bits": channel.builtin_bits}
    settings = dict(sweep.settings)
    settings.update({a.name: values[a.column] for a in sweep.setting_axes})
    setting_identity = {}
    for option in sorted(settings):
        value = settings[option]
        if value is True:
            command.append(f"--{option}")
        elif value is not False:
            command += [f"--{option}", value_text(value)]
        setting_identity[option] = value_text(value)
    command.append(sweep.tx.file)
    identity = {
        "key_format": KEY_FORMAT,
        "stand_in": stand_in.identity(),
        "tx": tx_identity,
        "rx": rx_identity,
        "channel": channel_identity,
        "settings": setting_identity,
    }
    canonical = json.dumps(identity, sort_keys=True, separators=(",", ":"))
    key = hashlib.sha256(canonical.encode("utf-8")).hexdigest()
    return Point(index, channel, values, command, key)


def expand(sweep):
    """Every point, channels outermost, then the axes in the file's order."""
    columns = [axis.column for axis in sweep.axes]
    combinations = list(itertools.product(*(axis.values for axis in sweep.axes)))
    points = []
    for channel in sweep.channels:
        for combination in combinations:
            points.append(make_point(sweep, len(points), channel, dict(zip(columns, combination))))
    return points
