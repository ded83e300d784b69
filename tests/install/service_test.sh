#!/usr/bin/env bash
# The service as installed under /usr (the package's layout) and /usr/local:
# systemd accepts the unit, whose program, example options file and broker
# password credential are the ones installed and read by the program.
# Usage: service_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unit_name='tallyscope-headless@.service'
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is missing (make deps)"; exit 1; }

status=0
for prefix in /usr /usr/local; do
    dest=$work/dest${prefix//\//-}
    DESTDIR="$dest" cmake --install "$build" --prefix "$prefix" >/dev/null
    unit=$dest$prefix/lib/systemd/system/$unit_name
    [ -f "$unit" ] || { echo "$prefix: no $unit_name"; status=1; continue; }

    # The installed program, the options file of the instance "example".
    exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
    program=${exec_start%% *}
    options=$(echo "$exec_start" | sed -n 's/.*--options-file \([^ ]*\).*/\1/p')
    options=${options//%i/example}

    # systemd-analyze verify wants the program where ExecStart says. (It would
    # look up the manual page with man, which a build machine need not have.)
    mkdir -p "$work/units$prefix"
    sed "s|^ExecStart=$program|ExecStart=$dest$program|" "$unit" >"$work/units$prefix/$unit_name"
    # Unknown keys are only warned about: any output fails.
    if ! out=$(systemd-analyze verify --man=no "$work/units$prefix/$unit_name" 2>&1) ||
        [ -n "$out" ]; then
        echo "$prefix: systemd-analyze verify: $out"
        status=1
    fi

    # Every line of the example is a valid option: the run gets as far as the
    # port (exit 3, no such device), never a usage error (2).
    code=0
    out=$("$dest$program" --headless --options-file "$dest$options" --port "$work/no-port" \
            --csv - 2>&1 </dev/null) || code=$?
    [ "$code" = 3 ] || { echo "$prefix: example options: exit $code: $out"; status=1; }

    # The credential the unit passes is the one the program reads (refused, named,
    # for a URL without a user). A store name, not a path: no file, still starts.
    credential=$(sed -n 's/^LoadCredential=\([^:]*\):.*/\1/p' "$unit")
    source=$(sed -n 's/^LoadCredential=[^:]*://p' "$unit")
    if [ -z "$credential" ] || [[ $source == /* ]]; then
        echo "$prefix: no LoadCredential= from the credential store: '$credential:$source'"
        status=1
        continue
    fi
    mkdir -p "$work/credentials"
    echo Secret >"$work/credentials/$credential"
    code=0
    out=$(CREDENTIALS_DIRECTORY=$work/credentials "$dest$program" --headless \
            --options-file "$dest$options" --port "$work/no-port" --mqtt mqtt://127.0.0.1:1 \
            2>&1 </dev/null) || code=$?
    if [ "$code" != 2 ] || [[ $out != *"credential $credential "* ]] || [[ $out == *Secret* ]]; then
        echo "$prefix: the credential $credential: exit $code: $out"
        status=1
    fi
done
exit $status
