#!/bin/bash
# Times `kesttool doctor` of two builds against each other, "before" and "after", in two
# situations, and prints wall-clock seconds and peak resident size of every run:
#
#   demo   the demo's sample installation at the point where the demo runs doctor (two
#          PKCS#12 imports, marks, omit set, both certificates removed again, log off): made
#          by the road the demo walks (tools/KestTool/typical-road.sh), once per build, with
#          that build's DLLs and tool, in a Wine prefix of its own
#   bench  a personal store of the bench's 400 keyed certificates and an installation whose
#          KestEnv.ini stores one candidate (the first certificate of the list), log off
#
# Usage:
#   doctor-before-after.sh [-n RUNS] [--reuse] [--startup] <before build dir> <after build dir>
#
#   -n RUNS    doctor runs per build and situation, before and after taking turns (default 3)
#   --reuse    keep the installations and prefixes of the last run when they are there (only
#              the builds' DLLs and kesttool.exe are copied in again); default: made anew
#   --startup  also time `kesttool --help` in the demo prefix: what Wine takes to start the tool
#
# A build dir is a CMake build folder of the mingw toolchain with bin/kesttool.exe and the DLLs
# (e.g. an older commit's worktree built with BUILD_TESTING=OFF, and build/mingw). Nothing is
# written into it.
#
# Environment:
#   KEST_MEASURE_DIR     working folder (default: build/measure of this tree); holds runs/
#                        (prefixes, installations, every run's output, results.tsv) and
#                        cache/bench400 (the bench's 400 keyed certificates, made once)
#   KEST_MEASURE_SOURCE  source tree whose typical-road.sh, cmake/wine-run.sh, KestErr.csv and
#                        sample certificates are used for both builds (default: the before
#                        build's source tree, as its CMakeCache.txt names it)
#   KEST_MEASURE_KESTBENCH  kestbench.exe that makes the 400 certificates on the first run
#                        (default: <before build dir>/bin/kestbench.exe, else the after one's;
#                        build it with `cmake --build <build dir> --target kestbench -j2`)
#
# Each timed run is one whole `cmake/wine-run.sh <installation>/kesttool.exe doctor` call under
# /usr/bin/time -f '%e %M' (Wine is started per run). The wineserver of each prefix is started
# persistent before the first run (Debian's wrapper ends it at once otherwise) and stopped at the
# end, so every run finds it running; one untimed doctor run per build and situation comes first.
# Peak resident size is the largest of the processes of the call (wine-run.sh, its cmd.exe and
# the tool); the wineserver, started before, is not among them. doctor exits 1 when it finds a
# problem: that is its answer, not a failure of the measurement.
set -euo pipefail

runs=3
reuse=0
startup=0
while [ $# -gt 0 ]; do
    case $1 in
    -n) runs=$2; shift 2 ;;
    --reuse) reuse=1; shift ;;
    --startup) startup=1; shift ;;
    -h | --help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) echo "doctor-before-after.sh: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -ne 2 ]; then
    echo "usage: doctor-before-after.sh [-n RUNS] [--reuse] [--startup] <before build dir> <after build dir>" >&2
    exit 2
fi
case $runs in '' | *[!0-9]* | 0) echo "doctor-before-after.sh: -n takes a positive number" >&2; exit 2 ;; esac

here=$(cd "$(dirname "$0")/.." && pwd)
measure=${KEST_MEASURE_DIR:-$here/build/measure}
mkdir -p "$measure"
measure=$(cd "$measure" && pwd)
labels=(before after)
declare -A build
build[before]=$(cd "$1" && pwd)
build[after]=$(cd "$2" && pwd)

for label in "${labels[@]}"; do
    for file in kesttool.exe KestIni.dll KestLog.dll KestErr.dll KestCommon.dll KestMyCert.dll; do
        [ -f "${build[$label]}/bin/$file" ] || {
            echo "doctor-before-after.sh: ${build[$label]}/bin/$file is missing ($label)" >&2
            exit 1
        }
    done
done

source_of() { sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$1/CMakeCache.txt" 2>/dev/null; }
source=${KEST_MEASURE_SOURCE:-$(source_of "${build[before]}")}
if [ -z "$source" ] || [ ! -x "$source/tools/KestTool/typical-road.sh" ] || [ ! -x "$source/cmake/wine-run.sh" ]; then
    echo "doctor-before-after.sh: no source tree with typical-road.sh (set KEST_MEASURE_SOURCE)" >&2
    exit 1
fi
wine_run=$source/cmake/wine-run.sh
road=$source/tools/KestTool/typical-road.sh
catalogue=$source/KestErr/KestErr.csv
work=$measure/runs
cache=$measure/cache/bench400

# The wineserver of a work folder, found as wine-run.sh finds it (KEST_WINE_BUILD_DIR).
server() {
    local folder=$1
    shift
    WINEPREFIX=$folder/wine/prefix TMPDIR=$folder/wine/tmp wineserver "$@"
}
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
loadavg() { cut -d' ' -f1-3 /proc/loadavg; }
seconds_since() { echo $(($(date +%s) - $1)); }
# Waits until the wineserver of a work folder has ended (it saves the registry then).
wait_server() { [ ! -d "$1/wine/prefix" ] || server "$1" -w; }
# Runs a build's installed kesttool in a work folder, output into a file; returns its status.
tool() {
    local folder=$1 out=$2
    shift 2
    KEST_WINE_BUILD_DIR=$folder "$wine_run" "$folder/installation/kesttool.exe" "$@" >"$out" 2>&1
}
install_binaries() {
    local from=$1 to=$2
    mkdir -p "$to"
    for file in KestIni.dll KestLog.dll KestErr.dll KestCommon.dll KestMyCert.dll kesttool.exe; do
        cp "$from/$file" "$to/"
    done
}

echo "source of the road and wine-run.sh: $source"
# The commit of a build's source tree, and whether the tree has changes; read-only
# (GIT_OPTIONAL_LOCKS=0: git writes no index of a tree another person works in).
commit_of() {
    local tree
    tree=$(source_of "$1")
    [ -n "$tree" ] || { echo '?'; return; }
    local head
    head=$(GIT_OPTIONAL_LOCKS=0 git -C "$tree" rev-parse --short HEAD 2>/dev/null) || { echo '?'; return; }
    if [ -n "$(GIT_OPTIONAL_LOCKS=0 git -C "$tree" status --porcelain --untracked-files=no 2>/dev/null | head -n 1)" ]; then
        echo "$head, tree with changes"
    else
        echo "$head"
    fi
}
for label in "${labels[@]}"; do
    echo "$label: ${build[$label]} ($(commit_of "${build[$label]}"))"
done
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores, $(wine --version 2>/dev/null)"
echo "load average at the start: $(loadavg)"
started=$(date +%s)

# --- the bench's 400 keyed certificates, made once by kestbench in a prefix of their own ------
if [ ! -f "$cache/.ready" ]; then
    kestbench=${KEST_MEASURE_KESTBENCH:-}
    if [ -z "$kestbench" ]; then
        for label in "${labels[@]}"; do
            if [ -f "${build[$label]}/bin/kestbench.exe" ]; then kestbench=${build[$label]}/bin/kestbench.exe; break; fi
        done
    fi
    if [ -z "$kestbench" ] || [ ! -f "$kestbench" ]; then
        echo "doctor-before-after.sh: no kestbench.exe to make the 400 certificates with: build target kestbench" >&2
        echo "  (cmake --build ${build[before]} --target kestbench -j2) or set KEST_MEASURE_KESTBENCH" >&2
        exit 1
    fi
    echo "making the bench's store once: kestbench in $cache (a few minutes) ..."
    rm -rf "$cache"
    mkdir -p "$cache"
    # Its last step leaves the personal store "MY" holding all 400 certificates.
    KEST_WINE_BUILD_DIR=$cache "$wine_run" "$kestbench" >"$cache/kestbench.out" 2>&1 || {
        echo "doctor-before-after.sh: kestbench failed, see $cache/kestbench.out" >&2
        exit 1
    }
    wait_server "$cache"
    touch "$cache/.ready"
fi
wait_server "$cache"

# --- the installations, one demo and one bench folder per build ------------------------------
# With --reuse and the folder's installation there, only this build's binaries are copied in
# again (status 0); otherwise the folder goes, to be made anew (status 1). Its wineserver has
# ended either way.
reused() {
    local label=$1 folder=$2
    wait_server "$folder"
    if [ "$reuse" = 1 ] && [ -f "$folder/.ready" ]; then
        install_binaries "${build[$label]}/bin" "$folder/installation"
        return 0
    fi
    rm -rf "$folder"
    return 1
}

setup_demo() {
    local label=$1 folder=$work/$1/demo
    reused "$label" "$folder" && return
    mkdir -p "$work/$label"
    # The road makes the folder anew: prefix, installation, its whole walk up to doctor.
    "$road" "${build[$label]}/bin" "$folder" >"$work/$label/demo-road.log" 2>&1 || {
        echo "doctor-before-after.sh: the demo's road failed for $label, see $work/$label/demo-road.log" >&2
        exit 1
    }
    cp "$work/$label/demo-road.log" "$folder/road.log"
    wait_server "$folder"
    touch "$folder/.ready"
}

setup_bench() {
    local label=$1 folder=$work/$1/bench
    reused "$label" "$folder" && return
    mkdir -p "$folder/wine"
    cp -a "$cache/wine/prefix" "$folder/wine/prefix"
    install_binaries "${build[$label]}/bin" "$folder/installation"
    cp "$catalogue" "$folder/installation/"
    : >"$folder/installation/KestEnv.ini"
    local step
    for step in "install-dir $(windows_path "$folder/installation")" "log off" "mark 1"; do
        # shellcheck disable=SC2086 # the steps are split into words on purpose
        tool "$folder" "$folder/setup.out" $step || {
            echo "doctor-before-after.sh: kesttool $step failed for $label:" >&2
            cat "$folder/setup.out" >&2
            exit 1
        }
    done
    grep -q '^CertId_0000=' "$folder/installation/KestEnv.ini" || {
        echo "doctor-before-after.sh: $label's KestEnv.ini stores no candidate" >&2
        exit 1
    }
    wait_server "$folder"
    touch "$folder/.ready"
}

echo "setting up the installations (the demo's road per build, the bench's store copied per build) ..."
for label in "${labels[@]}"; do
    setup_demo "$label"
    setup_bench "$label"
done
if ! cmp -s "$work/before/bench/installation/KestEnv.ini" "$work/after/bench/installation/KestEnv.ini"; then
    echo "note: the bench installations' KestEnv.ini differ between before and after" >&2
fi
echo "set up in $(seconds_since "$started") s"

# --- persistent wineservers, stopped on exit --------------------------------------------------
# SIGINT is what `wineserver -k` sends: the server ends the prefix's processes (services.exe and
# the others, which stay up with it) and then itself.
server_pids=()
stop_servers() {
    local pid
    for pid in "${server_pids[@]}"; do
        kill -INT "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    server_pids=()
}
trap stop_servers EXIT
trap 'exit 130' INT TERM
for label in "${labels[@]}"; do
    for situation in demo bench; do
        folder=$work/$label/$situation
        mkdir -p "$folder/wine/tmp"
        # exec: the job's id is the server's own (the wrapper execs wineserver64 too).
        (
            export WINEPREFIX=$folder/wine/prefix TMPDIR=$folder/wine/tmp
            exec wineserver -p -f </dev/null >/dev/null 2>&1
        ) &
        server_pids+=($!)
    done
done
sleep 1
for pid in "${server_pids[@]}"; do
    kill -0 "$pid" 2>/dev/null || { echo "doctor-before-after.sh: a wineserver did not stay up" >&2; exit 1; }
done

# --- the timed runs ----------------------------------------------------------------------------
results=$work/results.tsv
printf 'situation\tbuild\trun\tseconds\tpeak_kib\texit\tsummary\n' >"$results"
declare -A seconds peak status summary

# One timed call in a work folder; records seconds, peak KiB, exit status and the last line.
timed() {
    local situation=$1 label=$2 run=$3 folder=$4
    shift 4
    local out=$work/$label/$situation-$run.out times=$work/$label/$situation-$run.time
    local code=0
    KEST_WINE_BUILD_DIR=$folder /usr/bin/time -f '%e %M' -o "$times" \
        "$wine_run" "$folder/installation/kesttool.exe" "$@" >"$out" 2>&1 || code=$?
    # time writes "Command exited with non-zero status N" before the figures.
    local figures
    figures=$(tail -n 1 "$times")
    local key=$situation/$label
    seconds[$key]="${seconds[$key]:-} ${figures% *}"
    peak[$key]="${peak[$key]:-} $(awk -v k="${figures#* }" 'BEGIN { printf "%.1f", k / 1024 }')"
    status[$key]="${status[$key]:-} $code"
    summary[$key]=$(grep -v '^[[:space:]]*$' "$out" | tail -n 1 | tr -d '\r')
    printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$situation" "$label" "$run" "${figures% *}" "${figures#* }" "$code" \
        "${summary[$key]}" >>"$results"
}

situations=(demo bench)
[ "$startup" = 0 ] || situations=(startup "${situations[@]}")
load_before=$(loadavg)
timed_start=$(date +%s)
for situation in "${situations[@]}"; do
    if [ "$situation" = startup ]; then
        where=demo
        command=(--help)
    else
        where=$situation
        command=(doctor)
    fi
    # One untimed run each first: the files Wine and the tool read are in the page cache.
    for label in "${labels[@]}"; do
        KEST_WINE_BUILD_DIR=$work/$label/$where "$wine_run" "$work/$label/$where/installation/kesttool.exe" \
            "${command[@]}" >/dev/null 2>&1 || true
    done
    for run in $(seq 1 "$runs"); do
        for label in "${labels[@]}"; do
            timed "$situation" "$label" "$run" "$work/$label/$where" "${command[@]}"
        done
    done
done
load_after=$(loadavg)
timed_seconds=$(seconds_since "$timed_start")
stop_servers

# --- the table ---------------------------------------------------------------------------------
median() { tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo
width=$((runs * 7 > 20 ? runs * 7 : 20))
echo "load average before: $load_before"
printf '%-9s %-7s %-*s %7s   %-*s %s\n' situation build "$width" "seconds (each run)" median \
    "$width" "peak MiB (each run)" "exit"
for situation in "${situations[@]}"; do
    for label in "${labels[@]}"; do
        key=$situation/$label
        each_s=$(for v in ${seconds[$key]}; do printf '%6s ' "$v"; done)
        each_m=$(for v in ${peak[$key]}; do printf '%6s ' "$v"; done)
        printf '%-9s %-7s %-*s %7s   %-*s %s\n' "$situation" "$label" "$width" "$each_s" \
            "$(echo "${seconds[$key]}" | median)" "$width" "$each_m" "$(echo "${status[$key]}" | sed 's/^ //')"
    done
done
echo "load average after:  $load_after"
echo
echo "doctor's last line:"
for situation in "${situations[@]}"; do
    [ "$situation" != startup ] || continue
    for label in "${labels[@]}"; do
        printf '  %-6s %-7s %s\n' "$situation" "$label" "${summary[$situation/$label]}"
    done
done
echo
echo "timed runs ${timed_seconds} s, all $(seconds_since "$started") s; every run's output and figures: $work/<build>/, $results"
