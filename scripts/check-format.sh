#!/usr/bin/env bash
# Fails when a C++ source does not follow .clang-format (run `make format` to fix).
set -u
clang_format=${1:-clang-format}
cd "$(dirname "$0")/.."
status=0
while IFS= read -r file; do
    if ! "$clang_format" --dry-run --Werror "$file" >/dev/null 2>&1; then
        echo "not formatted: $file"
        status=1
    fi
done < <(find src sim tests tools bench -name '*.cpp' -o -name '*.h' | sort)
exit $status
