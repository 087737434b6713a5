# bash completion for velorund: its options, the values of --format and --background, folders
# after -o, and otherwise the files it reads (PNG, TIFF, JPEG and WebP) and folders to find them
# in. It needs nothing but bash, so it works with or without the bash-completion package.

_velorund()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} i
    # bash splits --name=VALUE at the '=' into three words: complete VALUE as the value of --name.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = && $COMP_CWORD -ge 2 ]]; then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi

    # After "--" every word is a file name.
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && break
    done
    if ((i == COMP_CWORD)); then
        case $prev in
            --format)
                COMPREPLY=($(compgen -W 'png jpg webp tif' -- "$cur"))
                return ;;
            --background)
                COMPREPLY=($(compgen -W 'black white gray grey red green blue yellow cyan magenta' -- "$cur"))
                return ;;
            -o | --output-dir)
                compopt -o filenames 2>/dev/null
                local IFS=$'\n'
                COMPREPLY=($(compgen -d -- "$cur"))
                return ;;
            --rect | --quality | --compression | --max-megapixels | --threads)
                return ;;  # a number: nothing to offer
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '-o --output-dir --format --rect --background --flat --quality
                --compression --max-megapixels --threads --force --quiet --verbose --help --version' -- "$cur"))
            return
        fi
    fi

    # Image files by their extension in any case, and folders.
    compopt -o filenames 2>/dev/null
    local IFS=$'\n' extglob
    extglob=$(shopt -p extglob)
    shopt -s extglob
    COMPREPLY=($(compgen -d -- "$cur")
               $(compgen -f -X '!*.@([Pp][Nn][Gg]|[Tt][Ii][Ff]?([Ff])|[Jj][Pp]?([Ee])[Gg]|[Ww][Ee][Bb][Pp])' -- "$cur"))
    eval "$extglob"
}
complete -F _velorund velorund
