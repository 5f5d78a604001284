'use strict';
// The alarm rules in force (the rules file stays the one place they are
// edited); an admin can make the hub read the file again.
(async () => {
  const $ = id => document.getElementById(id);
  const E = orlix.el;
  const main = $('main');
  const body = E('div', { id: 'rules' });
  main.append(body);

  function table(head, rows) {
    return E('table', { class: 'list' }, E('thead', {}, E('tr', {}, ...head.map(h => E('th', { text: h })))),
      E('tbody', {}, ...rows.map(r => E('tr', {}, ...r.map(c => E('td', { text: String(c) }))))));
  }

  function show(r) {
    const parts = [
      E('p', { text: `File: ${r.file || '(none: no rules file given)'}. A site is offline after ${r.offlineAfterSeconds} s ` +
        `without a message; unacknowledged alarms are notified again every ${r.repeatIntervalSeconds} s.` }),
      E('p', { text: `Faults are told to: ${r.faultReceivers.join(', ') || 'nobody'}; offline sites to: ` +
        `${r.offlineReceivers.join(', ') || 'nobody'}.` }),
      E('h2', { text: 'Thresholds' }),
      table(['Rule', 'Value', 'Limit', 'Deadband', 'On delay (s)', 'Sites', 'Receivers'],
        r.thresholds.map(t => [t.name, t.value, `${t.direction} ${t.limit}`, t.deadband, t.onDelaySeconds,
          t.sites.join(', '), t.receivers.join(', ')])),
      E('h2', { text: 'Receivers' }),
      table(['Name', 'Kind'], r.receivers.map(x => [x.name, x.type])),
    ];
    if (r.errors.length) parts.push(E('h2', { text: 'Errors of the last reload' }),
      E('ul', {}, ...r.errors.map(e => E('li', { text: e }))));
    if (r.canReload) parts.push(E('p', {}, E('button', { type: 'button', class: 'primary', id: 'reload', text: 'Reload the rules file',
      onclick: reload })));
    body.replaceChildren(...parts);
  }

  async function reload() {
    try {
      show(await orlix.api('/api/rules/reload', {}));
      orlix.say($('status'), 'The rules were read again and are in force.');
    } catch (e) {
      orlix.say($('status'), 'The file has errors; the rules in force stay. ' + e.message, true);
      show(await orlix.api('/api/rules'));
    }
  }

  await orlix.start('rules');
  show(await orlix.api('/api/rules'));
})();
