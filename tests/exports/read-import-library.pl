#!/usr/bin/perl
# Prints what an import library makes a linker import, one line per imported function:
#   import <dll> <symbol> name <import name>     bound by name
#   import <dll> <symbol> ordinal <ordinal>     bound by ordinal
#   descriptor <dll>                             the DLL an import descriptor names
# <symbol> is what the host's code calls (the library's __imp_<symbol>), <dll> is "-" where the
# member leaves it to the library's descriptor. Reads both kinds of member: the short import
# objects of lld and llvm-dlltool (Microsoft's PE format, "Import Library Format"), and the COFF
# objects of GNU dlltool and GNU ld, whose .idata$5 entry holds the ordinal with bit 63 set or
# is relocated to a hint and name.
#   read-import-library.pl <library>
use strict;
use warnings;

my $path = shift or die "usage: read-import-library.pl <library>\n";
open my $file, '<:raw', $path or die "read-import-library.pl: $path: $!\n";
my $archive = do { local $/; <$file> };
close $file;
die "read-import-library.pl: $path: not an archive\n" unless substr($archive, 0, 8) eq "!<arch>\n";

my @lines;
my %dllNameOf;    # symbol defined on a DLL name (GNU dlltool's _iname) => that name
my @descriptorTargets;

sub cString { my ($bytes, $offset) = @_; return unpack 'Z*', substr($bytes, $offset); }

sub readShortImport {
    my ($member) = @_;
    my ($hint, $types) = unpack 'v v', substr($member, 16, 4);
    my ($symbol, $dll) = unpack 'Z* Z*', substr($member, 20);
    my $nameType = ($types >> 2) & 7;
    if ($nameType == 0) {
        push @lines, "import $dll $symbol ordinal $hint";
        return;
    }
    my $name = $symbol;
    # IMPORT_OBJECT_NAME_NOPREFIX and _UNDECORATE drop a leading ?, @ or _; the latter also what
    # follows the first @.
    $name =~ s/^[?@_]// if $nameType == 2 || $nameType == 3;
    $name =~ s/@.*$// if $nameType == 3;
    $name = unpack 'Z*', substr($member, 20 + length($symbol) + length($dll) + 2) if $nameType == 4;
    push @lines, "import $dll $symbol name $name";
}

sub readObject {
    my ($member) = @_;
    my ($sectionCount, $symbolTable, $symbolCount, $optionalSize) = unpack 'x2 v x4 V V v', $member;
    my @sections;
    for my $index (0 .. $sectionCount - 1) {
        my ($name, $size, $data, $relocations, $relocationCount) =
            unpack 'a8 x8 V V V x4 v', substr($member, 20 + $optionalSize + 40 * $index, 40);
        $name =~ s/\0+$//;
        my %relocated;    # offset in the section => symbol index
        for my $r (0 .. $relocationCount - 1) {
            my ($at, $target) = unpack 'V V', substr($member, $relocations + 10 * $r, 10);
            $relocated{$at} = $target;
        }
        push @sections, {name => $name, bytes => substr($member, $data, $size), relocated => \%relocated};
    }
    my $strings = $symbolTable + 18 * $symbolCount;
    my @symbols;
    for (my $index = 0; $index < $symbolCount; ++$index) {
        my $entry = substr($member, $symbolTable + 18 * $index, 18);
        my ($short, $value, $section, $class, $aux) = unpack 'a8 V s< x2 C C', $entry;
        my $name = substr($short, 0, 4) eq "\0\0\0\0" ? cString($member, $strings + unpack('x4 V', $short)) : $short;
        $name =~ s/\0+$//;
        $symbols[$index] = {name => $name, value => $value, section => $section, class => $class};
        $index += $aux;
    }
    # Where a relocation at `offset` of `section` points: [section, offset] in this member, or the
    # name of a symbol that another member defines.
    my $target = sub {
        my ($section, $offset, $size) = @_;
        my $index = $section->{relocated}{$offset};
        return undef unless defined $index;
        my $symbol = $symbols[$index];
        return $symbol->{name} if $symbol->{section} <= 0;
        my $addend = unpack $size == 8 ? 'Q<' : 'V', substr($section->{bytes}, $offset, $size);
        return [$sections[$symbol->{section} - 1], $symbol->{value} + $addend];
    };
    for my $symbol (@symbols) {
        next unless defined $symbol && $symbol->{section} > 0 && $symbol->{class} == 2;    # external
        my $section = $sections[$symbol->{section} - 1];
        if ($section->{name} eq '.idata$7' && $section->{bytes} =~ /\.dll\0/i) {
            $dllNameOf{$symbol->{name}} = cString($section->{bytes}, $symbol->{value});
        }
        next unless $symbol->{name} =~ /^__imp_(.+)$/;
        my $called = $1;
        my $entry = unpack 'Q<', substr($section->{bytes}, $symbol->{value}, 8);
        if ($entry & (1 << 63)) {
            push @lines, sprintf 'import - %s ordinal %d', $called, $entry & 0xffff;
            next;
        }
        my $hintName = $target->($section, $symbol->{value}, 4);
        die "read-import-library.pl: $path: $called: no hint and name in its member\n" unless ref $hintName;
        push @lines, "import - $called name " . cString($hintName->[0]{bytes}, $hintName->[1] + 2);
    }
    # An import descriptor's Name field (offset 12) is relocated to the DLL's name.
    for my $section (grep { $_->{name} eq '.idata$2' } @sections) {
        my $name = $target->($section, 12, 4);
        push @descriptorTargets, $name if defined $name;
    }
}

my $at = 8;
while ($at + 60 <= length $archive) {
    my ($name, $size) = unpack 'A16 x32 A10', substr($archive, $at, 60);
    my $member = substr($archive, $at + 60, $size);
    $at += 60 + $size + ($size & 1);
    next if $name eq '/' || $name eq '//' || $name eq '/SYM64/';    # symbol and long-name tables
    my ($signature1, $signature2) = unpack 'v v', $member;
    if ($signature1 == 0 && $signature2 == 0xffff) {
        readShortImport($member);
    } else {
        readObject($member);
    }
}
for my $name (@descriptorTargets) {
    my $dll = ref $name ? cString($name->[0]{bytes}, $name->[1]) : $dllNameOf{$name};
    die "read-import-library.pl: $path: an import descriptor names no DLL\n" unless defined $dll;
    push @lines, "descriptor $dll";
}
print "$_\n" for @lines;
