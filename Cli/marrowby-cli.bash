# bash completion for marrowby-cli: commands, their options, and device and
# app names from the running service.
_marrowby_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local commands="devices apps launch reset uninstall erase delete add-photo copy-path groups open-simulator quit-simulator watch mount help"
    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help" -- "$cur"))
        return
    fi
    local command=${COMP_WORDS[1]}
    if [[ $cur == --* ]]; then
        case $command in
            devices|apps) COMPREPLY=($(compgen -W "--json --help" -- "$cur")) ;;
            open-simulator) COMPREPLY=($(compgen -W "--hidden --help" -- "$cur")) ;;
            *) COMPREPLY=($(compgen -W "--help" -- "$cur")) ;;
        esac
        return
    fi
    local IFS=$'\n'
    case $command in
        apps|launch|reset|uninstall|erase|delete|add-photo|copy-path|groups|open-simulator)
            if [[ $COMP_CWORD -eq 2 ]]; then
                COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" devices 2>/dev/null | cut -f1)" -- "$cur"))
            elif [[ $command == add-photo ]]; then
                COMPREPLY=($(compgen -f -- "$cur"))
            elif [[ $COMP_CWORD -eq 3 && $command != erase && $command != delete && $command != open-simulator ]]; then
                COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" apps "${COMP_WORDS[2]}" 2>/dev/null | cut -f1)" -- "$cur"))
            fi
            ;;
        help)
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
            ;;
    esac
    COMPREPLY=("${COMPREPLY[@]// /\\ }")
}
complete -F _marrowby_cli marrowby-cli
