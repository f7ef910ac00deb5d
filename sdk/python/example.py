"""Prints every report; a phone whose left button goes down gets a vibration."""
import sys
import tvxhdv

with tvxhdv.open(sys.argv[1] if len(sys.argv) > 1 else ".", from_now=True) as server:
    was_left = {}
    while True:
        event = server.wait(1.0)
        if event == "server_gone":
            print("The server ended; waiting for the next.", flush=True)
        elif event == "server_new":
            print("A new server runs.", flush=True)
        for r in server.read():
            print("pointer %d x %d y %d left %d on_pad %d"
                  % (r.pointer, r.x, r.y, r.left, r.on_pad), flush=True)
            if r.left and not was_left.get(r.pointer):
                server.vibrate(r.pointer, tvxhdv.SHORT_SINGLE)
            was_left[r.pointer] = r.left
