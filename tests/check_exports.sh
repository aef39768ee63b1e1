#!/usr/bin/env bash
# Fails unless every symbol the store's shared library exports is the
# interface's own (its special members, its two factories, its table of
# operations and its type info): anything of the implementation showing up
# here is a leak. A missing one fails the programs that link it.
set -euo pipefail
exported=$(nm -D --defined-only "$1" | awk '$2 != "A" { print $3 }' | sed 's/@.*//' | c++filt)
grep -q 'IDatabaseInterface::CreateDatabaseInterface()' <<<"$exported" || {
  echo "the interface is not exported"
  exit 1
}
if grep -v -E '^((typeinfo|typeinfo name|vtable) for )?database_interface::IDatabaseInterface(::|$)' \
  <<<"$exported"; then
  echo "exported beside the interface (above)"
  exit 1
fi
echo "exports: only the interface ($(sort -u <<<"$exported" | wc -l) symbols)"
