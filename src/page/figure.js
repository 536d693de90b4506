  // ---- Figures: a quartet's C(k)12 profile as SVG, on the page and for export ----
  // Inserted into the page's script, in the scope of its data and helpers.
  // One layout serves the page's plot and the exported figures: every length
  // follows from the font size `fs` (SVG user units, CSS pixels), so a figure
  // at a journal column width keeps readable text. The frame holds the data
  // only (bars, y grid, zero and mean). Window bands lie apart from it,
  // beyond a gap: lanes of final maximum windows above the frame, of final
  // minimum windows below it, and beyond those, on its side, a lane with the
  // bracket of the scan window. The x axis runs below all of them; all text
  // and the legend lie outside the frame.
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
    if (lo < 2) node.remove(); else setFigureText(node, full.slice(0, lo) + '\u2026');
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

  // Lanes of one kind's bands: sorted by start (longer first), each goes
  // to the first lane whose last band reaches no further than before it
  // starts (a band's reach, from..reach, includes a count set beside it),
  // which uses as few lanes as the deepest overlap. Returns the lane of each band.
  function lanesOf(bands) {
    const order = bands.map(function (w, j) { return j; });
    order.sort(function (a, b) { return bands[a].from - bands[b].from || bands[b].size - bands[a].size; });
    const ends = [], lane = new Array(bands.length);
    for (const j of order) {
      let l = 0;
      while (l < ends.length && ends[l] >= bands[j].from) l++;
      ends[l] = bands[j].reach;
      lane[j] = l;
    }
    return { lane: lane, count: ends.length };
  }

  // Near-duplicate final windows drawn as one band: windows of one kind and
  // elimination whose starts and ends each differ by at most 2 positions
  // from every other window of the band. Each band: {kind, eliminated,
  // start, end, size, reach, members}; a window joins the first band that
  // takes it, in the order of starts.
  const NEAR = 2;
  function bandsOf(wins) {
    const order = wins.slice().sort(function (a, b) { return a.start - b.start || a.end - b.end; }), bands = [];
    for (const w of order) {
      const band = bands.find(function (b) {
        return b.kind === w.kind && b.eliminated === w.eliminated && b.members.every(function (m) {
          return Math.abs(m.start - w.start) <= NEAR && Math.abs(m.end - w.end) <= NEAR;
        });
      });
      if (band) band.members.push(w);
      else bands.push({ kind: w.kind, eliminated: w.eliminated, members: [w] });
    }
    for (const b of bands) {
      b.start = Math.min.apply(null, b.members.map(function (m) { return m.start; }));
      b.end = Math.max.apply(null, b.members.map(function (m) { return m.end; }));
      b.size = b.end - b.start + 1;
      b.from = b.start;
      b.reach = b.end;
    }
    return bands;
  }
  // The count of a band of several windows, "×n": inside the band where it
  // fits, else beside its end, or its start at the plot's right end (the
  // band then reaches over it).
  function placeCount(b, L) {
    if (b.members.length < 2) return;
    const width = textWidth('\u00d7' + b.members.length, 0.85 * L.fs, true) + 0.4 * L.fs, over = Math.ceil(width / L.band);
    b.countAt = width <= b.size * L.band ? 'inside' : b.end + over <= N ? 'after' : 'before';
    if (b.countAt === 'after') b.reach = b.end + over;
    if (b.countAt === 'before') b.from = b.start - over;
  }

  function windowText(w) {
    return (w.kind === 'max' ? 'final maximum' : 'final minimum') + ' window, positions ' + w.start + '\u2013' +
      w.end + (w.columns ? ' (alignment columns ' + w.columns[0] + '\u2013' + w.columns[1] + ')' : '') +
      ' (size ' + w.size + '), value ' + w.value + ', average ' + (w.value / w.size).toFixed(4) +
      (w.eliminated ? ', eliminated' : '');
  }
  function runFacts() { return run.matrix + ', T = ' + run.T + ', seed ' + run.seed; }
  function quartetTitle(i) {
    return 'KELTO quartet ' + (FIRST + i) + ': pair A ' + pairText(pairA[i]) + ', pair B ' + pairText(pairB[i]) +
      '; matrix ' + runFacts();
  }

  // The geometry of quartet i's figure from y = top (see drawQuartet).
  function quartetLayout(i, top, opt) {
    const fs = opt.fs, prof = profile(i), d = prof.d, wins = windowsOf(i);
    let lo = 0, hi = 0, sum = 0;
    for (let k = 0; k < N; k++) { if (d[k] < lo) lo = d[k]; if (d[k] > hi) hi = d[k]; sum += d[k]; }
    if (lo === 0 && hi === 0) { lo = -1; hi = 1; }
    const padV = Math.max(1, Math.ceil((hi - lo) * 0.06));
    lo -= padV; hi += padV;
    const L = { i: i, fs: fs, width: opt.width, prof: prof, wins: wins, bands: bandsOf(wins), mean: sum / N, lo: lo, hi: hi,
                yt: ticks(Math.ceil(lo), Math.floor(hi), 6), lh: 1.25 * fs, pad: 0.5 * fs, laneH: 0.8 * fs,
                laneGap: 0.35 * fs, tick: 0.35 * fs, sep: 0.7 * fs, scan: scanWindowOf(i) };
    // The scan window's lane lies beyond the final windows' lanes of its side.
    const scanLanes = function (side) { return L.scan && L.scan.side === side ? 1 : 0; };
    const strip = function (n) { return n ? n * (L.laneH + L.laneGap) + L.laneGap + L.sep : 0; };
    const tickWidth = Math.max.apply(null, L.yt.map(function (t) { return textWidth(figureNumber(t), fs); }));
    L.left = L.pad + 2 * L.lh + tickWidth + 1.1 * fs;
    L.plotW = opt.width - L.left - Math.max(0.8 * fs, textWidth(axisLabel(N), fs) / 2 + 0.3 * fs);
    L.band = L.plotW / N;
    for (const b of L.bands) placeCount(b, L);
    L.maxBands = L.bands.filter(function (b) { return b.kind === 'max'; });
    L.minBands = L.bands.filter(function (b) { return b.kind === 'min'; });
    L.maxLanes = lanesOf(L.maxBands);
    L.minLanes = lanesOf(L.minBands);
    const captions = (opt.caption || []).slice();
    if (opt.meanInCaption) captions[captions.length - 1] += '; mean C(k)12 = ' + figureNumber(L.mean.toFixed(4));
    L.captions = wrapCaptions(captions, opt.width - 2 * L.pad, fs);
    L.frameTop = top + L.pad + L.captions.length * L.lh + (L.captions.length ? 0.4 * fs : 0);
    // frameTop..frameBottom: the bands and the plot; barsTop..barsBottom:
    // the plot; the bands lie beyond upperEdge and lowerEdge.
    const upper = strip(L.maxLanes.count + scanLanes('max')), lower = strip(L.minLanes.count + scanLanes('min'));
    L.barsTop = L.frameTop + upper;
    L.barsBottom = L.barsTop + opt.barHeight;
    L.frameBottom = L.barsBottom + lower;
    L.upperEdge = L.barsTop - (upper ? L.sep : 0);
    L.lowerEdge = L.barsBottom + (lower ? L.sep : 0);
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
    g.appendChild(svg('rect', { class: 'frame', x: L.left, y: L.barsTop, width: L.plotW, height: L.barsBottom - L.barsTop,
                                fill: '#ffffff', stroke: COLOUR.ink, 'stroke-width': 0.08 * fs }));
    const grid = svg('g', { stroke: COLOUR.grid, 'stroke-width': 0.08 * fs });
    for (const v of L.yt.map(y))
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
    for (const w of L.bands) {
      const lane = w.kind === 'max' ? L.maxLanes.lane[L.maxBands.indexOf(w)] : L.minLanes.lane[L.minBands.indexOf(w)];
      const top = w.kind === 'max' ? L.upperEdge - (lane + 1) * step : L.lowerEdge + L.laneGap + lane * step;
      const r = svg('rect', Object.assign({ class: 'window', 'data-kind': w.kind, 'data-start': w.start,
                                            'data-end': w.end, 'data-eliminated': w.eliminated ? 'true' : 'false',
                                            'data-members': w.members.map(function (m) { return m.start + '-' + m.end; }).join(' '),
                                            'data-lane': lane, x: x(w.start - 1) + inset, y: top,
                                            width: Math.max(0.2, w.size * L.band - 2 * inset), height: L.laneH },
                                          bandStyle(w.kind, w.eliminated, fs)));
      r.appendChild(svg('title', null, w.members.map(windowText).join('\n')));
      winGroup.appendChild(r);
      if (w.members.length > 1) {
        const solid = w.kind === 'max' && !w.eliminated;
        const at = w.countAt, inside = at === 'inside';
        winGroup.appendChild(svg('text', { class: 'window-count', y: top + L.laneH / 2 + 0.3 * fs,
                                           x: inside ? x(w.start - 1) + w.size * L.band / 2 : at === 'after' ? x(w.end) + 0.2 * fs : x(w.start - 1) - 0.2 * fs,
                                           'font-size': (0.85 * fs).toFixed(3), 'font-weight': 'bold', 'pointer-events': 'none',
                                           'text-anchor': inside ? 'middle' : at === 'after' ? 'start' : 'end',
                                           fill: solid && inside ? '#ffffff' : COLOUR.ink }, '\u00d7' + w.members.length));
      }
    }
    g.appendChild(winGroup);
    const s = L.scan;
    if (s) {
      const lane = s.side === 'max' ? L.maxLanes.count : L.minLanes.count;
      const near = s.side === 'max' ? L.upperEdge - lane * step - L.laneGap : L.lowerEdge + L.laneGap + lane * step;
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
                              'font-weight': line.bold ? 'bold' : 'normal' });
      setFigureText(t, line.text);
      labels.appendChild(t);
      fitText(t, L.width - 2 * L.pad, fs);
    });
    for (const t of L.yt) {
      labels.appendChild(svg('line', { x1: L.left - L.tick, x2: L.left, y1: y(t), y2: y(t), stroke: COLOUR.ink, 'stroke-width': thin }));
      labels.appendChild(svg('text', { class: 'y-tick-label', x: L.left - L.tick - 0.25 * fs, y: y(t) + 0.35 * fs,
                                       'text-anchor': 'end' }, figureNumber(t)));
    }
    drawXAxis(labels, L);
    const rotated = function (texts, cx, from, to) {
      const cy = (from + to) / 2, t = svg('text', { x: cx, y: cy, 'text-anchor': 'middle',
                                                    transform: 'rotate(-90 ' + cx + ' ' + cy + ')' });
      labels.appendChild(t);
      for (const text of texts) {
        setFigureText(t, text);
        if (textLength(t, fs) <= to - from - 0.3 * fs) return;
      }
      fitText(t, to - from - 0.3 * fs, fs);
    };
    rotated(['C(k)12 = score of pair A \u2212 score of pair B', 'C(k)12 = pair A \u2212 pair B score', 'C(k)12'],
            L.pad + 0.9 * fs, L.barsTop, L.barsBottom);
    const y0 = y(0), i = L.i;
    for (const [name, p, from, to] of [['A', pairA[i], L.frameTop, y0], ['B', pairB[i], y0, L.frameBottom]])
      if (to - from > 2.5 * fs) rotated(['pair ' + name + ' higher: ' + pairText(p), 'pair ' + name + ' higher', name + ' higher'],
                                        L.pad + 1.2 * fs + L.lh, from, to);
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
      L.height += drawLegend(g, L.pad, top + L.height, L.width - 2 * L.pad, L.fs, shownKinds([i]),
                             ['mean C(k)12 = ' + figureNumber(L.mean.toFixed(4)), 'mean ' + figureNumber(L.mean.toFixed(4))]) + L.pad;
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

  // A quartet's title and subtitle: its pairs; the matrix, T, the seed and
  // its family-wise p-value with its q-values.
  function quartetCaptions(i) {
    return ['Quartet ' + (FIRST + i) + '. Pair A: ' + pairText(pairA[i]) + '; pair B: ' + pairText(pairB[i]),
            'Matrix ' + runFacts() + familyCaption(i)];
  }

  // Quartet i as a figure `widthMm` wide: title, caption, plot and legend.
  function quartetFigure(i, widthMm) {
    const size = figureSize(widthMm), root = newFigure(size.width, size.fs);
    const drawn = drawQuartet(root, i, 0, Object.assign({ legend: true, caption: quartetCaptions(i) }, size));
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
        letter + 'quartet ' + (FIRST + i) + '. Pair A: ' + pairText(pairA[i]) + '; pair B: ' + pairText(pairB[i]) +
        familyCaption(i)] }));
      names.push((FIRST + i) + ': pair A ' + pairText(pairA[i]) + ', pair B ' + pairText(pairB[i]));
      top += drawn.height;
    });
    top += drawLegend(root, 0.5 * fs, top, size.width - fs, fs, shownKinds(list),
                      ['mean C(k)12 of the quartet (value in its caption)', 'mean (in caption)']) + 0.5 * fs;
    return finishFigure(root, 'KELTO quartets ' + names.join('; ') + '; matrix ' + runFacts(), size.width, top);
  }

  // The figure as an SVG file; control characters of record names, which
  // XML does not allow, become U+FFFD.
  function svgText(root) {
    return '<?xml version="1.0" encoding="UTF-8"?>\n' +
      new XMLSerializer().serializeToString(root).replace(/[\u0000-\u0008\u000b\u000c\u000e-\u001f]/g, '\ufffd') + '\n';
  }
