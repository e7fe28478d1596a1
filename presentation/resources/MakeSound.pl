#!/usr/bin/perl
# Writes the saver's "MusicSound": a short two-note chime, computed here so that no recording
# needs to live in the repository. The preview plays it once after the picture appears.
#
# Format (what the resource must be): RIFF WAVE, uncompressed PCM, one channel, 11,025 samples
# a second, 16 bits a sample, exactly 30,142 bytes of sample data (15,071 samples, ~1.37 s).
#
# Usage: perl MakeSound.pl OUTPUT.wav
use strict;
use warnings;

my $out = shift or die "usage: MakeSound.pl OUTPUT.wav\n";
my $rate = 11025;
my $samples = 15071;
my $pi = 4 * atan2(1, 1);

# Each note: start (s), fundamental (Hz); a bell's partials at 1, 2 and 3 times the fundamental,
# the higher ones fading faster.
my @notes = ([0.00, 1046.50], [0.30, 783.99]);
my @partials = ([1.0, 1.0, 0.45], [2.0, 0.35, 0.25], [3.0, 0.12, 0.15]);  # ratio, level, decay

my $data = '';
for my $n (0 .. $samples - 1) {
    my $t = $n / $rate;
    my $value = 0;
    for my $note (@notes) {
        my ($start, $freq) = @$note;
        my $u = $t - $start;
        next if $u < 0;
        my $attack = $u < 0.004 ? $u / 0.004 : 1;
        for my $p (@partials) {
            my ($ratio, $level, $decay) = @$p;
            $value += $attack * $level * exp(-$u / $decay) * sin(2 * $pi * $freq * $ratio * $u);
        }
    }
    # The last 60 ms fade to silence, so the sound ends without a click.
    my $left = ($samples - 1 - $n) / $rate;
    $value *= $left / 0.06 if $left < 0.06;
    my $sample = int($value * 0.42 * 32767);
    $sample = 32767 if $sample > 32767;
    $sample = -32768 if $sample < -32768;
    $data .= pack('s<', $sample);
}

my $fmt = pack('v v V V v v', 1, 1, $rate, $rate * 2, 2, 16);
my $wave = 'WAVE' . 'fmt ' . pack('V', length $fmt) . $fmt . 'data' . pack('V', length $data) . $data;
open(my $fh, '>:raw', $out) or die "cannot write $out: $!\n";
print $fh 'RIFF' . pack('V', length $wave) . $wave;
close($fh) or die "cannot write $out: $!\n";
