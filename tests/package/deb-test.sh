#!/usr/bin/env bash
# Makes the Debian package with CPack, unpacks it into a scratch root (dpkg -x) and uses it as
# a user would, with the data it installs: vrenn --help, init, a small bake and lightmaps.
#   deb-test.sh BUILD_DIR
set -uo pipefail
build=$1
source "$(dirname "$0")/../support/cli-checks.sh"
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >cpack.log 2>&1; then
    cat cpack.log
    echo "FAILED: cpack"
    exit 1
fi
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb=pkg/vrenn_${version}_$(dpkg --print-architecture).deb
check "the package is named vrenn_<version>_<arch>.deb" test -f "$deb"
fields=$(dpkg-deb -f "$deb" Package Depends)
check "its dependencies are declared" matches "$fields" "Depends:.*libsdl2"
check "and the GL library" matches "$fields" "Depends:.*libepoxy"
listing=$(dpkg-deb -c "$deb")
for path in usr/bin/prtdemo usr/bin/vrenn usr/share/vrenn/default.cfg \
    usr/share/vrenn/effects/sky.fx usr/share/vrenn/materials/materials.mtr \
    usr/share/vrenn/textures/fonts/bigchars.dds usr/share/vrenn/models/scene.vmsh \
    usr/include/vrenn/geometry/Mesh.h usr/lib/cmake/Vrenn/VrennConfig.cmake; do
    check "the package holds $path" matches "$listing" " \./$path$"
done
check "libraries" matches "$listing" "libvrenn_geometry\.a$"

dpkg -x "$deb" root || exit 1
vrenn=$work/root/usr/bin/vrenn
out=$("$vrenn" --help)
check "vrenn --help" test $? -eq 0
check "--help names init" matches "$out" "init"
"$vrenn" init mine >init.out 2>&1
check "vrenn init" test $? -eq 0
check "init writes the settings" test -f mine/default.cfg
check "init makes the folders" test -d mine/models -a -d mine/probes -a -d mine/textures/sky
check "no effects copied" test ! -e mine/effects
"$vrenn" bake root/usr/share/vrenn/models/scene.vmsh --rays 4 --out mine >bake.out 2>&1
check "a small bake" test $? -eq 0
check "the bake wrote the transfer" test -f mine/shtex0.dds -a -f mine/models/saved.vmsh
mkdir -p mine/lit
SDL_VIDEODRIVER=offscreen "$vrenn" lightmaps mine --out mine/lit >lightmaps.out 2>&1
check "vrenn lightmaps from the installed data" test $? -eq 0
check "lightmaps written" test -f mine/lit/lightmap0.dds -a -f mine/lit/lightmap2.dds
out=$("$vrenn" init mine/default.cfg 2>&1)
check "init refuses a file" test $? -ne 0
[ "$failures" -eq 0 ] && finish "Debian package"
for f in init.out bake.out lightmaps.out; do echo "== $f"; cat "$f"; done
finish "Debian package"
