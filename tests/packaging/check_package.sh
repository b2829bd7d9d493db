#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of a build tree with CPack and checks it as a
# distribution would: what it holds, its dependencies, that its binaries are
# stripped and run from a scratch root, its manual pages, desktop entry and
# AppStream data, and lintian (no errors; the warnings are printed).
#   check_package.sh <build dir>
set -euo pipefail

build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  fail "cpack -G DEB"
}
debs=("$work"/out/sonavela_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || fail "no package in $work/out"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for library in libc6 libstdc++6 libqt6widgets6 libfluidsynth3 libjack; do
  [[ "$depends" == *"$library"* ]] || fail "Depends lacks $library"
done

root=$work/root
dpkg -x "$deb" "$root"
for path in usr/bin/sonavela usr/bin/sonavela-cli \
  usr/lib/lv2/sonavela.lv2/sonavela.so usr/lib/lv2/sonavela.lv2/manifest.ttl \
  usr/lib/lv2/sonavela.lv2/sonavela.ttl \
  usr/share/man/man1/sonavela.1.gz usr/share/man/man1/sonavela-cli.1.gz \
  usr/share/applications/sonavela.desktop \
  usr/share/metainfo/io.github.sonavela.Sonavela.metainfo.xml \
  usr/share/bash-completion/completions/sonavela-cli \
  usr/share/doc/sonavela/copyright usr/share/doc/sonavela/changelog.gz \
  usr/share/icons/hicolor/scalable/apps/sonavela.svg; do
  [ -e "$root/$path" ] || fail "the package lacks /$path"
done
for size in 16 32 48 64 128 256; do
  [ -e "$root/usr/share/icons/hicolor/${size}x${size}/apps/sonavela.png" ] ||
    fail "the package lacks the ${size} px icon"
done
for binary in usr/bin/sonavela usr/bin/sonavela-cli usr/lib/lv2/sonavela.lv2/sonavela.so; do
  file -b "$root/$binary" | grep -q ', stripped' || fail "/$binary is not stripped"
done

# cmake --install puts the same set of files in place.
cmake --install "$build" --prefix "$work/installed" >/dev/null
packaged=$(cd "$root/usr" && find . -type f | sort)
installed=$(cd "$work/installed" && find . -type f | sort)
[ "$packaged" = "$installed" ] || fail "cmake --install and the package differ: $(diff <(echo "$packaged") <(echo "$installed"))"

cli=$root/usr/bin/sonavela-cli
version=$("$cli" --version | head -n 1)
[ "$version" = "sonavela-cli $(dpkg-deb -f "$deb" Version)" ] || fail "--version says '$version'"
chords=$("$cli" --device none --interval 0 --steps 3)
[ "$chords" = $'C   : C\nC   : Am\nC   : Dm' ] || fail "--steps 3 printed '$chords'"
"$root/usr/bin/sonavela" --version | grep -q '^sonavela ' || fail "the dialog's --version"

for page in sonavela sonavela-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
  LC_ALL=C.UTF-8 man -l "$root/usr/share/man/man1/$page.1.gz" | grep -q "^NAME" || fail "man $page"
done
desktop-file-validate "$root/usr/share/applications/sonavela.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.sonavela.Sonavela.metainfo.xml" ||
  fail "appstreamcli validate"

# Every option of --help is in the manual page and in the completion.
manual=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$root/usr/share/man/man1/sonavela-cli.1.gz" 2>/dev/null)
completion=$(cat "$root/usr/share/bash-completion/completions/sonavela-cli")
for option in $("$cli" --help | grep -oE '^  (-h, )?--[a-z-]+' | grep -oE -- '--[a-z-]+'); do
  grep -qF -- "$option" <<<"$manual" || fail "the manual page lacks $option"
  grep -qF -- "$option" <<<"$completion" || fail "the completion lacks $option"
done

# The completion as bash runs it: an option, then one of its values.
complete_words() {
  bash -c 'source /usr/share/bash-completion/bash_completion
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _sonavela_cli sonavela-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "${COMPREPLY[*]}"' _ "$root/usr/share/bash-completion/completions/sonavela-cli" "$@"
}
# The names an option's value may take, as the program refuses a wrong one,
# are the completion's words for it and are each in the manual page.
for option in --voicing --pattern --sync; do
  names=$({ "$cli" "$option" '?' 2>&1 || true; } | sed -n "s/^sonavela-cli: $option: '?' is none of //p" | tr -d ,)
  [ -n "$names" ] || fail "$option names no values"
  [ "$(complete_words sonavela-cli "$option" "")" = "$names" ] ||
    fail "the completion of $option is not: $names"
  for name in $names; do
    grep -qE -- "(^|[ (,])$name([ ),.]|$)" <<<"$manual" || fail "the manual page lacks $option $name"
  done
done
# The plugin's choices of them are as many, one scale point each.
triples=$(sordi "$root/usr/lib/lv2/sonavela.lv2/sonavela.ttl" 2>/dev/null)
for option in --voicing --pattern; do
  names=$({ "$cli" "$option" '?' 2>&1 || true; } | sed -n "s/^sonavela-cli: $option: '?' is none of //p" | tr -d ,)
  port=$(grep -F "#symbol> \"${option#--}\"" <<<"$triples" | cut -d' ' -f1)
  points=$(grep -c -F "$port <http://lv2plug.in/ns/lv2core#scalePoint>" <<<"$triples" || true)
  [ "$points" = "$(wc -w <<<"$names")" ] || fail "the plugin offers $points ${option#--}s, not: $names"
done
[ "$(complete_words sonavela-cli --voi)" = "--voicing" ] || fail "completing --voi"
[ "$(complete_words sonavela-cli --voicing c)" = "close" ] || fail "completing --voicing c"
[ "$(complete_words sonavela-cli --sync m)" = "midi-clock" ] || fail "completing --sync m"

lintian --fail-on error --no-tag-display-limit "$deb" >"$work/lintian.log" 2>&1 || {
  cat "$work/lintian.log"
  fail "lintian reports errors"
}
echo "lintian:"
cat "$work/lintian.log"
echo "package checked"
