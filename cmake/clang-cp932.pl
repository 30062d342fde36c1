#!/usr/bin/perl
# Compiler launcher of the clang build (KestTargets.cmake): the system's texts are Shift_JIS
# (code page 932) in the binaries, and clang, which has no -fexec-charset but UTF-8, would write
# the narrow string literals of our UTF-8 sources as UTF-8. So each compile is done in two steps:
# the source is preprocessed as given (dependency file and all), every non-ASCII character of an
# ordinary narrow string literal is written as the octal escapes of its code page 932 bytes
# (u8, u, U and L literals are left alone), and the result is compiled. Line markers keep the
# source names and lines, for __FILE__, the warnings and the PDB. A character that code page 932
# lacks fails the compile.
#   clang-cp932.pl [<launcher>...] <compiler> <arguments>
use strict;
use warnings;
use Encode qw(encode decode FB_CROAK);

my @command = @ARGV;
my ($source_at, $output_at);
for my $i (0 .. $#command - 1) {
    $source_at = $i + 1 if $command[$i] eq '-c';
    $output_at = $i + 1 if $command[$i] eq '-o';
}
# Not a compile of one source into an object (a link, a version query): as it is.
exec @command or die "clang-cp932.pl: cannot run $command[0]: $!\n" unless defined $source_at && defined $output_at;

my $source = $command[$source_at];
my $object = $command[$output_at];
my $language = $source =~ /\.c$/ ? 'c-cpp-output' : 'c++-cpp-output';
my $preprocessed = "$object.utf8.i";
my $converted = "$object.cp932.i";

my @preprocess = @command;
$preprocess[$source_at - 1] = '-E';
$preprocess[$output_at] = $preprocessed;
system(@preprocess) == 0 or exit(($? >> 8) || 1);

sub escaped {
    my ($literal) = @_;
    $literal =~ s{([\x80-\xff]+)}{
        my $text = decode('UTF-8', "$1", FB_CROAK);
        join '', map { sprintf '\\%03o', ord } split //, encode('cp932', $text, FB_CROAK)
    }ge;
    return $literal;
}

# The build's path maps (-ffile-prefix-map, KestReproducible.cmake), applied to the line markers
# here, longest first: the compile of the converted text is then given no path of this machine,
# as the PDB records its command line.
my @maps;
for my $argument (@command) {
    push @maps, [$1, $2] if $argument =~ /^-f(?:file|debug)-prefix-map=([^=]+)=(.*)$/;
}
@maps = sort { length($b->[0]) <=> length($a->[0]) } @maps;
sub mapped {
    my ($path) = @_;
    for my $map (@maps) {
        my ($from, $to) = @$map;
        return $to . substr($path, length $from) if $path eq $from || index($path, "$from/") == 0;
    }
    return $path;
}

open my $in, '<:raw', $preprocessed or die "clang-cp932.pl: $preprocessed: $!\n";
open my $out, '>:raw', $converted or die "clang-cp932.pl: $converted: $!\n";
while (my $line = <$in>) {
    if ($line =~ /^#(?:line)? \d+ "/) {
        $line =~ s{^(#(?:line)? \d+ ")([^"]*)"}{$1 . mapped($2) . '"'}e;
    } elsif ($line =~ /[\x80-\xff]/ && $line !~ /^#/) {
        # Raw strings, character literals and prefixed literals are passed over whole; an
        # ordinary literal gets its escapes.
        $line =~ s{((?:u8|u|U|L)?R"([^()\\\s]{0,16})\(.*?\)\2")
                  |((?<![0-9A-Za-z_])(?:u8|u|U|L)?'(?:[^'\\\n]|\\.)*')
                  |((?:u8|u|U|L)"(?:[^"\\\n]|\\.)*")
                  |((?<![0-9A-Za-z_])"(?:[^"\\\n]|\\.)*")}
                  {defined $1 ? $1 : defined $3 ? $3 : defined $4 ? $4 : escaped($5)}gex;
    }
    print $out $line;
}
close $out or die "clang-cp932.pl: $converted: $!\n";
unlink $preprocessed;

# The compile of the converted text: no dependency file (the first step wrote it), no arguments
# of the preprocessor's (include folders, definitions, path maps), and the current folder "."
# for the debug information.
my @compile;
for (my $i = 0; $i <= $#command; ++$i) {
    my $argument = $command[$i];
    if ($argument =~ /^-(MF|MT|MQ|isystem|iquote|idirafter|include|I|D|U)$/) { ++$i; next; }
    next if $argument =~ /^-(MD|MMD)$/ || $argument =~ /^-[IDU]./ || $argument =~ /^-f(file|debug|macro)-prefix-map=/;
    if ($i == $source_at) { push @compile, '-x', $language, $converted; next; }
    push @compile, $argument;
}
push @compile, '-Wno-unused-command-line-argument', '-ffile-compilation-dir=.';
my $status = system(@compile);
unlink $converted;
exit($status == 0 ? 0 : (($status >> 8) || 1));
