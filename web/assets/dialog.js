// The closing dialog: reads go to the server as GETs, changes as POSTs
// carrying the session token from the address (#token=...).
'use strict';

const $ = (s) => document.querySelector(s);
const token = (() => {
  const m = location.hash.match(/token=([A-Za-z0-9_-]+)/);
  if (m) sessionStorage.setItem('dialog-token', m[1]);
  return sessionStorage.getItem('dialog-token') || '';
})();

const money = (n) => Number(n || 0).toFixed(2);
function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (k === 'class') e.className = v; else if (k in e) e[k] = v; else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c instanceof Node ? c : document.createTextNode(String(c)));
  return e;
}

async function answer(res) {
  const body = await res.json().catch(() => ({ error: 'the server answered ' + res.status }));
  if (!res.ok) throw new Error(body.error || ('HTTP ' + res.status));
  return body;
}
const get = (path, params) => fetch(path + (params ? '?' + new URLSearchParams(params) : '')).then(answer);
const post = (path, body) => fetch(path, {
  method: 'POST',
  headers: { 'Content-Type': 'application/json', 'X-Dialog-Token': token },
  body: JSON.stringify(body),
}).then(answer);

function notice(message) {
  const n = $('#notice');
  n.textContent = message || '';
  n.hidden = !message;
}
const guarded = (f) => async (...args) => {
  try { notice(''); await f(...args); } catch (e) { notice(e.message); }
};

// ---- open bills ----
let bills = [];
const selected = new Set();

function billFilter() {
  const p = {};
  for (const k of ['from', 'to', 'type', 'shop']) if ($('#' + k).value) p[k] = $('#' + k).value;
  return p;
}

// Reads run side by side on the server, so an earlier one may answer after
// a later one: each list draws only the answer to its latest request.
let billsRequest = 0;
async function loadBills() {
  const mine = ++billsRequest;
  const out = await get('/api/bills', billFilter());
  if (mine !== billsRequest) return;
  bills = out.bills;
  selected.clear();
  const body = $('#bills tbody');
  body.replaceChildren(...bills.map((b) => el('tr', { 'data-id': b.id },
    el('td', {}, el('input', { type: 'checkbox', class: 'sel', value: b.id })),
    el('td', {}, b.billNo), el('td', {}, b.date), el('td', {}, b.type), el('td', {}, b.shop),
    el('td', {}, b.cashier), el('td', { class: 'num' }, money(b.amount)))));
  $('#bill-count').textContent = bills.length + ' open bills';
  $('#select-all').checked = false;
  await selectionChanged();
}

let selectionRequest = 0;
async function selectionChanged() {
  const ids = [...selected];
  $('#selected-count').textContent = ids.length ? ids.length + ' bills' : 'none';
  $('#check-result').hidden = true;
  const mine = ++selectionRequest;
  if (!ids.length) {
    drawTotals({ methods: [], deductible: 0, days: [] });
    return;
  }
  const out = await post('/api/selection', { ids });
  if (mine === selectionRequest) drawTotals(out);
}

function drawTotals(t) {
  $('#totals tbody').replaceChildren(...t.methods.map((m) =>
    el('tr', {}, el('td', {}, m.FName), el('td', { class: 'num' }, money(m.FSettleAmount)))));
  $('#deductible').textContent = money(t.deductible);
  drawChart(t);
}

// Two bar groups in one SVG: amounts per settlement method, then per day.
function drawChart(t) {
  const ns = 'http://www.w3.org/2000/svg';
  const bars = [
    ...t.methods.map((m) => ({ label: m.FName, value: Number(m.FSettleAmount), kind: 'method' })),
    ...t.days.map((d) => ({ label: d.date.slice(5), value: Number(d.amount), kind: 'day' })),
  ];
  const chart = $('#chart');
  if (!bars.length) { chart.replaceChildren(); return; }
  const width = 320, height = 170, base = 140, gap = 6;
  const w = Math.max(8, (width - gap * (bars.length + 1)) / bars.length);
  const max = Math.max(...bars.map((b) => Math.abs(b.value)), 1);
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', `0 0 ${width} ${height}`);
  svg.setAttribute('role', 'img');
  svg.setAttribute('aria-label', 'selection amounts per settlement method and per day');
  bars.forEach((b, i) => {
    const h = Math.abs(b.value) / max * (base - 20);
    const x = gap + i * (w + gap);
    const rect = document.createElementNS(ns, 'rect');
    Object.entries({ x, y: base - h, width: w, height: h, class: 'bar-' + b.kind }).forEach(([k, v]) => rect.setAttribute(k, v));
    const tip = document.createElementNS(ns, 'title');
    tip.textContent = `${b.label}: ${money(b.value)}`;
    rect.append(tip);
    const label = document.createElementNS(ns, 'text');
    Object.entries({ x: x + w / 2, y: base + 14, 'text-anchor': 'middle', class: 'axis' }).forEach(([k, v]) => label.setAttribute(k, v));
    label.textContent = b.label;
    const value = document.createElementNS(ns, 'text');
    Object.entries({ x: x + w / 2, y: base - h - 4, 'text-anchor': 'middle', class: 'value' }).forEach(([k, v]) => value.setAttribute(k, v));
    value.textContent = Math.round(b.value);
    svg.append(rect, label, value);
  });
  chart.replaceChildren(svg);
}

function closingFields() {
  const f = {
    ids: [...selected], date: $('#close-date').value, client: $('#client').value,
    invoiceType: $('#invoice-type').value, tax: $('#tax').value, checkBill: $('#check-bill').checked,
  };
  if ($('#acct').value) f.acct = $('#acct').value;
  if (f.checkBill) f.inCust = $('#in-cust').value;
  return f;
}

function showLines(box, ok, title, lines) {
  box.hidden = false;
  box.className = 'result ' + (ok ? 'ok' : 'bad');
  box.replaceChildren(el('b', {}, title), ...lines.map((l) => el('div', { class: 'line' }, l)));
}

async function checkSelection() {
  if (!selected.size) throw new Error('select the bills to close first');
  const out = await post('/api/check', closingFields());
  const lines = [];
  lines.push(out.valid.ok ? 'validity: passed' : 'validity: ' + out.valid.message);
  lines.push(out.stock.ok ? 'stock: passed' : 'stock: ' + out.stock.message);
  if (!out.tracked.ok) lines.push('tracked goods: stock does not cover them');
  lines.push(...out.causes);
  showLines($('#check-result'), out.ok, out.ok ? 'The closing can run.' : 'The closing would fail:', lines);
}

// Follows a job with server-sent events; falls back to polling.
function follow(job, progressBox) {
  progressBox.hidden = false;
  const show = (j) => {
    const span = Math.max(1, j.max - j.min);
    progressBox.querySelector('.fill').style.width = Math.min(100, 100 * (j.value - j.min) / span) + '%';
    progressBox.querySelector('.text').textContent = `${j.text || 'working…'} ${j.value}/${j.max}`;
  };
  return new Promise((resolve) => {
    const finish = (j) => {
      show(j);
      progressBox.querySelector('.fill').style.width = '100%';
      resolve(j.result);
    };
    if (window.EventSource) {
      const source = new EventSource(`/api/jobs/${job}/events`);
      source.onmessage = (e) => {
        const j = JSON.parse(e.data);
        if (j.state === 'done') { source.close(); finish(j); } else show(j);
      };
      source.onerror = () => { source.close(); poll(); };
    } else poll();
    async function poll() {
      for (;;) {
        const j = await get(`/api/jobs/${job}`);
        if (j.state === 'done') return finish(j);
        show(j);
        await new Promise((r) => setTimeout(r, 300));
      }
    }
  });
}

async function closeDay() {
  if (!selected.size) throw new Error('select the bills to close first');
  $('#close-btn').disabled = true;
  try {
    const { job } = await post('/api/close', closingFields());
    const r = await follow(job, $('#progress'));
    if (r.ok) {
      showLines($('#result'), true, r.message, [
        `daily bill ${r.dailyBillNo} (${r.retailBills} retail bills)`,
        `stock bill ${r.stockBillNo}`,
        ...(r.checkBillNo ? [`check bill ${r.checkBillNo}`] : []),
      ]);
      $('#result').dataset.dailyBillNo = r.dailyBillNo;
      await loadBills();
    } else {
      showLines($('#result'), false, r.message, r.causes || []);
    }
  } finally {
    $('#close-btn').disabled = false;
  }
}

// ---- pickers ----
async function loadPickers() {
  const [settings, shops, customers, accounts] = await Promise.all([
    get('/api/settings'), get('/api/shops'), get('/api/customers'), get('/api/accounts')]);
  $('#database').textContent = settings.database;
  $('#shop').append(...shops.shops.map((s) => el('option', { value: s.id }, `${s.number} ${s.name}`)));
  const options = () => customers.customers.map((c) => el('option',
    { value: c.FItemID, disabled: String(c.FDetail) !== '1' }, '\u00a0\u00a0'.repeat(Number(c.FLevel) - 1) + `${c.FNumber} ${c.FName}`));
  $('#client').replaceChildren(...options());
  $('#in-cust').replaceChildren(...options());
  if (settings.client) $('#client').value = settings.client;
  if (settings.inCust && settings.inCust !== '0') $('#in-cust').value = settings.inCust;
  if (settings.invoiceType) $('#invoice-type').value = settings.invoiceType;
  $('#acct').append(...accounts.accounts.map((a) => el('option', { value: a.FName }, a.FName)));
  if (!$('#client').value || $('#client').selectedOptions[0].disabled) {
    const leaf = customers.customers.find((c) => String(c.FDetail) === '1');
    if (leaf) $('#client').value = leaf.FItemID;
  }
  if (!$('#in-cust').value || $('#in-cust').selectedOptions[0].disabled) $('#in-cust').value = $('#client').value;
  await customerChanged(settings.taxRate);
}

async function customerChanged(storedTax) {
  if (!$('#client').value) return;
  const c = await get('/api/customers/' + $('#client').value);
  $('#client-detail').textContent = [c.contact, c.phone, c.fax].filter(Boolean).join(' · ') || 'no contact details';
  // The customer's own rate is the default; a stored setting wins on first load.
  $('#tax').value = storedTax || c.taxRate || '0';
}

// ---- closed days ----
const closedSelected = new Set();
let closedRequest = 0;
async function loadClosed() {
  const mine = ++closedRequest;
  const p = {};
  if ($('#closed-from').value) p.from = $('#closed-from').value;
  if ($('#closed-to').value) p.to = $('#closed-to').value;
  if ($('#closed-number').value) p.number = $('#closed-number').value;
  const out = await get('/api/closed', p);
  if (mine !== closedRequest) return;
  closedSelected.clear();
  $('#closed-select-all').checked = false;
  $('#closed tbody').replaceChildren(...out.days.map((d) => el('tr', { 'data-id': d.FID },
    el('td', {}, el('input', { type: 'checkbox', class: 'sel', value: d.FID })),
    el('td', {}, el('a', { href: '#', class: 'day' }, d.FBillNo)), el('td', {}, d.FDate), el('td', {}, d.FID))));
}

let dayRequest = 0;
async function showDay(id, number) {
  const mine = ++dayRequest;
  const out = await get('/api/closed/' + id);
  if (mine !== dayRequest) return;
  $('#details-title').textContent = number;
  $('#details tbody').replaceChildren(...out.bills.map((b) => el('tr', {},
    el('td', {}, b.FBillNo_SRC), el('td', {}, b.FDate), el('td', {}, b.FBranchShop), el('td', {}, b.FCashier),
    el('td', { class: 'num' }, money(b.FSettleAmount)))));
}

async function cancelDays() {
  if (!closedSelected.size) throw new Error('select the closed days to cancel first');
  $('#cancel-btn').disabled = true;
  try {
    const { job } = await post('/api/cancel', { ids: [...closedSelected] });
    const r = await follow(job, $('#cancel-progress'));
    showLines($('#cancel-result'), r.ok, r.ok ? 'Cancelled' : 'Not every closing was cancelled', r.lines);
    await loadClosed();
  } finally {
    $('#cancel-btn').disabled = false;
  }
}

// ---- wiring ----
function wire() {
  const today = new Date().toISOString().slice(0, 10);
  $('#close-date').value = today;
  for (const tab of document.querySelectorAll('.tab')) {
    tab.addEventListener('click', guarded(async () => {
      document.querySelectorAll('.tab').forEach((t) => t.classList.toggle('active', t === tab));
      document.querySelectorAll('.screen').forEach((s) => { s.hidden = s.id !== tab.dataset.screen; });
      if (tab.dataset.screen === 'screen-closed') await loadClosed();
    }));
  }
  $('#filter-btn').addEventListener('click', guarded(loadBills));
  $('#bills').addEventListener('change', guarded(async (e) => {
    if (e.target.id === 'select-all') {
      document.querySelectorAll('#bills tbody input.sel').forEach((c) => { c.checked = e.target.checked; });
      selected.clear();
      if (e.target.checked) bills.forEach((b) => selected.add(b.id));
    } else if (e.target.classList.contains('sel')) {
      const id = Number(e.target.value);
      if (e.target.checked) selected.add(id); else selected.delete(id);
    } else return;
    await selectionChanged();
  }));
  $('#client').addEventListener('change', guarded(() => customerChanged()));
  $('#check-btn').addEventListener('click', guarded(checkSelection));
  $('#close-btn').addEventListener('click', guarded(closeDay));
  $('#closed-filter-btn').addEventListener('click', guarded(loadClosed));
  $('#closed').addEventListener('change', (e) => {
    if (e.target.id === 'closed-select-all') {
      document.querySelectorAll('#closed tbody input.sel').forEach((c) => {
        c.checked = e.target.checked;
        if (c.checked) closedSelected.add(Number(c.value)); else closedSelected.delete(Number(c.value));
      });
    } else if (e.target.classList.contains('sel')) {
      const id = Number(e.target.value);
      if (e.target.checked) closedSelected.add(id); else closedSelected.delete(id);
    }
  });
  $('#closed').addEventListener('click', guarded(async (e) => {
    if (!e.target.classList.contains('day')) return;
    e.preventDefault();
    await showDay(e.target.closest('tr').dataset.id, e.target.textContent);
  }));
  $('#cancel-btn').addEventListener('click', guarded(cancelDays));
  if (!token) notice('No session token in the address: open the address that serve printed.');
  guarded(async () => { await loadPickers(); await loadBills(); })();
}
document.addEventListener('DOMContentLoaded', wire);
