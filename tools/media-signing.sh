# Authenticode signing of the programs on the media, for the release command; sourced.
# The releaser names the certificate in the environment:
#   SIGNING_PKCS12          PKCS#12 file (.p12/.pfx) with the code-signing certificate,
#                           its private key and any intermediate certificates
#   SIGNING_PASSWORD        the password of that file
#   SIGNING_TIMESTAMP_URL   optional RFC 3161 timestamp server; none by default
# Without SIGNING_PKCS12 the programs are test-signed with a throwaway certificate
# made for the build. Signatures use SHA-256 and carry the signing time
# SOURCE_DATE_EPOCH, so the same key signs the same program to the same bytes;
# a timestamp from a server is new on every run.

# Set by prepare_signing: the PKCS#12 file and its password, the certificates a
# signature is verified against (PEM), the SHA-256 of the signing certificate,
# and whether this is a throwaway test certificate.
signing_pkcs12="" signing_password="" signing_trust="" signing_leaf_hash="" signing_is_test=""

# The certificates in the PKCS#12 file $1 (password in SIGNING_PASSWORD), with
# openssl's further options $2...; files from older tools need the legacy ciphers.
pkcs12_certificates() {
  local file=$1; shift
  openssl pkcs12 -in "$file" -passin env:SIGNING_PASSWORD -nokeys "$@" 2>/dev/null ||
    openssl pkcs12 -legacy -in "$file" -passin env:SIGNING_PASSWORD -nokeys "$@" 2>/dev/null
}

# Makes a self-signed code-signing certificate with its key in the folder $1:
# key.p12, whose password is "test".
make_test_certificate() {
  local dir=$1
  openssl req -x509 -newkey rsa:3072 -sha256 -nodes -days 365 \
    -subj "/CN=Orvexa Service Pack TEST SIGNING, not for release" \
    -addext "basicConstraints=critical,CA:FALSE" -addext "keyUsage=critical,digitalSignature" \
    -addext "extendedKeyUsage=codeSigning" \
    -keyout "$dir/key.pem" -out "$dir/certificate.pem" 2>/dev/null
  openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/certificate.pem" \
    -passout pass:test -out "$dir/key.p12"
  rm "$dir/key.pem"
}

# Chooses the certificate before anything is built, so that a wrong file or
# password stops the command at once. Writes to the folder $1, made anew:
#   certificate.pem   the signing certificate
#   trusted.pem       what signatures and timestamps are verified against: the
#                     PKCS#12 file's own certificates and the system's roots
#   key.p12           the throwaway certificate with its key
prepare_signing() {
  local dir=$1
  rm -rf "$dir"; mkdir -p "$dir"
  if [ -z "${SIGNING_PKCS12:-}" ]; then
    make_test_certificate "$dir"
    signing_pkcs12=$dir/key.p12 signing_password=test signing_is_test=1
  else
    signing_pkcs12=$SIGNING_PKCS12 signing_password=${SIGNING_PASSWORD:-}
  fi
  if ! SIGNING_PASSWORD=$signing_password pkcs12_certificates "$signing_pkcs12" > "$dir/trusted.pem"; then
    echo "make-media.sh: cannot read the PKCS#12 file $signing_pkcs12 with SIGNING_PASSWORD" >&2
    return 1
  fi
  # A certificate a CA issued, and a timestamp server's, chain up to those roots.
  [ ! -f /etc/ssl/certs/ca-certificates.crt ] || cat /etc/ssl/certs/ca-certificates.crt >> "$dir/trusted.pem"
  SIGNING_PASSWORD=$signing_password pkcs12_certificates "$signing_pkcs12" -clcerts |
    openssl x509 > "$dir/certificate.pem"
  signing_trust=$dir/trusted.pem
  signing_leaf_hash=$(openssl x509 -in "$dir/certificate.pem" -outform DER | sha256sum | cut -d' ' -f1)
}

# Says loudly, on stderr, that the media carry a throwaway signature.
warn_test_signed() {
  [ -n "$signing_is_test" ] || return 0
  cat >&2 <<'EOF'
************************************************************************
*  TEST-SIGNED MEDIA. No SIGNING_PKCS12 was given, so the programs are *
*  signed with a throwaway certificate made for this build. Windows    *
*  trusts it nowhere. Do not publish these media.                      *
************************************************************************
EOF
}

# Signs the program $1 into $2 at the time SOURCE_DATE_EPOCH.
sign_program() {
  local log
  if ! log=$(osslsigncode sign -pkcs12 "$signing_pkcs12" -readpass <(printf '%s' "$signing_password") \
    -h sha256 -time "$SOURCE_DATE_EPOCH" ${SIGNING_TIMESTAMP_URL:+-ts "$SIGNING_TIMESTAMP_URL"} \
    -in "$1" -out "$2" 2>&1); then
    echo "make-media.sh: signing $1 failed:" >&2
    echo "$log" >&2
    return 1
  fi
}

# Verifies the signature of $1: intact, made by the signing certificate itself
# (not merely by one the roots trust), and any timestamp with it.
verify_program() {
  local log
  if ! log=$(osslsigncode verify -CAfile "$signing_trust" -TSA-CAfile "$signing_trust" \
    -require-leaf-hash "sha256:$signing_leaf_hash" -in "$1" 2>&1); then
    echo "make-media.sh: the signature of $1 does not verify:" >&2
    echo "$log" >&2
    return 1
  fi
}
