#!/usr/bin/env bash
# Makes the release's Ed25519 key pair: the private key into OUT.pem (readable by its owner only;
# keep it off the build machines), and prints the public key as the 64 hex digits that the build
# takes:
#
#     scripts/release-key.sh release.pem
#     cmake -S . -B build -DVK_RELEASE_PUBLIC_KEY=<the 64 hex digits>
set -euo pipefail

(($# == 1)) || {
    echo "usage: scripts/release-key.sh OUT.pem" >&2
    exit 2
}
out=$1
command -v openssl >/dev/null || {
    echo "release-key.sh: openssl is missing (Debian: openssl)" >&2
    exit 1
}
# A release key that is replaced leaves every installed program without updates: never overwrite.
[[ ! -e "$out" ]] || {
    echo "release-key.sh: $out exists already; it is left as it is" >&2
    exit 1
}

(
    umask 077
    openssl genpkey -algorithm ed25519 -out "$out"
)
# The public key in DER is a fixed 12-byte header followed by the 32 raw bytes.
hex=$(openssl pkey -in "$out" -pubout -outform DER | tail -c 32 | od -An -v -tx1 | tr -d ' \n')
((${#hex} == 64)) || {
    echo "release-key.sh: could not read the public key of $out" >&2
    exit 1
}
echo "$hex"
echo "private key: $out (keep it off the build machines); configure with -DVK_RELEASE_PUBLIC_KEY=$hex" >&2
