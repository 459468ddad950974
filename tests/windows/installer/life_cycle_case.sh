#!/usr/bin/env bash
# The installer's life cycle under Wine, judged by state (files, registry values, the shortcut,
# the installed programs' runs), never by msiexec's exit status alone:
#
#   life_cycle_case.sh BUILD_DIR WORK VERSION SHORTCUT_PROBE SIMDRIVER_DIR
#
# In a prefix of its own (BUILD_DIR/wine/prefix-installer, made afresh, Wine's null graphics
# driver), with the package windows.installer.package built:
#  1. a silent install: the two programs, one Start menu shortcut, one "Apps & features" entry;
#  2. the installed morvane-enum.exe, on the demo bench through the simulated driver of the
#     build tree, prints the log the build tree's program prints (tests/windows/expected);
#  3. the window program, started through the shortcut, opens its window and ends with 0 when
#     it is closed;
#  4. installing the same version again, rebuilt or the very same package, leaves one entry;
#  5. an older version is refused and changes nothing;
#  6. a silent uninstall leaves nothing behind;
#  7. an older version is upgraded: one entry, the new programs; "Apps & features"' own
#     uninstall command then leaves nothing either.
# The older version and the rebuilt package are built from the same staged programs (the build
# tree's msi/) by packaging/windows/package_msi.cmake, with another version number.
set -uo pipefail
build=$1 work=$2 version=$3 probe=$4 simdriver_dir=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
. "$source_dir/scripts/wine-env.sh"
wine_env_find || exit 1

msi=$build/Morvane-Control-Center-$version-win64.msi
stage=$build/msi
prefix=$build/wine/prefix-installer
install_dir=$prefix/drive_c/Program\ Files/Morvane/Control\ Center
rm -rf "$work" && mkdir -p "$work" || exit 1
[ -f "$msi" ] || { echo "FAILED: $msi is missing (windows.installer.package builds it)" && exit 1; }

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}
step() { echo "--- $*"; }
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# An older version: the previous build number, else x.(y-1).9, else (x-1).9.0.
IFS=. read -r major minor patch <<<"$version"
if [ "$patch" -gt 0 ]; then older=$major.$minor.$((patch - 1))
elif [ "$minor" -gt 0 ]; then older=$major.$((minor - 1)).9
else older=$((major - 1)).9.0
fi
for package in "older $older" "rebuilt $version"; do
    set -- $package
    cmake -DSTAGE="$stage" -DVERSION="$2" -DOUTPUT="$work/$1.msi" \
        -P "$source_dir/packaging/windows/package_msi.cmake" || exit 1
done

bash "$source_dir/scripts/wine-prefix.sh" new "$prefix" --server 60 || exit 1
trap 'bash "$source_dir/scripts/wine-prefix.sh" stop "$prefix"' EXIT
wine_env_export "$prefix"
wine_out() { wine_run_limited 300 "$@" 2>>"$work/wine.log" | tr -d '\r'; }
msiexec() {
    echo "msiexec $*" >>"$work/msiexec.log"
    wine_run_limited 300 msiexec "$@" >>"$work/msiexec.log" 2>&1
}

uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# The "Apps & features" entries of the product: one line each, "key|value name=data|...".
entries() {
    wine_out reg query "$uninstall_key" /s | awk '
        /^HKEY/ { if (entry ~ /DisplayName=Morvane Control Center\|/) print entry; entry = $0 "|"; next }
        /^    / { sub(/^    /, ""); n = split($0, f, /    /); entry = entry f[1] "=" (n > 2 ? f[3] : "") "|" }
        END { if (entry ~ /DisplayName=Morvane Control Center\|/) print entry }'
}
# What Windows Installer left on disk and in HKLM\Software (the places it writes to).
snapshot() {
    find "$prefix/drive_c/Program Files" "$prefix/drive_c/ProgramData" \
        "$prefix"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu \
        "$prefix/drive_c/windows/Installer" 2>/dev/null | sed "s|^$prefix/||" | sort >"$work/$1.files"
    wine_out reg export 'HKLM\Software' "$(wine_path "$work/$1.reg")" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$work/$1.reg" | tr -d '\r' >"$work/$1.reg.txt"
}

# The product of VERSION is installed, and only it: its programs (the staged ones), one
# shortcut, one entry with its values, and its icon.
expect_installed() {
    local want=$1 list entry lnk
    list=$(cd "$prefix/drive_c/Program Files/Morvane" 2>/dev/null && find . | sort | tr '\n' ' ')
    [ "$list" = ". ./Control Center ./Control Center/morvane-control-center.exe ./Control Center/morvane-enum.exe " ] ||
        fail "Program Files\\Morvane holds: $list"
    for program in morvane-control-center.exe morvane-enum.exe; do
        cmp -s "$stage/$program" "$install_dir/$program" || fail "$program is not the packaged one"
    done
    # Windows puts a per-machine shortcut into ProgramData's Start menu; Wine's installer puts
    # it into the user's: either, but exactly one, directly in Programs.
    shortcuts=()
    while IFS= read -r -d '' lnk; do shortcuts+=("$lnk"); done < <(find "$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu" \
        "$prefix"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu -name '*.lnk' -print0 2>/dev/null)
    [ ${#shortcuts[@]} -eq 1 ] && [[ ${shortcuts[0]} == */Start\ Menu/Programs/Morvane\ Control\ Center.lnk ]] ||
        fail "the Start menu shortcuts are: ${shortcuts[*]}"
    entry=$(entries)
    [ "$(grep -c . <<<"$entry")" -eq 1 ] || fail "the entries in Apps & features are: $entry"
    for value in "DisplayVersion=$want" "Publisher=Morvane" "NoModify=0x1" "NoRepair=0x1" \
        'InstallLocation=C:\Program Files\Morvane\Control Center\'; do
        [[ $entry == *"|$value|"* ]] || fail "the entry lacks $value: $entry"
    done
    # The entry's icon: Windows Installer keeps it with the product and names it ProductIcon.
    icon=$(wine_out reg query 'HKLM\Software\Classes\Installer\Products' /s | sed -n 's/^ *ProductIcon *REG_SZ *//p')
    icon_file=$prefix/drive_c/$(sed 's|^C:\\||; s|\\|/|g' <<<"$icon")
    cmp -s "$icon_file" "$stage/morvane-control-center.ico" || fail "the entry's icon '$icon' is not the program's"
}
# Nothing of the product is left: the places Windows Installer writes to are as before the
# first install, but for the installer's own empty bookkeeping keys and folder.
expect_nothing_left() {
    snapshot after-$1
    diff "$work/before.files" "$work/after-$1.files" | grep '^[<>]' | grep -v '^> drive_c/windows/Installer$' &&
        fail "files are left after $1 (> left, < gone)"
    # Empty keys may stay: the installer's own bookkeeping, and the device categories' Instance
    # keys that registering the simulated driver (step 2) made (Windows has them anyway).
    empty_keys='^> \[HKEY_LOCAL_MACHINE\\Software\\((Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer)(\\(Features|Products|UpgradeCodes|UserData(\\S-1-5-18(\\Components|\\Products)?)?))?|Classes\\CLSID\\\{[0-9A-F-]+\}(\\Instance)?)\]$'
    diff "$work/before.reg.txt" "$work/after-$1.reg.txt" | grep '^[<>]' | grep -v '^> $' | grep -Ev "$empty_keys" &&
        fail "the registry is not as before after $1 (> left, < gone)"
}

snapshot before

step "1. silent install of $version"
msiexec /i "$(wine_path "$msi")" /qn
expect_installed "$version"

step "2. the installed morvane-enum.exe on the demo bench"
WINEPREFIX=$prefix MCC_SIMDRIVER_DIR=$simdriver_dir bash "$source_dir/tests/windows/wine_bench_case.sh" \
    "$work/enum" "$source_dir/benches/demo.json" "$source_dir/tests/windows/expected/enum_demo.log" 0 \
    "$install_dir/morvane-enum.exe" || fail "the installed morvane-enum.exe does not print the build tree's log"

step "3. the window program through its shortcut"
# Given as the user sees it, on drive C: (Wine's shell does not open a shortcut named by a Z: path).
lnk=${shortcuts[0]#"$prefix/drive_c/"}
wine_out "$probe" "C:\\${lnk//\//\\}" >"$work/probe.txt"
cat "$work/probe.txt"
grep -qx 'target: C:\\Program Files\\Morvane\\Control Center\\morvane-control-center.exe' "$work/probe.txt" &&
    grep -qx 'working directory: C:\\Program Files\\Morvane\\Control Center\\\?' "$work/probe.txt" &&
    grep -qx "icon: $(sed 's/[\\.]/\\&/g' <<<"$icon"),0" "$work/probe.txt" &&
    grep -qx 'window: opened' "$work/probe.txt" && grep -qx 'exit code: 0' "$work/probe.txt" ||
    fail "the shortcut does not start the window program, with its icon, ending with 0 when closed"

step "4. the same version again: rebuilt, then the very same package"
msiexec /i "$(wine_path "$work/rebuilt.msi")" /qn
expect_installed "$version"
msiexec /i "$(wine_path "$msi")" /qn
expect_installed "$version"

step "5. an older version ($older) is refused"
msiexec /i "$(wine_path "$work/older.msi")" /qn && fail "msiexec accepted the older version"
expect_installed "$version"

step "6. silent uninstall"
msiexec /x "$(wine_path "$msi")" /qn
expect_nothing_left uninstall

step "7. upgrade from $older, then the uninstall command of Apps & features"
msiexec /i "$(wine_path "$work/older.msi")" /qn
[[ $(entries) == *"|DisplayVersion=$older|"* ]] || fail "$older is not installed: $(entries)"
msiexec /i "$(wine_path "$msi")" /qn
expect_installed "$version"
uninstall=$(entries | tr '|' '\n' | sed -n 's/^UninstallString=//p')
[[ $uninstall == MsiExec.exe\ /X\{*\} ]] || fail "the uninstall command is '$uninstall'"
# shellcheck disable=SC2086 # the command's words
msiexec ${uninstall#MsiExec.exe } /qn
expect_nothing_left upgrade

if [ "$failed" -ne 0 ]; then
    echo "--- msiexec:" && cat "$work/msiexec.log"
    exit 1
fi
echo "passed: the life cycle of $(basename "$msi")"
