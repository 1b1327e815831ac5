// One adapter per browser engine, so that the browser test's dialogues play alike in each:
// Chromium through playwright-core, Firefox through puppeteer-core (WebDriver BiDi), and
// WebKitGTK's MiniBrowser through selenium-webdriver and WebKitWebDriver (WebDriver classic).
//
// launch<Engine>(paths) starts one browser for the whole run and resolves to an engine; given
// `reader`, the environment of a screen reader (tests/screen_reader.mjs), the browser runs in it
// with a window and its accessibility on, as a blind player's does:
//   engine.close(), and
//   engine.open(address, { moment, options }): the page at `address` in a fresh context or tab,
//     with Date.now() frozen at `moment` (milliseconds; for WebKitGTK, at the moment that
//     withPreloadedPage wrote into the served folder), once the game waits or has ended;
//     `options` are Chromium's context options (a phone, a colour scheme), and Chromium calls
//     `prepare(page, context)` before it goes to the page (to change what the server answers);
//     given another session's `context` (Chromium's and Firefox's), the page opens in a tab of
//     that session's context, which shares its service worker (WebKitGTK's tabs all share one).
//     It resolves to a session, whose actions all return promises:
//   type(text)                 types `text` key by key into what has the focus
//   press(key)                 presses "Enter", "Backspace", "Control+D" or the like
//   paste(text)                puts `text` on the clipboard and presses Ctrl-V, as a player does
//   click(selector), tap(selector)  a mouse's click, or a finger's tap, on that element
//   text(selector)             the element's textContent
//   attribute(selector, name), property(selector, name)  the element's attribute or property
//   evaluate(fn, ...args)      calls fn(...args) in the page (only fn's source goes there)
//   visit()                    goes to the page's address again, as a player does who comes
//                              back, and waits until it is settled()
//   settled()                  waits until #console's data-state is "waiting", "ended" or
//                              "failed" (the game could not load)
//   problems()                 console errors and warnings, uncaught errors and failed or
//                              foreign requests, as texts, since the page was opened
//   close()                    closes the context or tab
//   page                       Chromium only: playwright's page, for tests that only it plays
//   context                    Chromium's and Firefox's: the context that the tab is in
// An action that an engine cannot perform rejects with Unperformable, which says why.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { cpSync, mkdtempSync, readFileSync, writeFileSync } from "node:fs";
import { createServer } from "node:net";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { setTimeout as sleep } from "node:timers/promises";
import { chromium } from "playwright-core";
import puppeteer from "puppeteer-core";
import { Builder, By, Key } from "selenium-webdriver";

export class Unperformable extends Error {}

const SETTLED = "#console:is([data-state=waiting], [data-state=ended], [data-state=failed])";
// A host name for the loopback address, which is no secure context, unlike 127.0.0.1 itself.
export const INSECURE_HOST = "guess.test";

// What a page should never show, as texts: console errors and warnings, uncaught errors,
// failed requests, answers of 400 and up, and requests beyond `address`. Playwright's page and
// puppeteer's name their events alike, and a console warning "warning" and "warn".
function watch(page, address) {
  const problems = [];
  page.on("console", (message) => {
    if (["error", "warning", "warn"].includes(message.type())) problems.push(message.text());
  });
  page.on("pageerror", (error) => problems.push(error.message));
  page.on("requestfailed", (request) => problems.push(`${request.url()} failed`));
  page.on("response", (response) => {
    if (response.status() >= 400) problems.push(`${response.url()}: ${response.status()}`);
  });
  page.on("request", (request) => {
    if (!request.url().startsWith(address)) problems.push(`${request.url()} requested`);
  });
  return problems;
}

// Chromium, headless.
export async function launchChromium({ executablePath, reader }) {
  const browser = await chromium.launch({ executablePath, headless: !reader, env: reader,
    args: [`--host-resolver-rules=MAP ${INSECURE_HOST} 127.0.0.1`,
      ...(reader ? ["--force-renderer-accessibility"] : [])] });
  return {
    close: () => browser.close(),
    async open(address, { moment, options = {}, prepare = () => {}, context: shared }) {
      // A touch screen beside the mouse, as Firefox and WebKitGTK have, so that tap() works.
      const context = shared ?? await browser.newContext({ hasTouch: true, ...options,
        permissions: ["clipboard-read", "clipboard-write"] });
      const page = await context.newPage();
      const problems = watch(page, address);
      await page.clock.setFixedTime(moment);
      await prepare(page, context);
      await page.goto(address);
      const session = {
        page,
        context,
        type: (text) => page.keyboard.type(text),
        press: (key) => page.keyboard.press(key),
        async paste(text) {
          await page.evaluate((clip) => navigator.clipboard.writeText(clip), text);
          await page.keyboard.press("Control+V");
        },
        click: (selector) => page.locator(selector).click(),
        tap: (selector) => page.locator(selector).tap(),
        text: (selector) => page.locator(selector).textContent(),
        attribute: (selector, name) => page.locator(selector).getAttribute(name),
        property: (selector, name) => page.locator(selector).evaluate((e, n) => e[n], name),
        evaluate: (fn, ...args) => page.evaluate(`(${fn})(...${JSON.stringify(args)})`),
        // Present, as in the other engines: a console that failed is hidden.
        settled: () => page.waitForSelector(SETTLED, { state: "attached" }),
        async visit() {
          await page.goto(address);
          await session.settled();
        },
        problems: async () => problems,
        close: () => (shared ? page.close() : context.close()),
      };
      await session.settled();
      return session;
    },
  };
}

// Puppeteer's names of keys: "Control+D" is Control held while "d" is pressed.
const keysOf = (key) => key.split("+").map((name) => (name.length === 1 ? name.toLowerCase()
  : name));

// Firefox, headless, over WebDriver BiDi.
export async function launchFirefox({ executablePath, reader }) {
  const browser = await puppeteer.launch({ browser: "firefox", executablePath, headless: !reader,
    env: reader, extraPrefsFirefox: reader ? { "accessibility.force_disabled": -1 } : {} });
  return {
    close: () => browser.close(),
    async open(address, { moment, context: shared }) {
      const context = shared ?? await browser.createBrowserContext();
      const page = await context.newPage();
      const problems = watch(page, address);
      // A preload script, which the page's own Content-Security-Policy does not govern.
      await page.evaluateOnNewDocument((now) => { Date.now = () => now; }, moment);
      await page.goto(address);
      const press = async (key) => {
        const [main, ...held] = keysOf(key).reverse();
        for (const modifier of held.reverse()) await page.keyboard.down(modifier);
        await page.keyboard.press(main);
        for (const modifier of held.reverse()) await page.keyboard.up(modifier);
      };
      const session = {
        type: (text) => page.keyboard.type(text),
        press,
        async paste(text) {
          await page.evaluate((clip) => navigator.clipboard.writeText(clip), text);
          await press("Control+V");
        },
        click: (selector) => page.click(selector),
        tap: (selector) => page.tap(selector),
        text: (selector) => page.$eval(selector, (e) => e.textContent),
        attribute: (selector, name) => page.$eval(selector, (e, n) => e.getAttribute(n), name),
        property: (selector, name) => page.$eval(selector, (e, n) => e[n], name),
        evaluate: (fn, ...args) => page.evaluate(fn, ...args),
        settled: () => page.waitForSelector(SETTLED),
        async visit() {
          await page.goto(address);
          await session.settled();
        },
        problems: async () => problems,
        context,
        close: () => (shared ? page.close() : context.close()),
      };
      await session.settled();
      return session;
    },
  };
}

// WebDriver classic has no script that runs before the page's own, so WebKitGTK plays a copy of
// the page whose <head> first loads PRELOAD from the page's own origin, as the page's
// Content-Security-Policy allows: it freezes the clock and records the problems that no
// WebDriver classic event reports. MOMENT stands for the frozen time.
const PRELOAD = `// The browser test's own script, loaded before the page's in a copy of the page.
Date.now = () => MOMENT;
window.guessTestProblems = [];
addEventListener("error", (event) => guessTestProblems.push(event.message
  ?? \`\${event.target.src ?? event.target.href} failed\`), true);
addEventListener("unhandledrejection", (event) => guessTestProblems.push(String(event.reason)));
addEventListener("securitypolicyviolation", (event) =>
  guessTestProblems.push(\`\${event.blockedURI} blocked by \${event.violatedDirective}\`));
for (const kind of ["error", "warn"]) {
  const original = console[kind];
  console[kind] = (...args) => {
    guessTestProblems.push(args.join(" "));
    original.apply(console, args);
  };
}
`;
export const PRELOADED_PAGE = "preloaded.html";

// Copies the served `folder` into a new folder, beside its page adding PRELOADED_PAGE, which
// loads the preload script first with the clock at `moment`; returns the new folder.
export function withPreloadedPage(folder, moment) {
  const copy = mkdtempSync(join(tmpdir(), "guess-page-"));
  cpSync(folder, copy, { recursive: true });
  writeFileSync(join(copy, "preload.js"), PRELOAD.replace("MOMENT", String(moment)));
  const page = readFileSync(join(copy, "index.html"), "utf8");
  const firstScript = "<script";
  assert.ok(page.includes(firstScript), "index.html loads no script to precede");
  writeFileSync(join(copy, PRELOADED_PAGE),
    page.replace(firstScript, `<script src="preload.js"></script>\n  ${firstScript}`));
  return copy;
}

const freePort = () => new Promise((resolve, reject) => {
  const server = createServer().listen(0, "127.0.0.1", () => {
    const { port } = server.address();
    server.close(() => resolve(port));
  }).on("error", reject);
});

// Selenium's names of keys.
const SELENIUM_KEYS = { Control: Key.CONTROL, Enter: Key.ENTER, Backspace: Key.BACK_SPACE,
  ArrowLeft: Key.ARROW_LEFT };
const seleniumKey = (name) => SELENIUM_KEYS[name] ?? (name.length === 1 ? name.toLowerCase()
  : assert.fail(`no Selenium key for ${name}`));

// WebKitGTK's MiniBrowser, on the X display in DISPLAY, through WebKitWebDriver; each page
// opens in a tab of its own beside the first one, which stays open for the session, and each
// session acts in its own tab.
export async function launchWebKit({ driverPath, browserPath, reader }) {
  assert.ok(process.env.DISPLAY, "MiniBrowser needs an X display in DISPLAY: run the test under"
    + " tests/with-display, which starts Xvfb");
  const port = await freePort();
  // In a process group of its own, with the MiniBrowser it starts, which outlives it where a
  // crash ended the session; it would hold the test's standard error open, and the test with it.
  const service = spawn(driverPath, [`--port=${port}`],
    { stdio: ["ignore", "ignore", "inherit"], detached: true, env: reader ?? process.env });
  const exited = new Promise((resolve) => service.on("exit", resolve));
  const stop = () => {
    try {
      process.kill(-service.pid, "SIGKILL");
    } catch {
      // Already gone.
    }
  };
  process.on("exit", stop);  // even where the test ends before closing it
  const url = `http://127.0.0.1:${port}`;
  for (let tries = 0; ; tries += 1) {
    try {
      if ((await fetch(`${url}/status`)).ok) break;
    } catch {
      // Not listening yet.
    }
    assert.ok(tries < 200 && service.exitCode === null, `${driverPath} did not start`);
    await sleep(25);
  }
  let driver;
  try {
    driver = await new Builder().usingServer(url).withCapabilities({
      browserName: "MiniBrowser",
      "webkitgtk:browserOptions": { binary: browserPath, args: ["--automation"] },
    }).build();
  } catch (error) {
    stop();
    throw error;
  }
  const first = await driver.getWindowHandle();
  return {
    async close() {
      try {
        await driver.quit();  // throws where the browser has crashed
      } finally {
        stop();
        await exited;
      }
    },
    // The clock stands where withPreloadedPage froze it, not at `moment`.
    async open(address) {
      await driver.switchTo().newWindow("tab");
      const tab = await driver.getWindowHandle();
      await driver.get(`${address}${PRELOADED_PAGE}`);
      const find = (selector) => driver.findElement(By.css(selector));
      const press = async (key) => {
        const [main, ...held] = key.split("+").map(seleniumKey).reverse();
        let actions = driver.actions();
        for (const modifier of held.reverse()) actions = actions.keyDown(modifier);
        actions = actions.sendKeys(main);
        for (const modifier of held.reverse()) actions = actions.keyUp(modifier);
        await actions.perform();
      };
      const evaluate = (fn, ...args) => driver.executeScript(fn, ...args);
      const session = {
        type: (text) => driver.actions().sendKeys(text).perform(),
        press,
        // A page's script may not write the clipboard here (NotAllowedError, as it lacks a
        // user's gesture), so the text is copied with Ctrl-C from a text area in another tab.
        async paste(text) {
          await driver.switchTo().newWindow("tab");
          await driver.get("data:text/html,<textarea></textarea>");
          await driver.executeScript((clip) => {
            const area = document.querySelector("textarea");
            area.value = clip;
            area.select();
          }, text);
          await press("Control+C");
          await driver.close();
          await driver.switchTo().window(tab);
          await press("Control+V");
        },
        click: async (selector) => (await find(selector)).click(),
        // Measured with WebKitGTK 2.50: WebKitWebDriver left a touch pointer's actions
        // unanswered for 45 s, and the element had no tap by then.
        tap: async (selector) => {
          throw new Unperformable(`tap(${JSON.stringify(selector)}): WebKitWebDriver does not`
            + " answer a touch pointer's actions");
        },
        text: (selector) => evaluate((s) => document.querySelector(s).textContent, selector),
        attribute: (selector, name) => evaluate((s, n) => document.querySelector(s)
          .getAttribute(n), selector, name),
        property: (selector, name) => evaluate((s, n) => document.querySelector(s)[n],
          selector, name),
        evaluate,
        settled: () => driver.wait(() => evaluate((s) => document.querySelector(s) !== null,
          SETTLED), 30000, "the game neither waited nor ended"),
        async visit() {
          await driver.get(`${address}${PRELOADED_PAGE}`);
          await session.settled();
        },
        problems: () => evaluate(() => [...window.guessTestProblems,
          ...performance.getEntriesByType("resource").map(({ name }) => name)
            .filter((name) => !name.startsWith(location.origin))
            .map((name) => `${name} requested`)]),
        async close() {
          await driver.close();
          await driver.switchTo().window(first);
        },
      };
      // Each action in this session's own tab, as WebDriver acts in the one it last went to.
      for (const [name, action] of Object.entries(session)) {
        session[name] = async (...args) => {
          await driver.switchTo().window(tab);
          return action(...args);
        };
      }
      await session.settled();
      return session;
    },
  };
}
