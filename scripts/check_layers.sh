#!/usr/bin/env bash
# Fails when a product folder includes a folder above it. The product's
# folders, from the top: app -> power -> flash -> image -> ec -> platform;
# each may include itself and the folders below it. The host backend of
# platform/ (platform/host/, platform/uefi/simec/) sits on the simulated
# machine and may include sim/.
set -euo pipefail
cd "$(dirname "$0")/.."
order=(app power flash image ec platform)
rank() { local i; for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }; done; echo -1; }
bad=0
while IFS=: read -r file _ include; do
  from=${file%%/*}
  target=$(sed -n 's/.*#include "\([^/"]*\)\/.*/\1/p' <<<"$include")
  [ -z "$target" ] && continue
  if [ "$target" = sim ] && [[ $file == platform/host/* || $file == platform/uefi/simec/* ]]; then continue; fi
  rf=$(rank "$from"); rt=$(rank "$target")
  if [ "$rt" -lt 0 ] || [ "$rt" -lt "$rf" ]; then
    echo "check_layers: $file includes $target/ (${include#*#include }): $from/ may include only ${order[*]:$rf}" >&2
    bad=1
  fi
done < <(git grep -n '#include "' -- app ec flash image power platform)
[ "$bad" -eq 0 ] && echo "check_layers: every include runs downward (${order[*]})"
exit "$bad"
