// The tool sheet: a table of the tools, one row each in the file's order,
// every drawing to one scale; the head (name, date, file, count, units)
// is part of the table's head, so that it repeats on every printed page.
'use strict';
(function () {
  var data = JSON.parse(document.getElementById('data').textContent);
  var DRAW_W = 150, DRAW_H = 110;  // room for the largest tool, in pixels
  var columns = ['#', 'Tool', 'TOOLID', 'Kind', 'D', 'R', 'Length', 'Flute', 'Flutes', 'Holder',
                 'Catalogue number', 'Description'];
  if (data.verdicts) columns.push('In the database');
  columns.push('Drawing');
  var VERDICTS = { same: 'same', renamed: 'renamed', differs: 'differs', missing: 'not in the database' };

  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined && text !== null) e.textContent = text;
    return e;
  }

  var tools = data.t.map(function (r) { return kestoDraw.shapes(r[12], r[13]); });
  var scale = Infinity;
  tools.forEach(function (t) {
    if (!t.box.any) return;
    scale = Math.min(scale, DRAW_W / Math.max(t.box.x1 - t.box.x0, 1e-3), DRAW_H / Math.max(t.box.y1 - t.box.y0, 1e-3));
  });
  if (!isFinite(scale)) scale = 1;

  var head = document.getElementById('head');
  var title = el('tr', 'title'), th = el('th');
  th.colSpan = columns.length;
  th.appendChild(el('h1', null, 'Tool sheet: ' + data.name));
  var n = data.t.length;
  var bar = 10;  // the scale bar: a round length of at most 60 px
  [1, 2, 5, 10, 20, 50, 100, 200, 500].forEach(function (mm) { if (mm * scale <= 60) bar = mm; });
  var line = el('div', null, data.file + ' \u2014 ' + data.date + ' \u2014 ' + n + (n === 1 ? ' tool' : ' tools') +
                ' \u2014 lengths in ' + data.units + ' \u2014 drawings to one scale: ');
  var scaleBar = el('span', 'scalebar');
  scaleBar.style.width = (bar * scale).toFixed(1) + 'px';
  line.appendChild(scaleBar);
  line.appendChild(document.createTextNode(bar + ' mm'));
  th.appendChild(line);
  title.appendChild(th);
  head.appendChild(title);
  var names = el('tr');
  columns.forEach(function (c) { names.appendChild(el('th', null, c)); });
  head.appendChild(names);

  var body = document.getElementById('rows');
  function number(v) { return v === null ? '' : String(v); }
  data.t.forEach(function (r, i) {
    var tr = el('tr');
    tr.setAttribute('data-toolid', r[2]);
    var cells = [[r[0], 'num'], [r[1], 'num'], [r[2], 'toolid'], [r[3]], [number(r[4]), 'num'], [number(r[5]), 'num'],
                 [number(r[6]), 'num'], [number(r[7]), 'num'], [r[8], 'num'], [r[9]], [r[10]], [r[11]]];
    cells.forEach(function (c) { tr.appendChild(el('td', c[1], c[0])); });
    if (r[15]) tr.children[2].appendChild(el('span', 'inch', ' inch'));
    if (data.verdicts) tr.appendChild(el('td', r[14], VERDICTS[r[14]] || r[14]));
    var cell = el('td', 'drawing');
    if (tools[i].box.any) cell.appendChild(kestoDraw.svg(tools[i], scale));
    else cell.textContent = 'nothing to draw';
    tr.appendChild(cell);
    body.appendChild(tr);
  });
  document.body.setAttribute('data-ready', '1');
})();
