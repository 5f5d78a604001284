"""Headless Chromium for the pages' tests and measures, as root on a closed
network: the flags it needs, a fresh profile per browser, the console log
kept, and the hub test's control line (commands on stdout, 'ok' back on
stdin). A failing scenario leaves a screenshot and the console log in the
artifacts folder."""
import json
import os
import shutil
import sys
import tempfile
import traceback

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

CHROMIUM = '/usr/bin/chromium'
DRIVER = '/usr/bin/chromedriver'


class Browser:
    def __init__(self, base, artifacts, name, width=1400, height=1000):
        self.base = base
        self.artifacts = artifacts
        self.name = name
        self.profile = tempfile.mkdtemp(prefix='orlix-chromium-')
        o = Options()
        for a in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                  '--disable-background-networking', '--disable-component-update', '--disable-sync',
                  '--disable-dev-shm-usage', f'--user-data-dir={self.profile}', f'--window-size={width},{height}'):
            o.add_argument(a)
        o.binary_location = CHROMIUM
        o.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        self.d = webdriver.Chrome(service=Service(DRIVER), options=o)
        self.console = []

    def open(self, path):
        self.d.get(self.base + path)

    def wait(self, condition, timeout=20, what=''):
        return WebDriverWait(self.d, timeout, poll_frequency=0.1).until(lambda d: condition(), message=what)

    def find(self, css):
        return self.d.find_element(By.CSS_SELECTOR, css)

    def finds(self, css):
        return self.d.find_elements(By.CSS_SELECTOR, css)

    def click(self, css, what=''):
        """Clicks the element once it is there. Lists are drawn again as
        data arrives, so an element found a moment ago may be gone: find it
        again until a click lands."""
        def clicked():
            try:
                self.find(css).click()
                return True
            except StaleElementReferenceException:
                return False
        self.wait(clicked, what=what or f'a click on {css}')

    def text(self, css):
        """The element's text, read again when it was drawn anew meanwhile."""
        for _ in range(50):
            try:
                return self.find(css).text
            except StaleElementReferenceException:
                continue
        return self.find(css).text

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def login(self, name, password):
        self.open('/login')
        self.find('#name').send_keys(name)
        self.find('#password').send_keys(password)
        self.find('#submit').click()
        self.wait(lambda: self.d.current_url.endswith('/fleet'), what='the fleet after the login')

    def keep_console(self):
        self.console += self.d.get_log('browser')

    def screenshot(self, label):
        os.makedirs(self.artifacts, exist_ok=True)
        path = os.path.join(self.artifacts, f'{self.name}-{label}.png')
        self.d.save_screenshot(path)
        return path

    def fail_evidence(self):
        try:
            self.screenshot('failed')
            self.keep_console()
            with open(os.path.join(self.artifacts, f'{self.name}-console.log'), 'w') as f:
                for e in self.console:
                    f.write(json.dumps(e) + '\n')
        except Exception:  # the browser itself may be gone
            traceback.print_exc()

    def close(self):
        try:
            self.d.quit()
        finally:
            shutil.rmtree(self.profile, ignore_errors=True)


def hub(command):
    """Asks the test program to do something (raise a fault, stop a site) and waits until it did."""
    print(command, flush=True)
    answer = sys.stdin.readline().strip()
    if answer != 'ok':
        raise RuntimeError(f'the hub test answered {answer!r} to {command!r}')


def run(scenarios):
    """main(): python3 pages_test.py SCENARIO BASE_URL ARTIFACTS_DIR"""
    name, base, artifacts = sys.argv[1], sys.argv[2], sys.argv[3]
    browsers = []

    def make(label='', width=1400, height=1000):
        b = Browser(base, artifacts, name + label, width, height)
        browsers.append(b)
        return b

    try:
        scenarios[name](make)
        for b in browsers:
            b.keep_console()
            errors = [e for e in b.console if e.get('level') == 'SEVERE' and 'favicon' not in e.get('message', '')
                      and ' 40' not in e.get('message', '')]
            if errors:
                raise AssertionError(f'console errors: {errors}')
        print('PASSED', flush=True)
        return 0
    except Exception:
        traceback.print_exc()
        for b in browsers:
            b.fail_evidence()
        return 1
    finally:
        for b in browsers:
            b.close()
