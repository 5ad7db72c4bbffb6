#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets (tests/fuzz/corpus/<target>/,
or FOLDER/<target>/ when a folder is given): the cases of the unit tests,
encoded as each target reads its input (tests/fuzz/fuzz_input.h). Run it
again after changing an input layout; the test seed_corpus checks that the
kept seeds are what it writes. Inputs that the fuzzers found are kept beside
the seeds under other names. A block-stream input starts with the block's
fuzz id (kFuzzId of its adapter)."""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus")


def in_range(value, lo, hi):
    """The bytes FuzzInput::in_range reads to give value in lo .. hi."""
    span = hi - lo
    width = 0
    reach = 0
    while reach < span:
        width += 1
        reach = (reach << 8) | 0xFF
    return (value - lo).to_bytes(width, "big") if width else b""


def raw(x):
    return struct.pack("<d", x)


def sample(x):
    """One byte for a value on the 1/64 grid in -2 .. 1.98, else 0xff and raw."""
    b = x * 64 + 128
    if b == int(b) and 0 <= b < 0xFF:
        return bytes([int(b)])
    return b"\xff" + raw(x)


def write(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


# ---- parse_tree: parameter strings for the tree "m" of tree/sample_tree_test_support.h
PARSE_TREE = {
    "every-type": '(m (d 2.5) (l 0x1f) (i 010) (s -3) (c x) (da 1 2.5 3) (la 4 5) '
                  '(ia "1 2 3") (sa 7) (t "a (b) c") (b (x 5) (deep (y 1.5))))',
    "empty": "",
    "root-only": "(m)",
    "other-head": "(other (d 1) (i 2))",
    "no-convert": "(m (d abc) (i 1x) (l -) (s 70000))",
    "extra-values": "(m (i 1 2) (t a b) (b 3))",
    "list-for-value": "(m (i (x 1)) (da (y 2)) (b (x (z 1))))",
    "unknown-names": "(m (D 1) (dd 2) (unknown (d 3) (i 4)) (b (nope 1) (x 2)))",
    "stray-quotes": '(m "i 1) (t x"y) ("d" 2) (c ")',
    "too-deep": "(m " + "(b " * 18 + ")" * 19,
    "too-many-closes": "(m (i 1))) (d 2))",
    "open-when-close": "(m (i 1) (d 2) ((",
    "twice": "(m (t first) (t second) (da 1) (da 2 3))",
    "blanks": "\t(m\n(d\r1.5e3 )\v( i 0x10 ) )",
    "huge-numbers": "(m (d 1e999) (l 4294967297) (i -2147483649) (s 32768) (da -1e-320))",
    "high-bytes": "(m (t \xe9\xff) (c \xe9))",
}

# ---- ami_model: header bytes, then the parameter string ----------------------
def ami_model(row_size, aggressors, interval, wave_size, seed, cuts, params):
    data = in_range(row_size, -2, 48) + in_range(aggressors, -2, 3)
    data += bytes([interval]) if isinstance(interval, int) else b"\xf0" + raw(interval)
    data += in_range(wave_size, 0, 600) + bytes([seed]) + in_range(len(cuts), 0, 8)
    for cut in cuts:
        data += in_range(cut, -1, 300)
    if params is None:
        return data + b"\x00"
    return data + b"\x01" + params.encode("latin-1")


BOTH_ON = "(Halvorin_7314_Tx (TX_Corner 1) (TX_Preemph 1))"
AMI_MODEL = {
    "defaults-null-params": ami_model(16, 0, 0, 128, 1, [64], None),
    "both-on": ami_model(32, 0, 0, 512, 2, [256, 128], BOTH_ON),
    "corner-minus-one": ami_model(8, 3, 1, 300, 3, [1, 2, 3, 0, 100],
                                  "(Halvorin_7314_Tx (TX_Corner -1) (TX_Preemph 1))"),
    "corner-invalid": ami_model(8, 1, 2, 200, 4, [7],
                                "(Halvorin_7314_Tx (TX_Corner 5) (TX_Preemph 1))"),
    "preemph-invalid": ami_model(4, -1, 0, 64, 5, [],
                                 "(Halvorin_7314_Tx (TX_Corner 0) (TX_Preemph -1))"),
    "no-convert": ami_model(0, 0, 0, 32, 6, [-1, 16],
                            "(Halvorin_7314_Tx (TX_Corner abc) (TX_Preemph 1))"),
    "other-head": ami_model(8, 0, 0, 32, 7, [], "(Other (TX_Corner 1) (TX_Preemph 1))"),
    "zero-interval": ami_model(8, 0, 6, 100, 8, [50], BOTH_ON),
    "nan-interval": ami_model(8, 0, float("nan"), 100, 9, [3], BOTH_ON),
    "tiny-interval": ami_model(8, 2, 1e-300, 100, 10, [3, 3], BOTH_ON),
    "empty-params": ami_model(8, 0, 0, 10, 11, [], ""),
}

# ---- block_stream: block, Setup arguments, pieces, stream ---------------------
def pieces(*cuts):
    """Pieces as (count, reset) pairs."""
    data = in_range(len(cuts), 0, 12)
    for count, reset in cuts:
        data += in_range(count, -2, 253)
        if count > 0:
            data += bytes([reset])
    return data


def stream(values):
    return b"".join(sample(v) for v in values)


def peaking(interval, pole_count, filter_count, index, configs):
    data = b"\x00" + bytes([interval]) + in_range(pole_count, -1, 14)
    data += in_range(filter_count, -1, 4) + in_range(index, -2, 5)
    for gain, poles in configs:
        data += sample(gain)
        for pole, residue in poles:
            data += sample(pole.real / 5e9) + sample(pole.imag / 5e9)
            data += sample(residue.real) + sample(residue.imag)
    return data


TWO_CONFIGS = [(1.0, [(-1e9 + 0j, 1 + 0j), (-5e8 + 0j, -0.4 + 0j), (-3e9 + 0j, 0.75 + 0j)]),
               (1.5, [(-2e9 + 4e9j, 0.5 + 0.25j), (-2e9 - 4e9j, 0.5 - 0.25j),
                      (-7e8 + 0j, -0.25 + 0j)])]
WAVE = [((t * 37) % 128 - 64) / 64 for t in range(300)]
BLOCK_STREAM = {
    "peaking-contract": peaking(0, 3, 2, 1, TWO_CONFIGS) + pieces((31, 0), (32, 1), (33, 0))
                        + stream(WAVE),
    "peaking-ones": peaking(0, 3, 2, 0, TWO_CONFIGS) + pieces((1, 0), (1, 0), (0, 0), (-1, 0))
                    + stream(WAVE[:40]),
    "peaking-zero-residue": peaking(1, 4, 1, 0, [(1.0, [(-1e9 + 0j, 1 + 0j), (-2e9 + 0j, 0j),
                                                        (-3e9 + 0j, 1 + 0j), (-4e9 + 0j, 1 + 0j)])])
                            + pieces((5, 1)) + stream(WAVE[:64]),
    "peaking-thirteen-poles": peaking(1, 13, 1, 3, [(0.5, [(-1e9 * (k + 1) + 0j, 0.1 + 0j)
                                                           for k in range(13)])])
                              + pieces((100, 0), (7, 1)) + stream(WAVE),
    "peaking-no-configs": peaking(0, 3, 0, 0, []) + pieces((10, 1)) + stream(WAVE[:30]),
    "peaking-no-poles": peaking(0, 0, 2, 1, [(1.0, []), (2.0, [])]) + stream(WAVE[:30]),
}

# ---- waveform_conversion: conversion, n, samples per bit, interval, samples -
def conversion(which, n, spb, interval, values):
    spb_byte = (spb + 1) if isinstance(spb, int) else spb[0]
    data = bytes([which]) + in_range(n, -2, 400) + bytes([spb_byte]) + bytes([interval])
    return data + stream(values)


PULSE = [0.0, 0.1, 0.5, 1.0, 0.75, 0.25, 0.125, 0.0625] + [0.0] * 24
def values(vals, scale=1.0):
    """A Values<> list: a byte that says given, then the values / scale."""
    if vals is None:
        return b"\x00"
    return b"\x01" + b"".join(sample(v / scale) for v in vals)


INTERVALS = {1e-12: 0, 3.125e-12: 1, 1e-10: 2, 1.0: 3, 0.0: 4}
MODES = ["off", "Off", "fixed", "Fixed", "auto", "Auto", "on", "On", "adapt", "Adapt", "adapted",
         ""]


def tx_ffe(spb, taps, tag=0, advanced=None, msg_size=256):
    data = b"\x01" + in_range(spb, -1, 16) + in_range(len(taps), -1, 12)
    data += in_range(tag, -2**31, 2**31 - 1) + values(taps)
    if advanced is None:
        data += b"\x00"
    else:
        data += b"\x01" + b"".join(sample(a) + sample(b) + sample(c * 16) for a, b, c in advanced)
    return data + in_range(msg_size, 0, 256)


def agc(target, impulse, interval, spb):
    data = b"\x02" + sample(target) + in_range(len(impulse), -1, 64)
    data += b"".join(sample(v / 1e11) for v in impulse)
    return data + bytes([INTERVALS[interval]]) + in_range(spb, -1, 16)


def dfe(taps, spb, min_tap, max_tap, resolution, mode, adapt_step, impulse, interval, decisions):
    data = b"\x03" + in_range(len(taps), -1, 10) + values(taps, 0.25) + in_range(spb, -1, 8)
    data += sample(min_tap * 4) + sample(max_tap * 4) + sample(resolution * 256)
    data += sample(adapt_step * 16) + bytes([MODES.index(mode), impulse, INTERVALS[interval]])
    return data + values(decisions)


def cdr(mode, phase_step, max_threshold, freq_offset, decisions, spb, dfe_tap, invert_time,
        reference, interval):
    data = b"\x04" + bytes([MODES.index(mode)]) + sample(phase_step * 8)
    data += in_range(max_threshold, -2, 16) + sample(freq_offset * 64)
    data += in_range(decisions, -1, 64) + in_range(spb, -1, 16) + sample(dfe_tap * 4)
    data += sample(invert_time / 1e-9) + bytes([reference, INTERVALS[interval]])
    return data


def shaping(which, interval, gain, quarters):
    """which: 5 delay, 6 slope, 7 sawtooth, 8 rise/fall, 9 Rayleigh, 10 triangle; the
    duration in quarters of a sample interval."""
    return bytes([which, INTERVALS[interval]]) + sample(gain) + b"\x00" + in_range(quarters, -8, 1200)


def table(x, y):
    data = b"\x0b" + in_range(len(x), 2, 40) + bytes([int(x[0] * 64 + 128)])
    for k in range(len(x)):
        step = (x[k + 1] - x[k]) if k + 1 < len(x) else 1 / 32
        data += sample(y[k]) + bytes([int(step * 32) - 1])
    return data


import math
CHANNEL = [0.5 * math.tanh(math.sin(0.3 * t) * 2) for t in range(300)]
CHANNEL = [round(v * 64) / 64 for v in CHANNEL]
BLOCK_STREAM.update({
    "txffe-contract": tx_ffe(2, [1.2, -0.3, 0.15, -0.05, 0.01]) + pieces((31, 0), (32, 1))
                      + stream(CHANNEL),
    "txffe-advanced": tx_ffe(1, [0.9, -0.3, 0.1], 7, [(1.0, -1.0, 0.1), (0.0, 0.5, 0.1),
                                                     (0.5, -0.5, 2.0)], 40) + stream(CHANNEL[:64]),
    "txffe-no-taps": tx_ffe(0, []) + pieces((3, 1)) + stream(CHANNEL[:16]),
    "agc-contract": agc(0.4, [1e11 * math.exp(-0.2 * i) for i in range(64)], 1e-12, 8)
                    + pieces((64, 0), (64, 1)) + stream(CHANNEL),
    "agc-no-impulse": agc(-0.25, [], 1e-12, 0) + stream(CHANNEL[:40]),
    "dfe-contract": dfe([-0.1, 0.04, -0.02, 0.01, 0.0, -0.005, 0.003, 0.0], 8, -0.2, 0.2, 0.001,
                        "adapt", 0.01, 0, 1e-12, [0.5, -0.5, -0.5, 0.5, 0.5, 0.5, -0.5, 0.5, 0.5,
                                                  -0.5]) + pieces((17, 0), (40, 0))
                    + stream(CHANNEL),
    "dfe-impulse-auto": dfe([0.0, 0.0, 0.0], 4, -0.5, 0.5, 0.001, "auto", 0.0, 1, 1e-12, None)
                        + stream([0, 0.25, 1, 0.5, 0.25, 0.125] + [0] * 20),
    "cdr-contract": cdr("auto", 1 / 16, 4, 0.001, 64, 8, 0.1, 0.0, 0, 1e-12)
                    + pieces((100, 0), (1, 0), (57, 0)) + stream(CHANNEL),
    "cdr-reference": cdr("adapt", 1 / 8, 2, 0.0, 16, 4, 0.0, 2e-11, 1, 1e-12) + stream(CHANNEL),
    "delay-contract": shaping(5, 1e-12, 0.0, 28) + pieces((31, 0), (32, 1)) + stream(CHANNEL),
    "slope-contract": shaping(6, 1e-12, 0.0, 22) + pieces((1, 0), (40, 1)) + stream(CHANNEL),
    "sawtooth-contract": shaping(7, 1e-12, 1.5, 36) + pieces((9, 1)) + stream(CHANNEL),
    "risefall-contract": shaping(8, 1e-12, 0.0, 24) + pieces((100, 1)) + stream(CHANNEL),
    "rayleigh-contract": shaping(9, 1e-12, 0.75, 40) + pieces((2, 0), (3, 1)) + stream(CHANNEL),
    "triangle-contract": shaping(10, 1e-12, 1.25, 16) + pieces((50, 0)) + stream(CHANNEL),
    "delay-half-sample": shaping(5, 1.0, 0.0, 10) + stream(CHANNEL[:30]),
    "table-contract": table([-1.0, -0.5, 0.0, 0.5, 1.0], [-0.625, -0.4375, 0.0, 0.4375, 0.625])
                      + pieces((13, 0)) + stream(CHANNEL),
})


WAVEFORM_CONVERSION = {}
for which, name in enumerate(["i2s", "i2p", "s2i", "p2i", "p2prbs", "prbs2p", "i2prbs",
                              "prbs2i", "i2prbs7"]):
    # The PRBS7 conversions draw bits of up to 2 samples only.
    spb = 4 if which <= 3 else 2
    WAVEFORM_CONVERSION["%s-%dspb" % (name, spb)] = conversion(which, 32, spb, 0, PULSE)
    WAVEFORM_CONVERSION[name + "-few"] = conversion(which, 3, 1, 2, PULSE[:3])
    WAVEFORM_CONVERSION[name + "-no-bit"] = conversion(which, 8, 0, 0, PULSE[:8])
    WAVEFORM_CONVERSION[name + "-empty"] = conversion(which, 0, 2, 0, [])
WAVEFORM_CONVERSION["metrics-4spb"] = conversion(9, 32, 4, 0, PULSE) + sample(0.25) + sample(0.5)
WAVEFORM_CONVERSION["metrics-no-bit"] = conversion(9, 8, 0, 0, PULSE[:8]) + sample(0.0) + sample(0.0)
LIMITER = in_range(5, 2, 8) + b"".join(bytes([31]) + sample(y) for y in [-0.5, -0.25, 0, 0.25, 0.5])
for which, name in [(10, "pulse-table"), (11, "impulse-table")]:
    WAVEFORM_CONVERSION[name + "-2spb"] = (conversion(which, 32, 2, 0, []) + LIMITER
                                           + stream(PULSE))
    WAVEFORM_CONVERSION[name + "-no-bit"] = conversion(which, 8, 0, 0, []) + LIMITER + stream(PULSE[:8])
WAVEFORM_CONVERSION["tanh-2spb"] = conversion(12, 32, 2, 0, []) + b"\x00" + stream(PULSE)
WAVEFORM_CONVERSION["tanh-zero-limit"] = conversion(12, 32, 2, 0, []) + b"\x01" + stream(PULSE)
WAVEFORM_CONVERSION["prbs2p-longer-than-period"] = conversion(5, 300, 2, 0, WAVE[:254])
WAVEFORM_CONVERSION["i2prbs7-late-peak"] = conversion(8, 64, 2, 0, [0.0] * 40 + [1.0] + [0.0] * 23)
WAVEFORM_CONVERSION["prbs2i-huge-bit"] = conversion(7, 5, (0xF9,), 0, [])

# ---- text_list: a double for d2i, then a textual list -----------------------
def text_list(x, text):
    return raw(x) + text.encode("latin-1")


TEXT_LIST = {
    "three-numbers": text_list(2.5, "1.5, 2e-3 \"7\""),
    "words-and-numbers": text_list(-2.5, "abc 4 12xyz"),
    "separators-only": text_list(-0.5, ", ,\t\r\n\"\""),
    "empty": text_list(0.49, ""),
    "vertical-tab": text_list(1e12, "a\vb \v5 \f6"),
    "hex-inf-nan": text_list(float("nan"), "0x1p3 inf -infinity nan 1e999 0x +"),
    "six-hundred": text_list(-1e12, " ".join(str(k) for k in range(600))),
    "long-number": text_list(3.7, "1" * 70 + " 2"),
}


# ---- touchstone: name (s2p, s4p, ts, S2P, s3p, txt), interval and ports, file
def touchstone(name, interval, ports, text):
    names = ["s2p", "s4p", "ts", "S2P", "s3p", "txt"]
    port_orders = ["", "1,3,2,4", "1,2,3,4", "2,1", "1,3,4,2", "1,1"]
    return bytes([names.index(name), port_orders.index(ports) * 4 + interval]) + text.encode()


def line_2port(first, step, count, sign=1, unit="GHz", fmt="RI"):
    """A lossy delayed line, S21 = S12, written in the given format."""
    import cmath, math
    lines = ["! a line for the fuzzer", "# %s S %s R 50" % (unit, fmt)]
    scale = {"Hz": 1.0, "MHz": 1e6, "GHz": 1e9}[unit]
    for k in range(count):
        f = first + step * k
        h = sign * cmath.exp(-9.19e-6 * cmath.sqrt(2j * math.pi * f)) * cmath.exp(-2j * math.pi * f * 1e-10)
        if fmt == "RI":
            pair = "%.9g %.9g" % (h.real, h.imag)
        else:
            mag = abs(h) if fmt == "MA" else 20 * math.log10(max(abs(h), 1e-15))
            pair = "%.9g %.9g" % (mag, math.degrees(cmath.phase(h)))
        lines.append("%.9g 0 0 %s %s 0 0" % (f / scale, pair, pair))
    return "\n".join(lines) + "\n"


FOUR_PORT = ("# GHz S MA R 50\n" + "".join(
    "%d %s\n" % (f, " ".join("0.5 %d" % (-36 * f) if (i, j) in ((1, 0), (0, 1), (3, 2), (2, 3))
                             else "0 0" for i in range(4) for j in range(4))) for f in range(0, 21)))
TOUCHSTONE = {
    "line-ri-from-dc": touchstone("s2p", 0, "", line_2port(0.0, 1e9, 41)),
    "line-ma-from-10mhz": touchstone("S2P", 1, "2,1", line_2port(10e6, 100e6, 200, fmt="MA")),
    "line-db-hz": touchstone("s2p", 2, "", line_2port(50e6, 50e6, 100, unit="Hz", fmt="DB")),
    "inverted-line": touchstone("s2p", 0, "", line_2port(0.0, 1e9, 41, sign=-1)),
    "byte-order-mark": touchstone("s2p", 0, "", "\ufeff" + line_2port(1e9, 1e9, 10)),
    "four-port": touchstone("s4p", 0, "1,3,2,4", FOUR_PORT),
    "four-port-other-sides": touchstone("s4p", 3, "1,2,3,4", FOUR_PORT),
    "version-2": touchstone("ts", 0, "", "[Version] 2.0\n# MHz S RI R 75\n[Number of Ports] 2\n"
                            "[Two-Port Data Order] 12_21\n[Number of Frequencies] 2\n"
                            "[Reference] 75\n 60\n[Network Data]\n100 0.1 0 0.2 0 0.3 0 0.4 0\n"
                            "200 0.1 0 0.2 0 0.3 0 0.4 0 ! c\n[Noise Data]\n1 2 3 4 5\n[End]\n"),
    "noise-parameters": touchstone("s2p", 1, "", line_2port(1e9, 1e9, 5) + "1 1 0.5 10 0.2\n"),
    "fine-steps": touchstone("s2p", 2, "", line_2port(0.0, 1e6, 30)),
    "three-ports": touchstone("s3p", 0, "", "# GHz S RI R 50\n"),
    "no-extension": touchstone("txt", 0, "", line_2port(1e9, 1e9, 3)),
    "truncated-record": touchstone("s4p", 0, "", "# GHz S RI R 50\n1 0 0 0 0 0 0 0 0\n 0 0\n"),
    "bad-ports": touchstone("s2p", 0, "1,1", line_2port(1e9, 1e9, 3)),
    "falling-frequency": touchstone("s2p", 0, "", "# GHz S RI R 50\n2 0 0 1 0 1 0 0 0\n"
                                    "1 0 0 1 0 1 0 0 0\n"),
}

# ---- channel_file: the whole input is the file ----------------------------
CHANNEL_FILE = {
    "samples": b"# impulse\n0\n1e9\n5e8\n2.5e8\n",
    "time-column": b"0, 0\n1e-12, 1e9\n2e-12, 5e8\n3e-12, 1e8\n",
    "aggressors": b"0\t1\t2\n1\t3\t4\n2\t5\t6\n",
    "uneven-time": b"0 1\n1 2\n3 4\n",
    "bad-number": b"1\n2x\n",
    "columns-differ": b"1 2\n3\n",
    "comments-only": b"# nothing\n\n",
    "overflow": b"1e999\n",
}

for target, seeds in [("parse_tree", {k: v.encode("latin-1") for k, v in PARSE_TREE.items()}),
                      ("ami_model", AMI_MODEL), ("block_stream", BLOCK_STREAM),
                      ("waveform_conversion", WAVEFORM_CONVERSION), ("text_list", TEXT_LIST),
                      ("touchstone", TOUCHSTONE), ("channel_file", CHANNEL_FILE)]:
    for name, data in seeds.items():
        write(target, name, data)
