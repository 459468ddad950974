#!/usr/bin/env bash
# The installer's life cycle under Wine, judged by state (files, registry values, the shortcut,
# the installed programs' runs), not by msiexec's exit status:
#   life_cycle_case.sh BUILD_DIR WORK VERSION SHORTCUT_PROBE SIMDRIVER_DIR RELEASED.msi
# In a prefix of its own, made afresh. RELEASED.msi is a package as it was released (what users
# have installed); the rebuilt package of the same version and the next version are built
# from the programs the package holds.
set -u
build=$1 work=$2 version=$3 probe=$4 simdriver_dir=$5 released=$6
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
. "$source_dir/scripts/wine-env.sh"
wine_env_find || exit 1
msi=$build/Morvane-Control-Center-$version-win64.msi
prefix=$build/wine/prefix-installer
default_dir='C:\Program Files\Morvane\Control Center\'
rm -rf "$work" && mkdir -p "$work" && [ -f "$msi" ] && [ -f "$released" ] || exit 1
released_version=$(msiinfo export "$released" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
msiextract -C "$work/packaged" "$msi" >/dev/null || exit 1
stage="$work/packaged/Morvane/Control Center"

IFS=. read -r major minor patch <<<"$version"
newer=$major.$minor.$((patch + 1))
for package in "newer $newer" "rebuilt $version"; do
    set -- $package
    cmake -DSTAGE="$stage" -DVERSION="$2" -DOUTPUT="$work/$1.msi" \
        -P "$source_dir/packaging/windows/package_msi.cmake" >/dev/null || exit 1
done

bash "$source_dir/scripts/wine-prefix.sh" new "$prefix" --server 60 || exit 1
trap 'bash "$source_dir/scripts/wine-prefix.sh" stop "$prefix"' EXIT
wine_env_export "$prefix"
failed=0
fail() { echo "FAILED: $*" && failed=1; }
wine_path() { printf 'Z:%s' "${1//\//\\}"; }
wine_out() { wine_run_limited 300 "$@" 2>>"$work/wine.log" | tr -d '\r'; }
msiexec() { echo "msiexec $*" >>"$work/msiexec.log" && wine_run_limited 300 msiexec "$@" >>"$work/msiexec.log" 2>&1; }

# The product's "Apps & features" entries, one line each: "key|name=data|...".
entries() {
    wine_out reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | awk '
        function out() { if (entry ~ /\|DisplayName=Morvane Control Center\|/) print entry }
        /^HKEY/ { out(); entry = $0 "|" }
        /^    / { n = split(substr($0, 5), f, /    /); entry = entry f[1] "=" f[3] "|" }
        END { out() }'
}
# The places Windows Installer writes to: files, and HKLM\Software.
files() {
    find "$prefix/drive_c/Program Files" "$prefix/drive_c/ProgramData" "$prefix/drive_c/windows/Installer" \
        "$prefix"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu 2>/dev/null | sort
}
snapshot() {
    files >"$work/$1.files"
    wine_out reg export 'HKLM\Software' "$(wine_path "$work/$1.reg")" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$work/$1.reg" | tr -d '\r' >"$work/$1.reg.txt"
}

# The Unix path of a Windows path on drive C:.
unix_path() { local path=${1#C:\\}; printf '%s/drive_c/%s' "$prefix" "${path//\\//}"; }
# VERSION alone is installed, in the folder DIR (Windows path, default: Program Files): the
# packaged programs, one shortcut, one entry, its icon.
expect_installed() {
    local dir=${2:-$default_dir} install_dir
    install_dir=$(unix_path "$dir")
    [ "$(cd "$install_dir" && find . | sort | tr '\n' ' ')" = ". ./morvane-control-center.exe ./morvane-enum.exe " ] ||
        fail "$dir does not hold the two programs alone"
    [ "$dir" = "$default_dir" ] || [ ! -e "$prefix/drive_c/Program Files/Morvane/Control Center" ] ||
        fail "Program Files holds a Control Center folder too"
    for program in morvane-control-center.exe morvane-enum.exe; do
        cmp -s "$stage/$program" "$install_dir/$program" || fail "$program is not the packaged one"
    done
    # Windows puts a per-machine shortcut into ProgramData's Start menu, Wine's installer into
    # the user's: either, but one, directly in Programs.
    mapfile -t shortcuts < <(files | grep '\.lnk$')
    [[ ${#shortcuts[@]} -eq 1 && ${shortcuts[0]} == */Start\ Menu/Programs/Morvane\ Control\ Center.lnk ]] ||
        fail "the Start menu shortcuts are: ${shortcuts[*]}"
    entry=$(entries)
    [ "$(grep -c . <<<"$entry")" -eq 1 ] || fail "the Apps & features entries are: $entry"
    for value in "DisplayVersion=$1" Publisher=Morvane NoModify=0x1 NoRepair=0x1 "InstallLocation=$dir"; do
        [[ $entry == *"|$value|"* ]] || fail "the entry lacks $value: $entry"
    done
    # The entry's icon: Windows Installer keeps it with the product, as ProductIcon.
    icon=$(wine_out reg query 'HKLM\Software\Classes\Installer\Products' /s | sed -n 's/^ *ProductIcon *REG_SZ *//p')
    icon_file=$prefix/drive_c/$(sed 's|^C:\\||; s|\\|/|g' <<<"$icon")
    cmp -s "$icon_file" "$source_dir/packaging/windows/morvane-control-center.ico" || fail "the entry's icon '$icon' is not the program's"
}
# As before the first install, but for empty keys: the installer's own bookkeeping, and the
# device categories' Instance keys the simulated driver's registration made (Windows has them).
expect_nothing_left() {
    snapshot "$1"
    diff "$work/before.files" "$work/$1.files" | grep '^[<>]' | grep -v '^> .*/drive_c/windows/Installer$' &&
        fail "files are left after $1 (> left, < gone)"
    empty_keys='^> \[HKEY_LOCAL_MACHINE\\Software\\((Classes\\Installer|Microsoft\\Windows\\CurrentVersion\\Installer)(\\(Features|Products|UpgradeCodes|UserData(\\S-1-5-18(\\Components|\\Products)?)?))?|Classes\\CLSID\\\{[0-9A-F-]+\}(\\Instance)?)\]$'
    diff "$work/before.reg.txt" "$work/$1.reg.txt" | grep '^[<>]' | grep -v '^> $' | grep -Ev "$empty_keys" &&
        fail "the registry is not as before after $1 (> left, < gone)"
}

snapshot before
echo "--- silent install of $released_version as released, then the upgrade to $version"
msiexec /i "$(wine_path "$released")" /qn
[[ $(entries) == *"|DisplayVersion=$released_version|"* ]] || fail "$released_version is not installed: $(entries)"
msiexec /i "$(wine_path "$msi")" /qn
expect_installed "$version"

echo "--- the installed morvane-enum.exe plays the golden case of the demo bench"
MORVANE_GOLDEN_ENUM="${default_dir}morvane-enum.exe" \
    wine_out "$build/golden-cases.exe" --gtest_filter=Cases/Golden.Run/enum_demo | tee "$work/enum.txt"
grep -q '^\[  PASSED  \] 1 test' "$work/enum.txt" || fail "the installed morvane-enum.exe"

echo "--- the window program through its shortcut, on the demo bench, closed as Restart Manager closes it"
# Named on drive C:, as a user sees it: Wine's shell does not open a shortcut named by a Z: path.
lnk=${shortcuts[0]#"$prefix/drive_c/"}
printf '%s\n' "target: ${default_dir}morvane-control-center.exe" "working directory: $default_dir" \
    "icon: $icon,0" "may close: 1" "exit code: 0" >"$work/probe.expected"
WINEPREFIX=$prefix MCC_SIMDRIVER_DIR=$simdriver_dir bash "$source_dir/tests/windows/wine_case.sh" \
    "$work/shortcut" "$source_dir/benches/demo.json" "$probe" "C:\\${lnk//\//\\}" >"$work/probe.txt" ||
    fail "the program's close: $(cat "$work/probe.txt")"
tr -d '\r' <"$work/probe.txt" | grep -v '^passed: ' | diff "$work/probe.expected" - || fail "the shortcut"

echo "--- the same version again, rebuilt and as it is; then $released_version, refused"
for package in "$work/rebuilt.msi" "$msi" "$released"; do
    msiexec /i "$(wine_path "$package")" /qn
    expect_installed "$version"
done

echo "--- silent uninstall"
msiexec /x "$(wine_path "$msi")" /qn
expect_nothing_left uninstall

echo "--- $released_version into a folder of the user's choice; the upgrades to $version and $newer stay there, a repair restores a program"
custom_dir='C:\Morvane Tuners\'
msiexec /i "$(wine_path "$released")" /qn "INSTALLDIR=${custom_dir%\\}"
for package in "$version $msi" "$newer $work/newer.msi"; do
    msiexec /i "$(wine_path "${package#* }")" /qn
    expect_installed "${package%% *}" "$custom_dir"
done
rm -f "$(unix_path "$custom_dir")/morvane-enum.exe"
msiexec /i "$(wine_path "$work/newer.msi")" REINSTALL=ALL REINSTALLMODE=amus /qn
expect_installed "$newer" "$custom_dir"

echo "--- the uninstall command of Apps & features"
uninstall=$(entries | grep -o '|UninstallString=MsiExec.exe /X{[-0-9A-F]*}|' | cut -d' ' -f2 | tr -d '|')
msiexec "${uninstall:-/X-missing}" /qn
expect_nothing_left upgrade
[ ! -e "$(unix_path "$custom_dir")" ] || fail "$custom_dir is left after the uninstall"

[ "$failed" -eq 0 ] || { cat "$work/msiexec.log" && exit 1; }
echo "passed: the life cycle of $(basename "$msi")"
