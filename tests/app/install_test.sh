#!/usr/bin/env bash
# Installs the build tree into a scratch prefix ("install"), or makes the
# Debian package and unpacks it into a scratch root ("deb"), then plays the
# installed demo headless from there, its folder read-only as under /usr.
# Usage: install_test.sh install|deb BUILD_DIR. Exit 77: skipped.
set -euo pipefail
mode=$1
build=$2

scratch=$(mktemp -d /tmp/tesserae-install-XXXXXX)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
chmod 755 "$scratch"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

case $mode in
install)
    cmake --install "$build" --prefix "$scratch/root/usr" >/dev/null
    ;;
deb)
    command -v dpkg-deb >/dev/null || { echo "no dpkg-deb on this system: skipped"; exit 77; }
    cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/package" >"$scratch/cpack.log" || fail "cpack: $(cat "$scratch/cpack.log")"
    deb=$(ls "$scratch"/package/*.deb)
    dpkg-deb -x "$deb" "$scratch/root"
    depends=$(dpkg-deb -f "$deb" Depends)
    # Every library the program links comes from a package it depends on.
    # (The sanitizers' run-time libraries of a test build are not the package's.)
    for lib in $(readelf -d "$scratch/root/usr/bin/tesserae" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' |
        grep -v '^lib[a-z]*san\.so'); do
        # awk reads to the end: leaving early would end ldconfig by SIGPIPE.
        path=$(ldconfig -p | awk -v name="$lib" '$1 == name && !found { print $NF; found = 1 }')
        [[ -n $path ]] || fail "$lib is not installed here"
        owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null || true)
        owner=${owner%%:*}
        [[ -n $owner ]] || fail "no package owns $path"
        [[ ", $depends," == *", $owner,"* ]] || fail "$lib comes from $owner, missing from Depends: $depends"
    done
    for wanted in timgm6mb-soundfont fonts-ipafont-gothic; do
        [[ ", $depends," == *", $wanted,"* ]] || fail "$wanted missing from Depends: $depends"
    done
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac

prefix=$scratch/root/usr
for file in bin/tesserae lib/tesserae/input.so share/tesserae/system/board/board.cha \
    share/tesserae/demo/script/init.nut share/man/man6/tesserae.6 share/applications/tesserae.desktop; do
    [[ -f $prefix/$file ]] || fail "$file is not installed"
done
[[ ! -e $prefix/share/tesserae/demo/input.so ]] || fail "the build's pad plug-in copy was installed into the demo"

# As under /usr: nobody may write the demo's folder. Root ignores that, so
# root plays it as the user "nobody".
chmod -R a-w "$scratch/root"
mkdir -p "$scratch/data" "$scratch/home"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
    command -v setpriv >/dev/null || { echo "root without setpriv: no ordinary user to play as: skipped"; exit 77; }
    chown 65534:65534 "$scratch/data" "$scratch/home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups env -u XDG_RUNTIME_DIR)
fi
before=$(find "$prefix" -printf '%P %s %T@\n' | sort)
status=0
(cd / && "${as_user[@]}" env HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" \
    timeout 60 "$prefix/bin/tesserae" --headless --virtual-clock --frames 60 \
    --screenshot "$scratch/data/shot.png" 2>"$scratch/data/err.txt") || status=$?
[[ $status -eq 0 ]] || fail "the installed demo ended with status $status: $(cat "$scratch/data/err.txt")"
[[ -s $scratch/data/shot.png ]] || fail "no screenshot of the installed demo"
expected="tesserae: the game folder is installed with the program; the game's files go to '$scratch/data/tesserae/demo/'"
[[ $(cat "$scratch/data/err.txt") == "$expected" ]] || fail "unexpected messages: $(cat "$scratch/data/err.txt")"
[[ $(find "$prefix" -printf '%P %s %T@\n' | sort) == "$before" ]] || fail "the run changed the installed files"

# An install folder the player may write (root, or a prefix in the home
# folder) is left alone all the same.
chmod -R u+w "$scratch/root"
mkdir -p "$scratch/data2"
before=$(find "$prefix" -printf '%P %s %T@\n' | sort)
(cd / && env HOME="$scratch/home" XDG_DATA_HOME="$scratch/data2" \
    timeout 60 "$prefix/bin/tesserae" --headless --virtual-clock --frames 60 2>"$scratch/data2/err.txt") ||
    fail "the installed demo ended with status $? from a writable install: $(cat "$scratch/data2/err.txt")"
[[ $(find "$prefix" -printf '%P %s %T@\n' | sort) == "$before" ]] || fail "a writable install folder was written"
expected="tesserae: the game folder is installed with the program; the game's files go to '$scratch/data2/tesserae/demo/'"
[[ $(cat "$scratch/data2/err.txt") == "$expected" ]] || fail "unexpected messages: $(cat "$scratch/data2/err.txt")"
[[ -d $scratch/data2/tesserae/demo ]] || fail "no folder of the user's for the demo"
echo "installed demo ran from $mode"
