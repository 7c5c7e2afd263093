#!/usr/bin/python3
"""The integrators' demo page in headless Chromium against the running program.

Usage: test_demo_page.py <build bin folder> <demo/index.html>
The program runs from a private copy of the bin folder, with the reader
stand-in's built-in card.
"""
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

BIN_DIR = Path(sys.argv[1])
PAGE = Path(sys.argv[2]).resolve()
CARD_NAME = "张三"
CARD_ID = "99000019900101001X"


def wait_for_port(port, timeout=15.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.1)
    return False


def run_log(folder):
    try:
        return (folder / "log" / "RunLog.log").read_bytes().decode("utf-8", "replace")
    except OSError:
        return ""


def wait_until_serving(program, folder, log_start, timeout=15.0):
    """True once this program, not some other one, listens on both ports."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and program.poll() is None:
        lines = run_log(folder)[log_start:].split("\r\n")
        if any("failed to listen" in line for line in lines):
            return False
        started = [line for line in lines if "WebSocketServer start success" in line]
        if all(any(("port is : %d " % port) in line for line in started) for port in (10080, 10081)):
            return wait_for_port(10080) and wait_for_port(10081)
        time.sleep(0.1)
    return False


def browser(extra_arguments=()):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--user-data-dir=" + tempfile.mkdtemp(prefix="demo-chromium-")):
        options.add_argument(argument)
    for argument in extra_arguments:
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class DemoPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = Path(tempfile.mkdtemp(prefix="demo-test-"))
        copy = cls.root / "bin"
        copy.mkdir()
        for entry in BIN_DIR.iterdir():
            if entry.is_file():
                shutil.copy2(entry, copy / entry.name)
        (cls.root / "tmp").mkdir()
        cls.start_program()

    @classmethod
    def start_program(cls):
        copy = cls.root / "bin"
        env = dict(os.environ, TMPDIR=str(cls.root / "tmp"), QT_QPA_PLATFORM="offscreen", LC_ALL="C.UTF-8")
        env.pop("SDTAPI_SIM", None)
        log_start = len(run_log(copy))
        cls.program = subprocess.Popen([str(copy / "Tolvane")], cwd=str(copy), env=env)
        if not wait_until_serving(cls.program, copy, log_start):
            cls.program.kill()
            cls.program.wait()
            raise RuntimeError("the program does not serve on 10080 and 10081 (is another one running?)")

    @classmethod
    def stop_program(cls):
        cls.program.send_signal(signal.SIGTERM)
        try:
            cls.program.wait(10)
        except subprocess.TimeoutExpired:
            cls.program.kill()
            cls.program.wait()

    @classmethod
    def tearDownClass(cls):
        cls.stop_program()
        shutil.rmtree(cls.root, ignore_errors=True)

    def read_card(self, driver, port):
        """Reads the card on the page at `port`, or on the page already open for None."""
        if port is not None:
            driver.get(PAGE.as_uri() + "?port=%d" % port)
        wait = WebDriverWait(driver, 15)
        wait.until(lambda d: "connected" in d.find_element(By.ID, "status").get_attribute("class"))
        driver.find_element(By.ID, "btn-card").click()
        wait.until(lambda d: d.find_element(By.ID, "card-id").text == CARD_ID)
        self.assertEqual(driver.find_element(By.ID, "card-name").text, CARD_NAME)
        photo = driver.find_element(By.CSS_SELECTOR, "#card-photo img")
        wait.until(lambda d: d.execute_script("return arguments[0].naturalWidth", photo) > 0)
        self.assertIn("成功", driver.find_element(By.ID, "message").text)

    def test_card_through_10081_in_the_browser_as_it_comes(self):
        driver = browser()
        try:
            self.read_card(driver, 10081)
        finally:
            driver.quit()

    def test_card_through_10080_with_the_port_allowed(self):
        driver = browser(["--explicitly-allowed-ports=10080"])
        try:
            self.read_card(driver, 10080)
        finally:
            driver.quit()

    def test_reconnects_when_the_program_restarts(self):
        driver = browser(["--explicitly-allowed-ports=10080"])
        try:
            driver.get(PAGE.as_uri() + "?port=10080")
            wait = WebDriverWait(driver, 15)
            wait.until(lambda d: "connected" in d.find_element(By.ID, "status").get_attribute("class"))
            self.stop_program()
            wait.until(lambda d: "failed" in d.find_element(By.ID, "status").get_attribute("class"))
            status = driver.find_element(By.ID, "status").text
            self.assertIn("断开", status)
            # The port served this page a moment ago: no word of a browser refusing it.
            self.assertNotIn("禁止", status)
            self.start_program()
            self.read_card(driver, None)
        finally:
            driver.quit()

    def test_refused_port_is_said_plainly(self):
        driver = browser()
        try:
            driver.get(PAGE.as_uri() + "?port=10080")
            wait = WebDriverWait(driver, 15)
            wait.until(lambda d: "failed" in d.find_element(By.ID, "status").get_attribute("class"))
            status = driver.find_element(By.ID, "status").text
            self.assertIn("10080", status)
            self.assertIn("10081", status)
            self.assertTrue(driver.find_element(By.ID, "btn-card").get_attribute("disabled"))
        finally:
            driver.quit()


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
