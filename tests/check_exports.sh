#!/usr/bin/env bash
# Fails unless the store's shared library exports exactly the interface: its
# special members, its two factories, its table of operations and its type
# info. Anything of the implementation showing up here is a leak.
set -euo pipefail
expected='database_interface::IDatabaseInterface::CreateDatabaseInterface()
database_interface::IDatabaseInterface::GetDbInstance()
database_interface::IDatabaseInterface::IDatabaseInterface()
database_interface::IDatabaseInterface::IDatabaseInterface(database_interface::IDatabaseInterface const&)
database_interface::IDatabaseInterface::IDatabaseInterface(database_interface::IDatabaseInterface&&)
database_interface::IDatabaseInterface::operator=(database_interface::IDatabaseInterface const&)
database_interface::IDatabaseInterface::operator=(database_interface::IDatabaseInterface&&)
typeinfo for database_interface::IDatabaseInterface
typeinfo name for database_interface::IDatabaseInterface
vtable for database_interface::IDatabaseInterface'
actual=$(nm -D --defined-only "$1" | awk '$2 != "A" { $1 = ""; $2 = ""; print substr($0, 3) }' |
  sed 's/@.*//' | c++filt | sort -u)
if ! diff <(sort -u <<<"$expected") <(echo "$actual"); then
  echo "exported symbols differ from the interface (< expected, > exported)"
  exit 1
fi
echo "exports: exactly the interface ($(echo "$actual" | wc -l) symbols)"
