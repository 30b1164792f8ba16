#!/bin/sh
# Checks a release after `make dist`: the install tree, the version in every program, the
# packages, and the same packages from a copy of the sources at another path.
# Usage: release.sh BUILD WINBUILD SECOND_TREE
set -eu
build=$1 winbuild=$2 second=$3
version=$(sed -n 's/^project(linetilt VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
fail() { echo "release check failed: $*" >&2; exit 1; }

make install BUILD="$build" PREFIX="$scratch/usr" >/dev/null
cp examples/qxc_temp.txt "$scratch/" && (cd "$scratch" && usr/bin/linetilt) && head -c2 "$scratch/QXC_TEMP.TXT" |
    grep -q hd || fail "the installed linetilt"
[ "$("$scratch/usr/bin/linetilt-host" --version)" = "linetilt-host $version" ] || fail "linetilt-host --version"
for page in docs/*.1; do
    man -l "$scratch/usr/share/man/man1/${page#docs/}" 2>/dev/null | grep -q "[a-z] $version " || fail "man -l $page"
done
grep -q "^## \[$version\] - " CHANGELOG.md || fail "no $version in CHANGELOG.md"

/usr/bin/python3 - "$version" "$(grep ^Copyright LICENSE)" "$winbuild"/*.exe <<'EOF' || fail "version resource"
import pefile, sys
version, copyright = sys.argv[1:3]
for exe in sys.argv[3:]:
    pe = pefile.PE(exe)
    s = {k.decode(): v.decode() for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
         for table in info.StringTable for k, v in table.entries.items()}
    fixed = pe.VS_FIXEDFILEINFO[0]
    numbers = "%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16)
    assert s["FileVersion"] == s["ProductVersion"] == numbers == version, (exe, s, numbers)
    assert s["ProductName"] == "linetilt" and s["FileDescription"] and s["LegalCopyright"].startswith(copyright), s
    assert pe.FILE_HEADER.TimeDateStamp == 0, exe + ": a link time in the header"
EOF

exes=$(cd "$winbuild" && ls *.exe) zip=linetilt-$version-win64.zip tgz=linetilt-$version-linux-x86_64.tar.gz
cd dist && sha256sum --quiet -c SHA256SUMS || fail "SHA256SUMS"
unzip -Z1 $zip | LC_ALL=C sort -c && tar tzf $tgz | LC_ALL=C sort -c || fail "package members out of name order"
members=$(unzip -Z1 $zip; tar tzf $tgz)
for member in $exes README.md LICENSE linetilt.txt MinGW-w64-notices.txt bin/linetilt bin/linetilt-host \
    share/man/man1/linetilt.1; do
    echo "$members" | grep -q "/$member\$" || fail "no $member in the packages"
done
! { unzip -p $zip; tar xzOf $tgz; } | grep -a -q -F "$OLDPWD" || fail "a build path in the packages"
cd ..

rm -rf "$second" && mkdir -p "$second"
git ls-files -z -co --exclude-standard | tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$second" -xf -
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) make -C "$second" dist >/dev/null
cmp dist/SHA256SUMS "$second/dist/SHA256SUMS" || fail "a second tree at $second packs other bytes"
echo "release check: install, version $version, packages and a second tree: same checksums"
