# bash completion for kerfo-cli                             -*- shell-script -*-
# Commands, options, and for the files: .txt for encrypt, .kfo for decrypt and show,
# anything for check (the first eight bytes decide, not the name); directories always.

_kerfo_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options="--password-stdin --password-fd --password-file --allow-empty-password
                   --quiet -q --help --version"

    case $prev in
        --password-file)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --password-fd)
            COMPREPLY=()
            return
            ;;
    esac

    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            encrypt | decrypt | show | check)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        return
    fi
    if [[ -z $command ]]; then
        mapfile -t COMPREPLY < <(compgen -W "encrypt decrypt show check" -- "$cur")
        return
    fi

    local keep='*'
    case $command in
        encrypt) keep='*.[tT][xX][tT]' ;;
        decrypt | show) keep='*.[kK][fF][oO]' ;;
    esac
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -d -- "$cur"; compgen -f -X "!$keep" -- "$cur")
} && complete -F _kerfo_cli kerfo-cli
