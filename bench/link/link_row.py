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
    presses = re.search(r"(\d+) press", line)
    releases = re.search(r"(\d+) release", line)
    return (presses.group(1) if presses else "?", releases.group(1) if releases else "?")


def main():
    name, phones, line, stats = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    consumer_text, page_text, cpu, phones_line = (line.split("|", 3) + ["", "", ""])[:4]
    consumer = json.loads(consumer_text)
    page = json.loads(page_text) if page_text.strip() else None
    counts = emulator_counts(stats)
    clients = phones + (1 if page else 0)
    connections = counts.get("up", {}).get("connections", 0) / clients
    sent = phones_sent(phones_line)
    age = "%s/%s ms" % tuple("-" if v is None else "%.0f" % v
                             for v in (consumer["age_p50_ms"], consumer["age_p99_ms"]))
    phones_pr = "%s>%d %s>%d" % (sent[0], consumer["presses"], sent[1], consumer["releases"])
    if page:
        page_pr = "%d>%d %d>%d" % (page["sent_presses"], page["arrived_presses"],
                                    page["sent_releases"], page["arrived_releases"])
        delay = "-" if page["last_delay_ms"] is None else "%d ms" % page["last_delay_ms"]
        page_tail = "%s, %s" % (delay, " ".join(page["states"]))
    else:
        page_pr, page_tail = "-", "-"
    print("  %-20s %6d %9.1f %13s %7.1f %8s %-16s %-26s %s" % (
        name, phones, consumer["reports_per_s"], age, connections, cpu, phones_pr, page_pr, page_tail))


if __name__ == "__main__":
    main()
