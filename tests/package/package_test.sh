#!/usr/bin/env bash
# Packages a built tree as the Debian package and checks what an operator's machine gets: the
# file list, programs started through their PATH links from the unpacked tree (so their own
# folder is the private one), the manual pages, the desktop entry, the QRX file type, lintian.
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION
[ -n "${WRITER_TEST_HOME:-}" ] || exec bash "$(dirname "$0")/../support/in_fresh_home.sh" bash "$0" "$@"
set -euo pipefail
build_dir=$1
source_dir=$2
version=$3

work=$(mktemp -d)
writer_pid=
cleanup() {
    if [ -n "$writer_pid" ]; then kill "$writer_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "package test: $*" >&2
    exit 1
}

for tool in cpack dpkg-deb lintian desktop-file-validate update-desktop-database \
    update-mime-database readelf man; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done

# --- build the package from what the tree has already built
(cd "$build_dir" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, got: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = cv51-writer ] || fail "package name is '$(field Package)'"
[ "$(field Version)" = "$version-1" ] || fail "version is '$(field Version)', project is $version"
[ -n "$(field Maintainer)" ] || fail "no maintainer"
for dep in libqt6widgets6 libhidapi-hidraw0 libc6 libqt6sql6-sqlite; do
    field Depends | grep "$dep" >/dev/null || fail "Depends lacks $dep: $(field Depends)"
done

# --- file list
root=$work/root
dpkg-deb -x "$deb" "$root"
private=usr/lib/cv51-writer
expected=(
    usr/bin/writer usr/bin/writer-cli usr/bin/vwriter
    $private/writer $private/writer-cli $private/vwriter $private/logo.bmp
    $private/libplatform.so $private/libquadrel.so $private/libtunnix.so $private/libdfu.so
    $private/libformdraw.so
    usr/lib/udev/rules.d/70-writer.rules
    usr/share/applications/cv51-writer.desktop
    usr/share/icons/hicolor/scalable/apps/cv51-writer.svg
    usr/share/mime/packages/cv51-writer.xml
    usr/share/man/man1/writer.1.gz usr/share/man/man1/writer-cli.1.gz
    usr/share/man/man1/vwriter.1.gz
    usr/share/doc/cv51-writer/copyright usr/share/doc/cv51-writer/changelog.Debian.gz
)
for path in "${expected[@]}"; do
    [ -e "$root/$path" ] || fail "missing $path"
done

# The tests' hidapi double is never shipped, and nothing shipped names it.
[ -z "$(find "$root" -name '*hidapi_double*')" ] || fail "the package holds the hidapi double"
! grep -rqa hidapi_double "$root" || fail "a packaged file names the hidapi double"

# Nothing in the public library path: only the private folder and udev's under usr/lib.
public=$(find "$root/usr/lib" -mindepth 1 -maxdepth 1 ! -name cv51-writer ! -name udev)
[ -z "$public" ] || fail "files in the public library path: $public"
[ ! -e "$root/lib" ] && [ ! -e "$root/usr/local" ] || fail "files outside /usr"

for program in writer writer-cli vwriter; do
    [ -L "$root/usr/bin/$program" ] || fail "usr/bin/$program is not a link"
    [ "$(readlink -f "$root/usr/bin/$program")" = "$root/$private/$program" ] ||
        fail "usr/bin/$program does not lead to $private/$program"
done
for file in "$root/$private"/*; do
    case "$file" in *.bmp) continue ;; esac
    runpath=$(readelf -d "$file" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
    [ "$runpath" = '$ORIGIN' ] || fail "$(basename "$file") searches '$runpath', not its own folder"
done
cmp -s "$root/usr/lib/udev/rules.d/70-writer.rules" "$source_dir/tunnix/70-writer.rules" ||
    fail "the installed udev rule is not tunnix/70-writer.rules"
# The writer, as application and as loader, must be reachable by the user at the seat.
ids=$("$build_dir/bin/vwriter" --ids)
vid=$(sed -n 's/.*vid=0x\([0-9a-f]*\).*/\1/p' <<<"$ids")
pids=$(sed -n 's/.* pid=0x\([0-9a-f]*\) enum_pid=0x\([0-9a-f]*\).*/\1 \2/p' <<<"$ids")
[ -n "$vid" ] && [ "$(wc -w <<<"$pids")" -eq 2 ] || fail "cannot read the writer's ids from '$ids'"
for pid in $pids; do
    grep -E "^SUBSYSTEM==\"hidraw\", ATTRS\{idVendor\}==\"$vid\", ATTRS\{idProduct\}==\"$pid\",.*TAG\+=\"uaccess\"" \
        "$root/usr/lib/udev/rules.d/70-writer.rules" >/dev/null ||
        fail "the udev rule gives the seat's user no access to $vid:$pid"
done

# --- the programs, started as an operator would, through the PATH links
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
export QT_QPA_PLATFORM=offscreen TUNNIX_DEVICE=vwriter:$work/run/no-writer.sock
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
cmp -s <("$root/usr/bin/writer-cli" parts) <("$build_dir/bin/writer-cli" parts) ||
    fail "the unpacked writer-cli parts differs from the build's"
cmp -s <("$root/usr/bin/vwriter" --ids) <("$build_dir/bin/vwriter" --ids) ||
    fail "the unpacked vwriter --ids differs from the build's"

# The window loads its libraries by name from its own folder: through the link, that must be
# the unpacked private folder, not the build tree.
"$root/usr/bin/writer" >"$work/writer.log" 2>&1 &
writer_pid=$!
quadrel=$root/$private/libquadrel.so
for _ in $(seq 1 600); do
    if grep -qF "$quadrel" "/proc/$writer_pid/maps" 2>/dev/null; then break; fi
    kill -0 "$writer_pid" 2>/dev/null || {
        wait "$writer_pid" && status=0 || status=$?
        cat "$work/writer.log" >&2 || ls -la "$work" >&2 || true
        fail "writer ended at start-up with status $status"
    }
    sleep 0.1
done
grep -qF "$quadrel" "/proc/$writer_pid/maps" || fail "writer did not load $quadrel"
grep -qF "$root/$private/libplatform.so" "/proc/$writer_pid/maps" ||
    fail "writer did not take libplatform.so from its own folder"
kill "$writer_pid"
wait "$writer_pid" 2>/dev/null || true
writer_pid=

# --- manual pages: render without warnings; writer-cli's has every command its --help lists
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
commands=$("$build_dir/bin/writer-cli" --help | sed -n '/^commands:/,/^$/s/^  \([a-z0-9-]*\) .*/\1/p')
[ -n "$commands" ] || fail "writer-cli --help lists no commands"
for command in $commands; do
    zcat "$root/usr/share/man/man1/writer-cli.1.gz" | grep -x ".SS $command" >/dev/null ||
        fail "the writer-cli page lacks the '$command' command"
done

# --- the licence: in the machine-readable copyright file, the pages and --version
grep -qx "License: Expat" "$root/usr/share/doc/cv51-writer/copyright" || fail "copyright: no licence"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    zcat "$page" | grep "MIT licence" >/dev/null || fail "$(basename "$page") names no licence"
done
for program in writer writer-cli; do
    "$root/usr/bin/$program" --version | grep "MIT licence" >/dev/null || fail "$program --version: no licence"
done

# --- desktop entry and the QRX file type
desktop=$root/usr/share/applications/cv51-writer.desktop
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Exec)" = "writer %f" ] || fail "Exec is '$(entry Exec)'"
[ -e "$root/usr/share/icons/hicolor/scalable/apps/$(entry Icon).svg" ] || fail "no icon '$(entry Icon)'"
[ -n "$(entry 'Name\[zh_CN\]')" ] && [ -n "$(entry 'Comment\[zh_CN\]')" ] ||
    fail "no Simplified Chinese name or comment"
mime_type=$(entry MimeType)
mime_type=${mime_type%;}
mkdir -p "$work/mime/packages"
cp "$root/usr/share/mime/packages/cv51-writer.xml" "$work/mime/packages/"
update-mime-database "$work/mime" >"$work/mime.log" 2>&1 ||
    { cat "$work/mime.log"; fail "the MIME XML is refused"; }
grep -qx "50:$mime_type:\*.qrx" "$work/mime/globs2" ||
    fail "*.qrx is not a case-insensitive glob of $mime_type: $(cat "$work/mime/globs2")"

# A double-clicked project file goes to the writer's entry.
mkdir -p "$work/applications"
cp "$desktop" "$work/applications/"
update-desktop-database "$work/applications"
grep -qx "$mime_type=cv51-writer.desktop;" "$work/applications/mimeinfo.cache" ||
    fail "$mime_type does not open in the writer: $(cat "$work/applications/mimeinfo.cache")"

# --- lintian: warnings are shown, errors fail
lintian_rc=0
lintian_out=$(lintian --fail-on error "$deb" 2>&1) || lintian_rc=$?
grep -v 'root privileges' <<<"$lintian_out" || true
[ "$lintian_rc" -eq 0 ] || fail "lintian reports errors"
echo "package test: passed"
