// WebKitGTK (Debian's MiniBrowser) over classic WebDriver, in the shape of puppeteer's Browser
// and Page as far as the browser suite uses them. One WebDriver session: a page is a window of
// it, brought in front before each call. WebKitGTK's WebDriver has one pointer, a mouse: a touch
// is that pointer, pressed, moved and released.
import { spawn } from "node:child_process";
import { once } from "node:events";
import { Builder, By, until } from "selenium-webdriver";

const miniBrowser = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";
// MiniBrowser's window keeps a toolbar above the page, and is never narrower than its toolbar.
const toolbarHeight = 38;

// Runs a function of the page (its source) with `args`; a promise it returns is awaited.
const inPage = (fn, prefix = "") => `return (${fn})(${prefix}...Array.from(arguments).slice(${prefix ? 1 : 0}))`;

class WebKitPage {
  constructor(driver, handle) {
    Object.assign(this, { driver, handle, size: { width: 0, height: 0 } });
  }
  async front() {
    if (this.driver.current !== this.handle) await this.driver.switchTo().window(this.handle);
    this.driver.current = this.handle;
    return this.driver;
  }
  async setViewport({ width, height }) {
    await (await this.front()).manage().window().setRect({ width, height: height + toolbarHeight });
    const [innerWidth, innerHeight] = await this.driver.executeScript("return [innerWidth, innerHeight]");
    this.size = { width: innerWidth, height: innerHeight };
  }
  viewport() { return this.size; }
  async goto(url) { await (await this.front()).get(url); }
  async reload() { await (await this.front()).navigate().refresh(); }
  async bringToFront() { await this.front(); }
  async waitForSelector(selector, { timeout = 30000 } = {}) {
    await (await this.front()).wait(until.elementLocated(By.css(selector)), timeout);
  }
  async $eval(selector, fn, ...args) {
    return (await this.front()).executeScript(inPage(fn, "document.querySelector(arguments[0]), "), selector, ...args);
  }
  async evaluate(fn, ...args) { return (await this.front()).executeScript(inPage(fn), ...args); }
  async waitForFunction(fn, { timeout = 30000 } = {}, ...args) {
    await (await this.front()).wait(() => this.evaluate(fn, ...args), timeout);
  }
  async click(selector) { await (await this.front()).findElement(By.css(selector)).click(); }
  async select(selector, value) {  // as puppeteer's: the value set, then input and change
    await this.$eval(selector, (e, v) => {
      e.value = v;
      e.dispatchEvent(new Event("input", { bubbles: true }));
      e.dispatchEvent(new Event("change", { bubbles: true }));
    }, value);
  }
  // The one pointer: "touchStart" presses it at the first point, "touchMove" moves it there,
  // "touchEnd" lets it go.
  async touch(type, [point] = []) {
    const actions = (await this.front()).actions({ async: true });
    const at = point && { x: Math.round(point.x), y: Math.round(point.y) };
    if (type === "touchStart") await actions.move(at).press().perform();
    else if (type === "touchMove") await actions.move(at).perform();
    else await actions.release().perform();
  }
  async close() {
    await (await this.front()).close();
    this.driver.current = null;
  }
}

// MiniBrowser, started by WebKitWebDriver listening on `port` of loopback (X's display is $DISPLAY).
export async function launchWebKit(port) {
  const driverProcess = spawn("WebKitWebDriver", [`--port=${port}`], { stdio: ["ignore", "inherit", "inherit"] });
  let driver;
  for (let attempt = 1; ; ++attempt) {  // until the driver listens
    try {
      driver = await new Builder().usingServer(`http://127.0.0.1:${port}`).withCapabilities({
        browserName: "MiniBrowser", "webkitgtk:browserOptions": { binary: miniBrowser, args: ["--automation"] },
      }).build();
      await driver.getSession();
      break;
    } catch (error) {
      if (attempt === 50 || driverProcess.exitCode !== null) throw error;
      await new Promise((r) => setTimeout(r, 100));
    }
  }
  return {
    async newPage() {
      if (driver.used) {  // a new window beside one that is open
        if (!driver.current) await driver.switchTo().window((await driver.getAllWindowHandles())[0]);
        await driver.switchTo().newWindow("window");
      }
      driver.used = true;
      const page = new WebKitPage(driver, await driver.getWindowHandle());
      driver.current = page.handle;
      return page;
    },
    async close() {
      await driver.quit().catch(() => {});
      driverProcess.kill();
      await once(driverProcess, "exit").catch(() => {});
    },
  };
}
