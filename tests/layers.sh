#!/usr/bin/env bash
# The house's layers, checked on the source tree: no lower layer includes a
# header of a higher one, and no browser backend links another backend.
set -uo pipefail
root=${1:-$(dirname "$0")/..}
cd "$root" || exit 2
failures=0

headers_of() { find "$@" -name '*.h' -printf '%f\n' | sort -u; }

# $1: the folders that must stay below; the rest: the folders above them.
check_includes() {
    local below=$1
    shift
    local name
    while IFS= read -r name; do
        local found
        found=$(grep -rn --include='*.h' --include='*.cpp' "#include \"$name\"" $below)
        if [ -n "$found" ]; then
            echo "includes from above ($*): $found"
            failures=$((failures + 1))
        fi
    done < <(headers_of "$@")
}

check_includes "src/engine src/connectorhost src/base" src/shell src/ui src/app
check_includes "src/base" src/engine src/rules src/connectorhost
check_includes "src/rules" src/engine

backends=(pressbird_devtools pressbird_bidi pressbird_connector)
for dir in src/engine/devtools src/engine/bidi src/engine/connector src/engine/page src/base; do
    for backend in "${backends[@]}"; do
        own=$(sed -n 's/^add_library(\([a-z_]*\).*/\1/p' "$dir/CMakeLists.txt")
        [ "$own" = "$backend" ] && continue
        if grep -q "\b$backend\b" "$dir/CMakeLists.txt"; then
            echo "$dir/CMakeLists.txt links another backend: $backend"
            failures=$((failures + 1))
        fi
    done
done

if [ "$failures" -eq 0 ]; then
    echo "layers: every include and link goes downward"
fi
exit $((failures > 0))
