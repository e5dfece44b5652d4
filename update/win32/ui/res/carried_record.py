"""Writes the pack's record in the form Update.exe carries it.

Each line of the record (tools/media-common.sh, write_pack_record) begins
with the file's SHA-256 as the 64 hex digits sha256sum prints. The program
carries those 32 bytes instead of their text, so replacing a digest's text
in every file of the media leaves the program's own record as it was.

    python3 carried_record.py RECORD OUTPUT
"""
import sys

record, output = sys.argv[1], sys.argv[2]
with open(record, "rb") as f:
    lines = f.read().splitlines(keepends=True)
with open(output, "wb") as f:
    for line in lines:
        f.write(bytes.fromhex(line[:64].decode("ascii")) + line[64:])
