#!/usr/bin/env bash
# Runs the shell examples of the README, in order, in one shell, and
# compares what each prints with the block shown after it.  Each example is
# a fenced block marked sh; the fenced block right after it, when there is
# one, is what it prints (standard output and error together).
# Usage: readme_test.sh README PROGRAM_FOLDER
set -u
readme=$1
programs=$(cd "$2" && pwd)
cd "$(dirname "$readme")"
state=$(mktemp -d)
trap 'rm -rf "$state" "${scratch:-}"' EXIT
# Uploads and the journal stay out of the user's home.
export HOME=$state XDG_STATE_HOME=$state/state
failures=0 examples=0

# The blocks, as one file each: NAME.sh for an example, NAME.out for what
# it prints.
awk -v dir="$state" '
  /^```sh$/ { n++; file = sprintf("%s/%03d.sh", dir, n); inside = 1; next }
  /^```$/ && !inside && last_closed == NR - 1 && n > 0 && !printed[n] {
    file = sprintf("%s/%03d.out", dir, n); inside = 2; printed[n] = 1; next }
  /^```/ && inside { inside = 0; last_closed = NR; next }
  inside { print > file }
' "$readme"

for example in "$state"/*.sh; do
  examples=$((examples + 1))
  got=$state/got
  eval "$(cat "$example")" >"$got.raw" 2>&1
  # Listings end their lines in CR LF; a terminal shows no CR.
  tr -d '\r' <"$got.raw" >"$got"
  # The programs of this build, whatever folder the README names.
  PATH="$programs:$PATH"
  expected=${example%.sh}.out
  if [[ -f $expected ]] && ! diff -u "$expected" "$got"; then
    echo "FAIL: the example of $example printed otherwise:"
    cat "$example"
    failures=$((failures + 1))
  fi
done
[[ $examples -ge 8 ]] || { echo "FAIL: only $examples examples found"; failures=1; }
[[ $failures == 0 ]] && echo "all $examples examples print what the README shows"
exit $((failures > 0))
