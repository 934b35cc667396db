"""The station's operator page in headless Chromium, against `korvex station serve --demo` on the
simulated machine paced in real time: an order submitted from the page, plate 1 drawn on the canvas
as its marks arrive and the progress moving, Stop pressed (the plate `interrupted`, the gate
closed), the plate voided, the report downloaded. A screenshot is kept as build/station-page.png.

Usage: station_page_test.py KORVEX BUILD_DIR"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def retry(action, seconds=10):
    """Runs an action on elements the page may be redrawing: one that went stale is looked up again."""
    from selenium.common.exceptions import StaleElementReferenceException
    end = time.time() + seconds
    while True:
        try:
            return action()
        except StaleElementReferenceException:
            if time.time() > end:
                raise
            time.sleep(0.05)


def click(browser, by, selector):
    retry(lambda: browser.find_element(by, selector).click())


def get(url):
    with urllib.request.urlopen(url, timeout=5) as r:
        return r.read()


def main():
    korvex, build = sys.argv[1], sys.argv[2]
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    if not chromium or not driver:
        print("SKIP: chromium or chromedriver is not installed (Debian: chromium chromium-driver)")
        return 77
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.support.ui import WebDriverWait, Select
    except ImportError:
        print("SKIP: python3-selenium is not installed")
        return 77

    work = tempfile.mkdtemp(prefix="korvex-page-")
    downloads = os.path.join(work, "downloads")
    os.mkdir(downloads)
    port = free_port()
    base = "http://127.0.0.1:%d" % port
    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    service = subprocess.Popen(
        [korvex, "station", "serve", "--demo", "--real-time", "--db", os.path.join(work, "tags.db"),
         "--templates", os.path.join(source, "examples"), "--listen", "127.0.0.1:%d" % port,
         "--www", os.path.join(source, "www")],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    browser = None
    try:
        for _ in range(200):
            try:
                get(base + "/api/status")
                break
            except OSError:
                time.sleep(0.05)
        options = webdriver.ChromeOptions()
        options.binary_location = chromium
        for a in ("--headless", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1366,768"):
            options.add_argument(a)
        options.add_experimental_option("prefs", {"download.default_directory": downloads})
        from selenium.common.exceptions import StaleElementReferenceException
        browser = webdriver.Chrome(service=Service(executable_path=driver), options=options)
        browser.get(base + "/")
        wait = WebDriverWait(browser, 20, poll_frequency=0.1, ignored_exceptions=[StaleElementReferenceException])
        wait.until(lambda b: Select(b.find_element(By.ID, "order-pool")).options)
        retry(lambda: Select(browser.find_element(By.ID, "order-pool")).select_by_visible_text("demo"))
        count = browser.find_element(By.ID, "order-count")
        count.clear()
        count.send_keys("8")
        click(browser, By.CSS_SELECTOR, "#order button[type=submit]")
        wait.until(lambda b: "order 1" in b.find_element(By.ID, "order-result").text)

        # Plate 1 drawn as it is marked: lit pixels on the canvas, marks counted up, machine time moving.
        lit = "const c=document.getElementById('plate'),d=c.getContext('2d').getImageData(0,0,c.width,c.height).data;" \
              "let n=0;for(let i=0;i<d.length;i+=4)if(d[i]>0)n++;return n;"
        wait.until(lambda b: b.execute_script(lit) > 50)
        first = browser.find_element(By.ID, "progress-text").text
        time_first = browser.find_element(By.ID, "machine-time").text
        wait.until(lambda b: b.find_element(By.ID, "progress-text").text != first)
        wait.until(lambda b: b.find_element(By.ID, "machine-time").text != time_first)
        assert browser.find_element(By.ID, "plate-id").text.startswith("1"), browser.find_element(By.ID, "plate-id").text
        status = json.loads(get(base + "/api/status"))
        assert status["live"]["marking"], "plate 1 finished before Stop was pressed: %s" % status["live"]

        click(browser, By.ID, "stop")
        wait.until(lambda b: b.find_elements(By.CSS_SELECTOR, "#interrupted li[data-plate='1']"))
        wait.until(lambda b: b.find_element(By.ID, "plate-state").text == "interrupted")
        status = json.loads(get(base + "/api/status"))
        assert status["live"]["gate"] == "closed" and not status["live"]["marking"], status["live"]
        assert "closed" in browser.find_element(By.ID, "laser").text
        browser.save_screenshot(os.path.join(build, "station-page.png"))

        click(browser, By.CSS_SELECTOR, "#interrupted li[data-plate='1'] button.void")
        wait.until(lambda b: not b.find_elements(By.CSS_SELECTOR, "#interrupted li[data-plate='1']"))
        plate = json.loads(get(base + "/api/plates/1"))
        assert plate["state"] == "voided", plate["state"]

        click(browser, By.ID, "report")
        report = os.path.join(downloads, "report.csv")
        deadline = time.time() + 15
        while not os.path.exists(report) and time.time() < deadline:
            time.sleep(0.1)
        with open(report, encoding="utf-8") as f:
            rows = f.read().splitlines()
        voided = [r for r in rows if ",voided," in r]
        assert len(voided) == len(plate["numbers"]), rows[:6]
        print("ok: plate 1 drawn, stopped (gate closed), voided; report of %d rows" % (len(rows) - 1))
        return 0
    finally:
        if browser:
            browser.quit()
        service.terminate()
        try:
            out, _ = service.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            service.kill()
            out, _ = service.communicate()
        if out:
            print(out[-3000:])
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
