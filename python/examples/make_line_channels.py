#!/usr/bin/env python3
"""Writes the example sweep's channels: lines of the stand-in's built-in
kind (skin effect, exp(-k sqrt(s)), in series with a pole at 8 GHz) at three
lengths, as 2-port Touchstone files from their closed form.

Usage: make_line_channels.py FOLDER
"""
import cmath
import math
import os
import sys

SKIN_K = 9.19e-6  # s^(1/2), the built-in line: about 10 dB at 5 GHz
POLE_HZ = 8e9
STEP_HZ = 50e6
TOP_HZ = 40e9
LENGTHS = {"line_short": 0.6, "line_medium": 1.0, "line_long": 1.5}


def through(f, length):
    s = 2j * math.pi * f
    return cmath.exp(-SKIN_K * length * cmath.sqrt(s)) / (1 + s / (2 * math.pi * POLE_HZ))


def write(path, length):
    loss = -20 * math.log10(abs(through(5e9, length)))
    with open(path, "w", encoding="ascii") as f:
        f.write(f"! a line {length:g} times the built-in one: {loss:.1f} dB at 5 GHz\n")
        f.write("# GHz S MA R 50\n")
        for n in range(int(round(TOP_HZ / STEP_HZ)) + 1):
            h = through(n * STEP_HZ, length)
            pair = f"{abs(h):.7g} {math.degrees(cmath.phase(h)):.6g}"
            f.write(f"{n * STEP_HZ / 1e9:g} 0 0 {pair} {pair} 0 0\n")


if __name__ == "__main__":
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__),
                                                                  "channels")
    os.makedirs(folder, exist_ok=True)
    for name, length in LENGTHS.items():
        write(os.path.join(folder, f"{name}.s2p"), length)
