"""The sweep file: each mistake named by file and line before anything runs,
the grids it expands to, and the .ami declarations it reads."""
import os

import pytest

from amisweep.ami_file import parse_tree, read_ami_file, AmiFile, _walk
from amisweep.grid import expand
from amisweep.runner import prepare
from amisweep.stand_in import StandInError
from amisweep.sweep_file import SweepFileError

GOOD_HEAD = """\
[tx]
model = "{tx}"
[tx.parameters]
TX_Corner = [0, 1]
[[channels]]
builtin = true
"""

MISTAKES = {
    "syntax error": ("[tx]\nmodel = \"{tx}\"\nbits = = 3\n", 3, "Invalid value"),
    "unknown section": (GOOD_HEAD + "[setings]\nbits = 4\n", 7, "unknown key 'setings'"),
    "unknown setting": (GOOD_HEAD + "[settings]\nbitz = 4\n", 8, "no --bitz"),
    "option the sweep sets": (GOOD_HEAD + "[settings]\nout = \"x\"\n", 8, "--out is set by"),
    "switch given a value": (GOOD_HEAD + "[settings]\nwaves = 3\n", 8, "is a switch"),
    "parameter the model lacks": (
        "[tx]\nmodel = \"{tx}\"\n[tx.parameters]\nTX_Corner = 0\nTX_Gain = 1\n"
        "[[channels]]\nbuiltin = true\n", 5, "TX_Gain is not a parameter"),
    "value outside the model's list": (
        "[tx]\nmodel = \"{tx}\"\n[tx.parameters]\nTX_Corner = [\n  0,\n  2,\n]\n"
        "[[channels]]\nbuiltin = true\n", 6, "outside the model's (List -1 0 1)"),
    "from-ami of a float range without count": (
        GOOD_HEAD + "[rx]\nmodel = \"{rx}\"\n[rx.parameters]\nCTLE_Zero = \"from-ami\"\n", 10,
        "needs a count"),
    "from-ami without an .ami file": (
        "[tx]\nmodel = \"{fakes}/vendor_gain_model.so\"\n[tx.parameters]\nG = \"from-ami\"\n"
        "[[channels]]\nbuiltin = true\n", 4, "needs the model's .ami file"),
    "range without step or count": (
        GOOD_HEAD + "[settings]\nbits = {{ from = 1000, to = 4000 }}\n", 8, "a step or a count"),
    "missing model file": ("[tx]\nmodel = \"nowhere.so\"\n[[channels]]\nbuiltin = true\n", 2,
                           "nowhere.so: no such file"),
    "glob that matches nothing": (
        "[tx]\nmodel = \"{tx}\"\n[[channels]]\nfiles = [\"{channels}/*.s2p\", \"none/*.s4p\"]\n",
        4, "none/*.s4p matches no file"),
    "bad port order": (
        "[tx]\nmodel = \"{tx}\"\n[[channels]]\nfile = \"{line_pair}\"\nports = \"1,3,2\"\n", 5,
        "2 or 4 port numbers"),
    "no channel": ("[tx]\nmodel = \"{tx}\"\n", 1, "names no channel"),
    "heat map over an unswept parameter": (
        GOOD_HEAD + "[report]\nheatmap = [\"TX_Corner\", \"TX_Preemph\"]\n", 8,
        "'TX_Preemph' is not one swept parameter"),
    "wrong goal": (GOOD_HEAD + "[report]\ngoal = \"best\"\n", 8, "goal must be"),
    "negative time limit": ("[sweep]\ntime_limit_s = -1\n" + GOOD_HEAD, 2, "time_limit_s must"),
}


@pytest.mark.parametrize("text, line, message", MISTAKES.values(), ids=MISTAKES.keys())
def test_a_mistake_is_named_by_file_and_line(write_sweep, sweep_of, text, line, message):
    path = write_sweep(text)
    with pytest.raises(SweepFileError) as raised:
        sweep_of(text)
    assert any(p.startswith(f"{path}:{line}:") and message in p for p in raised.value.problems), \
        raised.value.problems


def test_every_mistake_is_reported_at_once(sweep_of):
    with pytest.raises(SweepFileError) as raised:
        sweep_of(GOOD_HEAD + "[settings]\nbitz = 1\nprbz = 7\n")
    assert len(raised.value.problems) == 2


def test_grids_expand_from_lists_ranges_and_the_ami_declarations(sweep_of, built):
    sweep = sweep_of("""
        [tx]
        model = "{tx}"
        [tx.parameters]
        TX_Corner = "from-ami"
        TX_Preemph = 1
        [rx]
        model = "{rx}"
        [rx.parameters]
        DFE_Taps = "from-ami"
        CTLE_Zero = {{ from_ami = true, count = 3, log = true }}
        CTLE_Pole1 = {{ from = 4e9, to = 6e9, step = 1e9 }}
        [[channels]]
        files = "{channels}/line_*.s2p"
        [[channels]]
        builtin = true
        [settings]
        bits = [1000, 2000]
        prbs = 9
        """)
    values = {axis.column: axis.values for axis in sweep.axes}
    assert values == {
        "tx.TX_Corner": [-1, 0, 1], "tx.TX_Preemph": [1], "rx.DFE_Taps": list(range(1, 17)),
        "rx.CTLE_Zero": [1e7, 1e9, 1e11], "rx.CTLE_Pole1": [4e9, 5e9, 6e9],
        "settings.bits": [1000, 2000]}
    assert [c.label for c in sweep.channels] == [
        f"{built['channels']}/line_{length}.s2p" for length in ("long", "medium", "short")] + [
        "built-in"]
    sweep.stand_in.version = "test"
    points = expand(sweep)
    assert len(points) == 4 * 3 * 16 * 3 * 3 * 2
    first = points[0].command
    assert first[-1] == sweep.tx.file
    for expected in (["--set", "TX_Corner=-1"], ["--rx-set", "CTLE_Zero=10000000"],
                     ["--bits", "1000"], ["--prbs", "9"]):
        assert any(first[i:i + 2] == expected for i in range(len(first))), (expected, first)
    assert len({p.key for p in points}) == len(points)


AMI_FORMS = {
    "old Format Range": ("(P (Usage In) (Type Integer) (Format Range 2 1 3))", [1, 2, 3]),
    "Increment": ("(P (Usage In) (Type Float) (Increment 0.5 0 1 0.25))", [0, 0.25, 0.5, 0.75, 1]),
    "Steps": ("(P (Usage In) (Type Float) (Steps 1 0 2 4))", [0, 0.5, 1, 1.5, 2]),
    "Corner": ("(P (Usage In) (Type Float) (Corner 1 0.5 1.5))", [1, 0.5, 1.5]),
    "quoted List": ('(P (Usage In) (Type String) (List "a b" "c"))', ["a b", "c"]),
}


@pytest.mark.parametrize("declaration, values", AMI_FORMS.values(), ids=AMI_FORMS.keys())
def test_ami_declaration_forms(declaration, values):
    found = {}
    _walk(parse_tree(f"(Root (Model_Specific {declaration}))"), found)
    assert AmiFile("x", "Root", found).settable("P").expand() == values


def test_the_project_ami_files_read(built):
    tx = read_ami_file(os.path.join(os.path.dirname(built["tx"]), "Halvorin_7314_Tx.ami"))
    rx = read_ami_file(os.path.join(os.path.dirname(built["rx"]), "Example_Rx.ami"))
    assert tx.root == "Halvorin_7314_Tx" and sorted(tx.parameters) == ["TX_Corner", "TX_Preemph"]
    assert rx.settable("DFE_Mode").expand() == ["off", "fixed", "auto", "adapt"]
    assert rx.settable("CTLE_Zero").allows(5e9) and not rx.settable("CTLE_Zero").allows(1e12)


BEFORE_THE_SWEEP = {
    "a setting the stand-in refuses": (
        "[settings]\nprbs = 8\n", StandInError, "refuses the sweep's first point"),
    "a figure the results lack": (
        "[report]\nrank_by = \"eyes.at_rx_clock.height_reference_v\"\n", SweepFileError,
        ":10: the results have no figure eyes.at_rx_clock.height_reference_v"),
}


@pytest.mark.parametrize("tail, error, message", BEFORE_THE_SWEEP.values(),
                         ids=BEFORE_THE_SWEEP.keys())
def test_a_trial_run_finds_mistakes_before_the_sweep(sweep_of, tail, error, message):
    sweep = sweep_of(GOOD_HEAD + "[[channels]]\nfile = \"{line_pair}\"\n" + tail)
    with pytest.raises(error, match=message):
        prepare(sweep)
