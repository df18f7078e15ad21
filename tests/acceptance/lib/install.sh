# Sandbox installations: the directory tree of the suite and the registry entries that describe it.

# Windows registry text for a path value: drive Z: and doubled backslashes under Wine.
regpath() {
    local p
    p=$(progpath "$1")
    printf '%s' "${p//\\/\\\\}"
}

# make_install TYPE [INSTALLDIR-SUFFIX]: TYPE is client, server, both or none; creates the tree below
# $ROOT and the registry file $SB/registry.reg, then installs the registry for the program.
make_install() {
    local type=$1
    SERVER=$ROOT/server
    CLIENT=$ROOT/client
    {
        echo "Windows Registry Editor Version 5.00"
        echo
        echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor]"
        echo
        echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\OtherProduct]"
        if [ "$type" = server ] || [ "$type" = both ]; then
            echo
            echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\CoreServer]"
            echo
            echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\CoreServer\\Install]"
            echo "\"InstallDir\"=\"${INSTALL_VALUE-$(regpath "$SERVER")${INSTALL_SUFFIX:-}}\""
        fi
        if [ "$type" = client ] || [ "$type" = both ]; then
            echo
            echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\Installation]"
            echo
            echo "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltor\\Resources]"
            echo "\"InstallDir\"=\"$(regpath "$CLIENT")\""
            echo "\"ConfigurationDir\"=\"$(regpath "$CLIENT/conf")\""
            echo "\"StartupLogDir\"=\"$(regpath "$CLIENT/log")\""
        fi
    } >"$SB/registry.reg"
    if [ "$type" = server ] || [ "$type" = both ]; then
        mkdir -p "$SERVER/Configuration/SimpleReports" "$SERVER/Log/temp/Scheduler/finished" \
            "$SERVER/Data/veltor_html_data/results/{Trashcan}" "$SERVER/Data/veltor_html_data/results/{Temporary}" \
            "$SERVER/ReportingServer/html/Veltor/license" "$SERVER/Data/database" "$SERVER/Data/incoming" \
            "$SERVER/Data/license_status"
    fi
    if [ "$type" = client ] || [ "$type" = both ]; then
        mkdir -p "$CLIENT/conf" "$CLIENT/log/temp"
    fi
    install_registry
}

# Makes $SB/registry.reg the registry the program reads: natively through VELTOR_REGISTRY (run_sorvik
# names it), under Wine by importing it into the suite's prefix after removing the product key.
install_registry() {
    chmod 600 "$SB/registry.reg"
    [ "$TARGET" = windows ] || return 0
    registry_delete_key 'HKEY_LOCAL_MACHINE\SOFTWARE\Veltor' || fail "could not remove the product key"
    registry_install "$SB/registry.reg" || fail "could not import the registry"
}
