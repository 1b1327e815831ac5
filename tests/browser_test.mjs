// Plays the web page in three browser engines, Chromium, Firefox and WebKitGTK, as a player does
// with a keyboard (and, in Chromium, a phone's touch screen), and requires its transcript to be,
// byte for byte, what the native game writes for the same second and input, with each line
// echoed where it was typed, as a terminal shows it. Each engine is driven through its adapter in
// tests/browsers.mjs, which says what a dialogue's steps may do.
//
// Environment: GUESS_WEB_DIR (the page as served), GUESS_REFERENCE_GAME (the native program),
// GUESS_FAKETIME (libfaketime, which freezes the native program's clock), GUESS_CHROMIUM,
// GUESS_FIREFOX, GUESS_WEBKIT_DRIVER (WebKitWebDriver), GUESS_MINIBROWSER and DISPLAY (an X
// display for MiniBrowser: scripts/with-display starts one).
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, openSync, readFileSync, rmSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { after, before, describe, test } from "node:test";
import { setTimeout as sleep } from "node:timers/promises";
import { devices } from "playwright-core";
import { launchChromium, launchFirefox, launchWebKit, Unperformable, withPreloadedPage }
  from "./browsers.mjs";
import { serve } from "./static_server.mjs";

const { GUESS_WEB_DIR, GUESS_REFERENCE_GAME, GUESS_FAKETIME, GUESS_CHROMIUM, GUESS_FIREFOX,
  GUESS_WEBKIT_DRIVER, GUESS_MINIBROWSER } = process.env;
// The clock of every game here. Its first secrets are 71, 8 and 54 (tests/mt19937.py).
const MOMENT = "2026-01-01 00:00:00";
const MOMENT_MS = Date.parse(`${MOMENT.replace(" ", "T")}Z`);
const END = null;  // Ctrl-D on an empty line: the end of input

// What the player does (`act`, on a session of tests/browsers.mjs), what the transcript echoes,
// and what the game is sent.
const line = (text) => ({
  act: async (s) => {
    await s.type(text);
    await s.press("Enter");
  },
  echo: `${text}\n`,
  sent: `${text}\n`,
});
const endOfInput = { act: (s) => s.press("Control+D"), echo: "", sent: END };
const endedLine = (text) => ({
  act: async (s) => {
    await s.type(text);
    await s.press("Control+D");
  },
  echo: text,
  sent: text,
});
const edited = {  // "55", Backspace, "0", Enter
  act: async (s) => {
    await s.type("55");
    await s.press("Backspace");
    await s.type("0");
    await s.press("Enter");
  },
  echo: "50\n",
  sent: "50\n",
};
const pasted = (text) => ({ act: (s) => s.paste(text), echo: text, sent: text });

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
      } else if (step.sent !== "") {  // a step that sends nothing (a tap, say) gets no reply
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

const engines = {
  Chromium: () => launchChromium({ executablePath: GUESS_CHROMIUM }),
  Firefox: () => launchFirefox({ executablePath: GUESS_FIREFOX }),
  WebKitGTK: () => launchWebKit({ driverPath: GUESS_WEBKIT_DRIVER,
    browserPath: GUESS_MINIBROWSER }),
};

let folder;
let server;
let address;
const natives = new Map();  // each dialogue's native replies, played once for every engine

before(async () => {
  assert.ok(existsSync(GUESS_REFERENCE_GAME), `${GUESS_REFERENCE_GAME}, the native game, is not`
    + " built: cmake --preset linux && cmake --build --preset linux --target guess");
  folder = withPreloadedPage(GUESS_WEB_DIR, MOMENT_MS);
  ({ server, address } = await serve(folder));
});

after(() => {
  server?.kill();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

// Plays `dialogue` in session `s` and requires the native game's bytes, and the native game's
// end. A step that the engine cannot perform skips the rest of the dialogue, saying why.
async function playDialogue(t, s, dialogue) {
  if (!natives.has(dialogue)) natives.set(dialogue, nativeReplies(dialogue.steps));
  const native = await natives.get(dialogue);
  assert.equal(native.status, dialogue.status, "the native game's exit status");
  let expected = native.replies[0];
  assert.equal(await s.text("#transcript"), expected, "before any key");
  for (const [i, step] of dialogue.steps.entries()) {
    try {
      await step.act(s);
    } catch (error) {
      if (!(error instanceof Unperformable)) throw error;
      t.skip(`step ${i + 1} (${JSON.stringify(step.echo)}) cannot be played here: `
        + `${error.message}`);
      return false;
    }
    await s.settled();
    expected += step.echo + native.replies[i + 1];
    assert.equal(await s.text("#transcript"), expected, `after ${JSON.stringify(step.echo)}`);
  }
  return true;
}

const isFocused = (s, id) => s.evaluate((name) => document.activeElement?.id === name, id);

for (const [name, launch] of Object.entries(engines)) {
  describe(name, () => {
    let engine;
    before(async () => {
      engine = await launch();
    });
    after(() => engine?.close());

    for (const dialogue of dialogues) {
      test(dialogue.name, async (t) => {
        const s = await engine.open(address, { moment: MOMENT_MS });
        if (await playDialogue(t, s, dialogue)) {
          assert.equal(await s.attribute("#console", "data-state"), "ended");
          assert.equal(await s.text("#status"), dialogue.status === 0
            ? "The game is over: you chose to stop."
            : "The game is over: its input ended before you chose to stop.");
          assert.ok(await s.property("#line", "disabled"), "the field takes no more lines");
          assert.ok(!await s.evaluate(() => document.getElementById("line").checkVisibility()),
            "the field is hidden");
          assert.ok(await isFocused(s, "restart"), "the New game button has the focus");
          // A new game starts afresh: the same first prompt, the field ready for keys.
          await s.press("Enter");
          await s.settled();
          assert.equal(await s.text("#transcript"), "Please enter a guess between 1 and 100: ");
          assert.equal(await s.text("#status"), "");
          assert.ok(await isFocused(s, "line"), "the field has the focus");
          assert.deepEqual(await s.evaluate(() => [document.cookie, localStorage.length]),
            ["", 0]);
        }
        assert.deepEqual(await s.problems(), []);
        await s.close();
      });
    }

    if (name !== "Chromium") return;
    // Playwright's own actions on Chromium: a phone's screen, and axe-core.
    test("a phone: a tap on the transcript brings the keyboard, and a game plays", async (t) => {
      const s = await engine.open(address, { moment: MOMENT_MS,
        options: { ...devices["Pixel 7"] } });
      const { page } = s;
      await page.locator("#line").blur();
      await s.tap("#transcript");
      assert.ok(await isFocused(s, "line"));
      const width = await page.evaluate(() => document.documentElement.scrollWidth);
      assert.ok(width <= page.viewportSize().width, `the page is ${width} px wide`);
      await playDialogue(t, s, dialogues[0]);
      assert.deepEqual(await s.problems(), []);
      await s.close();
    });

    test("axe-core finds no violation, in light and dark colours, playing and ended", async () => {
      // Evaluated by the driver, as the page's Content-Security-Policy allows no inline script.
      const axe = readFileSync(createRequire(import.meta.url).resolve("axe-core/axe.min.js"),
        "utf8");
      for (const colorScheme of ["light", "dark"]) {
        const s = await engine.open(address, { moment: MOMENT_MS, options: { colorScheme } });
        await s.page.evaluate(axe);
        for (const moment of ["playing", "ended"]) {
          if (moment === "ended") {
            await line("71").act(s);
            await line("n").act(s);
            await s.settled();
          }
          const { violations } = await s.page.evaluate(() => window.axe.run());
          assert.deepEqual(violations.map(({ id, nodes }) =>
            `${id}: ${nodes.map((n) => n.html)}`), [], `${colorScheme}, ${moment}`);
        }
        await s.close();
      }
    });
  });
}
