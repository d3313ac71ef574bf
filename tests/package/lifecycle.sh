#!/bin/sh
# The life of the packages under Wine's msiexec, in a fresh 64-bit prefix: the registry an
# install writes (the plug-in's and, with the feature "Thumbnails and image support", the WIC
# codec's) equals what regsvr32 writes; install, repair, upgrade, refused downgrade,
# x86 and x64 side by side, and an uninstall that leaves exactly what was there before.
#   lifecycle.sh WINE-RUN SOURCE-DIR BUILD32 [BUILD64]
test_name=lifecycle
. "$(dirname "$0")/common.sh"

major=${version%%.*}
newer="$((major + 1)).0.0"
package x86 "$build32" "$work/dist" || fail "x86 package: $(cat "$work/package.log")"
package x86 "$build32" "$work/dist" "$newer" || fail "newer x86 package: $(cat "$work/package.log")"
x86=$(win "$work/dist/Scanleaf-$version-x86.msi")
x86_newer=$(win "$work/dist/Scanleaf-$newer-x86.msi")
if [ -n "$build64" ]; then
    package x64 "$build64" "$work/dist" || fail "x64 package: $(cat "$work/package.log")"
    x64=$(win "$work/dist/Scanleaf-$version-x64.msi")
fi
msiexec() { "$run" msiexec "$@" /qn >/dev/null 2>&1; }

# Every key that registration writes (below the classes root unless named HKLM), in the view
# given, paths made neutral; of the property system's per-extension keys, three extensions'; and
# KEY@NAME for a value of a key that others share (the list of preview handlers).
keys='CLSID\{A45B9238-123E-4BB4-96D4-AC34A5020DE5} CLSID\{CDC4E6C0-FE95-49E0-983C-DFC0AFACFBFA}
CLSID\{2DEF5E83-C876-467B-B0A5-291DB592FF2F} CLSID\{777ACCEA-0227-4B1A-9B53-F05BC750DF20}
Interface\{48441332-6F5B-4FD1-A7A1-FE816EE2747E} Interface\{777ACCEA-0227-4B1A-9B53-F05BC750DF20}
Interface\{BF58DC29-7CC4-463F-BA4F-D04FE203F699} TypeLib\{15420759-5820-4882-943E-A432716CB9DA}
Scanleaf.CalsFormat Scanleaf.CalsFormat.1 Scanleaf.CalsFile Scanleaf.CalsFile.1
Scanleaf.CalsPreview Scanleaf.CalsPreview.1
CLSID\{85A57CD6-22E9-4CD0-82FF-1A0B30A00D2F}
CLSID\{7ED96837-96F0-4812-B211-F13C24117ED3}\Instance\{85A57CD6-22E9-4CD0-82FF-1A0B30A00D2F}
.cal .ct1 .ct2 .ct3 .nif .ct4 .c4 .cg4 .gp4 .mil .rst
CLSID\{8E86F979-BAFD-4BF8-8720-456FD2964EF7} CLSID\{4146D788-D79D-45DB-806A-60B974C3EA32}
HKLM\Software\Microsoft\Windows\CurrentVersion\PreviewHandlers@{4146D788-D79D-45DB-806A-60B974C3EA32}
SystemFileAssociations\.cal SystemFileAssociations\.ct4 SystemFileAssociations\.rst
HKLM\Software\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.cal
HKLM\Software\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.ct4
HKLM\Software\Microsoft\Windows\CurrentVersion\PropertySystem\PropertyHandlers\.rst'
reg_tree() { # KEY VIEW: Wine's reg writes its "not found" to standard output, so go by its status
    out=$("$run" reg query "$1" /s "/reg:$2" 2>/dev/null) || return 1
    printf '%s\n' "$out" | tr -d '\r' | grep -v '^$'
}
reg_value() { # KEY NAME VIEW
    out=$("$run" reg query "$1" /v "$2" "/reg:$3" 2>/dev/null) || return 1
    printf '%s\n' "$out" | tr -d '\r' | grep -F "$2"
}
tree() { # VIEW DLL-PATH
    for key in $keys; do
        echo "[$key]"
        case $key in HKLM\\*) full=$key ;; *) full="HKCR\\$key" ;; esac
        case $key in
        *@*) reg_value "${full%@*}" "${key#*@}" "$1" || echo "(absent)" ;;
        *) reg_tree "$full" "$1" || echo "(absent)" ;;
        esac
    done | DLL=$2 awk '{
        dll = ENVIRON["DLL"]; dir = dll; sub(/\\[^\\]*$/, "", dir)
        while ((i = index($0, dll)) > 0) $0 = substr($0, 1, i - 1) "<DLL>" substr($0, i + length(dll))
        while ((i = index($0, dir)) > 0) $0 = substr($0, 1, i - 1) "<DIR>" substr($0, i + length(dir))
        print }'
}
absent_tree() { tree "$1" none | grep -v '^\[' | sort -u; }
user_data() { # what the administrator and the user own; no package may touch it
    wine_ reg query 'HKLM\Software\Kestravo\Applications\Quorvel Enterprise' /s /reg:32
    wine_ reg query 'HKCU\Software\Kestravo\Applications\Quorvel Enterprise' /s
    cat "$work/share/FileFormats/Scanleaf.ini"
}
uninstall_entries() { # DISPLAY-NAME: "version" per entry in installed programs
    for view in 32 64; do
        wine_ reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s "/reg:$view" 2>/dev/null
    done | awk -v name="$1" '/^HKEY/ { n = v = "" } $1 == "DisplayName" { $1 = $2 = ""; n = $0 }
        $1 == "DisplayVersion" { v = $3 } n != "" && v != "" && index(n, name) { print v; n = v = "" }'
}
pf86='C:\Program Files (x86)\Scanleaf'
pf64='C:\Program Files\Scanleaf'
card() { wine_ "$1\\scanleaf-card.exe" "$2" "$drawing"; }
drive_c="$SCANLEAF_WINEPREFIX/drive_c"

# 1. regsvr32 of the build's DLLs (the plug-in and the WIC codec beside it): the reference
# tree, then gone again.
dll32=$(win "$build32/bin/Scanleaf.dll")
codec32=$(win "$build32/bin/ScanleafCodec.dll")
"$run" regsvr32 /s "$dll32" || fail "regsvr32 of the 32-bit DLL"
"$run" regsvr32 /s "$codec32" || fail "regsvr32 of the 32-bit codec"
tree 32 "$dll32" >"$work/regsvr32-x86.txt"
"$run" regsvr32 /u /s "$codec32" || fail "regsvr32 /u of the 32-bit codec"
"$run" regsvr32 /u /s "$dll32" || fail "regsvr32 /u of the 32-bit DLL"
if [ -n "$build64" ]; then
    dll64=$(win "$build64/bin/Scanleaf.dll")
    codec64=$(win "$build64/bin/ScanleafCodec.dll")
    "$run" regsvr32 /s "$dll64" || fail "regsvr32 of the 64-bit DLL"
    "$run" regsvr32 /s "$codec64" || fail "regsvr32 of the 64-bit codec"
    tree 64 "$dll64" >"$work/regsvr32-x64.txt"
    "$run" regsvr32 /u /s "$codec64" || fail "regsvr32 /u of the 64-bit codec"
    "$run" regsvr32 /u /s "$dll64" || fail "regsvr32 /u of the 64-bit DLL"
fi
[ "$(absent_tree 32)" = "(absent)" ] || fail "regsvr32 /u left keys: $(tree 32 none)"
ok

# 2. What the administrator set up before: the shared folder, its settings file, a user's notice.
mkdir -p "$work/share/FileFormats"
cp "$src/samples/Scanleaf.ini" "$work/share/FileFormats/Scanleaf.ini"
wine_ "$build32/bin/scanleaf-card.exe" settings --shared-folder "$(win "$work/share")" >/dev/null
wine_ reg add 'HKCU\Software\Kestravo\Applications\Quorvel Enterprise\TipOfTheDay' /v Scanleaf /t REG_DWORD /d 1 /f >/dev/null
convert -size 320x200 xc:white -fill black -draw "line 10,10 300,180" -monochrome "$work/drawing.cal"
drawing=$(win "$work/drawing.cal")
user_data >"$work/user-before.txt"
program_files() { ls -R "$drive_c/Program Files" "$drive_c/Program Files (x86)"; }
program_files >"$work/files-before.txt"

# The installer's own log of one run, which names each action it ran and what it returned.
msiexec_logged() { # LOG ARGUMENTS...
    log=$1
    shift
    rm -f "$drive_c/msi.log"
    "$run" msiexec "$@" /qn /l*v 'C:\msi.log' >/dev/null 2>&1 || return 1
    mv "$drive_c/msi.log" "$log"
}
ran() { # LOG ACTION: the action ran from the installer's script (InstallFinalize on) and succeeded
    awk -v a=": $2. Return value 1." '/Action start .*: InstallFinalize\./ { s = 1 } s && index($0, a) { found = 1 }
        END { exit !found }' "$1"
}

# 3. Install: the same registry tree as regsvr32, and the host finds the plug-in by its ProgID.
# The property schema is registered by the codec's own action, only with the codec's feature.
msiexec_logged "$work/no-codec.log" /i "$x86" ADDLOCAL=Complete || fail "msiexec /i $x86 ADDLOCAL=Complete"
! ran "$work/no-codec.log" RegisterPropertySchema || fail "the schema was registered without the codec"
msiexec /x "$x86" || fail "msiexec /x $x86 without the codec"
msiexec_logged "$work/install.log" /i "$x86" || fail "msiexec /i $x86"
ran "$work/install.log" RegisterPropertySchema || fail "the install did not register the property schema"
tree 32 "$pf86\\Scanleaf.dll" >"$work/msi-x86.txt"
diff -u "$work/regsvr32-x86.txt" "$work/msi-x86.txt" >&2 || fail "the x86 package's registry differs from regsvr32's"
ok
card "$pf86" show | grep -q "^  *rpelcnt" || fail "scanleaf-card show from the install folder"
wine_ "$pf86\\scanleaf-card.exe" info | grep -qF "registered: $pf86\\Scanleaf.dll" || fail "plug-in not found by ProgID"
ok
# The x64 package alone, the same way (beside x86 the shared type library key holds both).
if [ -n "$build64" ]; then
    msiexec /x "$x86" || fail "msiexec /x $x86"
    msiexec /i "$x64" || fail "msiexec /i $x64"
    tree 64 "$pf64\\Scanleaf.dll" >"$work/msi-x64.txt"
    diff -u "$work/regsvr32-x64.txt" "$work/msi-x64.txt" >&2 || fail "the x64 package's registry differs from regsvr32's"
    wine_ "$pf64\\scanleaf-card.exe" info | grep -qF "registered: $pf64\\Scanleaf.dll" || fail "x64 tool"
    # What the package installed is what WIC finds: a drawing opened by its pattern alone.
    SCANLEAF_CODEC_INSTALLED=1 "$run" "$build64/bin/test_codec.exe" \
        --gtest_filter='WicDecoder.InstalledByThePackage*' >"$work/wic.log" 2>&1 ||
        fail "WIC through the installed x64 codec: $(grep -a -E 'Failure|Expected|Which' "$work/wic.log" | head -5)"
    grep -aq '\[  PASSED  \] 1 test' "$work/wic.log" || fail "the installed-codec case did not run: $(tail -3 "$work/wic.log")"
    msiexec /x "$x64" || fail "msiexec /x $x64"
    [ "$(absent_tree 64)" = "(absent)" ] || fail "keys left after removing x64: $(tree 64 none | grep -v absent)"
    msiexec /i "$x86" || fail "msiexec /i $x86 again"
    ok
fi

# 4. Repair restores a deleted DLL (Windows: msiexec /fa; Wine's msiexec has no /fa).
cp "$drive_c/Program Files (x86)/Scanleaf/Scanleaf.dll" "$work/installed.dll"
rm "$drive_c/Program Files (x86)/Scanleaf/Scanleaf.dll"
msiexec /i "$x86" REINSTALL=ALL REINSTALLMODE=omus || fail "repair"
cmp -s "$work/installed.dll" "$drive_c/Program Files (x86)/Scanleaf/Scanleaf.dll" || fail "repair did not restore the DLL"
card "$pf86" show | grep -q "^  *rpelcnt" || fail "scanleaf-card after the repair"
ok

# 5. A newer version upgrades in place: one entry in installed programs, the same files.
msiexec /i "$x86_newer" || fail "upgrade to $newer"
[ "$(uninstall_entries '(32-bit)')" = "$newer" ] || fail "installed programs after the upgrade: $(uninstall_entries '(32-bit)')"
[ "$(ls -R "$drive_c/Program Files (x86)/Scanleaf")" = "$(printf '%s\n' "$drive_c/Program Files (x86)/Scanleaf:" \
    Scanleaf.dll ScanleafCodec.dll ScanleafCodec.propdesc samples scanleaf-card.exe '' "$drive_c/Program Files (x86)/Scanleaf/samples:" \
    Scanleaf.ini)" ] ||
    fail "files after the upgrade: $(ls -R "$drive_c/Program Files (x86)/Scanleaf")"
card "$pf86" show | grep -q "^  *rpelcnt" || fail "scanleaf-card after the upgrade"
ok

# 6. The older version over the newer one is refused as an install failure (1603, which reaches
# the shell as 1603 mod 256); the package's launch condition carries the reason. Windows shows
# and logs that text; Wine's msiexec under /qn does neither.
rc=0
"$run" msiexec /i "$x86" /qn >/dev/null 2>&1 || rc=$?
[ "$rc" = $((1603 % 256)) ] || fail "installing $version over $newer: exit code $rc, not 1603"
msiinfo export "$work/dist/Scanleaf-$version-x86.msi" LaunchCondition |
    grep -q "NOT WIX_DOWNGRADE_DETECTED.A newer version of Scanleaf (32-bit) is already installed" ||
    fail "the package does not say why a downgrade is refused"
[ "$(uninstall_entries '(32-bit)')" = "$newer" ] || fail "installed programs after the refused downgrade"
card "$pf86" show | grep -q "^  *rpelcnt" || fail "scanleaf-card after the refused downgrade"
ok

# 7. x64 beside x86: each in its own folder and registry view; each card tool loads its own.
if [ -n "$build64" ]; then
    msiexec /i "$x64" || fail "msiexec /i $x64 beside x86"
    wine_ "$pf64\\scanleaf-card.exe" info | grep -qF "registered: $pf64\\Scanleaf.dll" || fail "x64 tool beside x86"
    wine_ "$pf86\\scanleaf-card.exe" info | grep -qF "registered: $pf86\\Scanleaf.dll" || fail "x86 tool beside x64"
    [ "$(uninstall_entries '(64-bit)')" = "$version" ] || fail "installed programs: no x64 entry"
    # Removing one keeps what both share (program identifiers, the type library) for the other.
    msiexec /x "$x64" || fail "msiexec /x $x64"
    [ ! -e "$drive_c/Program Files/Scanleaf" ] || fail "the x64 folder stayed"
    ! tree 64 none | grep -qF "$pf64" || fail "keys naming the x64 DLL stayed: $(tree 64 none | grep -F "$pf64")"
    wine_ "$pf86\\scanleaf-card.exe" info | grep -qF "registered: $pf86\\Scanleaf.dll" || fail "x86 after x64 removal"
    ok
fi

# 8. Uninstall removes every file, folder and key it wrote, and the schema, and nothing else.
msiexec_logged "$work/uninstall.log" /x "$x86_newer" || fail "msiexec /x"
ran "$work/uninstall.log" UnregisterPropertySchema || fail "the uninstall did not unregister the property schema"
[ "$(absent_tree 32)" = "(absent)" ] || fail "keys left after uninstall: $(tree 32 none | grep -v absent)"
[ "$(absent_tree 64)" = "(absent)" ] || fail "64-bit view keys left after uninstall"
[ -z "$(uninstall_entries Scanleaf)" ] || fail "installed programs still lists Scanleaf"
program_files >"$work/files-after.txt"
diff -u "$work/files-before.txt" "$work/files-after.txt" >&2 || fail "files after uninstall differ from before"
user_data >"$work/user-after.txt"
diff -u "$work/user-before.txt" "$work/user-after.txt" >&2 || fail "the administrator's or user's settings changed"
ok
finish
