// The tool sheet and the catalogue in a real browser (headless Chromium):
// pages made by the command-line tool from the examples, then driven as a
// user would: a fragment set, a search typed, the count and the rows in
// view checked; the sheet printed to PDF and its pages checked.  Screenshots
// are kept in the build folder.
//
//   node pages_test.js CLI SOURCE_DIR OUT_DIR
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { Browser } = require('./cdp.js');

const [cli, source, out] = process.argv.slice(2).map((p) => path.resolve(p));
const work = path.join(out, 'browser');
const shots = path.join(out, 'screenshots');
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
const examples = path.join(source, 'examples');
const env = Object.assign({}, process.env, { SOURCE_DATE_EPOCH: '1765300000' });
const run = (...args) => execFileSync(cli, args, { cwd: work, env, stdio: ['ignore', 'pipe', 'pipe'] }).toString();

// A database of the examples' and SITE.tls: same geometry under two TOOLIDs
// twice (BALL8, DRILL_8.5), one TOOLID of two geometries (BN16_R2), one
// damaged library left out.
const db = path.join(work, 'db');
fs.cpSync(path.join(examples, 'database'), db, { recursive: true });
fs.copyFileSync(path.join(examples, 'SITE.tls'), path.join(db, 'SITE.tls'));
// A library long enough for several printed pages: SITE.tls five times over.
const site = fs.readFileSync(path.join(examples, 'SITE.tls'), 'latin1');
const at = site.indexOf('TOOLID');
let long = site.slice(0, at);
for (let k = 1; k <= 5; ++k) long += site.slice(at).replace(/TOOLID "([^"]*)"/g, `TOOLID "$1-${k}"`);
fs.writeFileSync(path.join(work, 'LONG.tls'), long, 'latin1');

// Sheets: what the command is given, the rows, some cells (by TOOLID:
// column header -> text) and the printed pages.
const SHEETS = [
  { name: 'part', args: [path.join(examples, 'PART.json'), '--database', path.join(examples, 'database')],
    file: 'demo_bracket_rev2.html', rows: 13, first: ['EM10_FLAT', 'BN16_R2', 'BALL8'],
    cells: { BN16_R2: { Tool: '2', 'In the database': 'differs', Flutes: '3', Length: '100' },
             BALL8: { 'In the database': 'renamed', Kind: 'ball' },
             EM12: { Tool: '13', 'In the database': 'not in the database' },
             EM10_FLAT: { 'Catalogue number': 'CAT-EM10', Holder: 'D40 x 50; D30-34.01338 x 20' },
             'DRILL_8.5 |HSS|': { 'Catalogue number': 'DIN 338 |HSS-G|', Kind: 'drill' },
             OD_TURN_80: { Kind: 'turning', Drawing: 'nothing to draw' } },
    head: 'Tool sheet: demo_bracket_rev2', pages: [1, 3], screenshot: 'sheet-part.png' },
  { name: 'library', args: [path.join(examples, 'SITE.tls'), '-o', 'site.html'], file: 'site.html', rows: 12,
    first: ['EM10_FLAT', 'BN16_R2'], cells: { BN16_R2: { Tool: '', Length: '90', R: '2' },
                                             BARREL_20: { Kind: 'barrel', D: '20' } },
    noColumn: 'In the database', head: 'Tool sheet: SITE', pages: [1, 2] },
  { name: 'long', args: ['LONG.tls'], file: 'LONG.html', rows: 60, first: ['EM10_FLAT-1', 'BN16_R2-1'],
    cells: { 'T_SLOT_30-5': { Kind: 'T-cutter' } }, head: 'Tool sheet: LONG', pages: [3, 12] },
];

// Catalogue views: the fragment, what is typed into the search box after,
// the count (and groups), and the TOOLIDs in view (all of them, in order)
// or the first.
const ALL = 16;
const CATALOG = [
  { fragment: '', count: ALL },
  { fragment: 'q=ball', count: 3, rows: ['BALL8', 'TAPER_6DEG', 'SITE-BALL8'] },
  { fragment: 'q=BALL', count: 3 },
  { fragment: 'kind=drill', count: 3, rows: ['DRILL_8.5 |HSS|', 'CENTER_DRILL_6', 'DIN338-8.5'] },
  { fragment: 'kind=t-cutter', count: 2, rows: ['T_SLOT_30', 'T_FULLRAD_30'] },
  { fragment: 'kind=ball&d=8-8', count: 2, rows: ['BALL8', 'SITE-BALL8'] },
  { fragment: 'd=8-10', count: 6 },
  { fragment: 'd=25-', count: 2, rows: ['T_SLOT_30', 'T_FULLRAD_30'] },
  { fragment: 'l=-70', count: 6 },
  { fragment: 'd=10-10&l=75-75', count: 2, rows: ['EM10_FLAT', 'EM10'] },
  { fragment: 'sort=-d', count: ALL, first: 'T_SLOT_30' },
  { fragment: 'sort=toolid', count: ALL, first: 'APT10_20' },
  { fragment: 'kind=drill&sort=-l', count: 3, rows: ['DRILL_8.5 |HSS|', 'DIN338-8.5', 'CENTER_DRILL_6'] },
  { fragment: 'group=same-geometry', groups: 2, count: 4, rows: ['BALL8', 'SITE-BALL8', 'DRILL_8.5 |HSS|', 'DIN338-8.5'] },
  { fragment: 'group=toolid-differs', groups: 1, count: 2, rows: ['BN16_R2', 'BN16_R2'] },
  { fragment: 'q=zzz', count: 0, rows: [] },
  { fragment: '', type: 'em1', count: 2, rows: ['EM10_FLAT', 'EM10'], hash: '#q=em1' },
  { fragment: 'kind=drill', type: 'din', count: 2, rows: ['DRILL_8.5 |HSS|', 'DIN338-8.5'], hash: '#q=din&kind=drill' },
  { fragment: 'group=same-geometry', type: 'ball', groups: 2, count: 2, rows: ['BALL8', 'SITE-BALL8'] },
];

let failures = 0;
function check(what, got, want) {
  const ok = JSON.stringify(got) === JSON.stringify(want);
  if (!ok) {
    ++failures;
    console.log(`FAIL ${what}: got ${JSON.stringify(got)}, want ${JSON.stringify(want)}`);
  }
  return ok;
}
// A text without blanks, line ends and hyphens, as pdftotext gives a cell
// whose text wraps.
const bare = (text) => text.replace(/[\s-]+/g, '');
function pdfPages(file) {
  const info = execFileSync('pdfinfo', [file]).toString();
  const n = +/Pages:\s+(\d+)/.exec(info)[1];
  const pages = [];
  for (let p = 1; p <= n; ++p) pages.push(bare(execFileSync('pdftotext', ['-f', p, '-l', p, file, '-']).toString()));
  return pages;
}

const SHOWN = `Array.prototype.map.call(document.querySelectorAll('#spacer [data-toolid]'), function (e) {
  return [parseFloat(e.style.top), e.getAttribute('data-toolid')]; }).sort(function (a, b) { return a[0] - b[0]; })
  .map(function (e) { return e[1]; })`;

(async () => {
  const browser = await Browser.launch();
  try {
    const page = await browser.newPage();
    for (const s of SHEETS) {
      console.log(run('sheet', ...s.args).trim());
      await page.goto('file://' + path.join(work, s.file));
      await page.until("document.body.getAttribute('data-ready') === '1'");
      const got = await page.evaluate(`(function () {
        var names = Array.prototype.map.call(document.querySelectorAll('thead tr:last-child th'), function (h) { return h.textContent; });
        var rows = Array.prototype.map.call(document.querySelectorAll('tbody tr[data-toolid]'), function (tr) {
          var cells = {};
          Array.prototype.forEach.call(tr.children, function (td, i) { cells[names[i]] = td.textContent; });
          return [tr.getAttribute('data-toolid'), cells, tr.querySelector('svg path') !== null];
        });
        return { names: names, rows: rows, head: document.querySelector('thead h1').textContent };
      })()`);
      check(`sheet ${s.name}: rows`, got.rows.length, s.rows);
      check(`sheet ${s.name}: first`, got.rows.slice(0, s.first.length).map((r) => r[0]), s.first);
      check(`sheet ${s.name}: head`, got.head, s.head);
      for (const [toolid, cells] of Object.entries(s.cells)) {
        const row = got.rows.find((r) => r[0] === toolid);
        if (!check(`sheet ${s.name}: ${toolid} present`, !!row, true)) continue;
        for (const [column, text] of Object.entries(cells))
          check(`sheet ${s.name}: ${toolid} ${column}`, row[1][column], text);
      }
      if (s.noColumn) check(`sheet ${s.name}: no column ${s.noColumn}`, got.names.includes(s.noColumn), false);
      check(`sheet ${s.name}: every tool with a cutter drawn`,
            got.rows.filter((r) => !r[2] && r[1].Kind !== 'turning').map((r) => r[0]), []);
      if (s.screenshot) await page.screenshot(path.join(shots, s.screenshot));
      const pdf = path.join(work, s.name + '.pdf');
      await page.pdf(pdf);
      const pages = pdfPages(pdf);
      check(`sheet ${s.name}: pages within ${s.pages}`, pages.length >= s.pages[0] && pages.length <= s.pages[1], true);
      check(`sheet ${s.name}: the head on every page`,
            pages.map((p, i) => p.includes(bare(s.head)) ? -1 : i + 1).filter((i) => i > 0), []);
      // a row not split: its TOOLID on one page only, its whole description on that page
      const split = got.rows.filter((r) => {
        const on = pages.filter((p) => p.includes(bare(r[0])));
        return on.length !== 1 || !on[0].includes(bare(r[1].Description));
      }).map((r) => r[0]);
      check(`sheet ${s.name}: rows on one page each`, split, []);
    }

    console.log(run('catalog', '--database', db, '-o', 'catalog.html').trim());
    const url = 'file://' + path.join(work, 'catalog.html');
    for (const c of CATALOG) {
      const name = `catalog #${c.fragment}${c.type ? ' + typed ' + c.type : ''}`;
      await page.goto(url + '#' + c.fragment);
      await page.until("document.body.getAttribute('data-ready') === '1'");
      if (c.type) await page.type('#q', c.type);
      check(`${name}: count`, await page.evaluate("document.getElementById('count').textContent"),
            `${c.count} of ${ALL} tools` + (c.groups ? ` in ${c.groups} groups` : ''));
      const shown = await page.evaluate(SHOWN);
      if (c.rows) check(`${name}: rows`, shown, c.rows);
      if (c.first) check(`${name}: first row`, shown[0], c.first);
      // the list is short enough to be in view whole
      check(`${name}: rows in view`, shown.length, c.count);
      if (c.hash) check(`${name}: fragment`, await page.evaluate('location.hash'), c.hash);
    }
    // the view of a link set after the page is open, and a search typed
    await page.goto(url);
    await page.until("document.body.getAttribute('data-ready') === '1'");
    await page.evaluate("location.hash = 'kind=drill'");
    await page.until("document.getElementById('count').textContent === '3 of 16 tools'", 3000).catch(() => {});
    check('catalog: fragment set in an open page', await page.evaluate("document.getElementById('count').textContent"),
          '3 of 16 tools');
    // A list longer than the view: only the rows in view are in the page.
    // Flung to its end, the rows going past get only their TOOLID, kind,
    // diameter and length; the rows it stops at are filled whole.
    console.log(run('catalog', '--database', 'LONG.tls', '-o', 'long.html').trim());
    await page.goto('file://' + path.join(work, 'long.html'));
    await page.until("document.body.getAttribute('data-ready') === '1'");
    const inView = await page.evaluate(SHOWN);
    check('long catalogue: fewer rows in the page than records', inView.length > 0 && inView.length < 40, true);
    const FILLED = `Array.prototype.filter.call(document.querySelectorAll('#spacer [data-toolid]'), function (e) {
      return e.children[10].textContent === '' || e.children[0].childNodes.length === 0; }).length`;
    check('long catalogue: rows in view filled', await page.evaluate(FILLED), 0);
    await page.evaluate("new Promise(function (done) { var l = document.getElementById('list'); " +
                        "l.scrollTop = l.scrollHeight; requestAnimationFrame(function () { setTimeout(done, 0); }); })");
    const atEnd = await page.evaluate(SHOWN);
    check('long catalogue: the last record in view after a fling', atEnd[atEnd.length - 1], 'OD_TURN_80-5');
    check('long catalogue: the rows flung to not yet filled', (await page.evaluate(FILLED)) > 0, true);
    await page.screenshot(path.join(shots, 'catalog-fling.png'));
    await page.until(FILLED + ' === 0', 3000).catch(() => {});
    check('long catalogue: the rows at the end filled once scrolling stops', await page.evaluate(FILLED), 0);
    await page.screenshot(path.join(shots, 'catalog-stopped.png'));
    // once stopped, a few rows beyond the view again, for the next small scroll
    const settled = await page.evaluate(SHOWN);
    check('long catalogue: only the rows in view during the fling, a few more once stopped',
          [atEnd.length < 40, settled.slice(-atEnd.length), settled.length - atEnd.length <= 4], [true, atEnd, true]);
    // the example database as it is, one tool searched for by typing
    console.log(run('catalog', '--database', path.join(examples, 'database'), '-o', 'examples.html').trim());
    await page.goto('file://' + path.join(work, 'examples.html'));
    await page.until("document.body.getAttribute('data-ready') === '1'");
    await page.type('#q', 'din338');
    check('examples catalogue, din338 typed', [await page.evaluate("document.getElementById('count').textContent"),
                                              await page.evaluate(SHOWN)], ['1 of 4 tools', ['DIN338-8.5']]);
    await page.screenshot(path.join(shots, 'catalog-search.png'));
    await page.goto(url + '#group=same-geometry');
    await page.until("document.body.getAttribute('data-ready') === '1'");
    await page.screenshot(path.join(shots, 'catalog-groups.png'));
  } finally {
    await browser.close();
  }
  console.log(failures ? `${failures} checks failed` : 'all checks passed');
  process.exit(failures ? 1 : 0);
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
