#!/bin/sh
# Fails on any clang-tidy finding (the tree's .clang-tidy) in the DLLs, their runtime units
# (internal/), the KestIni stand-in, support/, the host tool and the benchmark; the tests are
# left out. Takes the build folder whose compile_commands.json names the sources
# (CMAKE_EXPORT_COMPILE_COMMANDS=ON), from GCC or clang.
# Runs one clang-tidy per source, on every core unless CLANG_TIDY_JOBS says otherwise.
# Usage: scripts/check-tidy.sh <build folder> [<source>...]   (sources: only these, from the tree's root)
set -eu
[ $# -ge 1 ] || { echo "usage: $0 <build folder> [<source>...]" >&2; exit 2; }
build=$(cd "$1" && pwd)
shift
cd "$(dirname "$0")/.."
source=$(pwd)
[ -f "$build/compile_commands.json" ] || {
    echo "check-tidy.sh: no $build/compile_commands.json (configure with -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)" >&2
    exit 2
}
tidy=${CLANG_TIDY:-clang-tidy}
# A missing clang-tidy would leave every source's output without a finding. python3 comes with
# Debian's clang-tidy.
command -v "$tidy" >/dev/null || { echo "check-tidy.sh: no $tidy (scripts/setup.sh installs it)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# clang reads a GCC command with GCC's own headers in place of the host's, with clang's builtin
# headers (GCC's intrinsics are its own), and without CP932 as the execution character set,
# which clang does not have. A clang command stays as it is.
python3 - "$build/compile_commands.json" "$source" "$work" "$@" <<'PY'
import json, os, re, shlex, subprocess, sys

database, source, work = sys.argv[1:4]
only = {os.path.normpath(os.path.join(source, path)) for path in sys.argv[4:]}
folders = ("log", "KestErr", "KestCommon", "KestMyCert", "internal", "standin", "support", "tools/KestTool", "bench")
gcc_headers = {}


def gcc_include_dirs(compiler, language):
    key = (compiler, language)
    if key not in gcc_headers:
        run = subprocess.run([compiler, "-x", language, "-E", "-v", "-"], input="", capture_output=True, text=True)
        lines = run.stderr.splitlines()
        start = lines.index("#include <...> search starts here:") + 1
        dirs = [os.path.normpath(line.strip()) for line in lines[start:lines.index("End of search list.")]]
        # GCC's own builtin headers (include, include-fixed) give way to clang's.
        gcc_headers[key] = [d for d in dirs if not re.search(r"/lib/gcc/[^/]+/[^/]+/include(-fixed)?$", d)]
    return gcc_headers[key]


entries = []
seen = set()
for entry in json.load(open(database)):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    if not any(path.startswith(os.path.join(source, folder) + os.sep) for folder in folders):
        continue
    # The runtime units are compiled into every binary: each source is read once.
    if path in seen:
        continue
    seen.add(path)
    if only and path not in only:
        continue
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    compiler = os.path.basename(args[0])
    match = re.match(r"(.*)-(gcc|g\+\+)(-[^/]*)?$", compiler)
    if match:
        cxx = match.group(2) == "g++"
        rest = [a for a in args[1:] if not a.startswith("-fexec-charset=")]
        headers = gcc_include_dirs(args[0], "c++" if cxx else "c")
        args = ["clang++" if cxx else "clang", "--target=" + match.group(1), "-nostdlibinc"]
        args += [flag for d in headers for flag in ("-isystem", d)] + rest
    entries.append({"directory": entry["directory"], "file": path, "arguments": args})
json.dump(entries, open(os.path.join(work, "compile_commands.json"), "w"), indent=1)
with open(os.path.join(work, "files"), "w") as files:
    files.write("".join(e["file"] + "\n" for e in entries))
PY

count=$(wc -l <"$work/files")
[ "$count" -gt 0 ] || { echo "check-tidy.sh: no source of ours in $build/compile_commands.json" >&2; exit 2; }
mkdir "$work/out"
# Each source writes its findings to a file of its own, so that parallel runs do not mix lines;
# a clang-tidy that fails (it does for a source that does not compile, or when it crashes) is a
# finding too.
tr '\n' '\0' <"$work/files" | xargs -0 -P "${CLANG_TIDY_JOBS:-$(nproc)}" -I{} sh -c \
    'out="$2/out/$(echo "$3" | tr / _).txt"
     "$1" -p "$2" --quiet "$3" >"$out" 2>&1 || echo "error: clang-tidy failed on $3 [clang-tidy]" >>"$out"' \
    sh "$tidy" "$work" {}
# A header's finding is reported by every source that includes it: count each once.
cat "$work/out"/*.txt | grep -E '^([^ ].*:[0-9]+:[0-9]+: )?(warning|error):' | sort -u >"$work/findings" || true
findings=$(wc -l <"$work/findings")
if [ "$findings" -ne 0 ]; then
    cat "$work/out"/*.txt
    echo "check-tidy.sh: $findings findings in $count sources:" >&2
    sed -E 's/.*\[([^]]+)\]$/\1/' "$work/findings" | sort | uniq -c | sort -rn >&2
    exit 1
fi
echo "check-tidy.sh: no findings in $count sources"
