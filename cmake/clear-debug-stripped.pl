#!/usr/bin/perl
# Clears IMAGE_FILE_DEBUG_STRIPPED (0x0200) in the PE file header of each binary given. GNU strip
# sets it, and it says that the debug information went to a .DBG file: a debugger that reads
# it (Wine's dbghelp does) looks for that file and never for the PDB the debug directory names.
#   clear-debug-stripped.pl <binary>...
use strict;
use warnings;

for my $path (@ARGV) {
    open my $file, '+<:raw', $path or die "clear-debug-stripped.pl: $path: $!\n";
    my $header;
    seek $file, 0x3c, 0 and read($file, $header, 4) == 4 or die "clear-debug-stripped.pl: $path: no DOS header\n";
    my $pe = unpack 'V', $header;
    seek $file, $pe, 0 and read($file, $header, 24) == 24 or die "clear-debug-stripped.pl: $path: no PE header\n";
    die "clear-debug-stripped.pl: $path: not a PE file\n" unless substr($header, 0, 4) eq "PE\0\0";
    my $characteristics = unpack 'v', substr($header, 22, 2);
    seek $file, $pe + 22, 0 or die;
    print $file pack('v', $characteristics & ~0x0200) or die "clear-debug-stripped.pl: $path: $!\n";
    close $file or die "clear-debug-stripped.pl: $path: $!\n";
}
