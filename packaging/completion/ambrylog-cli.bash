# bash completion for ambrylog-cli
# The commands, options and their values come from the program itself (ambrylog-cli --complete),
# so this script knows every command the installed program has.

_ambrylog_cli_words()
{
    local kind=$1 cur=$2
    shift 2
    case $kind in
        word) COMPREPLY=($(compgen -W "$*" -- "$cur")) ;;
        file) _filedir ;;
        folder) _filedir -d ;;
        drive)
            local letters
            letters=$("$_ambrylog_cli_program" drives 2>/dev/null | cut -f1)
            COMPREPLY=($(compgen -W "$letters" -- "${cur^^}"))
            ;;
        *) COMPREPLY=() ;;
    esac
}

_ambrylog_cli()
{
    local cur prev words cword
    _init_completion || return
    _ambrylog_cli_program=${words[0]}
    type -P "$_ambrylog_cli_program" >/dev/null 2>&1 || _ambrylog_cli_program=ambrylog-cli

    # The command is the first word that is neither an option nor --catalog's value.
    local i command= start=0
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --catalog) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; start=$i; break ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $prev == --catalog ]]; then
            _filedir -d
        elif [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--catalog --help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$("$_ambrylog_cli_program" --complete 2>/dev/null)" -- "$cur"))
        fi
        return
    fi
    if [[ $command == help ]]; then
        ((cword == start + 1)) &&
            COMPREPLY=($(compgen -W "$("$_ambrylog_cli_program" --complete 2>/dev/null)" -- "$cur"))
        return
    fi

    local spec
    spec=$("$_ambrylog_cli_program" --complete "$command" 2>/dev/null) || return

    # Lines: "--switch", "--option KIND [CHOICE...]", "@N KIND [CHOICE...]".
    local -A kinds=() choices=()
    local name kind rest options=
    while read -r name kind rest; do
        [[ -n $name ]] || continue
        kinds[$name]=$kind
        choices[$name]=$rest
        [[ $name == -* ]] && options+=" $name"
    done <<<"$spec"

    if [[ $prev == -* && -n ${kinds[$prev]} ]]; then
        _ambrylog_cli_words "${kinds[$prev]}" "$cur" ${choices[$prev]}
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    # Which positional argument this is: count the words before it that are not options or
    # an option's value.
    local n=1
    for ((i = start + 1; i < cword; i++)); do
        case ${words[i]} in
            --) ;;
            -*) [[ -n ${kinds[${words[i]}]} ]] && ((i++)) ;;
            *) ((n++)) ;;
        esac
    done
    [[ -n ${kinds[@$n]} ]] && _ambrylog_cli_words "${kinds[@$n]}" "$cur" ${choices[@$n]}
}

complete -F _ambrylog_cli ambrylog-cli
