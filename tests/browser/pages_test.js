// The tool sheet and the catalogue in a real browser (headless Chromium):
// pages made by the command-line tool from the examples, then driven as a
// user would: a fragment set, a search typed, a column sorted by keyboard,
// Back pressed, the count and the rows in view checked; the sheet printed
// to PDF and its pages checked; axe-core (WCAG 2.1 AA) run in each page and
// html-validate on each file written.  Screenshots are kept in the build
// folder.
//
//   node pages_test.js CLI SOURCE_DIR OUT_DIR
'use strict';
const { execFileSync, spawnSync } = require('child_process');
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
const DATE = '2025-12-09 17:06 UTC';
const run = (...args) => execFileSync(cli, args, { cwd: work, env, stdio: ['ignore', 'pipe', 'pipe'] }).toString();
// axe-core and html-validate as package-lock.json names them, installed by
// npm ci into the build folder unless it has this lock's packages already
const npmDir = path.join(out, 'browser-npm'), lock = fs.readFileSync(path.join(__dirname, 'package-lock.json'));
if (!fs.existsSync(path.join(npmDir, 'installed.json')) || !fs.readFileSync(path.join(npmDir, 'installed.json')).equals(lock)) {
  fs.mkdirSync(npmDir, { recursive: true });
  for (const f of ['package.json', 'package-lock.json']) fs.copyFileSync(path.join(__dirname, f), path.join(npmDir, f));
  execFileSync('npm', ['ci', '--no-audit', '--no-fund', '--loglevel=error'], { cwd: npmDir, stdio: 'inherit' });
  fs.writeFileSync(path.join(npmDir, 'installed.json'), lock);
}
const npm = (name) => require(require.resolve(name, { paths: [npmDir] }));

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
// SITE.tls with problems: a cutter type the simulator lacks, a number that is none
fs.writeFileSync(path.join(work, 'BAD.tls'), site.replace('CUTTER_TYPE "BALL END"', 'CUTTER_TYPE "BALL ENDX"')
  .replace('STANDARD (6.00000,', 'STANDARD (inf,'), 'latin1');

// Sheets: what the command is given, the rows, some cells (by TOOLID:
// column header -> text as shown, lines apart), the printed pages and the
// tools on each but the last.
const SHEETS = [
  { name: 'part', args: [path.join(examples, 'PART.json'), '--database', path.join(examples, 'database')],
    file: 'demo_bracket_rev2.html', rows: 13, first: ['EM10_FLAT', 'BN16_R2', 'BALL8'],
    cells: { BN16_R2: { Tool: '2', 'In the database': 'differs\nBN16_R2\nmills.tls:31', Flutes: '3', 'Stick-out': '75' },
             BALL8: { 'In the database': 'renamed\nSITE-BALL8\nmills.tls:46', 'Kind title': 'In the simulator: ball end' },
             EM12: { Tool: '13', 'In the database': 'not in the database' },
             EM10_FLAT: { 'Catalogue number, description': 'CAT-EM10\nD10.00 H75.00 END MILL CAT-EM10',
                          Holder: '\u00d840\u00d750\n\u00d830\u201334\u00d720', 'Stick-out': '75' },
             'DRILL_8.5 |HSS|': { 'Catalogue number, description': 'DIN 338 "HSS-G"\nD8.50 H117.00 DIN 338 |HSS-G|',
                                  Kind: 'drill', 'Stick-out': '117' },
             OD_TURN_80: { Kind: 'turning tool', Drawing: 'nothing to draw' } },
    head: 'Tool sheet: demo_bracket_rev2', pages: [1, 1], screenshot: 'sheet-part' },
  { name: 'library', args: [path.join(examples, 'SITE.tls'), '-o', 'site.html'], file: 'site.html', rows: 12,
    first: ['EM10_FLAT', 'BN16_R2'], cells: { BN16_R2: { Length: '90', R: '2', 'Stick-out': '65' },
                                             BARREL_20: { Kind: 'barrel mill', D: '20' } },
    noColumn: ['In the database', 'Tool', 'Flutes', 'Problems'], head: 'Tool sheet: SITE', pages: [1, 1] },
  { name: 'problems', args: ['BAD.tls'], file: 'BAD.html', rows: 12, first: ['EM10_FLAT'],
    warning: 'BAD.tls: 2 problems (see check); its tools are listed as read, each with its problems',
    cells: { BALL8: { Problems: 'line 71: unknown CUTTER_TYPE "BALL ENDX"' }, EM10_FLAT: { Problems: '' },
             TAPER_6DEG: { Problems: "line 86: non-finite number 'inf'" } },
    notes: ['2 tools have problems (see check): listed as read, each with its problems'], undrawn: ['BALL8', 'TAPER_6DEG'],
    head: 'Tool sheet: BAD', pages: [1, 1] },
  { name: 'long', args: ['LONG.tls'], file: 'LONG.html', rows: 60, first: ['EM10_FLAT-1', 'BN16_R2-1'],
    cells: { 'T_SLOT_30-5': { Kind: 'T-slot cutter' } }, head: 'Tool sheet: LONG', pages: [2, 5], screenshot: 'sheet-long' },
];

// Catalogue views: the fragment, what is typed into the search box after,
// the count (and groups), and the TOOLIDs in view (all of them, in order)
// or the first.
const ALL = 16;
const CATALOG = [
  { fragment: '', count: ALL, first: 'EM10_FLAT' },
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
  // links that name what the page does not know open the view without it
  ...['sort=__proto__', 'sort=valueOf', 'sort=-constructor&kind=toString', 'group=constructor',
      'group=__proto__&q=%E0%A4%A&d=x-y&l=1-2-3'].map((fragment) => ({ fragment, count: ALL, first: 'EM10_FLAT' })),
  { fragment: 'kind=drill&foo=1&=2&&sort&d=%38-%38.5', count: 2, rows: ['DRILL_8.5 |HSS|', 'DIN338-8.5'] },
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
  // in the order the text was drawn: a cell's lines together
  for (let p = 1; p <= n; ++p) pages.push(bare(execFileSync('pdftotext', ['-raw', '-f', p, '-l', p, file, '-']).toString()));
  return pages;
}

// axe-core in the page (WCAG 2.1 A and AA: a serious or critical finding
// fails), html-validate on each file written (its recommended rules; the
// catalogue's list keeps the ARIA roles of a table, as it holds only the
// rows in view, each placed absolutely, which a native table cannot).
const axe = npm('axe-core'), { HtmlValidate } = npm('html-validate');
async function accessibility(page, what) {
  const r = await page.evaluate(axe.source + `;axe.run(document, { runOnly: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'] })
    .then(function (r) { return [r.passes.length].concat([r.violations, r.incomplete].map(function (list) {
      return list.map(function (v) { return [v.impact, v.id + ': ' + v.help + ' at ' + v.nodes.map(function (n) {
        return n.target.join(' '); }).slice(0, 3).join(', ')]; }); })); })`);
  console.log(`axe-core ${axe.version} on ${what}: ${r[0]} rules passed, ${r[1].length} violations` + r[1].map((v) =>
              '\n  violation: ' + v.join(' ')).join('') + r[2].map((v) => '\n  to review: ' + v.join(' ')).join(''));
  check(`${what}: no serious or critical axe-core finding`, r[1].filter((v) => /serious|critical/.test(v[0])), []);
}
const validator = new HtmlValidate({ extends: ['html-validate:recommended'], rules: {
  'prefer-native-element': ['error', { exclude: ['table', 'rowgroup', 'row', 'columnheader', 'cell'] }] } });
async function validate(file) {
  const r = await validator.validateFile(file);
  console.log(`html-validate on ${path.basename(file)}: ${r.errorCount} errors, ${r.warningCount} warnings` +
              r.results.map((f) => f.messages.map((m) => `\n  ${m.line}:${m.column} ${m.ruleId}: ${m.message}`).join('')).join(''));
  check(`html-validate ${path.basename(file)}: errors`, r.errorCount, 0);
}

const SHOWN = `Array.prototype.map.call(document.querySelectorAll('#spacer [data-toolid]'), function (e) {
  return [parseFloat(e.style.top), e.getAttribute('data-toolid')]; }).sort(function (a, b) { return a[0] - b[0]; })
  .map(function (e) { return e[1]; })`;
const COUNT = "document.getElementById('count').textContent";

(async () => {
  const browser = await Browser.launch();
  try {
    const page = await browser.newPage();
    for (const s of SHEETS) {
      const made = spawnSync(cli, ['sheet', ...s.args], { cwd: work, env, encoding: 'utf8' });
      console.log(made.stdout.trim());
      // a sheet of tools with problems is written, and says so by its exit code
      check(`sheet ${s.name}: exit`, made.status, s.warning ? 1 : 0);
      await validate(path.join(work, s.file));
      await page.goto('file://' + path.join(work, s.file));
      await page.until("document.body.getAttribute('data-ready') === '1'");
      const got = await page.evaluate(`(function () {
        var names = Array.prototype.map.call(document.querySelectorAll('thead tr:last-child th'), function (h) { return h.textContent; });
        var rows = Array.prototype.map.call(document.querySelectorAll('tbody tr[data-toolid]'), function (tr) {
          var cells = {};
          Array.prototype.forEach.call(tr.children, function (td, i) { cells[names[i]] = td.innerText.trim(); });
          cells['Kind title'] = tr.children[names.indexOf('Kind')].title;
          return [tr.getAttribute('data-toolid'), cells, tr.querySelector('svg path') !== null];
        });
        return { names: names, rows: rows, head: document.querySelector('h1').textContent,
                 notes: Array.prototype.map.call(document.querySelectorAll('#notes li'), function (li) { return li.textContent; }) };
      })()`);
      check(`sheet ${s.name}: rows, first, head, notes, warning, columns left out`, [got.rows.length,
            got.rows.slice(0, s.first.length).map((r) => r[0]), got.head, got.notes, made.stderr.includes(s.warning || ''),
            (s.noColumn || []).filter((c) => got.names.includes(c))], [s.rows, s.first, s.head, s.notes || [], true, []]);
      for (const [toolid, cells] of Object.entries(s.cells)) {
        const row = got.rows.find((r) => r[0] === toolid);
        if (!check(`sheet ${s.name}: ${toolid} present`, !!row, true)) continue;
        for (const [column, text] of Object.entries(cells))
          check(`sheet ${s.name}: ${toolid} ${column}`, row[1][column], text);
      }
      check(`sheet ${s.name}: every tool with a cutter drawn`,
            got.rows.filter((r) => !r[2] && r[1].Kind !== 'turning tool').map((r) => r[0]), s.undrawn || []);
      await accessibility(page, `sheet ${s.name}`);
      if (s.screenshot) await page.screenshot(path.join(shots, s.screenshot + '.png'));
      const pdf = path.join(work, s.name + '.pdf');
      await page.pdf(pdf);
      if (s.screenshot) execFileSync('pdftoppm', ['-r', '80', '-png', '-l', '2', pdf, path.join(shots, s.screenshot + '-pdf')]);
      const pages = pdfPages(pdf);
      check(`sheet ${s.name}: pages within ${s.pages}`, pages.length >= s.pages[0] && pages.length <= s.pages[1], true);
      check(`sheet ${s.name}: the name, date and page number on every page`, pages.map((p, i) => p.includes(bare(s.head)) &&
            p.includes(bare(DATE)) && p.includes(bare(`Page ${i + 1} of ${pages.length}`)) ? -1 : i + 1).filter((i) => i > 0), []);
      // a row not split: its TOOLID on one page only, its whole description on that page
      const split = got.rows.filter((r) => {
        const on = pages.filter((p) => p.includes(bare(r[0])));
        return on.length !== 1 || !on[0].includes(bare(r[1]['Catalogue number, description'] || r[1].Description));
      }).map((r) => r[0]);
      check(`sheet ${s.name}: rows on one page each`, split, []);
      const counts = pages.map((p) => got.rows.filter((r) => p.includes(bare(r[0]))).length);
      console.log(`sheet ${s.name}: ${pages.length} A4 pages, tools a page: ${counts.join(', ')}`);
      check(`sheet ${s.name}: at least 12 tools a page but the last`, counts.slice(0, -1).every((n) => n >= 12), true);
    }

    console.log(run('catalog', '--database', db, '-o', 'catalog.html').trim());
    await validate(path.join(work, 'catalog.html'));
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
    await page.goto(url + '#sort=-l');
    await page.until("document.body.getAttribute('data-ready') === '1'");
    await accessibility(page, 'catalogue #sort=-l');

    // The view of a link set after the page is open; any fragment of a
    // megabyte read in under 100 ms, the page working after it.
    await page.goto(url);
    await page.until("document.body.getAttribute('data-ready') === '1'");
    await page.evaluate("location.hash = 'kind=drill'");
    await page.until("document.getElementById('count').textContent === '3 of 16 tools'", 3000).catch(() => {});
    check('catalog: fragment set in an open page', await page.evaluate("document.getElementById('count').textContent"),
          '3 of 16 tools');
    // A fragment of a megabyte, made in the page (the page's events, each
    // with the megabyte of its address, not sent to us meanwhile): the page
    // measures each reading of a fragment ('fragment-read', both its popstate
    // and hashchange); the least of them, as a busy machine may stop the page
    // for a while.
    await page.send('Page.disable');
    for (const [what, fragment, count] of [['d= blanks and a letter', "'d=' + ' '.repeat(1 << 20) + 'x'", ALL],
                                           ['a quarter million unknown keys', "'x=1&'.repeat(1 << 18) + 'kind=drill'", 3],
                                           ['q= a megabyte of escapes', "'q=' + '%25'.repeat(349525)", ALL]]) {
      const ms = [];
      for (let k = 0; k < 2; ++k) {
        await page.evaluate("location.hash = 'q=reset'").then(() => page.until(`${COUNT} === '0 of 16 tools'`, 3000));
        await page.evaluate(`performance.clearMeasures(); location.hash = ${fragment}; 0`);
        await page.until(`${COUNT} === '${count} of ${ALL} tools'`, 5000).catch(() => {});
        ms.push(...await page.evaluate("performance.getEntriesByName('fragment-read').map(function (m) { " +
                                       'return m.duration; })'));
      }
      console.log(`catalog: a 1 MB fragment (${what}) read in ${ms.map((m) => m.toFixed(1)).join(', ')} ms`);
      check(`catalog: ${what} read in under 100 ms, and its view`,
            [ms.length >= 2 && Math.min(...ms) < 100, await page.evaluate(COUNT)],
            [true, `${count} of ${ALL} tools`]);
    }
    await page.send('Page.enable');

    // Keyboard: Tab from the last control reaches the list, then the first
    // column's button; Enter and Space on a column's button sort by it,
    // which its head says to assistive technology.  Every field named.
    await page.goto(url);
    await page.until("document.body.getAttribute('data-ready') === '1'");
    await page.evaluate("document.getElementById('group').focus()");
    for (const key of ['Tab', 'Tab', 'Enter', ' ']) await page.press(key);
    check('catalog: Tab to the first column, Enter, Space', await page.evaluate(`[document.activeElement.textContent,
      location.hash, document.querySelector('#columns [aria-sort]').getAttribute('aria-sort'), ${SHOWN}[0],
      Array.prototype.filter.call(document.querySelectorAll('#bar input, #bar select'), function (e) {
        return !(e.labels.length || e.getAttribute('aria-label')); }).length]`),
          ['TOOLID', '#sort=-toolid', 'descending', 'T_SLOT_30', 0]);

    // Each change of view an entry of the history: Back returns to the one
    // before; typing on in one field within a second is one change.
    await page.goto(url);
    await page.until("document.body.getAttribute('data-ready') === '1'");
    await page.type('#q', 'bal');
    await page.type('#q', 'ball');
    await page.evaluate("var k = document.getElementById('kind'); k.value = 'ball'; k.dispatchEvent(new Event('input'))");
    await page.evaluate("document.querySelector('#columns [data-key=d] button').click()");
    const VIEW = `[location.hash, ${COUNT}, document.getElementById('q').value, document.getElementById('kind').value]`;
    const views = [['#q=ball&kind=ball&sort=d', '2 of 16 tools', 'ball', 'ball'], ['#q=ball&kind=ball', '2 of 16 tools', 'ball', 'ball'],
                   ['#q=ball', '3 of 16 tools', 'ball', ''], ['', '16 of 16 tools', '', ''], ['#q=ball', '3 of 16 tools', 'ball', '']];
    for (let k = 0; k < views.length; ++k) {
      if (k) await page.evaluate(k < 4 ? 'history.back()' : 'history.forward()');
      await page.until(`${COUNT} === ${JSON.stringify(views[k][1])}`, 3000).catch(() => {});
      check(`catalog: history, ${k < 4 ? k + ' times Back' : 'Forward'}`, await page.evaluate(VIEW), views[k]);
    }

    // 800, 1,024 and 1,366 px wide: every column reached by scrolling the
    // list sideways, the library's line shown whole, no column's name cut
    for (const width of [800, 1024, 1366]) {
      await page.resize(width, 700);
      await page.goto(url + '#sort=-l');
      await page.until("document.body.getAttribute('data-ready') === '1'");
      await page.evaluate("document.getElementById('list').scrollLeft = 1e6; new Promise(requestAnimationFrame)");
      check(`catalog at ${width} px: the last column reached, every line number shown, no head cut`, await page.evaluate(`
        (function (right, all) { var box = document.getElementById('list').getBoundingClientRect().right + 0.5;
          return [all('#columns [role=columnheader]').filter(function (h) { return right(h) > box; }).length,
                  all('#spacer .library').filter(function (c) { var l = c.querySelector('.line');
                    return !l.offsetWidth || right(l) > Math.min(right(c), box); }).length,
                  all('#columns button').filter(function (b) { return b.scrollWidth > b.parentNode.clientWidth; }).length];
        })(function (e) { return e.getBoundingClientRect().right; },
           function (q) { return Array.prototype.slice.call(document.querySelectorAll(q)); })`), [0, 0, 0]);
      await page.evaluate("document.getElementById('list').scrollLeft = 0");
      await page.screenshot(path.join(shots, `catalog-${width}.png`));
    }
    await page.resize(1400, 900);

    // A list longer than the view: only the rows in view are in the page.
    // Flung to its end, the rows going past get only their TOOLID, kind,
    // diameter and length; the rows it stops at are filled whole.
    console.log(run('catalog', '--database', 'LONG.tls', '-o', 'long.html').trim());
    await page.goto('file://' + path.join(work, 'long.html'));
    await page.until("document.body.getAttribute('data-ready') === '1'");
    const inView = await page.evaluate(SHOWN);
    check('long catalogue: fewer rows in the page than records', inView.length > 0 && inView.length < 40, true);
    const FILLED = `Array.prototype.filter.call(document.querySelectorAll('#spacer [data-toolid]'), function (e) {
      return e.querySelector('.library .line').textContent === '' || e.querySelector('.drawing').childNodes.length === 0; }).length`;
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
