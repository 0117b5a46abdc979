// The closing dialog: the operator signs in first (the session is an
// HttpOnly cookie); reads go to the server as GETs, changes as POSTs and
// DELETEs carrying the session's CSRF token in a header.
'use strict';

const $ = (s) => document.querySelector(s);
// The operator's language: Chinese unless they chose otherwise on this browser.
let language = localStorage.getItem('dialog-language') in CATALOG ? localStorage.getItem('dialog-language') : 'zh-CN';
function t(key, values) {
  const text = CATALOG[language][key] ?? CATALOG.en[key] ?? key;
  return text.replace(/\{(\w+)\}/g, (m, name) => (values && name in values ? values[name] : m));
}
function applyLanguage() {
  document.documentElement.lang = language;
  document.querySelectorAll('[data-t]').forEach((e) => { e.textContent = t(e.dataset.t); });
  document.querySelectorAll('[data-t-title]').forEach((e) => { e.title = t(e.dataset.tTitle); });
  document.querySelectorAll('select.language').forEach((e) => { e.value = language; });
}
// Who is signed in: { user, name, role, csrf }; null until then.
let operator = null;

// Two decimals with grouping, the same in either language.
const money = (n) => Number(n || 0).toLocaleString('en-US', { minimumFractionDigits: 2, maximumFractionDigits: 2 });
function el(tag, attrs, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (k === 'class') e.className = v; else if (k in e) e[k] = v; else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c instanceof Node ? c : document.createTextNode(String(c)));
  return e;
}

// A refusal names the field it concerns, so its message can stand next to that control.
// The server's refusals carry a catalog key and values, so that they can be
// said in the operator's language; without a key its English line stands.
class Refused extends Error {
  constructor(message, field, key, values) { super(message); this.field = field || ''; this.key = key; this.values = values; }
}
function said(e) {
  const wording = e.key && CATALOG[language]['msg_' + e.key];
  // What the database said lies behind it follows, a line each.
  return [wording ? t('msg_' + e.key, e.values) : e.message, ...(e.causes || [])].join('\n');
}
async function answer(res) {
  const body = await res.json().catch(() => ({ error: t('serverAnswered', { status: res.status }) }));
  // A session that lapsed (or an operator disabled meanwhile) goes back to the sign-in.
  if (res.status === 401 && body.signIn && operator) { signedOut(said(new Refused(body.error, '', body.key, body.values))); }
  if (!res.ok) {
    const refused = new Refused(body.error || t('serverAnswered', { status: res.status }), body.field, body.key, body.values);
    refused.causes = body.causes || [];
    throw refused;
  }
  return body;
}
const get = (path, params) => fetch(path + (params ? '?' + new URLSearchParams(params) : '')).then(answer);
const send = (method, path, body) => fetch(path, {
  method,
  headers: { 'Content-Type': 'application/json', 'X-CSRF-Token': operator ? operator.csrf : '' },
  body: body === undefined ? undefined : JSON.stringify(body),
}).then(answer);
const post = (path, body) => send('POST', path, body);

function notice(message) {
  const n = $('#notice');
  n.textContent = message || '';
  n.hidden = !message;
}
// The control each refused field belongs to, on the screen that is shown.
const fieldControls = {
  'screen-open': { ids: '#bills', bills: '#bills', from: '#from', to: '#from', type: '#type', shop: '#shop',
    date: '#close-date', client: '#client', inCust: '#in-cust', invoiceType: '#invoice-type', tax: '#tax', acct: '#acct',
    count: '#totals', countNote: '#count-note', signOff: '#sign-off-password' },
  'screen-closed': { ids: '#closed', id: '#closed', from: '#closed-from', to: '#closed-from', number: '#closed-number',
    shop: '#closed-shop', reason: '#cancel-btn' },
  'screen-log': { from: '#log-from', to: '#log-from', user: '#log-user' },
};
function clearErrors() {
  document.querySelectorAll('.field-error').forEach((e) => e.remove());
  notice('');
}
function showError(e) {
  const screen = [...document.querySelectorAll('.screen')].find((s) => !s.hidden);
  const selector = e.field && screen && fieldControls[screen.id][e.field];
  const control = selector && $(selector);
  if (!control) { notice(said(e)); return; }
  const box = el('div', { class: 'field-error', role: 'alert' }, said(e));
  (control.closest('label') || control.closest('section') || control).after(box);
}
// Each action clears what the one before it said.
const guarded = (f) => async (...args) => {
  try { clearErrors(); await f(...args); } catch (e) { showError(e); }
};

// ---- open bills ----
let bills = [];
let billsTotal = null;  // of the list shown
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
  const filter = billFilter();
  if (filter.from && filter.to && filter.from > filter.to) {
    $('#bills tbody').replaceChildren();
    bills = [];
    selected.clear();
    $('#bill-count').textContent = '';
    billsTotal = null;
    await selectionChanged();
    throw new Refused(t('after', filter), 'from');
  }
  const out = await get('/api/bills', filter);
  if (mine !== billsRequest) return;
  bills = out.bills;
  selected.clear();
  const body = $('#bills tbody');
  body.replaceChildren(...bills.map((b) => el('tr', { 'data-id': b.id },
    el('td', {}, el('input', { type: 'checkbox', class: 'sel', value: b.id })),
    el('td', {}, b.billNo), el('td', {}, b.date), el('td', {}, t(b.type)), el('td', {}, b.shop),
    el('td', {}, b.cashier), el('td', { class: 'num' }, money(b.amount)))));
  billsTotal = out.total;
  $('#bill-count').textContent = t('openCount', { n: bills.length, total: money(out.total) });
  $('#select-all').checked = false;
  await selectionChanged();
}

let selectionRequest = 0;
async function selectionChanged() {
  const ids = [...selected];
  $('#selected-count').textContent = ids.length ? t('nBills', { n: ids.length }) : t('none');
  $('#check-result').hidden = true;
  const mine = ++selectionRequest;
  if (!ids.length) {
    drawTotals({ methods: [], deductible: 0, days: [] });
    return;
  }
  const out = await post('/api/selection', { ids });
  if (mine === selectionRequest) drawTotals(out);
}

// ---- the cash count ----
// What the operator counted, by method id: an amount as typed, or pieces by
// denomination.  Kept across redraws, so a language switch loses nothing.
const DENOMINATIONS = [100, 50, 20, 10, 5, 1, 0.5, 0.1];
const counts = new Map();
let countRules = { countRequired: false, maxCountDifference: 0 };
let expectedMethods = [];
const fen = (n) => Math.round(Number(n) * 100);
// The counted amount in fen, or null when the method is not counted (or not a number yet).
function countedFen(id) {
  const c = counts.get(id);
  if (!c) return null;
  const pieces = Object.entries(c.pieces || {}).filter(([, n]) => n !== '');
  if (pieces.length) return pieces.reduce((sum, [d, n]) => sum + fen(d) * Number(n), 0);
  const text = (c.amount || '').replace(/,/g, '').trim();
  return text === '' || !/^-?\d+(\.\d{1,2})?$/.test(text) ? null : fen(text);
}
function countRow(m) {
  const c = counts.get(m.id) || { amount: '', pieces: {}, open: false };
  counts.set(m.id, c);
  const input = el('input', { class: 'counted', inputmode: 'decimal', value: c.amount, 'data-method': m.id,
    'aria-label': `${t('counted')} ${m.name}` });
  const toggle = el('button', { type: 'button', class: 'small', 'data-method': m.id }, t('byPieces'));
  const row = el('tr', { 'data-method': m.id }, el('td', {}, m.name), el('td', { class: 'num' }, money(m.amount)),
    el('td', { class: 'num' }, input), el('td', { class: 'num difference' }), el('td', {}, toggle));
  const pieces = el('tr', { class: 'pieces', 'data-method': m.id, hidden: !c.open },
    el('td', { colSpan: 5 }, ...DENOMINATIONS.map((d) => el('label', {}, `${d}×`,
      el('input', { type: 'number', min: 0, step: 1, class: 'piece', 'data-method': m.id, 'data-denomination': d,
        value: c.pieces[d] ?? '' })))));
  return [row, pieces];
}
// Differences as the operator types; beyond the tolerance they are marked, and a closer is asked for a sign-off.
function updateCount() {
  // The totals' difference is that of the methods counted so far.
  let expected = 0, counted = 0, differences = 0, beyond = false, any = false;
  const most = fen(countRules.maxCountDifference);
  for (const m of expectedMethods) {
    const c = counts.get(m.id);
    const row = $(`#totals tbody tr[data-method="${m.id}"]:not(.pieces)`);
    if (!row) continue;
    const input = row.querySelector('input.counted');
    const byPieces = Object.values(c.pieces).some((n) => n !== '');
    input.readOnly = byPieces;
    if (byPieces) input.value = money(countedFen(m.id) / 100);
    const got = countedFen(m.id);
    const cell = row.querySelector('.difference');
    expected += fen(m.amount);
    if (got === null) { cell.textContent = '—'; cell.classList.remove('beyond'); continue; }
    any = true;
    counted += got;
    const difference = got - fen(m.amount);
    differences += difference;
    cell.textContent = (difference > 0 ? '+' : '') + money(difference / 100);
    cell.classList.toggle('beyond', Math.abs(difference) > most);
    beyond ||= Math.abs(difference) > most;
  }
  $('#totals tfoot').replaceChildren(...(expectedMethods.length ? [el('tr', { class: 'total' }, el('td', {}, t('total')),
    el('td', { class: 'num' }, money(expected / 100)), el('td', { class: 'num' }, any ? money(counted / 100) : ''),
    el('td', { class: 'num' }, any ? money(differences / 100) : ''), el('td', {}))] : []));
  $('#count-rule').textContent = t('countRule', { max: money(countRules.maxCountDifference) }) +
    (countRules.countRequired ? t('countRequired') : '');
  $('#sign-off').hidden = !(beyond && operator && operator.role === 'closer');
}
function countFields(f) {
  const entries = [];
  for (const m of expectedMethods) {
    const c = counts.get(m.id);
    const pieces = Object.entries(c.pieces).filter(([, n]) => n !== '');
    if (pieces.length) entries.push(`${m.id}=` + pieces.map(([d, n]) => `${d}x${n}`).join('+'));
    else if (c.amount.trim() !== '') entries.push(`${m.id}=${c.amount.replace(/,/g, '').trim()}`);
  }
  if (entries.length) f.count = entries;
  if ($('#count-note').value.trim()) f.countNote = $('#count-note').value.trim();
  if (!$('#sign-off').hidden && $('#sign-off-user').value.trim()) {
    f.signOffUser = $('#sign-off-user').value.trim();
    f.signOffPassword = $('#sign-off-password').value;
  }
  return f;
}
function countInput(e) {
  const id = Number(e.target.dataset.method);
  const c = counts.get(id);
  if (!c) return;
  if (e.target.classList.contains('counted')) c.amount = e.target.value;
  else if (e.target.classList.contains('piece')) c.pieces[e.target.dataset.denomination] = e.target.value;
  else return;
  updateCount();
}
function clearCount() {
  counts.clear();
  $('#count-note').value = '';
  $('#sign-off-user').value = '';
  $('#sign-off-password').value = '';
}

function drawTotals(totals) {
  expectedMethods = totals.methods;
  $('#totals tbody').replaceChildren(...totals.methods.flatMap(countRow));
  $('#deductible').textContent = money(totals.deductible);
  updateCount();
  drawChart(totals);
}

// Two bar groups in one SVG: amounts per settlement method, then per day.
function drawChart(totals) {
  const ns = 'http://www.w3.org/2000/svg';
  const bars = [
    ...totals.methods.map((m) => ({ label: m.name, value: Number(m.amount), kind: 'method' })),
    ...totals.days.map((d) => ({ label: d.date.slice(5), value: Number(d.amount), kind: 'day' })),
  ];
  const chart = $('#chart');
  if (!bars.length) { chart.replaceChildren(); return; }
  const width = 320, height = 170, base = 140, gap = 6;
  const w = Math.max(8, (width - gap * (bars.length + 1)) / bars.length);
  const max = Math.max(...bars.map((b) => Math.abs(b.value)), 1);
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('viewBox', `0 0 ${width} ${height}`);
  svg.setAttribute('role', 'img');
  svg.setAttribute('aria-label', t('chartLabel'));
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
    ids: [...selected], client: $('#client').value,
    invoiceType: $('#invoice-type').value, tax: $('#tax').value, checkBill: $('#check-bill').checked,
  };
  // No date: the closing takes the bills' own business day.
  if ($('#close-date').value) f.date = $('#close-date').value;
  if ($('#acct').value) f.acct = $('#acct').value;
  if (f.checkBill) f.inCust = $('#in-cust').value;
  return countFields(f);
}

function showLines(box, ok, title, lines) {
  box.hidden = false;
  box.className = 'result ' + (ok ? 'ok' : 'bad');
  box.replaceChildren(el('b', {}, title), ...lines.map((l) => el('div', { class: 'line' }, l)));
}

async function checkSelection() {
  if (!selected.size) throw new Refused(t('selectFirst'), 'bills');
  const out = await post('/api/check', closingFields());
  const lines = [];
  lines.push(out.valid.ok ? t('validityPassed') : t('validity', out.valid));
  lines.push(out.stock.ok ? t('stockPassed') : t('stock', out.stock));
  if (!out.tracked.ok) lines.push(t('trackedShort'));
  lines.push(...out.causes);
  showLines($('#check-result'), out.ok, out.ok ? t('canRun') : t('wouldFail'), lines);
}

// Follows a job with server-sent events; falls back to polling.
function follow(job, progressBox) {
  progressBox.hidden = false;
  const show = (j) => {
    const span = Math.max(1, j.max - j.min);
    progressBox.querySelector('.fill').style.width = Math.min(100, 100 * (j.value - j.min) / span) + '%';
    progressBox.querySelector('.text').textContent = `${j.text || t('working')} ${j.value}/${j.max}`;
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

// What a closing of the selection will take, named before it runs.
function closingSummary() {
  const chosen = bills.filter((b) => selected.has(b.id));
  const days = [...new Set(chosen.map((b) => b.date))].sort();
  const shops = [...new Set(chosen.map((b) => b.shop))];
  const total = chosen.reduce((sum, b) => sum + Number(b.amount), 0);
  const date = $('#close-date').value || (days.length === 1 ? days[0] : '?');
  return t('confirmClose', { n: chosen.length, shops: shops.join(', '), days: days.join(', '), total: money(total), date });
}

// What the count lacks, said in the operator's language before anything is sent.
function checkCount() {
  const uncounted = expectedMethods.filter((m) => countedFen(m.id) === null);
  const typed = expectedMethods.filter((m) => (counts.get(m.id).amount || '').trim() !== '' && countedFen(m.id) === null);
  if (typed.length) throw new Refused(t('countNotAmount', { methods: typed.map((m) => m.name).join('、') }), 'count');
  if (countRules.countRequired && uncounted.length)
    throw new Refused(t('countMissing', { methods: uncounted.map((m) => m.name).join('、') }), 'count');
  const beyond = expectedMethods.some((m) => countedFen(m.id) !== null &&
    Math.abs(countedFen(m.id) - fen(m.amount)) > fen(countRules.maxCountDifference));
  if (beyond && !$('#count-note').value.trim()) throw new Refused(t('countNeedsNote'), 'countNote');
  if (!$('#sign-off').hidden && (!$('#sign-off-user').value.trim() || !$('#sign-off-password').value))
    throw new Refused(t('countNeedsSignOff'), 'signOff');
}

async function closeDay() {
  if (!selected.size) throw new Refused(t('selectFirst'), 'bills');
  checkCount();
  if (!window.confirm(closingSummary())) return;
  $('#close-btn').disabled = true;
  try {
    const { job } = await post('/api/close', closingFields());
    const r = await follow(job, $('#progress'));
    if (r.ok) {
      showLines($('#result'), true, r.message, [
        t('resultDaily', { no: r.dailyBillNo, date: r.date, n: r.retailBills }),
        t('resultStock', { no: r.stockBillNo }),
        ...(r.checkBillNo ? [t('resultCheck', { no: r.checkBillNo, cust: r.inCust })] : []),
        ...(r.count ? [t('resultCount', {
          counted: money(r.count.lines.reduce((sum, l) => sum + l.counted, 0)),
          difference: money(r.count.lines.reduce((sum, l) => sum + l.difference, 0)) })] : []),
      ]);
      $('#result').dataset.dailyBillNo = r.dailyBillNo;
      clearCount();
      await loadBills();
    } else if (r.field) {
      showError(Object.assign(new Refused(r.message, r.field, r.key, r.values), { causes: r.causes }));
    } else if (r.unknown) {
      showLines($('#result'), false, t('closeUnknown'),
        [r.message, ...(r.causes || [])]);
      await loadBills();
    } else {
      showLines($('#result'), false, r.message, r.causes || []);
    }
  } finally {
    $('#close-btn').disabled = false;
  }
}

// ---- pickers ----
// Shops by id, so that lists holding ids (the audit trail) show names.
const shopNames = new Map();
async function loadPickers() {
  const [settings, shops, customers, accounts] = await Promise.all([
    get('/api/settings'), get('/api/shops'), get('/api/customers'), get('/api/accounts')]);
  $('#database').textContent = settings.database;
  countRules = { countRequired: settings.countRequired, maxCountDifference: settings.maxCountDifference };
  shops.shops.forEach((s) => shopNames.set(s.id, s.name));
  const shopOptions = () => shops.shops.map((s) => el('option', { value: s.id }, `${s.number} ${s.name}`));
  $('#shop').append(...shopOptions());
  $('#closed-shop').append(...shopOptions());
  // The dialog works shop by shop: the first shop is the default.
  if (shops.shops.length) $('#shop').value = shops.shops[0].id;
  const options = () => customers.customers.map((c) => el('option',
    { value: c.id, disabled: !c.isCustomer }, '\u00a0\u00a0'.repeat(Number(c.level) - 1) + `${c.number} ${c.name}`));
  $('#client').replaceChildren(...options());
  $('#in-cust').replaceChildren(...options());
  if (settings.client) $('#client').value = settings.client;
  if (settings.inCust && settings.inCust !== '0') $('#in-cust').value = settings.inCust;
  if (settings.invoiceType) $('#invoice-type').value = settings.invoiceType;
  $('#acct').append(...accounts.accounts.map((a) => el('option', { value: a.name }, a.name)));
  if (!$('#client').value || $('#client').selectedOptions[0].disabled) {
    const leaf = customers.customers.find((c) => c.isCustomer);
    if (leaf) $('#client').value = leaf.id;
  }
  if (!$('#in-cust').value || $('#in-cust').selectedOptions[0].disabled) $('#in-cust').value = $('#client').value;
  await customerChanged(settings.taxRate);
}

let customerContact = null;  // of the customer shown; null before the first
async function customerChanged(storedTax) {
  if (!$('#client').value) return;
  const c = await get('/api/customers/' + $('#client').value);
  customerContact = [c.contact, c.phone, c.fax].filter(Boolean).join(' · ');
  $('#client-detail').textContent = customerContact || t('noContact');
  // The customer's own rate is the default; a stored setting wins on first load.
  $('#tax').value = storedTax || c.taxRate || '0';
}

// ---- closed days ----
const closedSelected = new Set();
let closedDays = [];
let closedRequest = 0;
async function loadClosed() {
  const mine = ++closedRequest;
  const p = {};
  if ($('#closed-from').value) p.from = $('#closed-from').value;
  if ($('#closed-to').value) p.to = $('#closed-to').value;
  if ($('#closed-number').value) p.number = $('#closed-number').value;
  if ($('#closed-shop').value) p.shop = $('#closed-shop').value;
  if (p.from && p.to && p.from > p.to) {
    closedDays = [];
    $('#closed tbody').replaceChildren();
    throw new Refused(t('after', p), 'from');
  }
  const out = await get('/api/closed', p);
  if (mine !== closedRequest) return;
  closedSelected.clear();
  closedDays = out.days;
  $('#closed-select-all').checked = false;
  $('#closed tbody').replaceChildren(...out.days.map((d) => el('tr', { 'data-id': d.id },
    el('td', {}, el('input', { type: 'checkbox', class: 'sel', value: d.id })),
    el('td', {}, el('a', { href: '#', class: 'day' }, d.dailyBillNo)), el('td', {}, d.date),
    el('td', {}, d.shops.join(', ')), el('td', { class: 'num' }, d.bills), el('td', { class: 'num' }, money(d.amount)),
    el('td', {}, d.stockBillNo || '—'), el('td', {}, d.checkBillNo || '—'), el('td', {}, d.operator),
    el('td', {}, d.closedAt || ''),
    el('td', {}, el('a', { href: '#', class: 'report-link' }, t('report'))))));
  $('#closed-count').textContent = t('daysCount', { n: out.count, bills: out.bills, amount: money(out.amount) });
}

let dayRequest = 0;
async function showDay(id, number) {
  const mine = ++dayRequest;
  const out = await get('/api/closed/' + id);
  if (mine !== dayRequest) return;
  $('#details-title').textContent = number;
  $('#details tbody').replaceChildren(...out.bills.map((b) => el('tr', {},
    el('td', {}, b.billNo), el('td', {}, b.date), el('td', {}, b.shop), el('td', {}, b.cashier),
    el('td', { class: 'num' }, money(b.amount)))),
  el('tr', { class: 'total' }, el('td', {}, t('totalOf', { n: out.bills.length })), el('td', {}), el('td', {}), el('td', {}),
    el('td', { class: 'num' }, money(out.billsTotal))));
  const stock = out.stockBill;
  $('#stock-title').textContent = stock ? `${stock.billNo} (${stock.date})` : '—';
  $('#stock-lines tbody').replaceChildren(...(stock ? [...stock.lines.map((l) => el('tr', {},
    el('td', {}, `${l.itemNumber} ${l.item}`), el('td', {}, l.unit), el('td', {}, l.stock), el('td', {}, l.batch),
    el('td', { class: 'num' }, l.qty), el('td', { class: 'num' }, money(l.amount)))),
  el('tr', { class: 'total' }, el('td', {}, t('total')), el('td', {}), el('td', {}), el('td', {}), el('td', {}),
    el('td', { class: 'num' }, money(stock.total)))] : []));
  const check = out.checkBill;
  $('#check-bill-line').textContent = check
    ? t('checkLine', { no: check.billNo, id: check.customerId, name: check.customer, amount: money(check.amount) }) +
      (check.writtenOff ? t('writtenOff') : '')
    : '—';
}

async function cancelDays() {
  if (!closedSelected.size) throw new Refused(t('cancelFirst'), 'ids');
  const numbers = closedDays.filter((d) => closedSelected.has(d.id)).map((d) => d.dailyBillNo);
  // Asking for the reason is the confirmation: no reason, no cancellation.
  const reason = window.prompt(t('askCancel', { numbers: numbers.join(', ') }), '');
  if (reason === null) return;
  $('#cancel-btn').disabled = true;
  try {
    const { job } = await post('/api/cancel', { ids: [...closedSelected], reason });
    const r = await follow(job, $('#cancel-progress'));
    const lines = [
      ...(r.cancelled || []).map((d) => t('cancelledOne', { no: d.dailyBillNo })),
      ...(r.failed || []).flatMap((f) => [t('notCancelled', { no: f.dailyBillNo }), ...f.lines]),
      ...(r.unknown || []).flatMap((f) => [t('outcomeUnknown', { no: f.dailyBillNo }), ...f.lines]),
      ...(r.message ? [r.message] : []),
      ...(r.ok ? ['反日结完成！'] : []),
    ];
    showLines($('#cancel-result'), r.ok, r.ok ? t('cancelled') : t('notAllCancelled'), lines);
    await loadClosed();
  } finally {
    $('#cancel-btn').disabled = false;
  }
}

// ---- wiring ----
function wire() {
  for (const tab of document.querySelectorAll('.tab')) {
    tab.addEventListener('click', guarded(async () => {
      document.querySelectorAll('.tab').forEach((t) => t.classList.toggle('active', t === tab));
      showScreen(tab.dataset.screen);
      if (tab.dataset.screen === 'screen-closed') await loadClosed();
      if (tab.dataset.screen === 'screen-log') await loadLog();
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
  $('#totals').addEventListener('input', countInput);
  $('#totals').addEventListener('click', (e) => {
    if (!e.target.matches('button[data-method]')) return;
    const c = counts.get(Number(e.target.dataset.method));
    c.open = !c.open;
    $(`#totals tr.pieces[data-method="${e.target.dataset.method}"]`).hidden = !c.open;
  });
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
    if (e.target.classList.contains('report-link')) {
      e.preventDefault();
      await showReport(e.target.closest('tr').dataset.id);
      return;
    }
    if (!e.target.classList.contains('day')) return;
    e.preventDefault();
    await showDay(e.target.closest('tr').dataset.id, e.target.textContent);
  }));
  $('#report-back').addEventListener('click', () => showScreen('screen-closed'));
  $('#report-print').addEventListener('click', () => window.print());
  $('#cancel-btn').addEventListener('click', guarded(cancelDays));
  // A new action clears what the last one said, also before the click reaches a guarded handler.
  document.addEventListener('input', clearErrors);
  $('#log-filter-btn').addEventListener('click', guarded(loadLog));
  $('#sign-in').addEventListener('submit', signIn);
  $('#sign-out').addEventListener('click', guarded(async () => {
    await send('DELETE', '/api/session');
    signedOut('');
  }));
  // A session still open (a reload) goes straight to the bills.
  document.querySelectorAll('select.language').forEach((box) => box.addEventListener('change', () => {
    language = box.value;
    localStorage.setItem('dialog-language', language);
    applyLanguage();
    // What the page wrote itself is written again in the new language.
    if (operator) $('#operator').textContent = `${operator.name} (${t(operator.role)})`;
    if (billsTotal !== null) $('#bill-count').textContent = t('openCount', { n: bills.length, total: money(billsTotal) });
    if (customerContact !== null) $('#client-detail').textContent = customerContact || t('noContact');
    if (operator) guarded(async () => { await selectionChanged(); })();
  }));
  applyLanguage();
  get('/api/session').then(signedIn, (e) => signedOut(e instanceof Refused ? '' : t('noServer')));
}

// ---- signing in ----
async function signIn(e) {
  e.preventDefault();
  const error = $('#sign-in-error');
  error.hidden = true;
  try {
    const who = await fetch('/api/session', {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ user: $('#sign-in-user').value.trim(), password: $('#sign-in-password').value }),
    }).then(answer);
    $('#sign-in-password').value = '';
    await signedIn(who);
  } catch (err) {
    error.textContent = said(err);
    error.hidden = false;
  }
}
async function signedIn(who) {
  operator = who;
  $('#sign-in-screen').hidden = true;
  $('#app').hidden = false;
  $('#operator').textContent = `${who.name} (${t(who.role)})`;
  // The audit trail is for supervisors and admins.
  $('#tab-log').hidden = who.role === 'closer';
  await guarded(async () => { await loadPickers(); await loadBills(); })();
}
function signedOut(message) {
  operator = null;
  $('#app').hidden = true;
  $('#sign-in-screen').hidden = false;
  const error = $('#sign-in-error');
  error.textContent = message || '';
  error.hidden = !message;
  $('#sign-in-user').focus();
}

function showScreen(id) {
  document.querySelectorAll('.screen').forEach((s) => { s.hidden = s.id !== id; });
}

// ---- the closing report ----
// A reconciliation: its lines, the last of them the total they add up to.
function chainTable(lines) {
  return el('table', { class: 'chain' }, el('tbody', {}, ...lines.map((l) =>
    el('tr', { class: l.total ? 'total' : '' }, el('td', {}, l.label), el('td', { class: 'num' }, money(l.amount))))));
}
function figures(head, rows) {
  return el('table', {}, el('thead', {}, el('tr', {}, ...head.map(([label, num]) => el('th', { class: num ? 'num' : '' }, label)))),
    el('tbody', {}, ...rows.map((cells) => el('tr', {}, ...cells.map(([v, num]) => el('td', { class: num ? 'num' : '' }, v))))));
}
async function showReport(id) {
  const r = await get(`/api/closed/${id}/report`);
  const d = r.day;
  const invoice = r.invoiceType === '2020'
    ? t('invoiceTaxed', { rate: r.taxRate, tax: money(r.stockTax), net: money(r.stockNet) }) : t('invoiceOrdinary');
  const parts = [
    el('h1', {}, `${t('reportTitle')} ${d.dailyBillNo}`),
    el('p', {}, t('reportHead', { date: d.date, shops: d.shops.join('、'), who: d.operator, when: d.closedAt || '' })),
    el('p', {}, t('reportBills', { sales: r.salesBills, returns: r.returnBills, total: money(r.total) }), ' · ', invoice),
    el('h2', {}, t('settlementMethod')),
    figures([[t('settlementMethod')], [t('bills'), 1], [t('amount'), 1], [t('inClosing')]],
      [...r.methods.map((m) => [[m.name], [m.bills, 1], [money(m.amount), 1], [t('role_' + m.role.replace(' ', '_'))]]),
        [[t('settledAll')], [''], [money(r.settled), 1], ['']]]),
    el('div', { class: 'pair' },
      el('section', {}, el('h2', {}, t('shop')), figures([[t('shop')], [t('bills'), 1], [t('amount'), 1]],
        r.shops.map((x) => [[x.name], [x.bills, 1], [money(x.amount), 1]]))),
      el('section', {}, el('h2', {}, t('cashier')), figures([[t('cashier')], [t('bills'), 1], [t('amount'), 1]],
        r.cashiers.map((x) => [[x.name], [x.bills, 1], [money(x.amount), 1]])))),
    el('h2', {}, t('billsToSettlement')), chainTable(r.billsToSettlement),
  ];
  if (r.goodsToStockBill.length) parts.push(el('h2', {}, t('goodsToStockBill')), chainTable(r.goodsToStockBill));
  if (r.stockBill) {
    parts.push(el('h2', {}, `${t('stockBill')} ${r.stockBill.billNo}`),
      figures([[t('item')], [t('unit')], [t('stockCol')], [t('batch')], [t('qty'), 1], [t('price'), 1], [t('amount'), 1]],
        [...r.stockBill.lines.map((l) => [[`${l.itemNumber} ${l.item}`], [l.unit], [l.stock], [l.batch], [l.qty, 1],
          [money(l.price), 1], [money(l.amount), 1]]), [[t('total')], [''], [''], [''], [''], [''], [money(r.stockBill.total), 1]]]));
  }
  if (r.checkBill) {
    const c = r.checkBill;
    parts.push(el('h2', {}, t('checkBill')), el('p', {}, t('checkLine', { no: c.billNo, id: c.customerId, name: c.customer,
      amount: money(c.amount) }) + (c.writtenOff ? t('writtenOff') : '')));
  }
  parts.push(el('h2', {}, t('cashCount')));
  if (r.count) {
    const k = r.count;
    const sum = (key) => money(k.lines.reduce((total, l) => total + l[key], 0));
    parts.push(figures([[t('settlementMethod')], [t('expected'), 1], [t('counted'), 1], [t('difference'), 1], [t('notesCoins')]],
      [...k.lines.map((l) => [[l.method], [money(l.expected), 1], [money(l.counted), 1], [money(l.difference), 1],
        [l.pieces.map((p) => `${p.denomination}×${p.pieces}`).join(' + ')]]),
      [[t('total')], [sum('expected'), 1], [sum('counted'), 1], [sum('difference'), 1], ['']]]),
    el('p', {}, t('countedBy', { who: k.countedByName || k.countedBy, max: money(k.maxDifference) }),
      ...(k.signedOffBy ? [' · ', t('signedOffBy', { who: k.signedOffByName })] : []),
      ...(k.note ? [' · ', t('countNoteLine', { note: k.note })] : [])));
  } else {
    parts.push(el('p', { class: 'muted' }, t('noCount')));
  }
  $('#report').replaceChildren(...parts);
  showScreen('screen-report');
}

// ---- audit trail ----
async function loadLog() {
  const p = {};
  for (const [k, id] of [['from', '#log-from'], ['to', '#log-to'], ['user', '#log-user']]) if ($(id).value) p[k] = $(id).value;
  const log = await get('/api/log', p);
  const body = $('#log tbody');
  body.replaceChildren(...log.events.slice().reverse().map((r) => el('tr', { class: r.result === 'done' ? '' : 'refused' },
    el('td', {}, r.time), el('td', {}, r.user || r.userId), el('td', {}, r.event), el('td', {}, r.result),
    el('td', {}, r.shops.map((id) => shopNames.get(id) || id).join('、')), el('td', { class: 'num' }, r.bills), el('td', {}, r.dailyBillNo || ''),
    el('td', { class: 'message' }, r.message))));
  $('#log-count').textContent = t('eventsCount', { n: log.count });
}
document.addEventListener('DOMContentLoaded', wire);
