// Part of the page's script: the files named at the markers of page.html form one closure,
// put into it when it is compiled in. This part: the chosen quartet: facts, plot, pointing,
// exports, figures of several quartets, and the start.
  // ---- The chosen quartet: facts, profile plot, windows ----
  const plot = document.getElementById('profile-plot');
  const PLOT_SIZE = { width: 1000, fs: 12, barHeight: 250 };
  let current = null;  // {i, prof, wins, mean, left, band, frameTop, frameBottom}

  // Choosing a quartet goes through the fragment, so that the back button
  // returns to the one before; the plot is then brought into view.
  function choose(i) {
    if (location.hash !== '#q=' + (FIRST + i)) {
      location.hash = '#q=' + (FIRST + i);  // the hashchange handler draws it
    } else {
      showQuartet(i);
      reveal();
    }
  }
  function fromHash() {
    const m = /^#q=(\d+)$/.exec(location.hash);
    const note = document.getElementById('page-note');
    note.textContent = '';
    if (NQ === 0) { showQuartet(-1); return; }
    let i = 0, named = false;
    if (m) {
      const q = Number(m[1]);
      named = q >= FIRST && q < FIRST + NQ;
      if (named) i = q - FIRST;
      else note.textContent = 'Quartet ' + m[1] + ' is not in this run; showing quartet ' + FIRST + '.';
    }
    // The list and the overview turn to the rows holding the quartet.
    const r = view.indexOf(i);
    if (r >= 0) {
      listPage = Math.floor(r / LIST_ROWS);
      if (r < overviewFirst || r >= overviewFirst + overviewRows) overviewFirst = Math.floor(r / overviewRows) * overviewRows;
    }
    const fromList = document.activeElement && document.activeElement.closest &&
                     document.activeElement.closest('#quartet-rows') !== null;
    showQuartet(i);
    if (named) reveal();
    if (fromList) plot.focus({ preventScroll: true });
  }
  // Scrolls the quartet's heading to the top of the window, or the plot to
  // its bottom where heading and plot do not fit together.
  function reveal() {
    document.getElementById('quartet-section').scrollIntoView({ block: 'start' });
    if (plot.getBoundingClientRect().bottom > window.innerHeight) plot.scrollIntoView({ block: 'end' });
  }

  function showQuartet(i) {
    chosen = i;
    const section = document.getElementById('quartet-section');
    const facts = document.getElementById('quartet-facts');
    const note = document.getElementById('quartet-note');
    facts.replaceChildren();
    note.textContent = '';
    document.getElementById('window-rows').replaceChildren();
    plot.replaceChildren();
    if (i < 0) {
      section.setAttribute('data-chosen', '');
      document.getElementById('quartet-heading').textContent = 'Quartet';
      note.textContent = 'The record holds no quartet.';
      current = null;
      updatePanelControls();
      return;
    }
    const q = FIRST + i, prof = profile(i), wins = windowsOf(i), flags = Q[5 * i + 4];
    section.setAttribute('data-chosen', String(q));
    document.getElementById('quartet-heading').textContent = 'Quartet ' + q;
    let sum = 0;
    for (let k = 0; k < N; k++) sum += prof.d[k];
    const mean = sum / N;
    let squares = 0;
    for (let k = 0; k < N; k++) squares += (prof.d[k] - mean) * (prof.d[k] - mean);
    const std = N > 1 ? Math.sqrt(squares / (N - 1)) : NaN;
    function fact(k, v) { facts.appendChild(el('div', { class: 'k' }, k)); facts.appendChild(el('div', { class: 'v' }, v)); }
    fact('Pair A (' + pairA[i] + ')', pairFull(pairA[i]));
    fact('Pair B (' + pairB[i] + ')', pairFull(pairB[i]));
    fact('Significant windows', Q[5 * i + 2] + ' maximum, ' + Q[5 * i + 3] + ' minimum');
    fact('Final windows', Q[5 * i] + ' maximum, ' + Q[5 * i + 1] + ' minimum (eliminated ones included)');
    for (const [k, v] of familyFacts(i)) fact(k, v);
    fact('Mean of C(k)12', fixed(mean, 4));
    fact('Standard deviation', fixed(std, 4));
    if (flags & 1) note.textContent = 'Identical sequences: C(k)12 is zero at every position.';
    if (flags >> 1) note.textContent = 'This quartet stopped the run (' + STOPS[flags >> 1] +
      '): the filters never ran, so it has no final windows.';
    current = { i: i, prof: prof, wins: wins, mean: mean };
    axisChoices(i);
    drawPlot();
    fillWindowTable(prof, wins);
    renderList();
    renderOverview();
  }

  function windowErr(d, w) {
    const avg = w.value / w.size;
    let squares = 0;
    for (let k = w.start - 1; k < w.end; k++) squares += (d[k] - avg) * (d[k] - avg);
    return Math.sqrt(squares) / Math.sqrt(w.size - 1) / Math.sqrt(w.size);
  }
  function fillWindowTable(prof, wins) {
    const body = document.getElementById('window-rows');
    for (const w of wins) {
      const tr = el('tr', { 'data-kind': w.kind });
      const cells = [w.kind === 'max' ? 'maximum' : 'minimum', String(w.size), w.start + '\u2013' + w.end,
                     String(w.value), String(w.count), (w.count / run.T * 100).toFixed(4) + ' %',
                     (w.value / w.size).toFixed(4), fixed(windowErr(prof.d, w), 4), w.eliminated ? 'yes' : 'no',
                     formatP(w.p_value), formatP(w.p_family),
                     w.columns ? w.columns[0] + '\u2013' + w.columns[1] : '\u2013',
                     w.residues.map(spanText).join(', ')];
      cells.forEach(function (text, c) {
        tr.appendChild(el('td', (c > 0 && c < 8) || (c > 8 && c < 12) ? { class: 'num' } : null, text));
      });
      body.appendChild(tr);
    }
    if (wins.length === 0) {
      const tr = el('tr');
      tr.appendChild(el('td', { colspan: '13' }, 'No final window.'));
      body.appendChild(tr);
    }
  }

  // The x axis's choices: alignment columns, or the residue numbers of one
  // of the quartet's records (kept while the next quartet has that record).
  const axisSelect = document.getElementById('fig-axis');
  function axisChoices(i) {
    const records = [2 * pairA[i], 2 * pairA[i] + 1, 2 * pairB[i], 2 * pairB[i] + 1];
    axisSelect.replaceChildren(el('option', { value: '' }, 'alignment column'));
    for (const r of records)
      if (residueAt(r, 0) !== null) axisSelect.appendChild(el('option', { value: String(r) }, 'residue numbers of ' + recordName(r)));
    const keep = AXIS.record !== null && records.includes(AXIS.record) && residueAt(AXIS.record, 0) !== null;
    axisSelect.value = keep ? String(AXIS.record) : '';
    setAxisRecord(keep ? AXIS.record : null);
  }
  axisSelect.addEventListener('change', function () {
    setAxisRecord(axisSelect.value === '' ? null : Number(axisSelect.value));
    if (current) showQuartet(current.i);
  });

  // The page's plot: the same figure as an export, at screen size.
  function drawPlot() {
    const i = current.i;
    plot.setAttribute('font-family', FIG_FONT);
    plot.setAttribute('font-size', String(PLOT_SIZE.fs));
    plot.setAttribute('width', String(PLOT_SIZE.width));
    plot.appendChild(svg('title', null, quartetTitle(i)));
    const back = svg('rect', { x: 0, y: 0, width: PLOT_SIZE.width, height: 0, fill: '#ffffff' });
    plot.appendChild(back);
    const drawn = drawQuartet(plot, i, 0, Object.assign({ legend: true, caption: quartetCaptions(i) }, PLOT_SIZE));
    back.setAttribute('height', drawn.height);
    plot.setAttribute('aria-label', 'C(k)12 profile of quartet ' + (FIRST + i) + ' with ' + Q[5 * i] +
                      ' final maximum and ' + Q[5 * i + 1] + ' final minimum windows (listed in the table below)' +
                      (drawn.scan ? ' and its scan window at positions ' + drawn.scan.start + '\u2013' + drawn.scan.end : ''));
    plot.setAttribute('viewBox', '0 0 ' + PLOT_SIZE.width + ' ' + drawn.height.toFixed(2));
    plot.setAttribute('height', drawn.height.toFixed(2));
    Object.assign(current, drawn);
    // Hover marks, kept out of a saved file: a position, or a window's extent.
    current.marker = svg('rect', { class: 'hover-marker', x: 0, y: drawn.frameTop, width: drawn.band,
                                   height: drawn.frameBottom - drawn.frameTop, fill: COLOUR.ink, 'fill-opacity': 0.08,
                                   stroke: COLOUR.ink, 'stroke-width': 1, visibility: 'hidden', 'pointer-events': 'none' });
    plot.appendChild(current.marker);
    current.hover = -1;
    updatePanelControls();
  }

  const tooltip = document.getElementById('tooltip');
  const readout = document.getElementById('hover-readout');
  function hoverText(k) {
    const i = current.i, a = pairA[i], b = pairB[i], p = current.prof;
    const r = function (rec) { return D.records[rec].charAt(k); };
    return 'position ' + (k + 1) + '\n' +
      'pair A: ' + r(2 * a) + ' ' + r(2 * a + 1) + '  score ' + p.a[k] + '\n' +
      'pair B: ' + r(2 * b) + ' ' + r(2 * b + 1) + '  score ' + p.b[k] + '\n' +
      'C(k)12 = ' + p.d[k];
  }
  // The final windows and the scan window over position k, for the readout.
  function windowsAt(k) {
    const over = current.wins.filter(function (w) { return w.start <= k + 1 && k + 1 <= w.end; });
    const scan = current.scan && current.scan.start <= k + 1 && k + 1 <= current.scan.end;
    return (over.length === 0 ? '' : '   in final windows: ' + over.map(function (w) {
      return (w.kind === 'max' ? 'maximum ' : 'minimum ') + w.start + '\u2013' + w.end + (w.eliminated ? ' (eliminated)' : '');
    }).join(', ')) + (scan ? '   in the scan window' : '');
  }
  function showTip(text, clientX, clientY) {
    const wrap = document.getElementById('plot-wrap').getBoundingClientRect();
    tooltip.textContent = text;
    tooltip.style.display = 'block';
    const left = Math.min(clientX - wrap.left + 14, wrap.width - tooltip.offsetWidth - 4);
    tooltip.style.left = Math.max(0, left) + 'px';
    tooltip.style.top = Math.max(0, clientY - wrap.top + 14) + 'px';
  }
  function mark(from, count) {
    current.marker.setAttribute('x', current.left + from * current.band);
    current.marker.setAttribute('width', count * current.band);
    current.marker.setAttribute('visibility', 'visible');
  }
  function hover(k, clientX, clientY) {
    if (!current || k < 0 || k >= N) {
      tooltip.style.display = 'none';
      if (current && current.marker) current.marker.setAttribute('visibility', 'hidden');
      return;
    }
    current.hover = k;
    mark(k, 1);
    const text = hoverText(k);
    readout.textContent = text.replace(/\n/g, '   ') + windowsAt(k);
    if (clientX === undefined) {
      const box = plot.getBoundingClientRect(), scale = box.width / PLOT_SIZE.width;
      clientX = box.left + (current.left + (k + 1) * current.band) * scale;
      clientY = box.top + current.frameTop * scale + 20;
    }
    showTip(text, clientX, clientY);
  }
  // A band of one window or of several near-duplicate ones: each listed.
  function hoverWindow(target, clientX, clientY) {
    const members = target.dataset.members.split(' ');
    const wins = current.wins.filter(function (v) {
      return v.kind === target.dataset.kind && members.includes(v.start + '-' + v.end);
    });
    if (wins.length === 0) return;
    const start = Number(target.dataset.start), end = Number(target.dataset.end);
    mark(start - 1, end - start + 1);
    readout.textContent = wins.map(windowText).join('; ');
    showTip(wins.map(function (w) {
      return windowText(w).replace(', positions', '\npositions').replace(', value', '\nvalue');
    }).join('\n'), clientX, clientY);
  }
  function hoverScan(clientX, clientY) {
    const s = current.scan;
    mark(s.start - 1, s.size);
    readout.textContent = scanText(s);
    showTip(scanText(s).replace(', positions', '\npositions').replace(', sum', '\nsum'), clientX, clientY);
  }
  function positionAt(clientX) {
    const box = plot.getBoundingClientRect();
    const px = (clientX - box.left) * PLOT_SIZE.width / box.width;
    return Math.floor((px - current.left) / current.band);
  }
  plot.addEventListener('mousemove', function (e) {
    if (!current) return;
    if (e.target.classList && e.target.classList.contains('window')) hoverWindow(e.target, e.clientX, e.clientY);
    else if (e.target.classList && e.target.classList.contains('scan-window')) hoverScan(e.clientX, e.clientY);
    else hover(positionAt(e.clientX), e.clientX, e.clientY);
  });
  plot.addEventListener('mouseleave', function () { hover(-1); });
  plot.addEventListener('keydown', function (e) {
    if (!current) return;
    let k = current.hover;
    if (e.key === 'ArrowRight') k = Math.min(N - 1, k + 1);
    else if (e.key === 'ArrowLeft') k = Math.max(0, k < 0 ? 0 : k - 1);
    else if (e.key === 'Home') k = 0;
    else if (e.key === 'End') k = N - 1;
    else if (e.key === 'Escape') { hover(-1); return; }
    else return;
    e.preventDefault();
    hover(k);
  });

  // ---- Exports: the chosen quartet, or several, as SVG or PNG files ----
  function figureWidth() { return Number(document.getElementById('fig-width').value); }
  function figureDpi() { return Number(document.getElementById('fig-dpi').value); }
  function saveBlob(blob, name) {
    const url = URL.createObjectURL(blob);
    const a = el('a', { href: url, download: name });
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(function () { URL.revokeObjectURL(url); }, 10000);
  }
  function exportNote(text) { document.getElementById('export-note').textContent = text; }
  function saveSvg(figure, name) {
    saveBlob(new Blob([svgText(figure)], { type: 'image/svg+xml' }), name);
    exportNote('Saved ' + name + ': ' + figureWidth() + ' mm wide, vector graphics.');
  }
  function savePng(figure, name) {
    const dpi = figureDpi();
    return pngOf(figure, dpi).then(function (png) {
      saveBlob(png.blob, name);
      const note = document.getElementById('export-note');
      note.dataset.width = String(png.width);
      note.dataset.height = String(png.height);
      exportNote('Saved ' + name + ': ' + png.width + ' \u00d7 ' + png.height + ' pixels, ' + figureWidth() +
                 ' mm wide at ' + dpi + ' dpi.');
    }, function (problem) { exportNote('The PNG could not be made: ' + problem.message); });
  }
  document.getElementById('save-svg').addEventListener('click', function () {
    if (current) saveSvg(quartetFigure(current.i, figureWidth()), 'kelto-quartet-' + (FIRST + current.i) + '.svg');
  });
  document.getElementById('save-png').addEventListener('click', function () {
    if (current) savePng(quartetFigure(current.i, figureWidth()), 'kelto-quartet-' + (FIRST + current.i) + '.png');
  });

  // The figure of several quartets: chosen one at a time, at most 26.
  const panel = [];
  function panelName(ext) {
    return 'kelto-quartets-' + panel.map(function (i) { return FIRST + i; }).join('-') + '.' + ext;
  }
  function updatePanelControls() {
    const add = document.getElementById('panel-add'), inside = current !== null && panel.includes(current.i);
    add.setAttribute('aria-pressed', inside ? 'true' : 'false');
    add.textContent = inside ? 'Take this quartet out of the figure of several' : 'Add this quartet to a figure of several';
    add.disabled = current === null || (!inside && panel.length >= 26);
    document.getElementById('panel-list').textContent = panel.length === 0 ? 'No quartet in the figure of several yet.' :
      'Figure of several: quartets ' + panel.map(function (i) { return FIRST + i; }).join(', ') + '.';
    for (const id of ['panel-svg', 'panel-png', 'panel-clear']) document.getElementById(id).disabled = panel.length === 0;
  }
  document.getElementById('panel-add').addEventListener('click', function () {
    if (!current) return;
    const at = panel.indexOf(current.i);
    if (at >= 0) panel.splice(at, 1); else panel.push(current.i);
    updatePanelControls();
  });
  document.getElementById('panel-clear').addEventListener('click', function () { panel.length = 0; updatePanelControls(); });
  document.getElementById('panel-svg').addEventListener('click', function () {
    if (panel.length) saveSvg(panelFigure(panel, figureWidth()), panelName('svg'));
  });
  document.getElementById('panel-png').addEventListener('click', function () {
    if (panel.length) savePng(panelFigure(panel, figureWidth()), panelName('png'));
  });

  let resizeTimer = 0;
  window.addEventListener('resize', function () {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(renderOverview, 150);
  });
  window.addEventListener('hashchange', fromHash);

  showRun();
  rebuildView();
  renderPairs();
  fromHash();
  document.documentElement.setAttribute('data-render-ms', performance.now().toFixed(0));
  document.documentElement.setAttribute('data-state', 'ready');
  requestAnimationFrame(function () {
    requestAnimationFrame(function () {
      document.documentElement.setAttribute('data-paint-ms', performance.now().toFixed(0));
    });
  });
