#!/usr/bin/env bash
# Checks the Debian package as a user gets it: unpacked into a temporary folder, both programs
# start, the desktop entry and metainfo validate, the man pages render without warnings, the
# completion scripts load and complete, the icons are the sizes they claim, and lintian finds
# no error.
# usage: check-package.sh [DEB]   (default: build/release/ambrylog_<version>_*.deb)
# Exit 77 (skipped) when there is no package to check: scripts/package.sh makes it.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=${1:-${AMBRY_DEB:-}}
if [ -z "$deb" ]; then
  deb=$(ls "$root"/build/release/ambrylog_*.deb 2>/dev/null | head -n1)
fi
if [ -z "$deb" ] || [ ! -f "$deb" ]; then
  echo "no package to check (scripts/package.sh builds it)"
  exit 77
fi

passed=0
failed=0
check() { # check NAME COMMAND...: runs the command, counts and reports it
  local name=$1
  shift
  local out
  if out=$("$@" 2>&1); then
    passed=$((passed + 1))
    echo "ok: $name"
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    printf '%s\n' "$out" | sed 's/^/    /'
  fi
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root" || { echo "FAILED: dpkg-deb -x $deb"; exit 1; }
usr=$tmp/root/usr
version=$(dpkg-deb -f "$deb" Version)
arch=$(dpkg-deb -f "$deb" Architecture)

check "file name" test "$(basename "$deb")" = "ambrylog_${version}_${arch}.deb"
check "section utils" test "$(dpkg-deb -f "$deb" Section)" = utils
check "dependencies found" sh -c "dpkg-deb -f '$deb' Depends | grep -q 'libqt6core6' && dpkg-deb -f '$deb' Depends | grep -q 'libqt6svg6' && dpkg-deb -f '$deb' Depends | grep -q 'libiso9660-'"
check "description" sh -c "dpkg-deb -f '$deb' Description | grep -q 'Ambrylog keeps a catalog'"
check "copyright" test -s "$usr/share/doc/ambrylog/copyright"

# Both programs start from the unpacked tree, with no display, and tell the package's version.
for program in ambrylog ambrylog-cli; do
  check "$program --version" sh -c "test \"\$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '$usr/bin/$program' --version)\" = '$program $version'"
  check "$program --help" sh -c "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '$usr/bin/$program' --help | grep -q '^usage: $program'"
done
check "ambrylog-cli works" sh -c "mkdir '$tmp/cat' && test \"\$('$usr/bin/ambrylog-cli' --catalog '$tmp/cat' next-number)\" = 1"

for f in "$usr"/share/applications/*.desktop; do
  check "desktop entry $(basename "$f")" desktop-file-validate "$f"
done
for f in "$usr"/share/metainfo/*.xml; do
  check "metainfo $(basename "$f")" appstreamcli validate --no-net "$f"
  check "metainfo names version $version" grep -q "<release version=\"$version\"" "$f"
done
check "icon svg" test -s "$usr/share/icons/hicolor/scalable/apps/io.github.brightfen.ambrylog.svg"
for size in 16 22 24 32 48 64 128 256; do
  f=$usr/share/icons/hicolor/${size}x${size}/apps/io.github.brightfen.ambrylog.png
  check "icon ${size}x${size}" sh -c "file '$f' | grep -q 'PNG image data, $size x $size'"
done
check "manual" test -s "$usr/share/ambrylog/manual.html"

for page in ambrylog.1 ambrylog-cli.1; do
  f=$usr/share/man/man1/$page.gz
  # groff prints its warnings and still succeeds: any output is a failure.
  check "man page $page renders without warnings" sh -c "test -s '$f' && test -z \"\$(zcat '$f' | groff -ww -z -man 2>&1)\""
  check "man -l $page" sh -c "MANWIDTH=80 man -l '$f' 2>&1 | grep -q '^EXIT STATUS'"
done

# The completion scripts load, and bash completes commands, options and values through the
# unpacked program.
bash_completion=$usr/share/bash-completion/completions/ambrylog-cli
check "bash completion loads" bash -c "source /usr/share/bash-completion/bash_completion && source '$bash_completion' && complete -p ambrylog-cli"
complete_in_bash() { # the words bash offers for a command line ending in the word being typed
  PATH="$usr/bin:$PATH" bash -c '
    source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _ambrylog_cli
    printf "%s\n" "${COMPREPLY[@]}"' "$bash_completion" "$@"
}
check "bash completes commands" test "$(echo $(complete_in_bash ambrylog-cli se))" = "search setting"
check "bash completes options" test "$(echo $(complete_in_bash ambrylog-cli add --dr))" = "--drive"
check "bash completes values" test "$(echo $(complete_in_bash ambrylog-cli search --format ''))" = "tsv json csv html"
zsh_completion=$usr/share/zsh/vendor-completions/_ambrylog-cli
check "zsh completion parses" zsh -n "$zsh_completion"
complete_in_zsh() { # the same through the zsh function, with zsh's offering calls stood in for
  PATH="$usr/bin:$PATH" zsh -f -c '
    compadd() { [[ $1 == -- ]] && shift; local w; for w; do [[ $w == $PREFIX* ]] && print -r -- $w; done; }
    _files() { print -r -- "(files $*)"; }
    _call_program() { shift; eval "$@"; }
    file=$1; shift
    words=("$@"); CURRENT=$#; PREFIX=${words[CURRENT]}
    source $file' zsh "$zsh_completion" "$@"
}
check "zsh completes commands" test "$(echo $(complete_in_zsh ambrylog-cli se))" = "search setting"
check "zsh completes options" test "$(echo $(complete_in_zsh ambrylog-cli add --dr))" = "--drive"
check "zsh completes values" test "$(echo $(complete_in_zsh ambrylog-cli search --format ''))" = "tsv json csv html"

lintian_out=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges')
check "lintian: no errors" sh -c "! printf '%s\n' \"\$0\" | grep -q '^E:'" "$lintian_out"
if [ -n "$lintian_out" ]; then
  printf 'lintian says:\n%s\n' "$lintian_out"
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
