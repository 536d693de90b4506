  // ---- Figures: a quartet's C(k)12 profile as SVG, on the page and for export ----
  // Inserted into the page's script, in the scope of its data and helpers.
  // One layout serves the page's plot and the exported figures: every length
  // follows from the font size `fs` (SVG user units, CSS pixels), so a figure
  // at a journal column width keeps readable text. The frame holds the data:
  // lanes of final maximum windows above the bars, lanes of final minimum
  // windows below them, and beyond those, on its side, a lane with the
  // bracket of the scan window; all text and the legend lie outside the frame.
  const MM = 96 / 25.4;  // user units per millimetre
  const FIG_FONT = 'Helvetica, Arial, system-ui, sans-serif';

  // Text is measured on a canvas in the figure's font: no layout of the
  // page is forced, and a figure not yet in the document measures the same.
  const measure = document.createElement('canvas').getContext('2d');
  function textWidth(text, fs, bold) {
    measure.font = (bold ? 'bold ' : '') + fs.toFixed(3) + 'px ' + FIG_FONT;
    return measure.measureText(text).width;
  }
  function textLength(node, fs) { return textWidth(node.textContent, fs, node.getAttribute('font-weight') === 'bold'); }
  // Shortens a text element's content, ending it with an ellipsis, until it
  // is at most `max` long; the element is removed when nothing fits.
  function fitText(node, max, fs) {
    const full = node.textContent;
    if (textLength(node, fs) <= max) return;
    let lo = 0, hi = full.length - 1;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      node.textContent = full.slice(0, mid) + '\u2026';
      if (textLength(node, fs) <= max) lo = mid; else hi = mid - 1;
    }
    if (lo < 2) node.remove(); else node.textContent = full.slice(0, lo) + '\u2026';
  }

  // Caption lines within `width`: each caption (the first one bold) broken
  // after its ". ", "; " or "/ " where it is too long; a piece still too long is
  // shortened when drawn. Returns [{text, bold}].
  function wrapCaptions(captions, width, fs) {
    const lines = [];
    captions.forEach(function (caption, c) {
      const bold = c === 0, pieces = caption.split(/(?<=[.;/] )/);
      let line = '';
      for (const piece of pieces) {
        if (line !== '' && textWidth(line + piece, fs, bold) > width) { lines.push({ text: line.trimEnd(), bold: bold }); line = ''; }
        line += piece;
      }
      lines.push({ text: line, bold: bold });
    });
    return lines;
  }

  // Lanes of one kind's windows: sorted by start (longer first), each goes
  // to the first lane whose last window ends before it starts, which uses
  // as few lanes as the deepest overlap. Returns the lane of each window.
  function lanesOf(wins) {
    const order = wins.map(function (w, j) { return j; });
    order.sort(function (a, b) { return wins[a].start - wins[b].start || wins[b].size - wins[a].size; });
    const ends = [], lane = new Array(wins.length);
    for (const j of order) {
      let l = 0;
      while (l < ends.length && ends[l] >= wins[j].start) l++;
      ends[l] = wins[j].end;
      lane[j] = l;
    }
    return { lane: lane, count: ends.length };
  }

  function windowText(w) {
    return (w.kind === 'max' ? 'final maximum' : 'final minimum') + ' window, positions ' + w.start + '\u2013' +
      w.end + (w.columns ? ' (alignment columns ' + w.columns[0] + '\u2013' + w.columns[1] + ')' : '') +
      ' (size ' + w.size + '), value ' + w.value + ', average ' + (w.value / w.size).toFixed(4) +
      (w.eliminated ? ', eliminated' : '');
  }
  // The alignment column of each position (N numbers), where the data
  // carries them; otherwise the x axis counts positions after gap removal.
  const COLUMNS = Array.isArray(D.columns) && D.columns.length === N ? D.columns : null;
  function xAxisTitle() {
    return COLUMNS ? 'alignment column (gap columns removed from the plot)' :
      'position in the alignment after gap removal (1\u2013' + N + ')';
  }
  function runFacts() { return run.matrix + ', T = ' + run.T + ', seed ' + run.seed; }
  function quartetTitle(i) {
    return 'KELTO quartet ' + (FIRST + i) + ': pair A ' + pairText(pairA[i]) + ', pair B ' + pairText(pairB[i]) +
      '; matrix ' + runFacts();
  }

  // The legend's entries; `mean` is the text of the mean's entry, `scan`
  // whether a scan window is drawn.
  function legendItems(mean, scan) {
    return [['bar', 'C(k)12 at a position'], ['max', 'final maximum window (lanes above the bars)'],
            ['min', 'final minimum window (lanes below the bars)'], ['elim', 'eliminated window (dashed)'],
            ['mean', mean]].concat(scan ? [['scan', 'scan window (family-wise test)']] : []);
  }
  function swatch(kind, x, y, fs) {
    const w = 1.6 * fs, h = 0.75 * fs;
    if (kind === 'bar') return svg('rect', { x: x + 0.55 * fs, y: y, width: 0.5 * fs, height: h, fill: COLOUR.bar });
    if (kind === 'scan') return svg('path', bracketStyle(bracketPath(x, x + w, y, y + h), fs));
    if (kind === 'mean') return svg('line', { x1: x, x2: x + w, y1: y + h / 2, y2: y + h / 2, stroke: COLOUR.mean,
                                              'stroke-width': 0.16 * fs, 'stroke-dasharray': dash(fs) });
    return svg('rect', Object.assign({ x: x, y: y, width: w, height: h }, bandStyle(kind, kind === 'elim', fs)));
  }
  function dash(fs) { return (0.5 * fs).toFixed(2) + ' ' + (0.25 * fs).toFixed(2); }
  // Fill and outline of a window's band: maximum ones solid, minimum ones
  // pale with a solid outline, eliminated ones an outline of dashes only,
  // so that the three differ in greyscale as well.
  function bandStyle(kind, eliminated, fs) {
    const colour = kind === 'min' ? COLOUR.min : kind === 'max' ? COLOUR.max : COLOUR.ink;
    if (eliminated) return { fill: 'none', stroke: colour, 'stroke-width': 0.12 * fs, 'stroke-dasharray': dash(fs) };
    return { fill: colour, 'fill-opacity': kind === 'max' ? 0.9 : 0.3, stroke: colour, 'stroke-width': 0.12 * fs };
  }

  // The scan window's mark: a bracket in ink over its positions, its ends
  // turned towards the bars (from y = far to y = near), unlike the bands of
  // the final windows in shape and colour.
  function bracketPath(x0, x1, far, near) {
    return 'M' + x0.toFixed(2) + ' ' + near.toFixed(2) + 'V' + far.toFixed(2) + 'H' + x1.toFixed(2) + 'V' + near.toFixed(2);
  }
  function bracketStyle(d, fs) {
    return { d: d, fill: 'none', stroke: COLOUR.ink, 'stroke-width': 0.22 * fs, 'stroke-linejoin': 'miter' };
  }

  // Draws the legend in rows from (x, y) within `width`; returns its height.
  function drawLegend(root, x, y, width, fs, mean, scan) {
    const g = svg('g', { class: 'legend' }), pad = 0.4 * fs, row = 1.3 * fs;
    root.appendChild(g);
    const box = svg('rect', { class: 'legend-box', x: x, y: y, width: width, height: 0, fill: '#ffffff',
                              stroke: COLOUR.grid, 'stroke-width': 0.08 * fs });
    g.appendChild(box);
    let cx = x + pad, cy = y + pad;
    for (const [kind, text] of legendItems(mean, scan)) {
      const label = svg('text', { x: 0, y: 0, fill: COLOUR.ink }, text);
      g.appendChild(label);
      const need = 2.1 * fs + textLength(label, fs);
      if (cx > x + pad && cx + need > x + width - pad) { cx = x + pad; cy += row; }
      g.appendChild(swatch(kind, cx, cy + 0.2 * fs, fs));
      label.setAttribute('x', cx + 2.1 * fs);
      label.setAttribute('y', cy + 0.9 * fs);
      fitText(label, x + width - pad - cx - 2.1 * fs, fs);
      cx += need + 1.2 * fs;
    }
    const height = cy + row + pad - y;
    box.setAttribute('height', height);
    return height;
  }

  // The geometry of quartet i's figure from y = top (see drawQuartet).
  function quartetLayout(i, top, opt) {
    const fs = opt.fs, prof = profile(i), d = prof.d, wins = windowsOf(i);
    let lo = 0, hi = 0, sum = 0;
    for (let k = 0; k < N; k++) { if (d[k] < lo) lo = d[k]; if (d[k] > hi) hi = d[k]; sum += d[k]; }
    if (lo === 0 && hi === 0) { lo = -1; hi = 1; }
    const padV = Math.max(1, Math.ceil((hi - lo) * 0.06));
    lo -= padV; hi += padV;
    const L = { i: i, fs: fs, width: opt.width, prof: prof, wins: wins, mean: sum / N, lo: lo, hi: hi,
                yt: ticks(Math.ceil(lo), Math.floor(hi), 6), lh: 1.25 * fs, pad: 0.5 * fs, laneH: 0.8 * fs,
                laneGap: 0.35 * fs, tick: 0.35 * fs,
                maxLanes: lanesOf(wins.filter(function (w) { return w.kind === 'max'; })),
                minLanes: lanesOf(wins.filter(function (w) { return w.kind === 'min'; })), scan: scanWindowOf(i) };
    // The scan window's lane lies beyond the final windows' lanes of its side.
    const scanLanes = function (side) { return L.scan && L.scan.side === side ? 1 : 0; };
    const strip = function (n) { return n ? n * (L.laneH + L.laneGap) + L.laneGap : 0; };
    const tickWidth = Math.max.apply(null, L.yt.map(function (t) { return textWidth(String(t), fs); }));
    L.left = L.pad + 2 * L.lh + tickWidth + 0.8 * fs;
    L.plotW = opt.width - L.left - Math.max(0.8 * fs, textWidth(String(COLUMNS ? COLUMNS[N - 1] : N), fs) / 2 + 0.3 * fs);
    L.band = L.plotW / N;
    const captions = (opt.caption || []).slice();
    if (opt.meanInCaption) captions[captions.length - 1] += '; mean C(k)12 = ' + L.mean.toFixed(4);
    L.captions = wrapCaptions(captions, opt.width - 2 * L.pad, fs);
    L.frameTop = top + L.pad + L.captions.length * L.lh + (L.captions.length ? 0.4 * fs : 0);
    L.barsTop = L.frameTop + strip(L.maxLanes.count + scanLanes('max'));
    L.barsBottom = L.barsTop + opt.barHeight;
    L.frameBottom = L.barsBottom + strip(L.minLanes.count + scanLanes('min'));
    L.x = function (k) { return L.left + k * L.band; };  // left edge of position k + 1
    L.y = function (v) { return L.barsTop + (hi - v) / (hi - lo) * opt.barHeight; };
    L.height = L.frameBottom + L.tick + fs + L.lh + L.pad - top;
    return L;
  }

  // The frame and what it holds: grid, bars, zero axis, mean, and the
  // windows, one band each in lanes counted outwards from the bars (a small
  // inset keeps windows that meet end to end apart).
  function drawData(g, L) {
    const fs = L.fs, d = L.prof.d, right = L.left + L.plotW, y = L.y, x = L.x;
    g.appendChild(svg('rect', { class: 'frame', x: L.left, y: L.frameTop, width: L.plotW, height: L.frameBottom - L.frameTop,
                                fill: '#ffffff', stroke: COLOUR.ink, 'stroke-width': 0.08 * fs }));
    const grid = svg('g', { stroke: COLOUR.grid, 'stroke-width': 0.08 * fs });
    for (const v of L.yt.map(y).concat([L.barsTop, L.barsBottom]))
      grid.appendChild(svg('line', { x1: L.left, x2: right, y1: v, y2: v }));
    g.appendChild(grid);
    const bars = svg('g', { class: 'bars', fill: COLOUR.bar });
    const gap = L.band > 3 ? Math.min(1, L.band * 0.15) : 0;
    for (let k = 0; k < N; k++) {
      const t = y(Math.max(0, d[k])), b = y(Math.min(0, d[k]));
      bars.appendChild(svg('rect', { class: 'bar', 'data-pos': k + 1, x: x(k) + gap / 2, y: t,
                                     width: Math.max(0.2, L.band - gap), height: b - t }));
    }
    g.appendChild(bars);
    g.appendChild(svg('line', { class: 'zero-axis', x1: L.left, x2: right, y1: y(0), y2: y(0), stroke: COLOUR.ink,
                                'stroke-width': 0.08 * fs }));
    g.appendChild(svg('line', { class: 'mean', x1: L.left, x2: right, y1: y(L.mean), y2: y(L.mean),
                                stroke: COLOUR.mean, 'stroke-width': 0.16 * fs, 'stroke-dasharray': dash(fs) }));
    const winGroup = svg('g', { class: 'windows' }), inset = Math.min(0.15 * fs, L.band * 0.12), step = L.laneH + L.laneGap;
    let nmax = 0, nmin = 0;
    for (const w of L.wins) {
      const lane = w.kind === 'max' ? L.maxLanes.lane[nmax++] : L.minLanes.lane[nmin++];
      const r = svg('rect', Object.assign({ class: 'window', 'data-kind': w.kind, 'data-start': w.start,
                                            'data-end': w.end, 'data-eliminated': w.eliminated ? 'true' : 'false',
                                            'data-lane': lane, x: x(w.start - 1) + inset,
                                            y: w.kind === 'max' ? L.barsTop - (lane + 1) * step : L.barsBottom + L.laneGap + lane * step,
                                            width: Math.max(0.2, w.size * L.band - 2 * inset), height: L.laneH },
                                          bandStyle(w.kind, w.eliminated, fs)));
      r.appendChild(svg('title', null, windowText(w)));
      winGroup.appendChild(r);
    }
    g.appendChild(winGroup);
    const s = L.scan;
    if (s) {
      const lane = s.side === 'max' ? L.maxLanes.count : L.minLanes.count;
      const near = s.side === 'max' ? L.barsTop - lane * step - L.laneGap : L.barsBottom + L.laneGap + lane * step;
      const far = s.side === 'max' ? near - L.laneH : near + L.laneH;
      const mark = svg('path', Object.assign({ class: 'scan-window', 'data-side': s.side, 'data-start': s.start,
                                               'data-end': s.end, 'pointer-events': 'all' },
                                             bracketStyle(bracketPath(x(s.start - 1) + inset, x(s.end) - inset, far, near), fs)));
      mark.appendChild(svg('title', null, scanText(s)));
      g.appendChild(mark);
    }
  }

  // Captions, ticks and axis titles, all outside the frame. The y axis says
  // what C(k)12 is and which pair scores higher on each side of zero (beside
  // that side's bars and lanes); each of its titles takes the first of its
  // texts that fits (the last one shortened).
  function drawAxes(g, L, top) {
    const fs = L.fs, y = L.y, labels = svg('g', { fill: COLOUR.ink }), thin = 0.08 * fs;
    g.appendChild(labels);
    L.captions.forEach(function (line, c) {
      const t = svg('text', { class: 'caption', x: L.pad, y: top + L.pad + (c + 1) * L.lh - 0.3 * fs,
                              'font-weight': line.bold ? 'bold' : 'normal' }, line.text);
      labels.appendChild(t);
      fitText(t, L.width - 2 * L.pad, fs);
    });
    for (const t of L.yt) {
      labels.appendChild(svg('line', { x1: L.left - L.tick, x2: L.left, y1: y(t), y2: y(t), stroke: COLOUR.ink, 'stroke-width': thin }));
      labels.appendChild(svg('text', { x: L.left - L.tick - 0.25 * fs, y: y(t) + 0.35 * fs, 'text-anchor': 'end' }, String(t)));
    }
    for (const t of ticks(1, N, Math.max(2, Math.floor(L.plotW / (5.5 * fs))))) {
      const tx = L.x(t - 1) + L.band / 2;
      labels.appendChild(svg('line', { x1: tx, x2: tx, y1: L.frameBottom, y2: L.frameBottom + L.tick, stroke: COLOUR.ink, 'stroke-width': thin }));
      labels.appendChild(svg('text', { x: tx, y: L.frameBottom + L.tick + fs, 'text-anchor': 'middle' },
                             String(COLUMNS ? COLUMNS[t - 1] : t)));
    }
    const xTitle = svg('text', { x: L.left + L.plotW / 2, y: L.frameBottom + L.tick + fs + L.lh, 'text-anchor': 'middle' },
                       xAxisTitle());
    labels.appendChild(xTitle);
    fitText(xTitle, L.plotW, fs);
    const rotated = function (texts, cx, from, to) {
      const cy = (from + to) / 2, t = svg('text', { x: cx, y: cy, 'text-anchor': 'middle',
                                                    transform: 'rotate(-90 ' + cx + ' ' + cy + ')' });
      labels.appendChild(t);
      for (const text of texts) {
        t.textContent = text;
        if (textLength(t, fs) <= to - from - 0.3 * fs) return;
      }
      fitText(t, to - from - 0.3 * fs, fs);
    };
    rotated(['C(k)12 = score of pair A \u2212 score of pair B', 'C(k)12 = pair A \u2212 pair B score', 'C(k)12'],
            L.pad + 0.9 * fs, L.frameTop, L.frameBottom);
    const y0 = y(0), i = L.i;
    for (const [name, p, from, to] of [['A', pairA[i], L.frameTop, y0], ['B', pairB[i], y0, L.frameBottom]])
      if (to - from > 2.5 * fs) rotated(['pair ' + name + ' higher: ' + pairText(p), 'pair ' + name + ' higher', name + ' higher'],
                                        L.pad + 0.9 * fs + L.lh, from, to);
  }

  // Draws quartet i's figure into `root` from y = top; returns its geometry
  // and height. opt: width, fs, barHeight, caption (lines above the frame),
  // meanInCaption (the mean's value ends the caption), legend (true: below
  // the figure, with the mean's value).
  function drawQuartet(root, i, top, opt) {
    const L = quartetLayout(i, top, opt), g = svg('g', { class: 'quartet-figure', 'data-q': FIRST + i });
    root.appendChild(g);
    drawData(g, L);
    drawAxes(g, L, top);
    if (opt.legend)
      L.height += drawLegend(g, L.pad, top + L.height, L.width - 2 * L.pad, L.fs, 'mean C(k)12 = ' + L.mean.toFixed(4),
                             L.scan !== null) + L.pad;
    return L;
  }

  function newFigure(width, fs) {
    return svg('svg', { xmlns: SVG_NS, 'font-family': FIG_FONT, 'font-size': fs.toFixed(3), width: width });
  }
  function finishFigure(root, title, width, height) {
    root.insertBefore(svg('title', null, title), root.firstChild);
    root.insertBefore(svg('rect', { x: 0, y: 0, width: width, height: height, fill: '#ffffff' }), root.children[1]);
    root.setAttribute('viewBox', '0 0 ' + width.toFixed(2) + ' ' + height.toFixed(2));
    root.setAttribute('width', (width / MM).toFixed(2) + 'mm');
    root.setAttribute('height', (height / MM).toFixed(2) + 'mm');
    return root;
  }
  function figureSize(widthMm) {
    const width = widthMm * MM, fs = 7 * 96 / 72;  // 7 pt text at print size
    return { width: width, fs: fs, barHeight: Math.max(100, Math.min(220, width * 0.36)) };
  }

  // Quartet i as a figure `widthMm` wide: title, caption, plot and legend.
  function quartetFigure(i, widthMm) {
    const size = figureSize(widthMm), root = newFigure(size.width, size.fs);
    const drawn = drawQuartet(root, i, 0, Object.assign({ legend: true, caption: [
      'Quartet ' + (FIRST + i) + '. Pair A: ' + pairText(pairA[i]) + '; pair B: ' + pairText(pairB[i]),
      'Matrix ' + runFacts()] }, size));
    return finishFigure(root, quartetTitle(i), size.width, drawn.height);
  }
  // Several quartets stacked, (a), (b), ..., with one heading and one legend.
  function panelFigure(list, widthMm) {
    const size = figureSize(widthMm), fs = size.fs, root = newFigure(size.width, fs);
    const heading = svg('text', { class: 'caption', x: 0.5 * fs, y: 1.25 * fs, 'font-weight': 'bold', fill: COLOUR.ink },
                        'KELTO quartets ' + list.map(function (i) { return FIRST + i; }).join(', ') + '. Matrix ' + runFacts());
    root.appendChild(heading);
    fitText(heading, size.width - fs, fs);
    let top = 1.6 * fs;
    const names = [];
    list.forEach(function (i, n) {
      const letter = '(' + String.fromCharCode(97 + n % 26) + ') ';
      const drawn = drawQuartet(root, i, top, Object.assign({}, size, { barHeight: size.barHeight * 0.75, meanInCaption: true, caption: [
        letter + 'quartet ' + (FIRST + i) + '. Pair A: ' + pairText(pairA[i]) + '; pair B: ' + pairText(pairB[i])] }));
      names.push((FIRST + i) + ': pair A ' + pairText(pairA[i]) + ', pair B ' + pairText(pairB[i]));
      top += drawn.height;
    });
    top += drawLegend(root, 0.5 * fs, top, size.width - fs, fs, 'mean C(k)12 of the quartet (value in its caption)',
                      list.some(function (i) { return scanWindowOf(i) !== null; })) + 0.5 * fs;
    return finishFigure(root, 'KELTO quartets ' + names.join('; ') + '; matrix ' + runFacts(), size.width, top);
  }

  // The figure as an SVG file; control characters of record names, which
  // XML does not allow, become U+FFFD.
  function svgText(root) {
    return '<?xml version="1.0" encoding="UTF-8"?>\n' +
      new XMLSerializer().serializeToString(root).replace(/[\u0000-\u0008\u000b\u000c\u000e-\u001f]/g, '\ufffd') + '\n';
  }
