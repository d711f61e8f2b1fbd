#!/usr/bin/env bash
# Writes tessary-info --audit --sarif for every shared real cabinet and validates each log with
# the SARIF multitool that scripts/deps.sh installed: any result of level error fails. The
# multitool's warnings (no source regions in a cabinet, no information URI) are listed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tool=$build/node-tools/node_modules/@microsoft/sarif-multitool-linux/Sarif.Multitool
[ -x "$tool" ] || { echo "no SARIF multitool in $build/node-tools: run scripts/deps.sh"; exit 1; }
out=$build/sarif-check
rm -rf "$out" && mkdir -p "$out"
shopt -s nullglob
count=0
for cabinet in ../shared/corpus/real/*; do
  [ -f "$cabinet" ] || continue
  name=$(basename "$cabinet")
  status=0
  "$build/tools/tessary-info" --audit --sarif "$cabinet" >"$out/$name.sarif" || status=$?
  # 0 and 4 (findings) are audits; anything else did not run.
  if [ "$status" -ne 0 ] && [ "$status" -ne 4 ]; then
    echo "tessary-info --audit --sarif $name: exit $status"
    exit 1
  fi
  "$tool" validate "$out/$name.sarif" -o "$out/$name.validation.sarif" --log ForceOverwrite \
    --quiet >/dev/null
  errors=$(node -e '
    const log = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    const results = log.runs.flatMap(r => r.results || []);
    const bad = results.filter(r => r.level === "error");
    // A log the multitool cannot read at all (a value outside an enumeration) gives no results
    // and no error; every log of ours draws at least its warning about the information URI.
    if (results.length === 0) console.log("the multitool read nothing of the log");
    for (const r of bad) console.log(r.ruleId, JSON.stringify(r.message));
    const warnings = new Set(results.filter(r => r.level !== "error").map(r => r.ruleId));
    console.error("  " + process.argv[2] + ": " + bad.length + " errors; warnings: " +
                  ([...warnings].join(", ") || "none"));
  ' "$out/$name.validation.sarif" "$name")
  if [ -n "$errors" ]; then
    echo "$name: the SARIF multitool found errors:"
    echo "$errors"
    exit 1
  fi
  count=$((count + 1))
done
echo "$count SARIF logs valid"
