# The release command's proof that its media can be rebuilt bit for bit
# (make-media.sh --check); sourced by make-media.sh once it has built them.

# What a build of the media leaves, under the tree $1, in the order they are
# compared, causes before what is made of them: the programs before signing
# with their debug files, the media folder, then its image and checksums.
release_outputs() {
  local dir
  for dir in build/release-i686/programs build/release-x86_64/programs build/media/media; do
    (cd "$1" && find "$dir" -type f | LC_ALL=C sort)
  done
  (cd "$1" && find build/media -maxdepth 1 -type f | LC_ALL=C sort)
}

# Compares the outputs of the trees $1 and $2 file by file; names the first
# file that is missing from one of them or differs, and fails there.
compare_release_outputs() {
  local first=$1 second=$2 file extra
  while read -r file; do
    if [ ! -f "$second/$file" ]; then
      echo "Not made by the rebuild: $file" >&2
      return 1
    fi
    if ! cmp "$first/$file" "$second/$file" >&2; then
      echo "First file that differs: $file" >&2
      return 1
    fi
  done < <(release_outputs "$first")
  extra=$(comm -13 <(release_outputs "$first" | LC_ALL=C sort) \
    <(release_outputs "$second" | LC_ALL=C sort) | head -1)
  if [ -n "$extra" ]; then
    echo "Made only by the rebuild: $extra" >&2
    return 1
  fi
}

# Builds the media of the tree $1 again, from a fresh clone of its commit in a
# folder of its own, with the same payload ($2, or none) and the signing key
# prepare_signing chose, and compares. The clone is removed when everything
# matches and kept to look into otherwise.
check_rebuild() {
  local tree=$1 payload=${2:-} commit clone
  commit=$(git -C "$tree" rev-parse HEAD)
  clone=$(mktemp -d "${TMPDIR:-/tmp}/media-rebuild.XXXXXX")
  echo "=== Rebuilding $commit in $clone (its output goes to $clone.log)"
  git clone --quiet --no-checkout "$tree" "$clone"
  git -C "$clone" checkout --quiet --detach "$commit"
  # The same key signs the rebuild: the releaser's, or this build's throwaway one.
  (cd "$clone" &&
    SIGNING_PKCS12=${SIGNING_PKCS12:-$tree/build/signing/key.p12} SIGNING_PASSWORD=$signing_password \
      bash tools/make-media.sh ${payload:+"$payload"} > "$clone.log" 2>&1) || {
    echo "make-media.sh --check: the rebuild failed; its output is in $clone.log" >&2
    return 1
  }
  if ! compare_release_outputs "$tree" "$clone"; then
    echo "make-media.sh --check: the rebuild differs; it is kept in $clone" >&2
    return 1
  fi
  rm -rf "$clone" "$clone.log"
  echo "Rebuilt in a fresh clone: the programs before signing, their debug files, the signed"
  echo "programs, the media, the image and SHA256SUMS are the same, byte for byte."
}
