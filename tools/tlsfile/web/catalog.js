// The catalogue of a site's tool database.  The view (search, kind,
// diameter and length ranges in millimetres, sorting, groups) is kept in
// the URL's fragment, so that a link opens the same view, and each change
// of it is an entry of the history, so that Back goes to the view before.
// Only the rows in sight are in the page; each tool is drawn as its row
// comes into view.
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
  // the names a fragment may give, in maps of their own: no name of an
  // object's prototype ("constructor", "__proto__") is one of them
  var kindIndex = new Map();
  data.kinds.forEach(function (kd, n) { kindIndex.set(kd[0], n); });
  // each record's group and its number, for the group views
  var groupOf = new Map(), groupCount = new Map();
  Object.keys(data.g).forEach(function (name) {
    var of = new Int32Array(total).fill(-1);
    data.g[name].forEach(function (members, g) { members.forEach(function (m) { of[m] = g; }); });
    groupOf.set(name, of);
    groupCount.set(name, data.g[name].length);
  });

  // [key, name, sort value, class of its cells]
  var COLUMNS = [
    ['toolid', 'TOOLID', function (i) { return t[i][ID]; }, 'toolid'],
    ['drawing', 'Drawing', null, 'drawing'],
    ['kind', 'Kind', function (i) { return data.kinds[t[i][KIND]][1]; }, 'kind'],
    ['d', 'D', function (i) { return dmm[i]; }, 'num'],
    ['r', 'R', function (i) { return t[i][R]; }, 'num'],
    ['l', 'Length', function (i) { return lmm[i]; }, 'num'],
    ['flute', 'Flute', function (i) { return t[i][FL]; }, 'num'],
    ['shank', 'Shank', function (i) { return t[i][SD]; }, 'num'],
    ['holder', 'Holder', function (i) { return t[i][HOLDER]; }, 'holder'],
    ['description', 'Description', function (i) { return t[i][DESC]; }, 'description'],
    ['library', 'Library, line', function (i) { return i; }, 'library'],
    ['problems', 'Problems', function (i) { return t[i][PROBLEMS] === undefined ? 0 : data.p[t[i][PROBLEMS]].length; },
     'problems']
  ];
  var byKey = new Map();
  COLUMNS.forEach(function (c) { if (c[2]) byKey.set(c[0], c[2]); });

  var state = {}, view = new Int32Array(0), viewGroup = null, shown = new Map();
  var drawn = new Map();  // the drawing of each shape, once made, by its index

  // A number of a range: NaN for none given, null for one that is no number.
  function rangeEnd(text) {
    text = text.trim();
    if (text === '') return NaN;
    var v = Number(text);
    return isFinite(v) ? v : null;
  }
  // "6-12", "6-", "-12", "8": a range, NaN for an open end; null for none.
  // No pattern: each character is looked at a bounded number of times.
  function range(text) {
    text = (text || '').trim();
    if (!text) return null;
    var dash = text.indexOf('-');
    if (dash < 0) {
      var one = rangeEnd(text);
      return one === null || isNaN(one) ? null : [one, one];
    }
    var a = rangeEnd(text.slice(0, dash)), b = rangeEnd(text.slice(dash + 1));
    return a === null || b === null || (isNaN(a) && isNaN(b)) ? null : [a, b];
  }
  function inRange(v, rg) {
    if (!rg) return true;
    if (isNaN(v)) return false;
    return !(v < rg[0]) && !(v > rg[1]);
  }

  // The fragment, key by key: keys and values the page does not know are
  // left out, so that any link opens a view.  One pass of a pattern that
  // looks at each character once finds the page's keys (the first part of
  // each wins), however many parts the text has; a value longer than any
  // the page writes (MAX_VALUE characters) is not one it knows.
  var KEYS = ['q', 'kind', 'd', 'l', 'sort', 'group'], MAX_VALUE = 1000;
  var PARTS = new RegExp('(?:^|&)(' + KEYS.join('|') + ')=', 'g');
  function decode(text) {
    try { return decodeURIComponent(text.replace(/\+/g, ' ')); } catch (e) { return null; }
  }
  function readFragment() {
    var s = { q: '', kind: '', d: '', l: '', sort: '', group: '' }, seen = new Set();
    var text = location.hash.replace(/^#/, ''), part;
    PARTS.lastIndex = 0;
    while ((part = PARTS.exec(text))) {
      if (seen.has(part[1])) continue;
      seen.add(part[1]);
      var from = PARTS.lastIndex, end = text.indexOf('&', from);
      if (end < 0) end = text.length;
      var value = end - from <= 3 * MAX_VALUE ? decode(text.slice(from, end)) : null;
      if (value !== null && value.length <= MAX_VALUE) s[part[1]] = value;
    }
    if (!kindIndex.has(s.kind)) s.kind = '';
    if (!groupOf.has(s.group)) s.group = '';
    if (!byKey.has(s.sort.replace(/^-/, ''))) s.sort = '';
    if (!range(s.d)) s.d = '';
    if (!range(s.l)) s.l = '';
    state = s;
  }
  function fragment() {
    var p = [];
    KEYS.forEach(function (key) {
      if (state[key]) p.push(key + '=' + encodeURIComponent(state[key]));
    });
    return '#' + p.join('&');
  }
  // A new entry of the history for each change of view; text typed into
  // one field without a pause of a second is one change.
  var typedIn = null, typedAt = 0;
  function writeFragment(field) {
    var url = fragment();
    if (url === (location.hash || '#')) return;
    var now = Date.now();
    if (field && field === typedIn && now - typedAt < 1000) history.replaceState(null, '', url);
    else history.pushState(null, '', url);
    typedIn = field;
    typedAt = now;
  }
  function showState() {
    $('q').value = state.q;
    $('kind').value = state.kind;
    var d = range(state.d), l = range(state.l);
    $('d-min').value = d && !isNaN(d[0]) ? d[0] : ''; $('d-max').value = d && !isNaN(d[1]) ? d[1] : '';
    $('l-min').value = l && !isNaN(l[0]) ? l[0] : ''; $('l-max').value = l && !isNaN(l[1]) ? l[1] : '';
    $('group').value = state.group;
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
    var q = state.q.toLowerCase(), kind = kindIndex.has(state.kind) ? kindIndex.get(state.kind) : -1;
    var d = range(state.d), l = range(state.l), of = groupOf.get(state.group) || null;
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
    var key = state.sort.replace(/^-/, ''), down = state.sort.charAt(0) === '-', get = byKey.get(key);
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
    e.setAttribute('role', 'cell');
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
      svg = tool.box.any ? kestoDraw.svg(tool, 0, 100, ROW - 6) : null;
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
  // one that comes into it, so that scrolling makes no garbage.  The
  // library's cell holds the path, cut at its start when long, and the
  // line, never cut.
  var C_ID = 0, C_DRAWING = 1, C_KIND = 2, C_D = 3, C_R = 4, C_L = 5, C_FL = 6, C_SD = 7, C_HOLDER = 8, C_DESC = 9,
      C_LIB = 10, C_PROBLEMS = 11;
  var spare = [];
  function newRow() {
    var row = document.createElement('div');
    row.setAttribute('role', 'row');
    COLUMNS.forEach(function (c) { cell(row, c[3], ''); });
    var lib = row.children[C_LIB];
    lib.appendChild(document.createElement('span')).className = 'path';
    lib.appendChild(document.createElement('span')).className = 'line';
    return row;
  }
  function setCell(c, text, title) {
    if (c.textContent !== text) c.textContent = text;
    if (title !== undefined) c.title = title;
  }

  function fillRow(row, at) {
    var i = view[at], r = t[i], c = row.children, kind = data.kinds[r[KIND]];
    row.className = 'row grid' + (viewGroup ? (viewGroup[i] % 2 ? ' group-odd' : '') : at % 2 ? ' odd' : '');
    row.style.top = at * ROW + 'px';
    row.setAttribute('data-toolid', r[ID]);
    row.setAttribute('aria-rowindex', at + 2);
    row.partial = flinging;
    setCell(c[C_ID], r[ID], r[ID]);
    setCell(c[C_KIND], kind[1] + (r[INCH] ? ' (inch)' : ''), 'In the simulator: ' + kind[2]);
    setCell(c[C_D], num(r[D]));
    setCell(c[C_L], num(r[L]));
    var drawing = c[C_DRAWING], lib = c[C_LIB];
    drawing.textContent = '';
    if (flinging) {
      [C_R, C_FL, C_SD, C_HOLDER, C_DESC, C_PROBLEMS].forEach(function (k) { setCell(c[k], '', ''); });
      lib.children[0].textContent = lib.children[1].textContent = lib.title = '';
      return row;
    }
    draw(drawing, r[SHAPE]);
    setCell(c[C_R], num(r[R]));
    setCell(c[C_FL], num(r[FL]));
    setCell(c[C_SD], num(r[SD]));
    setCell(c[C_HOLDER], r[HOLDER], r[HOLDER]);
    setCell(c[C_DESC], r[DESC], r[DESC]);
    // the path below the folder all share; a long one cut at its start, where the style sheet puts the ellipsis
    var path = data.libs[r[LIB]];
    lib.children[0].textContent = '\u200E' + path.slice(shared) + '\u200E';
    lib.children[1].textContent = ':' + r[LINE];
    lib.title = path + ':' + r[LINE];
    var problems = r[PROBLEMS] === undefined ? [] : data.p[r[PROBLEMS]];
    var text = problems.length ? problems.length + ': ' + problems[0] : '';
    if (viewGroup) text = 'group ' + (viewGroup[i] + 1) + (text ? '; ' + text : '');
    setCell(c[C_PROBLEMS], text, problems.join('\n'));
    return row;
  }

  // the rows in sight below the column names, and a few beyond unless flinging
  var heading = 0;  // the column names' height, measured when the view or the window changes
  function render() {
    var list = $('list'), beyond = flinging ? 0 : 4;
    var first = Math.max(0, Math.floor(list.scrollTop / ROW) - beyond);
    var last = Math.min(view.length, Math.ceil((list.scrollTop + list.clientHeight - heading) / ROW) + beyond),
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
    heading = $('columns').offsetHeight;
    $('list').setAttribute('aria-rowcount', view.length + 1);
    $('count').textContent = view.length + ' of ' + total + ' tools' +
      (viewGroup ? ' in ' + groupCount.get(state.group) + ' groups' : '');
    var key = state.sort.replace(/^-/, ''), down = state.sort.charAt(0) === '-';
    Array.prototype.forEach.call($('columns').children, function (h) {
      // its aria-sort says the order, and the style sheet's arrow shows it
      if (h.getAttribute('data-key') === key) h.setAttribute('aria-sort', down ? 'descending' : 'ascending');
      else h.removeAttribute('aria-sort');
    });
    render();
  }

  // the part of the libraries' paths they all share, up to a folder's end
  var common = data.libs.length ? data.libs.reduce(function (a, b) {
    var n = 0;
    while (n < a.length && n < b.length && a.charAt(n) === b.charAt(n)) ++n;
    return a.slice(0, n);
  }) : '';
  var shared = Math.max(common.lastIndexOf('/'), common.lastIndexOf('\\')) + 1;

  // the page's parts that do not change
  var searched = data.libs.length - data.skipped.length;
  $('source').textContent = data.date + ' \u2014 ' + searched + (searched === 1 ? ' library' : ' libraries') +
    (data.skipped.length ? ' (' + data.skipped.length + ' more not shown)' : '');
  if (data.skipped.length) $('notes').textContent = 'Not shown (damaged or unreadable): ' + data.skipped.join('; ');
  data.kinds.forEach(function (kd) {
    var o = document.createElement('option');
    o.value = kd[0];
    // the shop's word, and the simulator's where two kinds share it
    var twice = data.kinds.some(function (other) { return other !== kd && other[1] === kd[1]; });
    o.textContent = twice ? kd[1] + ' (' + kd[2] + ')' : kd[1];
    $('kind').appendChild(o);
  });
  // each column's name; a sortable one is a button that says its order
  COLUMNS.forEach(function (c) {
    var h = document.createElement('div');
    h.setAttribute('role', 'columnheader');
    h.setAttribute('data-key', c[0]);
    h.className = c[3];
    $('columns').appendChild(h);
    if (!c[2]) {
      h.textContent = c[1];
      return;
    }
    var b = document.createElement('button');
    b.type = 'button';
    b.textContent = c[1];
    b.title = 'Sort by ' + c[1].toLowerCase();
    h.appendChild(b);
    b.addEventListener('click', function () {
      state.sort = state.sort === c[0] ? '-' + c[0] : c[0];
      writeFragment(null);
      refresh();
    });
  });
  ['q', 'kind', 'd-min', 'd-max', 'l-min', 'l-max', 'group'].forEach(function (id) {
    $(id).addEventListener('input', function () {
      takeControls();
      writeFragment($(id).tagName === 'INPUT' ? id : null);
      $('list').scrollTop = 0;
      refresh();
    });
  });
  // Back, Forward, or a fragment set by hand: the view it names
  // (the reading of each measured as 'fragment-read')
  function follow() {
    var before = fragment(), start = performance.now();
    readFragment();
    performance.measure('fragment-read', { start: start });
    if (fragment() === before) return;
    typedIn = null;
    showState();
    $('list').scrollTop = 0;
    refresh();
  }
  window.addEventListener('popstate', follow);
  window.addEventListener('hashchange', follow);
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
  window.addEventListener('resize', function () {
    heading = $('columns').offsetHeight;
    render();
  });

  readFragment();
  showState();
  refresh();
  requestAnimationFrame(function () {
    performance.mark('first-view');
    document.body.setAttribute('data-ready', '1');
  });
})();
