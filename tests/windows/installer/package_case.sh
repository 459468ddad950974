#!/usr/bin/env bash
# The installer as `cpack --preset windows` builds it, read with msitools:
#   package_case.sh BUILD_DIR WORK VERSION
set -u
build=$1 work=$2 version=$3
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
name=Morvane-Control-Center-$version-win64 msi=$1/Morvane-Control-Center-$version-win64.msi
upgrade_code='{492700BB-6A38-4D01-BEEE-9E91AFD03AAD}' # the product's for good: never changes
rm -rf "$work" && mkdir -p "$work" || exit 1
failed=0
fail() { echo "FAILED: $*" && failed=1; }
# expect_rows TABLE ROWS: the table's rows, their first columns joined by "|", are ROWS.
expect_rows() {
    local columns actual
    columns=$(head -n 1 <<<"$2" | awk -F'|' '{ print NF }')
    actual=$(msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r' | cut -f "1-$columns" | tr '\t' '|' | sort)
    [ "$actual" = "$(sort <<<"$2")" ] || fail "$1 table:"$'\n'"$actual"$'\n'"expected:"$'\n'"$2"
}

"$source_dir/packaging/windows/make-icon.sh" "$work/icon.ico" &&
    cmp -s "$work/icon.ico" "$source_dir/packaging/windows/morvane-control-center.ico" ||
    fail "the committed .ico is not what packaging/windows/make-icon.sh makes of the drawing"

rm -f "$msi" "$msi.sha256"
(cd "$build" && cpack --config CPackConfig.cmake >"$work/cpack.log" 2>&1 && sha256sum --quiet -c "$name.msi.sha256") ||
    { cat "$work/cpack.log" && fail "no package, or a wrong .sha256" && exit 1; }
[ "$(msiinfo suminfo "$msi" | grep ^Template)" = "Template: x64;1033" ] || fail "not an x64 package"
expect_rows Property "ALLUSERS|1
ARPNOMODIFY|1
ARPNOREPAIR|1
ARPPRODUCTICON|MorvaneControlCenter.ico
Manufacturer|Morvane
ProductCode|$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p')
ProductLanguage|1033
ProductName|Morvane Control Center
ProductVersion|$version
SecureCustomProperties|WIX_DOWNGRADE_DETECTED;WIX_UPGRADE_DETECTED
UpgradeCode|$upgrade_code"
# Older versions are found and removed first; a newer one is found only, and refuses this one.
expect_rows Upgrade "$upgrade_code||$version||1||WIX_UPGRADE_DETECTED
$upgrade_code|$version|||2||WIX_DOWNGRADE_DETECTED"
expect_rows LaunchCondition "NOT WIX_DOWNGRADE_DETECTED|A newer version of Morvane Control Center is already installed. Uninstall it first to install this version."
expect_rows File "ControlCenterExe|Programs|morvane-control-center.exe
EnumExe|Programs|morvane-enum.exe"

# The packaged programs: stripped, with the icon and the version resource.
msiextract -C "$work/files" "$msi" >/dev/null
for program in morvane-control-center morvane-enum; do
    file="$work/files/Morvane/Control Center/$program.exe"
    x86_64-w64-mingw32-objdump -h "$file" | grep -q '\.debug' && fail "$program.exe is not stripped"
    wrestool -l "$file" | grep -q -- '--type=14 --name=1 ' || fail "$program.exe has no icon 1"
    wrestool -x --raw --type=16 "$file" | tr -d '\0' | grep -aq "ProductVersion.\{0,3\}$version" ||
        fail "$program.exe has no version resource of $version"
done
wrestool -x --raw --type=24 "$work/files/Morvane/Control Center/morvane-control-center.exe" |
    grep -q "name=\"Morvane.ControlCenter\" version=\"$version.0\"" || fail "the manifest's version is not $version.0"

# wixl drops an attribute it does not know with only a warning: that fails the step.
sed 's/<MajorUpgrade /&AllowSameVersionUpgrades="yes" /' "$source_dir/packaging/windows/morvane-control-center.wxs" >"$work/bad.wxs"
grep -q AllowSameVersionUpgrades "$work/bad.wxs" &&
    ! cmake -DSTAGE="$build/msi" -DVERSION="$version" -DOUTPUT="$work/bad.msi" -DWXS="$work/bad.wxs" \
        -P "$source_dir/packaging/windows/package_msi.cmake" >/dev/null 2>&1 && [ ! -f "$work/bad.msi" ] ||
    fail "a wixl warning did not fail the package step"

[ "$failed" -eq 0 ] && echo "passed: $name.msi"
