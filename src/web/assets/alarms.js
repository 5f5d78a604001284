'use strict';
// The alarms, kept up to date by the WebSocket's news; an engineer
// acknowledges and shelves. A command goes to the leading hub (through the
// database); the page shows its outcome once that hub has applied it.
(async () => {
  const $ = id => document.getElementById(id);
  const params = new URLSearchParams(location.search);
  let me = null;

  async function awaitOutcome(id, what) {
    for (let i = 0; i < 60; ++i) {
      const c = await orlix.api('/api/alarms/command/' + id);
      if (c.done) {
        orlix.say($('status'), `${what}: ${c.outcome}`, c.outcome !== 'done');
        return load();
      }
      await new Promise(r => setTimeout(r, 500));
    }
    orlix.say($('status'), `${what}: no hub applied it within 30 s`, true);
  }

  async function command(a, body, what) {
    orlix.say($('status'), `${what}: waiting for the leading hub...`);
    try {
      const r = await orlix.api('/api/alarms/command', Object.assign({ site: a.site, source: a.source }, body));
      await awaitOutcome(r.id, what);
    } catch (e) {
      orlix.say($('status'), `${what}: ${e.message}`, true);
    }
  }

  function shelveForm(a, cell) {
    const reason = orlix.el('input', { 'aria-label': 'Reason', placeholder: 'reason', required: true, maxlength: '200' });
    const until = orlix.el('input', { 'aria-label': 'Until', type: 'datetime-local', required: true,
      value: orlix.localInput(Date.now() + 8 * 3600e3) });
    const form = orlix.el('form', { class: 'inline' }, reason, until,
      orlix.el('button', { type: 'submit', text: 'Shelve' }),
      orlix.el('button', { type: 'button', text: 'Cancel', onclick: () => load() }));
    form.addEventListener('submit', ev => {
      ev.preventDefault();
      const end = new Date(orlix.fromLocalInput(until.value)).toISOString();
      command(a, { command: 'shelve', reason: reason.value, until: end }, `Shelve ${a.site} ${a.source}`);
    });
    cell.replaceChildren(form);
    reason.focus();
  }

  function actions(a) {
    const cell = orlix.el('td');
    if (me.role === 'viewer') return cell;
    const what = verb => `${verb} ${a.site} ${a.source}`;
    if (a.state === 'unacknowledged' || a.state === 'returned-unacknowledged')
      cell.append(orlix.el('button', { type: 'button', text: 'Acknowledge',
        onclick: () => command(a, { command: 'acknowledge' }, what('Acknowledge')) }));
    if (a.state === 'shelved')
      cell.append(orlix.el('button', { type: 'button', text: 'Unshelve',
        onclick: () => command(a, { command: 'unshelve' }, what('Unshelve')) }));
    else if (a.state !== 'normal' && a.state !== 'out-of-service')
      cell.append(orlix.el('button', { type: 'button', text: 'Shelve…', onclick: () => shelveForm(a, cell) }));
    return cell;
  }

  function row(a) {
    const by = a.state === 'shelved' ? `${a.hiddenBy}: ${a.reason} (until ${orlix.time(a.shelvedUntil)})` : a.ackBy;
    return orlix.el('tr', { 'data-site': a.site, 'data-source': a.source, 'data-state': a.state },
      orlix.el('td', {}, orlix.el('span', { class: `badge st-${a.state}`, text: a.state })),
      orlix.el('td', {}, orlix.el('a', { href: '/site?name=' + encodeURIComponent(a.site), text: a.site })),
      orlix.el('td', { text: a.source }), orlix.el('td', { text: a.message }),
      orlix.el('td', { text: orlix.time(a.first) }), orlix.el('td', { text: orlix.time(a.last) }),
      orlix.el('td', { text: String(a.count) }), orlix.el('td', { text: by }), actions(a));
  }

  async function load() {
    // A form being filled in is not thrown away by news.
    if (document.activeElement && document.activeElement.closest('form.inline')) return;
    try {
      const site = $('site').value.trim();
      const d = await orlix.api(`/api/alarms?all=${$('which').value}` + (site ? '&site=' + encodeURIComponent(site) : ''));
      $('alarms').replaceChildren(...d.alarms.map(row));
      performance.mark('alarms-ready');
    } catch (e) {
      orlix.say($('status'), 'The alarms cannot be read: ' + e.message, true);
    }
  }

  me = await orlix.start('alarms');
  if (params.get('site')) $('site').value = params.get('site');
  $('which').addEventListener('change', load);
  $('site').addEventListener('change', load);
  await load();
  orlix.live(() => load(), m => { if (m.type === 'alarms') load(); });
})();
