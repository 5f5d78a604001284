#!/usr/bin/python3
"""The browser side of web_bench: headless Chromium measures what a person
would wait for. python3 web_pages_bench.py SCENARIO BASE ARTIFACTS; prints
one line 'RESULT {json}'. Screenshots go to ARTIFACTS."""
import json
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'web', 'browser'))
from browser import hub, run  # noqa: E402

OBSERVE = """
window.__seen = {};
const f = document.getElementById(arguments[0]);
new MutationObserver(() => { if (!(f.textContent in window.__seen)) window.__seen[f.textContent] = Date.now(); })
  .observe(f, {childList: true, characterData: true, subtree: true});
"""

OBSERVE_ROWS = """
window.__seen = {};
const body = document.getElementById('alarms');
new MutationObserver(() => {
  for (const r of body.querySelectorAll('tr[data-source="Err"]'))
    if (!(r.dataset.site in window.__seen)) window.__seen[r.dataset.site] = Date.now();
}).observe(body, {childList: true, subtree: true});
"""


def result(value):
    print('RESULT ' + json.dumps(value), flush=True)


def latency(make):
    b = make()
    b.login('bench', 'bench password')
    b.open('/site?name=probe')
    b.wait(lambda: len(b.finds('output.fld')) == 160 and b.js('return document.querySelector(".chart")'))
    b.wait(lambda: 'Live' in b.find('#status').text, what='the live view')
    b.js(OBSERVE, 'Text1-12')
    n = 60
    hub(f'probes {n}')
    b.wait(lambda: b.js('return window.__seen[arguments[0]]', str(n)), timeout=15, what='the last probe')
    result(b.js('return window.__seen'))


def alarms(make):
    b = make()
    b.login('bench', 'bench password')
    b.open('/alarms')
    b.wait(lambda: b.js('return performance.getEntriesByName("alarms-ready").length') > 0)
    b.js(OBSERVE_ROWS)
    sites = [f'fleet-{i:04d}' for i in range(1, 6)]
    for s in sites:
        hub(f'fault {s}')
        b.wait(lambda: b.js('return window.__seen[arguments[0]]', s), timeout=30, what=f'the alarm of {s}')
    result(b.js('return window.__seen'))


def ready(make, path, mark, check):
    b = make()
    b.login('bench', 'bench password')
    times = []
    for _ in range(5):
        b.open(path)
        b.wait(lambda: b.js(f'return performance.getEntriesByName("{mark}").length') > 0, what=mark)
        times.append(b.js(f'return performance.getEntriesByName("{mark}")[0].startTime'))
        check(b)
    return b, times


def fleet(make):
    def rows(b):
        assert len(b.finds('#sites tr')) == 1001, len(b.finds('#sites tr'))
    b, times = ready(make, '/fleet', 'fleet-ready', rows)
    result({'ready': times, 'note': f'{len(b.finds("#sites tr"))} rows, from navigation start'})


def history(make):
    now = time.time()
    iso = lambda t: time.strftime('%Y-%m-%dT%H:%M:%SZ', time.gmtime(t))
    path = f'/history?name=long&from={iso(now - 30 * 86400)}&to={iso(now)}'
    note = {}

    def status(b):
        note['status'] = b.find('#status').text
    b, times = ready(make, path, 'history-ready', status)
    b.screenshot('30-days')
    result({'ready': times, 'note': note['status'] + ' from navigation start'})


def screens(make):
    wide = make('-desktop', 1400, 2400)
    wide.login('bench', 'bench password')
    for page in ['/fleet', '/site?name=live-1', '/alarms', '/rules', '/users', '/history?name=live-1']:
        wide.open(page)
        time.sleep(3)  # screenshots only: let the charts fill
        wide.screenshot(page.strip('/').replace('?name=', '-'))
    phone = make('-phone', 390, 1800)
    phone.login('bench', 'bench password')
    for page in ['/fleet', '/site?name=live-1', '/alarms', '/history?name=live-1']:
        phone.open(page)
        time.sleep(3)
        phone.screenshot(page.strip('/').replace('?name=', '-'))


if __name__ == '__main__':
    sys.exit(run({'latency': latency, 'alarms': alarms, 'fleet': fleet, 'history': history, 'screens': screens}))
