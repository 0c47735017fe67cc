#!/usr/bin/env bash
# Signs a built program file in place with the release's Ed25519 private key (PEM):
#
#     scripts/sign.sh release.pem build/src/shell/VeloraKarvexClient
#
# The program file has room for its signature, the section .vk_signature (64 bytes). The signature
# is over the whole file with those bytes zero, so that writing it changes nothing it covers; the
# updater checks it with the release key that the installed program carries (.vk_release_key).
# A file signed before is signed anew.
set -euo pipefail

section=.vk_signature
signature_size=64

fail() {
    echo "sign.sh: $*" >&2
    exit 1
}

(($# == 2)) || {
    echo "usage: scripts/sign.sh PRIVATE_KEY.pem PROGRAM_FILE" >&2
    exit 2
}
key=$1
file=$2
for tool in openssl objdump dd cmp; do
    command -v "$tool" >/dev/null || fail "$tool is missing (Debian: openssl, binutils, coreutils, diffutils)"
done
[[ -f "$key" && -r "$key" ]] || fail "cannot read the private key $key"
[[ -f "$file" && -r "$file" && -w "$file" ]] ||
    fail "$file is not a program file this account can read and write"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Where the section lies in the file. objdump -h -w gives one line a section:
#   Idx Name Size VMA LMA File-off Algn Flags
headers=$(objdump -h -w "$file" 2>"$work/objdump.err") ||
    fail "$file is not a program file objdump can read: $(cat "$work/objdump.err")"
line=$(awk -v name="$section" '$2 == name' <<<"$headers")
[[ -n "$line" ]] || fail "$file has no section $section: it was not built to carry a signature"
read -r _ _ size_hex _ _ offset_hex _ flags <<<"$line"
size=$((16#$size_hex))
offset=$((16#$offset_hex))
((size == signature_size)) ||
    fail "the section $section of $file holds $size bytes instead of $signature_size"
# A section without CONTENTS (NOBITS) has no bytes in the file to write the signature into.
[[ "$flags" == *CONTENTS* ]] || fail "the section $section of $file has no bytes in the file"

# The key must be an Ed25519 one: its public half says so (and is needed for the check below).
openssl pkey -in "$key" -pubout -out "$work/public.pem" 2>"$work/openssl.err" ||
    fail "$key is not a private key openssl can read: $(cat "$work/openssl.err")"
key_type=$(openssl pkey -pubin -in "$work/public.pem" -noout -text_pub | head -n 1)
[[ "$key_type" == "ED25519 Public-Key:" ]] || fail "$key is not an Ed25519 key (${key_type%:})"

zero_section() {
    dd if=/dev/zero of="$1" bs=1 seek="$offset" count="$size" conv=notrunc status=none
}

# Sign the file as the updater will check it: with the section zero.
zero_section "$file"
openssl pkeyutl -sign -rawin -inkey "$key" -in "$file" -out "$work/signature" 2>"$work/openssl.err" ||
    fail "openssl could not sign $file: $(cat "$work/openssl.err")"
signature_bytes=$(stat -c %s "$work/signature")
((signature_bytes == signature_size)) ||
    fail "openssl gave a signature of $signature_bytes bytes instead of $signature_size"
dd if="$work/signature" of="$file" bs=1 seek="$offset" count="$size" conv=notrunc status=none

# What is in the file now must be the signature, and it must verify over the file with the section
# zeroed, so that a fault here never reaches an installation.
dd if="$file" of="$work/written" bs=1 skip="$offset" count="$size" status=none
cmp -s "$work/written" "$work/signature" || fail "the signature did not reach $file"
cp "$file" "$work/zeroed"
zero_section "$work/zeroed"
openssl pkeyutl -verify -pubin -inkey "$work/public.pem" -rawin -in "$work/zeroed" \
    -sigfile "$work/signature" >/dev/null 2>"$work/openssl.err" ||
    fail "the signature written into $file does not verify: $(cat "$work/openssl.err")"
echo "signed $file"
