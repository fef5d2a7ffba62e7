// The sheet's CSV read back by LibreOffice Calc (Debian's, headless) with
// the import options the README tells a user to choose: every number a
// number, every text (TOOLIDs a spreadsheet would take for numbers, dates
// or formulas among them) the text it was, Cyrillic right.  Calc writes
// what it read as a flat OpenDocument spreadsheet, whose cells say their type.
//
//   node csv_test.js CLI SOURCE_DIR OUT_DIR SOFFICE
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const [cli, source, out] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const soffice = process.argv[5];
const work = path.join(out, 'csv');
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
const examples = path.join(source, 'examples');
const env = Object.assign({}, process.env, { SOURCE_DATE_EPOCH: '1765300000' });
const run = (...args) => execFileSync(cli, args, { cwd: work, env, stdio: ['ignore', 'pipe', 'pipe'] }).toString();

// The README's choices in the Text Import dialog, as the CSV filter's
// options: separated by semicolons only, string delimiter ", character set
// Unicode (UTF-8), from row 1, standard column types, language Russian
// (decimal comma), quoted fields not formatted as text, special numbers not
// detected, (three export options), spaces not trimmed, (one export
// option), formulas evaluated.
const IMPORT = 'CSV:59,34,76,1,,1049,false,false,false,false,false,-1,true';

// TOOLIDs a spreadsheet would make numbers, dates or formulas, and plain
// ones; each with a description, in Windows-1251 as the library holds it.
const TOOLS = [
  ['0105', 'D10.50 H75.00', '10.5', '75'], ['1-2', '1,5 mm', '12', '80'], ['3/4', '3/4 inch', '19.05', '60'],
  ['12E3', 'TRUE', '6', '50'], ['-X', '@SUM(1)', '8', '70'], ['=1+1', '=HYPERLINK("x")', '8.25', '71.5'],
  ['Mar-5', 'Mar-5 end mill', '5', '40'], ['\u0424\u0440\u0435\u0437\u0430 8', '\u0424\u0440\u0435\u0437\u0430 '
  + '\u043a\u043e\u043d\u0446\u0435\u0432\u0430\u044f; D8', '8', '70'], ['EM10', 'D10.00 H75.00 END MILL', '10', '75'],
];
const cp1251 = (text) => Buffer.from(Array.from(text, (c) => {
  const u = c.charCodeAt(0);
  return u < 0x80 ? u : u === 0x401 ? 0xa8 : u === 0x451 ? 0xb8 : u - 0x350;  // А..я, Ё, ё
}));
let library = 'CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n';
for (const [id, description, d, l] of TOOLS)
  library += `TOOLID "${id}" {\r\n  UNITS MILLIMETER\r\n  DESCRIPTION "${description.replace(/"/g, '|')}"\r\n` +
             `  TOOLTYPE MILLING\r\n  CUTTER {\r\n    FLUTE_LENGTH 20\r\n    ASSEMBLY {\r\n` +
             `      CUTTER_TYPE "FLAT END"\r\n      STANDARD (${d},0,0,0,0,0,${l})\r\n    }\r\n  }\r\n}\r\n`;
fs.writeFileSync(path.join(work, 'TRICKY.tls'), cp1251(library));
console.log(run('sheet', 'TRICKY.tls', '-o', 'tricky.csv').trim());
console.log(run('sheet', path.join(examples, 'PART.json'), '--database', path.join(examples, 'database'),
                '-o', 'part.csv').trim());

// The CSV as written: its lines and fields, quotes taken off.
function csvRows(text) {
  const rows = [];
  let row = [], field = '', quoted = false;
  for (let i = text.charCodeAt(0) === 0xfeff ? 1 : 0; i < text.length; ++i) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') field += text[i++];
      else if (c === '"') quoted = false;
      else field += c;
    } else if (c === '"' && field === '') quoted = true;
    else if (c === ';') { row.push(field); field = ''; }
    else if (c === '\r' && text[i + 1] === '\n') { row.push(field); rows.push(row); row = []; field = ''; ++i; }
    else field += c;
  }
  return rows;
}

// Calc's cells of the first sheet: [type, value], type 'float', 'string' or '' (empty).
function calcRows(fods) {
  const xml = (t) => t.replace(/&quot;/g, '"').replace(/&apos;/g, "'").replace(/&lt;/g, '<').replace(/&gt;/g, '>')
    .replace(/&amp;/g, '&');
  const text = (inner) => (inner.match(/<text:p>[\s\S]*?<\/text:p>/g) || []).map((p) => xml(p
    .replace(/<text:s text:c="(\d+)"\/>/g, (m, n) => ' '.repeat(+n)).replace(/<text:s\/>/g, ' ')
    .replace(/<[^>]+>/g, ''))).join('\n');
  const table = /<table:table [\s\S]*?<\/table:table>/.exec(fods)[0];
  return (table.match(/<table:table-row[^>]*>[\s\S]*?<\/table:table-row>/g) || []).map((row) => {
    const cells = [];
    const re = /<table:table-cell([^>]*?)(?:\/>|>([\s\S]*?)<\/table:table-cell>)/g;
    let m;
    while ((m = re.exec(row))) {
      const attr = (name) => { const a = new RegExp(name + '="([^"]*)"').exec(m[1]); return a ? xml(a[1]) : null; };
      const type = attr('office:value-type') || '';
      const value = type === 'float' ? +attr('office:value') : attr('office:string-value') ?? text(m[2] || '');
      for (let k = +(attr('table:number-columns-repeated') || 1); k > 0; --k) cells.push([type, value]);
    }
    while (cells.length && cells[cells.length - 1][0] === '') cells.pop();
    return cells;
  });
}

let failures = 0;
function check(what, got, want) {
  if (JSON.stringify(got) === JSON.stringify(want)) return true;
  ++failures;
  console.log(`FAIL ${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`);
  return false;
}

const profile = 'file://' + path.join(out, 'libreoffice-profile');
const started = Date.now();
execFileSync(soffice, ['-env:UserInstallation=' + profile, '--headless', '--norestore', '--infilter=' + IMPORT,
                       '--convert-to', 'fods', '--outdir', work, path.join(work, 'tricky.csv'), path.join(work, 'part.csv')],
             { stdio: ['ignore', 'pipe', 'pipe'], timeout: 100000 });
console.log(`LibreOffice read both tables in ${((Date.now() - started) / 1000).toFixed(1)} s`);

// What each written field is meant to be: ="TEXT" the text, a number with
// a decimal comma the number, an empty field no cell, any other the text.
function meant(field) {
  if (field === '') return ['', ''];
  const formula = /^="((?:[^"]|"")*)"$/.exec(field);
  if (formula) return ['string', formula[1].replace(/""/g, '"')];
  if (/^-?\d+(,\d+)?$/.test(field)) return ['float', +field.replace(',', '.')];
  return ['string', field];
}
const NUMBERS = ['Position', 'Diameter', 'Corner radius', 'Length', 'Stick-out', 'Flute length', 'Site line'];
for (const name of ['tricky', 'part']) {
  const written = csvRows(fs.readFileSync(path.join(work, name + '.csv'), 'utf8'));
  const read = calcRows(fs.readFileSync(path.join(work, name + '.fods'), 'utf8'));
  check(`${name}: rows`, read.length, written.length);
  check(`${name}: the column names first`, read[0].slice(0, 3), [['string', 'Position'], ['string', 'Tool number'],
                                                                ['string', 'TOOLID']]);
  check(`${name}: the head last`, read[read.length - 1][0], ['string', 'kesto-tools-vericut tool sheet']);
  const columns = written[0];
  const cells = [];
  written.forEach((row, r) => row.forEach((field, c) => {
    const want = meant(field), got = read[r] && read[r][c] ? read[r][c] : ['', ''];
    if (!check(`${name}: line ${r + 1}, ${columns[c]} (written ${JSON.stringify(field)})`, got, want)) return;
    if (r > 0 && r < written.length - 1) cells.push([columns[c], got]);
  }));
  // the numbers' columns hold numbers wherever a value is given
  check(`${name}: the sizes are numbers`, cells.filter(([c, [type]]) => NUMBERS.includes(c) && type !== 'float' && type !== '')
                                              .map(([c]) => c), []);
  const toolids = cells.filter(([c]) => c === 'TOOLID').map(([, [type, value]]) => [type, value]);
  if (name === 'tricky') {
    check('tricky: every TOOLID the text it was', toolids, TOOLS.map(([id]) => ['string', id]));
    check('tricky: the descriptions, Cyrillic too', cells.filter(([c]) => c === 'Description').map(([, [, v]]) => v),
          TOOLS.map(([, description]) => description.replace(/"/g, '|')));
  } else {
    check('part: the tool numbers are numbers', cells.filter(([c]) => c === 'Tool number').map(([, [t]]) => t),
          Array(13).fill('float'));
    check('part: the catalogue number as the part holds it',
          cells.filter(([c, [, v]]) => c === 'Catalogue number' && v.startsWith('DIN')).map(([, [, v]]) => v),
          ['DIN 338 "HSS-G"']);
  }
}
console.log(failures ? `${failures} checks failed` : 'all checks passed');
process.exit(failures ? 1 : 0);
