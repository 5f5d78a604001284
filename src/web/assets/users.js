'use strict';
// The pages' users (admin): add one, change a role or password, remove.
(async () => {
  const $ = id => document.getElementById(id);
  const E = orlix.el;
  const roles = ['viewer', 'engineer', 'admin'];
  const list = E('tbody');
  const name = E('input', { id: 'newName', required: true, maxlength: '64', autocomplete: 'off' });
  const role = E('select', { id: 'newRole' }, ...roles.map(r => E('option', { value: r, text: r })));
  const password = E('input', { id: 'newPassword', type: 'password', minlength: '8', autocomplete: 'new-password',
    placeholder: 'empty: keep (existing users)' });
  const form = E('form', { class: 'bar' }, E('label', { text: 'Name' }, name), E('label', { text: 'Role' }, role),
    E('label', { text: 'Password' }, password), E('button', { class: 'primary', type: 'submit', text: 'Save' }));

  async function call(path, body, done) {
    try {
      show(await orlix.api(path, body));
      orlix.say($('status'), done);
    } catch (e) {
      orlix.say($('status'), e.message, true);
    }
  }

  function show(d) {
    list.replaceChildren(...d.users.map(u => E('tr', {}, E('td', { text: u.name }), E('td', { text: u.role }),
      E('td', {}, u.name === orlix.me().name ? null : E('button', { type: 'button', text: 'Remove',
        onclick: () => confirm(`Remove ${u.name}?`) && call('/api/users/remove', { name: u.name }, `${u.name} removed.`) })))));
  }

  form.addEventListener('submit', ev => {
    ev.preventDefault();
    const body = { name: name.value, role: role.value };
    if (password.value) body.password = password.value;
    call('/api/users', body, `${name.value} is ${role.value}.`);
    password.value = '';
  });

  await orlix.start('users');
  $('main').append(E('h2', { text: 'Add or change' }), form, E('h2', { text: 'Users' }),
    E('table', { class: 'list' }, E('thead', {}, E('tr', {}, E('th', { text: 'Name' }), E('th', { text: 'Role' }),
      E('th', { text: '' }))), list));
  show(await orlix.api('/api/users'));
})();
