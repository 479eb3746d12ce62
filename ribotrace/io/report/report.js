'use strict';
// Draws the report from the JSON data in #report-data: the run summary, the
// tree, the selected node's sequence on the structure and along the
// alignment, and the covariation of the stems. Plain DOM and SVG, no
// libraries, nothing fetched.

const R = JSON.parse(document.getElementById('report-data').textContent);
const SVG_NS = 'http://www.w3.org/2000/svg';
const BASES = 'ACGU';

// Every probability comes as one character of R.quantAlphabet: its index
// is round(p x R.quantLevels).
const QUANT_VALUE = {};
for (let i = 0; i < R.quantAlphabet.length; ++i) QUANT_VALUE[R.quantAlphabet[i]] = i / R.quantLevels;

// The confidence colour scale: linear in RGB between these stops, so that a
// colour maps back to one probability. Dark red at 0, through orange and
// pale yellow to dark blue at 1; most of the range goes to the high
// probabilities, where reconstructions differ.
const COLOUR_STOPS = [
  [0.0, [165, 0, 38]],
  [0.5, [244, 109, 67]],
  [0.7, [254, 224, 139]],
  [0.9, [116, 173, 209]],
  [1.0, [49, 54, 149]],
];

function confidenceColour(p) {
  const x = Math.min(1, Math.max(0, p));
  let k = 1;
  while (k < COLOUR_STOPS.length - 1 && x > COLOUR_STOPS[k][0]) ++k;
  const [p0, c0] = COLOUR_STOPS[k - 1];
  const [p1, c1] = COLOUR_STOPS[k];
  const t = (x - p0) / (p1 - p0);
  const channel = (i) => Math.round(c0[i] + t * (c1[i] - c0[i]));
  return 'rgb(' + channel(0) + ',' + channel(1) + ',' + channel(2) + ')';
}

function svgElement(name, attributes, parent) {
  const element = document.createElementNS(SVG_NS, name);
  for (const key in attributes) element.setAttribute(key, attributes[key]);
  if (parent) parent.appendChild(element);
  return element;
}

function htmlElement(name, text, parent, className) {
  const element = document.createElement(name);
  if (text !== undefined && text !== null) element.textContent = text;
  if (className) element.className = className;
  if (parent) parent.appendChild(element);
  return element;
}

function fixed(value, digits) {
  return value === null ? 'n/a' : Number(value).toFixed(digits);
}

function percent(canonical, compared) {
  return compared > 0 ? (100 * canonical / compared).toFixed(1) + '%' : '–';
}

// ---------------------------------------------------------------- nodes

const columns = R.partners.length;
const nodeByIndex = new Map();
for (const node of R.nodes) nodeByIndex.set(node.index, node);

// The four probabilities (A, C, G, U) of a node at a column.
function columnProbabilities(node, column) {
  const p = [];
  for (let b = 0; b < 4; ++b) p.push(QUANT_VALUE[node.p[4 * column + b]]);
  return p;
}

// The posterior of the base drawn at a column (0 where no base is possible).
function drawnConfidence(node, column) {
  const b = BASES.indexOf(node.states[column]);
  return b < 0 ? 0 : QUANT_VALUE[node.p[4 * column + b]];
}

const tooltip = document.getElementById('tooltip');

function showTooltip(event, text) {
  tooltip.textContent = text;
  tooltip.hidden = false;
  tooltip.style.left = event.clientX + 14 + 'px';
  tooltip.style.top = event.clientY + 14 + 'px';
}

function hideTooltip() {
  tooltip.hidden = true;
}

function columnText(node, column) {
  const partner = R.partners[column];
  const p = columnProbabilities(node, column);
  let text = R.name[node.index] + ', column ' + (column + 1);
  if (partner >= 0) text += ' (pairs with ' + (partner + 1) + ': ' + node.states[partner] + ')';
  text += '\nmost probable: ' + node.states[column] + '\n';
  text += BASES.split('').map((b, i) => b + ' ' + p[i].toFixed(2)).join('   ');
  return text;
}

// -------------------------------------------------------------- summary

// A captioned table: an optional header row, then rows whose first cell
// names the row.
function smallTable(parent, caption, header, rows, valueClass) {
  const figure = htmlElement('figure', null, parent);
  htmlElement('figcaption', caption, figure);
  const table = htmlElement('table', null, figure);
  if (header) {
    const tr = htmlElement('tr', null, table);
    for (const cell of header) htmlElement('th', cell, tr);
  }
  for (const [name, ...cells] of rows) {
    const tr = htmlElement('tr', null, table);
    htmlElement('th', name, tr, 'text');
    for (const cell of cells) htmlElement('td', cell, tr, valueClass);
  }
}

function drawSummary() {
  document.getElementById('subtitle').textContent = R.title;
  const body = document.getElementById('summary-body');
  smallTable(body, 'Inputs', null, R.inputs, 'path');
  smallTable(body, 'Run', null, [['mode', R.mode], ['seed', String(R.seed)]].concat(R.values), 'text');
  smallTable(body, 'Counts', null, [
    ['taxa', R.taxa],
    ['interior nodes (with root)', R.taxa - 1],
    ['columns', columns],
    ['stem pairs', R.stemPairs],
    ['helices', R.helices.length],
    ['loop columns', R.loopColumns],
  ].map(([name, n]) => [name, String(n)]));
  if (R.convergence.length > 0) {
    smallTable(body, "Convergence of MrBayes's runs", null, R.convergence, 'text');
  }
  smallTable(body, 'Log-likelihood', null, [
    ['total', fixed(R.lnl[0], 4)],
    ['stems', fixed(R.lnl[1], 4)],
    ['loops', fixed(R.lnl[2], 4)],
  ]);

  const rates = [];
  if (R.hasStems) rates.push(['stems'].concat(R.stemRates.map((r) => fixed(r, 4))));
  rates.push(['loops'].concat(R.loopRates.map((r) => fixed(r, 4))));
  smallTable(body, 'Exchange rates', ['', 'AC', 'AG', 'AU', 'CG', 'CU', 'GU'], rates);
  smallTable(body, 'Loop base frequencies', ['', 'A', 'C', 'G', 'U'],
             [['loops'].concat(R.loopFreqs.map((f) => fixed(f, 4)))]);
  if (R.hasStems) {
    const rows = [];
    for (let a = 0; a < 4; ++a) {
      rows.push([BASES[a]].concat(R.doubletFreqs.slice(4 * a, 4 * a + 4).map((f) => fixed(f, 4))));
    }
    smallTable(body, "Doublet frequencies (5' base by row)", ['', 'A', 'C', 'G', 'U'], rows);
  }
}

// ----------------------------------------------------------------- tree

const treeElements = new Map();  // node index -> [circle, label]
const taxaBelow = [];  // node index -> the names of the taxa below it

function drawTree() {
  const n = R.parent.length;
  const children = Array.from({ length: n }, () => []);
  for (let i = 1; i < n; ++i) children[R.parent[i]].push(i);
  const tips = [];
  for (let i = 0; i < n; ++i) if (children[i].length === 0) tips.push(i);
  const showTips = tips.length <= R.tipLabelLimit;
  const spacing = showTips ? 16 : 4;

  // Pre-order numbers put every parent before its children.
  const depth = new Array(n).fill(0);
  for (let i = 1; i < n; ++i) depth[i] = depth[R.parent[i]] + R.length[i];
  const y = new Array(n).fill(0);
  tips.forEach((tip, k) => { y[tip] = 12 + k * spacing; });
  for (let i = n - 1; i >= 0; --i) {
    if (children[i].length > 0) {
      const c = children[i];
      y[i] = (y[c[0]] + y[c[c.length - 1]]) / 2;
    }
  }

  let longestTip = 0;
  if (showTips) for (const tip of tips) longestTip = Math.max(longestTip, R.name[tip].length);
  const height = 24 + tips.length * spacing;
  // The box's width, less room for a vertical scroll bar.
  const width = Math.max(600, document.getElementById('tree').parentElement.clientWidth - 20);
  const labelRoom = showTips ? Math.min(320, 7 * longestTip + 16) : 16;
  const maxDepth = depth.reduce((a, b) => Math.max(a, b), 0) || 1;
  const scale = (width - labelRoom - 60) / maxDepth;
  const x = depth.map((d) => 40 + d * scale);

  const svg = document.getElementById('tree');
  svg.setAttribute('width', width);
  svg.setAttribute('height', height);
  svg.setAttribute('viewBox', '0 0 ' + width + ' ' + height);

  // The taxa below every node, for its panel; tip labels keep their room.
  for (let i = n - 1; i >= 0; --i) {
    taxaBelow[i] = children[i].length === 0 ? [R.name[i]] : children[i].flatMap((c) => taxaBelow[c]);
  }
  const placed = showTips ? tips.map((tip) => [x[tip], y[tip] - 8, 7 * R.name[tip].length + 8, 12]) : [];

  let path = '';
  for (let i = 0; i < n; ++i) {
    if (i > 0) path += 'M' + x[R.parent[i]].toFixed(1) + ' ' + y[i].toFixed(1) + 'H' + x[i].toFixed(1);
    const c = children[i];
    if (c.length > 0) {
      path += 'M' + x[i].toFixed(1) + ' ' + y[c[0]].toFixed(1) + 'V' + y[c[c.length - 1]].toFixed(1);
    }
  }
  svgElement('path', { class: 'branches', d: path }, svg);
  if (R.cbc) drawBranchChanges(svg, x, y);

  if (showTips) {
    for (const tip of tips) {
      const label = svgElement('text', { class: 'tip-label', x: x[tip] + 4, y: y[tip] + 4 }, svg);
      label.textContent = R.name[tip];
    }
  }
  // A scale bar of a round branch length.
  const unit = Math.pow(10, Math.floor(Math.log10(maxDepth / 4)));
  svgElement('path', { class: 'branches', d: 'M40 ' + (height - 6) + 'h' + unit * scale }, svg);
  svgElement('text', { class: 'tip-label', x: 44 + unit * scale, y: height - 2 }, svg).textContent =
      String(unit);

  for (let i = 0; i < n; ++i) {
    if (children[i].length === 0) continue;
    const node = nodeByIndex.get(i);
    const circle = svgElement('circle', {
      class: node ? 'inode' : 'inode root', cx: x[i], cy: y[i], r: showTips ? 5 : 3,
      'data-node': i,
    }, svg);
    const name = R.name[i];
    if (node) {
      circle.setAttribute('fill', confidenceColour(node.mean));
      circle.addEventListener('click', () => selectNode(i));
    }
    svgElement('title', {}, circle).textContent = name + (node ? ': ' + supportText(i) +
        'mean confidence ' + node.mean.toFixed(3) : ' (root)');
    let label = null;
    if (showTips) {
      // Above the branch, else below it; a label that would cover another
      // is left to the circle's tooltip.
      const text = name + (R.support[i] >= 0 ? ' ' + R.support[i].toFixed(2) : '');
      const box = [0, 0, 6.2 * text.length, 12];
      for (const dy of [-6, 14]) {
        box[0] = x[i] - 4 - box[2];
        box[1] = y[i] + dy - 10;
        if (placed.some((other) => overlaps(box, other))) continue;
        label = svgElement('text', {
          class: 'inode-label', x: x[i] - 4, y: y[i] + dy, 'text-anchor': 'end', 'data-node': i,
        }, svg);
        label.textContent = name;
        if (R.support[i] >= 0) {
          svgElement('tspan', { class: 'support' }, label).textContent =
              ' ' + R.support[i].toFixed(2);
        }
        placed.push(box.slice());
        break;
      }
      if (label && node) label.addEventListener('click', () => selectNode(i));
    }
    treeElements.set(i, [circle, label]);
  }
}

// With --changes: each branch drawn over its plain line, thicker and
// redder the more compensatory base-pair changes it is expected to hold.
function changeColour(share) {
  const t = Math.min(1, Math.max(0, share));
  const channel = (from, to) => Math.round(from + t * (to - from));
  return 'rgb(' + channel(195, 178) + ',' + channel(200, 24) + ',' + channel(208, 43) + ')';
}

function drawBranchChanges(svg, x, y) {
  const most = R.cbc.reduce((a, b) => Math.max(a, b), 0);
  for (let i = 1; i < R.cbc.length; ++i) {
    if (R.cbc[i] < 0) continue;
    const share = most > 0 ? R.cbc[i] / most : 0;
    const d = 'M' + x[R.parent[i]].toFixed(1) + ' ' + y[i].toFixed(1) + 'H' + x[i].toFixed(1);
    const line = svgElement('path', {
      class: 'change', d: d, stroke: changeColour(share), 'stroke-width': 1.5 + 3 * share,
    }, svg);
    svgElement('title', {}, line).textContent =
        R.name[i] + ': ' + R.cbc[i].toFixed(2) + ' expected compensatory changes';
  }
  const legend = document.getElementById('changes-legend');
  legend.hidden = false;
  legend.textContent = 'Branch colour and width: expected compensatory base-pair changes on the ' +
      'branch, summed over the stem pairs, from 0 (grey) to ' + most.toFixed(2) + ' (red).';
}

function drawHelixChanges() {
  if (!R.helixChanges) return;
  document.getElementById('changes-section').hidden = false;
  const table = document.getElementById('changes-table');
  const header = htmlElement('tr', null, table);
  for (const name of ['helix', 'branches with the most expected compensatory changes']) {
    htmlElement('th', name, header, 'text');
  }
  R.helixChanges.forEach((top, h) => {
    const tr = htmlElement('tr', null, table);
    htmlElement('td', 'H' + (h + 1), tr, 'text');
    const cell = htmlElement('td', top.length === 0 ? 'none above 0.005' : null, tr, 'text');
    top.forEach(([index, expected], k) => {
      if (k > 0) cell.appendChild(document.createTextNode(', '));
      const entry = htmlElement(nodeByIndex.has(index) ? 'a' : 'span', R.name[index], cell);
      if (nodeByIndex.has(index)) {
        entry.href = '#' + R.name[index];
        entry.addEventListener('click', () => selectNode(index));
      }
      cell.appendChild(document.createTextNode(' ' + expected.toFixed(2)));
    });
  });
}

function overlaps(a, b) {
  return a[0] < b[0] + b[2] && b[0] < a[0] + a[2] && a[1] < b[1] + b[3] && b[1] < a[1] + a[3];
}

function supportText(index) {
  return R.support[index] >= 0 ? 'clade probability ' + R.support[index].toFixed(3) + '; ' : '';
}

// ------------------------------------------------------------ structure

const TRACK_ARCS = 90;  // height of the arcs' band, in pixels
const TRACK_BARS = 60;  // height of a bar of probability 1
const baseElements = [];
const letterElements = [];
const trackBars = [];

function drawStructure() {
  const svg = document.getElementById('structure');
  const points = [];
  let minX = Infinity, maxX = -Infinity, minY = Infinity, maxY = -Infinity;
  for (let c = 0; c < columns; ++c) {
    // The layout's y grows upwards; the page's downwards.
    const px = R.layout[2 * c];
    const py = -R.layout[2 * c + 1];
    points.push([px, py]);
    minX = Math.min(minX, px); maxX = Math.max(maxX, px);
    minY = Math.min(minY, py); maxY = Math.max(maxY, py);
  }
  const margin = 2;
  const w = maxX - minX + 2 * margin;
  const h = maxY - minY + 2 * margin;
  svg.setAttribute('viewBox', [minX - margin, minY - margin, w, h].map((v) => v.toFixed(2)).join(' '));
  const boxWidth = Math.max(640, document.getElementById('node-section').clientWidth - 2);
  const pixelsPerUnit = Math.min(14, boxWidth / w, 900 / h);
  // The drawing fits the page; a large structure is read by zooming in.
  const zoom = document.getElementById('zoom');
  const resize = () => {
    const factor = Number(zoom.value);
    svg.setAttribute('width', (Math.max(200, w * pixelsPerUnit) * factor).toFixed(0));
    svg.setAttribute('height', (Math.max(120, h * pixelsPerUnit) * factor).toFixed(0));
  };
  zoom.addEventListener('change', resize);
  resize();

  let backbone = '';
  points.forEach(([px, py], c) => { backbone += (c === 0 ? 'M' : 'L') + px + ' ' + py; });
  svgElement('path', { class: 'backbone', d: backbone }, svg);
  let bonds = '';
  for (let c = 0; c < columns; ++c) {
    const partner = R.partners[c];
    if (partner > c) {
      bonds += 'M' + points[c][0] + ' ' + points[c][1] + 'L' + points[partner][0] + ' ' + points[partner][1];
    }
  }
  svgElement('path', { class: 'bonds', d: bonds }, svg);

  const letters = columns <= 5000;
  for (let c = 0; c < columns; ++c) {
    const [px, py] = points[c];
    baseElements.push(svgElement('circle', {
      class: 'base', cx: px, cy: py, r: 0.42, 'data-column': c + 1,
    }, svg));
    if (letters) letterElements.push(svgElement('text', { class: 'letter', x: px, y: py }, svg));
    if ((c + 1) % 50 === 0 || c === 0) {
      svgElement('text', { class: 'tick', x: px + 0.6, y: py - 0.5 }, svg).textContent = String(c + 1);
    }
  }
  svg.addEventListener('mouseover', (event) => {
    const column = Number(event.target.getAttribute('data-column')) - 1;
    if (column >= 0 && selected) showTooltip(event, columnText(selected, column));
  });
  svg.addEventListener('mouseout', hideTooltip);
}

function drawTrack() {
  const svg = document.getElementById('track');
  const width = Math.max(640, document.getElementById('node-section').clientWidth - 4);
  const arcRoom = TRACK_ARCS;
  const barHeight = TRACK_BARS;
  const height = arcRoom + barHeight + 18;
  svg.setAttribute('width', width);
  svg.setAttribute('height', height);
  const step = (width - 20) / columns;
  const x0 = 10;
  const base = arcRoom + barHeight;

  let longest = 1;
  for (let c = 0; c < columns; ++c) longest = Math.max(longest, R.partners[c] - c);
  let arcs = '';
  for (let c = 0; c < columns; ++c) {
    const partner = R.partners[c];
    if (partner <= c) continue;
    const a = x0 + (c + 0.5) * step;
    const b = x0 + (partner + 0.5) * step;
    const rise = (arcRoom - 6) * Math.sqrt((partner - c) / longest);
    arcs += 'M' + a.toFixed(1) + ' ' + arcRoom + 'A' + ((b - a) / 2).toFixed(1) + ' ' + rise.toFixed(1) +
        ' 0 0 1 ' + b.toFixed(1) + ' ' + arcRoom;
  }
  svgElement('path', { class: 'arc', d: arcs }, svg);
  for (let c = 0; c < columns; ++c) {
    trackBars.push(svgElement('rect', {
      x: (x0 + c * step).toFixed(2), width: Math.max(step, 0.5).toFixed(2), y: base, height: 0,
    }, svg));
  }
  const tickEvery = Math.pow(10, Math.ceil(Math.log10(columns / 10)));
  for (let c = tickEvery; c <= columns; c += tickEvery) {
    svgElement('text', { class: 'axis', x: x0 + (c - 0.5) * step, y: base + 13, 'text-anchor': 'middle' }, svg)
        .textContent = String(c);
  }
  svg.addEventListener('mousemove', (event) => {
    const box = svg.getBoundingClientRect();
    const column = Math.floor((event.clientX - box.left - x0) / step);
    if (column >= 0 && column < columns && selected) showTooltip(event, columnText(selected, column));
    else hideTooltip();
  });
  svg.addEventListener('mouseleave', hideTooltip);
}

function drawLegend() {
  const legend = document.getElementById('legend');
  htmlElement('span', 'posterior', legend);
  const width = 240;
  const svg = svgElement('svg', { width: width + 20, height: 30 }, legend);
  for (let i = 0; i < width; ++i) {
    svgElement('rect', { x: 10 + i, y: 2, width: 1.2, height: 12, fill: confidenceColour(i / (width - 1)) }, svg);
  }
  for (const p of [0, 0.5, 0.7, 0.9, 1]) {
    svgElement('text', { x: 10 + p * (width - 1), y: 26, 'text-anchor': 'middle' }, svg).textContent = String(p);
  }
}

// ---------------------------------------------------------- selection

let selected = null;

function selectNode(index) {
  const node = nodeByIndex.get(index);
  if (!node) return;
  if (selected) {
    const [circle, label] = treeElements.get(selected.index);
    circle.classList.remove('selected');
    if (label) label.classList.remove('selected');
  }
  selected = node;
  const [circle, label] = treeElements.get(index);
  circle.classList.add('selected');
  if (label) label.classList.add('selected');
  document.getElementById('node-name').textContent = R.name[index];
  document.getElementById('node-select').value = String(index);

  let uncertain = 0;
  for (let c = 0; c < columns; ++c) {
    const p = drawnConfidence(node, c);
    const colour = confidenceColour(p);
    const base = baseElements[c];
    base.setAttribute('fill', colour);
    base.setAttribute('data-base', node.states[c]);
    if (letterElements.length) {
      letterElements[c].textContent = node.states[c];
      letterElements[c].setAttribute('fill', p > 0.15 && p < 0.8 ? '#000' : '#fff');
    }
    trackBars[c].setAttribute('y', TRACK_ARCS + TRACK_BARS * (1 - p));
    trackBars[c].setAttribute('height', TRACK_BARS * p);
    trackBars[c].setAttribute('fill', colour);
    if (p < 0.5) ++uncertain;
  }
  document.getElementById('node-stats').textContent =
      supportText(index) + 'mean confidence ' + node.mean.toFixed(3) + '; ' + uncertain + ' of ' +
      columns + ' columns below 0.5';
  document.getElementById('node-taxa').textContent =
      'Taxa below it (' + taxaBelow[index].length + '): ' + taxaBelow[index].join(', ');
  if (location.hash !== '#' + R.name[index]) history.replaceState(null, '', '#' + R.name[index]);
}

function fillNodeSelect() {
  const select = document.getElementById('node-select');
  for (const node of R.nodes) {
    const support = R.support[node.index];
    const option = htmlElement('option', R.name[node.index] +
        (support >= 0 ? ' (clade probability ' + support.toFixed(2) + ')' : ''), select);
    option.value = String(node.index);
  }
  select.addEventListener('change', () => selectNode(Number(select.value)));
}

function nodeFromHash() {
  // #anc_13, or #clade_5 in a report over a posterior sample. A fragment
  // that is not valid percent-encoding (#%, typed or pasted) names no node.
  let name;
  try {
    name = decodeURIComponent(location.hash.slice(1));
  } catch (error) {
    return null;
  }
  const index = R.name.indexOf(name);
  return index >= 0 && nodeByIndex.has(index) ? index : null;
}

// ---------------------------------------------------------- covariation

const KINDS = [
  ['data', '#1d2430'],
  ['most probable ancestors', '#1f5fae'],
  ['sampled ancestors', '#e07b00'],
  ['hidden sequences', '#7d8b99'],
];

function drawCovariation() {
  const table = document.getElementById('covariation-table');
  const header = htmlElement('tr', null, table);
  for (const name of ['helix', "5' columns", "3' columns", 'pairs'].concat(KINDS.map((k) => k[0]))) {
    htmlElement('th', name, header);
  }
  const totals = KINDS.map(() => [0, 0]);
  R.helices.forEach(([first5, last3, pairs], h) => {
    const tr = htmlElement('tr', null, table);
    htmlElement('td', 'H' + (h + 1), tr, 'text');
    htmlElement('td', (first5 + 1) + '–' + (first5 + pairs), tr);
    htmlElement('td', (last3 - pairs + 2) + '–' + (last3 + 1), tr);
    htmlElement('td', String(pairs), tr);
    KINDS.forEach((kind, k) => {
      const [canonical, compared] = R.covariation[k][h];
      totals[k][0] += canonical;
      totals[k][1] += compared;
      htmlElement('td', percent(canonical, compared), tr);
    });
  });
  const all = htmlElement('tr', null, table);
  htmlElement('th', 'all', all, 'text');
  htmlElement('th', '', all);
  htmlElement('th', '', all);
  htmlElement('th', String(R.stemPairs), all);
  for (const [canonical, compared] of totals) htmlElement('th', percent(canonical, compared), all);

  const svg = document.getElementById('covariation-plot');
  const helices = R.helices.length;
  const left = 44, top = 26, plotHeight = 160;
  const step = Math.max(14, Math.min(40, 900 / Math.max(1, helices)));
  const width = left + 20 + step * Math.max(1, helices);
  const height = top + plotHeight + 30;
  svg.setAttribute('width', width);
  svg.setAttribute('height', height);
  const yOf = (share) => top + plotHeight * (1 - share);
  for (const share of [0, 0.25, 0.5, 0.75, 1]) {
    svgElement('line', { class: 'grid', x1: left, x2: width - 10, y1: yOf(share), y2: yOf(share) }, svg);
    svgElement('text', { class: 'axis', x: left - 6, y: yOf(share) + 3, 'text-anchor': 'end' }, svg)
        .textContent = (100 * share) + '%';
  }
  KINDS.forEach(([name, colour], k) => {
    let path = '';
    R.covariation[k].forEach(([canonical, compared], h) => {
      if (compared === 0) return;
      const cx = left + step * (h + 0.5);
      const cy = yOf(canonical / compared);
      path += (path ? 'L' : 'M') + cx.toFixed(1) + ' ' + cy.toFixed(1);
      const dot = svgElement('circle', { cx: cx, cy: cy, r: 3, fill: colour }, svg);
      svgElement('title', {}, dot).textContent =
          'H' + (h + 1) + ', ' + name + ': ' + percent(canonical, compared);
    });
    svgElement('path', { class: 'series', d: path, stroke: colour }, svg);
    const lx = left + k * 170;
    svgElement('circle', { cx: lx + 4, cy: 10, r: 4, fill: colour }, svg);
    svgElement('text', { class: 'axis', x: lx + 12, y: 14 }, svg).textContent = name;
  });
  const labelEvery = Math.ceil(24 / step);
  for (let h = 0; h < helices; h += labelEvery) {
    svgElement('text', { class: 'axis', x: left + step * (h + 0.5), y: height - 10, 'text-anchor': 'middle' }, svg)
        .textContent = 'H' + (h + 1);
  }
}

// ---------------------------------------------------------------- start

drawSummary();
drawTree();
drawLegend();
drawStructure();
drawTrack();
fillNodeSelect();
drawCovariation();
drawHelixChanges();
if (R.nodes.length > 0) {
  selectNode(nodeFromHash() ?? R.nodes[0].index);
}
window.addEventListener('hashchange', () => {
  const index = nodeFromHash();
  if (index !== null) selectNode(index);
});
