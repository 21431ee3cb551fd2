# Bash completion for the scanner memory tools: imgtxt, txtimg, imgedit,
# imgsend, imgdiff, imgcsv, csvimg and imgcard.  Installed once under each
# program's name, so that bash-completion loads it for whichever is typed
# first.

# Adds the folders and the files with one of the extensions (a list such
# as "spg|SPG") that start with the word being completed.
_scanner_files() {
    local cur=$1 extensions=$2 restore
    restore=$(shopt -p extglob)
    shopt -s extglob
    local IFS=$'\n'
    COMPREPLY+=($(compgen -d -- "$cur"))
    COMPREPLY+=($(compgen -f -X "!*.@($extensions)" -- "$cur"))
    eval "$restore"
    compopt -o filenames 2>/dev/null
}

# The number of the operand being completed (1 for the first), counting
# the words after the command that are not options or option arguments;
# the options that take an argument are given.
_scanner_operand() {
    local takes_argument=$1 i count=0
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -?) [[ $takes_argument == *${COMP_WORDS[i]:1:1}* ]] && ((i++)) ;;
            -*) ;;
            *) ((count++)) ;;
        esac
    done
    echo $((count + 1))
}

_scanner_options() {
    local cur=$1 options=$2
    COMPREPLY+=($(compgen -W "$options --help --version" -- "$cur"))
}

_imgtxt() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -c"
        return
    fi
    case $(_scanner_operand "") in
        1) _scanner_files "$cur" "spg|SPG" ;;
        2) _scanner_files "$cur" "asc|ASC" ;;
    esac
}

_txtimg() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -c -f"
        return
    fi
    # With -f both operands are listings.
    local second="spg|SPG" word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        [[ $word == -f ]] && second="asc|ASC"
    done
    case $(_scanner_operand "") in
        1) _scanner_files "$cur" "asc|ASC" ;;
        2) _scanner_files "$cur" "$second" ;;
    esac
}

_imgedit() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if [[ $prev == -b ]]; then
        COMPREPLY=($(compgen -W "0 1 2 3 4 5 6 7 8 9" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -b"
        return
    fi
    [[ $(_scanner_operand "b") == 1 ]] && _scanner_files "$cur" "spg|SPG"
}

_imgsend() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    case $prev in
        -p)
            local IFS=$'\n'
            COMPREPLY=($(compgen -G "/dev/ttyUSB*" -- "$cur")
                $(compgen -G "/dev/ttyACM*" -- "$cur")
                $(compgen -G "/dev/ttyS*" -- "$cur"))
            COMPREPLY=($(compgen -W "${COMPREPLY[*]}" -- "$cur"))
            return
            ;;
        -s) return ;;
    esac
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -f -n -p -s"
        return
    fi
    [[ $(_scanner_operand "ps") == 1 ]] && _scanner_files "$cur" "spg|SPG"
}

_imgcsv() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -t"
        return
    fi
    case $(_scanner_operand "") in
        1) _scanner_files "$cur" "spg|SPG" ;;
        2) _scanner_files "$cur" "csv|CSV" ;;
    esac
}

_csvimg() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    case $prev in
        -t)
            COMPREPLY=($(compgen -W "0 1 2 3 4 5 6 7 8 9" -- "$cur"))
            return
            ;;
        -b)
            # A bank, or a range of banks such as 2-5.
            if [[ $cur == [0-9]-* ]]; then
                COMPREPLY=($(compgen -W "$(printf "${cur%%-*}-%s " {0..9})" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "0 1 2 3 4 5 6 7 8 9" -- "$cur"))
            fi
            return
            ;;
        -m) return ;;
    esac
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -c -k -a -d -m -b -t"
        return
    fi
    case $(_scanner_operand "btm") in
        1) _scanner_files "$cur" "csv|CSV|tsv|TSV" ;;
        2 | 3) _scanner_files "$cur" "spg|SPG" ;;
    esac
}

_imgdiff() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    COMPREPLY=()
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -u --last"
        return
    fi
    _scanner_files "$cur" "spg|SPG|asc|ASC"
}

_imgcard() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if [[ $prev == -b ]]; then
        # A list such as 0,3-5: the banks, after what is typed so far.
        local head=${cur%[0-9]}
        [[ $cur == *[,-] ]] && head=$cur
        COMPREPLY=($(compgen -W "$(printf "$head%s " {0..9})" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        _scanner_options "$cur" "-h -p -b"
        return
    fi
    case $(_scanner_operand "b") in
        1) _scanner_files "$cur" "spg|SPG|asc|ASC" ;;
        2) _scanner_files "$cur" "html|HTML|htm" ;;
    esac
}

complete -F _imgcard imgcard
complete -F _imgtxt imgtxt
complete -F _txtimg txtimg
complete -F _imgedit imgedit
complete -F _imgsend imgsend
complete -F _imgcsv imgcsv
complete -F _csvimg csvimg
complete -F _imgdiff imgdiff
