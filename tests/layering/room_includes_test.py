#!/usr/bin/env python3
"""Checks that each folder of src/ is one room and that its files include only from it and the rooms it links.

room_includes_test.py SOURCE_DIR ROOMS_JSON

ROOMS_JSON is what src/CMakeLists.txt writes at configure time from the rooms'
target_link_libraries: for each room library, the files it lists and the rooms it
links. A file belongs to telvarn_<its top folder>, and each library may list only
files of its own folder, so that an include read as a path says which room it
reaches.
"""
import json
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCE_ENDINGS = (".h", ".cpp", ".inc")


def owner_of(path, rooms):
    room = "telvarn_" + path.split("/", 1)[0]
    return room if room in rooms else None


def main():
    source_dir, rooms_json = sys.argv[1], sys.argv[2]
    with open(rooms_json) as f:
        rooms = json.load(f)
    folders = {name for name in os.listdir(source_dir) if os.path.isdir(os.path.join(source_dir, name))}
    faults = []
    for room, record in sorted(rooms.items()):
        for source in record["sources"]:
            if owner_of(source, rooms) != room:
                faults.append("%s: listed by %s, but lies in the folder of %s" %
                              (source, room, owner_of(source, rooms) or "no room"))
    files = 0
    for folder in sorted(folders):
        for root, _, names in os.walk(os.path.join(source_dir, folder)):
            for name in sorted(names):
                if not name.endswith(SOURCE_ENDINGS):
                    continue
                path = os.path.relpath(os.path.join(root, name), source_dir).replace(os.sep, "/")
                room = owner_of(path, rooms)
                if room is None:
                    faults.append("%s: no room library holds it" % path)
                    continue
                files += 1
                with open(os.path.join(source_dir, path), encoding="utf-8") as f:
                    text = f.read()
                for included in INCLUDE.findall(text):
                    if included.split("/", 1)[0] not in folders or "/" not in included:
                        continue
                    target = owner_of(included, rooms)
                    if target is None:
                        faults.append("%s: includes %s, which no room library holds" % (path, included))
                    elif target != room and target not in rooms[room]["links"]:
                        faults.append("%s: includes %s of %s, which %s does not link" %
                                      (path, included, target, room))
    for fault in faults:
        print(fault)
    if faults:
        print("room includes: %d faults against the layering" % len(faults))
        return 1
    print("room includes: %d files, all checks passed" % files)
    return 0


if __name__ == "__main__":
    sys.exit(main())
