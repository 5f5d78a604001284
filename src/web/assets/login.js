'use strict';
// The login form: the password goes in the body of a POST, never in a URL.
document.getElementById('login').addEventListener('submit', async ev => {
  ev.preventDefault();
  const status = document.getElementById('status');
  status.textContent = '';
  status.classList.remove('bad');
  const body = JSON.stringify({
    name: document.getElementById('name').value,
    password: document.getElementById('password').value,
  });
  try {
    const r = await fetch('/api/login', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body });
    if (r.ok) { location.href = '/fleet'; return; }
    const data = await r.json().catch(() => ({}));
    status.textContent = data.error || r.statusText;
  } catch (e) {
    status.textContent = 'The hub cannot be reached.';
  }
  status.classList.add('bad');
});
