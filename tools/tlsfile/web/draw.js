// Drawing of a tool: the right halves of its cutter and holder outlines
// (millimetres, heights up) as the toolkit writes them: "x y" a straight
// line to (x, y), "a R S x y" an arc of radius R to (x, y), S 1 when it
// runs counter-clockwise.  Each is mirrored about the axis into one closed
// figure, as the SVG preview draws it.
'use strict';
var kestoDraw = (function () {
  var SVG = 'http://www.w3.org/2000/svg';

  function parse(text) {
    var out = [];
    if (!text) return out;
    var a = text.split(' ');
    for (var i = 0; i < a.length;) {
      if (a[i] === 'a') {
        out.push({ arc: true, r: +a[i + 1], ccw: a[i + 2] === '1', x: +a[i + 3], y: +a[i + 4] });
        i += 5;
      } else {
        out.push({ arc: false, x: +a[i], y: +a[i + 1] });
        i += 2;
      }
    }
    return out;
  }

  // SVG's y axis points down: heights are negated, and a counter-clockwise
  // arc has sweep flag 0.  The mirrored half runs backwards, which keeps
  // each arc's flag.
  function path(s) {
    var d = 'M' + s[0].x + ' ' + -s[0].y, i, last = s[s.length - 1];
    for (i = 1; i < s.length; ++i)
      d += s[i].arc ? ' A' + s[i].r + ' ' + s[i].r + ' 0 0 ' + (s[i].ccw ? 0 : 1) + ' ' + s[i].x + ' ' + -s[i].y
                    : ' L' + s[i].x + ' ' + -s[i].y;
    if (last.x !== 0) d += ' L' + -last.x + ' ' + -last.y;
    for (i = s.length - 1; i > 0; --i) {
      var to = s[i - 1];
      d += s[i].arc ? ' A' + s[i].r + ' ' + s[i].r + ' 0 0 ' + (s[i].ccw ? 0 : 1) + ' ' + -to.x + ' ' + -to.y
                    : ' L' + -to.x + ' ' + -to.y;
    }
    return d + ' Z';
  }

  // The extent of both halves: the points, and each arc's middle, where it
  // bulges furthest from its chord (to the right of a counter-clockwise
  // arc's way).
  function extent(s, box) {
    function add(x, y) {
      box.x0 = Math.min(box.x0, x, -x); box.x1 = Math.max(box.x1, x, -x);
      box.y0 = Math.min(box.y0, y); box.y1 = Math.max(box.y1, y);
    }
    for (var i = 0; i < s.length; ++i) {
      add(s[i].x, s[i].y);
      if (!s[i].arc || i === 0) continue;
      var p = s[i - 1], q = s[i], dx = q.x - p.x, dy = q.y - p.y, c = Math.hypot(dx, dy);
      if (!(c > 0)) continue;
      var h = Math.min(c / 2, q.r), sag = q.r - Math.sqrt(q.r * q.r - h * h), k = (q.ccw ? 1 : -1) * sag / c;
      add((p.x + q.x) / 2 + k * dy, (p.y + q.y) / 2 - k * dx);
    }
    return box;
  }

  // A tool's outlines and their extent; box.any false when nothing draws.
  function shapes(cutter, holder) {
    var t = { cutter: parse(cutter), holder: parse(holder) };
    var box = { x0: Infinity, x1: -Infinity, y0: Infinity, y1: -Infinity };
    extent(t.cutter, box);
    extent(t.holder, box);
    box.any = box.x0 <= box.x1;
    t.box = box;
    return t;
  }

  // An <svg> of the tool lying down, its tip to the left: scale pixels per
  // millimetre, or, when scale is 0, the tool fitted into width x height.
  // Drawn upright in millimetres and turned a quarter round, which keeps
  // each arc's direction.  A picture for the eye only: its sizes are in
  // the row's cells.
  function svg(t, scale, width, height) {
    var b = t.box, pad = 1, w = Math.max(b.x1 - b.x0, 1e-3), h = Math.max(b.y1 - b.y0, 1e-3);
    if (!scale) scale = Math.min((width - 2 * pad) / h, (height - 2 * pad) / w);
    var e = document.createElementNS(SVG, 'svg');
    e.setAttribute('width', (h * scale + 2 * pad).toFixed(1));
    e.setAttribute('height', (w * scale + 2 * pad).toFixed(1));
    var p = pad / scale;
    e.setAttribute('viewBox', (b.y0 - p) + ' ' + (b.x0 - p) + ' ' + (h + 2 * p) + ' ' + (w + 2 * p));
    e.setAttribute('class', 'tool-drawing');
    e.setAttribute('aria-hidden', 'true');
    e.setAttribute('focusable', 'false');
    var g = document.createElementNS(SVG, 'g');
    g.setAttribute('transform', 'rotate(90)');
    [['holder', t.holder], ['cutter', t.cutter]].forEach(function (part) {
      if (!part[1].length) return;
      var el = document.createElementNS(SVG, 'path');
      el.setAttribute('class', part[0]);
      el.setAttribute('d', path(part[1]));
      el.setAttribute('vector-effect', 'non-scaling-stroke');
      g.appendChild(el);
    });
    var axis = document.createElementNS(SVG, 'line');
    axis.setAttribute('class', 'axis');
    axis.setAttribute('x1', 0); axis.setAttribute('x2', 0);
    axis.setAttribute('y1', -b.y1 - p); axis.setAttribute('y2', -b.y0 + p);
    axis.setAttribute('vector-effect', 'non-scaling-stroke');
    g.appendChild(axis);
    e.appendChild(g);
    return e;
  }

  return { shapes: shapes, svg: svg };
})();
