#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it: name and version, the files and
# their places, stripped programs, dependencies found by dpkg-shlibdeps (the Qt libraries among
# them), man pages that man -l renders, and a bash completion that completes.
# Usage: package_check.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fails=0
fail() { echo "FAIL: $*"; fails=$((fails + 1)); }

# cpack builds its install step inside the build tree: two checks of one tree at once (two
# suites run side by side) take turns instead of tripping over each other's ninja lock.
(cd "$work" && flock "$build/.package_check.lock" \
   cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log"; echo "FAIL: cpack"; exit 1; }
debs=("$work"/out/kadex-tool_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { ls -l "$work/out"; echo "FAIL: no single kadex-tool_*_amd64.deb"; exit 1; }
deb=${debs[0]}

# One version: the programs', the package's and the file name's.
version=$("$build/bin/kadex-cli" --version | awk '{print $2}')
[ "$(basename "$deb")" = "kadex-tool_${version}_amd64.deb" ] || fail "file name $(basename "$deb") is not for version $version"
info=$(dpkg-deb --info "$deb")
grep -qx " Package: kadex-tool" <<<"$info" || fail "package name"
grep -qx " Version: $version" <<<"$info" || fail "version is not $version"
grep -qx " Architecture: amd64" <<<"$info" || fail "architecture"
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
names=$(tr ',' '\n' <<<"$depends" | awk '{print $1}')
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6charts6 libc6 libstdc++6 qt6-qpa-plugins; do
  grep -qxF "$lib" <<<"$names" || fail "Depends does not name $lib: $depends"
done

# The files and their places; nothing else but folders.
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
expected=(
  ./usr/bin/kadex-tool ./usr/bin/kadex-cli ./usr/bin/kadex-sim
  ./usr/share/kadex-tool/KadexTool.ini ./usr/share/kadex-tool/ZBCommand.txt ./usr/share/kadex-tool/ZBCommands.txt
  ./usr/share/kadex-tool/Kadexgerm.lng ./usr/share/kadex-tool/Kadexengl.lng
  ./usr/share/kadex-tool/Kadexgerm.pdf ./usr/share/kadex-tool/KadexKPRgerm.pdf
  ./usr/share/kadex-tool/Kadexengl.pdf ./usr/share/kadex-tool/KadexKPRengl.pdf
  ./usr/share/applications/kadex-tool.desktop
  ./usr/share/icons/hicolor/64x64/apps/kadex-tool.png ./usr/share/icons/hicolor/scalable/apps/kadex-tool.svg
  ./usr/share/man/man1/kadex-tool.1.gz ./usr/share/man/man1/kadex-cli.1.gz ./usr/share/man/man1/kadex-sim.1.gz
  ./usr/share/bash-completion/completions/kadex-cli ./usr/share/bash-completion/completions/kadex-sim
)
for f in "${expected[@]}"; do
  grep -qx "$f" <<<"$contents" || fail "missing $f"
done
while read -r f; do
  case $f in */) continue ;; esac
  printf '%s\n' "${expected[@]}" | grep -qx "$f" || fail "unexpected file $f"
done <<<"$contents"

# Stripped programs that still run from the unpacked tree.
dpkg-deb -x "$deb" "$work/root"
for prog in kadex-tool kadex-cli kadex-sim; do
  desc=$(file -b "$work/root/usr/bin/$prog")
  case $desc in
    *"not stripped"* | *debug_info*) fail "$prog is not stripped: $desc" ;;
    *stripped*) ;;
    *) fail "$prog: $desc" ;;
  esac
  out=$("$work/root/usr/bin/$prog" --version)
  [ "$out" = "$prog $version" ] || fail "$prog --version says '$out'"
done
"$work/root/usr/bin/kadex-cli" --simulate identify | grep -q "^Serial number: " || fail "kadex-cli --simulate identify"

# Man pages as man shows them.
for prog in kadex-tool kadex-cli kadex-sim; do
  page=$(MANWIDTH=100 man -l "$work/root/usr/share/man/man1/$prog.1.gz" 2>"$work/man.err")
  [ -s "$work/man.err" ] && fail "man -l $prog: $(cat "$work/man.err")"
  for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES ENVIRONMENT EXAMPLES; do
    grep -qx "$section" <<<"$page" || fail "$prog man page has no $section"
  done
  grep -q -- "--version" <<<"$page" || fail "$prog man page does not show --version"
done

# The completion completes commands, options, rates, addresses and file names.
complete_words() { # PROGRAM WORD...: the candidates for the last word
  (
    cd "$work" || exit 1
    source "$work/root/usr/share/bash-completion/completions/$1"
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    fn=_${1//-/_}
    "$fn" 2>/dev/null
    printf '%s\n' "${COMPREPLY[@]}"
  )
}
touch "$work/unit7.json"
check_completion() { # EXPECTED PROGRAM WORD...
  local want=$1
  shift
  complete_words "$@" | grep -x -- "$want" >/dev/null || fail "completing '$*' does not offer $want: $(complete_words "$@" | tr '\n' ' ')"
}
check_completion drive kadex-cli --simulate dr
check_completion 38400 kadex-cli --baud 384
check_completion ZB2 kadex-cli identify --address Z
check_completion --count kadex-cli monitor --co
check_completion unit7.json kadex-cli --simulate diff unit
check_completion fast-close kadex-cli drive fast
check_completion --wire-timing kadex-sim --wi
check_completion 3=ZB1 kadex-sim --address 3=
complete_words kadex-cli density --po | grep -q -- --port && fail "density is offered --port"

[ $fails -eq 0 ] && echo "OK $(basename "$deb")"
exit $((fails > 0))
