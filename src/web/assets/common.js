'use strict';
// What every page shares: the API with its CSRF token, the header, times,
// element building and the live WebSocket.
const orlix = (() => {
  let me = null;

  class ApiError extends Error {
    constructor(status, message) { super(message); this.status = status; }
  }

  async function api(path, body) {
    const opts = { credentials: 'same-origin', headers: {} };
    if (body !== undefined) {
      opts.method = 'POST';
      opts.headers['Content-Type'] = 'application/json';
      if (me) opts.headers['X-CSRF-Token'] = me.csrf;
      opts.body = JSON.stringify(body);
    }
    const r = await fetch(path, opts);
    if (r.status === 401 && path !== '/api/login') { location.href = '/login'; throw new ApiError(401, 'please log in'); }
    const type = r.headers.get('Content-Type') || '';
    const data = type.startsWith('application/json') ? await r.json() : await r.text();
    if (!r.ok) throw new ApiError(r.status, (data && data.error) || r.statusText);
    return data;
  }

  function el(tag, attrs, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (v === undefined || v === null || v === false) continue;
      if (k === 'text') e.textContent = v;
      else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
      else e.setAttribute(k, v === true ? '' : v);
    }
    for (const c of children) if (c !== null && c !== undefined) e.append(c);
    return e;
  }

  function escape(s) {
    return String(s).replace(/[&<>"']/g, c => ({ '&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;' }[c]));
  }

  const pad = n => String(n).padStart(2, '0');
  function time(ms) {
    if (ms === null || ms === undefined) return '';
    const d = new Date(ms);
    return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())} ${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}`;
  }
  // For <input type="datetime-local"> and back.
  function localInput(ms) { return time(ms).replace(' ', 'T'); }
  function fromLocalInput(text) { return text ? new Date(text).getTime() : NaN; }
  function duration(ms) {
    const s = Math.round(Math.abs(ms) / 1000);
    const d = Math.floor(s / 86400), h = Math.floor(s / 3600) % 24, m = Math.floor(s / 60) % 60;
    return (ms < 0 ? '-' : '') + (d ? d + ' d ' : '') + `${pad(h)}:${pad(m)}:${pad(s % 60)}`;
  }

  function header(active) {
    const links = [['fleet', 'Fleet'], ['alarms', 'Alarms'], ['history', 'History'], ['rules', 'Rules']];
    if (me.role === 'admin') links.push(['users', 'Users']);
    const top = el('header', { class: 'top' }, el('span', { class: 'brand', text: 'Orlix fleet' }));
    const nav = el('nav', { 'aria-label': 'Pages' });
    for (const [page, text] of links)
      nav.append(el('a', { href: '/' + page, text, 'aria-current': page === active ? 'page' : null }));
    const out = el('button', { type: 'button', text: 'Log out', onclick: async () => {
      try { await api('/api/logout', {}); } finally { location.href = '/login'; }
    } });
    top.append(nav, el('span', { class: 'who', text: `${me.name} (${me.role})` }), out);
    document.body.prepend(top);
  }

  async function start(active) {
    me = await api('/api/me');
    header(active);
    return me;
  }

  // The live WebSocket; reconnects after 2 s when it closes. `onOpen` runs
  // at every (re)connect, `onMessage` for every message.
  function live(onOpen, onMessage) {
    let socket = null;
    const connect = () => {
      socket = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/live');
      socket.onopen = () => onOpen(socket);
      socket.onmessage = ev => onMessage(JSON.parse(ev.data));
      socket.onclose = () => setTimeout(connect, 2000);
    };
    connect();
    return () => socket;
  }

  function say(node, text, bad) {
    node.textContent = text;
    node.classList.toggle('bad', !!bad);
  }

  return { api, el, escape, time, localInput, fromLocalInput, duration, start, live, say, me: () => me };
})();
