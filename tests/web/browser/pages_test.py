#!/usr/bin/python3
"""The office's pages in headless Chromium against a real hub (run by
web_browser_tests, which also runs the sites and answers this script's
commands). One scenario per run: python3 pages_test.py SCENARIO BASE ARTIFACTS."""
import sys

from browser import hub, run

SITES = 12


def fleet_and_live(make):
    b = make()
    b.open('/fleet')
    b.wait(lambda: b.d.current_url.endswith('/login'), what='the login page for a visitor')
    b.find('#name').send_keys('emil')
    b.find('#password').send_keys('wrong password')
    b.find('#submit').click()
    b.wait(lambda: 'wrong name or password' in b.text('#status'), what='the refusal')
    assert b.d.current_url.endswith('/login')
    b.login('emil', 'engineer password')
    b.wait(lambda: len(b.finds('#sites tr')) == SITES, what=f'{SITES} sites')
    b.wait(lambda: len(b.finds('#sites td.online')) == SITES, what='every site online')
    b.find('#filter').send_keys('site-03')
    b.wait(lambda: len(b.finds('#sites tr')) == 1, what='the filter')
    b.click('#sites a', what='the filtered site')
    b.wait(lambda: b.d.current_url.endswith('/site?name=site-03'), what='the site page')
    b.wait(lambda: len(b.finds('output.fld')) == 160, what='160 fields')
    texts = lambda: b.js("return [...document.querySelectorAll('output.fld')].map(f => f.textContent.trim())")
    b.wait(lambda: sum(1 for t in texts() if t) > 100, what='the fields filled from the bus')
    first = texts()
    b.wait(lambda: texts() != first, timeout=30, what='a field changing')
    coloured = b.js("return [...document.querySelectorAll('output.fld')].filter(f => f.style.color).length")
    assert coloured > 0, 'no field has a colour of its own'
    # A 4 s sample reaches the live charts.
    b.wait(lambda: b.js("return document.querySelectorAll('.chart .u-legend').length") == 4, what='four charts')
    b.screenshot('live')


def alarm_and_acknowledge(make):
    b = make()
    b.login('emil', 'engineer password')
    b.open('/alarms')
    b.wait(lambda: b.js('return performance.getEntriesByName("alarms-ready").length') > 0, what='the alarm list')
    b.js('window.stillTheSamePage = true')
    hub('fault site-01 EEPROM')
    row = '#alarms tr[data-site="site-01"][data-source="Err"]'
    b.wait(lambda: b.finds(row + '[data-state="unacknowledged"]'), timeout=15, what='the alarm without reloading')
    assert b.js('return window.stillTheSamePage === true'), 'the page was reloaded'
    assert 'EEPROM' in b.text(row)
    b.click(row + ' button', what='acknowledge')
    b.wait(lambda: 'done' in b.text('#status'), what='the leading hub applying the acknowledgement')
    b.wait(lambda: b.finds(row + '[data-state="acknowledged"]'), what='the acknowledged state')
    assert 'emil' in b.text(row)
    b.screenshot('alarms')


def offline_and_gap(make):
    b = make()
    b.login('emil', 'engineer password')
    row = 'tr[data-site="site-02"]'
    b.wait(lambda: b.finds(row + ' td.online'), what='site-02 online')
    hub('stop site-02')
    b.wait(lambda: b.finds(row + ' td.offline'), timeout=20, what='site-02 offline')
    hub('start site-02')
    b.wait(lambda: b.finds(row + ' td.online'), timeout=20, what='site-02 back online')
    b.open('/history?name=site-02')
    b.wait(lambda: 'points' in b.text('#status'), what='the history')
    status = b.text('#status')
    gaps = int(status.split(', ')[1].split(' ')[0])
    assert gaps >= 1, f'no gap in the history: {status}'
    # Two cursors: clicks on the master chart, then the time between them.
    over = b.finds('.chart .u-over')[0]
    width = over.size['width']
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.keys import Keys
    ActionChains(b.d).move_to_element_with_offset(over, -width // 4, 0).click().perform()
    ActionChains(b.d).key_down(Keys.SHIFT).move_to_element_with_offset(over, width // 4, 0).click() \
        .key_up(Keys.SHIFT).perform()
    b.wait(lambda: 'Δt =' in b.text('.readout .dt'), what='the cursors\' time apart')
    b.screenshot('history')


def viewer_and_csrf(make):
    hub('fault site-04 EEPROM')
    v = make('-viewer')
    v.login('vera', 'viewer password')
    v.open('/alarms')
    row = '#alarms tr[data-site="site-04"][data-source="Err"]'
    v.wait(lambda: v.finds(row), timeout=15, what='the alarm for the viewer')
    assert not v.finds(row + ' button'), 'a viewer is offered to acknowledge'
    status = v.js("""return orlix.api('/api/alarms/command', {site: 'site-04', source: 'Err', command: 'acknowledge'})
        .then(() => 200, e => e.status)""")
    assert status == 403, f'a viewer acknowledged: {status}'
    e = make('-engineer')
    e.login('emil', 'engineer password')
    no_token = e.js("""return fetch('/api/alarms/command', {method: 'POST', headers: {'Content-Type': 'application/json'},
        body: JSON.stringify({site: 'site-04', source: 'Err', command: 'acknowledge'})}).then(r => r.status)""")
    assert no_token == 403, f'a change without the CSRF token: {no_token}'
    e.open('/alarms')
    e.wait(lambda: e.finds(row + '[data-state="unacknowledged"] button'), what='the alarm still unacknowledged')


if __name__ == '__main__':
    sys.exit(run({'fleet_and_live': fleet_and_live, 'alarm_and_acknowledge': alarm_and_acknowledge,
                  'offline_and_gap': offline_and_gap, 'viewer_and_csrf': viewer_and_csrf}))
