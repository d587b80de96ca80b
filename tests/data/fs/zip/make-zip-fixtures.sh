#!/usr/bin/env bash
# Makes the zip archives the file-system tests read, with Info-ZIP's zip (not our
# code), so the tests read archives written by another program.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/a/Textures" "$work/b"
printf 'sky from archive a\n' > "$work/a/Textures/Sky.TXT"
printf 'both from archive a\n' > "$work/a/both.txt"
seq 1 15000 > "$work/a/big.txt"  # 78894 bytes, more than one read chunk
printf 'only in b\n' > "$work/b/only_b.txt"
printf 'both from archive b\n' > "$work/b/both.txt"
rm -f first.zip second.zip corrupt.zip
(cd "$work/a" && zip -q -X -9 "$OLDPWD/first.zip" Textures/Sky.TXT both.txt big.txt)
(cd "$work/b" && zip -q -X -9 "$OLDPWD/second.zip" only_b.txt both.txt)
# corrupt.zip: first.zip with one byte of big.txt's compressed data changed, so the
# member no longer inflates to its checksum.
python3 - <<'PY'
data = bytearray(open("first.zip", "rb").read())
name = b"big.txt"
offset = 0
while True:
    offset = data.find(b"PK\x03\x04", offset)
    name_len = int.from_bytes(data[offset + 26:offset + 28], "little")
    extra_len = int.from_bytes(data[offset + 28:offset + 30], "little")
    if data[offset + 30:offset + 30 + name_len] == name:
        start = offset + 30 + name_len + extra_len
        compressed = int.from_bytes(data[offset + 18:offset + 22], "little")
        data[start + compressed // 2] ^= 0x55
        break
    offset += 4
open("corrupt.zip", "wb").write(data)
PY
