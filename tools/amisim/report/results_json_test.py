#!/usr/bin/env python3
"""results.json as a program reads it: runs of the stand-in (the model alone,
a whole link, PAM4 runs, a run whose model fails) validate against the documented JSON
Schema, and every figure the printed tables show is the figure the file
holds, read independently of the stand-in's code.

Usage: results_json_test.py AMISIM MODEL FAKE_MODEL_DIR SCHEMA [EXAMPLE_RX]
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
example_rx = sys.argv[5] if len(sys.argv) > 5 else ""
line_pair = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples",
                         "line_pair.s4p")
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


def check_error_rate_run(name, stdout, results):
    """The error-rate tables against statistical_eye and error_rate."""
    eye = results["statistical_eye"]["eyes"][0]
    rows = table_rows(stdout, "statistical eye at  ")
    header = next(line for line in stdout.splitlines() if line.startswith("statistical eye at  "))
    shown = [next(c for c in eye["contours"] if "%g" % c["ber"] == rate)
             for rate in header.split()[3:]]
    for label, key, fmt in [("eye height (V)", "height_v", "%.4g"),
                            ("at phase (UI from centre)", "best_phase_ui", "%+.3f"),
                            ("eye width (UI)", "width_ui", "%.3f")]:
        compare(f"{name} contours: {label}", rows[label],
                [fmt % c[key] if c["open"] else "closed" for c in shown])
    rows = table_rows(stdout, "statistical eye at 1e")
    target = eye["at_target"]
    compare(f"{name} noise at the decision point", rows["noise at decision point (V)"],
            ["%.4g" % results["statistical_eye"]["noise_v"]])
    for label, key, fmt in [("eye height (V)", "height_v", "%.6g"),
                            ("best phase (UI from centre)", "best_phase_ui", "%+.3f"),
                            ("eye width (UI)", "width_ui", "%.3f"),
                            ("eye width (ps)", "width_ps", "%.2f"),
                            ("width from (UI)", "left_ui", "%+.3f"),
                            ("width to (UI)", "right_ui", "%+.3f")]:
        compare(f"{name} at the target: {label}", rows[label],
                [fmt % target[key] if target["open"] else "closed"])
    phases = results["statistical_eye"]["phase_ui"]
    for label, values in rows.items():
        if label.startswith("error rate at "):
            phase = float(label.split()[3])
            at = min(range(len(phases)), key=lambda i: abs(phases[i] - phase))
            compare(f"{name} time bathtub at {phase}", values,
                    ["%.3e" % eye["time_bathtub_ber"][at]])
    counted = results["error_rate"]
    rows = table_rows(stdout, "errors at the decisions")
    compare(f"{name} sampled at", rows["sampled at (UI from centre)"],
            ["%+.4f" % counted["phase_ui"]] * 2)
    compare(f"{name} decisions and errors", [rows["decisions"][0], rows["errors"][0]],
            [str(counted["decisions"]), str(counted["errors"])])
    compare(f"{name} counted and statistical rates", rows["error rate"],
            ["%.3e" % counted["ber"], "%.3e" % counted["statistical_ber"]])
    compare(f"{name} interval", [rows["95% interval, low"][0], rows["95% interval, high"][0]],
            ["%.3e" % counted["interval_low"], "%.3e" % counted["interval_high"]])
    jitter = counted["crossing_jitter"]
    rows = table_rows(stdout, "jitter of the crossings")
    ui_ps = results["inputs"]["bit_time_s"] * 1e12
    compare(f"{name} crossings", rows["crossings"][0], str(jitter["crossings"]))
    compare(f"{name} transition density", rows["transition density"][0],
            "%.4f" % jitter["transition_density"])
    for label, key, ui_fmt, ps_fmt in [("mean (TIE)", "mean_ui", "%+.4f", "%+.3f"),
                                       ("rms (TIE)", "rms_ui", "%.4f", "%.3f"),
                                       ("Dj (dual Dirac)", "dj_ui", "%.4f", "%.3f"),
                                       ("Rj (dual Dirac)", "rj_ui", "%.4f", "%.3f"),
                                       ("Tj at %g" % jitter["tj_ber"], "tj_ui", "%.4f", "%.3f")]:
        compare(f"{name} {label}", rows[label],
                [ui_fmt % jitter[key], ps_fmt % (jitter[key] * ui_ps)])


def fixed_rows(stdout, title, columns):
    """The rows of a printed table of 18-character columns (whose texts may
    hold blanks): label -> the columns' texts."""
    lines = stdout.splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(title))
    rows = {}
    for line in lines[start + 1:]:
        if not line.startswith("  ") or len(line) != 32 + 18 * columns:
            break
        rows[line[2:32].strip()] = [line[32 + 18 * c:50 + 18 * c].strip() for c in range(columns)]
    return rows


def figure_or(fmt, value, missing="n/a"):
    return missing if value is None else fmt % value


def check_pam_eyes(name, stdout, results, places):
    """Each place's table of PAM4 eyes (the highest first) and its level line
    against eyes.PLACE.pam."""
    for title, key, reference, at in places:
        pam = results["eyes"][key]["pam"]
        eyes = pam["eyes"][::-1]
        rows = fixed_rows(stdout, f"{title}: PAM4 eyes", len(eyes))
        compare(f"{name} {title}: the eyes", rows[f"read at (UI from {reference})"],
                ["%+.3f" % e["read_phase_ui"] for e in eyes])
        for label, field, fmt in [("threshold (V)", "threshold_v", "%.6g"),
                                  ("threshold from", "threshold_from", "%s"),
                                  ("eye height there (V)", "height_there_v", "%.6g"),
                                  ("width at threshold (UI)", "width_at_threshold_ui", "%.3f"),
                                  (f"best phase (UI from {reference})", "best_phase_ui", "%+.3f"),
                                  ("eye height at best phase (V)", "height_best_v", "%.6g"),
                                  ("eye width (UI)", "width_ui", "%.3f")]:
            compare(f"{name} {title}: {label}", rows[label],
                    [figure_or(fmt, e[field]) for e in eyes])
        for phase in ("-0.500", "-0.250", "+0.000", "+0.250"):
            compare(f"{name} {title}: bathtub at {phase}", rows[f"bathtub at {phase} UI (V)"],
                    [figure_or("%.6g", bathtub_at(e, float(phase))) for e in eyes])
        levels = re.search(re.escape(f"levels at {at} (V): ") + r"([^;]*); RLM ([0-9.]+)", stdout)
        compare(f"{name} {title}: levels and RLM", [levels.group(1).split(), levels.group(2)],
                [["%+.4f" % v for v in pam["level_means_v"]],
                 "%.4f" % pam["level_mismatch"]["rlm"]])
        least = min((e for e in eyes if e["measured_there"]), key=lambda e: e["height_there_v"])
        compare(f"{name} {title}: the place's figures are its least open eye's",
                results["eyes"][key]["height_best_v"], least["height_best_v"])


def check_pam_error_rate(name, stdout, results):
    """The statistical eye's and the counted tables of a PAM4 run, each eye
    a column or a group of rows, the highest first."""
    statistical = results["statistical_eye"]
    eyes = statistical["eyes"][::-1]
    rows = table_rows(stdout, "statistical eye at  ")
    for eye in eyes:
        shown = [c for c in eye["contours"] if c["ber"] in (1e-3, 1e-6, 1e-9, 1e-12, 1e-15)]
        compare(f"{name} contours of the {eye['name']} eye", rows[f"{eye['name']}: height (V)"],
                ["%.4g" % c["height_v"] if c["open"] else "closed" for c in shown])
    rows = fixed_rows(stdout, "statistical eye at 1e", 3)
    compare(f"{name} statistical thresholds", rows["threshold (V)"],
            ["%.6g" % t for t in statistical["thresholds_v"][::-1]])
    compare(f"{name} the thresholds decided at", statistical["thresholds_v"],
            results["modulation"]["thresholds_v"])
    for label, key, fmt in [("eye height (V)", "height_v", "%.6g"),
                            ("eye width (UI)", "width_ui", "%.3f")]:
        compare(f"{name} at the target: {label}", rows[label],
                [fmt % e["at_target"][key] if e["at_target"]["open"] else "closed" for e in eyes])
    compare(f"{name} time bathtubs at the centre", rows["error rate at +0.000 UI"],
            ["%.3e" % e["time_bathtub_ber"][len(e["time_bathtub_ber"]) // 2] for e in eyes])
    levels = re.search(r"  levels at the centre \(V\): ([^;]*); RLM ([0-9.]+)", stdout)
    compare(f"{name} statistical levels", [levels.group(1).split(), levels.group(2)],
            [["%+.4f" % v for v in statistical["level_means_v"]],
             "%.4f" % statistical["level_mismatch"]["rlm"]])
    counted = results["error_rate"]
    rows = table_rows(stdout, "errors at the decisions")
    for label, counted_value in [("symbols decided", str(counted["decisions"])),
                                 ("symbol errors", str(counted["errors"])),
                                 ("bits", str(counted["bits"])),
                                 ("bit errors", str(counted["bit_errors"]))]:
        compare(f"{name} {label}", rows[label][0], counted_value)
    compare(f"{name} symbol error rates", rows["symbol error rate"],
            ["%.3e" % counted["ber"], "%.3e" % counted["statistical_ber"]])
    compare(f"{name} bit error rates", rows["bit error rate"],
            ["%.3e" % counted["bit_error_rate"], "%.3e" % counted["statistical_bit_error_rate"]])
    compare(f"{name} bit interval",
            [rows["bit 95% interval, low"][0], rows["bit 95% interval, high"][0]],
            ["%.3e" % counted["bit_interval_low"], "%.3e" % counted["bit_interval_high"]])
    compare(f"{name} level mismatch", rows["level mismatch (RLM)"][0],
            "%.4f" % counted["level_mismatch"]["rlm"])
    compare(f"{name} the eyes' statistical rates sum to the symbols'",
            math.isclose(sum(counted["statistical_by_eye"]), counted["statistical_ber"],
                         rel_tol=1e-12), True)


def check_reports(name, stdout, reports, who):
    """The printed table of what a model reported, against results.json."""
    rows = table_rows(stdout, f"{who} GetWave reports ({reports['calls']} calls)")
    compare(f"{name}: a row per series", len(rows), len(reports["series"]))
    for series in reports["series"]:
        settled = "n/a" if series["reports"] < 2 else "yes" if series["has_settled"] else "no"
        compare(f"{name} {series['name']}", rows[series["name"]],
                ["%.6g" % series["first"]["value"], "%.6g" % series["last"]["value"],
                 "%.6g" % series["settled"], "%.6g" % series["spread"], settled])


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

    stdout, results = run("error rate, link", [
        model, "--bits", "20000", "--rx", os.path.join(fakes, "fake_rx_model.so"),
        "--rx-set", "D=3", "--rx-set", "G=0.5", "--noise", "0.1", "--rx-rj", "0.01UI",
        "--tx-dj", "1e-12", "--target-ber", "1e-9"], 0)
    check_link_run("error rate, link", stdout, results)
    check_error_rate_run("error rate, link", stdout, results)
    compare("error rate, link: the receiver's noise gain",
            results["statistical_eye"]["noise_gain"], 0.5)
    stdout, results = run("error rate, model", [model, "--bits", "20000", "--rx-noise", "0.05"], 0)
    check_model_run("error rate, model", stdout, results)
    check_error_rate_run("error rate, model", stdout, results)
    compare("error rate, model: the files it lists exist",
            all(os.path.exists(os.path.join(work, "error rate, model", f))
                for f in results["files"]), True)

    stdout, results = run("pam4, model", [model, "--bits", "20000", "--modulation", "PAM4",
                                          "--rx-noise", "0.02"], 0)
    check_pam_eyes("pam4, model", stdout, results,
                   [("before GetWave", "before_get_wave", "cursor", "the cursor, before GetWave"),
                    ("after GetWave", "after_get_wave", "cursor", "the cursor, after GetWave")])
    check_pam_error_rate("pam4, model", stdout, results)

    if example_rx:
        stdout, results = run("pam4, link", [
            model, "--set", "TX_Preemph=1", "--channel", line_pair, "--bits", "20000", "--rx",
            example_rx, "--modulation", "PAM4", "--rx-noise", "0.03"], 0)
        check_pam_eyes("pam4, link", stdout, results,
                       [("Rx input", "before_get_wave", "cursor", "the cursor, Rx input"),
                        ("Rx output", "after_get_wave", "cursor", "the cursor, Rx output"),
                        ("at Rx clock", "at_rx_clock", "clock", "the Rx clock")])
        check_pam_error_rate("pam4, link", stdout, results)
        compare("pam4, link: the receiver told PAM4",
                results["inputs"]["receiver"]["parameters_sent"], "(Example_Rx (Rx_Modulation PAM4))")
        compare("pam4, link: the three eyes open at the receiver's clock",
                [e["height_there_v"] > 0 for e in results["eyes"]["at_rx_clock"]["pam"]["eyes"]],
                [True] * 3)
        check_reports("pam4, link", stdout, results["reports"]["receiver"], "Rx")

        stdout, results = run("reports", [model, "--bits", "8000", "--rx", example_rx], 0)
        check_reports("reports", stdout, results["reports"]["receiver"], "Rx")
        compare("reports: the Tx reports nothing", results["reports"]["transmitter"]["without_text"],
                results["reports"]["transmitter"]["calls"])

    _, results = run("failed", [os.path.join(fakes, "vendor_getwave_fails.so"), "--bits", "1000"],
                     1)
    compare("failed run: marked incomplete with its reason",
            (results["complete"], results["status"], "returned 0" in results["failure"]),
            (False, 1, True))

for problem in problems:
    print("FAILED:", problem)
print(f"results_json: {compared} comparisons, {len(problems)} problems")
sys.exit(1 if problems else 0)
