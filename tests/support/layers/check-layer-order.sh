#!/bin/sh
# Builds the layer probes: the allowed one must compile, and each refused one must fail
# because the header it names is not found from its layer.
# Usage: check-layer-order.sh CMAKE BUILD-DIR ALLOWED-TARGET REFUSED-TARGET:HEADER...
cmake=$1
build=$2
allowed=$3
shift 3
if ! "$cmake" --build "$build" --target "$allowed" >"$build/layer-probe.log" 2>&1; then
  cat "$build/layer-probe.log" >&2
  echo "the allowed include of $allowed did not compile" >&2
  exit 1
fi
for probe in "$@"; do
  target=${probe%%:*}
  header=${probe#*:}
  if "$cmake" --build "$build" --target "$target" >"$build/layer-probe.log" 2>&1; then
    echo "$target compiled: an include against the layer order was let through" >&2
    exit 1
  fi
  if ! grep -E -q "$header(: No such file|' file not found)" "$build/layer-probe.log"; then
    cat "$build/layer-probe.log" >&2
    echo "$target failed for another reason than the missing $header" >&2
    exit 1
  fi
done
echo "the layer order holds"
