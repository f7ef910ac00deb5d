"""One row of the link bench's table from what condition.sh and the
emulator said:

    python3 link_row.py NAME PHONES "CONSUMER|PAGE|CPU|PHONES_LAST_LINE" STATS_FILE
"""

import json
import re
import sys


def emulator_counts(path):
    counts = {}
    try:
        with open(path) as stats:
            for line in stats:
                words = line.split()
                if words and words[0] in ("up", "down"):
                    counts[words[0]] = dict(zip(words[1::2], map(int, words[2::2])))
    except OSError:
        pass
    return counts


def phones_sent(line):
    """Presses and releases phones.py says it sent, where its last line tells."""
    found = dict(re.findall(r"(\w+)=(\d+)", line))
    return found.get("presses", "?"), found.get("releases", "?"), found.get("connections")


def main():
    name, phones, line, stats = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    consumer_text, page_text, cpu, phones_line = (line.split("|", 3) + ["", "", ""])[:4]
    consumer = json.loads(consumer_text)
    page = json.loads(page_text) if page_text.strip() else None
    counts = emulator_counts(stats)
    clients = phones + (1 if page else 0)
    sent = phones_sent(phones_line)
    # phones.py's own count where it tells it, else the SYNs on the link
    # (the page's among them)
    connections = int(sent[2]) / phones if sent[2] else \
        counts.get("up", {}).get("connections", 0) / clients
    age = "%s/%s ms" % tuple("-" if v is None else "%.0f" % v
                             for v in (consumer["age_p50_ms"], consumer["age_p99_ms"]))
    phones_pr = "%s>%d %s>%d" % (sent[0], consumer["presses"], sent[1], consumer["releases"])
    if consumer["last_change_age_ms"] is not None:
        phones_pr += " %.0f ms" % consumer["last_change_age_ms"]
    if page and "moving" in page:
        page_pr = "-"
        page_tail = "reports/s moving %.1f (%.0f moves/s), resting %.1f, lifted %.1f" % (
            page["moving"], page["moves"], page["resting"], page["lifted"])
    elif page:
        made, arrived = page["made"], consumer["page_events"]
        page_pr = "%d>%d %d>%d" % (sum(e["down"] for e in made), sum(e[1] for e in arrived),
                                    sum(not e["down"] for e in made), sum(not e[1] for e in arrived))
        # The last one made is the last one to arrive only when all did.
        delay = "%.0f ms" % (arrived[-1][2] - made[-1]["at"]) if made and len(arrived) == len(made) else "-"
        page_tail = "%s, %s" % (delay, " ".join(page["states"]))
    else:
        page_pr, page_tail = "-", "-"
    print("  %-20s %6d %9.1f %13s %6.1f %6s %-24s %-14s %s" % (
        name, phones, consumer["reports_per_s"], age, connections, cpu, phones_pr, page_pr, page_tail))


if __name__ == "__main__":
    main()
