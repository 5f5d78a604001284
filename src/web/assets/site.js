'use strict';
// A site, live: the monitor's five panels with its 160 fields as the hub
// decodes them from the site's bus bytes, the four live charts (4 s
// samples) and the error memory, pushed over the WebSocket.
(async () => {
  const $ = id => document.getElementById(id);
  const site = new URLSearchParams(location.search).get('name') || '';
  const fields = [];
  const errorLists = [];
  let charts = null;
  let size = [0, 0];

  const px = (node, r) => {
    node.style.left = r[0] + 'px'; node.style.top = r[1] + 'px';
    node.style.width = r[2] + 'px'; node.style.height = r[3] + 'px';
  };

  function build(layout) {
    size = layout.size;
    const monitor = $('monitor');
    monitor.style.width = size[0] + 'px';
    monitor.style.height = size[1] + 'px';
    const panels = layout.panels.map((p, i) => {
      const panel = orlix.el('section', { class: 'panel', 'aria-label': p.caption, id: 'panel' + i },
        orlix.el('span', { class: 'caption', text: p.caption }));
      panel.querySelector('.caption').style.color = p.colour;
      px(panel, p.rect);
      monitor.append(panel);
      return panel;
    });
    // Reading order (row by row) for small screens; placed as on the desktop otherwise.
    const order = layout.fields.slice().sort((a, b) => a.panel - b.panel || a.label[1] - b.label[1] || a.label[0] - b.label[0]);
    for (const f of order) {
      const layer = f.hidden ? ' under' : f.index === 126 ? ' over' : '';
      const id = 'Text1-' + f.index;
      const cap = orlix.el('label', { class: 'cap' + layer, for: id, text: f.caption });
      const fld = orlix.el('output', { class: 'fld' + layer, id, 'data-index': f.index });
      px(cap, f.label);
      px(fld, f.field);
      panels[f.panel].append(cap, fld);
      fields[f.index] = fld;
    }
    for (const name of layout.errorLists) {
      const list = orlix.el('ol', { 'aria-label': name, reversed: true });
      $('errors').append(orlix.el('section', {}, orlix.el('h2', { text: name }), list));
      errorLists.push(list);
    }
    charts = new orlixCharts.SiteCharts($('charts'), layout);
  }

  function fit() {
    const wrap = $('monitorWrap');
    if (window.matchMedia('(max-width: 760px)').matches) { wrap.style.height = ''; return; }
    const scale = Math.min(1.4, wrap.clientWidth / size[0]);
    $('monitor').style.transform = `scale(${scale})`;
    wrap.style.height = Math.ceil(size[1] * scale) + 'px';
  }

  function show(i, text, colour) {
    const f = fields[i];
    if (!f) return;
    f.textContent = text;
    f.style.color = colour || '';
  }

  function take(m) {
    if (m.type === 'snapshot') {
      m.fields.forEach(([text, colour], i) => show(i, text, colour));
      m.errors.forEach((entries, l) => errorLists[l].replaceChildren(...entries.map(e => orlix.el('li', { text: e }))));
      charts.setData(m.samples.t, m.samples.values, m.samples.texts);
      orlix.say($('status'), 'Live: decoded by the hub from the site\'s bus bytes.');
    } else if (m.type === 'fields') {
      for (const [i, text, colour] of m.fields) show(i, text, colour);
    } else if (m.type === 'sample') {
      charts.append(m.t, m.values, m.texts, 720);
    } else if (m.type === 'error') {
      errorLists[m.list].prepend(orlix.el('li', { text: m.entry }));
    }
  }

  await orlix.start('fleet');
  $('title').textContent = site;
  document.title = 'Orlix fleet: ' + site;
  $('historyLink').href = '/history?name=' + encodeURIComponent(site);
  $('alarmsLink').href = '/alarms?site=' + encodeURIComponent(site);
  build(await orlix.api('/api/layout'));
  fit();
  window.addEventListener('resize', fit);
  orlix.live(socket => socket.send(JSON.stringify({ watch: site })), take);
})();
