// Plays the web page in headless Chromium, as a player does with a keyboard or a phone's touch
// screen, and requires its transcript to be, byte for byte, what the native game writes for the
// same second and input, with each line echoed where it was typed, as a terminal shows it.
//
// Environment: GUESS_WEB_DIR (the page as served), GUESS_REFERENCE_GAME (the native program),
// GUESS_FAKETIME (libfaketime, which freezes the native program's clock), GUESS_CHROMIUM.
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, openSync, readFileSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, test } from "node:test";
import { setTimeout as sleep } from "node:timers/promises";
import { chromium, devices } from "playwright-core";
import { serve } from "./static_server.mjs";

const { GUESS_WEB_DIR, GUESS_REFERENCE_GAME, GUESS_FAKETIME, GUESS_CHROMIUM } = process.env;
// The clock of every game here. Its first secrets are 71, 8 and 54 (tests/mt19937.py).
const MOMENT = "2026-01-01 00:00:00";
const END = null;  // Ctrl-D on an empty line: the end of input

// What the player does, what the transcript echoes, and what the game is sent.
const line = (text) => ({
  keys: async (page) => {
    await page.keyboard.type(text);
    await page.keyboard.press("Enter");
  },
  echo: `${text}\n`,
  sent: `${text}\n`,
});
const endOfInput = { keys: (page) => page.keyboard.press("Control+D"), echo: "", sent: END };
const endedLine = (text) => ({
  keys: async (page) => {
    await page.keyboard.type(text);
    await page.keyboard.press("Control+D");
  },
  echo: text,
  sent: text,
});
const edited = {  // "55", Backspace, "0", Enter
  keys: async (page) => {
    await page.keyboard.type("55");
    await page.keyboard.press("Backspace");
    await page.keyboard.type("0");
    await page.keyboard.press("Enter");
  },
  echo: "50\n",
  sent: "50\n",
};
const pasted = (text) => ({
  keys: async (page) => {
    await page.evaluate((clip) => navigator.clipboard.writeText(clip), text);
    await page.keyboard.press("ControlOrMeta+V");
  },
  echo: text,
  sent: text,
});

const dialogues = [
  { name: "too low, too high, correct, n", steps: [line("50"), line("75"), line("71"), line("n")],
    status: 0 },
  { name: "y, then yes, whose es is the next round's first line, then n",
    steps: [line("71"), line("y"), line("8"), line("yes"), line("54"), line("n")], status: 0 },
  { name: "two guesses on a line, no number, beyond 32 bits, Backspace",
    steps: [line("50 60"), line("abc"), line("99999999999"), edited, line("71"), line("N")],
    status: 0 },
  { name: "several lines pasted at once", steps: [pasted("50\n60\n"), pasted("71\nn\n")],
    status: 0 },
  { name: "Ctrl-D after typed characters, then on an empty line",
    steps: [endedLine("50"), endOfInput], status: 1 },
];

// The native game's replies to `steps`, sent one by one, each once the game waits again.
async function nativeReplies(steps) {
  const folder = mkdtempSync(join(tmpdir(), "guess-browser-"));
  const output = join(folder, "output");
  const game = spawn("env", ["TZ=UTC", `LD_PRELOAD=${GUESS_FAKETIME}`, `FAKETIME=${MOMENT}`,
    GUESS_REFERENCE_GAME], { stdio: ["pipe", openSync(output, "w"), "inherit"] });
  const exited = new Promise((resolve) => game.on("exit", resolve));
  let ended = false;
  exited.then(() => { ended = true; });
  // The count of the game's finished reads, and whether it sleeps, as in a read that waits.
  const reads = () => Number(/syscr: (\d+)/.exec(readFileSync(`/proc/${game.pid}/io`))[1]);
  const asleep = () => readFileSync(`/proc/${game.pid}/stat`, "latin1")
    .replace(/^.*\) /s, "").startsWith("S");
  const settle = async (readsBefore) => {
    for (let tries = 0; tries < 2000 && !ended; tries += 1) {
      try {
        if (reads() > readsBefore && asleep()) return;
      } catch {
        // The game ended as it was looked at.
      }
      await sleep(5);
    }
    assert.ok(ended, "the native game neither waited nor ended");
  };
  const replies = [];
  let shown = 0;
  const reply = () => {
    const all = readFileSync(output, "latin1");
    replies.push(all.slice(shown));
    shown = all.length;
  };
  try {
    await settle(-1);
    reply();
    for (const step of steps) {
      const readsBefore = reads();
      if (step.sent === END) {
        game.stdin.end();
        await exited;
      } else {
        game.stdin.write(step.sent);
        await settle(readsBefore);
      }
      reply();
    }
    if (!ended) game.stdin.end();
    return { replies, status: await exited };
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

let server;
let address;
let browser;

before(async () => {
  assert.ok(existsSync(GUESS_REFERENCE_GAME), `${GUESS_REFERENCE_GAME}, the native game, is not`
    + " built: cmake --preset linux && cmake --build --preset linux --target guess");
  ({ server, address } = await serve(GUESS_WEB_DIR));
  browser = await chromium.launch({ executablePath: GUESS_CHROMIUM });
});

after(async () => {
  await browser?.close();
  server?.kill();
});

// Opens the page with its clock frozen, watching for errors and for requests beyond it.
async function open(options = {}) {
  const context = await browser.newContext({ ...options, permissions:
    ["clipboard-read", "clipboard-write"] });
  const page = await context.newPage();
  const problems = [];
  page.on("console", (message) => {
    if (["error", "warning"].includes(message.type())) problems.push(message.text());
  });
  page.on("pageerror", (error) => problems.push(error.message));
  page.on("requestfailed", (request) => problems.push(`${request.url()} failed`));
  page.on("response", (response) => {
    if (response.status() >= 400) problems.push(`${response.url()}: ${response.status()}`);
  });
  page.on("request", (request) => {
    if (!request.url().startsWith(address)) problems.push(`${request.url()} requested`);
  });
  await page.clock.setFixedTime(new Date(`${MOMENT.replace(" ", "T")}Z`));
  await page.goto(address);
  await settled(page);
  return { page, context, problems };
}

// Waits until the game waits for the player, or has ended.
const settled = (page) =>
  page.waitForSelector('#console:is([data-state="waiting"], [data-state="ended"])');

const transcript = (page) => page.locator("#transcript").textContent();

// Plays `dialogue` on `page` and requires the native game's bytes, and the native game's end.
async function playDialogue(page, dialogue) {
  const native = await nativeReplies(dialogue.steps);
  assert.equal(native.status, dialogue.status, "the native game's exit status");
  let expected = native.replies[0];
  assert.equal(await transcript(page), expected, "before any key");
  for (const [i, step] of dialogue.steps.entries()) {
    await step.keys(page);
    await settled(page);
    expected += step.echo + native.replies[i + 1];
    assert.equal(await transcript(page), expected, `after ${JSON.stringify(step.echo)}`);
  }
}

for (const dialogue of dialogues) {
  test(dialogue.name, async () => {
    const { page, context, problems } = await open();
    await playDialogue(page, dialogue);
    assert.equal(await page.locator("#console").getAttribute("data-state"), "ended");
    assert.equal(await page.locator("#status").textContent(), dialogue.status === 0
      ? "The game is over: you chose to stop."
      : "The game is over: its input ended before you chose to stop.");
    assert.ok(await page.locator("#line").isDisabled(), "the field takes no more lines");
    assert.ok(await page.locator("#line").isHidden());
    assert.ok(await page.locator("#restart").evaluate((button) => button === document.activeElement),
      "the New game button has the focus");
    // A new game starts afresh: the same first prompt, the field ready for keys.
    await page.keyboard.press("Enter");
    await settled(page);
    assert.equal(await transcript(page), "Please enter a guess between 1 and 100: ");
    assert.equal(await page.locator("#status").textContent(), "");
    assert.ok(await page.locator("#line").evaluate((field) => field === document.activeElement));
    assert.deepEqual(await page.evaluate(() => [document.cookie, localStorage.length]), ["", 0]);
    assert.deepEqual(problems, []);
    await context.close();
  });
}

test("a phone: a tap on the transcript brings the keyboard, and a game plays", async () => {
  const { page, context, problems } = await open({ ...devices["Pixel 7"] });
  await page.locator("#line").blur();
  await page.locator("#transcript").tap();
  assert.ok(await page.locator("#line").evaluate((field) => field === document.activeElement));
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(width <= page.viewportSize().width, `the page is ${width} px wide`);
  await playDialogue(page, dialogues[0]);
  assert.deepEqual(problems, []);
  await context.close();
});

test("axe-core finds no violation, in light and dark colours, playing and ended", async () => {
  const axe = createRequire(import.meta.url).resolve("axe-core/axe.min.js");
  for (const colorScheme of ["light", "dark"]) {
    const { page, context } = await open({ colorScheme });
    await page.evaluate(readFileSync(axe, "utf8"));  // a script tag's, the page's policy refuses
    for (const moment of ["playing", "ended"]) {
      if (moment === "ended") {
        await line("71").keys(page);
        await line("n").keys(page);
        await settled(page);
      }
      const { violations } = await page.evaluate(() => window.axe.run());
      assert.deepEqual(violations.map(({ id, nodes }) => `${id}: ${nodes.map((n) => n.html)}`), [],
        `${colorScheme}, ${moment}`);
    }
    await context.close();
  }
});
