#!/usr/bin/env python3
"""Summary lines of bench/xml_bench from its Google Benchmark JSON output (median of repetitions).

  bench: xml_parse_<doc> ours=<Mchar/s> peer=<Mchar/s> ratio=<ours/peer>   (above 1: we are faster)
  bench: to_xml growth_100k_over_10k=<time(100000 items) / time(10000 items)>
  bench: from_xml growth_100k_over_10k=<...>
  bench: packet_roundtrip ours=<us> target=2us ratio=<target/ours>        (above 1: within target)
"""
import json
import sys


def medians(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate" and b.get("aggregate_name") != "median":
            continue
        out[b.get("run_name", b["name"])] = b
    return out


def seconds(b):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
    return b["real_time"] * scale


def main(path):
    runs = medians(path)
    lines = []
    # Property-map documents by size, then the others; the run order itself is shuffled.
    docs = sorted((name.split("/")[2] for name in runs if name.startswith("xml_parse/ours/")),
                  key=lambda doc: (not doc.startswith("map_"), runs[f"xml_parse/ours/{doc}"].get("chars", 0), doc))
    for doc in docs:
        ours = runs[f"xml_parse/ours/{doc}"]["items_per_second"] / 1e6
        peer = runs[f"xml_parse/peer/{doc}"]["items_per_second"] / 1e6
        lines.append(f"bench: xml_parse_{doc} ours={ours:.0f}Mchar/s peer={peer:.0f}Mchar/s ratio={ours / peer:.2f}")
    for name in ("to_xml", "from_xml"):
        small, large = runs.get(f"{name}/10000"), runs.get(f"{name}/100000")
        if small and large:
            lines.append(f"bench: {name} growth_100k_over_10k={seconds(large) / seconds(small):.2f}")
    packet = runs.get("packet_roundtrip")
    if packet:
        us = seconds(packet) * 1e6
        lines.append(f"bench: packet_roundtrip ours={us:.2f}us target=2us ratio={2.0 / us:.2f}")
    print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv[1])
