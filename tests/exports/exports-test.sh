#!/bin/sh
# Our DLLs' exports as hosts bind them, held against the table of released exports
# (released-exports.txt) both ways: every released export at its ordinal, by name where the
# table says so, and nothing else. Read in the build tree (what our own binaries link) and in
# the tree cmake --install lays out (what ships): each DLL's export table (llvm-readobj), each
# import library of both kinds, MinGW-w64 and Visual Studio, by name and by ordinal
# (read-import-library.pl), and the installed .def files; and what our binaries import from
# one another must be released.
#   exports-test.sh <source dir> <build dir> <work dir> <llvm-readobj>
set -u
source_dir=$1
build_dir=$2
work=$3
readobj=$4
here=$source_dir/tests/exports
. "$source_dir/tests/support/test-steps.sh"

rm -rf "$work"
mkdir -p "$work"
step "cmake --install" cmake --install "$build_dir" --prefix "$work/package"

# The table's rows without comments: <dll> <ordinal> <export> <by name>.
grep -v '^#' "$here/released-exports.txt" | awk 'NF' >"$work/table.txt"
dlls=$(awk '{ print $1 }' "$work/table.txt" | sort -u)
[ -n "$dlls" ] || fail "the table of released exports is empty"

# compare <what> <expected> <found>: both sorted; shows the lines that differ.
compare() {
    sort "$2" >"$work/expected.txt"
    sort "$3" >"$work/found.txt"
    diff -U0 "$work/expected.txt" "$work/found.txt" >"$work/diff.txt" && return
    fail "$1 (- released, + found):"
    sed '1,2d; /^@@/d' "$work/diff.txt"
}

# dll_exports <dll>: <ordinal> <name>, "-" for an export by ordinal alone. lld leaves ordinal 0
# (its ordinal base) and any unused ordinal as an empty slot, which is no export.
dll_exports() {
    "$readobj" --coff-exports "$1" >"$work/coff-exports.txt" || return 1
    awk '
        /^ *Ordinal:/ { ordinal = $2 }
        /^ *Name:/ { name = $2 }
        /^ *RVA:/ { if (name != "" || $2 != "0x0") print ordinal, (name == "" ? "-" : name); name = "" }' \
        "$work/coff-exports.txt"
}

check_dll() {
    dll=$1
    path=$2
    [ -f "$path" ] || { fail "no $path"; return; }
    awk -v dll="$dll" '$1 == dll { print $2, ($4 == "yes" ? $3 : "-") }' "$work/table.txt" >"$work/released.txt"
    dll_exports "$path" >"$work/exports.txt" || { fail "$path: llvm-readobj failed"; return; }
    compare "$path: exports" "$work/released.txt" "$work/exports.txt"
}

# check_import_library <dll> <library> name|ordinal: what a host linked with it imports, each
# import with the DLL its member or the library's descriptor names. A by-name import's hint is
# not held: it is only where the loader looks first, the name is what binds.
check_import_library() {
    dll=$1
    library=$2
    [ -f "$library" ] || { fail "no $library"; return; }
    awk -v dll="$dll" -v binding="$3" '$1 == dll {
        if (binding == "name" && $4 == "yes") print "import", dll, $3, "name", $3
        else print "import", dll, $3, "ordinal", $2
    } END { print "descriptor", dll }' "$work/table.txt" >"$work/released.txt"
    perl "$here/read-import-library.pl" "$library" >"$work/read.txt" || { fail "$library: not read"; return; }
    # A member made by GNU dlltool or GNU ld names no DLL: the descriptor's is the library's.
    awk 'NR == FNR { if ($1 == "descriptor") dll = $2; next } $2 == "-" && dll != "" { $2 = dll } { print }' \
        "$work/read.txt" "$work/read.txt" >"$work/imports.txt"
    compare "$library: imports" "$work/released.txt" "$work/imports.txt"
}

# check_def <dll> <def file> [NONAME]: the entries of a shipped .def file, <name> @<ordinal>
# [NONAME]; the by-ordinal copy marks every entry NONAME.
check_def() {
    dll=$1
    def=$2
    [ -f "$def" ] || { fail "no $def"; return; }
    awk -v dll="$dll" -v noname="${3:-}" '$1 == dll {
        print $3, "@" $2 (noname != "" || $4 != "yes" ? " NONAME" : "")
    }' "$work/table.txt" >"$work/released.txt"
    awk '/^EXPORTS/ { exports = 1; next } exports && NF && $1 !~ /^;/ { print }' "$def" |
        sed 's/[ \t][ \t]*/ /g; s/^ //; s/ $//' >"$work/entries.txt"
    compare "$def: entries" "$work/released.txt" "$work/entries.txt"
}

# check_imports_of <binary>: each import from a DLL of the table is one of its released
# exports, by name if the table exports it by name, else by its ordinal.
check_imports_of() {
    "$readobj" --coff-imports "$1" >"$work/coff-imports.txt" || { fail "$1: llvm-readobj failed"; return; }
    awk '
        NR == FNR { ours[$1] = 1; ordinal[$1 " " $2] = 1; if ($4 == "yes") named[$1 " " $3] = 1; next }
        /^ *Name:/ { dll = $2; next }
        /^ *Symbol:/ && (dll in ours) {
            if ($2 !~ /^\(/) { if (!((dll " " $2) in named)) print dll, $2; next }
            gsub(/[()]/, "", $2)
            if (!((dll " " $2) in ordinal)) print dll, "ordinal", $2
        }' "$work/table.txt" "$work/coff-imports.txt" >"$work/unreleased.txt"
    [ ! -s "$work/unreleased.txt" ] || fail "$1 imports what is not released: $(tr '\n' ' ' <"$work/unreleased.txt")"
}

for tree in "$build_dir" "$work/package"; do
    for dll in $dlls; do
        name=${dll%.dll}
        check_dll "$dll" "$tree/bin/$dll"
        check_import_library "$dll" "$tree/lib/lib$name.dll.a" name
        check_import_library "$dll" "$tree/lib/msvc/$name.lib" name
        # KestMyCert's binding, and a host's that imports KestCommon as KestMyCert does.
        if [ "$dll" = KestCommon.dll ]; then
            check_import_library "$dll" "$tree/lib/lib${name}ByOrdinal.a" ordinal
            check_import_library "$dll" "$tree/lib/msvc/${name}ByOrdinal.lib" ordinal
        fi
        check_imports_of "$tree/bin/$dll"
    done
    check_imports_of "$tree/bin/kesttool.exe"
done
for dll in $dlls; do
    check_def "$dll" "$work/package/lib/${dll%.dll}.def"
done
check_def KestCommon.dll "$work/package/lib/KestCommonByOrdinal.def" NONAME

[ "$failures" -eq 0 ] || exit 1
echo "every DLL, import library and .def file holds the released exports and no other"
