# Registry fixtures for the black-box suite (source this file; bash).
#
#   registry_setup TARGET PROGRAM   TARGET native|windows; PROGRAM the program the suite runs
#   registry_install FILE           installs FILE, a .reg file in the "Windows Registry Editor Version
#                                   5.00" format (UTF-8 or UTF-16LE with byte-order mark)
#   registry_remove                 removes what registry_install added (safe to call twice)
#   registry_delete_key KEY         deletes one key with everything below it (Windows; natively a no-op)
#
# native:  the file is copied to a private directory with mode 0600 and VELTOR_REGISTRY is exported
#          for the program to find it; registry_remove deletes the copy and unsets the variable.
# windows: the file is imported with "reg import" into the Wine prefix the program runs with (the one
#          cmake/wine-run picks: VELTOR_WINEPREFIX, else the "wineprefix" directory beside the program's
#          bin directory), into the registry view the program reads: /reg:32 for a 32-bit program,
#          /reg:64 for a 64-bit one. The 64-bit reg does it where the 64-bit Wine is installed (it
#          reaches both views of the 64-bit prefix that cmake/wine-run makes there, and starts at once
#          where 32-bit programs only run emulated). Before the import, the first key of each key path that does not
#          exist yet is recorded; registry_remove deletes exactly those keys, so keys that were there
#          before (HKEY_LOCAL_MACHINE\SOFTWARE) stay.
# REGISTRY_VIEW=32|64 set for one call works in that view instead of the program's (Windows).
# Each function returns non-zero and prints the reason on standard error when it fails.

_registry_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
REGISTRY_TARGET=
REGISTRY_PROGRAM=
REGISTRY_BITS=
REGISTRY_TOOL_BITS=
REGISTRY_WINEPREFIX=
_registry_private_dir=
_registry_created=()

registry_setup() {
    REGISTRY_TARGET=$1
    REGISTRY_PROGRAM=$2
    case $REGISTRY_TARGET in
    native) return 0 ;;
    windows) ;;
    *)
        echo "registry_setup: unknown target \"$REGISTRY_TARGET\" (native or windows)" >&2
        return 1
        ;;
    esac
    REGISTRY_BITS=$(_registry_pe_bits "$REGISTRY_PROGRAM") || return 1
    REGISTRY_TOOL_BITS=$REGISTRY_BITS
    "$_registry_root/cmake/wine-run" --bits=64 --probe && REGISTRY_TOOL_BITS=64
    local bin
    bin=$(cd "$(dirname "$REGISTRY_PROGRAM")" && pwd) || return 1
    REGISTRY_WINEPREFIX=${VELTOR_WINEPREFIX:-$(dirname "$bin")/wineprefix}
}

# 32 or 64 from the machine field of a PE file's header.
_registry_pe_bits() {
    local file=$1 offset machine
    offset=$(od -An -t u4 -j 60 -N 4 "$file" 2>/dev/null | tr -d ' ')
    [ -n "$offset" ] && machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$file" 2>/dev/null | tr -d ' ')
    case ${machine:-} in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *)
        echo "registry: \"$file\" is not a 32-bit or 64-bit Windows program" >&2
        return 1
        ;;
    esac
}

# Runs a Wine tool in the program's prefix, with wine-run's settings.
_registry_wine() {
    LC_ALL=C VELTOR_WINEPREFIX=$REGISTRY_WINEPREFIX "$_registry_root/cmake/wine-run" --bits="$REGISTRY_TOOL_BITS" "$@"
}

# The key paths of the file's key lines, deletions left out, one a line.
_registry_sections() {
    local file=$1
    if [ "$(head -c 2 "$file" | od -An -t x1 | tr -d ' ')" = fffe ]; then
        tail -c +3 "$file" | iconv -f UTF-16LE -t UTF-8
    else
        cat "$file"
    fi | tr -d '\r' | sed -n 's/^[[:blank:]]*\[\([^-].*\)\][[:blank:]]*$/\1/p'
}

# 0 when the key exists, 1 when reg says it does not. Any other failure of reg (a start of Wine that
# did not come through) is asked again; when it persists the answer is 2 and the reason goes to
# standard error, so that no caller takes a failed query for a missing key: it would then record a
# key that was there as its own, or leave the last case's values in place.
_registry_exists() {
    local attempt output
    for attempt in 1 2 3; do
        output=$(_registry_wine reg query "$1" "/reg:${REGISTRY_VIEW:-$REGISTRY_BITS}" 2>&1) && return 0
        case $output in *"Unable to find"*) return 1 ;; esac
    done
    echo "registry: could not ask whether \"$1\" exists: $output" >&2
    return 2
}

registry_install() {
    local file=$1
    if [ ! -f "$file" ]; then
        echo "registry_install: no file \"$file\"" >&2
        return 1
    fi
    case $REGISTRY_TARGET in
    native)
        registry_remove
        _registry_private_dir=$(mktemp -d "${TMPDIR:-/tmp}/veltor-registry.XXXXXX") || return 1
        cp "$file" "$_registry_private_dir/registry.reg" && chmod 600 "$_registry_private_dir/registry.reg" ||
            return 1
        export VELTOR_REGISTRY=$_registry_private_dir/registry.reg
        ;;
    windows)
        _registry_record_new_keys "$file" || return 1
        local work
        work=$(mktemp -d "${TMPDIR:-/tmp}/veltor-registry.XXXXXX") || return 1
        # UTF-16LE with its mark: reg reads a file without one in the ANSI code page.
        if [ "$(head -c 2 "$file" | od -An -t x1 | tr -d ' ')" = fffe ]; then
            cp "$file" "$work/import.reg"
        else
            { printf '\377\376'; iconv -f UTF-8 -t UTF-16LE "$file"; } >"$work/import.reg"
        fi || {
            rm -rf "$work"
            return 1
        }
        local output status
        output=$(_registry_wine reg import "Z:${work//\//\\}\\import.reg" "/reg:${REGISTRY_VIEW:-$REGISTRY_BITS}" 2>&1)
        status=$?
        rm -rf "$work"
        if [ $status -ne 0 ]; then
            echo "registry_install: reg import failed ($status): $output" >&2
            return 1
        fi
        ;;
    *)
        echo "registry_install: call registry_setup first" >&2
        return 1
        ;;
    esac
}

# Records, for each key path of the file, its first key that does not exist yet.
_registry_record_new_keys() {
    local path prefix part known missing
    local -A exists=()
    while IFS= read -r path; do
        # Already below a key that the import creates?
        local covered=
        for known in "${_registry_created[@]}"; do
            local lower_path=${path,,} lower_known=${known,,}
            if [ "$lower_path" = "$lower_known" ] || [ "${lower_path#"$lower_known"\\}" != "$lower_path" ]; then
                covered=1
                break
            fi
        done
        [ -n "$covered" ] && continue
        prefix=${path%%\\*}
        local rest=${path#"$prefix"}
        missing=
        while [ -n "$rest" ]; do
            rest=${rest#\\}
            part=${rest%%\\*}
            rest=${rest#"$part"}
            prefix=$prefix\\$part
            [ -n "${exists[${prefix,,}]:-}" ] && continue
            _registry_exists "$prefix"
            case $? in
            0) exists[${prefix,,}]=1 ;;
            1)
                missing=$prefix
                break
                ;;
            *) return 1 ;;
            esac
        done
        [ -n "$missing" ] && _registry_created+=("$missing")
    done < <(_registry_sections "$1")
    return 0
}

# Done when the key is gone afterwards, whatever reg delete answered.
registry_delete_key() {
    [ "$REGISTRY_TARGET" = windows ] || return 0
    local attempt
    for attempt in 1 2 3; do
        _registry_wine reg delete "$1" /f "/reg:${REGISTRY_VIEW:-$REGISTRY_BITS}" >/dev/null 2>&1
        _registry_exists "$1"
        case $? in
        1) return 0 ;;
        2) break ;;
        esac
    done
    echo "registry_delete_key: could not delete \"$1\"" >&2
    return 1
}

registry_remove() {
    local status=0 key
    case $REGISTRY_TARGET in
    native)
        if [ -n "$_registry_private_dir" ]; then
            rm -rf "$_registry_private_dir"
            _registry_private_dir=
        fi
        unset VELTOR_REGISTRY
        ;;
    windows)
        for key in "${_registry_created[@]}"; do
            registry_delete_key "$key" || status=1
        done
        _registry_created=()
        ;;
    esac
    return $status
}
