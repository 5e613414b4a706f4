#!/usr/bin/env bash
# Fails when an include runs the wrong way between the folders:
# - the product's folders, from the top: app -> power -> flash -> image -> ec
#   -> platform; each may include itself and the folders below it, and none
#   includes sim/ (the simulated machine sits beside the product, not in it);
# - sim/ (with its backends of platform.h, sim/host_backend/ and sim/simec/)
#   may include sim/, platform/ and, of the EC's folder, ec/ec_commands.h
#   (the command bytes and port sets the simulated EC answers to).
# tools/, tests/, bench/ and fuzz/ are host programs and may include anything.
set -euo pipefail
cd "$(dirname "$0")/.."
order=(app power flash image ec platform)
rank() { local i; for i in "${!order[@]}"; do [ "${order[$i]}" = "$1" ] && { echo "$i"; return; }; done; echo -1; }
bad=0
while IFS=: read -r file _ include; do
  from=${file%%/*}
  target=$(sed -n 's/.*#include "\([^/"]*\)\/.*/\1/p' <<<"$include")
  [ -z "$target" ] && continue
  rf=$(rank "$from"); rt=$(rank "$target")
  if [ "$rt" -lt 0 ] || [ "$rt" -lt "$rf" ]; then
    echo "check_layers: $file includes $target/ (${include#*#include }): $from/ may include only ${order[*]:$rf}" >&2
    bad=1
  fi
done < <(git grep -n '#include "' -- app ec flash image power platform)
while IFS=: read -r file _ include; do
  path=$(sed -n 's/.*#include "\([^"]*\)".*/\1/p' <<<"$include")
  case "$path" in
    sim/* | platform/* | ec/ec_commands.h) ;;
    */*)
      echo "check_layers: $file includes $path: sim/ may include only sim/, platform/ and ec/ec_commands.h" >&2
      bad=1 ;;
  esac
done < <(git grep -n '#include "' -- sim)
[ "$bad" -eq 0 ] && echo "check_layers: every include runs downward (${order[*]}); sim/ sits beside them"
exit "$bad"
