"""Prints every report and every phone that comes or goes; a phone whose left
button goes down gets a vibration. Starts before the server if need be."""
import sys
import tvxhdv

with tvxhdv.open(sys.argv[1] if len(sys.argv) > 1 else ".", from_now=True, wait=True) as server:
    was_left = {}
    while True:
        event = server.wait(1.0)
        if event == "server_gone":
            print(server.reason, "Waiting for the next.", flush=True)
        elif event == "server_new":
            print("A server runs.", flush=True)
        elif event == "presence":
            for pointer, joined in server.presence():
                print("pointer %d %s" % (pointer, "joined" if joined else "left"), flush=True)
        for r in server.read():
            print("pointer %d x %d y %d left %d on_pad %d"
                  % (r.pointer, r.x, r.y, r.left, r.on_pad), flush=True)
            if r.left and not was_left.get(r.pointer):
                server.vibrate(r.pointer, tvxhdv.SHORT_SINGLE)
            was_left[r.pointer] = r.left
