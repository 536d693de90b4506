// Part of the page's script: the files named at the markers of page.html form one closure,
// put into it when it is compiled in. This part: the run's data, profiles and windows of a quartet,
// helpers, the run's facts.
  const SVG_NS = 'http://www.w3.org/2000/svg';
  const COLOUR = { max: '#0072B2', min: '#D55E00', mean: '#009E73', bar: '#6b6b6b', ink: '#1a1a1a', grid: '#e3e3e3' };
  const STOPS = ['', 'too many minimum windows of one size', 'too many maximum windows of one size',
                 'too many significant minimum windows', 'too many significant maximum windows'];
  const LIST_ROWS = 50;

  const D = JSON.parse(document.getElementById('kelto-data').textContent);
  const run = D.run;
  const P = D.names.length / 2;
  const N = run.n_minimum;
  const NQ = D.count;
  const FIRST = D.first;
  const Q = D.Q, W = D.W;
  // Family-wise p-values per quartet and per final window (null: none).
  const QF = D.QF || [], WF = D.WF || [];
  function familyP(i) { return typeof QF[i] === 'number' ? QF[i] : null; }
  function windowFamilyP(j) { return typeof WF[j] === 'number' ? WF[j] : null; }
  function formatP(p) { return p === null ? '\u2013' : p < 0.001 ? p.toExponential(2) : p.toFixed(4); }
  // Where positions lie in the input: alignment columns, and each record's
  // residue numbers from its sparse steps.
  const ALIGNED = Array.isArray(D.columns) && D.columns.length === N ? D.columns : null;
  function residueAt(r, k) {
    const steps = (D.residue_steps || [])[r];
    if (!steps || steps.length === 0) return null;
    let lo = 0, hi = steps.length / 2 - 1;
    while (lo < hi) { const mid = (lo + hi + 1) >> 1; if (steps[2 * mid] <= k) lo = mid; else hi = mid - 1; }
    return steps[2 * lo + 1] + (k - steps[2 * lo]);
  }

  // Per quartet: its pairs (quartets are in the order (0,1), (0,2), ..., (1,2), ...),
  // the offset of its windows in W and its strongest window: the highest
  // average of a maximum window or the lowest of a minimum one, whichever is
  // further in its own direction (strength = average, or -average for a
  // minimum window; -Infinity without windows).
  const pairA = new Uint16Array(NQ), pairB = new Uint16Array(NQ);
  const winStart = new Uint32Array(NQ + 1);
  const strength = new Float64Array(NQ), strongest = new Float64Array(NQ);
  (function () {
    let a = 0, rest = FIRST;
    while (a < P - 1 && rest >= P - 1 - a) { rest -= P - 1 - a; a++; }
    let b = a + 1 + rest;
    let w = 0;
    for (let i = 0; i < NQ; i++) {
      pairA[i] = a; pairB[i] = b;
      if (++b === P) { a++; b = a + 1; }
      winStart[i] = w;
      const count = Q[5 * i] + Q[5 * i + 1];
      let best = -Infinity, average = NaN;
      for (let j = w; j < w + count; j++) {
        const avg = W[5 * j + 2] / W[5 * j + 1], s = j - w < Q[5 * i] ? avg : -avg;
        if (s > best) { best = s; average = avg; }
      }
      strength[i] = best;
      strongest[i] = average;
      w += count;
    }
    winStart[NQ] = w;
  })();

  // Residue classes and the matrix, to compute a quartet's profile here.
  const classOf = new Int8Array(256).fill(-1);
  for (let i = 0; i < D.letters.length; i++) {
    classOf[D.letters.charCodeAt(i)] = i;
    classOf[D.letters.toLowerCase().charCodeAt(i)] = i;
  }
  const recordClasses = [];
  function classes(r) {
    if (!recordClasses[r]) {
      const s = D.records[r], c = new Int8Array(s.length);
      for (let k = 0; k < s.length; k++) c[k] = classOf[s.charCodeAt(k) & 255];
      recordClasses[r] = c;
    }
    return recordClasses[r];
  }
  function pairScores(p) {
    const x = classes(2 * p), y = classes(2 * p + 1), s = new Int32Array(N);
    for (let k = 0; k < N; k++) s[k] = D.matrix[20 * x[k] + y[k]];
    return s;
  }
  function profile(i) {
    const a = pairScores(pairA[i]), b = pairScores(pairB[i]), d = new Int32Array(N);
    for (let k = 0; k < N; k++) d[k] = a[k] - b[k];
    return { a: a, b: b, d: d };
  }
  // Where positions start..end of quartet i lie: alignment columns (null
  // without them) and, per record A1, A2, B1, B2, the residue numbers.
  function placeOf(i, start, end) {
    const records = [2 * pairA[i], 2 * pairA[i] + 1, 2 * pairB[i], 2 * pairB[i] + 1];
    return { columns: ALIGNED ? [ALIGNED[start - 1], ALIGNED[end - 1]] : null,
             residues: records.map(function (r) { return [residueAt(r, start - 1), residueAt(r, end - 1)]; }) };
  }
  function spanText(span) { return span[0] === null ? '\u2013' : span[0] + '\u2013' + span[1]; }
  // Windows of quartet i: {kind, start, end, size, value, count, eliminated,
  // p_value, p_family, columns, residues}.
  function windowsOf(i) {
    const out = [], nmax = Q[5 * i];
    for (let j = winStart[i]; j < winStart[i + 1]; j++) {
      const start = W[5 * j], size = W[5 * j + 1], end = start + size - 1;
      out.push(Object.assign({ kind: j - winStart[i] < nmax ? 'max' : 'min', start: start, size: size, end: end,
                               value: W[5 * j + 2], count: W[5 * j + 3], eliminated: W[5 * j + 4] === 1,
                               p_value: (W[5 * j + 3] + 1) / (run.T + 1), p_family: windowFamilyP(j) },
                             placeOf(i, start, end)));
    }
    return out;
  }

  function el(tag, attrs, text) {
    const e = document.createElement(tag);
    if (attrs) for (const k in attrs) e.setAttribute(k, attrs[k]);
    if (text !== undefined) e.textContent = text;
    return e;
  }
  function svg(tag, attrs, text) {
    const e = document.createElementNS(SVG_NS, tag);
    if (attrs) for (const k in attrs) e.setAttribute(k, attrs[k]);
    if (text !== undefined) e.textContent = text;
    return e;
  }
  // A record by its id (the header's first word); in full with its description.
  function recordName(r) { return D.ids[r]; }
  function recordFull(r) { return D.ids[r] + (D.descriptions[r] ? ' ' + D.descriptions[r] : ''); }
  function pairText(p) { return recordName(2 * p) + ' / ' + recordName(2 * p + 1); }
  function pairFull(p) { return recordFull(2 * p) + ' / ' + recordFull(2 * p + 1); }
  function fixed(x, digits) { return Number.isFinite(x) ? x.toFixed(digits) : 'undefined'; }

  // ---- The run ----
  function showRun() {
    const facts = document.getElementById('run-facts');
    function fact(label, value, cls) {
      facts.appendChild(el('dt', null, label));
      const dd = el('dd', cls ? { class: cls } : null, value);
      facts.appendChild(dd);
    }
    fact('Input', run.input.path + '  (' + run.input.bytes + ' bytes, XXH3-128 ' + run.input.xxh3_128 + ')' +
         (run.input_form === 'aligned_fasta' ? ', aligned FASTA' : ''));
    if (run.pairs_file) fact('Pairs chosen by', run.pairs_file);
    fact('Pairs', String(run.pairs) + ' (' + run.quartets + ' quartets in this run)');
    fact('N_minimum', String(N) + ' positions (' + run.gap_columns + ' gap columns removed)');
    fact('T', String(run.T) + ' randomisations per window size');
    fact('Family-wise test', familyTestText());
    fact('Matrix', run.matrix + (run.matrix_file ? ' (read from ' + run.matrix_file + ')' : ''));
    fact('Seed', run.seed + (run.seed_source === 'clock' ? ' (from the clock)' : ' (from --seed)'));
    if (run.threads !== undefined) fact('Threads', String(run.threads));
    if (run.shard) fact('Shard', run.shard.index + ' of ' + run.shard.count + ': quartets ' + run.shard.first +
                        ' to ' + (run.shard.end - 1));
    fact('Quartets done', String(NQ) + (NQ > 0 ? ' (quartets ' + FIRST + ' to ' + (FIRST + NQ - 1) + ')' : ''));
    if (D.end) {
      fact('Run ended', D.end.status + ' (exit status ' + D.end.exit_status + ', ' + D.end.quartets_written +
           ' quartets written, ' + fixed(D.end.wall_seconds, 2) + ' s)',
           D.end.status === 'completed' ? 'status-ok' : 'status-bad');
    } else {
      fact('Run ended', 'interrupted/incomplete: the record has no end line', 'status-bad');
    }
    fact('Program', run.program + ' ' + run.version);
    const warnings = run.warnings || [];
    const list = document.getElementById('run-warnings');
    list.hidden = warnings.length === 0;
    for (const w of warnings) list.appendChild(el('li', null, w));
    document.title = 'KELTO run: ' + run.input.path;
  }

