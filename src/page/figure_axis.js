// Part of the page's script: the files named at the markers of page.html form one closure,
// put into it when it is compiled in. This part: the figures' x axis (alignment columns, or one
// record's residue numbers, with breaks where columns were removed) and their typesetting of
// numbers and C(k)12.
  // The alignment column of each position (N numbers), where the data
  // carries them; otherwise the x axis counts positions after gap removal.
  const COLUMNS = Array.isArray(D.columns) && D.columns.length === N ? D.columns : null;
  // The x axis: alignment columns (record null) or the residue numbers of
  // one record, in its own coordinates.
  const AXIS = { record: null, numbers: null };
  function setAxisRecord(r) {
    AXIS.record = r;
    AXIS.numbers = null;
    if (r === null || residueAt(r, 0) === null) { AXIS.record = null; return; }
    AXIS.numbers = new Array(N);
    for (let k = 0; k < N; k++) AXIS.numbers[k] = residueAt(r, k);
  }
  function axisNumbers() { return AXIS.record === null ? COLUMNS : AXIS.numbers; }
  // Positions k (1..N-1) after which numbers jump (columns were removed):
  // the bars stay evenly spaced, so the axis breaks between k and k + 1.
  function axisBreaks() {
    const numbers = axisNumbers(), out = [];
    if (numbers) for (let k = 1; k < N; k++) if (numbers[k] - numbers[k - 1] > 1) out.push(k);
    return out;
  }
  function skipped(breaks) {
    const numbers = axisNumbers();
    let inside = 0;
    for (const k of breaks) inside += numbers[k] - numbers[k - 1] - 1;
    return inside;
  }
  // Columns removed: as the run counts them, or at least those between positions.
  function xAxisTitle(breaks) {
    if (AXIS.record !== null) {
      const n = skipped(breaks);
      return 'residue number in ' + recordName(AXIS.record) +
        (n === 0 ? '' : ' (' + n + ' residue' + (n === 1 ? '' : 's') + ' removed between positions; breaks marked)');
    }
    if (!COLUMNS) return 'position in the alignment after gap removal (1\u2013' + N + ')';
    const removed = Math.max(skipped(breaks), typeof run.gap_columns === 'number' ? run.gap_columns : 0);
    return removed === 0 ? 'alignment column' :
      'alignment column (' + removed + ' column' + (removed === 1 ? '' : 's') + ' removed; breaks marked)';
  }
  function axisLabel(k) { const numbers = axisNumbers(); return String(numbers ? numbers[k - 1] : k); }

  // A number as a figure sets it: a true minus sign, also in an exponent.
  function figureNumber(text) { return String(text).replace(/-/g, '\u2212'); }
  // Sets a figure's text, C(k)12 with its 12 as a subscript.
  function setFigureText(node, text) {
    node.replaceChildren();
    const parts = String(text).split('C(k)12');
    parts.forEach(function (part, n) {
      if (n > 0) {
        node.appendChild(document.createTextNode('C(k)'));
        node.appendChild(svg('tspan', { class: 'subscript', 'baseline-shift': 'sub', 'font-size': '70%' }, '12'));
      }
      if (part !== '') node.appendChild(document.createTextNode(part));
    });
  }

  // The x axis below the plot and its window bands: a line, a tick and
  // label under the middle of each chosen position, and a break mark (two
  // slanted strokes over a gap in the line) between positions where columns
  // were removed.
  function drawXAxis(labels, L) {
    const fs = L.fs, thin = 0.08 * fs, base = L.frameBottom, right = L.left + L.plotW;
    const axis = svg('g', { class: 'x-axis', stroke: COLOUR.ink, 'stroke-width': thin });
    labels.appendChild(axis);
    axis.appendChild(svg('line', { class: 'x-axis-line', x1: L.left, x2: right, y1: base, y2: base }));
    const half = Math.min(0.3 * fs, Math.max(0.2 * fs, L.band * 0.45)), h = 0.55 * fs, breaks = axisBreaks();
    for (const k of breaks) {
      const bx = L.x(k), mark = svg('g', { class: 'axis-break', 'data-after': k });
      mark.appendChild(svg('rect', { x: bx - half / 2, y: base - h / 2, width: half, height: h, fill: '#ffffff', stroke: 'none' }));
      for (const dx of [-half / 2, half / 2])
        mark.appendChild(svg('line', { x1: bx + dx - 0.25 * half, x2: bx + dx + 0.25 * half, y1: base + h / 2, y2: base - h / 2,
                                       'stroke-width': 1.5 * thin }));
      axis.appendChild(mark);
    }
    for (const t of ticks(1, N, Math.max(2, Math.floor(L.plotW / (5.5 * fs))))) {
      const tx = L.x(t - 1) + L.band / 2;
      axis.appendChild(svg('line', { class: 'x-tick', 'data-pos': t, x1: tx, x2: tx, y1: base, y2: base + L.tick }));
      labels.appendChild(svg('text', { class: 'x-tick-label', 'data-pos': t, x: tx, y: base + L.tick + fs,
                                       'text-anchor': 'middle' }, axisLabel(t)));
    }
    const title = svg('text', { class: 'x-title', x: L.left + L.plotW / 2, y: base + L.tick + fs + L.lh,
                                'text-anchor': 'middle' }, xAxisTitle(breaks));
    labels.appendChild(title);
    const centre = L.left + L.plotW / 2;  // the title may reach beyond the plot's ends, not the figure's
    fitText(title, 2 * Math.min(centre - L.pad, L.width - L.pad - centre), fs);
  }
