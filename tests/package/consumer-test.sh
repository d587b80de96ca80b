#!/usr/bin/env bash
# Installs a build into a scratch prefix and builds a user's project against it: the layout,
# programs on two components and on the application (run), none of our warning flags in the
# user's compile lines, and a clear failure for an unknown component.
#   consumer-test.sh BUILD_DIR CONSUMER_SOURCE_DIR [cmake arguments for the consumer...]
set -uo pipefail
build=$1
consumer=$2
shift 2
source "$(dirname "$0")/../support/cli-checks.sh"
unset DESTDIR

# Shows a step's log when it fails.
step() {
    local what=$1 log=$2
    shift 2
    if ! "$@" >"$log" 2>&1; then
        cat "$log"
        echo "FAILED: $what"
        exit 1
    fi
}

step "install" install.log cmake --install "$build" --prefix "$work/prefix"
check "headers under include/vrenn/<folder>" test -f prefix/include/vrenn/geometry/Mesh.h
check "headers keep their subfolders" test -f prefix/include/vrenn/render/gl/GLRenderer.h
check "headers only" test -z "$(find prefix/include -type f ! -name '*.h')"
check "the demo stays out" test ! -e prefix/include/vrenn/demo
check "ten libraries" test "$(find prefix -name 'libvrenn_*.a' | wc -l)" -eq 10
config=$(find prefix -name VrennConfig.cmake)
check "package config" test -n "$config"
check "version file" test -f "$(dirname "$config")/VrennConfigVersion.cmake"
check "the vrenn command" test -x prefix/bin/vrenn

step "configure" configure.log cmake -S "$consumer" -B user -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DVRENN_CONSUMER_APP=ON "$@"
step "build" build.log cmake --build user
out=$(user/scene_sh)
check "scene_sh exits 0" test $? -eq 0
check "scene_sh output" test "$out" = "faces=371 surfaces=6 width=1000 samples=64 sh0=3.5449"
out=$(user/app_link)
check "app_link runs" test "$out" = "linked"
commands=$(cat user/compile_commands.json)
check "installed include folder" matches "$commands" "(-I|-isystem )$work/prefix/include "
check "and the folders' own names" matches "$commands" "(-I|-isystem )$work/prefix/include/vrenn "
check "no warning flags of ours" test -z "$(grep -oE -- '-W(shadow|old-style-cast|error)' <<<"$commands")"

cmake -S "$consumer" -B unknown -DCMAKE_PREFIX_PATH="$work/prefix" \
    "-DVRENN_CONSUMER_COMPONENTS=geometry;nosuch" "$@" >unknown.log 2>&1
check "an unknown component fails" test $? -ne 0
check "an unknown component is named" grep -q 'Vrenn has no component "nosuch"' unknown.log
check "the components are listed" grep -q 'its components: core fs config geometry' unknown.log

finish "package"
