#!/usr/bin/env bash
# Fails when an #include points against the allowed direction between folders,
# or when a public header lets a client library's header reach a user's build.
#
# Each module may include itself and the modules listed after it, nothing else.
# A file belongs to the longest module path that prefixes it; folders outside
# the table (tests, tools, bench, fuzz, examples) may include anything.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [framework/rtl]=""
  [framework/text]="framework/rtl"
  [framework/variant]="framework/rtl"
  [framework/classes]="framework/rtl framework/text"
  [framework/graphics]="framework/rtl framework/text framework/classes"
  [framework/forms]="framework/rtl framework/text framework/classes"
  [framework/db]="framework/rtl framework/text framework/variant framework/classes"
  [framework/widgets]="framework/rtl framework/text framework/variant framework/classes framework/graphics framework/forms framework/db"
  [framework/designintf]="framework/rtl framework/text framework/variant framework/classes framework/graphics framework/forms framework/db framework/widgets"
  [sqltext]=""
  [core]="framework sqltext"
  [dataset]="core framework sqltext"
  [catalog]="dataset core framework sqltext"
  [drivers/common]="dataset core framework sqltext"
  [drivers/sqlite]="drivers/common dataset core framework sqltext"
  [drivers/postgres]="drivers/common dataset core framework sqltext"
  [design]="dataset core framework sqltext"
  [drivers/sqlite/design]="package drivers/sqlite drivers/common design dataset core framework sqltext"
  [drivers/postgres/design]="package drivers/postgres drivers/common design dataset core framework sqltext"
  [package]="design catalog dataset core framework sqltext"
  [tools/designer]="package adapters/qt framework"
  [adapters/qt]="framework"
)

# The module a repository path belongs to, or nothing.
module_of() {
  local path=$1 best="" m
  for m in "${!allowed[@]}"; do
    if [[ $path == "$m"/* && ${#m} -gt ${#best} ]]; then best=$m; fi
  done
  [[ -n $best ]] && echo "$best"
  return 0
}

# Does module $1 permit an include of repository path $2?
permits() {
  local from=$1 target=$2 m
  [[ $target == "$from"/* ]] && return 0
  for m in ${allowed[$from]}; do
    [[ $target == "$m"/* ]] && return 0
  done
  return 1
}

status=0
while IFS= read -r file; do
  from=$(module_of "$file")
  [[ -z $from ]] && continue
  while IFS=: read -r line target; do
    if ! permits "$from" "$target"; then
      echo "$file:$line: $from may not include $target" >&2
      status=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
           sed -E 's/^([0-9]+):[^"]*"([^"]*)".*/\1:\2/')
  # Only the widget layers of the framework, the design-time folders and the
  # Qt adapter may use Qt.
  if [[ $from != framework/widgets && $from != framework/designintf && $from != design &&
        $from != package && $from != adapters/qt && $from != tools/designer ]] &&
     grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
    echo "$file: $from may not use Qt" >&2
    status=1
  fi
done < <(git ls-files -co --exclude-standard -- '*.h' '*.cpp')

# A public header is any header of a library folder whose name does not end
# in _p.h. None may bring a client library's header into a user's build, not
# even through another header: each driver header is compiled alone against
# stand-ins for those headers that refuse to be included.
stubs=$(mktemp -d)
trap 'rm -rf "$stubs"' EXIT
for h in sqlite3.h libpq-fe.h; do
  echo "#error \"a public header reaches <$h>\"" >"$stubs/$h"
done
while IFS= read -r header; do
  if ! "${CXX:-c++}" -std=c++20 -fsyntax-only -x c++ -I. -I"$stubs" "$header" 2>"$stubs/err"; then
    echo "$header: does not compile alone without the client libraries' headers:" >&2
    grep -m1 -E 'error' "$stubs/err" >&2 || true
    status=1
  fi
done < <(git ls-files -co --exclude-standard -- 'drivers/*.h' | grep -v '_p\.h$')

if ((status == 0)); then echo "layers: every include points down"; fi
exit $status
