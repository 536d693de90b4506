// Part of the page's script: the files named at the markers of page.html form one closure,
// put into it when it is compiled in. This part: the family-wise test: its name, each quartet's
// scan window, q-values over the page's quartets and the summary per pair.
  // ---- The family-wise test ----
  // "scan": the penalised scan statistic with a sequential Monte Carlo
  // p-value; "min-P": the test of records of an earlier format, shown under
  // its own name; "none": no family-wise p-values.
  const FAMILY = run.family_test || { statistic: 'none' };
  const MIN_P = FAMILY.statistic === 'min-P';
  const FAMILY_LABEL = MIN_P ? 'min-P family p' : 'Family p';
  const FAMILY_NAME = MIN_P ? 'min-P family p-value' : 'family-wise p-value';
  const J_MAX = run.family_randomisations || 0;
  const P_FLOOR = J_MAX > 0 ? 1 / (J_MAX + 1) : null;  // the smallest p a quartet can get
  const QS = D.QS || [], QZ = D.QZ || [];
  const BY_LEVEL = 0.05;
  for (const id of ['family-head', 'window-family-head']) document.getElementById(id).textContent = FAMILY_LABEL;
  document.getElementById('sort-family').textContent = FAMILY_NAME;

  function familyTestText() {
    if (FAMILY.statistic === 'scan')
      return 'penalised scan statistic, sequential Monte Carlo p-value: at most J_max = ' + J_MAX +
        ' arrangements, stopping at the h-th exceedance (h = ' + FAMILY.h + '); null: ' +
        (FAMILY.null === 'positions' ? 'single positions arranged' : FAMILY.null) + '; p_floor = ' + formatP(P_FLOOR);
    if (MIN_P) return 'min-P over window sizes and sides (a record of an earlier format), J = ' + J_MAX;
    return 'none';
  }

  // Quartet i's scan window, the window that attains its scan statistic:
  // {side, start, end, size, sum, z, score, arrangements, capped, columns,
  // residues}; null where it has none.
  function scanWindowOf(i) {
    const s = 6 * i;
    if (QS[s] !== 1 && QS[s] !== -1) return null;
    const start = QS[s + 1], size = QS[s + 2], end = start + size - 1;
    return Object.assign({ side: QS[s] === 1 ? 'max' : 'min', start: start, end: end, size: size, sum: QS[s + 3],
                           arrangements: QS[s + 4], capped: QS[s + 5] === 1, z: QZ[2 * i], score: QZ[2 * i + 1] },
                         placeOf(i, start, end));
  }
  function scanText(w) {
    return 'scan window (family-wise test), ' + (w.side === 'max' ? 'maximum' : 'minimum') + ' side, positions ' +
      w.start + '\u2013' + w.end + (w.columns ? ' (alignment columns ' + w.columns[0] + '\u2013' + w.columns[1] + ')' : '') +
      ' (size ' + w.size + '), sum ' + w.sum + ', Z = ' + fixed(w.z, 4) + ', score ' + fixed(w.score, 4);
  }

  // Benjamini-Hochberg and Benjamini-Yekutieli q-values of the family
  // p-values over the m quartets of this page that have one: with p sorted
  // ascending, q(k) = min(1, min over i >= k of p(i) m c / i), c = 1 (BH) or
  // c = 1 + 1/2 + ... + 1/m (BY, valid under any dependence). Tied p-values
  // share the q of the last of them, so a quartet's q follows from its p
  // alone: the p-values are sorted once, natively, and each quartet finds
  // its last rank by bisection.
  const qBH = new Float64Array(NQ).fill(NaN), qBY = new Float64Array(NQ).fill(NaN);
  let TESTED = 0;
  (function () {
    for (let i = 0; i < NQ; i++) if (familyP(i) !== null) TESTED++;
    const m = TESTED, sorted = new Float64Array(m);
    for (let i = 0, k = 0; i < NQ; i++) if (familyP(i) !== null) sorted[k++] = familyP(i);
    sorted.sort();
    let c = 0;
    for (let k = 1; k <= m; k++) c += 1 / k;
    const bh = new Float64Array(m), by = new Float64Array(m);
    let lowBH = Infinity, lowBY = Infinity;
    for (let k = m - 1; k >= 0; k--) {
      lowBH = Math.min(lowBH, sorted[k] * m / (k + 1));
      lowBY = Math.min(lowBY, sorted[k] * m * c / (k + 1));
      bh[k] = Math.min(1, lowBH);
      by[k] = Math.min(1, lowBY);
    }
    for (let i = 0; i < NQ; i++) {
      const p = familyP(i);
      if (p === null) continue;
      let lo = 0, hi = m - 1;
      while (lo < hi) { const mid = (lo + hi + 1) >> 1; if (sorted[mid] <= p) lo = mid; else hi = mid - 1; }
      qBH[i] = bh[lo];
      qBY[i] = by[lo];
    }
  })();
  function qText(q) { return formatP(Number.isNaN(q) ? null : q); }
  // Quartet i's family-wise p-value and q-values as a figure's subtitle
  // ends with them ('' without a p-value).
  function familyCaption(i) {
    const p = familyP(i);
    if (p === null) return '';
    return '; ' + (MIN_P ? 'min-P family p = ' : 'family-wise p = ') + figureNumber(formatP(p)) +
      ', q (BH) = ' + figureNumber(qText(qBH[i])) + ', q (BY) = ' + figureNumber(qText(qBY[i]));
  }

  // Quartet i's family-wise facts as [label, text] pairs.
  function familyFacts(i) {
    const p = familyP(i), w = scanWindowOf(i), out = [];
    if (p === null) {
      out.push([FAMILY_LABEL + '-value', FAMILY.statistic === 'none' ? 'not computed in this run' :
        'none (no test: C(k)12 has no variance, or the quartet stopped the run)']);
      return out;
    }
    if (MIN_P) {
      out.push([FAMILY_LABEL + '-value', formatP(p) + ' (min-P test of an earlier record format, J = ' + J_MAX +
                ' arrangements; p_floor = ' + formatP(P_FLOOR) + ')']);
    } else {
      out.push([FAMILY_LABEL + '-value', formatP(p) + ' (L = ' + w.arrangements + ' arrangements' +
                (w.capped ? ', capped: J_max reached before the h-th exceedance' : ', stopped at the h-th exceedance') +
                '; p_floor = ' + formatP(P_FLOOR) + ')']);
    }
    out.push(['q (BH)', qText(qBH[i]) + ' (Benjamini\u2013Hochberg over the ' + TESTED + ' quartets of this page with a p)']);
    out.push(['q (BY)', qText(qBY[i]) + ' (Benjamini\u2013Yekutieli, valid under any dependence)']);
    if (w) {
      out.push(['Scan window', (w.side === 'max' ? 'maximum' : 'minimum') + ' side, positions ' + w.start + '\u2013' +
                w.end + ' (size ' + w.size + '), sum ' + w.sum + ', Z = ' + fixed(w.z, 4) + ', score ' + fixed(w.score, 4)]);
      out.push(['Scan window columns', w.columns ? w.columns[0] + '\u2013' + w.columns[1] : '\u2013']);
      out.push(['Scan window residues (A1, A2, B1, B2)', w.residues.map(spanText).join(', ')]);
    }
    return out;
  }

  // ---- Pairs: per pair, its quartets with a BY q-value at most 0.05 ----
  const PAIR_ROWS = 20;
  const pairHits = new Uint32Array(P), pairTested = new Uint32Array(P), pairLowest = new Float64Array(P).fill(NaN);
  for (let i = 0; i < NQ; i++) {
    if (Number.isNaN(qBY[i])) continue;
    for (const p of [pairA[i], pairB[i]]) {
      pairTested[p]++;
      if (qBY[i] <= BY_LEVEL) pairHits[p]++;
      if (!(pairLowest[p] <= qBY[i])) pairLowest[p] = qBY[i];
    }
  }
  let pairsShown = PAIR_ROWS;
  function renderPairs() {
    const note = document.getElementById('pairs-note'), table = document.getElementById('pair-table');
    const more = document.getElementById('pairs-more');
    if (TESTED === 0) {
      note.textContent = 'This run has no family-wise p-values.';
      table.hidden = more.hidden = true;
      return;
    }
    note.textContent = 'Per pair, its quartets on this page with a Benjamini\u2013Yekutieli q-value of at most ' +
      BY_LEVEL + ' (over the ' + TESTED + ' quartets with a ' + FAMILY_NAME + '), most first.';
    const order = [];
    for (let p = 0; p < P; p++) if (pairTested[p] > 0) order.push(p);
    order.sort(function (x, y) { return pairHits[y] - pairHits[x] || x - y; });
    const rows = document.createDocumentFragment();
    for (const p of order.slice(0, pairsShown)) {
      const tr = el('tr', { 'data-pair': String(p) });
      tr.appendChild(el('td', { class: 'names' }, p + ': ' + pairText(p)));
      tr.appendChild(el('td', { class: 'num' }, String(pairHits[p])));
      tr.appendChild(el('td', { class: 'num' }, String(pairTested[p])));
      tr.appendChild(el('td', { class: 'num' }, qText(pairLowest[p])));
      rows.appendChild(tr);
    }
    document.getElementById('pair-rows').replaceChildren(rows);
    more.hidden = order.length <= pairsShown;
    more.textContent = 'Show all ' + order.length + ' pairs';
  }
  document.getElementById('pairs-more').addEventListener('click', function () { pairsShown = P; renderPairs(); });
