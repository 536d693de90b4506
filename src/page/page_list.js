// Part of the page's script: the files named at the markers of page.html form one closure,
// put into it when it is compiled in. This part: the list order, the overview canvas and the quartet
// list.
  // ---- The list order: filter by record name, then sort ----
  let view = new Uint32Array(0);
  let chosen = -1;  // local index of the chosen quartet
  function rebuildView() {
    const needle = document.getElementById('filter').value.trim().toLowerCase();
    let order;
    if (needle === '') {
      order = new Uint32Array(NQ);
      for (let i = 0; i < NQ; i++) order[i] = i;
    } else {
      const match = new Uint8Array(P);
      for (let p = 0; p < P; p++)
        match[p] = recordFull(2 * p).toLowerCase().includes(needle) ||
                   recordFull(2 * p + 1).toLowerCase().includes(needle) ? 1 : 0;
      const kept = [];
      for (let i = 0; i < NQ; i++) if (match[pairA[i]] || match[pairB[i]]) kept.push(i);
      order = Uint32Array.from(kept);
    }
    const key = document.getElementById('sort').value;
    if (key === 'windows') {
      order.sort(function (x, y) { return (winStart[y + 1] - winStart[y]) - (winStart[x + 1] - winStart[x]) || x - y; });
    } else if (key === 'family') {
      order.sort(function (x, y) {
        const px = familyP(x), py = familyP(y);
        return (px === null ? 2 : px) - (py === null ? 2 : py) || x - y;
      });
    } else if (key === 'strongest') {
      order.sort(function (x, y) {
        return strength[y] > strength[x] ? 1 : strength[y] < strength[x] ? -1 : x - y;
      });
    }
    view = order;
    listPage = 0;
    overviewFirst = 0;
    renderList();
    renderOverview();
  }

  // ---- The overview canvas: one row per quartet of the list order ----
  const canvas = document.getElementById('overview');
  const OV = { left: 64, right: 12, top: 8, bottom: 36 };
  let overviewFirst = 0, overviewRows = 1, rowHeight = 1;
  let overviewHeight = 420;
  function overviewLayout() {
    const plotH = 420 - OV.top - OV.bottom;
    rowHeight = Math.max(1, Math.min(18, Math.floor(plotH / Math.max(1, view.length))));
    overviewRows = Math.max(1, Math.floor(plotH / rowHeight));
    // A short list gets a short canvas.
    overviewHeight = OV.top + OV.bottom + Math.max(110, Math.min(overviewRows, view.length) * rowHeight);
  }
  function renderOverview() {
    overviewLayout();
    const cssW = canvas.clientWidth || 960, cssH = overviewHeight, dpr = window.devicePixelRatio || 1;
    canvas.style.height = cssH + 'px';
    canvas.width = Math.round(cssW * dpr);
    canvas.height = Math.round(cssH * dpr);
    const g = canvas.getContext('2d');
    g.setTransform(dpr, 0, 0, dpr, 0, 0);
    g.fillStyle = '#fff';
    g.fillRect(0, 0, cssW, cssH);
    const plotW = cssW - OV.left - OV.right;
    const x = function (pos) { return OV.left + (pos - 1) / N * plotW; };  // left edge of a position
    const last = Math.min(view.length, overviewFirst + overviewRows);
    let drawn = 0;
    g.fillStyle = '#fafafa';
    g.fillRect(OV.left, OV.top, plotW, (last - overviewFirst) * rowHeight);
    for (let r = overviewFirst; r < last; r++) {
      const i = view[r], y = OV.top + (r - overviewFirst) * rowHeight;
      if (i === chosen) {
        g.fillStyle = '#cfe3f1';
        g.fillRect(OV.left - 6, y, plotW + 6, rowHeight);
      }
      const nmax = Q[5 * i];
      const half = rowHeight >= 4 ? rowHeight / 2 : 0;
      for (let j = winStart[i]; j < winStart[i + 1]; j++) {
        const isMax = j - winStart[i] < nmax;
        const x0 = x(W[5 * j]), x1 = x(W[5 * j] + W[5 * j + 1]);
        // Maximum windows in the upper half of a row, minimum ones in the lower half.
        const y0 = half ? (isMax ? y : y + half) : y, h = half ? half : rowHeight;
        const colour = isMax ? COLOUR.max : COLOUR.min;
        if (W[5 * j + 4] === 1 && h < 3) {
          // Too thin to outline: a pale line instead.
          g.globalAlpha = 0.4;
          g.fillStyle = colour;
          g.fillRect(x0, y0, Math.max(1, x1 - x0), h);
          g.globalAlpha = 1;
        } else if (W[5 * j + 4] === 1) {
          g.strokeStyle = colour;
          g.lineWidth = 1;
          g.setLineDash(h >= 3 ? [3, 2] : []);
          g.strokeRect(x0 + 0.5, y0 + 0.5, Math.max(1, x1 - x0 - 1), Math.max(0, h - 1));
          g.setLineDash([]);
        } else {
          g.fillStyle = colour;
          g.fillRect(x0, y0, Math.max(1, x1 - x0), h);
        }
        drawn++;
      }
    }
    // Axes and labels.
    g.strokeStyle = COLOUR.ink;
    g.lineWidth = 1;
    g.beginPath();
    g.moveTo(OV.left - 0.5, OV.top);
    g.lineTo(OV.left - 0.5, cssH - OV.bottom + 0.5);
    g.lineTo(cssW - OV.right, cssH - OV.bottom + 0.5);
    g.stroke();
    g.fillStyle = COLOUR.ink;
    g.font = '11px system-ui, sans-serif';
    g.textAlign = 'center';
    g.textBaseline = 'top';
    for (const t of ticks(1, N, Math.max(2, Math.floor(plotW / 80)))) {
      const tx = x(t) + plotW / N / 2;
      g.fillRect(tx, cssH - OV.bottom, 1, 4);
      g.fillText(String(t), tx, cssH - OV.bottom + 5);
    }
    g.fillText('position after gap removal', OV.left + plotW / 2, cssH - OV.bottom + 20);
    g.textAlign = 'right';
    g.textBaseline = 'middle';
    if (last > overviewFirst) {
      const labelled = [overviewFirst, last - 1];
      for (const r of labelled)
        g.fillText('q' + (FIRST + view[r]), OV.left - 8, OV.top + (r - overviewFirst + 0.5) * rowHeight);
    }
    g.save();
    g.translate(12, OV.top + (cssH - OV.top - OV.bottom) / 2);
    g.rotate(-Math.PI / 2);
    g.textAlign = 'center';
    g.fillText(cssH - OV.top - OV.bottom >= 200 ? 'quartets (rows, list order)' : 'quartets', 0, 0);
    g.restore();
    canvas.setAttribute('data-rows', String(last - overviewFirst));
    canvas.setAttribute('data-windows-drawn', String(drawn));
    const pages = Math.max(1, Math.ceil(view.length / overviewRows));
    const slider = document.getElementById('ov-slider');
    slider.max = String(pages - 1);
    slider.value = String(Math.floor(overviewFirst / overviewRows));
    document.getElementById('ov-range').textContent = view.length === 0 ? 'no quartets' :
      'rows ' + (overviewFirst + 1) + '\u2013' + last + ' of ' + view.length;
    document.getElementById('overview-note').textContent = rowHeight === 1 && view.length > overviewRows ?
      'One pixel row per quartet, ' + overviewRows + ' rows a screen; eliminated windows are drawn pale. ' +
      'Click a row to choose its quartet.' :
      'Click a row to choose its quartet.';
  }
  function ticks(lo, hi, want) {
    const span = Math.max(1, hi - lo), raw = span / want, mag = Math.pow(10, Math.floor(Math.log10(raw)));
    let step = mag;
    for (const m of [1, 2, 5, 10]) { step = m * mag; if (step >= raw) break; }
    step = Math.max(1, Math.round(step));
    const out = [];
    for (let t = Math.ceil(lo / step) * step; t <= hi; t += step) out.push(t);
    if (lo === 1 && out[0] !== 1) out.unshift(1);
    return out;
  }
  function overviewGo(firstRow) {
    const maxFirst = Math.max(0, (Math.ceil(view.length / overviewRows) - 1) * overviewRows);
    overviewFirst = Math.max(0, Math.min(maxFirst, firstRow));
    renderOverview();
  }
  canvas.addEventListener('click', function (e) {
    const rect = canvas.getBoundingClientRect();
    const r = overviewFirst + Math.floor((e.clientY - rect.top - OV.top) / rowHeight);
    if (e.clientY - rect.top >= OV.top && r >= overviewFirst && r < Math.min(view.length, overviewFirst + overviewRows))
      choose(view[r]);
  });
  canvas.addEventListener('mousemove', function (e) {
    const rect = canvas.getBoundingClientRect();
    const r = overviewFirst + Math.floor((e.clientY - rect.top - OV.top) / rowHeight);
    canvas.title = r >= overviewFirst && r < Math.min(view.length, overviewFirst + overviewRows) ?
      'quartet ' + (FIRST + view[r]) + ': ' + pairText(pairA[view[r]]) + ' vs ' + pairText(pairB[view[r]]) : '';
  });
  document.getElementById('ov-prev').addEventListener('click', function () { overviewGo(overviewFirst - overviewRows); });
  document.getElementById('ov-next').addEventListener('click', function () { overviewGo(overviewFirst + overviewRows); });
  document.getElementById('ov-slider').addEventListener('input', function (e) { overviewGo(Number(e.target.value) * overviewRows); });

  // ---- The quartet list, one page at a time ----
  let listPage = 0;
  function listPages() { return Math.max(1, Math.ceil(view.length / LIST_ROWS)); }
  function renderList() {
    const body = document.getElementById('quartet-rows');
    const rows = document.createDocumentFragment();
    const from = listPage * LIST_ROWS, to = Math.min(view.length, from + LIST_ROWS);
    for (let r = from; r < to; r++) {
      const i = view[r], q = FIRST + i;
      const tr = el('tr', { 'data-q': String(q) });
      if (i === chosen) tr.className = 'chosen';
      const idx = el('td', { class: 'num' });
      idx.appendChild(el('a', { href: '#q=' + q }, String(q)));
      tr.appendChild(idx);
      tr.appendChild(el('td', { class: 'names' }, pairA[i] + ': ' + pairFull(pairA[i])));
      tr.appendChild(el('td', { class: 'names' }, pairB[i] + ': ' + pairFull(pairB[i])));
      let emax = 0, emin = 0;
      const nmax = Q[5 * i];
      for (let j = winStart[i]; j < winStart[i + 1]; j++)
        if (W[5 * j + 4] === 1) { if (j - winStart[i] < nmax) emax++; else emin++; }
      tr.appendChild(el('td', { class: 'num' }, nmax + (emax ? ' (' + emax + ' elim.)' : '')));
      tr.appendChild(el('td', { class: 'num' }, Q[5 * i + 1] + (emin ? ' (' + emin + ' elim.)' : '')));
      tr.appendChild(el('td', { class: 'num' }, Number.isNaN(strongest[i]) ? '\u2013' : strongest[i].toFixed(4)));
      tr.appendChild(el('td', { class: 'num' }, formatP(familyP(i))));
      tr.appendChild(el('td', { class: 'num' }, qText(qBH[i])));
      tr.appendChild(el('td', { class: 'num' }, qText(qBY[i])));
      const flags = Q[5 * i + 4];
      tr.appendChild(el('td', null, (flags & 1 ? 'identical' : '') + (flags >> 1 ? 'stopped the run' : '')));
      tr.addEventListener('click', function (e) { if (e.target.tagName !== 'A') choose(i); });
      rows.appendChild(tr);
    }
    body.replaceChildren(rows);
    document.getElementById('list-count').textContent = view.length === NQ ? NQ + ' quartets' :
      view.length + ' of ' + NQ + ' quartets match';
    const page = document.getElementById('list-page');
    page.max = String(listPages());
    page.value = String(listPage + 1);
    document.getElementById('list-pages').textContent = 'of ' + listPages();
  }
  function listGo(page) {
    listPage = Math.max(0, Math.min(listPages() - 1, page));
    renderList();
  }
  document.getElementById('list-first').addEventListener('click', function () { listGo(0); });
  document.getElementById('list-prev').addEventListener('click', function () { listGo(listPage - 1); });
  document.getElementById('list-next').addEventListener('click', function () { listGo(listPage + 1); });
  document.getElementById('list-last').addEventListener('click', function () { listGo(listPages() - 1); });
  document.getElementById('list-page').addEventListener('change', function (e) { listGo(Number(e.target.value) - 1); });
  document.getElementById('sort').addEventListener('change', rebuildView);
  let filterTimer = 0;
  document.getElementById('filter').addEventListener('input', function () {
    clearTimeout(filterTimer);
    filterTimer = setTimeout(rebuildView, 250);
  });

