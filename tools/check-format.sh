#!/usr/bin/env bash
# Checks that the C++ files are as clang-format (the .clang-format at the root) writes them.
# With no argument every tracked C++ file is checked; with a git revision, only the files
# changed since it (e.g. tools/check-format.sh main before a merge). Fix with clang-format -i.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -gt 0 ]; then
    mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
[ ${#files[@]} -eq 0 ] && exit 0
clang-format --dry-run --Werror "${files[@]}"
echo "format checked: ${#files[@]} files"
