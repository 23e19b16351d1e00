#!/usr/bin/env python3
"""Turns the JSON of bench_triggerio into the results table of
docs/performance.md, between the lines "<!-- results -->" and
"<!-- /results -->"."""

import json
import sys

MARK_BEGIN, MARK_END = "<!-- results -->", "<!-- /results -->"

# Benchmark name (without its latency argument) -> row title, goal.
ACTIONS = [
    ("PageCreate", "Page create to first show painted", "≤ 300 ms; ≤ 15 ms at no latency"),
    ("FirstTick", "First tick after showing (re-reads everything shown)", ""),
    ("IdleTick", "Tick with nothing changed", "≤ 15 accesses; ≤ 1 ms at no latency"),
    ("ChangedTick/1", "Tick with 1 feature changed", ""),
    ("ChangedTick/10", "Tick with 10 features changed", "≤ 80 ms"),
    ("DialogOpen", "Advanced dialog open", "≤ 600 ms; ≤ 40 ms at no latency"),
    ("DialogClose", "Advanced dialog close (page back)", ""),
]


def load(path):
    """name -> {latency: record}, from medians where there are repeats."""
    with open(path, encoding="utf-8") as f:
        runs = json.load(f)["benchmarks"]
    results = {}
    for run in runs:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        parts = run["run_name"].split("/")
        parts = [p for p in parts if ":" not in p and p not in ("manual_time", "real_time")]
        name, latency = parts[0], None
        args = parts[1:]
        if name.startswith("Preset"):
            name, args = "Preset/" + args[0], args[1:]
        if name in ("NameLookup", "LiveWindow", "SimulatedSecond"):
            results.setdefault(name, {})["/".join(args)] = run
            continue
        latency = args[0]
        if args[1:]:
            name += "/" + "/".join(args[1:])
        results.setdefault(name, {})[latency] = run
    return results


def ms(run):
    unit = run.get("time_unit", "ms")
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[unit]
    return run["real_time"] * scale


def fmt_ms(value):
    return f"{value:.3f} ms" if value < 1 else f"{value:.1f} ms" if value < 100 else f"{value:.0f} ms"


def table(results):
    lines = ["| Action | Device accesses | Time at no latency | Time at 1 ms per access | Goal |",
             "|---|---|---|---|---|"]
    for key, title, goal in ACTIONS:
        runs = results.get(key, {})
        if "0" not in runs:
            continue
        accesses = runs["0"]["accesses"]
        slow = fmt_ms(ms(runs["1000"])) if "1000" in runs else "not run"
        lines.append(f"| {title} | {accesses:.0f} | {fmt_ms(ms(runs['0']))} | {slow} | {goal} |")
    lines += ["", "| Preset from the page's box | Device accesses | Lower bound | Ratio | Time at no latency | Time at 1 ms per access |",
              "|---|---|---|---|---|---|"]
    for name in (n for n in results if n.startswith("Preset/")):
        runs = results[name]
        if "0" not in runs:
            continue
        accesses, bound = runs["0"]["accesses"], runs["0"]["bound"]
        slow = fmt_ms(ms(runs["1000"])) if "1000" in runs else "not run"
        ratio = f"{accesses / bound:.2f}" if bound else "-"
        lines.append(f"| {name[len('Preset/'):]} | {accesses:.0f} | {bound:.0f} | {ratio} | {fmt_ms(ms(runs['0']))} | {slow} |")
    lookups = results.get("NameLookup", {})
    if lookups:
        lines += ["", "| Name lookup (the last feature) | Time | Camera calls |", "|---|---|---|"]
        for count, run in sorted(lookups.items(), key=lambda kv: int(kv[0])):
            lines.append(f"| {count} features | {run['real_time']:.0f} ns | {run['calls']:.0f} |")
    seconds = results.get("SimulatedSecond", {})
    if seconds:
        titles = {"0": "as described", "1": "10 kHz on every input line",
                  "2": "and a 100 kHz timer PWM on Line2", "3": "and a 1 MHz timer PWM on Line2"}
        lines += ["", "| One simulated second of the full camera | Real time |", "|---|---|"]
        for mode, run in sorted(seconds.items()):
            lines.append(f"| {titles.get(mode, mode)} | {fmt_ms(ms(run))} |")
    live = results.get("LiveWindow", {})
    signals = {"0": "its own signals (inputs at 1 and 2 Hz)",
               "3": "10 kHz on every input line and a 1 MHz timer PWM on Line2"}
    for key, run in sorted(live.items()):
        latency, mode = (key.split("/") + ["0"])[:2]
        lines += ["", f"Live window, {ms(run) / 1000:.0f} s on the running camera with {signals.get(mode, mode)}, "
                  f"at {int(latency) / 1000:g} ms per access: worst GUI stall {run['worst_stall_ms']:.0f} ms, "
                  f"GUI blocked {run['blocked_pct']:.1f} % of the time, {run['accesses_per_s']:.1f} device "
                  f"accesses per second."]
    return "\n".join(lines)


def main():
    source, document = sys.argv[1], sys.argv[2]
    results = load(source)
    with open(document, encoding="utf-8") as f:
        text = f.read()
    begin, end = text.index(MARK_BEGIN) + len(MARK_BEGIN), text.index(MARK_END)
    text = text[:begin] + "\n" + table(results) + "\n" + text[end:]
    with open(document, "w", encoding="utf-8") as f:
        f.write(text)


if __name__ == "__main__":
    main()
