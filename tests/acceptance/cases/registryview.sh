# Which registry the program reads: its own view of a 64-bit Windows registry, and values of the
# type it expects.

# hex(7) TEXT...: a multi-string value as a .reg file writes it (UTF-16LE, each item and the list
# ending in a NUL).
multi_string_hex() {
    local item hex
    hex=$({
        for item in "$@"; do
            printf '%s' "$item" | iconv -f UTF-8 -t UTF-16LE
            printf '\0\0'
        done
        printf '\0\0'
    } | od -An -v -t x1 | tr -s ' \n' ',,')
    hex=${hex#,}
    printf 'hex(7):%s' "${hex%,}"
}

case_multi_string_where_a_string_is_expected() {
    make_install server
    age_file "$SERVER/Log/temp/old.tmp" 100 1
    sed -i "s|^\"InstallDir\"=.*|\"InstallDir\"=$(multi_string_hex "$(progpath "$SERVER")")|" "$SB/registry.reg"
    install_registry
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
Cannot get \"HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\CoreServer\\Install\"->\"InstallDir\" of type 1 because the actual type is 7"
    expect_exists "$SERVER/Log/temp/old.tmp"
}

# A 32-bit program on 64-bit Windows reads the 32-bit view (WOW6432Node), a 64-bit one the 64-bit
# view: an installation registered in the other view only is not there for it.
case_only_the_programs_registry_view_counts() {
    [ "$TARGET" = windows ] || return 0
    local other=64 key='HKEY_LOCAL_MACHINE\SOFTWARE\Veltor'
    [ "$WINE_BITS" = 64 ] && other=32
    make_install server
    age_file "$SERVER/Log/temp/old.tmp" 100 1
    registry_delete_key "$key" || fail "could not remove the product key"
    REGISTRY_VIEW=$other registry_delete_key "$key" || fail "could not remove the other view's product key"
    REGISTRY_VIEW=$other registry_install "$SB/registry.reg" || fail "could not import into the other view"
    run_sorvik
    expect_code 4
    expect_output "$RUNNING
Could not find registry key \"HKEY_LOCAL_MACHINE\"->\"SOFTWARE\\Veltor\""
    expect_exists "$SERVER/Log/temp/old.tmp"

    REGISTRY_VIEW=$other registry_delete_key "$key" || fail "could not remove the other view's product key"
    install_registry
    run_sorvik
    expect_code 0
    expect_output "$RUNNING"
    expect_gone "$SERVER/Log/temp/old.tmp"
}
