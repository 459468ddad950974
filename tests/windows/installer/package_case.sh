#!/usr/bin/env bash
# The installer as `cpack --preset windows` builds it, read with msitools, its programs read with
# objdump; then built again, signed with a throwaway CA's certificate, and checked with
# osslsigncode:
#   package_case.sh BUILD_DIR WORK VERSION
set -u
build=$1 work=$2 version=$3
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
name=Morvane-Control-Center-$version-win64 msi=$1/Morvane-Control-Center-$version-win64.msi
upgrade_code='{492700BB-6A38-4D01-BEEE-9E91AFD03AAD}' # the product's for good: never changes
rm -rf "$work" && mkdir -p "$work" || exit 1
failed=0
fail() { echo "FAILED: $*" && failed=1; }
# expect_rows TABLE ROWS [COLUMNS]: the table's rows, their first columns (or the COLUMNS, as
# cut -f takes them) joined by "|", are ROWS.
expect_rows() {
    local columns actual
    columns=${3:-1-$(head -n 1 <<<"$2" | awk -F'|' '{ print NF }')}
    actual=$(msiinfo export "$msi" "$1" | tail -n +4 | tr -d '\r' | cut -f "$columns" | tr '\t' '|' | sort)
    [ "$actual" = "$(sort <<<"$2")" ] || fail "$1 table:"$'\n'"$actual"$'\n'"expected:"$'\n'"$2"
}

"$source_dir/packaging/windows/make-icon.sh" "$work/icon.ico" &&
    cmp -s "$work/icon.ico" "$source_dir/packaging/windows/morvane-control-center.ico" ||
    fail "the committed .ico is not what packaging/windows/make-icon.sh makes of the drawing"

# cpack_run OUTPUT_DIR LOG [cpack options]: CPack's package, with the environment given.
cpack_run() { local out=$1 log=$2 && shift 2 && (cd "$build" && cpack --config CPackConfig.cmake -B "$out" "$@" >"$log" 2>&1); }
# The .sha256 beside a package holds its hash alone.
expect_hash() { [ "$(cat "$1.sha256")" = "$(cd "$(dirname "$1")" && sha256sum "$(basename "$1")")" ] || fail "$1.sha256 is wrong"; }

rm -f "$msi" "$msi.sha256"
(unset MCC_SIGN_CERT && cpack_run "$build" "$work/cpack.log") || { cat "$work/cpack.log" && fail "no package" && exit 1; }
expect_hash "$msi"
[ "$(grep -c 'not signed' "$work/cpack.log")" -eq 1 ] || fail "an unsigned package does not say so in one line"
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
expect_rows LaunchCondition "NOT WIX_DOWNGRADE_DETECTED|A newer version of Morvane Control Center is already installed. Uninstall it first to install this version.
Installed OR WINDOWSMAJORVERSION >= \"#10\"|Morvane Control Center needs Windows 10 or later."
# One component per program, the program its key path; versioned files.
expect_rows File "ControlCenterExe|ControlCenterProgram|morvane-control-center.exe|$version.0|1033
EnumExe|EnumProgram|morvane-enum.exe|$version.0|1033" 1-3,5,6
expect_rows Component "ControlCenterProgram|INSTALLDIR|ControlCenterExe
EnumProgram|INSTALLDIR|EnumExe
StartMenuShortcut|VendorDir|$(msiinfo export "$msi" Component | tr -d '\r' | awk -F'\t' '$1 == "StartMenuShortcut" { print $6 }')" 1,3,6
# The older product goes before this one is installed: between InstallValidate and InstallInitialize.
[ "$(msiinfo export "$msi" InstallExecuteSequence | tr -d '\r' | sort -t$'\t' -k3n | cut -f1 |
    grep -xE 'InstallValidate|RemoveExistingProducts|InstallInitialize' | tr '\n' ' ')" = \
    "InstallValidate RemoveExistingProducts InstallInitialize " ] || fail "RemoveExistingProducts is not between InstallValidate and InstallInitialize"

# The packaged programs: stripped, hardened, with the icon, the version resource and the
# manifest, importing only DLLs that Windows loads from System32 (comctl32: the side-by-side
# assembly the manifest names); their unstripped builds, with the same build IDs, in the
# symbols archive.
msiextract -C "$work/files" "$msi" >/dev/null
mkdir -p "$work/symbols" && (cd "$work/symbols" && cmake -E tar xf "$build/$name-symbols.zip") || fail "no symbols archive"
build_id() { x86_64-w64-mingw32-objdump -p "$1" | grep -o 'RSDS signature [0-9a-f]*'; }
for program in morvane-control-center morvane-enum; do
    file="$work/files/Morvane/Control Center/$program.exe"
    x86_64-w64-mingw32-objdump -h "$file" | grep -q '\.debug' && fail "$program.exe is not stripped"
    headers=$(x86_64-w64-mingw32-objdump -p "$file")
    (((0x$(sed -n "s/^DllCharacteristics\t*//p" <<<"$headers") & 0x8160) == 0x8160)) ||
        fail "$program.exe is not terminal-server aware, ASLR, NX: $(grep ^DllCharacteristics <<<"$headers")"
    [ "$(sed -n 's/^MajorSubsystemVersion\t*//p' <<<"$headers")" -ge 6 ] || fail "$program.exe's subsystem version is below 6.0"
    imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | grep -vxE 'kernel32.dll|user32.dll|gdi32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|comctl32.dll')
    [ -z "$imports" ] || fail "$program.exe imports $imports"
    [ -n "$(build_id "$file")" ] && [ "$(build_id "$file")" = "$(build_id "$work/symbols/$program.exe")" ] ||
        fail "$program.exe has no build ID, or not the one of its symbols"
    x86_64-w64-mingw32-objdump -h "$work/symbols/$program.exe" | grep -q '\.debug_info' || fail "the symbols of $program.exe have no debug information"
    wrestool -x --raw --type=24 "$file" | grep -q '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' ||
        fail "$program.exe's manifest does not name Windows 10"
    wrestool -l "$file" | grep -q -- '--type=14 --name=1 ' || fail "$program.exe has no icon 1"
    wrestool -x --raw --type=16 "$file" | tr -d '\0' | grep -aq "ProductVersion.\{0,3\}$version" ||
        fail "$program.exe has no version resource of $version"
done
wrestool -x --raw --type=24 "$work/files/Morvane/Control Center/morvane-control-center.exe" |
    grep -q "name=\"Morvane.ControlCenter\" version=\"$version.0\"" || fail "the manifest's version is not $version.0"

# wixl drops an attribute it does not know with only a warning: that fails the step.
sed 's/<MajorUpgrade /&AllowSameVersionUpgrades="yes" /' "$source_dir/packaging/windows/morvane-control-center.wxs" >"$work/bad.wxs"
grep -q AllowSameVersionUpgrades "$work/bad.wxs" &&
    ! cmake -DSTAGE="$work/files/Morvane/Control Center" -DVERSION="$version" -DOUTPUT="$work/bad.msi" -DWXS="$work/bad.wxs" \
        -P "$source_dir/packaging/windows/package_msi.cmake" >"$work/bad.log" 2>&1 && [ ! -f "$work/bad.msi" ] &&
    grep -q 'wixl failed' "$work/bad.log" ||
    fail "a wixl warning did not fail the package step"

# Signed: with a throwaway CA and a code-signing certificate (its key under a password), the
# MSI and both programs in it verify against that CA and one changed byte fails; a key that
# does not match the certificate fails the step and leaves no package.
ca=$work/ca
mkdir -p "$ca" && (
    cd "$ca" &&
        openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj /CN=Throwaway\ CA \
            -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign &&
        openssl req -newkey rsa:2048 -passout pass:secret -keyout leaf.key -out leaf.csr -subj /CN=Morvane &&
        printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >leaf.ext &&
        openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile leaf.ext -out leaf.pem &&
        cat leaf.pem ca.pem >chain.pem && openssl genrsa -out other.key 2048
) >"$work/ca.log" 2>&1 || { cat "$work/ca.log" && fail "no throwaway CA" && exit 1; }
verify() { osslsigncode verify -CAfile "$ca/ca.pem" -in "$1" >>"$work/verify.log" 2>&1; }
MCC_SIGN_CERT=$ca/chain.pem MCC_SIGN_KEY=$ca/leaf.key MCC_SIGN_KEY_PASSWORD=secret \
    cpack_run "$work/signed" "$work/signed.log" || { cat "$work/signed.log" && fail "no signed package" && exit 1; }
signed=$work/signed/$name.msi
expect_hash "$signed"
msiextract -C "$work/signed/files" "$signed" >/dev/null
for file in "$signed" "$work/signed/files/Morvane/Control Center/"*.exe; do
    verify "$file" || fail "$file does not verify"
done
cp "$signed" "$work/changed.msi" && printf 'X' | dd of="$work/changed.msi" bs=1 seek=$(($(stat -c %s "$signed") / 2)) conv=notrunc status=none
verify "$work/changed.msi" && fail "an MSI with a changed byte verifies"
MCC_SIGN_CERT=$ca/chain.pem MCC_SIGN_KEY=$ca/other.key cpack_run "$work/wrong" "$work/wrong.log" &&
    fail "a key that does not match the certificate did not fail the step"
[ -z "$(find "$work/wrong" -maxdepth 1 -name '*.msi')" ] || fail "a failed signing left a package"

[ "$failed" -eq 0 ] && echo "passed: $name.msi"
