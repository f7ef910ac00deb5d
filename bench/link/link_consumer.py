"""The application's side of the link bench: reads every report through the
kit, then prints one JSON line of what came:

    python3 link_consumer.py FOLDER FIRST LAST PAGE

It reads until its standard input ends, or, after a line "end LEAST MOST",
until pointer PAGE's buttons changed MOST times, or LEAST times and none
came for three seconds, or ten seconds passed. The phones
FIRST to LAST count in the figures; their reports carry
their send time in X and Y (phones.py --stamp), so a report's age is its
read time less that; presses and releases are the left button's changes in
the order the reports came, and the last one's age is that of the report that
brought it. Of pointer PAGE (the real page) it gives the changes of both
buttons in order, each stamped with its read time in ms of the monotonic
clock, and its last report's X, Y and buttons.
"""

import json
import os
import select
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "sdk", "python"))
import tvxhdv  # noqa: E402


def percentile(values, fraction):
    if not values:
        return None
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    folder = sys.argv[1]
    first, last, page = int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    reports, ages, presses, releases, left, seen = 0, [], 0, 0, {}, {}
    last_change_age = None
    page_events, page_held, page_last = [], (False, False), None
    least, most, deadline, page_changed_at = None, None, None, time.monotonic()
    with tvxhdv.open(folder, from_now=True, wait=True) as server:
        print("ready", flush=True)
        while True:
            if most is None and select.select([sys.stdin], [], [], 0)[0]:
                words = sys.stdin.readline().split()
                if len(words) != 3:
                    break
                least, most, deadline = int(words[1]), int(words[2]), time.monotonic() + 10
            now = time.monotonic()
            if most is not None and (len(page_events) >= most or now > deadline or
                                     (len(page_events) >= least and now > page_changed_at + 3)):
                break
            server.wait(0.1)
            for report in server.read():
                if report.pointer == page:
                    for button, was, down in zip("LR", page_held, (report.left, report.right)):
                        if down != was:
                            page_events.append([button, down, report.read_at * 1000])
                            page_changed_at = time.monotonic()
                    page_held = (report.left, report.right)
                    page_last = [report.x, report.y, report.left, report.right]
                if not first <= report.pointer <= last:
                    continue
                reports += 1
                sent_ms = report.y << 16 | report.x
                ages.append((int(report.read_at * 1000) - sent_ms) % (1 << 32))
                span = seen.setdefault(report.pointer, [report.read_at, report.read_at])
                span[1] = report.read_at
                was = left.get(report.pointer, False)
                presses += report.left and not was
                releases += was and not report.left
                if was != report.left:
                    last_change_age = ages[-1]
                left[report.pointer] = report.left
    seconds = max((end for _, end in seen.values()), default=0) - \
        min((start for start, _ in seen.values()), default=0)
    print(json.dumps({
        "pointers": len(seen),
        "reports_per_s": reports / len(seen) / seconds if seen and seconds > 0 else 0,
        "age_p50_ms": percentile(ages, 0.5),
        "age_p99_ms": percentile(ages, 0.99),
        "presses": presses,
        "releases": releases,
        "last_change_age_ms": last_change_age,
        "page_events": page_events,
        "page_last": page_last,
        "read_until": time.monotonic(),
    }), flush=True)


if __name__ == "__main__":
    main()
