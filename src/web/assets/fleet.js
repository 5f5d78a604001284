'use strict';
// The fleet: every site with its state, last message, active alarms and a
// small line of one value; sorted and filtered here, in the browser.
(async () => {
  const $ = id => document.getElementById(id);
  const states = ['unacknowledged', 'returned-unacknowledged', 'acknowledged', 'shelved', 'out-of-service'];
  let fleet = { sites: [] };
  let sort = { key: 'name', up: true };

  const alarmCount = s => states.reduce((n, st) => n + (s.alarms[st] || 0), 0);
  const keyOf = {
    name: s => s.name,
    state: s => (s.online ? 1 : 0),
    lastSeen: s => s.lastSeen || 0,
    alarms: s => alarmCount(s),
  };

  function spark(values) {
    const finite = values.filter(v => v !== null);
    if (!finite.length) return '';
    const lo = Math.min(...finite), hi = Math.max(...finite), span = hi - lo || 1;
    const w = 160 / Math.max(values.length - 1, 1);
    let lines = '', run = '';
    values.forEach((v, i) => {
      if (v === null) { if (run) lines += `<polyline points="${run}"/>`; run = ''; return; }
      run += `${(i * w).toFixed(1)},${(26 - (v - lo) / span * 24).toFixed(1)} `;
    });
    if (run) lines += `<polyline points="${run}"/>`;
    return `<svg class="spark" viewBox="0 0 160 28" preserveAspectRatio="none" role="img" ` +
      `aria-label="${fleet.value} from ${lo} to ${hi}">${lines}</svg>`;
  }

  function row(s) {
    const e = orlix.escape;
    const badges = states.filter(st => s.alarms[st])
      .map(st => `<span class="badge st-${st}" title="${st}">${s.alarms[st]} ${st}</span>`).join('');
    const url = '/site?name=' + encodeURIComponent(s.name);
    return `<tr data-site="${e(s.name)}"><td><a href="${e(url)}">${e(s.name)}</a></td>` +
      `<td class="${s.online ? 'online' : 'offline'}">${s.online ? 'online' : 'offline'}</td>` +
      `<td>${e(orlix.time(s.lastSeen))}</td><td>${badges}</td><td>${spark(s.spark)}</td></tr>`;
  }

  function render() {
    const find = $('filter').value.trim().toLowerCase();
    const show = $('show').value;
    const shown = fleet.sites.filter(s => (!find || s.name.toLowerCase().includes(find)) &&
      (show === 'all' || (show === 'online' && s.online) || (show === 'offline' && !s.online) ||
       (show === 'alarms' && alarmCount(s) > 0)));
    const k = keyOf[sort.key];
    shown.sort((a, b) => (k(a) < k(b) ? -1 : k(a) > k(b) ? 1 : 0) * (sort.up ? 1 : -1));
    $('sites').innerHTML = shown.map(row).join('');
    $('sparkHead').textContent = `${fleet.value}, last ${$('hours').value} h`;
    orlix.say($('status'), `${shown.length} of ${fleet.sites.length} sites; ` +
      `${fleet.sites.filter(s => s.online).length} online`);
  }

  async function load() {
    try {
      fleet = await orlix.api(`/api/sites?value=${encodeURIComponent($('value').value)}&hours=${$('hours').value}`);
      render();
      performance.mark('fleet-ready');
    } catch (e) {
      orlix.say($('status'), 'The fleet cannot be read: ' + e.message, true);
    }
  }

  await orlix.start('fleet');
  const layout = await orlix.api('/api/layout');
  for (const c of layout.columns) $('value').append(orlix.el('option', { value: c, text: c }));
  $('value').value = 'Pd';
  for (const b of document.querySelectorAll('th button'))
    b.addEventListener('click', () => {
      sort = { key: b.dataset.sort, up: sort.key === b.dataset.sort ? !sort.up : true };
      render();
    });
  $('filter').addEventListener('input', render);
  $('show').addEventListener('change', render);
  $('value').addEventListener('change', load);
  $('hours').addEventListener('change', load);
  await load();
  setInterval(load, 15000);
  orlix.live(() => {}, m => { if (m.type === 'alarms') load(); });
})();
