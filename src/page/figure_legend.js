// Part of the page's script: the files named at the markers of page.html form one closure,
// put into it when it is compiled in. This part: the figures' marks of windows and their legend.
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

  // What a figure shows, for its legend: {max, min, elim, scan} of the
  // quartets drawn (final windows of each kind, eliminated ones, a scan window).
  function shownKinds(list) {
    const shown = { max: false, min: false, elim: false, scan: false };
    for (const i of list) {
      for (const w of windowsOf(i)) { shown[w.kind] = true; if (w.eliminated) shown.elim = true; }
      if (scanWindowOf(i) !== null) shown.scan = true;
    }
    return shown;
  }
  // The legend's entries [kind, long text, short text] for what is shown;
  // `mean` is the mean's entry as [long, short].
  function legendItems(shown, mean) {
    const all = [['bar', 'C(k)12 at a position', 'C(k)12'],
                 ['max', 'final maximum window (bands above the plot)', 'maximum window'],
                 ['min', 'final minimum window (bands below the plot)', 'minimum window'],
                 ['elim', 'eliminated window (dashed)', 'eliminated'], ['mean', mean[0], mean[1]],
                 ['scan', 'scan window (family-wise test)', 'scan window']];
    return all.filter(function (item) { return shown[item[0]] === undefined || shown[item[0]]; });
  }
  function swatch(kind, x, y, fs) {
    const w = 1.6 * fs, h = 0.75 * fs;
    if (kind === 'bar') return svg('rect', { x: x + 0.55 * fs, y: y, width: 0.5 * fs, height: h, fill: COLOUR.bar });
    if (kind === 'scan') return svg('path', bracketStyle(bracketPath(x, x + w, y, y + h), fs));
    if (kind === 'mean') return svg('line', { x1: x, x2: x + w, y1: y + h / 2, y2: y + h / 2, stroke: COLOUR.mean,
                                              'stroke-width': 0.16 * fs, 'stroke-dasharray': dash(fs) });
    return svg('rect', Object.assign({ x: x, y: y, width: w, height: h }, bandStyle(kind, kind === 'elim', fs)));
  }

  // Draws the legend in rows from (x, y) within `width`; returns its height.
  // The long texts are used where they fit in one row, else the short ones
  // (a narrow figure keeps its legend to a row or two).
  function drawLegend(root, x, y, width, fs, shown, mean) {
    const g = svg('g', { class: 'legend' }), pad = 0.4 * fs, row = 1.3 * fs, sw = 2.1 * fs, space = 1.2 * fs;
    root.appendChild(g);
    const box = svg('rect', { class: 'legend-box', x: x, y: y, width: width, height: 0, fill: '#ffffff',
                              stroke: COLOUR.grid, 'stroke-width': 0.08 * fs });
    g.appendChild(box);
    const items = legendItems(shown, mean);
    const oneRow = items.reduce(function (sum, item) { return sum + sw + textWidth(item[1], fs) + space; }, -space);
    const texts = items.map(function (item) { return oneRow <= width - 2 * pad ? item[1] : item[2]; });
    let cx = x + pad, cy = y + pad;
    items.forEach(function (item, n) {
      const label = svg('text', { class: 'legend-entry', 'data-kind': item[0], x: 0, y: 0, fill: COLOUR.ink });
      setFigureText(label, texts[n]);
      g.appendChild(label);
      const need = sw + textLength(label, fs);
      if (cx > x + pad && cx + need > x + width - pad) { cx = x + pad; cy += row; }
      g.appendChild(swatch(item[0], cx, cy + 0.2 * fs, fs));
      label.setAttribute('x', cx + sw);
      label.setAttribute('y', cy + 0.9 * fs);
      fitText(label, x + width - pad - cx - sw, fs);
      cx += need + space;
    });
    const height = cy + row + pad - y;
    box.setAttribute('height', height);
    return height;
  }
