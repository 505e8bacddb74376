# bash completion of kivreport: commands, each command's options, and files for
# the options and arguments that take them (repositories, templates, manifests,
# folders). Installed to share/bash-completion/completions/kivreport. The option
# lists follow each command's --help (the tests compare them).
_kivreport() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local common="-h --help -v --verbose -q --quiet"
    local command="" sub="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -*) ;;
            *) if [[ -z $command ]]; then command=${COMP_WORDS[i]}
               elif [[ ($command == repo || $command == template) && -z $sub ]]; then sub=${COMP_WORDS[i]}; fi ;;
        esac
    done

    case $prev in
        --repo|--ref) COMPREPLY=($(compgen -f -X '!*.kivrep' -- "$cur") $(compgen -d -- "$cur")); return ;;
        --template) COMPREPLY=($(compgen -f -X '!*.@(html|htm|pptx|pptm|docx|docm)' -- "$cur") $(compgen -d -- "$cur")); return ;;
        --from) COMPREPLY=($(compgen -f -X '!*.json' -- "$cur") $(compgen -d -- "$cur")); return ;;
        --out) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --snapshots) return ;;
    esac

    local options=""
    case $command in
        "") COMPREPLY=($(compgen -W "repo generate validate summarize template help $common --version" -- "$cur")); return ;;
        repo)
            case $sub in
                "") COMPREPLY=($(compgen -W "create show export $common" -- "$cur")); return ;;
                create) options="--from" ;;
                show) options="--json" ;;
                export) options="--force --keep-going" ;;
            esac ;;
        template)
            case $sub in
                "") COMPREPLY=($(compgen -W "controls $common" -- "$cur")); return ;;
                controls) options="" ;;
            esac ;;
        generate) options="--repo --template --out --ref --snapshots --no-3d-viewer --no-3d-plugin --no-embed --pdf --keep-going --strict --json" ;;
        validate) options="--repo --template --ref --snapshots --keep-going --json" ;;
        summarize) options="--json" ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options $common" -- "$cur"))
    else
        # Positionals are files: OUT and REPO of repo, T of summarize, DIR of export, IN and OUT of template controls.
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
shopt -s extglob 2>/dev/null
complete -o filenames -F _kivreport kivreport
