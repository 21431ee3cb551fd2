#!/usr/bin/env bash
# The bash completion of the programs, word by word, in a folder of known
# files; then, when the programs' folder is given, the options each
# program's --help names against those completion offers.
# Usage: completion_test.sh COMPLETION_FILE [PROGRAM_FOLDER]
set -u
source "$1"
programs=${2:+$(cd "$2" && pwd)}
checked=0
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
touch a.spg B.SPG list.asc other.txt chan.csv tags.tsv card.html
mkdir sub
failures=0

# Completes the words (the last one is being completed) and compares the
# sorted replies with the expected words.
expect() {
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    local function
    function=$(complete -p "$1" | sed 's/.*-F \([^ ]*\) .*/\1/')
    "$function" 2>/dev/null
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ')
    got=${got% }
    if [[ $got != "$expected" ]]; then
        echo "FAIL: $* -> '$got', expected '$expected'"
        failures=$((failures + 1))
    fi
}

expect "B.SPG a.spg sub" imgtxt ""
expect "list.asc sub" imgtxt a.spg ""
expect "--help --version -c -h" imgtxt -
expect "list.asc sub" txtimg ""
expect "list.asc sub" txtimg -c ""
expect "B.SPG a.spg sub" txtimg list.asc ""
expect "list.asc sub" txtimg -f list.asc ""
expect "--help --version -c -f -h" txtimg -
expect "B.SPG a.spg sub" imgedit ""
expect "B.SPG a.spg sub" imgedit -b 3 ""
expect "0 1 2 3 4 5 6 7 8 9" imgedit -b ""
expect "" imgedit a.spg ""
expect "--help --version -b -h" imgedit -
expect "B.SPG a.spg sub" imgsend -s 20 ""
expect "" imgsend -s ""
expect "--help --version -f -h -n -p -s" imgsend -
expect "B.SPG a.spg list.asc sub" imgdiff ""
expect "B.SPG a.spg list.asc sub" imgdiff --last ""
expect "--help --last --version -h -u" imgdiff -
expect "B.SPG a.spg sub" imgcsv -t ""
expect "chan.csv sub" imgcsv a.spg ""
expect "chan.csv sub tags.tsv" csvimg -b 3 ""
expect "2-0 2-1 2-2 2-3 2-4 2-5 2-6 2-7 2-8 2-9" csvimg -b 2-
expect "chan.csv sub tags.tsv" csvimg -d -b 2-5 ""
expect "0 1 2 3 4 5 6 7 8 9" csvimg -t ""
expect "B.SPG a.spg sub" csvimg chan.csv ""
expect "B.SPG a.spg sub" csvimg chan.csv a.spg ""
expect "a.spg" csvimg chan.csv a
expect "" csvimg -t 4 -m ""
expect "chan.csv sub tags.tsv" csvimg -t 4 -m Fire -a ""
expect "--help --version -a -b -c -d -h -k -m -t" csvimg -
expect "B.SPG a.spg list.asc sub" imgcard ""
expect "card.html sub" imgcard -p a.spg ""
expect "0 1 2 3 4 5 6 7 8 9" imgcard -b ""
expect "0,0 0,1 0,2 0,3 0,4 0,5 0,6 0,7 0,8 0,9" imgcard -b 0,
expect "B.SPG a.spg list.asc sub" imgcard -b 0,3-5 ""
expect "--help --version -b -h -p" imgcard -

# The port: only serial devices, whichever this machine has.
ports=$(compgen -G "/dev/ttyUSB*"; compgen -G "/dev/ttyACM*"; compgen -G "/dev/ttyS*")
expect "$(printf '%s\n' $ports | sort | tr '\n' ' ' | sed 's/ $//')" imgsend -p ""
expect "" imgsend -p /dev/null

# Every option --help names, and no other, is offered after a dash.
if [[ -n $programs ]]; then
    for program in imgtxt txtimg imgedit imgsend imgdiff imgcsv csvimg imgcard; do
        [[ -x $programs/$program ]] || continue
        options=$("$programs/$program" --help | tr -d '\r' |
            sed -n 's/^  \(--*[a-z][a-z]*\).*/\1/p' | sort -u | tr '\n' ' ')
        expect "${options% }" "$program" -
        checked=$((checked + 1))
    done
fi

[[ -z $programs || $checked -ge 6 ]] || { echo "FAIL: only $checked programs found"; failures=$((failures + 1)); }
[[ $failures == 0 ]] && echo "all completions as expected"
exit $((failures > 0))
