#!/usr/bin/env bash
# Fails on every quoted include of src/ and tools/ that reaches a layer above the
# including file's own. Layers, low to high: platform, store, the two cores (which
# may not include each other), ui, the windows (dialogs, extract, harvest; harvest
# may include extract), app and cli. tools/ may include platform, store and its own
# folders. Headers in <...> and the generated ui_*.h are left alone.
set -euo pipefail
cd "$(dirname "$0")/.."
grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' \
    src tools | awk -F'"' '
BEGIN {
    n = split("platform 0 store 1 harvest/core 2 extract/core 2 ui 3 " \
              "dialogs 4 extract 4 harvest 4 app 5 cli 5", a, " ")
    for (i = 1; i < n; i += 2)
        rank[a[i]] = a[i + 1]
}
# The layer a path under the include root belongs to.
function layer(p) {
    if (p ~ /^(harvest|extract)\/core\//)
        return substr(p, 1, index(p, "/core/") + 4)
    return substr(p, 1, index(p, "/") - 1)
}
{
    split($1, loc, ":")
    file = loc[1]; inc = $2
    if (inc ~ /(^|\/)ui_[^\/]*\.h$/)
        next
    to = layer(inc)
    if (file ~ /^tools\//) {
        # Its own folders name no layer of src/.
        if (to == "platform" || to == "store" || !(to in rank))
            next
        from = "tools"
    } else {
        from = layer(substr(file, 5))
        if (to == from || (to in rank && rank[to] < rank[from]))
            next
        if (from == "harvest" && to == "extract")
            next
    }
    printf "%s:%s: %s may not include \"%s\"\n", file, loc[2], from, inc
    bad = 1
}
END { exit bad }'
