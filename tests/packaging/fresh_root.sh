#!/usr/bin/env bash
# The .deb on a Debian 12 system that has nothing else: installed with
# --no-install-recommends into a fresh minimal root (mmdebstrap, from the Debian mirrors
# this machine's apt uses), then the window started there under Xvfb and closed with Esc.
# Whatever the package fails to depend on, a user who installs without recommends lacks.
# Before that, a stand-in for the release that still named its application entry
# kerfo.desktop is installed, so the install is an upgrade, which must leave the one new
# entry and not the old one.
#   fresh_root.sh BUILD_DIR
# The root is built once and kept as a tarball with its package lists, and the packages
# the installs download are kept beside it, in /var/cache/kerfo-tests (or
# KERFO_FRESH_ROOT_CACHE): a warm run unpacks it and downloads nothing.
# Root only, like the .deb test; otherwise it says why and exits 77. The mounts live in a mount namespace of the test's
# own, so they end with it whatever happens, and the host never sees them.
set -uo pipefail
skip=77
here=$(cd "$(dirname "$0")" && pwd)

if [ "${1:-}" = --inside ]; then
    # Second stage, in the private mount namespace: $2 the root, $3 the package cache.
    root=$2 cache=$3
    source "$here/../e2e/x_server.sh"
    before_x_ends() { umount "$root/var/cache/apt/archives" "$root/tmp" "$root/dev" "$root/proc" 2>/dev/null; }
    mount -t proc proc "$root/proc" && mount --bind /dev "$root/dev" && mount --bind /tmp "$root/tmp" &&
        mount --bind "$cache" "$root/var/cache/apt/archives" || { echo "FAIL: cannot mount into the root"; exit 1; }
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"; }

    started=$SECONDS
    in_root dpkg -i /root/debs/before-rename.deb >"$tmp/dpkg.log" 2>&1 ||
        { cat "$tmp/dpkg.log"; echo "FAIL: the stand-in for the earlier release did not install"; exit 1; }
    install() { in_root apt-get install -y -q --no-install-recommends /root/debs/new/kerfo.deb >"$tmp/apt.log" 2>&1; }
    # The lists came with the cached root; only when the mirror has moved on since are they
    # fetched again.
    if ! install; then
        in_root apt-get update -q >>"$tmp/apt.log" 2>&1 && install ||
            { tail -n 30 "$tmp/apt.log"; echo "FAIL: apt-get could not install the package"; exit 1; }
    fi
    echo "installed the package and what it depends on in $((SECONDS - started)) s:" \
        "$(grep -c '^Unpacking' "$tmp/apt.log") packages unpacked"
    entries=$(in_root dpkg-query -L kerfo | grep '^/usr/share/applications/.*\.desktop$')
    [ ! -e "$root/usr/share/applications/kerfo.desktop" ] && [ "$(wc -w <<<"$entries")" = 1 ] &&
        pass "the upgrade replaced the earlier release's kerfo.desktop by $entries" ||
        fail "after the upgrade kerfo.desktop is $(test -e "$root/usr/share/applications/kerfo.desktop" ||
            echo not) there, and the package's entries are: $entries"

    version=$(in_root kerfo --version 2>&1)
    [ "$version" = "kerfo $KERFO_VERSION" ] && pass "kerfo --version: $version" ||
        fail "kerfo --version said: $version"

    # An ordinary user's session: only the display, as a login would give it.
    printf 'Dear diary,\nnothing happened.\n' >"$root/root/notes.txt"
    mkdir -m 700 -p "$root/run/user/0"
    chroot "$root" env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 DISPLAY="$DISPLAY" \
        XDG_RUNTIME_DIR=/run/user/0 kerfo /root/notes.txt >"$tmp/kerfo.log" 2>&1 &
    pid=$!
    pids+=("$pid")
    if wid=$(wait_window '^Kerfo / notes\.txt$'); then
        pass "the window opened on notes.txt in the fresh root"
        keys "$wid" key Escape
        wait_exit "$pid" 10
        [ "$code" = 0 ] && pass "Esc ended it" || fail "Esc did not end the window ($code)"
        # Worth a look when the root's packages change: what the window complained of.
        sed 's/^/  the program said: /' "$tmp/kerfo.log"
    else
        fail "no window in the fresh root; the program said:"
        cat "$tmp/kerfo.log" >&2
    fi
    report "the package starts the window on a fresh Debian 12"
    exit 0
fi

build=$(cd "${1:?usage: fresh_root.sh BUILD_DIR}" && pwd)
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: building a root and mounting into it needs root"
    exit $skip
fi
for tool in mmdebstrap cpack dpkg-deb unshare chroot Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (scripts/deps.sh installs it)"
        exit $skip
    fi
done
if ! grep -q '^KERFO_BUILD_UI:BOOL=ON' "$build/CMakeCache.txt" || [ ! -x "$build/src/ui/kerfo" ]; then
    echo "SKIPPED: the window is not built in $build"
    exit $skip
fi
# Debian's own mirrors as this machine's apt has them (not third-party repositories).
sources=/etc/apt/sources.list.d/debian.sources
[ -f "$sources" ] || sources=/etc/apt/sources.list
if [ ! -f "$sources" ]; then
    echo "SKIPPED: no Debian sources list for apt here"
    exit $skip
fi
export KERFO_VERSION=${KERFO_VERSION:-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")}

work=$(mktemp -d "$build/fresh-root.XXXXXX")
# Runs on the host, where the root's mounts never were: nothing below $work is mounted.
trap 'rm -rf --one-file-system "$work"' EXIT

started=$SECONDS
mkdir -p "$work/debs/new"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack could not build the .deb"
    exit 1
fi
mv "$work"/cpack/kerfo_*.deb "$work/debs/new/kerfo.deb"
# The stand-in for the earlier release: only the package's entry, under its old name.
stand_in="$work/stand-in"
mkdir -p "$stand_in/DEBIAN" "$stand_in/usr/share/applications"
dpkg-deb --fsys-tarfile "$work/debs/new/kerfo.deb" |
    tar -xO --wildcards './usr/share/applications/*.desktop' >"$stand_in/usr/share/applications/kerfo.desktop"
printf 'Package: kerfo\nVersion: 0~before-rename\nArchitecture: all\nMaintainer: Kerfo tests <kerfo@tarnwick.invalid>\nDescription: stand-in for the release before the entry was renamed\n' \
    >"$stand_in/DEBIAN/control"
dpkg-deb --root-owner-group -b "$stand_in" "$work/debs/before-rename.deb" >/dev/null ||
    { echo "FAIL: dpkg-deb could not build the stand-in"; exit 1; }
echo "built the .deb and the stand-in in $((SECONDS - started)) s"

# The root: the same one as long as the mirrors are the same.
cache=${KERFO_FRESH_ROOT_CACHE:-/var/cache/kerfo-tests}
# A throwaway root needs no fsync after each file dpkg writes; apt takes over this machine's
# view of stale mirror snapshots.
options=(--variant=minbase --skip=cleanup/apt/lists --aptopt='Acquire::GzipIndexes "true"'
         --dpkgopt=force-unsafe-io)
valid_until=$(apt-config dump Acquire::Check-Valid-Until | sed -n 's/^Acquire::Check-Valid-Until "\(.*\)";/\1/p')
[ -n "$valid_until" ] && options+=(--aptopt="Acquire::Check-Valid-Until \"$valid_until\"")
key=$(printf '%s\n' bookworm "${options[@]}" | cat - "$sources" | sha256sum | cut -c1-12)
tarball="$cache/bookworm-minbase-$key.tar"
mkdir -p "$cache/archives/partial"
# Two runs at once build it once.
exec 9>"$cache/lock"
flock 9
if [ ! -f "$tarball" ]; then
    started=$SECONDS
    # Roots built for other mirrors or options are not used again.
    rm -f "$cache"/bookworm-minbase-*.tar
    # mmdebstrap picks the format from the name's ending.
    partial="$cache/bookworm-minbase-$key.part.tar"
    if ! mmdebstrap "${options[@]}" bookworm "$partial" "$sources" >"$work/mmdebstrap.log" 2>&1; then
        tail -n 30 "$work/mmdebstrap.log"
        rm -rf "$partial"
        echo "FAIL: mmdebstrap could not build a Debian 12 root from $sources"
        exit 1
    fi
    mv "$partial" "$tarball" || exit 1
    echo "built the fresh root in $((SECONDS - started)) s (cached as $tarball)"
fi
flock -u 9
started=$SECONDS
mkdir "$work/root"
tar -xf "$tarball" -C "$work/root" || { echo "FAIL: cannot unpack $tarball"; exit 1; }
mkdir -p "$work/root/root/debs"
cp -r "$work/debs/." "$work/root/root/debs/"
echo "unpacked the cached root in $((SECONDS - started)) s"

unshare --mount --propagation private -- bash "$0" --inside "$work/root" "$cache/archives"
