"""veldra_serve's page in a real browser: headless Chromium driven through
selenium (Debian's chromium, chromium-driver and python3-selenium) on the
sample model, checked by what a user sees: the page and its tiles come from
the server alone, without errors on the console; stepping the month changes
the month shown and the tiles; a click on a cell, also on a copy of the
world, charts the cell's series as the variable file holds it (read here with
the Python package veldra); the value under the pointer; "Link to this view"
opens the same view, in a new page or pasted into the page's address bar.

Every wait is bounded (WAIT seconds) and ends as soon as what it waits for
shows. A browser that cannot start fails the tests.

Environment: VELDRA_SERVE, VELDRA_SAMPLE_MODEL; PYTHONPATH holding veldra.
"""
import json
import math
import os
import re
import urllib.parse

import numpy as np
import pytest
import veldra
from selenium import webdriver
from selenium.common.exceptions import TimeoutException, WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

from serve_process import MODEL, Server

CHROMEDRIVER = "/usr/bin/chromedriver"
WAIT = 30  # seconds anything may take to show: a bound, not a measure
CELL = (0.25, 10.25)  # lon, lat of a rangeland cell in West Africa with a value every month
SCREENSHOT = os.environ.get("VELDRA_PAGE_SCREENSHOT")  # where to keep a picture of the page, if anywhere

# The loaded tiles of the map: [src, naturalWidth] each, or null while any is loading.
TILES_JS = """
const imgs = [...document.querySelectorAll(".leaflet-tile-pane img.leaflet-tile")];
if (!imgs.length || !imgs.every(i => i.complete && i.classList.contains("leaflet-tile-loaded"))) return null;
return imgs.map(i => [i.src, i.naturalWidth]);
"""


@pytest.fixture(scope="module")
def server():
    s = Server("--model", MODEL, "--threads", "8")
    yield s
    if s.proc.poll() is None:
        s.stop()


@pytest.fixture(scope="module")
def browser(tmp_path_factory):
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,900",
                     "--no-first-run", "--disable-extensions", "--disable-background-networking",
                     f"--user-data-dir={tmp_path_factory.mktemp('chromium-profile')}"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    # A sanitized build preloads its runtime for the veldra module; the browser runs without it.
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS")}
    try:
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER, env=env), options=options)
    except (WebDriverException, OSError) as e:
        pytest.fail(f"headless Chromium did not start through {CHROMEDRIVER}: {e}\n"
                    "(scripts/install-deps.sh installs chromium, chromium-driver and python3-selenium)",
                    pytrace=False)
    driver.set_page_load_timeout(WAIT)
    driver.set_script_timeout(WAIT)
    yield driver
    driver.quit()


@pytest.fixture(scope="module")
def cell_series():
    """The series of CELL's Precip as the variable file holds it: float32, NaN where no value."""
    ds = veldra.open_model(MODEL, grid=False)
    lon, lat = ds["lon"].values, ds["lat"].values
    index = np.nonzero((lon == CELL[0]) & (lat == CELL[1]))[0]
    assert len(index) == 1, "the sample model has no cell at %r" % (CELL,)
    values = ds["Precip"].isel(cell=int(index[0])).values
    months = [str(t)[:7] for t in ds["time"].values]
    assert np.isfinite(values).all()
    return months, values


def wait_for(driver, script, what, *args):
    """The script's first truthy result, or a failure naming `what` after WAIT seconds."""
    try:
        return WebDriverWait(driver, WAIT, poll_frequency=0.1).until(lambda d: d.execute_script(script, *args))
    except TimeoutException:
        pytest.fail(f"the page did not show {what} within {WAIT} s", pytrace=False)


def tiles_of(driver, part):
    """The map's tiles once all are loaded, each from an address holding `part` ("/2000-02/")."""
    return wait_for(driver, """const t = (function() {""" + TILES_JS + """})();
        return t && t.every(([src]) => src.includes(arguments[0])) ? t : null;""",
                    f"tiles from addresses with {part}", part)


def open_page(driver, url):
    """Loads the page anew (also when only the hash differs) and waits for its tiles."""
    driver.get("about:blank")
    driver.get(url)
    wait_for(driver, "return document.getElementById('month').textContent !== '';", "a month")
    return tiles_of(driver, "/" + month_shown(driver) + "/")


def month_shown(driver):
    return driver.find_element(By.ID, "month").text


def page_log_is_clean(driver, origin):
    """Every request of the page went to `origin`, and the console holds no error."""
    messages = [json.loads(e["message"])["message"] for e in driver.get_log("performance")]
    requests = [m["params"]["request"]["url"] for m in messages if m["method"] == "Network.requestWillBeSent"
                and m["params"].get("documentURL", "").startswith(origin)]
    assert requests, "no request of the page was seen"
    elsewhere = [u for u in requests if not u.startswith(origin) and not u.startswith("data:")]
    assert not elsewhere, f"the page asked elsewhere than {origin}: {elsewhere[:5]}"
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
    assert not errors, errors
    return requests


def test_the_page_comes_from_the_server_alone_and_shows_tiles(server, browser):
    origin = f"http://127.0.0.1:{server.port}"
    tiles = open_page(browser, server.url)
    assert month_shown(browser) == "2000-01"
    # The whole world at zoom 2: its 4 x 4 tiles or more (copies of the world beside it).
    assert len(tiles) >= 16, tiles
    for src, width in tiles:
        assert width == 256, (src, width)
        assert re.fullmatch(re.escape(origin) + r"/tiles/Precip/1/2000-01/2/[0-3]/[0-3]\.png\?STYLES=blue-to-yellow",
                            src), src
    # A tile over Africa holds the many colours of the cells' values, not only land and water.
    colours = browser.execute_script("""
        const img = [...document.querySelectorAll(".leaflet-tile-pane img")].find(i => i.src.includes("/2/2/1.png"));
        const c = document.createElement("canvas"); c.width = c.height = 256;
        const g = c.getContext("2d"); g.drawImage(img, 0, 0);
        const d = g.getImageData(0, 0, 256, 256).data, seen = new Set();
        for (let k = 0; k < d.length; k += 4) seen.add(d[k] + "," + d[k + 1] + "," + d[k + 2]);
        return seen.size;""")
    assert colours > 50, colours
    # The legend's ends and units, and the layers of the run in the list.
    legend = wait_for(browser, "return document.getElementById('legendtext').textContent;", "the legend's text")
    assert re.fullmatch(r"-?[0-9.]+(e[-+]?[0-9]+)? \(top\) to -?[0-9.]+(e[-+]?[0-9]+)? \(bottom\), cm", legend), legend
    assert wait_for(browser, "const i = document.getElementById('legendimg'); return i.complete && i.naturalHeight;",
                    "the legend's picture") == 256
    layers = [o.get_attribute("value") for o in Select(browser.find_element(By.ID, "layer")).options]
    assert layers[0] == "Precip" and "Live_Biomass_L2" in layers
    # What the browser fetched, by its own count too.
    resources = browser.execute_script("return performance.getEntriesByType('resource').map(e => e.name);")
    assert any(r.endswith("/static/leaflet/leaflet.js") for r in resources)
    assert all(r.startswith(origin + "/") for r in resources), resources
    requests = page_log_is_clean(browser, origin)
    assert origin + "/layers.json" in requests
    if SCREENSHOT:
        browser.save_screenshot(SCREENSHOT)


def test_stepping_changes_the_month_and_the_tiles(server, browser):
    origin = f"http://127.0.0.1:{server.port}"
    open_page(browser, server.url)
    step, back = browser.find_element(By.ID, "step"), browser.find_element(By.ID, "back")
    step.click()
    tiles = tiles_of(browser, "/2000-02/")
    assert month_shown(browser) == "2000-02"
    assert browser.find_element(By.ID, "time").get_attribute("value") == "1"
    assert all("/tiles/Precip/1/2000-02/" in src and width == 256 for src, width in tiles)
    legend_src = browser.find_element(By.ID, "legendimg").get_attribute("src")
    assert "TIME=2000-02" in legend_src
    back.click()
    back.click()  # before the first month: the last
    tiles_of(browser, "/2004-12/")
    assert month_shown(browser) == "2004-12"
    page_log_is_clean(browser, origin)


def chart_of(driver):
    """The chart once drawn: (the series it was drawn from, its line's points, its labels)."""
    wait_for(driver, "return document.getElementById('chart').querySelector('path');", "the chart")
    series = json.loads(driver.find_element(By.ID, "chart").get_attribute("data-series"))
    d = driver.find_element(By.CSS_SELECTOR, "#chart path").get_attribute("d")
    points = [(float(x), float(y)) for x, y in re.findall(r"[ML]([-0-9.]+) ([-0-9.]+)", d)]
    labels = [t.text for t in driver.find_elements(By.CSS_SELECTOR, "#chart text")]
    return series, points, labels


def check_chart(driver, months, values):
    series, points, labels = chart_of(driver)
    assert [s["time"] for s in series] == months
    # The values the chart holds are the file's, each as the same single-precision number.
    shown = np.array([math.nan if s["value"] is None else s["value"] for s in series], dtype=np.float32)
    np.testing.assert_array_equal(shown, values)
    # Its line: a point a month, high values up, from the lowest to the highest.
    W, H, lo, hi = 300, 180, float(values.min()), float(values.max())
    expected = [(30 + k * (W - 35) / (len(values) - 1), H - 15 - (float(v) - lo) / (hi - lo) * (H - 25))
                for k, v in enumerate(values)]
    assert len(points) == len(expected)
    for (x, y), (ex, ey) in zip(points, expected):
        assert abs(x - ex) <= 0.06 and abs(y - ey) <= 0.06, ((x, y), (ex, ey))
    top, bottom = float(labels[0]), float(labels[1])
    assert abs(top - hi) <= 5e-4 * abs(hi) and abs(bottom - lo) <= 5e-4 * max(abs(lo), 1e-6), labels
    assert labels[2:] == [months[0], months[-1]]


def test_a_click_on_a_cell_charts_its_series_from_the_file(server, browser, cell_series):
    months, values = cell_series
    origin = f"http://127.0.0.1:{server.port}"
    for lon in (CELL[0], CELL[0] + 360):  # the world, and its copy to the right
        open_page(browser, f"{server.url}#layer=Precip&time=2000-03&lat={CELL[1]}&lon={lon}&z=6")
        assert month_shown(browser) == "2000-03"
        map_element = browser.find_element(By.ID, "map")
        # The pointer at the map's middle, where the view is centred: the cell's value that month.
        # (From aside, as a pointer that did not move sends no event; it glides there, and the
        # readout follows it and stays where it rests.)
        ActionChains(browser).move_to_element_with_offset(map_element, -200, -100).move_to_element(map_element) \
            .perform()
        readout = wait_for(browser, """const m = /^(-?[0-9.]+), (-?[0-9.]+): (.*) cm$/.exec(
                                           document.getElementById('readout').textContent);
                                       return m && Math.abs(m[1] - arguments[0]) < 0.05 &&
                                              Math.abs(m[2] - arguments[1]) < 0.05 ? m[3] : null;""",
                           "the value under the pointer at the map's middle", *CELL)
        assert np.float32(float(readout)) == values[months.index("2000-03")], (readout, values[2])
        ActionChains(browser).move_to_element(map_element).click().perform()
        info = wait_for(browser, "const t = document.getElementById('cellinfo').textContent;"
                                 "return t.startsWith('Cell ') ? t : null;", f"the cell clicked at {lon}")
        assert f"{CELL[0]}, {CELL[1]}): Precip layer 1 in cm" in info, info
        check_chart(browser, months, values)
        # The marker where the click was, on whichever copy of the world.
        marker = browser.find_element(By.CSS_SELECTOR, ".leaflet-overlay-pane path.leaflet-interactive")
        box, centre = marker.rect, map_element.rect
        assert abs(box["x"] + box["width"] / 2 - (centre["x"] + centre["width"] / 2)) < 3, (box, centre)
        # Stepping keeps the chart and moves its mark of the month.
        before = browser.find_element(By.CSS_SELECTOR, "#chart line").get_attribute("x1")
        browser.find_element(By.ID, "step").click()
        tiles_of(browser, "/2000-04/")
        assert browser.find_element(By.CSS_SELECTOR, "#chart line").get_attribute("x1") != before
        page_log_is_clean(browser, origin)
    if SCREENSHOT:
        browser.save_screenshot(SCREENSHOT.replace(".png", "_chart.png"))


def test_the_link_reproduces_the_view(server, browser):
    origin = f"http://127.0.0.1:{server.port}"
    open_page(browser, server.url)
    Select(browser.find_element(By.ID, "layer")).select_by_value("Live_Biomass_L2")
    Select(browser.find_element(By.ID, "style")).select_by_value("viridis")
    for _ in range(2):
        browser.find_element(By.ID, "step").click()
    tiles = tiles_of(browser, "/2000-03/")
    assert all("/tiles/Live_Biomass/2/2000-03/" in src and "STYLES=viridis" in src for src, _ in tiles)
    view = browser.execute_script("return [map.getCenter().lat, map.getCenter().lng, map.getZoom()];")
    link = browser.find_element(By.ID, "link").get_attribute("href")
    assert link.startswith(server.url + "#")
    # A new page from the link.
    reopened = open_page(browser, link)
    assert month_shown(browser) == "2000-03"
    assert Select(browser.find_element(By.ID, "layer")).first_selected_option.get_attribute("value") == \
        "Live_Biomass_L2"
    assert Select(browser.find_element(By.ID, "style")).first_selected_option.get_attribute("value") == "viridis"
    assert sorted(src for src, _ in reopened) == sorted(src for src, _ in tiles)
    again = browser.execute_script("return [map.getCenter().lat, map.getCenter().lng, map.getZoom()];")
    assert again[2] == view[2] and abs(again[0] - view[0]) < 2e-3 and abs(again[1] - view[1]) < 2e-3
    # Another view's link pasted into the address bar of the open page: only the hash changes.
    hash_ = urllib.parse.urlencode({"layer": "Precip", "time": "2001-07", "style": "grey", "lat": 0, "lon": 20,
                                    "z": 3})
    browser.execute_script("location.hash = arguments[0];", hash_)
    tiles = tiles_of(browser, "/2001-07/3/")
    assert month_shown(browser) == "2001-07"
    assert all("/tiles/Precip/1/2001-07/3/" in src and "STYLES=grey" in src for src, _ in tiles)
    page_log_is_clean(browser, origin)
