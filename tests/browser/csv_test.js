// The sheet's CSV read back by LibreOffice Calc (headless) with the import
// options the guide tells a user to choose: each field as meant (="TEXT"
// the text, a number with a decimal comma the number, any other field the
// text), so every TOOLID the text it was, Cyrillic right.  Calc writes what
// it read as a flat OpenDocument spreadsheet, whose cells say their type.
//
//   node csv_test.js CLI SOURCE_DIR OUT_DIR SOFFICE
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const [cli, source, out] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const work = path.join(out, 'csv');
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
const run = (...args) => console.log(execFileSync(cli, args, { cwd: work, stdio: ['ignore', 'pipe', 'pipe'] }).toString().trim());

// TOOLIDs a spreadsheet would take for numbers, dates or formulas, a
// Cyrillic one; the library in Windows-1251 (А..я, as the plug-in writes).
const TOOLS = [['0105', 'D10.50', 10.5], ['1-2', '1,5 mm', 12], ['3/4', '3/4 inch', 19.05], ['12E3', 'TRUE', 6],
  ['-X', '@SUM(1)', 8], ['=1+1', '=HYPERLINK(1)', 8.25], ['Mar-5', 'Mar-5 end mill', 5], ['EM10', 'END MILL', 10],
  ['\u0424\u0440\u0435\u0437\u0430 8', '\u0424\u0440\u0435\u0437\u0430 \u043a\u043e\u043d\u0446\u0435\u0432\u0430\u044f; D8', 8]];
const library = 'CGTECH Tool Library File\r\nVersion-5.2\r\n\r\n' + TOOLS.map(([id, description, d]) =>
  `TOOLID "${id}" {\r\n  UNITS MILLIMETER\r\n  DESCRIPTION "${description}"\r\n  TOOLTYPE MILLING\r\n  CUTTER {\r\n` +
  `    FLUTE_LENGTH 20\r\n    ASSEMBLY {\r\n      CUTTER_TYPE "FLAT END"\r\n      STANDARD (${d},0,0,0,0,0,75.5)\r\n` +
  '    }\r\n  }\r\n}\r\n').join('');
const cp1251 = (c) => c.charCodeAt(0) < 0x80 ? c.charCodeAt(0) : c.charCodeAt(0) - 0x350;
fs.writeFileSync(path.join(work, 'TRICKY.tls'), Buffer.from(Array.from(library, cp1251)));
run('sheet', 'TRICKY.tls', '-o', 'tricky.csv');
run('sheet', path.join(source, 'examples', 'PART.json'), '--database', path.join(source, 'examples', 'database'), '-o', 'part.csv');

// The guide's choices in the Text Import dialog as the CSV filter's options:
// semicolons, ", UTF-8, from row 1, standard types, Russian, quoted fields
// not as text, no special numbers, (export options), no trimming, (an export
// option), formulas evaluated.
execFileSync(process.argv[5], ['-env:UserInstallation=file://' + path.join(out, 'libreoffice-profile'), '--headless',
  '--infilter=CSV:59,34,76,1,,1049,false,false,false,false,false,-1,true', '--convert-to', 'fods', '--outdir', work,
  path.join(work, 'tricky.csv'), path.join(work, 'part.csv')], { stdio: ['ignore', 'pipe', 'pipe'], timeout: 100000 });

let failures = 0;
const xml = (t) => t.replace(/&quot;/g, '"').replace(/&apos;/g, "'").replace(/&lt;/g, '<').replace(/&gt;/g, '>')
  .replace(/&amp;/g, '&');
for (const name of ['tricky', 'part']) {
  // the CSV as written, fields unquoted; each as meant
  const rows = [];
  fs.readFileSync(path.join(work, name + '.csv'), 'utf8').slice(1).replace(/((?:[^;"\r]|"(?:[^"]|"")*")*)(;|\r\n)/g,
    (m, field, end) => {
      if (!rows.length || rows[rows.length - 1].done) rows.push([]);
      const row = rows[rows.length - 1];
      row.push(/^".*"$/s.test(field) ? field.slice(1, -1).replace(/""/g, '"') : field);
      row.done = end !== ';';
    });
  const meant = (f) => f === '' ? ['', ''] : /^="(.*)"$/s.test(f) ? ['string', f.slice(2, -1).replace(/""/g, '"')]
    : /^-?\d+(,\d+)?$/.test(f) ? ['float', +f.replace(',', '.')] : ['string', f];
  // Calc's cells: [type, value]
  const fods = fs.readFileSync(path.join(work, name + '.fods'), 'utf8');
  const read = fods.match(/<table:table-row[^>]*>[\s\S]*?<\/table:table-row>/g).map((row) => [].concat(...Array.from(
    row.matchAll(/<table:table-cell([^>]*?)(?:\/>|>([\s\S]*?)<\/table:table-cell>)/g), ([, a, inner]) => {
      const attr = (n) => (new RegExp(n + '="([^"]*)"').exec(a) || [])[1];
      const type = attr('office:value-type') || '';
      const value = type === 'float' ? +attr('office:value') : xml(attr('office:string-value') ?? ((inner || '')
        .match(/<text:p>[\s\S]*?<\/text:p>/g) || []).map((p) => p.replace(/<text:s\/>/g, ' ').replace(/<[^>]+>/g, '')).join('\n'));
      return Array(+(attr('table:number-columns-repeated') || 1)).fill([type, value]);
    })));
  rows.forEach((row, r) => row.forEach((field, c) => {
    const got = JSON.stringify((read[r] || [])[c] || ['', '']), want = JSON.stringify(meant(field));
    if (got !== want) console.log(`FAIL ${name}: line ${r + 1}, ${rows[0][c]} (written ${field}): got ${got}, want ${want}`);
    failures += got !== want;
  }));
  const column = (title) => rows.slice(1, -1).map((row) => meant(row[rows[0].indexOf(title)]));
  // the TOOLIDs and descriptions as the library has them; the part's tool numbers numbers
  const want = name === 'tricky' ? [['TOOLID', TOOLS.map(([id]) => ['string', id])],
    ['Description', TOOLS.map(([, d]) => ['string', d])]]
    : [['Tool number', [1, 2, 3, 13, 4, 5, 6, 7, 8, 9, 10, 11, 12].map((n) => ['float', n])]];
  for (const [title, values] of want) {
    const ok = JSON.stringify(column(title)) === JSON.stringify(values);
    if (!ok) console.log(`FAIL ${name}: ${title}: got ${JSON.stringify(column(title))}, want ${JSON.stringify(values)}`);
    failures += !ok;
  }
  console.log(`${name}.csv: ${rows.length} lines of ${rows[0].length} columns read by LibreOffice Calc`);
}
console.log(failures ? `${failures} checks failed` : 'all checks passed');
process.exit(failures ? 1 : 0);
