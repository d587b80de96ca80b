#!/usr/bin/env bash
# Checks that the source folders are layers: a file may include headers of its own
# folder and of folders below it, never of a folder above it, so the include graph
# between folders has no cycle. Also checks that the window system meets GL at one
# seam: at most one file under render includes an SDL header. Prints every offence
# and fails on any.
#   check-layers.sh [SRC_DIR]
set -euo pipefail
src=${1:-$(dirname "$0")/../../src}

# Bottom first. A folder may use any folder listed before it.
layers=(core fs config geometry prt platform render render/gl scene lighting app demo)

rank() {
    local i
    for i in "${!layers[@]}"; do
        if [ "${layers[$i]}" = "$1" ]; then
            echo "$i"
            return
        fi
    done
    echo -1
}

bad=0
checked=0
while IFS= read -r file; do
    folder=$(dirname "${file#"$src"/}")
    own=$(rank "$folder")
    if [ "$own" -lt 0 ]; then
        echo "unlisted folder: src/$folder ($file)"
        bad=1
        continue
    fi
    while IFS= read -r included; do
        target=$(dirname "$included")
        [ "$target" = "." ] && continue
        used=$(rank "$target")
        checked=$((checked + 1))
        if [ "$used" -lt 0 ] || [ "$used" -gt "$own" ]; then
            echo "src/$folder includes $included: $target is not below $folder"
            bad=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$src" -name '*.h' -o -name '*.cpp' | sort)

sdl=$(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](SDL2/)?SDL' "$src/render" \
    --include='*.h' --include='*.cpp' | sort || true)
if [ "$(printf '%s' "$sdl" | grep -c .)" -gt 1 ]; then
    echo "more than one file under src/render includes SDL:"
    echo "$sdl"
    bad=1
fi

if [ "$checked" -eq 0 ]; then
    echo "no includes found under $src"
    exit 1
fi
[ "$bad" -eq 0 ] && echo "layers: $checked includes checked, none points up"
exit "$bad"
