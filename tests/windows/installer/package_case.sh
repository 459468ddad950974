#!/usr/bin/env bash
# The installer as `cpack --preset windows` builds it, checked with msitools:
#
#   package_case.sh BUILD_DIR WORK VERSION
#
# - the committed icon is what packaging/windows/make-icon.sh makes of its drawing;
# - the package and its .sha256 are written, and the sum is right;
# - msiinfo shows an x64, per-machine (ALLUSERS 1) package of VERSION with the fixed
#   UpgradeCode, the rows that remove an older version and refuse a newer one, one Start menu
#   shortcut directly in Programs, no modify or repair, and a File table of the two programs;
# - those programs are stripped and carry their version resource and icon;
# - a wixl warning (an attribute wixl does not know) fails the package step.
set -uo pipefail
build=$1 work=$2 version=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$here/../../.." && pwd)
name=Morvane-Control-Center-$version-win64
msi=$build/$name.msi
upgrade_code='{492700BB-6A38-4D01-BEEE-9E91AFD03AAD}' # never changes
rm -rf "$work" && mkdir -p "$work" || exit 1

failed=0
fail() {
    echo "FAILED: $*"
    failed=1
}
# expect_rows TABLE EXPECTED: the table's rows (msiinfo export, without its 3 header lines,
# columns joined by "|" and cut to the first N given) are exactly EXPECTED.
expect_rows() {
    local table=$1 expected=$2 columns
    columns=$(head -n 1 <<<"$expected" | awk -F'|' '{print NF}')
    actual=$(msiinfo export "$msi" "$table" | tail -n +4 | tr -d '\r' |
        awk -F'\t' -v n="$columns" '{ line = $1; for (i = 2; i <= n; i++) line = line "|" $i; print line }' | sort)
    diff <(sort <<<"$expected") <(echo "$actual") >/dev/null ||
        fail "$table table: expected (sorted)"$'\n'"$(sort <<<"$expected")"$'\n'"got"$'\n'"$actual"
}

"$source_dir/packaging/windows/make-icon.sh" "$work/icon.ico" &&
    cmp -s "$work/icon.ico" "$source_dir/packaging/windows/morvane-control-center.ico" ||
    fail "packaging/windows/morvane-control-center.ico is not what make-icon.sh makes of the drawing: run it"

rm -f "$msi" "$msi.sha256"
if ! (cd "$build" && cpack --config CPackConfig.cmake) >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    fail "cpack failed"
elif ! [ -f "$msi" ] || ! (cd "$build" && sha256sum --quiet -c "$name.msi.sha256"); then
    fail "$msi or its right .sha256 is missing"
else
    msiinfo suminfo "$msi" | grep -qx 'Template: x64;1033' || fail "not an x64 package"
    expect_rows Property "ALLUSERS|1
ARPNOMODIFY|1
ARPNOREPAIR|1
ARPPRODUCTICON|MorvaneControlCenter.ico
Manufacturer|Morvane
ProductCode|$(msiinfo export "$msi" Property | grep -a ^ProductCode | cut -f2 | tr -d '\r')
ProductLanguage|1033
ProductName|Morvane Control Center
ProductVersion|$version
SecureCustomProperties|WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED
UpgradeCode|$upgrade_code"
    # Older versions are found and removed; a newer one only detected, and then refused.
    expect_rows Upgrade "$upgrade_code||$version||1||WIX_UPGRADE_DETECTED
$upgrade_code|$version|||2||WIX_DOWNGRADE_DETECTED"
    expect_rows LaunchCondition "NOT WIX_DOWNGRADE_DETECTED|A newer version of Morvane Control Center is already installed. Uninstall it first to install this version."
    expect_rows File "ControlCenterExe|Programs|morvane-control-center.exe
EnumExe|Programs|morvane-enum.exe"
    expect_rows Shortcut "ControlCenterShortcut|ProgramMenuFolder|Morvane Control Center|StartMenuShortcut|[INSTALLDIR]morvane-control-center.exe"
    expect_rows Directory "TARGETDIR||SourceDir
ProgramFiles64Folder|TARGETDIR|.
VendorDir|ProgramFiles64Folder|Morvane
INSTALLDIR|VendorDir|Control Center
ProgramMenuFolder|TARGETDIR|."

    mkdir -p "$work/extracted" && msiextract -C "$work/extracted" "$msi" >/dev/null
    for program in morvane-control-center morvane-enum; do
        file=$(find "$work/extracted" -name "$program.exe")
        [ -f "$file" ] || { fail "$program.exe is not in the package" && continue; }
        x86_64-w64-mingw32-objdump -h "$file" | grep -q '\.debug' && fail "$program.exe is not stripped"
        resources=$(wrestool -l "$file")
        grep -q -- '--type=14 --name=1 ' <<<"$resources" || fail "$program.exe has no icon 1"
        # The version resource's strings, in UTF-16: "ProductVersion" then the version.
        wrestool -x --raw --type=16 "$file" | tr -d '\0' | grep -aq "ProductVersion.\{0,3\}$version" ||
            fail "$program.exe has no version resource of $version"
    done
fi

# wixl drops an attribute it does not know with only a warning: the step must fail.
sed 's/<MajorUpgrade /<MajorUpgrade AllowSameVersionUpgrades="yes" /' \
    "$source_dir/packaging/windows/morvane-control-center.wxs" >"$work/unknown-attribute.wxs"
if cmake -DSTAGE="$build/msi" -DVERSION="$version" -DOUTPUT="$work/unknown-attribute.msi" \
    -DWXS="$work/unknown-attribute.wxs" -P "$source_dir/packaging/windows/package_msi.cmake" \
    >"$work/warning.log" 2>&1 || [ -f "$work/unknown-attribute.msi" ]; then
    fail "a wixl warning did not fail the package step: $(cat "$work/warning.log")"
fi

[ "$failed" -eq 0 ] && echo "passed: $name.msi"
exit "$failed"
