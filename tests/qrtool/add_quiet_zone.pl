#!/usr/bin/perl
# zbarimg wants the quiet zone around a symbol that Codeplate leaves out:
# copies a 24-bit BMP onto a white canvas with a margin, as a PPM file.
#   add_quiet_zone.pl IN.bmp OUT.ppm [MARGIN_PIXELS]
use strict;
use warnings;

my ($in, $out, $margin) = @ARGV;
$margin //= 40;
open my $f, "<:raw", $in or die "$in: $!";
my $bmp = do { local $/; <$f> };
my $offset = unpack "V", substr($bmp, 10, 4);
my ($width, $height) = unpack "l<l<", substr($bmp, 18, 8);
my $top_down = $height < 0;
$height = abs $height;
my $stride = int((3 * $width + 3) / 4) * 4;
my $side = "\xff" x (3 * $margin);
my $blank = "\xff" x (3 * ($width + 2 * $margin));
open my $o, ">:raw", $out or die "$out: $!";
print $o "P6\n", $width + 2 * $margin, " ", $height + 2 * $margin, "\n255\n";
print $o $blank x $margin;
for my $row (0 .. $height - 1) {
  my $stored = $top_down ? $row : $height - 1 - $row;
  my $pixels = substr($bmp, $offset + $stored * $stride, 3 * $width);
  $pixels =~ s/(.)(.)(.)/$3$2$1/gs;
  print $o $side, $pixels, $side;
}
print $o $blank x $margin;
