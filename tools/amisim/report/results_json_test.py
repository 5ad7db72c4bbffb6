#!/usr/bin/env python3
"""results.json as a program reads it: runs of the stand-in (the model alone,
a whole link, a run whose model fails) validate against the documented JSON
Schema, and every figure the printed tables show is the figure the file
holds, read independently of the stand-in's code.

Usage: results_json_test.py AMISIM MODEL FAKE_MODEL_DIR SCHEMA
"""
import json
import math
import os
import re
import subprocess
import sys
import tempfile

import jsonschema

amisim, model, fakes, schema_path = sys.argv[1:5]
with open(schema_path, encoding="utf-8") as f:
    validator = jsonschema.Draft202012Validator(json.load(f))
problems = []
compared = 0


def run(name, arguments, status):
    folder = os.path.join(work, name)
    done = subprocess.run([amisim] + arguments + ["--out", folder],
                          capture_output=True, text=True)
    if done.returncode != status:
        problems.append(f"{name}: exit {done.returncode}, wanted {status}\n{done.stderr}")
    with open(os.path.join(folder, "results.json"), encoding="utf-8") as f:
        results = json.load(f)
    for error in validator.iter_errors(results):
        problems.append(f"{name}: {'/'.join(map(str, error.path))}: {error.message}")
    return done.stdout, results


def formatted(fmt, value):
    if value is None:
        return "-inf"  # the only figure JSON cannot hold that the tables print
    return fmt % value


RESPONSE_ROWS = [
    ("impulse peak (1/s)", "impulse_peak_per_s", "%.6g"),
    ("impulse area (DC gain)", "impulse_area", "%.6g"),
    ("main cursor", "main_cursor", "%.6g"),
    ("first pre-cursor", "first_pre_cursor", "%.6g"),
    ("first post-cursor", "first_post_cursor", "%.6g"),
    ("pre/main cursor (dB)", "pre_main_db", "%.2f"),
    ("post/main cursor (dB)", "post_main_db", "%.2f"),
    ("MAX: largest level", "max_level", "%.6g"),
    ("PDA: peak-distortion eye", "pda", "%.6g"),
    ("SNR: main lobe / ISI (dB)", "snr_db", "%.2f"),
]


def table_rows(stdout, title):
    """The rows of the printed table headed title: label -> the columns."""
    rows = {}
    lines = stdout.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(title))
    for line in lines[start + 1:]:
        if not line.startswith("  ") or line.startswith("  ("):
            if rows:
                break
            continue
        label = line[2:32].strip() if not line.startswith("    ") else line.split()[0]
        rows[label] = line[32:].split() if not line.startswith("    ") else line.split()[1:]
    return rows


def compare(name, printed, wanted):
    global compared
    compared += 1
    if printed != wanted:
        problems.append(f"{name}: printed {printed}, results.json gives {wanted}")


def bathtub_at(eye, phase):
    at = min(range(len(eye["bathtub"]["phase_ui"])),
             key=lambda i: abs(eye["bathtub"]["phase_ui"][i] - phase))
    return eye["bathtub"]["height_v"][at]


def check_model_run(name, stdout, results):
    rows = table_rows(stdout, "pulse response")
    for label, key, fmt in RESPONSE_ROWS:
        compare(f"{name} {label}", rows[label],
                [formatted(fmt, results["responses"][k][key])
                 for k in ("channel", "after_tx_init")])
    change = re.search(r"relative to the main cursor: ([-+0-9.]+) dB", stdout).group(1)
    compare(f"{name} post-cursor change", change,
            "%+.2f" % results["responses"]["post_cursor_change_db"])
    rows = table_rows(stdout, "eye over 2 UI")
    eyes = [results["eyes"]["before_get_wave"], results["eyes"]["after_get_wave"]]
    for label, key, fmt in [("best phase (UI from cursor)", "best_phase_ui", "%+.3f"),
                            ("eye height at best phase (V)", "height_best_v", "%.6g"),
                            ("eye width (UI)", "width_ui", "%.3f"),
                            ("eye width (ps)", "width_ps", "%.2f")]:
        compare(f"{name} {label}", rows[label], [formatted(fmt, e[key]) for e in eyes])
    for phase in ("-0.500", "-0.250", "+0.000", "+0.250"):
        compare(f"{name} bathtub at {phase}", rows[phase],
                ["%.6g" % bathtub_at(e, float(phase)) for e in eyes])


def check_link_run(name, stdout, results):
    rows = table_rows(stdout, "pulse response")
    for label, key, fmt in RESPONSE_ROWS:
        compare(f"{name} {label}", rows[label],
                [formatted(fmt, results["responses"][k][key])
                 for k in ("channel", "after_tx_init", "after_rx_init")])
    rows = table_rows(stdout, "eye over 2 UI")
    eyes = [results["eyes"][k] for k in ("before_get_wave", "after_get_wave", "at_rx_clock")]
    for label, key, fmt in [("best phase (UI from reference)", "best_phase_ui", "%+.3f"),
                            ("eye height at best phase (V)", "height_best_v", "%.6g"),
                            ("eye height at reference (V)", "height_reference_v", "%.6g"),
                            ("eye width (UI)", "width_ui", "%.3f")]:
        compare(f"{name} {label}", rows[label], [formatted(fmt, e[key]) for e in eyes])
    clock = results["clock"]
    ticks = re.search(r"Rx clock: (\d+) ticks returned, (\d+) sampling instants", stdout)
    compare(f"{name} clock ticks", [int(ticks.group(1)), int(ticks.group(2))],
            [clock["ticks"], clock["in_eye"]])
    phase = re.search(r"mean ([-+0-9.]+) UI, spread ([0-9.]+) UI rms", stdout)
    compare(f"{name} clock phase", [phase.group(1), phase.group(2)],
            ["%+.4f" % clock["phase_mean_ui"], "%.4f" % clock["phase_spread_ui"]])


with tempfile.TemporaryDirectory() as work:
    stdout, results = run("model", [model, "--set", "TX_Corner=1", "--set", "TX_Preemph=1"], 0)
    check_model_run("model alone", stdout, results)
    compare("model alone: the files it lists exist",
            all(os.path.exists(os.path.join(work, "model", f)) for f in results["files"]), True)

    stdout, results = run("link", [model, "--set", "TX_Preemph=1", "--bits", "2000", "--rx",
                                   os.path.join(fakes, "fake_rx_model.so"),
                                   "--rx-set", "D=3", "--rx-set", "P=2"], 0)
    check_link_run("link", stdout, results)
    compare("link: the receiver's echo", results["inputs"]["receiver"]["parameters_echoed"],
            "(Fake_Rx(D 3)(G 1)(P 2)(T 1))")

    _, results = run("failed", [os.path.join(fakes, "vendor_getwave_fails.so"), "--bits", "1000"],
                     1)
    compare("failed run: marked incomplete with its reason",
            (results["complete"], results["status"], "returned 0" in results["failure"]),
            (False, 1, True))

for problem in problems:
    print("FAILED:", problem)
print(f"results_json: {compared} comparisons, {len(problems)} problems")
sys.exit(1 if problems else 0)
