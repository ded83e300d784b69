#!/usr/bin/env bash
# Mutation run: applies each mutant of a list to a private copy of the sources,
# rebuilds, runs the tests and reports the mutants no test killed.
#
#   scripts/mutants.sh [--check] [LIST] [ID...]
#
# LIST defaults to tests/mutants.txt; IDs pick mutants of it. --check only
# verifies that every mutant applies to the working tree (nothing is built).
#
# Each mutant is one line of fields separated by " | ":
#   id | file | text | replacement | what it breaks [| tests]
# `text` must occur exactly once in `file`. In text and replacement "\n" is a
# line break, "\\" a backslash and "\|" a bar; "<nothing>" as replacement drops
# the text. The optional `tests` field is "-R REGEX" or "-L LABEL": that part
# of the suite runs first, and only a mutant it does not kill meets the whole
# suite (a mutant killed by a part is killed by the suite). Without it the
# whole suite runs, stopping at the first failure.
#
# The copy and its build stay under MUTANTS_DIR (default build-mutants) between
# runs: only files that changed are copied again, so rebuilds are incremental.
# CMAKE_CXX_COMPILER_LAUNCHER (e.g. ccache) is used when set; JOBS sets the
# parallelism of building and testing.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
check_only=false
if [ "${1:-}" = "--check" ]; then
    check_only=true
    shift
fi
list="${1:-$here/tests/mutants.txt}"
shift || true
only=("$@")
work="${MUTANTS_DIR:-$here/build-mutants}"
mkdir -p "$work"
work="$(cd "$work" && pwd)"
tree="$work/tree"
build="$work/build"
jobs="${JOBS:-$(nproc 2>/dev/null || echo 2)}"
# Tests no source change can fail: formatting and the install checks.
skip='^(source_format|install_files|install_package)$'

# The list as records of six fields separated by \x1f, escapes still in place.
records() {
    perl -ne '
        next if /^\s*(#|$)/;
        chomp;
        my @f = map { s/^\s+|\s+$//gr } split /\s\|\s/, $_, -1;
        die "line $.: expected 5 or 6 fields, found " . @f . "\n" if @f < 5 || @f > 6;
        push @f, "" if @f == 5;
        print join("\x1f", @f), "\n";' "$list"
}

# Applies one mutant to FILE in place: TEXT becomes REPLACEMENT.
apply() {
    MUT_FROM="$2" MUT_TO="$3" perl -0777 -i -e '
        sub unescape { my $s = shift; $s =~ s/\\([n\\|])/$1 eq "n" ? "\n" : $1/ge; $s }
        my $src = do { local $/; <> };
        my ($from, $to) = (unescape($ENV{MUT_FROM}), unescape($ENV{MUT_TO}));
        $to = "" if $to eq "<nothing>";
        my $count = () = $src =~ /\Q$from\E/g;
        die "found $count times\n" unless $count == 1;
        $src =~ s/\Q$from\E/$to/;
        print $src;' "$1"
}

# A malformed list stops the run before anything is built.
records >/dev/null || exit 1

wanted() {
    [ ${#only[@]} -eq 0 ] || [[ " ${only[*]} " == *" $1 "* ]]
}

if $check_only; then
    bad=0 total=0
    while IFS=$'\x1f' read -r id file text replacement why tests; do
        wanted "$id" || continue
        total=$((total + 1))
        scratch=$(mktemp)
        cp "$here/$file" "$scratch" 2>/dev/null || { echo "  $id: no file $file"; bad=$((bad + 1)); continue; }
        if ! err=$(apply "$scratch" "$text" "$replacement" 2>&1); then
            echo "  $id: $err in $file"
            bad=$((bad + 1))
        fi
        rm -f "$scratch"
    done < <(records)
    echo "$((total - bad)) of $total mutants apply."
    [ $bad -eq 0 ]
    exit
fi

# The private copy: an interrupted run never leaves a mutant in the real tree,
# and the next run copies back whatever differs from it.
echo "Updating the private copy in $tree..."
mkdir -p "$tree"
(cd "$here" && git ls-files -z --cached --others --exclude-standard) |
    while IFS= read -r -d '' f; do
        [ -f "$here/$f" ] || continue
        if ! cmp -s "$here/$f" "$tree/$f"; then
            mkdir -p "$(dirname "$tree/$f")"
            cp "$here/$f" "$tree/$f"
        fi
    done
cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTALLYSCOPE_BUILD_BENCH=OFF \
    ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} \
    >/dev/null

run_tests() {  # [ctest selection...]
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest -j "$jobs" --stop-on-failure \
        --timeout 120 -E "$skip" "$@" >"$work/ctest.log" 2>&1 </dev/null)
}

echo "Building the unmutated copy and checking that every test passes..."
cmake --build "$build" -j "$jobs" >"$work/build.log" 2>&1 ||
    { tail -n 30 "$work/build.log" >&2; echo "The unmutated sources do not build." >&2; exit 1; }
if ! run_tests; then
    tail -n 30 "$work/ctest.log" >&2
    echo "The unmutated sources fail their tests; fix that first." >&2
    exit 1
fi

target=""
restore() {
    if [ -n "$target" ] && [ -f "$target.orig" ]; then
        mv "$target.orig" "$target"
        touch "$target"
    fi
}
trap restore EXIT

# The build targets a ctest selection runs: its test binaries, and the two programs the
# end-to-end tests start. Building only these first spares relinking the whole suite for
# every mutant its own tests kill.
targets_of() {  # ctest selection...
    local known
    known=$(cmake --build "$build" --target help 2>/dev/null | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
    (cd "$build" && ctest -N -V "$@" 2>/dev/null) |
        sed -n 's/^[0-9]*: Test command: \([^ ]*\).*/\1/p' | xargs -r -n1 basename | sort -u |
        grep -Fx -f <(echo "$known") || true
    echo tallyscope vl4300-sim
}

# The first test ctest reports failed, or "?" when it names none (a crash, a timeout).
first_failure() {
    local name
    name=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (.*/\1/p' "$work/ctest.log" | head -n 1)
    echo "${name:-?}"
}

start=$(date +%s)
total=0 killed=0 survivors=() broken=() wide=()
while IFS=$'\x1f' read -r id file text replacement why tests; do
    wanted "$id" || continue
    total=$((total + 1))
    began=$(date +%s)
    target="$tree/$file"
    if [ ! -f "$target" ]; then
        echo "  $id: NOT APPLIED (no file $file)"
        broken+=("$id")
        continue
    fi
    cp -p "$target" "$target.orig"
    if ! err=$(apply "$target" "$text" "$replacement" 2>&1); then
        restore
        echo "  $id: NOT APPLIED ($err) -- $file"
        broken+=("$id")
        continue
    fi
    selection=()
    if [ -n "$tests" ]; then
        read -r flag value <<<"$tests"
        case "$flag" in
            -R | -L) selection=("$flag" "$value") ;;
            *) echo "  $id: the tests field must be -R REGEX or -L LABEL" >&2 ;;
        esac
    fi
    by=""
    if [ ${#selection[@]} -gt 0 ] &&
        cmake --build "$build" -j "$jobs" --target $(targets_of "${selection[@]}") \
            >"$work/build.log" 2>&1 </dev/null &&
        ! run_tests "${selection[@]}"; then
        verdict="killed"
        by=$(first_failure)
    elif ! cmake --build "$build" -j "$jobs" >"$work/build.log" 2>&1 </dev/null; then
        verdict="DOES NOT BUILD"
        broken+=("$id")
    elif [ ${#selection[@]} -gt 0 ] && ! run_tests "${selection[@]}"; then
        verdict="killed"
        by=$(first_failure)
    elif ! run_tests; then
        verdict="killed"
        by=$(first_failure)
        if [ ${#selection[@]} -gt 0 ]; then
            verdict="killed (whole suite)"
            wide+=("$id")
        fi
    else
        verdict="SURVIVED"
        survivors+=("$id")
    fi
    [ -n "$by" ] && killed=$((killed + 1))
    restore
    target=""
    printf '  %-26s %-22s %4ss  %s\n' "$id" "$verdict" $(($(date +%s) - began)) "$why"
    [ -z "$by" ] || printf '  %-26s   by %s\n' "" "$by"
done < <(records)
trap - EXIT
# Leaves the build matching the unmutated copy for the next run.
cmake --build "$build" -j "$jobs" >"$work/build.log" 2>&1 || true

elapsed=$(($(date +%s) - start))
echo
echo "Mutants killed: $killed of $total in $((elapsed / 60)) min $((elapsed % 60)) s."
if [ ${#wide[@]} -gt 0 ]; then
    echo "Killed only outside their tests field (widen it): ${wide[*]}"
fi
if [ ${#broken[@]} -gt 0 ]; then
    echo "Not applied or not built (fix the list): ${broken[*]}"
fi
if [ ${#survivors[@]} -gt 0 ]; then
    echo "Survivors: ${survivors[*]}"
fi
[ ${#survivors[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ]
