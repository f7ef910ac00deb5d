"""One row of the link bench's table from what condition.sh and the
emulator said:

    python3 link_row.py NAME PHONES "CONSUMER|PAGE|CPU|PHONES_LAST_LINE" STATS_FILE
    python3 link_row.py --awaited PAGE
        "LEAST MOST": how many of the page's changes may arrive at least and
        at most (link_consumer.py's "end" line)

The page's taps must arrive as made: all of those it took in while it said
it was connected, none of those it took in while it said it was not; a tap
made as the page changed its word may arrive or not.
"""

import json
import re
import sys

CONNECTED = ("connected", "slow")
# The pointer is right where it is within this of where the finger left it
# (a pad of 400 pixels: a pixel is 164).
POINTER_SLACK = 400


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
    """Presses and releases phones.py says it sent, where its last line
    tells, its connections and the reports still unanswered at its end (which
    may have arrived uncounted)."""
    found = dict(re.findall(r"(\w+)=(\d+)", line))
    return (found.get("presses", "?"), found.get("releases", "?"), found.get("connections"),
            int(found.get("unsent", 0)))


def key(button, down):
    return button + ("v" if down else "^")


def taps(made):
    """The page's changes as (key, kind), in the order made: kind "counts",
    "not" (its tap's press was made while the page said not connected) or
    "either"; a release is of its button's press before it."""
    found, press_kind = [], {}
    for event in made:
        if event["down"]:
            shown = event.get("shown", list(CONNECTED[:1]))
            press_kind[event["button"]] = "counts" if all(s in CONNECTED for s in shown) else \
                "not" if not any(s in CONNECTED for s in shown) else "either"
        kind = press_kind.get(event["button"], "counts")
        found.append((key(event["button"], event["down"]), kind))
    return found


def awaited(made):
    kinds = [kind for _, kind in taps(made)]
    return kinds.count("counts"), kinds.count("counts") + kinds.count("either")


def arrived_as_made(made, arrived):
    """Whether the arrived changes are those that count, in order, with any
    of those made as the page changed its word."""
    expected = [change for change in taps(made) if change[1] != "not"]
    arrived = [key(button, down) for button, down, _ in arrived]
    # reachable: how many arrived changes the expected ones so far can match
    reachable = {0}
    for wanted, kind in expected:
        matched = {at + 1 for at in reachable if at < len(arrived) and arrived[at] == wanted}
        reachable = matched | (reachable if kind == "either" else set())
    return len(arrived) in reachable


def page_columns(page, consumer):
    """The page's presses and releases made>arrived, and what the row says
    of them."""
    if "moving" in page:
        return "-", "reports/s moving %.1f (%.0f moves/s), resting %.1f, lifted %.1f" % (
            page["moving"], page["moves"], page["resting"], page["lifted"])
    made, arrived = page["made"], consumer["page_events"]
    counts = "%d>%d %d>%d" % (sum(e["down"] for e in made), sum(e[1] for e in arrived),
                              sum(not e["down"] for e in made), sum(not e[1] for e in arrived))
    as_made = arrived_as_made(made, arrived)
    words = ["in order" if as_made else "NOT AS MADE"]
    if made and arrived:
        delay, trips = arrived[-1][2] - made[-1]["at"], page.get("lastTripsMs")
        # Two round trips: the request in flight that the change waited for,
        # and the one that carried it.
        bound = " %s its two round trips (%.0f + %.0f ms)" % (
            "within" if delay <= sum(trips) else "BEYOND", *trips) if trips else ""
        words.append("last %.0f ms%s" % (delay, bound))
        if page.get("roundTripMs"):
            words.append("round trip p50 %.0f ms" % page["roundTripMs"])
    unsaid = sum(kind == "not" and change.endswith("v") for change, kind in taps(made))
    if unsaid:
        words.append("%d taps while Not connected%s" % (
            unsaid, ", none arrived" if as_made else ""))
    if "finger" in page:
        last, finger = consumer.get("page_last"), page["finger"]
        right = bool(last and finger and not last[3] and not last[2] and
                     all(abs(a - b) <= POINTER_SLACK for a, b in zip(last, finger)))
        if as_made:
            words.append("L held through it")
        words.append("afterwards pointer and buttons " + (
            "right" if right else "WRONG %s, finger %s" % (last, finger)))
    return counts, ", ".join(words)


def main():
    if sys.argv[1] == "--awaited":
        page = json.loads(sys.argv[2]) if sys.argv[2].strip() not in ("", "null") else None
        print("%d %d" % awaited(page.get("made", [])) if page else "0 0")
        return
    name, phones, line, stats = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    consumer_text, page_text, cpu, phones_line = (line.split("|", 3) + ["", "", ""])[:4]
    consumer = json.loads(consumer_text)
    page = json.loads(page_text) if page_text.strip() not in ("", "null") else None
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
    if sent[3]:
        phones_pr += " +%d unsent" % sent[3]
    page_pr, page_tail = page_columns(page, consumer) if page else ("-", "-")
    if page and "states" in page:
        page_tail += "; " + " ".join(page["states"])
    print("  %-20s %6d %9.1f %13s %6.1f %6s %-24s %-14s %s" % (
        name, phones, consumer["reports_per_s"], age, connections, cpu, phones_pr, page_pr,
        page_tail))


if __name__ == "__main__":
    main()
