// The catalogue of a site's tool database.  The view (search, kind,
// diameter and length ranges in millimetres, sorting, groups) is kept in
// the URL's fragment, so that a link opens the same view.  Only the rows
// in sight are in the page; each tool is drawn as its row comes into view.
'use strict';
(function () {
  var data = JSON.parse(document.getElementById('data').textContent);
  var ROW = 60;                      // a row's height, as the style sheet gives it
  var LIB = 0, LINE = 1, ID = 2, KIND = 3, INCH = 4, D = 5, R = 6, L = 7, FL = 8, SD = 9, HOLDER = 10,
      DESC = 11, SHAPE = 12, PROBLEMS = 13;
  var t = data.t, total = t.length;
  var $ = function (id) { return document.getElementById(id); };

  // what every view needs, once: lengths in millimetres, the searched text
  var dmm = new Float64Array(total), lmm = new Float64Array(total), hay = new Array(total);
  for (var i = 0; i < total; ++i) {
    var r = t[i], k = r[INCH] ? 25.4 : 1;
    dmm[i] = r[D] === null ? NaN : r[D] * k;
    lmm[i] = r[L] === null ? NaN : r[L] * k;
    hay[i] = (r[ID] + '\u0001' + r[DESC]).toLowerCase();
  }
  var kindIndex = {};
  data.kinds.forEach(function (kd, n) { kindIndex[kd[0]] = n; });
  // each record's group and its number, for the group views
  var groupOf = {};
  Object.keys(data.g).forEach(function (name) {
    var of = new Int32Array(total).fill(-1);
    data.g[name].forEach(function (members, g) { members.forEach(function (m) { of[m] = g; }); });
    groupOf[name] = of;
  });

  var COLUMNS = [
    ['drawing', 'Drawing', null],
    ['toolid', 'TOOLID', function (i) { return t[i][ID]; }],
    ['kind', 'Kind', function (i) { return data.kinds[t[i][KIND]][1]; }],
    ['d', 'D', function (i) { return dmm[i]; }],
    ['r', 'R', function (i) { return t[i][R]; }],
    ['l', 'Length', function (i) { return lmm[i]; }],
    ['flute', 'Flute', function (i) { return t[i][FL]; }],
    ['shank', 'Shank', function (i) { return t[i][SD]; }],
    ['holder', 'Holder', function (i) { return t[i][HOLDER]; }],
    ['description', 'Description', function (i) { return t[i][DESC]; }],
    ['library', 'Library, line', function (i) { return i; }],
    ['problems', 'Problems', function (i) { return t[i][PROBLEMS] === undefined ? 0 : data.p[t[i][PROBLEMS]].length; }]
  ];
  var NUMERIC = ['d', 'r', 'l', 'flute', 'shank'];
  var byKey = {};
  COLUMNS.forEach(function (c) { if (c[2]) byKey[c[0]] = c[2]; });

  var state = {}, view = new Int32Array(0), viewGroup = null, shown = new Map();
  var drawn = new Map();  // the drawing of each shape, once made, by its index

  // "6-12", "6-", "-12": a range; NaN for an open end
  function range(text) {
    var m = /^\s*([0-9.]*)\s*-\s*([0-9.]*)\s*$/.exec(text || '');
    if (!m) {
      var one = parseFloat(text);
      return isNaN(one) ? null : [one, one];
    }
    var a = m[1] === '' ? NaN : parseFloat(m[1]), b = m[2] === '' ? NaN : parseFloat(m[2]);
    return isNaN(a) && isNaN(b) ? null : [a, b];
  }
  function inRange(v, rg) {
    if (!rg) return true;
    if (isNaN(v)) return false;
    return !(v < rg[0]) && !(v > rg[1]);
  }

  function readFragment() {
    var p = new URLSearchParams(location.hash.replace(/^#/, ''));
    state = { q: p.get('q') || '', kind: p.get('kind') || '', d: p.get('d') || '', l: p.get('l') || '',
              sort: p.get('sort') || '', group: p.get('group') || '' };
  }
  function writeFragment() {
    var p = [];
    ['q', 'kind', 'd', 'l', 'sort', 'group'].forEach(function (key) {
      if (state[key]) p.push(key + '=' + encodeURIComponent(state[key]));
    });
    history.replaceState(null, '', '#' + p.join('&'));
  }
  function showState() {
    $('q').value = state.q;
    $('kind').value = state.kind in kindIndex ? state.kind : '';
    var d = range(state.d), l = range(state.l);
    $('d-min').value = d && !isNaN(d[0]) ? d[0] : ''; $('d-max').value = d && !isNaN(d[1]) ? d[1] : '';
    $('l-min').value = l && !isNaN(l[0]) ? l[0] : ''; $('l-max').value = l && !isNaN(l[1]) ? l[1] : '';
    $('group').value = groupOf[state.group] ? state.group : '';
  }
  function takeControls() {
    function pair(a, b) { a = $(a).value; b = $(b).value; return a === '' && b === '' ? '' : a + '-' + b; }
    state.q = $('q').value;
    state.kind = $('kind').value;
    state.d = pair('d-min', 'd-max');
    state.l = pair('l-min', 'l-max');
    state.group = $('group').value;
  }

  function compute() {
    var q = state.q.toLowerCase(), kind = state.kind in kindIndex ? kindIndex[state.kind] : -1;
    var d = range(state.d), l = range(state.l), of = groupOf[state.group] || null;
    var out = new Int32Array(total), n = 0;
    for (var i = 0; i < total; ++i) {
      if (of && of[i] < 0) continue;
      if (kind >= 0 && t[i][KIND] !== kind) continue;
      if (d && !inRange(dmm[i], d)) continue;
      if (l && !inRange(lmm[i], l)) continue;
      if (q && hay[i].indexOf(q) < 0) continue;
      out[n++] = i;
    }
    out = out.subarray(0, n);
    var key = state.sort.replace(/^-/, ''), down = state.sort.charAt(0) === '-', get = byKey[key];
    if (get || of) {
      var arr = Array.prototype.slice.call(out), keys = get ? new Array(total) : null;
      if (get) arr.forEach(function (rec) { keys[rec] = get(rec); });
      arr.sort(function (a, b) {
        if (of && of[a] !== of[b]) return of[a] - of[b];
        if (get) {
          var x = keys[a], y = keys[b], c;
          var xn = x === null || (typeof x === 'number' && isNaN(x)), yn = y === null || (typeof y === 'number' && isNaN(y));
          if (xn !== yn) return xn ? 1 : -1;  // what a record does not give goes last
          c = xn ? 0 : x < y ? -1 : x > y ? 1 : 0;
          if (c) return down ? -c : c;
        }
        return a - b;
      });
      out = Int32Array.from(arr);
    }
    view = out;
    viewGroup = of;
  }

  function cell(row, cls, text, title) {
    var e = document.createElement('div');
    if (cls) e.className = cls;
    e.textContent = text;
    if (title) e.title = title;
    row.appendChild(e);
    return e;
  }
  function num(v) { return v === null ? '' : String(v); }

  // A tool's drawing into its cell.
  function draw(cellNode, index) {
    var svg = drawn.get(index);
    if (svg === undefined) {
      var shape = data.shapes[index], tool = kestoDraw.shapes(shape[0], shape[1]);
      svg = tool.box.any ? kestoDraw.svg(tool, 0, 92, ROW - 4) : null;
      drawn.set(index, svg);
    }
    if (svg) cellNode.appendChild(svg.cloneNode(true));
    else cellNode.textContent = 'nothing to draw';
  }

  // While the list is flung through faster than a screen a frame, nobody
  // reads the rows going past: they get only their TOOLID, kind, diameter
  // and length, and no rows beyond the view.  The rows in view are filled
  // whole once the scrolling stops or slows to less than a screen a frame.
  var flinging = false, settle = 0;
  function fillWaiting() {
    flinging = false;
    render();
  }

  // A row's cells, made once; a row that leaves the view is used again for
  // one that comes into it, so that scrolling makes no garbage.
  var CELLS = ['drawing', 'toolid', null, 'num', 'num', 'num', 'num', 'num', null, null, null, 'problems'];
  var spare = [];
  function newRow() {
    var row = document.createElement('div');
    CELLS.forEach(function (cls) { cell(row, cls, ''); });
    return row;
  }
  function setCell(c, text, title) {
    if (c.textContent !== text) c.textContent = text;
    if (title !== undefined) c.title = title;
  }

  function fillRow(row, at) {
    var i = view[at], r = t[i], c = row.children;
    row.className = 'row grid' + (viewGroup ? (viewGroup[i] % 2 ? ' group-odd' : '') : at % 2 ? ' odd' : '');
    row.style.top = at * ROW + 'px';
    row.setAttribute('data-toolid', r[ID]);
    row.partial = flinging;
    setCell(c[1], r[ID], r[ID]);
    setCell(c[2], data.kinds[r[KIND]][1] + (r[INCH] ? ' (inch)' : ''));
    setCell(c[3], num(r[D]));
    setCell(c[5], num(r[L]));
    var drawing = c[0];
    drawing.textContent = '';
    if (flinging) {
      [4, 6, 7, 8, 9, 10, 11].forEach(function (k) { setCell(c[k], '', ''); });
      return row;
    }
    draw(drawing, r[SHAPE]);
    setCell(c[4], num(r[R]));
    setCell(c[6], num(r[FL]));
    setCell(c[7], num(r[SD]));
    setCell(c[8], r[HOLDER], r[HOLDER]);
    setCell(c[9], r[DESC], r[DESC]);
    // a long path by its end, where the file's name is
    var lib = data.libs[r[LIB]] + ':' + r[LINE];
    setCell(c[10], lib.length > 34 ? '\u2026' + lib.slice(-33) : lib, lib);
    var problems = r[PROBLEMS] === undefined ? [] : data.p[r[PROBLEMS]];
    var text = problems.length ? problems.length + ': ' + problems[0] : '';
    if (viewGroup) text = 'group ' + (viewGroup[i] + 1) + (text ? '; ' + text : '');
    setCell(c[11], text, problems.join('\n'));
    return row;
  }

  // the rows in sight, and a few beyond unless flinging
  function render() {
    var list = $('list'), beyond = flinging ? 0 : 4, first = Math.max(0, Math.floor(list.scrollTop / ROW) - beyond);
    var last = Math.min(view.length, Math.ceil((list.scrollTop + list.clientHeight) / ROW) + beyond),
        spacer = $('spacer');
    shown.forEach(function (row, at) {
      if (at < first || at >= last) { spare.push(row); shown.delete(at); }
    });
    for (var at = first; at < last; ++at) {
      if (shown.has(at)) {
        if (!flinging && shown.get(at).partial) fillRow(shown.get(at), at);
        continue;
      }
      var row = spare.pop();
      if (!row) { row = newRow(); spacer.appendChild(row); }
      shown.set(at, fillRow(row, at));
    }
    // rows left over leave the page: only the tools in view are in it
    while (spare.length) spacer.removeChild(spare.pop());
  }

  function refresh() {
    compute();
    shown.forEach(function (row) { spare.push(row); });
    shown.clear();
    $('spacer').style.height = view.length * ROW + 'px';
    $('count').textContent = view.length + ' of ' + total + ' tools' +
      (viewGroup ? ' in ' + data.g[state.group].length + ' groups' : '');
    var key = state.sort.replace(/^-/, '');
    Array.prototype.forEach.call($('columns').children, function (c) {
      c.className = c.getAttribute('data-key') === key ? 'sorted' + (state.sort.charAt(0) === '-' ? ' down' : '') : '';
    });
    render();
  }

  // the page's parts that do not change
  $('title').textContent = 'Tool catalogue: ' + data.name;
  var searched = data.libs.length - data.skipped.length;
  $('source').textContent = data.date + ' \u2014 ' + searched + (searched === 1 ? ' library' : ' libraries') +
    (data.skipped.length ? ' (' + data.skipped.length + ' more not shown)' : '');
  if (data.skipped.length) $('notes').textContent = 'Not shown (damaged or unreadable): ' + data.skipped.join('; ');
  data.kinds.forEach(function (kd) {
    var o = document.createElement('option');
    o.value = kd[0];
    o.textContent = kd[1];
    $('kind').appendChild(o);
  });
  COLUMNS.forEach(function (c) {
    var h = cell($('columns'), '', c[1]);
    h.setAttribute('data-key', c[0]);
    if (NUMERIC.indexOf(c[0]) >= 0) h.style.textAlign = 'right';
    if (!c[2]) return;
    h.addEventListener('click', function () {
      state.sort = state.sort === c[0] ? '-' + c[0] : c[0];
      writeFragment();
      refresh();
    });
  });
  ['q', 'kind', 'd-min', 'd-max', 'l-min', 'l-max', 'group'].forEach(function (id) {
    $(id).addEventListener('input', function () {
      takeControls();
      writeFragment();
      $('list').scrollTop = 0;
      refresh();
    });
  });
  window.addEventListener('hashchange', function () {
    readFragment();
    showState();
    $('list').scrollTop = 0;
    refresh();
  });
  var pending = false, lastTop = 0;
  $('list').addEventListener('scroll', function () {
    var list = $('list');
    flinging = Math.abs(list.scrollTop - lastTop) > list.clientHeight;
    lastTop = list.scrollTop;
    clearTimeout(settle);
    settle = setTimeout(fillWaiting, 150);
    if (pending) return;
    pending = true;
    requestAnimationFrame(function () { pending = false; render(); });
  });
  window.addEventListener('resize', render);

  readFragment();
  showState();
  refresh();
  requestAnimationFrame(function () {
    performance.mark('first-view');
    document.body.setAttribute('data-ready', '1');
  });
})();
