# bash completion for kormial-cli: its options, their values, and folders
# for the other arguments. --load to --allow-all-copies are the review
# options.

_kormial_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local valued='-p --pattern --min --max --exclude -t --types -f --format --keep --load --list --mark --link'
    local prefix=''

    # "--format=js": bash splits the word at "=" when "=" is a word break,
    # otherwise the word arrives whole.
    if [[ $cur == = && $prev == --* ]]; then
        cur=''
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        prefix=$prev=
        cur=${cur#*=}
    fi

    # after "--" every argument is a folder
    local i ended=''
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ " $valued " == *" ${COMP_WORDS[i]} "* ]]; then
            ((i++))
        elif [[ ${COMP_WORDS[i]} == -- ]]; then
            ended=1
            break
        fi
    done

    local words=''
    if [[ -z $ended ]]; then
        case $prev in
        -f | --format) words='text tsv json' ;;
        -t | --types)
            # a comma-separated list: complete its last item
            local done=''
            [[ $cur == *,* ]] && done=${cur%,*},
            mapfile -t COMPREPLY < <(compgen -P "$prefix$done" -W 'zero dup name portions' -- "${cur##*,}")
            return
            ;;
        --list) words='dup zero name portions' ;;
        --mark) words='all older newer smaller larger keep-newest keep-oldest keep-first' ;;
        --link) words='hard reflink' ;;
        --load)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
        --keep) ;;  # a folder, as below
        -p | --pattern | --min | --max | --exclude) return ;;
        esac
        if [[ -n $words ]]; then
            mapfile -t COMPREPLY < <(compgen -P "$prefix" -W "$words" -- "$cur")
            return
        fi
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W '-p --pattern -r --subfolders -R --no-subfolders --keep
                --min --max --exclude -t --types -l --tolerant -f --format -h --help --version
                --load --list --mark --trash --link --dry-run --allow-all-copies --' -- "$cur")
            return
        fi
    fi
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
}
complete -F _kormial_cli kormial-cli
