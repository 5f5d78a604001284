'use strict';
// Any range of a site's samples: raw 4 s samples for short ranges, the
// 5-minute summaries for long ones (the hub chooses); missing intervals are
// gaps; two cursors measure; the shown range downloads as CSV.
(async () => {
  const $ = id => document.getElementById(id);
  const params = new URLSearchParams(location.search);
  let charts = null;

  function rangeQuery() {
    const from = orlix.fromLocalInput($('from').value), to = orlix.fromLocalInput($('to').value);
    if (!(from < to)) return null;
    return `from=${encodeURIComponent(new Date(from).toISOString())}&to=${encodeURIComponent(new Date(to).toISOString())}`;
  }

  async function show() {
    const q = rangeQuery();
    const site = $('site').value;
    if (!q || !site) { orlix.say($('status'), 'Choose a site and a range whose start comes before its end.', true); return; }
    const base = '/api/sites/' + encodeURIComponent(site);
    $('csv').href = `${base}/samples.csv?${q}`;
    history.replaceState(null, '', `/history?name=${encodeURIComponent(site)}&${q}`);
    orlix.say($('status'), 'Loading...');
    try {
      const t0 = performance.now();
      const d = await orlix.api(`${base}/samples?${q}`);
      charts.setData(d.t, d.values, d.texts);
      performance.mark('history-ready');
      const points = d.t.length, gaps = (d.values[Object.keys(d.values)[0]] || []).filter(v => v === null).length;
      const kind = d.resolution === 'raw' ? 'raw 4 s samples' : `means of ${orlix.duration(d.step)} from the 5-minute summaries`;
      orlix.say($('status'), `${points - gaps} points (${kind}), ${gaps} gaps; ${Math.round(performance.now() - t0)} ms.`);
    } catch (e) {
      orlix.say($('status'), 'The samples cannot be read: ' + e.message, true);
    }
  }

  function quick(hours) {
    const now = Date.now();
    $('to').value = orlix.localInput(now);
    $('from').value = orlix.localInput(now - hours * 3600e3);
    show();
  }

  await orlix.start('history');
  const [layout, fleet] = await Promise.all([orlix.api('/api/layout'), orlix.api('/api/sites?hours=1')]);
  for (const s of fleet.sites) $('site').append(orlix.el('option', { value: s.name, text: s.name }));
  if (params.get('name')) $('site').value = params.get('name');
  charts = new orlixCharts.SiteCharts($('charts'), layout, { cursors: true });
  $('range').addEventListener('submit', ev => { ev.preventDefault(); show(); });
  for (const b of document.querySelectorAll('[data-hours]')) b.addEventListener('click', () => quick(Number(b.dataset.hours)));
  const from = Date.parse(params.get('from') || ''), to = Date.parse(params.get('to') || '');
  if (from < to) {
    $('from').value = orlix.localInput(from);
    $('to').value = orlix.localInput(to);
    show();
  } else {
    quick(1);
  }
})();
