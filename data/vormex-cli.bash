# bash completion for vormex-cli
_vormex_cli() {
    local cur prev words cword
    _init_completion || return
    local commands="devices detect blank erase read verify program identify convert checksum info watch disasm serial doctor config report"
    local options="--device --port --sim-state --ini --settings --comm-mode1 --skip-blank --keep-eeprom --once --yes --serial
                   --output --search --help --version --start --increment --quantity --address --bytes --mode
                   --ignore-id --calibration --band-gap --list-settle --settle --root --set --station-gone
                   --operator --from-sqtp --export-sqtp --random --format -y -h -o --"
    case $prev in
        --device)
            local names
            names=$(vormex-cli devices 2>/dev/null | awk '{print $1}')
            COMPREPLY=($(compgen -W "$names" -- "$cur"))
            return ;;
        --port)
            COMPREPLY=($(compgen -W "sim COM1 COM2 COM3 COM4 $(compgen -G '/dev/serial/by-id/*') \
                $(compgen -G '/dev/ttyUSB*') $(compgen -G '/dev/ttyACM*') $(compgen -G '/dev/ttyS*')" -- "$cur"))
            return ;;
        --mode)
            COMPREPLY=($(compgen -W "retlw eeprom" -- "$cur"))
            return ;;
        --format)
            COMPREPLY=($(compgen -W "text csv json html" -- "$cur"))
            return ;;
        --from-sqtp|--export-sqtp)
            _filedir num
            return ;;
        --sim-state|--ini|--settings|--serial|-o|--output)
            _filedir
            return ;;
        --root)
            _filedir -d
            return ;;
        --band-gap)
            COMPREPLY=($(compgen -W "0 1 2 3" -- "$cur"))
            return ;;
        --search|--start|--increment|--quantity|--address|--bytes|--calibration|--settle|--set|--operator)
            return ;;
    esac
    if ((cword >= 3)) && [[ ${words[cword-2]} == --settle ]]; then
        COMPREPLY=($(compgen -W "used free" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            devices|detect|blank|erase|read|verify|program|identify|convert|checksum|info|watch|disasm|serial|doctor|config|report)
                command=${words[i]}; break ;;
        esac
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    else
        _filedir
    fi
} && complete -F _vormex_cli vormex-cli
