// Operator page of the control-system server: the variable tree, live values with their units
// and validity, plots of arrays, and fields to write settings. Talks to the server's HTTP API and
// its WebSocket subscriptions (see Server.h and WebSocketSession.h for the wire formats).
// Status variables (marked "status" in the variable list) show the name of their value in its
// colour (OK, FAULT, OFF, WARNING); validity is a separate outlined mark beside the path.
'use strict';

const state = {
  variables: new Map(),  // path -> metadata from /api/variables
  cards: new Map(),      // path -> card of a watched variable
  socket: null,
  info: { readOnly: false, tokenRequired: false },
  application: '',
  statusNames: [],       // status value -> name, from the variable list
};

const $ = (selector, root = document) => root.querySelector(selector);

function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [key, value] of Object.entries(attributes)) {
    if (key === 'class') node.className = value;
    else if (key.startsWith('on')) node.addEventListener(key.slice(2), value);
    else node.setAttribute(key, value);
  }
  for (const child of children) node.append(child);
  return node;
}

// ------------------------------------------------------------------------- tree
function buildTree(list) {
  const root = { dirs: new Map(), vars: [] };
  for (const variable of list) {
    const parts = variable.path.split('/').filter(Boolean);
    let node = root;
    for (const part of parts.slice(0, -1)) {
      if (!node.dirs.has(part)) node.dirs.set(part, { dirs: new Map(), vars: [] });
      node = node.dirs.get(part);
    }
    node.vars.push(variable);
  }
  return root;
}

function renderTree(node, prefix, filter) {
  const list = element('ul');
  let matches = 0;
  for (const [name, child] of [...node.dirs.entries()].sort()) {
    const path = `${prefix}/${name}`;
    const inner = renderTree(child, path, filter);
    if (!inner.matches) continue;
    matches += inner.matches;
    const details = element('details', { 'data-dir': path },
      element('summary', {}, name, element('a', { class: 'meta', title: 'watch every variable here',
        onclick: (event) => { event.preventDefault(); watchDirectory(path); } }, '(watch all)')),
      inner.list);
    if (filter) details.open = true;
    list.append(element('li', {}, details));
  }
  for (const variable of node.vars.sort((a, b) => a.path.localeCompare(b.path))) {
    if (filter && !variable.path.toLowerCase().includes(filter)) continue;
    matches += 1;
    const name = variable.path.split('/').pop();
    const size = variable.nElements === 1 ? '' : `[${variable.nElements}]`;
    const kind = isStatus(variable) ? 'status' : `${variable.type}${size}`;
    list.append(element('li', {},
      element('a', { 'data-path': variable.path, title: variable.description, onclick: () => watch(variable.path) }, name),
      element('span', { class: 'meta' },
        `${kind}${variable.unit ? ` · ${variable.unit}` : ''}${variable.writable ? ' · settable' : ''}`)));
  }
  return { list, matches };
}

function showTree() {
  const filter = $('#search').value.trim().toLowerCase();
  const tree = $('#tree');
  tree.replaceChildren(renderTree(buildTree([...state.variables.values()]), '', filter).list);
}

// ------------------------------------------------------------------------ cards
function isPlottable(variable) {
  return variable.nElements > 1 && variable.type !== 'string' && variable.type !== 'void';
}

function isStatus(variable) {
  return variable.status === true && variable.nElements === 1;
}

// The name of a status value ("FAULT"); "status N" for a value without one.
function statusName(value) {
  return state.statusNames[value] ?? `status ${value}`;
}

function watchDirectory(directory) {
  for (const path of state.variables.keys()) {
    if (path.startsWith(directory + '/') && !path.slice(directory.length + 1).includes('/')) watch(path);
  }
}

function watch(path) {
  if (state.cards.has(path)) return;
  const variable = state.variables.get(path);
  $('#hint')?.remove();
  const card = element('article', { class: 'card' + (variable.nElements > 1 ? ' array' : ''), 'data-path': path });
  card.append(element('h2', {}, path, element('span', { class: 'validity none' }, 'no value'),
    element('button', { class: 'close', title: 'stop watching', onclick: () => unwatch(path) }, '×')));
  card.append(element('p', { class: 'description' },
    `${variable.description} — ${isStatus(variable) ? 'status' : variable.type}` +
    (variable.nElements > 1 ? `, ${variable.nElements} elements` : '')));
  if (isPlottable(variable)) {
    card.append(element('div', { class: 'plot' }));
  } else {
    const reading = element('div', { class: 'reading' }, element('span', { class: 'value' }, '…'));
    if (variable.unit) reading.append(element('span', { class: 'unit' }, variable.unit));
    card.append(reading);
  }
  card.append(element('div', { class: 'stamp' }));
  if (variable.writable && !state.info.readOnly && (variable.nElements <= 64 || !isPlottable(variable))) {
    const input = variable.type === 'boolean' && variable.nElements === 1
      ? element('input', { type: 'checkbox', name: 'value' })
      : element('input', { type: 'text', name: 'value', placeholder: placeholderFor(variable) });
    card.append(element('form', { onsubmit: (event) => { event.preventDefault(); write(path, input, card); } },
      input, element('button', { type: 'submit' }, 'Set')));
    card.append(element('div', { class: 'message' }));
  }
  $('#panel').append(card);
  state.cards.set(path, { card, plot: null });
  if (state.socket) send({ subscribe: path });
  else connect();
}

function unwatch(path) {
  const entry = state.cards.get(path);
  if (!entry) return;
  entry.plot?.destroy();
  entry.card.remove();
  state.cards.delete(path);
  send({ unsubscribe: path });
}

function placeholderFor(variable) {
  if (variable.nElements > 1) return `JSON array of ${variable.nElements} values`;
  return variable.type === 'string' ? 'text' : 'number';
}

function formatValue(value) {
  if (Array.isArray(value)) return `[${value.map(formatValue).join(', ')}]`;
  if (typeof value === 'string') return value;
  return JSON.stringify(value);
}

function showStamp(card, update) {
  const validity = $('.validity', card);
  validity.textContent = update.valid ? 'valid' : 'INVALID';
  validity.className = 'validity' + (update.valid ? '' : ' faulty');
  $('.stamp', card).textContent = `version ${update.version} · ${update.time}` +
    (update.skipped ? ` · ${update.skipped} skipped` : '');
}

function showScalar(update) {
  const entry = state.cards.get(update.path);
  if (!entry) return;
  const value = $('.value', entry.card);
  if (isStatus(state.variables.get(update.path)) && typeof update.value === 'number') {
    const name = statusName(update.value);
    value.textContent = name;
    value.title = `status value ${update.value}`;
    value.className = `value status status-${name.replace(/\W+/g, '-').toLowerCase()}`;
  } else {
    value.textContent = formatValue(update.value);
  }
  const checkbox = $('input[type=checkbox]', entry.card);
  if (checkbox && document.activeElement !== checkbox) checkbox.checked = !!update.value;
  showStamp(entry.card, update);
}

const arrayTypes = {
  int8: Int8Array, uint8: Uint8Array, int16: Int16Array, uint16: Uint16Array, int32: Int32Array,
  uint32: Uint32Array, int64: BigInt64Array, uint64: BigUint64Array, float: Float32Array,
  double: Float64Array, boolean: Uint8Array,
};

function showArray(header, values) {
  const entry = state.cards.get(header.path);
  if (!entry) return;
  const ys = Array.from(values, Number);
  const xs = ys.map((_, i) => i);
  const box = $('.plot', entry.card);
  if (typeof uPlot === 'undefined') {
    // the server has no plotting library to serve (it says so in its log at start)
    box.textContent = `${ys.length} values; no plot: the plotting library (/vendor/uplot/) did not load`;
    box.classList.add('missing');
    showStamp(entry.card, header);
    return;
  }
  if (!entry.plot) {
    const width = Math.max(300, box.clientWidth || 800);
    const unit = state.variables.get(header.path)?.unit || '';
    entry.plot = new uPlot({
      width, height: 260,
      scales: { x: { time: false } },
      axes: [{ label: 'index' }, { label: unit }],
      series: [{ label: 'index' }, { label: unit ? `${header.path} [${unit}]` : header.path, stroke: '#0b5cad', width: 1 }],
    }, [xs, ys], box);
  } else {
    entry.plot.setData([xs, ys]);
  }
  box.setAttribute('data-points', String(ys.length));
  showStamp(entry.card, header);
}

function onBinary(buffer) {
  const length = new DataView(buffer).getUint32(0, true);
  const header = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, length)));
  const Type = arrayTypes[header.dataType];
  if (!Type) return;
  showArray(header, new Type(buffer, 4 + length, header.nElements));
}

function onText(text) {
  const message = JSON.parse(text);
  if (message.type === 'update') {
    const variable = state.variables.get(message.path);
    if (variable && isPlottable(variable)) showArray(message, message.value);
    else showScalar(message);
  } else if (message.type === 'error') {
    console.warn('server:', message.message);
  }
}

// ------------------------------------------------------------------------ write
function parseInput(variable, input) {
  if (input.type === 'checkbox') return input.checked;
  const text = input.value.trim();
  if (variable.type === 'string' && variable.nElements === 1) return input.value;
  try {
    return JSON.parse(text);
  } catch {
    return text;  // the server says what is wrong with it
  }
}

async function write(path, input, card) {
  const variable = state.variables.get(path);
  const message = $('.message', card);
  const headers = { 'Content-Type': 'application/json' };
  const token = $('#token').value || sessionStorage.getItem('token');
  if (token) headers.Authorization = `Bearer ${token}`;
  try {
    const response = await fetch(`/api/variables${path}`, {
      method: 'PUT', headers, body: JSON.stringify({ value: parseInput(variable, input) }),
    });
    const body = await response.json();
    message.className = 'message' + (response.ok ? ' ok' : '');
    message.textContent = response.ok ? 'written' : `refused (${response.status}): ${body.error}`;
  } catch (error) {
    message.className = 'message';
    message.textContent = `not written: ${error}`;
  }
}

// -------------------------------------------------------------------- connection
function send(message) {
  if (state.socket?.readyState === WebSocket.OPEN) state.socket.send(JSON.stringify(message));
}

function connect() {
  const scheme = location.protocol === 'https:' ? 'wss' : 'ws';
  const socket = new WebSocket(`${scheme}://${location.host}/api/ws?maxRate=10`);
  socket.binaryType = 'arraybuffer';
  const status = $('#connection');
  socket.onopen = () => {
    status.textContent = 'live';
    status.className = 'state open';
    const paths = [...state.cards.keys()];
    if (paths.length) send({ subscribe: paths });
  };
  socket.onclose = (event) => {
    // the server closes (1008) a connection that has subscribed to nothing for a while: connect
    // again when a card asks for a variable
    if (event.code === 1008 && state.cards.size === 0) {
      state.socket = null;
      status.textContent = 'idle';
      status.className = 'state';
      return;
    }
    status.textContent = 'disconnected, retrying';
    status.className = 'state closed';
    setTimeout(connect, 2000);
  };
  socket.onmessage = (event) => {
    if (typeof event.data === 'string') onText(event.data);
    else onBinary(event.data);
  };
  state.socket = socket;
}

async function start() {
  state.info = await (await fetch('/api/info')).json();
  $('#mode').textContent = state.info.readOnly ? 'read-only' : '';
  $('#token-box').hidden = !state.info.tokenRequired;
  $('#token').value = sessionStorage.getItem('token') || '';
  $('#token').addEventListener('change', (event) => sessionStorage.setItem('token', event.target.value));
  const listing = await (await fetch('/api/variables')).json();
  state.application = listing.application || '';
  state.statusNames = listing.statusNames || [];
  for (const variable of listing.variables) state.variables.set(variable.path, variable);
  $('#station').textContent = state.application;
  document.title = state.application ? `${state.application} · process variables` : 'Process variables';
  $('#search').addEventListener('input', showTree);
  showTree();
  connect();
  document.body.setAttribute('data-ready', 'true');
}

start();
