# Sourced by the tools that make something once into a cache, from what they
# download: TREVASK_CACHE, or ~/.cache/trevask (XDG_CACHE_HOME is honoured).
# shellcheck shell=bash
cache="${TREVASK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/trevask}"

# A folder as messages name it: the home folder as ~.
shown() { echo "${1/#$HOME/\~}"; }

# made_once WHAT FOLDER MARKER [--path]: the calling script makes WHAT in
# FOLDER, which is complete once the file MARKER exists. With --path, prints
# FOLDER, or fails when it is not complete; otherwise, when it is, says so.
# Either way the script ends there; it goes on only to make WHAT.
made_once() {
    local what=$1 folder=$2 marker=$3
    if [ "${4:-}" = "--path" ]; then
        [ -f "$marker" ] || { echo "${0##*/}: no $what in $(shown "$folder"); run $0" >&2; exit 1; }
        echo "$folder"
        exit 0
    fi
    if [ -f "$marker" ]; then
        echo "The $what is in the cache."
        exit 0
    fi
}
