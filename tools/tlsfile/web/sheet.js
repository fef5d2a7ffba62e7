// The tool sheet: a table of the tools, one row each in the file's order,
// every drawing to one scale, lying down.  Printed, each page has the
// column names, and in its margins the part's name, the date and the page
// number of the count.
'use strict';
(function () {
  var data = JSON.parse(document.getElementById('data').textContent);
  var DRAW_W = 132, DRAW_H = 56;  // room for the largest tool, in pixels
  // a column the part fills (tool number, flutes, catalogue number) only when some tool has it
  var any = function (key) { return data.t.some(function (r) { return r[key].length > 0; }); };
  var problems = any('p'), numbers = any('num'), flutes = any('flutes'), catalogue = any('cat');
  // [name, class of its cells, what the cell shows]
  var number = function (v) { return v === null ? '' : String(v); };
  var columns = [
    ['#', 'num', function (r) { return r.n; }],
    numbers && ['Tool', 'number', function (r) { return r.num; }],
    ['TOOLID', 'toolid', function (r, td) {
      td.textContent = r.id;
      if (r.inch) td.appendChild(el('span', 'inch', ' inch'));
    }],
    ['Kind', '', function (r, td) { td.textContent = r.kind; td.title = 'In the simulator: ' + r.form; }],
    ['D', 'num', function (r) { return number(r.d); }],
    ['R', 'num', function (r) { return number(r.r); }],
    ['Length', 'num', function (r) { return number(r.l); }],
    ['Stick-out', 'num', function (r) { return number(r.so); }],
    ['Flute', 'num', function (r) { return number(r.fl); }],
    flutes && ['Flutes', 'num', function (r) { return r.flutes; }],
    ['Holder', 'holder', function (r, td) {
      // a section a line, which may break after its diameter only: "Ø44.5–51.6×" "68.4"
      r.holder.forEach(function (s) {
        var section = td.appendChild(el('span')), at = s.indexOf('\u00d7') + 1;
        section.appendChild(el('span', null, s.slice(0, at)));
        section.appendChild(document.createElement('wbr'));
        section.appendChild(el('span', null, s.slice(at)));
      });
      if (r.hx) td.title = r.hx;
    }],
    [catalogue ? 'Catalogue number, description' : 'Description', '', function (r, td) {
      if (r.cat) td.appendChild(el('span', 'catalogue', r.cat));
      td.appendChild(document.createTextNode(r.desc));
    }]
  ].filter(Boolean);
  if (data.verdicts) columns.push(['In the database', '', function (r, td) {
    td.className = r.v;
    td.appendChild(document.createTextNode(r.vw));
    if (!r.site) return;
    td.appendChild(el('span', 'site', r.site.id));
    var at = el('span', 'site', r.site.lib + ':' + r.site.line + (r.site.more ? ' and ' + r.site.more + ' more' : ''));
    at.title = r.site.path + ':' + r.site.line;
    td.appendChild(at);
  }]);
  if (problems) columns.push(['Problems', 'problems', function (r, td) {
    if (!r.p.length) return;
    var list = el('ul', 'problems');
    r.p.forEach(function (p) { list.appendChild(el('li', null, p)); });
    td.appendChild(list);
  }]);
  columns.push(['Drawing', 'drawing', null]);

  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined && text !== null) e.textContent = text;
    return e;
  }

  // one scale for all: the longest tool fills the width, the widest the height
  var tools = data.t.map(function (r) { return kestoDraw.shapes(r.c, r.h); });
  var scale = Infinity;
  tools.forEach(function (t) {
    if (!t.box.any) return;
    scale = Math.min(scale, DRAW_W / Math.max(t.box.y1 - t.box.y0, 1e-3), DRAW_H / Math.max(t.box.x1 - t.box.x0, 1e-3));
  });
  if (!isFinite(scale)) scale = 1;

  var n = data.t.length;
  var bar = 10;  // the scale bar: a round length of at most 60 px
  [1, 2, 5, 10, 20, 50, 100, 200, 500].forEach(function (mm) { if (mm * scale <= 60) bar = mm; });
  var source = document.getElementById('source');
  source.textContent = data.file + ' \u2014 ' + data.date + ' \u2014 ' + n + (n === 1 ? ' tool' : ' tools') +
    ' \u2014 lengths in ' + data.units + ' \u2014 drawings to one scale: ';
  var scaleBar = el('span', 'scalebar');
  scaleBar.style.width = (bar * scale).toFixed(1) + 'px';
  source.appendChild(scaleBar);
  source.appendChild(document.createTextNode(bar + ' mm'));
  var notes = document.getElementById('notes');
  data.notes.forEach(function (note) { notes.appendChild(el('li', null, note)); });
  var withProblems = data.t.filter(function (r) { return r.p.length > 0; }).length;
  if (withProblems)
    notes.appendChild(el('li', null, withProblems + (withProblems === 1 ? ' tool has' : ' tools have') +
                                     ' problems (see check): listed as read, each with its problems'));

  // the printed pages' margins: the name and date at the top, the page number at the bottom
  function cssString(text) {
    return '"' + String(text).replace(/[\\"\u0000-\u001f\u007f]/g, function (c) {
      return '\\' + c.charCodeAt(0).toString(16) + ' ';
    }) + '"';
  }
  var margins = document.createElement('style');
  margins.textContent = '@page { @top-left { content: ' + cssString('Tool sheet: ' + data.name) +
    '; font: 9px Arial, sans-serif; } @top-right { content: ' + cssString(data.date) +
    '; font: 9px Arial, sans-serif; } @bottom-right { content: "Page " counter(page) " of " counter(pages); ' +
    'font: 9px Arial, sans-serif; } }';
  document.head.appendChild(margins);

  var head = document.getElementById('head'), names = el('tr');
  columns.forEach(function (c) {
    var th = el('th', 'c-' + (c[0] === '#' ? 'pos' : c[0].toLowerCase().replace(/[^a-z]+/g, '-')), c[0]);
    th.scope = 'col';
    names.appendChild(th);
  });
  head.appendChild(names);

  var body = document.getElementById('rows');
  data.t.forEach(function (r, i) {
    var tr = el('tr');
    tr.setAttribute('data-toolid', r.id);
    columns.forEach(function (c) {
      var td = el('td', c[1]);
      if (c[2]) {
        var text = c[2](r, td);
        if (text !== undefined) td.textContent = text;
      } else if (tools[i].box.any) {
        td.appendChild(kestoDraw.svg(tools[i], scale));
      } else {
        td.textContent = 'nothing to draw';
      }
      tr.appendChild(td);
    });
    body.appendChild(tr);
  });
  document.body.setAttribute('data-ready', '1');
})();
