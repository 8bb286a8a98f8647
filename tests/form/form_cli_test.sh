#!/bin/bash
# writer-cli form: the text, the picture and the page of a project built on the command line,
# and the reader's refusals.
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -u
CLI="$1"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export QT_QPA_PLATFORM=offscreen

head -c 700 /dev/zero | tr '\0' '\125' > "$tmp/app.bin"
"$CLI" project build --part 126 --load "$tmp/app.bin" -o "$tmp/p.qrx" > /dev/null \
  || fail "project build"

"$CLI" form "$tmp/p.qrx" > "$tmp/form.txt" || fail "form --text"
[ "$(tr -cd '\n' < "$tmp/form.txt" | wc -c)" -eq 67 ] || fail "not 68 lines"
[ "$(tr -cd '\r' < "$tmp/form.txt" | wc -c)" -eq 67 ] || fail "lines not ending in CR LF"
line() { sed -n "$1p" "$tmp/form.txt" | tr -d '\r'; }
[ "$(line 14 | cut -c25-32)" = CV51D64T ] || fail "MCU Body: $(line 14)"
[ "$(line 16 | cut -c25-29)" = p.qrx ] || fail "QRX File Name: $(line 16)"
[ "$(line 18 | cut -c25-31)" = app.bin ] || fail "CodeFile Name: $(line 18)"
[ "$(line 22 | cut -c25-37)" = "700          " ] || fail "Code Size: $(line 22)"
[ "$(line 22 | cut -c62-65)" = "$(printf %04X $((700 * 0x55 & 0xFFFF)))" ] || fail "checksum"
[ "$(line 28 | cut -c62-63)" = 05 ] || fail "Custom ID: $(line 28)"
"$CLI" form "$tmp/p.qrx" --text | cmp -s - "$tmp/form.txt" || fail "--text differs"

"$CLI" form "$tmp/p.qrx" --bmp "$tmp/f.bmp" || fail "form --bmp"
[ "$(head -c 2 "$tmp/f.bmp")" = BM ] || fail "not a BMP"
[ "$(od -An -tu2 -j28 -N2 "$tmp/f.bmp" | tr -d ' ')" = 1 ] || fail "BMP not one bit deep"
"$CLI" form "$tmp/p.qrx" --pdf "$tmp/f.pdf" || fail "form --pdf"
[ "$(head -c 5 "$tmp/f.pdf")" = "%PDF-" ] || fail "not a PDF"

# Refusals: the reader's message on standard error, status 1, nothing on standard output.
cp "$tmp/p.qrx" "$tmp/bad.qrx"
printf '\001' | dd of="$tmp/bad.qrx" bs=1 seek=5 conv=notrunc 2> /dev/null
"$CLI" form "$tmp/bad.qrx" > "$tmp/out" 2> "$tmp/err"
[ $? -eq 1 ] || fail "changed file not refused with status 1"
grep -q "content information is different" "$tmp/err" || fail "reader's message missing"
[ ! -s "$tmp/out" ] || fail "output for a refused file"
"$CLI" form "$tmp/app.bin" > /dev/null 2> "$tmp/err"
[ $? -eq 1 ] || fail "plain binary not refused"
"$CLI" form "$tmp/missing.qrx" > /dev/null 2>&1
[ $? -eq 1 ] || fail "missing file not status 1"
"$CLI" form "$tmp/p.qrx" --bmp "$tmp/no/such/dir.bmp" > /dev/null 2>&1
[ $? -eq 1 ] || fail "unwritable picture not status 1"
"$CLI" form > /dev/null 2>&1
[ $? -eq 2 ] || fail "usage not status 2"
echo "form cli: ok"
