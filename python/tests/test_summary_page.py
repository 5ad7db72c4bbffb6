"""The summary page in a real browser (headless Chromium): it loads without
script errors, its table has a row per point and sorts, its heat maps
render, and its links reach each point's report page."""
import os
import tempfile
from urllib.parse import unquote, urlparse

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By


@pytest.fixture(scope="module")
def browser():
    options = webdriver.ChromeOptions()
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                 "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--window-size=1400,1000"):
        options.add_argument(flag)
    profile = tempfile.TemporaryDirectory(prefix="amisweep-chromium-")
    options.add_argument(f"--user-data-dir={profile.name}")
    options.binary_location = "/usr/bin/chromium"
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    service = Service(executable_path="/usr/bin/chromedriver")
    driver = webdriver.Chrome(options=options, service=service)
    yield driver
    driver.quit()
    profile.cleanup()


def column_values(driver, index):
    return driver.execute_script(
        "return Array.from(document.querySelectorAll('table#points tbody tr'))"
        ".map(r => r.cells[arguments[0]].getAttribute('data-value'))", index)


def test_the_summary_page_as_a_person_sees_it(small_sweep, browser):
    sweep, outcome = small_sweep
    browser.get("file://" + os.path.join(sweep.output, "summary.html"))
    errors = [e for e in browser.get_log("browser") if e["level"] == "SEVERE"]
    assert not errors, errors
    rows = browser.find_elements(By.CSS_SELECTOR, "table#points tbody tr")
    assert len(rows) == len(outcome.table)
    assert len(browser.find_elements(By.CSS_SELECTOR, "table#best tbody tr")) == 2

    headers = [h.text for h in browser.find_elements(By.CSS_SELECTOR, "table#points th")]
    figure = headers.index(outcome.rank_column)
    for order in ("ascending", "descending"):
        browser.find_elements(By.CSS_SELECTOR, "table#points th")[figure].click()
        values = [float(v) for v in column_values(browser, figure)]
        assert values == sorted(values, reverse=order == "descending")
    assert not [e for e in browser.get_log("browser") if e["level"] == "SEVERE"]

    pictures = browser.find_elements(By.CSS_SELECTOR, "img")
    assert len(pictures) == 2
    for picture in pictures:
        assert browser.execute_script("return arguments[0].complete && "
                                      "arguments[0].naturalWidth", picture) > 0

    links = [a.get_attribute("href") for a in
             browser.find_elements(By.CSS_SELECTOR, "table#points a")]
    assert len(links) == len(outcome.table)
    for link in links:
        assert os.path.isfile(unquote(urlparse(link).path)), link
    browser.get(links[0])
    assert browser.execute_script("return document.documentElement.tagName") == "svg"
