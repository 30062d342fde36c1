# Sourced by the Wine runners and scripts/setup.sh: whether programs here can take the locale
# ja_JP.UTF-8. Without it Wine still gives Windows code page 932, but turns every non-ASCII
# command-line argument and Unix file name into ASCII, so nothing fails loudly.
#
# The test is a load, not the list of `locale -a`, which also names the locale archive's entries
# when LOCPATH hides them from programs. glibc takes ja_JP.UTF-8 for ja_JP.utf8 as generated.
kest_has_japanese_locale() {
    [ "$(LC_ALL=ja_JP.UTF-8 locale charmap 2>/dev/null)" = UTF-8 ]
}

# Ends the calling script (exit status 125) unless the locale is there.
kest_require_japanese_locale() {
    kest_has_japanese_locale && return 0
    echo "$1: the locale ja_JP.UTF-8 is missing (locale -a lacks it, or LOCPATH hides it), so Wine" >&2
    echo "$1: would pass Japanese arguments and file names as ASCII; scripts/setup.sh generates it" >&2
    exit 125
}
