#!/usr/bin/env bash
# Lists the functions defined at the left margin of the sources (free functions and members
# defined outside their class, as clang-format lays them out) whose bodies run longer than
# LIMIT lines, longest first; exits 1 when there is one. Tests are not looked at.
#
#   bash scripts/function-length.sh LIMIT FOLDER...
set -euo pipefail
limit=$1
shift
found=$(find "$@" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 awk -v limit="$limit" '
    FNR == 1 { inside = 0; h1 = h2 = h3 = h4 = h5 = h6 = "" }
    {
        line = $0
        if (!inside && line ~ /\{$/ && line ~ /^[^ \t#\/}]/ &&
            line !~ /^(namespace|struct|class|enum|union|extern)[ {]/ &&
            line !~ /^template <[^>]*> *(struct|class) / && line !~ /= \{$/ &&
            line !~ /=[^(]*\[/ && (h1 h2 h3 h4 h5 h6 line) ~ /\(/) {
            inside = 1
            start = FNR
            signature = line
        } else if (inside && line ~ /^\}/) {
            inside = 0
            if (FNR - start - 1 > limit)
                printf "%d %s:%d %s\n", FNR - start - 1, FILENAME, start, signature
        }
        h6 = h5; h5 = h4; h4 = h3; h3 = h2; h2 = h1; h1 = line
    }' | sort -rn)
[ -z "$found" ] && exit 0
echo "functions longer than $limit lines:" >&2
echo "$found" >&2
exit 1
