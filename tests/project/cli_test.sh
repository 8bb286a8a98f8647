#!/bin/bash
# writer-cli hex2bin and project show/build: outputs, log lines and exit statuses.
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -u
CLI=$1
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" != "$3" ]; then
        echo "FAIL $1: expected [$2] got [$3]"
        fail=1
    fi
}

# hex2bin: gap filled with FF, empty output without data records.
printf ':0200020011AA41\r\n:00000001FF\r\n' > "$T/a.hex"
"$CLI" hex2bin "$T/a.hex" "$T/a.bin"
check "hex2bin status" 0 $?
check "hex2bin bytes" "ffff11aa" "$(od -An -tx1 "$T/a.bin" | tr -d ' \n')"
printf ':00000001FF\n' > "$T/e.hex"
"$CLI" hex2bin "$T/e.hex" "$T/e.bin"
check "hex2bin empty" 0 "$(stat -c %s "$T/e.bin")"
"$CLI" hex2bin "$T/missing.hex" "$T/m.bin" 2>/dev/null
check "hex2bin missing input" 1 $?
# A damaged file: refused with its line, nothing written.
printf ':0200020011AA41\r\n:0100000001FF\r\n' > "$T/d.hex"
err=$("$CLI" hex2bin "$T/d.hex" "$T/d.bin" 2>&1 >/dev/null)
check "hex2bin damaged" "1 $T/d.hex: line 2: bad checksum; nothing written" \
    "$? ${err#writer-cli: }"
check "hex2bin damaged output" "" "$(ls "$T/d.bin" 2>/dev/null)"

# project build, then show: the fields come back.
PART=$("$CLI" parts 2>/dev/null | awk '/^ +[0-9]+ /{print $1; exit}')
head -c 100 /dev/zero | tr '\0' '\101' > "$T/app.bin"
out=$("$CLI" project build --part "$PART" --load "$T/app.bin" --load-at 80 "$T/a.hex" --isp builtin \
      --max-counter 77 --serial-enable 1 --serial-address 1F0 --serial-string SN --serial-number ABC -o "$T/p.qrx")
check "build status" 0 $?
check "build log" "Load file ... => OK !
Load file ... => OK !
Insert ISP-code ... => OK !
Save *.QRX ... => OK !" "$out"
json=$("$CLI" project show "$T/p.qrx" --json)
check "show status" 0 $?
for field in '"partIndex": '"$PART" '"maxCounter": 77' '"serialEnabled": 1' '"serialAddress": 496' \
             '"serialString": "SN          "' '"serialNumber": 2748' '"apLength": 132' '"ispName": "Default"' \
             '"sourceName": "a.hex"' '"formatKind": 5'; do
    case "$json" in *"$field"*) ;; *) echo "FAIL show: no $field in $json"; fail=1 ;; esac
done

# A name in another 8-bit code page still gives valid UTF-8 JSON: such bytes read as Latin-1.
cp "$T/app.bin" "$T/"$'\xb3\xcc'.bin
"$CLI" project build --part "$PART" --load "$T/"$'\xb3\xcc'.bin -o "$T/n.qrx" >/dev/null
json=$("$CLI" project show "$T/n.qrx" --json)
case "$json" in *'"sourceName": "'$'\xc2\xb3\xc3\x8c''.bin"'*) ;;
    *) echo "FAIL show: 8-bit name in $json"; fail=1 ;; esac

# Control characters and a NUL inside a name are escaped in the text output, as in JSON, and do
# not cut the name. The NUL is put in by hand; the byte after it keeps the trailer's sum.
cp "$T/app.bin" "$T/"$'aX\x01!.bin'
"$CLI" project build --part "$PART" --load "$T/"$'aX\x01!.bin' -o "$T/c.qrx" >/dev/null
at=$(grep -obUa 'aX' "$T/c.qrx" | head -1 | cut -d: -f1)
printf '\000' | dd of="$T/c.qrx" bs=1 seek=$((at + 1)) conv=notrunc 2>/dev/null
printf 'y' | dd of="$T/c.qrx" bs=1 seek=$((at + 3)) conv=notrunc 2>/dev/null
check "show text escapes" 'sourceName       a\u0000\u0001y.bin' \
      "$("$CLI" project show "$T/c.qrx" | grep '^sourceName')"
case "$("$CLI" project show "$T/c.qrx" --json)" in *'"sourceName": "a\u0000\u0001y.bin"'*) ;;
    *) echo "FAIL show: escaped name in JSON"; fail=1 ;; esac

# Loading a project starts a new log line where the window clears its log.
out=$("$CLI" project build --part "$PART" --load "$T/p.qrx" -o "$T/r.qrx")
check "project load log" "Load file ... => 
Load QRX file ... => OK !
Save *.QRX ... => OK !" "$out"

# A project's serial start address beyond its part's limit (4 KB: FF0) is corrected on load, as
# the Off-Line Mode dialog does; a value that is not a number or is beyond a limit exits with 2.
python3 - "$T/p.qrx" "$T/far.qrx" <<'PY2'
import sys
d = bytearray(open(sys.argv[1], "rb").read())
s = len(d) - int.from_bytes(d[-2:], "big")
n = d[s + 15]; o = d[s + 25 + n]; i = d[s + 34 + n + o]; k = s + 73 + n + o + i
d[s + 40 + n + o + i:s + 44 + n + o + i] = bytes.fromhex("FFFFFFF8")
d[k:k + 2] = b"\0\0"
d[k:k + 2] = (sum(d[s:]) & 0xFFFF).to_bytes(2, "big")
open(sys.argv[2], "wb").write(d)
PY2
"$CLI" project build --part "$PART" --load "$T/far.qrx" -o "$T/near.qrx" >/dev/null 2>"$T/err"
check "corrected start status" 0 $?
grep -q "FFFFFFF8 is above 00000FF0" "$T/err" || { echo "FAIL: correction not said"; fail=1; }
case "$("$CLI" project show "$T/near.qrx" --json)" in *'"serialAddress": 4080'*) ;;
    *) echo "FAIL: start address not corrected"; fail=1 ;; esac
for args in "--max-counter -1" "--serial-address FF1" "--serial-string 中文中文x" "--auto 1x"; do
    "$CLI" project build --part "$PART" --load "$T/app.bin" $args -o "$T/q.qrx" >/dev/null 2>&1
    check "bad argument $args" 2 $?
done

# A failing step prints its lines, writes nothing and exits with 1.
out=$("$CLI" project build --part "$PART" --load "$T/none.bin" -o "$T/q.qrx")
check "failed step status" 1 $?
check "failed step log" "Load file ... => Fail !" "$out"
[ -e "$T/q.qrx" ] && { echo "FAIL: file written after a failed step"; fail=1; }
out=$("$CLI" project build --part "$PART" -o "$T/q.qrx")
check "empty buffer status" 1 $?
check "empty buffer log" "Code Buffer is empty !" "$out"
"$CLI" project build --part "$PART" --option NO_SUCH=on -o "$T/q.qrx" 2>/dev/null
check "unknown option status" 1 $?

# A refused file: status 2 and the message as JSON.
out=$("$CLI" project show "$T/app.bin" --json)
check "refused status" 2 $?
check "refused json" '{"error": 2002, "message": "This file is incompatible format and unable to open !"}' "$out"
cp "$T/p.qrx" "$T/bad.qrx"
printf 'X' | dd of="$T/bad.qrx" bs=1 seek=0 conv=notrunc 2>/dev/null
out=$("$CLI" project show "$T/bad.qrx" --json)
check "changed data json" '{"error": 2001, "message": "The file and the file content information is different, please inspect or contacts Corvane !"}' "$out"

exit $fail
