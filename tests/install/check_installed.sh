#!/bin/sh
# Checks an installed copy of the program under PREFIX (as `cmake --install` or the unpacked package
# lays it out): the program in a folder of its own with the guide beside it, the link in bin that
# `norv-extract` is called through, and the manual page. `version` run through the link must name the
# guide of this copy, and `help` must still answer. The nightly and the verification services and timers
# must be there, take the password from the credential (never from the command line) and pass
# `systemd-analyze verify` where systemd is installed.
# Usage: check_installed.sh PREFIX [TARGET]   (TARGET: the prefix the copy was made for, when it was
# unpacked elsewhere: /usr for the package; default PREFIX)
set -eu
target=${2:-$1}
prefix=$(cd "$1" && pwd -P)
fail() { echo "FAIL: $*" >&2; exit 1; }

program=$prefix/lib/norv-extract/norv-extract
guide=$prefix/lib/norv-extract/help/NorvGuide.pdf
link=$prefix/bin/norv-extract
manpage=$prefix/share/man/man1/norv-extract.1.gz

[ -x "$program" ] || fail "no program at $program"
[ -L "$link" ] || fail "$link is not a link"
[ "$(readlink -f "$link")" = "$program" ] || fail "$link leads to $(readlink -f "$link"), not $program"
[ "$(head -c 5 "$guide")" = "%PDF-" ] || fail "no PDF guide at $guide"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# Called by name through PATH, as a user or a timer calls it.
out=$(cd "$home" && HOME=$home PATH=$prefix/bin:$PATH norv-extract version) || fail "version failed"
reported=$(printf '%s\n' "$out" | awk -F '\t' '$1 == "version" { print $6 }')
[ "$reported" = "$guide" ] || fail "version names the guide '$reported', expected '$guide'"

status=0
err=$(cd "$home" && HOME=$home "$link" help 2>&1 >/dev/null) || status=$?
[ $status -eq 1 ] || fail "help exited with $status, expected 1"
printf '%s\n' "$err" | grep -q '^Usage: ' || fail "help wrote no usage: $err"

[ -s "$manpage" ] || fail "no manual page at $manpage"
warnings=$(gzip -dc "$manpage" | groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "the manual page does not render cleanly: $warnings"
gzip -dc "$manpage" | grep -q '^norv-extract \\- ' || fail "the manual page has no NAME line"

units=$prefix/lib/systemd/system
for unit in norv-extract@:run norv-extract-verify@:verify; do
  name=${unit%%:*}
  command=${unit#*:}
  service=$units/$name.service
  timer=$units/$name.timer
  [ -f "$service" ] && [ -f "$timer" ] || fail "no service and timer $name in $units"
  grep -q "^ExecStart=$target/bin/norv-extract $command " "$service" ||
    fail "$name.service does not start $target/bin/norv-extract $command: $(grep ExecStart "$service")"
  grep -q '^LoadCredential=norv-pwd:' "$service" || fail "$name.service passes no credential norv-pwd"
  ! grep -q -e '--pwd' "$service" || fail "$name.service puts a password on the command line"
  if command -v systemd-analyze >/dev/null; then
    # The copy as it would stand under TARGET: its service starts the program of this copy.
    mkdir -p "$home/units"
    sed "s|$target/bin/norv-extract|$prefix/bin/norv-extract|" "$service" >"$home/units/$name.service"
    cp "$timer" "$home/units/"
    # The manual page is checked above; verify would look for it among the system's pages.
    verified=$(cd "$home/units" && systemd-analyze verify --man=no "$name.service" "$name.timer" 2>&1) ||
      fail "systemd-analyze verify failed: $verified"
    [ -z "$verified" ] || fail "systemd-analyze verify complains: $verified"
  else
    echo "note: systemd-analyze is not installed; the units were not verified"
  fi
done
echo "ok: installed copy under $prefix"
