'use strict';
// A site's four charts (master, slaves 1..3) as the analyzer draws them: on
// black, each curve at the height the desktop chart gives it (a * raw + b
// of its 400-pixel chart), its values shown as the analyzer's readout
// writes them. With cursors: two measuring cursors shared by the four
// charts (click: cursor 1, shift+click: cursor 2; on a focused chart the
// keys 1 and 2 choose a cursor and the arrow keys move it), with the values
// under each and the time between them.
const orlixCharts = (() => {
  const readout = (texts, k, raw) => {
    if (raw === null || raw === undefined || Number.isNaN(raw)) return '';
    const r = Math.round(raw);
    const t = texts[k] && texts[k][r];
    return t !== undefined ? t : String(r);
  };

  class SiteCharts {
    constructor(container, layout, options = {}) {
      this.layout = layout;
      this.withCursors = !!options.cursors;
      this.t = [];                   // ms
      this.raw = {};                 // value index -> raw values
      this.texts = {};               // value index -> {raw: text}
      this.cursor = [null, null];    // point indices
      this.active = 0;
      this.plots = layout.charts.map((def, c) => this.makeChart(container, def, c));
      window.addEventListener('resize', () => this.resize());
    }

    makeChart(container, def, c) {
      const box = orlix.el('section', { class: 'chart', tabindex: this.withCursors ? '0' : null,
        'aria-label': `${def.name} chart` }, orlix.el('h2', { text: def.name }));
      const table = this.withCursors ? orlix.el('div', { class: 'readout', 'aria-live': 'polite' }) : null;
      container.append(box);
      const series = [{ value: (u, v) => (v === null ? '' : orlix.time(v * 1000)) }];
      for (const curve of def.curves)
        series.push({ label: `${curve.label} ${curve.column}`, stroke: curve.colour, width: 1.2, spanGaps: false,
          value: (u, v, si, i) => (i === null || i === undefined ? '' : readout(this.texts, curve.value, this.raw[curve.value][i])) });
      const plot = new uPlot({
        width: this.widthOf(box), height: 240, series,
        scales: { x: { time: true }, y: { range: [0, 400] } },
        axes: [{ stroke: '#333', grid: { stroke: '#2a2a2a' } }, { show: false, grid: { stroke: '#2a2a2a' } }],
        hooks: { draw: [u => this.drawCursors(u)] },
      }, [[], ...def.curves.map(() => [])], box);
      if (table) box.append(table);
      if (this.withCursors) this.listen(box, plot);
      return { def, box, plot, table, index: c };
    }

    widthOf(box) { return Math.max(260, (box.clientWidth || box.parentNode.clientWidth || 600) - 10); }
    resize() { for (const p of this.plots) p.plot.setSize({ width: this.widthOf(p.box), height: 240 }); }

    listen(box, plot) {
      plot.over.addEventListener('click', ev => {
        const i = plot.posToIdx(ev.offsetX);
        if (i === null || i === undefined) return;
        this.active = ev.shiftKey ? 1 : 0;
        this.setCursor(this.active, i);
      });
      box.addEventListener('keydown', ev => {
        if (ev.key === '1' || ev.key === '2') { this.active = Number(ev.key) - 1; ev.preventDefault(); return; }
        const step = { ArrowLeft: -1, ArrowRight: 1 }[ev.key];
        if (!step || !this.t.length) return;
        ev.preventDefault();
        const at = this.cursor[this.active];
        this.setCursor(this.active, Math.min(this.t.length - 1, Math.max(0, (at === null ? 0 : at) + step)));
      });
    }

    setCursor(n, i) {
      this.cursor[n] = i;
      for (const p of this.plots) { p.plot.redraw(false); this.writeReadout(p); }
    }

    drawCursors(u) {
      const ctx = u.ctx;
      this.cursor.forEach((i, n) => {
        if (i === null || i >= this.t.length) return;
        const x = Math.round(u.valToPos(this.t[i] / 1000, 'x', true));
        ctx.save();
        ctx.strokeStyle = n === 0 ? '#00e5ff' : '#ff4081';
        ctx.lineWidth = 1;
        ctx.beginPath();
        ctx.moveTo(x, u.bbox.top);
        ctx.lineTo(x, u.bbox.top + u.bbox.height);
        ctx.stroke();
        ctx.restore();
      });
    }

    writeReadout(p) {
      if (!p.table) return;
      const [a, b] = this.cursor;
      const head = orlix.el('tr', {}, orlix.el('th', { text: '' }),
        orlix.el('th', { text: a === null ? 'cursor 1' : orlix.time(this.t[a]) }),
        orlix.el('th', { text: b === null ? 'cursor 2' : orlix.time(this.t[b]) }));
      const rows = [head];
      for (const c of p.def.curves)
        rows.push(orlix.el('tr', {}, orlix.el('th', { text: `${c.column} ${c.unit}` }),
          orlix.el('td', { text: a === null ? '' : readout(this.texts, c.value, this.raw[c.value][a]) }),
          orlix.el('td', { text: b === null ? '' : readout(this.texts, c.value, this.raw[c.value][b]) })));
      const dt = a !== null && b !== null ? orlix.duration(this.t[b] - this.t[a]) : '';
      p.table.replaceChildren(orlix.el('p', { class: 'dt', text: dt ? `Δt = ${dt}` : 'Click a chart for cursor 1, shift+click for cursor 2.' }),
        orlix.el('table', {}, ...rows));
    }

    mergeTexts(texts) {
      for (const [k, byRaw] of Object.entries(texts || {})) this.texts[k] = Object.assign(this.texts[k] || {}, byRaw);
    }

    // Replaces everything: times in ms, raw values by value index (null: a gap).
    setData(t, values, texts) {
      this.t = t.slice();
      this.raw = {};
      for (const [k, v] of Object.entries(values)) this.raw[k] = v.slice();
      this.mergeTexts(texts);
      this.cursor = [null, null];
      this.redrawAll();
    }

    // One more sample; the oldest go beyond `keep` points.
    append(t, values, texts, keep) {
      this.t.push(t);
      for (const [k, v] of Object.entries(values)) (this.raw[k] = this.raw[k] || []).push(v);
      this.mergeTexts(texts);
      while (this.t.length > keep) { this.t.shift(); for (const k in this.raw) this.raw[k].shift(); }
      this.redrawAll();
    }

    redrawAll() {
      const xs = this.t.map(ms => ms / 1000);
      for (const p of this.plots) {
        const ys = p.def.curves.map(c => (this.raw[c.value] || []).map(v => (v === null ? null : c.a * v + c.b)));
        p.plot.setData([xs, ...ys]);
        this.writeReadout(p);
      }
    }
  }
  return { SiteCharts, readout };
})();
