"""A point's cache key changes exactly when something that determines its
results changes."""
import shutil

import pytest

from amisweep.grid import expand

BASE = {"name": "a", "output": "out-a", "limit": 600, "corner": 0, "bits": 1000, "ports": "1,2"}
TEXT = """
[sweep]
name = "{{name}}"
output = "{{output}}"
time_limit_s = {{limit}}
[tx]
model = "model_64.so"
ami = "{ami}"
[tx.parameters]
TX_Corner = {{corner}}
[[channels]]
file = "channel.s2p"
ports = "{{ports}}"
[settings]
bits = {{bits}}
"""


def _touch(path):
    with open(path, "ab") as f:
        f.write(b"\n")


# name -> (changes to the sweep file, change to the files, change to the
# stand-in, whether the key changes)
CASES = {
    "nothing": ({}, None, None, False),
    "sweep name, output folder, time limit": (
        {"name": "b", "output": "out-b", "limit": 60}, None, None, False),
    "a parameter": ({"corner": 1}, None, None, True),
    "a setting": ({"bits": 2000}, None, None, True),
    "the port order": ({"ports": "2,1"}, None, None, True),
    "the model's bytes": ({}, "model_64.so", None, True),
    "the channel's bytes": ({}, "channel.s2p", None, True),
    "the stand-in's program": ({}, None, ("programs_sha256", {"amisim": "0" * 64}), True),
    "the stand-in's version": ({}, None, ("version", "9.9.9"), True),
}


@pytest.mark.parametrize("changes, touched, stand_in, changed", CASES.values(), ids=CASES.keys())
def test_key_changes_exactly_with_what_determines_the_results(
        tmp_path, built, write_sweep, sweep_of, changes, touched, stand_in, changed):
    shutil.copy(built["tx"], tmp_path / "model_64.so")
    shutil.copy(f"{built['channels']}/line_short.s2p", tmp_path / "channel.s2p")
    text = TEXT.format(ami=built["tx"].replace("_64.so", ".ami"))

    def key(values):
        sweep = sweep_of(text.format(**values))
        sweep.stand_in.version = "1.0.0"
        if values is not BASE and stand_in:
            setattr(sweep.stand_in, *stand_in)
        return expand(sweep)[0].key

    before = key(BASE)
    if touched:
        _touch(tmp_path / touched)
    assert (key({**BASE, **changes}) != before) == changed


def test_a_renamed_model_keeps_its_key(tmp_path, built, sweep_of):
    keys = []
    for name in ("first_64.so", "second_64.so"):
        shutil.copy(built["tx"], tmp_path / name)
        sweep = sweep_of(f"[tx]\nmodel = \"{name}\"\n[[channels]]\nbuiltin = true\n")
        sweep.stand_in.version = "1.0.0"
        keys.append(expand(sweep)[0].key)
    assert keys[0] == keys[1]
