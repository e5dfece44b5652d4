# The service pack's media folder, shared by the release command and the demo; sourced.
#   <media>\Update.exe        the wizard (32-bit)
#   <media>\Velquin.exe       the filter-driver utility (32-bit)
#   <media>\x64\Velquin.exe   the same utility for 64-bit Windows
#   <media>\Events\Events\... the pack's event definitions, copied over the installation's
#   <media>\Database\OrvDb.mdb the pack's database
#   <media>\Version.bin       the pack's version, read by the wizard

# The pack's version: the project's version in the configured build tree $1.
pack_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

# Writes the version file $1 for version $2: the version between two
# delimiters on the first line, the form the wizard takes it from.
write_version_file() {
  printf '[%s]\r\n' "$2" > "$1"
}

# Prints what the payload folder $1 lacks, one piece a line; prints nothing
# when it has everything the media takes from it.
missing_payload_pieces() {
  local payload=$1
  [ -d "$payload" ] || { echo "the folder itself ($payload)"; return; }
  [ -d "$payload/Events/Events" ] || echo "folder Events/Events"
  [ -f "$payload/Database/OrvDb.mdb" ] || echo "file Database/OrvDb.mdb"
}

# Writes a small stand-in payload for version $2 to $1: a few event files and a database.
make_demo_payload() {
  local payload=$1 version=$2
  mkdir -p "$payload/Events/Events/Sub" "$payload/Database"
  echo "event definitions $version" > "$payload/Events/Events/Events.evt"
  echo "sub events" > "$payload/Events/Events/Sub/More.evt"
  echo "database $version" > "$payload/Database/OrvDb.mdb"
}

# Lays out the media folder $1 from the payload folder $2 with version $3:
# the payload's two pieces and Version.bin. The programs are copied by the caller.
lay_out_payload() {
  local media=$1 payload=$2 version=$3
  mkdir -p "$media/Events" "$media/Database"
  cp -a "$payload/Events/Events" "$media/Events/"
  cp -a "$payload/Database/OrvDb.mdb" "$media/Database/"
  write_version_file "$media/Version.bin" "$version"
}

# The project's version, as CMakeLists.txt names it, for media laid out
# before anything is configured.
project_version() {
  sed -n 's/^project([^ ]* VERSION \([^ )]*\).*/\1/p' CMakeLists.txt
}

# Writes to $2 the record of the pack in the media folder $1, which the
# release build puts into Update.exe (update/core/pack_record.hpp): one line
# a file, "<sha256> <size> <path>" with backslashes, in byte order of the
# paths: every file of Events/Events, Database/OrvDb.mdb and Version.bin.
# It holds nothing but the files' bytes and names: the same payload gives
# the same record.
write_pack_record() {
  python3 - "$1" "$2" <<'PY'
import hashlib, os, sys
media, record = sys.argv[1], sys.argv[2]
paths = [os.path.relpath(os.path.join(folder, name), media)
         for folder, _, names in os.walk(os.path.join(media, "Events", "Events")) for name in names]
paths += [os.path.join("Database", "OrvDb.mdb"), "Version.bin"]
lines = []
for path in paths:
    digest = hashlib.sha256()
    with open(os.path.join(media, path), "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    name = path.replace(os.sep, "\\").encode("utf-8", "surrogateescape")
    lines.append(b"%s %d %s\n" % (digest.hexdigest().encode(), os.path.getsize(os.path.join(media, path)), name))
with open(record, "wb") as f:
    f.writelines(sorted(lines, key=lambda line: line.split(b" ", 2)[2]))
PY
}
