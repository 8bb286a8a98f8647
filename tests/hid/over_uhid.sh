#!/usr/bin/env bash
# The writer table through the kernel: vwriter --uhid makes a HID device and the tests reach it
# through the real hidapi and hidraw. Skipped (77) where /dev/uhid cannot be opened.
#   over_uhid.sh WRITER_TESTS HID_TESTS
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -uo pipefail
if ! [ -c /dev/uhid ] || ! { exec 3<>/dev/uhid; } 2>/dev/null; then
    echo "skipped: /dev/uhid cannot be opened for reading and writing (no uhid module, or no access)"
    exit 77
fi
exec 3>&-
export VWRITER_TEST_TRANSPORT=uhid QT_QPA_PLATFORM=offscreen
"$1" --gtest_filter='*/Buttons.*:*/Auto.*' && "$2" --gtest_filter='*Full64K*'
