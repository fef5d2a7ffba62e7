// The catalogue's figures in the real browser (headless Chromium over its
// DevTools pipe): the first view of tools after navigation starts, the
// time a new search text takes to show, and the longest frame while the
// list is scrolled to its end.  Prints "name value" lines, in ms.
//
//   node browser_bench.js CATALOG.html
'use strict';
const path = require('path');
const { Browser } = require('../tests/browser/cdp.js');

const url = 'file://' + path.resolve(process.argv[2]);
const median = (a) => a.slice().sort((x, y) => x - y)[a.length >> 1];

(async () => {
  const browser = await Browser.launch();
  try {
    const page = await browser.newPage(1400, 900);
    // first view: the mark the page sets in the frame its first rows are drawn in
    const first = [];
    for (let k = 0; k < 3; ++k) {
      await page.goto(url, 60000);
      await page.until("document.body.getAttribute('data-ready') === '1'", 60000);
      first.push(await page.evaluate("performance.getEntriesByName('first-view')[0].startTime"));
    }
    console.log('first_view_ms ' + median(first).toFixed(0));
    // a search: the text set and its input event sent, until the frame after it
    const texts = ['t0', 'T00123', '_ball', 'cat-5', 'end mill', 'zzz', 'd1', ''];
    const search = [];
    for (const text of texts)
      search.push(await page.evaluate(`new Promise(function (done) {
        var q = document.getElementById('q'), t0 = performance.now();
        q.value = ${JSON.stringify(text)};
        q.dispatchEvent(new Event('input'));
        requestAnimationFrame(function () { setTimeout(function () { done(performance.now() - t0); }, 0); });
      })`));
    console.log('search_max_ms ' + Math.max(...search).toFixed(0));
    console.log('search_median_ms ' + median(search).toFixed(0));
    // scrolling: a new stretch of rows every frame, from the top to the end
    // (flung: more than a screen a frame), then read at a wheel's pace
    // (a row or two a frame) from the end upwards; each gives the longest
    // frame, the frames counted, and whether the end was reached
    const scroll = (flung) => page.evaluate(`new Promise(function (done) {
      var list = document.getElementById('list'), steps = 300, k = 0, last = 0, worst = 0, n = 0;
      var span = list.scrollHeight - list.clientHeight, start = ${flung} ? 0 : span;
      list.scrollTop = start;
      function frame(now) {
        if (last) { worst = Math.max(worst, now - last); ++n; }
        last = now;
        if (k > steps) return done([worst, n, list.scrollTop + list.clientHeight >= list.scrollHeight - 1,
                                    document.querySelectorAll('#spacer [data-toolid]').length]);
        list.scrollTop = ${flung} ? span * k++ / steps : start - 100 * k++;
        requestAnimationFrame(frame);
      }
      requestAnimationFrame(frame);
    })`);
    const flung = await scroll(true);
    console.log('scroll_frame_max_ms ' + flung[0].toFixed(0));
    console.log('scroll_frames ' + flung[1]);
    console.log('scroll_reached_end ' + (flung[2] ? 1 : 0));
    console.log('rows_in_page ' + flung[3]);
    // the rows in view filled whole once the fling stops: the frame that does it
    const settled = await page.evaluate(`new Promise(function (done) {
      var list = document.getElementById('list'), t0 = 0;
      var seen = function () { return list.querySelectorAll('[data-toolid] svg, [data-toolid] .drawing:not(:empty)').length; };
      (function wait() {
        if (seen() > 0) return requestAnimationFrame(function (now) { done(now - t0); });
        requestAnimationFrame(function (now) { t0 = now; wait(); });
      })();
    })`);
    console.log('settle_frame_ms ' + settled.toFixed(0));
    const wheel = await scroll(false);
    console.log('wheel_frame_max_ms ' + wheel[0].toFixed(0));
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
