#!/usr/bin/env bash
# Proves that another project can use an installed Zantrelix: builds the
# shared libraries (Release, no tests) in build-install, installs them into a
# fresh temporary prefix, checks what was installed, builds and runs
# examples/ against it through find_package and through pkg-config, and makes
# and lists the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
build=$src/build-install
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
version=1.91

fail() { echo "check-install: $*" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
      -DZTL_BUILD_TESTS=OFF -DZTL_BUILD_FUZZ=OFF >/dev/null
# The build's output only when it fails: a passing build says nothing.
cmake --build "$build" >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail "build failed"; }
cmake --install "$build" --prefix "$prefix" >/dev/null
inc=$prefix/include/zantrelix
lib=$prefix/lib

# Only public headers, and each finds what it includes inside the install.
[[ -f $inc/core/ZtlBase.h && -f $inc/drivers/sqlite/ZtlSQLite.h ]] || fail "public headers missing"
internal=$(find "$inc" -name '*_p.h')
[[ -z $internal ]] || fail "internal headers installed: $internal"
while IFS=: read -r header target; do
  [[ -f $inc/$target ]] || fail "${header#"$inc"/} includes $target, which is not installed"
done < <(grep -r -o -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+"' "$inc" |
         sed -E 's/^([^:]*):[^"]*"([^"]*)"/\1:\2/')

# Every library carries the version in its SONAME and exports the ztl
# namespace only: no standard-library template code, no ztl::detail helper.
libraries=("$lib"/libztl_*.so)
((${#libraries[@]} >= 14)) || fail "only ${#libraries[@]} libraries installed"
for so in "${libraries[@]}"; do
  name=$(basename "$so" .so)
  name=${name#libztl_}
  soname=$(readelf -d "$so" | sed -n -E 's/.*\(SONAME\).*\[(.*)\]/\1/p')
  [[ $soname == "libztl_$name.so.$version" ]] || fail "libztl_$name.so has SONAME '$soname'"
  [[ -f $lib/$soname ]] || fail "$soname is not installed"
  stray=$(nm -DC --defined-only "$so" | cut -c20- |
          grep -v -E '^(ztl::|(typeinfo|typeinfo name|vtable|VTT|guard variable) for ztl::|(non-virtual |virtual )?thunk to ztl::)' || true)
  [[ -z $stray ]] || fail "libztl_$name.so exports what is not its interface:"$'\n'"$stray"
done
# (grep reads the whole list: with pipefail an early exit of grep -q would
# fail the pipeline through nm's broken pipe.)
nm -DC --defined-only "$lib/libztl_framework_variant.so" >"$work/variant.syms"
grep -q ' ztl::Variant::' "$work/variant.syms" ||
  fail "libztl_framework_variant.so does not export ztl::Variant"
! grep -q 'ztl::detail::' "$work/variant.syms" || fail "libztl_framework_variant.so exports ztl::detail"

# The installed program runs from its prefix alone.
"$prefix/bin/ztl" --version >/dev/null || fail "the installed ztl does not run"
# The installed designer loads every installed design package (its status
# says whether one failed) and draws its window.
if [[ -f $build/tools/designer/ztl-designer ]]; then
  [[ -f $lib/zantrelix/packages/ZtlPack5.so ]] || fail "design packages not installed"
  env -u ZTL_PACKAGES QT_QPA_PLATFORM=offscreen "$prefix/bin/ztl-designer" \
      --screenshot "$work/designer.png" 2>"$work/designer.err" ||
    { cat "$work/designer.err" >&2; fail "the installed ztl-designer failed"; }
fi

# The example, as a CMake project that finds the package ...
cmake -S examples -B "$work/example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/example" >/dev/null
"$work/example/orders" "$work/orders.db" >/dev/null || fail "the example failed (CMake)"
# ... and built with pkg-config's flags.
flags=$(PKG_CONFIG_PATH=$lib/pkgconfig pkg-config --cflags --libs zantrelix-sqlite)
# shellcheck disable=SC2086
"${CXX:-c++}" examples/orders.cpp -o "$work/orders-pc" $flags -Wl,-rpath,"$lib"
"$work/orders-pc" "$work/orders.db" >/dev/null || fail "the example failed (pkg-config)"

# The Debian package holds the same install under /usr.
(cd "$build" && cpack -G DEB -B "$work/deb" >/dev/null)
deb=$(ls "$work"/deb/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/deb.list"
for f in ./usr/include/zantrelix/core/ZtlBase.h ./usr/lib/libztl_core.so.$version \
         ./usr/lib/cmake/Zantrelix/ZantrelixConfig.cmake ./usr/lib/pkgconfig/zantrelix-sqlite.pc \
         ./usr/bin/ztl; do
  grep -qxF "$f" "$work/deb.list" || fail "$(basename "$deb") lacks $f"
done
echo "install: $(basename "$deb"), $(grep -vc '/$' "$work/deb.list") files:"
grep -v '/$' "$work/deb.list"
