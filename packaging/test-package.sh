#!/usr/bin/env bash
# Inspects the Debian package that `make package` built, installs it into a
# throw-away root and runs the installed korvan-settings from there.
#   packaging/test-package.sh [BUILD_DIR]
# Every problem is printed; the exit status is 1 if there was any.
set -uo pipefail

build=${1:-build}
src=$(cd "$(dirname "$0")" && pwd)
started=$SECONDS
failures=()
passed=0

ok() {
    passed=$((passed + 1))
    echo "ok    $*"
}
fail() {
    failures+=("$*")
    echo "FAIL  $*" >&2
}
# check DESCRIPTION COMMAND...: runs the command, its output shown only when it fails.
check() {
    local what=$1 out
    shift
    if out=$("$@" 2>&1); then
        ok "$what"
    else
        fail "$what"
        printf '%s\n' "$out" | sed 's/^/      /' >&2
        return 1
    fi
}

shopt -s nullglob
debs=("$build"/korvan-kx4_*.deb)
shopt -u nullglob
if [ ${#debs[@]} -eq 0 ]; then
    echo "FAIL  no korvan-kx4_*.deb in $build (run make package first)" >&2
    exit 1
fi
deb=$(ls -t "${debs[@]}" | head -n 1)
echo "package: $deb"

root=$(mktemp -d "${TMPDIR:-/tmp}/korvan-package.XXXXXX")
trap 'rm -rf "$root"' EXIT

# --- control data ---
info=$(dpkg-deb -I "$deb") || fail "dpkg-deb -I cannot read the package"
field() { dpkg-deb -f "$deb" "$1"; }
version=$(field Version)
[ "$(field Package)" = korvan-kx4 ] && ok "package name korvan-kx4" || fail "package name: $(field Package)"
[ -n "$version" ] && ok "version $version" || fail "no version"
for f in Maintainer Section Architecture Description; do
    [ -n "$(field "$f")" ] && ok "control field $f" || fail "control field $f missing"
done
# Dependencies come from the libraries the programs are linked with.
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6widgets6 libqt6network6 libhidapi-hidraw0; do
    [[ ",$depends" == *", $lib"* || "$depends" == "$lib"* ]] && ok "depends on $lib" ||
        fail "Depends lacks $lib: $depends"
done
grep -q ' postinst' <<<"$info" && ok "postinst present" || fail "no postinst"

# --- contents ---
listing=$(dpkg-deb -c "$deb") || fail "dpkg-deb -c cannot list the package"
expected=(
    ./usr/bin/korvan-kx4 ./usr/bin/korvan-kx4-demo ./usr/bin/korvan-settings ./usr/bin/korvan-relay
    ./usr/lib/udev/rules.d/70-korvan-kx4.rules
    ./usr/share/applications/korvan-kx4.desktop
    ./usr/share/icons/hicolor/scalable/apps/korvan-kx4.svg
    ./usr/share/metainfo/com.ardexon.korvan_kx4.metainfo.xml
    ./usr/lib/sysusers.d/korvan-relay.conf
    ./usr/share/man/man1/korvan-kx4.1.gz ./usr/share/man/man1/korvan-kx4-demo.1.gz
    ./usr/share/man/man1/korvan-settings.1.gz
    ./usr/share/doc/korvan-kx4/copyright ./usr/share/doc/korvan-kx4/changelog.gz
)
[ -f "$src/korvan-relay.service" ] && expected+=(./usr/lib/systemd/system/korvan-relay.service)
[ -f "$src/korvan-relay-haproxy.cfg" ] &&
    expected+=(./usr/share/doc/korvan-kx4/examples/korvan-relay-haproxy.cfg)
[ -f "$src/man/korvan-relay.1" ] && expected+=(./usr/share/man/man1/korvan-relay.1.gz)
# korvan-monitor: program, unit, user, manual page.
expected+=(./usr/bin/korvan-monitor ./usr/lib/systemd/system/korvan-monitor.service
    ./usr/lib/sysusers.d/korvan-monitor.conf ./usr/share/man/man1/korvan-monitor.1.gz)
for path in "${expected[@]}"; do
    grep -q " $path\( ->.*\)\?$" <<<"$listing" && ok "holds $path" || fail "missing $path"
done
owners=$(awk '{print $2}' <<<"$listing" | sort -u)
[ "$owners" = root/root ] && ok "every file owned by root/root" || fail "owners: $owners"
grep -E '^-' <<<"$listing" | awk '$1 != "-rw-r--r--" && $1 != "-rwxr-xr-x"' | grep -q . &&
    fail "odd file modes: $(grep -E '^-' <<<"$listing" | awk '$1 != "-rw-r--r--" && $1 != "-rwxr-xr-x"')" ||
    ok "file modes 0644/0755"

# --- installed into a throw-away root ---
check "dpkg-deb -x into $root" dpkg-deb -x "$deb" "$root"
for p in korvan-kx4 korvan-kx4-demo korvan-settings korvan-relay korvan-monitor; do
    bin=$root/usr/bin/$p
    file -b "$bin" | grep -q 'ELF.*, stripped' && ok "$p is a stripped ELF program" ||
        fail "$p: $(file -b "$bin")"
    missing=$(ldd "$bin" 2>&1 | grep 'not found')
    [ -z "$missing" ] && ok "$p finds its libraries" || fail "$p: $missing"
done

help=$("$root/usr/bin/korvan-settings" --help 2>&1)
status=$?
[ $status -eq 0 ] && grep -q '^usage: korvan-settings show FILE' <<<"$help" &&
    ok "installed korvan-settings --help" || fail "korvan-settings --help (status $status): $help"
out=$("$root/usr/bin/korvan-settings" --version 2>&1)
status=$?
[ $status -eq 0 ] && [ "$out" = "korvan-settings ${version%%-*}" ] &&
    ok "installed korvan-settings --version: $out" || fail "korvan-settings --version (status $status): $out"

check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/korvan-kx4.desktop"
desktop=$root/usr/share/applications/korvan-kx4.desktop
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] && ok "desktop icon $icon installed" ||
    fail "desktop icon $icon not installed"
for exe in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop"); do
    [ -x "$root/usr/bin/$exe" ] && ok "desktop Exec $exe installed" || fail "desktop Exec $exe not installed"
done
check "icon is well-formed SVG" python3 -c 'import sys, xml.etree.ElementTree as E
assert E.parse(sys.argv[1]).getroot().tag.endswith("svg")' "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg"
check "appstreamcli validate" appstreamcli validate --no-net --explain \
    "$root/usr/share/metainfo/com.ardexon.korvan_kx4.metainfo.xml"

rule=$root/usr/lib/udev/rules.d/70-korvan-kx4.rules
grep -v '^#' "$rule" | grep -q 'SUBSYSTEM=="hidraw", ATTRS{idVendor}=="04d8", ATTRS{idProduct}=="5c31", TAG+="uaccess"' &&
    ok "udev rule tags the hidraw node of 04d8:5c31 for uaccess" || fail "udev rule: $(cat "$rule")"

# The package's own postinst, with systemd-sysusers pointed at the throw-away root,
# creates the system user the relay unit runs as.
mkdir -p "$root/etc" "$root/DEBIAN" "$root/shim"
dpkg-deb -e "$deb" "$root/DEBIAN"
printf '#!/bin/sh\nexec %s --root=%s "$@"\n' "$(command -v systemd-sysusers)" "$root" >"$root/shim/systemd-sysusers"
chmod +x "$root/shim/systemd-sysusers"
if check "postinst configure" env PATH="$root/shim:$PATH" "$root/DEBIAN/postinst" configure; then
    user=$(grep '^korvan-relay:' "$root/etc/passwd")
    uid=$(cut -d: -f3 <<<"$user")
    [ -n "$user" ] && [ "$uid" -gt 0 ] && [ "$uid" -lt 1000 ] && [[ "$user" == *:/usr/sbin/nologin ]] &&
        ok "postinst made korvan-relay a system user without login" || fail "relay user: $user"
    monitor=$(grep '^korvan-monitor:' "$root/etc/passwd")
    [[ "$monitor" == *:/usr/sbin/nologin ]] && ok "postinst made korvan-monitor a system user" ||
        fail "monitor user: $monitor"
fi
grep -v '^#' "$rule" | grep -q 'ATTRS{idProduct}=="5c31", GROUP="korvan-monitor", MODE="0660"' &&
    ok "udev rule gives the hidraw node to korvan-monitor's group" || fail "udev rule: $(cat "$rule")"
unit=$root/usr/lib/systemd/system/korvan-monitor.service
grep -q '^User=korvan-monitor' "$unit" && ! grep -q 'DynamicUser' "$unit" &&
    ok "monitor unit runs as korvan-monitor" || fail "monitor unit does not run as User=korvan-monitor"
[ ! -e "$root/etc/systemd/system/multi-user.target.wants/korvan-monitor.service" ] &&
    ok "monitor unit not enabled by the package" || fail "monitor unit enabled on install"
check "prerm remove" env PATH="$root/shim:$PATH" "$root/DEBIAN/prerm" remove
check "apt can resolve the dependencies" apt-get install -s -q --no-install-recommends "$(realpath "$deb")"
if [ -f "$root/usr/lib/systemd/system/korvan-relay.service" ]; then
    grep -q '^User=korvan-relay' "$root/usr/lib/systemd/system/korvan-relay.service" &&
        ok "relay unit runs as korvan-relay" || fail "relay unit does not run as User=korvan-relay"
fi

# Compressed with gzip -9n (no name, no time stamp): recompressing gives the same bytes.
for page in "$root"/usr/share/man/man1/*.gz "$root"/usr/share/doc/korvan-kx4/*.gz; do
    [ -L "$page" ] && continue
    gzip -cd "$page" | gzip -9n | cmp -s - "$page" && ok "$(basename "$page") is gzip -9n" ||
        fail "$(basename "$page") is not gzip -9n"
done

# --- lintian ---
# Overridden tags are shown too (with their reason); errors and warnings fail.
lint=$(lintian --display-info --show-overrides --tag-display-limit 0 "$deb" 2>&1)
status=$?
lint=$(grep -v 'running with root privileges' <<<"$lint")
if [ $status -gt 2 ] || [ $status -eq 1 ]; then
    fail "lintian did not run (status $status)"
elif grep -q '^[EW]: ' <<<"$lint"; then
    fail "lintian reports errors or warnings"
else
    ok "lintian: no error or warning"
fi
[ -n "$lint" ] && printf '%s\n' "$lint" | sed 's/^/      lintian: /'

echo
echo "package test: $passed passed, ${#failures[@]} failed, $((SECONDS - started)) s"
if [ ${#failures[@]} -gt 0 ]; then
    printf '  failed: %s\n' "${failures[@]}" >&2
    exit 1
fi
