#!/usr/bin/env python3
"""Packs a plugin folder into a .tvp plugin file.

Usage: pack-plugin.py FOLDER OUTPUT.tvp [--add ENTRY=PATH]...

Every file below FOLDER (manifest.json, the icon, scripts, images) goes into
the archive, deflated, under its path relative to FOLDER with "/" separators.
Hidden files, editor backups and the build's own "extra-files.cmake" are left
out. Each --add puts the file PATH into the archive as ENTRY, for files the
plugin takes from elsewhere on the system (a word list from a package, say). The manifest is checked before
anything is written: it must be a JSON object with every member the program
requires, naming an icon that exists in the folder.
"""

import json
import os
import sys
import zipfile


def fail(message):
    print("pack-plugin: " + message, file=sys.stderr)
    sys.exit(1)


def collect(folder):
    entries = []
    for root, dirs, files in os.walk(folder):
        dirs[:] = sorted(d for d in dirs if not d.startswith("."))
        for name in sorted(files):
            if name.startswith(".") or name.endswith("~") or name == "extra-files.cmake":
                continue
            path = os.path.join(root, name)
            entries.append((os.path.relpath(path, folder).replace(os.sep, "/"), path))
    return entries


def main(argv):
    if len(argv) < 3 or len(argv) % 2 == 0:
        fail("usage: pack-plugin.py FOLDER OUTPUT.tvp [--add ENTRY=PATH]...")
    folder, output = argv[1], argv[2]
    if not output.endswith(".tvp"):
        fail("the output file must end in .tvp")
    entries = collect(folder)
    for flag, value in zip(argv[3::2], argv[4::2]):
        entry, separator, path = value.partition("=")
        if flag != "--add" or not separator or not entry or not os.path.isfile(path):
            fail("cannot add '%s %s': give --add ENTRY=PATH of an existing file" % (flag, value))
        if entry.lower() in {name.lower() for name, _ in entries}:
            fail("entry '%s' is already in the folder" % entry)
        entries.append((entry, path))
    names = {name.lower() for name, _ in entries}
    manifest_path = os.path.join(folder, "manifest.json")
    try:
        with open(manifest_path, "rb") as handle:
            manifest = json.loads(handle.read().decode("utf-8"))
    except (OSError, ValueError) as error:
        fail("cannot read %s: %s" % (manifest_path, error))
    if not isinstance(manifest, dict):
        fail("manifest.json is not a JSON object")
    for key in ("id", "class", "name", "version", "author", "description", "icon"):
        if not isinstance(manifest.get(key), str):
            fail("manifest.json '%s' is not a string" % key)
    if manifest.get("format_version") != 1:
        fail("manifest.json 'format_version' must be 1")
    if not isinstance(manifest.get("data"), dict):
        fail("manifest.json 'data' is not an object")
    if not isinstance(manifest.get("options"), list):
        fail("manifest.json 'options' is not an array")
    if manifest["icon"].lower() not in names:
        fail("icon '%s' is not in the folder" % manifest["icon"])

    temporary = output + ".part"
    with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, path in entries:
            archive.write(path, name)
    os.replace(temporary, output)
    print("%s: %d entries" % (output, len(entries)))


if __name__ == "__main__":
    main(sys.argv)
