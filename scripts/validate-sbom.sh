#!/usr/bin/env bash
# Validates CycloneDX inventories against the CycloneDX 1.5 schema with the npm packages that
# scripts/deps.sh installed: tessary-info --sbom FILE of every shared real cabinet, and every
# DIR/SHA256.cdx.json that --sbom --into DIR DB writes for an index of the same cabinets. Any
# invalid document, a failed run or a missing inventory fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
tool=$build/tools/tessary-info
modules=$build/node-tools/cyclonedx/node_modules
[ -d "$modules" ] || { echo "no CycloneDX packages in $modules: run scripts/deps.sh"; exit 1; }
out=$build/sbom
rm -rf "$out" && mkdir -p "$out/one" "$out/index"
shopt -s nullglob
cabinets=()
for cabinet in ../shared/corpus/real/*; do
  [ -f "$cabinet" ] && cabinets+=("$cabinet")
done
[ ${#cabinets[@]} -gt 0 ] || { echo "no shared real cabinets in ../shared/corpus/real"; exit 1; }

for cabinet in "${cabinets[@]}"; do
  "$tool" --sbom "$cabinet" >"$out/one/$(basename "$cabinet").cdx.json"
done

# The index writes one inventory per content read: as many as the cabinets have contents.
"$tool" --index "$out/real.db" "${cabinets[@]}" >/dev/null
status=0
"$tool" --sbom --into "$out/index" "$out/real.db" >/dev/null || status=$?
if [ "$status" -ne 0 ]; then
  echo "tessary-info --sbom --into $out/index $out/real.db: exit $status, expected 0"
  exit 1
fi
contents=$(sha256sum "${cabinets[@]}" | cut -d' ' -f1 | sort -u | wc -l)
written=("$out"/index/*.cdx.json)
if [ ${#written[@]} -ne "$contents" ]; then
  echo "--sbom --into wrote ${#written[@]} inventories for $contents contents"
  exit 1
fi

NODE_PATH=$modules node scripts/node-tools/validate-sbom.js "$out"/one/*.cdx.json \
  "${written[@]}"
