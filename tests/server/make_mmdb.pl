#!/usr/bin/perl
# Writes a small MaxMind DB file for the tests: make_mmdb.pl OUT.mmdb < records.json
# records.json: [{"network": "81.2.69.0/24", "data": {...}}, ...] in either the
# nested or the flattened city schema.
use strict;
use warnings;
use JSON::PP;
use MaxMind::DB::Writer::Tree;

my %types = (
  location => 'map', latitude => 'double', longitude => 'double', accuracy_radius => 'uint16',
  city => 'utf8_string', names => 'map', en => 'utf8_string', country => 'map', iso_code => 'utf8_string',
  country_code => 'utf8_string', state1 => 'utf8_string', postcode => 'utf8_string',
);
my $nested = 0;
my $records = decode_json(do { local $/; <STDIN> });
for my $r (@$records) { $nested = 1 if ref $r->{data}{city} eq 'HASH'; }
$types{city} = 'map' if $nested;

my $tree = MaxMind::DB::Writer::Tree->new(
  ip_version => 4, record_size => 24, database_type => 'HopSight-Test-City',
  languages => ['en'], description => { en => 'hopsight-locd test database' },
  map_key_type_callback => sub { $types{ $_[0] } // die "no type for key $_[0]" },
);
$tree->insert_network($_->{network}, $_->{data}) for @$records;
open my $fh, '>:raw', $ARGV[0] or die "cannot write $ARGV[0]: $!";
$tree->write_tree($fh);
close $fh;
