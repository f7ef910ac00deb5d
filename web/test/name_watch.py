"""Prints one JSON line for each rename of a pointer as the consumers' kit
tells it, with the wall-clock time it was seen (ms):
    name_watch.py FOLDER POINTER
The first line is the name at the start."""
import json
import sys
import time

import tvxhdv

folder, pointer = sys.argv[1], int(sys.argv[2])
server = tvxhdv.open(folder)


def tell():
    print(json.dumps({"name": server.name(pointer), "at": time.time() * 1000}), flush=True)


tell()
while True:
    if server.wait(0.002) == "reports":
        server.skip()
    for changed, change in server.presence():
        if changed == pointer and change == tvxhdv.RENAMED:
            tell()
