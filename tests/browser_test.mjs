// Plays the web page in three browser engines, Chromium, Firefox and WebKitGTK, as a player does
// with a keyboard (and, in Chromium, a phone's touch screen), and requires its transcript to be,
// byte for byte, what the native game writes for the same second and input, with each line
// echoed where it was typed, as a terminal shows it. Each engine is driven through its adapter in
// tests/browsers.mjs, which says what a dialogue's steps may do.
//
// Environment: GUESS_WEB_DIR (the page as served), GUESS_REFERENCE_GAME (the native program),
// GUESS_FAKETIME (libfaketime, which freezes the native program's clock), GUESS_CHROMIUM,
// GUESS_FIREFOX, GUESS_WEBKIT_DRIVER (WebKitWebDriver), GUESS_MINIBROWSER and DISPLAY (an X
// display for MiniBrowser: tests/with-display starts one).
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { createHash } from "node:crypto";
import { cpSync, existsSync, mkdtempSync, openSync, readdirSync, readFileSync, rmSync,
  utimesSync, writeFileSync } from "node:fs";
import { createRequire } from "node:module";
import { tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { after, before, describe, test } from "node:test";
import { setTimeout as sleep } from "node:timers/promises";
import { chromium, devices } from "playwright-core";
import { INSECURE_HOST, launchChromium, launchFirefox, launchWebKit, PRELOADED_PAGE,
  Unperformable, withPreloadedPage } from "./browsers.mjs";
import { LOGIN_PAGE, networkServer } from "./network_server.mjs";
import { startOrca, until } from "./screen_reader.mjs";
import { serve } from "./static_server.mjs";

const ROOT = join(dirname(fileURLToPath(import.meta.url)), "..");
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
const sentWithSend = (text, press = "click") => ({  // Send, clicked or tapped, in place of Enter
  act: async (s) => {
    await s.type(text);
    await s[press]("#send");
  },
  echo: `${text}\n`,
  sent: `${text}\n`,
});
// "12", the caret back between 1 and 2, "3\n4" pasted there: 13 is sent and 42 stays, with the
// caret after the 4, where the next key types.
const pastedIntoTyped = {
  act: async (s) => {
    await s.type("12");
    await s.press("ArrowLeft");
    await s.paste("3\n4");
  },
  echo: "13\n",
  sent: "13\n",
};

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
  { name: "a d alone, a paste into typed text, Send clicked",
    steps: [line("d"), pastedIntoTyped, { ...line("5"), echo: "452\n", sent: "452\n" },
      sentWithSend("71"), sentWithSend("n")],
    status: 0 },
];
const PROMPT = "Please enter a guess between 1 and 100: ";
const LOW = "Your guess was too low.\n\n";
const SCROLLBACK = 2000;  // the lines that the transcript keeps (web/main.js)

// Where the page cannot load: what the server answers in place of a file (a playwright route
// handler), and what the page then says. The browser keeps no faulty answer, so that the one
// after the fault has gone is the server's own.
const unloadable = [
  { name: "guess.wasm missing", file: "guess.wasm", reason: "guess.wasm: 404 Not Found",
    answer: (route) => route.fulfill({ status: 404, body: "",
      headers: { "cache-control": "no-store" } }) },
  { name: "a host whose policy forbids WebAssembly", file: "", reason: "'unsafe-eval'",
    answer: async (route) => {
      const response = await route.fetch();
      await route.fulfill({ response, headers: { ...response.headers(),
        "content-security-policy": "default-src 'self'; script-src 'self' 'unsafe-inline';"
          + " style-src 'self' 'unsafe-inline'", "cache-control": "no-store" } });
    } },
];

// Ctrl with a key, as keyboards of other layouts send it: `key` the letter, `code` the place.
const layouts = [
  { name: "a Russian layout's в, on the D key", key: "в", code: "KeyD", ends: true },
  { name: "a Dvorak layout's d, on the H key", key: "d", code: "KeyH", ends: true },
  { name: "a Dvorak layout's e, on the D key", key: "e", code: "KeyD", ends: false },
];

// The network as a phone meets it once the page has been visited: at each of `faults` (states of
// tests/network_server.mjs), the page, visited again, starts at once from the release it kept
// and plays a whole game. `first` is the network at the first visit; `lost`, what the browser
// then loses of the kept release (files, or "all" its caches), which the worker keeps again.
// Every answer is sent with no-cache, so that the browser's cache cannot stand in for the kept
// release. Chromium plays every row of this table and the next; Firefox and WebKitGTK those
// marked `everywhere`.
const networks = [
  { name: "down", faults: [{ refuse: true }], everywhere: true },
  { name: "up, then down, once the browser lost a kept file", lost: ["guess.wasm"],
    faults: [{}, { refuse: true }], everywhere: true },
  { name: "up, then down, once the browser cleared every cache", lost: "all",
    faults: [{}, { refuse: true }], everywhere: true },
  { name: "never answering", faults: [{ hang: true }], everywhere: true },
  { name: "answering 20 s late", faults: [{ late: 20000 }] },
  { name: "a login page at every address, then down, then back",
    faults: [{ portal: true }, { refuse: true }, {}] },
  { name: "guess.wasm served as another type at the first visit, then down",
    first: { fault: { file: "guess.wasm", type: "application/octet-stream" } },
    faults: [{ refuse: true }] },
];

// A release, or a broken one, that lands once v1 is kept (`state` of tests/network_server.mjs),
// `lost` what the browser has lost of v1 by then: the release (`finds`, v1 unless given) that
// the visit that finds it plays, and the one (`shows`) that the second visit plays, whole, and
// plays with no network. Where the server's `mismatch` file is not the release's, the page's
// console says so once, and later visits ask the server for nothing more. Where the browser gives
// the origin `room` times the room of one release (Chromium), v1 makes room for v2; till then, v1
// plays where the network is `down` (a fault) at the second visit, and v2 comes once it is back.
const deploys = [
  { name: "a new release", state: { folder: "v2" }, shows: "v2", everywhere: true },
  { name: "a new release, once the browser lost a kept file", lost: ["guess.wasm"],
    state: { folder: "v2" }, finds: "v2", shows: "v2", everywhere: true },
  { name: "a new release, sent with no-cache", state: { folder: "v2", noCache: true },
    shows: "v2" },
  { name: "a new release whose guess.wasm is missing",
    state: { folder: "v2", fault: { file: "guess.wasm", status: 404, body: "" } }, shows: "v1" },
  { name: "a new release whose manifest fails",
    state: { folder: "v2", fault: { file: "manifest.webmanifest", status: 500, body: "" } },
    shows: "v1" },
  { name: "a new release whose guess.wasm is cut to 0 bytes",
    state: { folder: "v2", fault: { file: "guess.wasm", body: "" } }, shows: "v1",
    mismatch: "guess.wasm" },
  { name: "a new release whose manifest is a login page",
    state: { folder: "v2", fault: { file: "manifest.webmanifest", body: LOGIN_PAGE,
      type: "text/html" } }, shows: "v1" },
  { name: "a new release, with room for one release and a half", room: 1.5,
    state: { folder: "v2" }, shows: "v2" },
  { name: "a new release, with room for one release and a half, and the network down",
    room: 1.5, state: { folder: "v2" }, down: { refuse: true }, shows: "v1" },
  { name: "a new release, with room for one release and a half, and a network that never"
    + " answers", room: 1.5, state: { folder: "v2" }, down: { hang: true }, shows: "v1" },
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

// Each launches its engine, or, given a screen reader's environment, the engine as it reads.
const engines = {
  Chromium: (reader) => launchChromium({ executablePath: GUESS_CHROMIUM, reader }),
  Firefox: (reader) => launchFirefox({ executablePath: GUESS_FIREFOX, reader }),
  WebKitGTK: () => launchWebKit({ driverPath: GUESS_WEBKIT_DRIVER,
    browserPath: GUESS_MINIBROWSER }),
};
// Orca 43 reads MiniBrowser's focus but has no live regions for WebKitGTK: its script there
// (orca/scripts/toolkits/WebKitGtk) is not its web script, so no answer is spoken.
const READ_BY_ORCA = ["Chromium", "Firefox"];

const sha256 = (bytes) => createHash("sha256").update(bytes).digest("hex");
const releases = {};  // v1, v2, v3: the tests' own releases of the page

// The page as built, made the tests' own release `version`: its heading and main.js changed in
// its sources, from which its index.html is written as the build writes it, and guess.wasm (a
// custom section), so that each tells the release, with WebKitGTK's preloaded copy of the page
// among its files, and its service worker's list of files, with their SHA-256, written
// anew as the build writes it, each file dated `hours` ago, as a release made earlier is: the
// browser's cache then keeps Python's answers fresh for a tenth of their age. Returns its folder
// and what the worker keeps of it: the SHA-256 of each address, relative to the page's.
function makeRelease(version, hours) {
  const built = mkdtempSync(join(tmpdir(), "guess-release-"));
  const sources = join(built, "sources");
  cpSync(GUESS_WEB_DIR, built, { recursive: true });
  cpSync(join(ROOT, "web"), sources, { recursive: true });
  const edit = (file, change) => writeFileSync(file, change(readFileSync(file)));
  edit(join(sources, "index.html"), (html) => html.toString().replace(
    "<h1>Guess the number</h1>", `<h1>Guess the number ${version}</h1>`));
  edit(join(sources, "main.js"), (js) => `${js}document.body.dataset.release = "${version}";\n`);
  execFileSync("python3", ["-B", join(ROOT, "cmake/web_page.py"), sources,
    join(built, "index.html")]);
  rmSync(sources, { recursive: true });
  const name = Buffer.from(version);
  edit(join(built, "guess.wasm"), (wasm) => Buffer.concat([wasm, Buffer.from([0,
    name.length + 1, name.length]), name]));
  const folder = withPreloadedPage(built, MOMENT_MS);
  rmSync(built, { recursive: true, force: true });
  const worker = readFileSync(join(folder, "sw.js"), "utf8");
  const [, listed] = /const RELEASE = (\{.*?\n\});/s.exec(worker);
  const files = Object.fromEntries([...Object.keys(JSON.parse(listed).files), "preload.js",
    PRELOADED_PAGE].map((file) => [file, sha256(readFileSync(join(folder, file)))]));
  writeFileSync(join(folder, "sw.js"), worker.replace(listed,
    JSON.stringify({ version, files }, null, 2)));
  const date = new Date(Date.now() - hours * 3600000);
  for (const file of readdirSync(folder)) utimesSync(join(folder, file), date, date);
  return { version, folder, kept: { "": files["index.html"], ...files } };
}

// Requires that the page's origin keeps one release, `release`, whole, and nothing else but the
// worker's records of releases that did not match.
async function requireKept(s, address, release) {
  const kept = await s.evaluate(async () => {
    const hex = async (response) => [...new Uint8Array(await crypto.subtle.digest("SHA-256",
      await response.arrayBuffer()))].map((byte) => byte.toString(16).padStart(2, "0")).join("");
    const all = {};
    for (const name of await caches.keys()) {
      const cache = await caches.open(name);
      all[name] = {};
      for (const request of await cache.keys()) {
        all[name][request.url] = await hex(await cache.match(request));
      }
    }
    return all;
  });
  for (const name of Object.keys(kept)) if (name.startsWith("guess unkept ")) delete kept[name];
  const names = Object.keys(kept);
  assert.equal(names.length, 1, `one release kept, not ${names.join(", ") || "none"}`);
  assert.ok(names[0].startsWith(`guess ${release.version} `), names[0]);
  assert.deepEqual(Object.values(kept)[0], Object.fromEntries(Object.entries(release.kept)
    .map(([file, hash]) => [`${address}${file}`, hash])));
}

// Waits, for at most 10 s, until the page's origin keeps `release` as requireKept requires.
const untilKept = (s, address, release) => until(() => requireKept(s, address, release)
  .then(() => true, () => false), 10, `${release.version} was not kept`);

// Removes from what the page's origin keeps `files`, or "all" its caches, as a browser that
// evicts storage does.
const lose = (s, files) => s.evaluate(async (lost) => {
  for (const name of await caches.keys()) {
    if (lost === "all") await caches.delete(name);
    else for (const file of lost) await (await caches.open(name)).delete(new URL(file, location));
  }
  return true;
}, files);

// Gives the page's origin `times` the room that what it keeps takes now (Chromium).
async function giveRoom(s, times) {
  const [origin, { usage }] = await s.evaluate(async () => [location.origin,
    await navigator.storage.estimate()]);
  await (await s.context.newCDPSession(s.page)).send("Storage.overrideQuotaForOrigin",
    { origin, quotaSize: usage * times });
}

// Waits, for at most 20 s, until the page's service worker is active, its release kept.
const workerActive = (s) => s.evaluate(() => Promise.race([
  navigator.serviceWorker.ready.then(() => true),
  new Promise((resolve) => { setTimeout(() => resolve(false), 20000); })]));

// Visits the page again, and waits until the browser's look for a new release has asked `net`
// for `file`, and then, once `meanwhile()` has done, until the worker that it found has kept its
// release or failed to.
async function visitFindingRelease(s, net, file = "guess.wasm", meanwhile = async () => {}) {
  const asked = net.requested(file);
  await s.visit();
  await until(() => net.requested(file) !== asked, 5, `no new worker asked for ${file}`);
  await meanwhile();
  await untilWorker(s, "installing", false);
}

// Waits until the page's registration has a worker `which` ("installing", "waiting"), or, where
// `present` is false, has none.
const untilWorker = (s, which, present) => s.evaluate(async (state, wanted) => {
  const registration = await navigator.serviceWorker.getRegistration();
  while (Boolean(registration?.[state]) !== wanted) {
    await new Promise((resolve) => { setTimeout(resolve, 20); });
  }
  return true;
}, which, present);

let folder;
let server;
let address;
let withdrawn;  // a host's page in place of the game's, with doc/building.md's withdrawing worker
const natives = new Map();  // each dialogue's native replies, played once for every engine

before(async () => {
  assert.ok(existsSync(GUESS_REFERENCE_GAME), `${GUESS_REFERENCE_GAME}, the native game, is not`
    + " built: cmake --preset linux && cmake --build --preset linux --target guess");
  folder = withPreloadedPage(GUESS_WEB_DIR, MOMENT_MS);
  ({ server, address } = await serve(folder));
  for (const [version, hours] of Object.entries({ v1: 48, v2: 24, v3: 1 })) {
    releases[version] = makeRelease(version, hours);
  }
  withdrawn = mkdtempSync(join(tmpdir(), "guess-withdrawn-"));
  writeFileSync(join(withdrawn, "index.html"), "<!doctype html><title>Gone</title><p>Moved.");
  const [, worker] = /```js\n(.*?)```/s.exec(readFileSync(join(ROOT, "doc/building.md"), "utf8"));
  writeFileSync(join(withdrawn, "sw.js"), worker.replace(/^ {2}/gm, ""));
});

after(() => {
  server?.kill();
  for (const made of [folder, withdrawn, ...Object.values(releases).map((r) => r.folder)]) {
    if (made) rmSync(made, { recursive: true, force: true });
  }
});

// Serves the tests' own releases, v1 first, for a test; closes the server once `run(net)` ends.
async function withNetwork(run) {
  const net = await networkServer({ ...Object.fromEntries(Object.entries(releases)
    .map(([version, release]) => [version, release.folder])), withdrawn });
  try {
    return await run(net);
  } finally {
    await net.close();
  }
}

// Opens the page on `net`, v1 served, `first` the network's state, and waits until it is kept.
async function openKept(engine, net, first = {}) {
  await net.set({ folder: "v1", ...first });
  const s = await engine.open(net.address, { moment: MOMENT_MS });
  assert.equal(await s.attribute("#console", "data-state"), "waiting", "the first visit plays");
  assert.ok(await workerActive(s), "the release was kept");
  await requireKept(s, net.address, releases.v1);
  return s;
}

// Requires the page in `s` to be release `version`, its heading, its script and, unless the page
// has stayed open as another release took over, its guess.wasm (as the page asks for it, its
// last bytes the version) alike.
async function requireRelease(s, version, { stayedOpen = false } = {}) {
  assert.deepEqual(await s.evaluate(async (asked) => [document.querySelector("h1").textContent,
    document.body.dataset.release, asked ? new TextDecoder().decode((await (await fetch(
      "guess.wasm")).arrayBuffer()).slice(-2)) : ""], !stayedOpen), [`Guess the number ${version}`,
    version, stayedOpen ? "" : version]);
}

// Whether the field lies wholly in the view, which a phone's keyboard cuts to the visual
// viewport, once the page has drawn two frames more.
const fieldInView = (s) => s.evaluate(async () => {
  for (let frame = 0; frame < 2; frame += 1) await new Promise(requestAnimationFrame);
  const { top, bottom, left, right } = document.getElementById("line").getBoundingClientRect();
  const { offsetTop, offsetLeft, height, width } = window.visualViewport;
  return top >= offsetTop && bottom <= offsetTop + height && left >= offsetLeft
    && right <= offsetLeft + width;
});

// The transcript as the player sees it, laid out: its text as selected to copy, which unlike
// textContent shows a line begun where it should not be, and unlike innerText adds no line
// break around each line's block. The field keeps its focus and caret. Firefox's selection
// follows the markup, not the layout: it read the same with every write a line of its own
// (Firefox 153), so there the transcript is read as it is written.
const seen = (s) => s.evaluate(() => {
  if (navigator.userAgent.includes("Firefox/")) return null;
  const field = document.getElementById("line");
  const { selectionStart, selectionEnd } = field;
  const selection = window.getSelection();
  selection.selectAllChildren(document.getElementById("transcript"));
  const text = selection.toString();
  selection.removeAllRanges();
  field.focus();
  field.setSelectionRange(selectionStart, selectionEnd);
  return text;
});

const isFocused = (s, id) => s.evaluate((name) => document.activeElement?.id === name, id);

// Plays `dialogue` in session `s` and requires the native game's bytes, and the native game's
// end. A step that the engine cannot perform skips the rest of the dialogue, saying why.
async function playDialogue(t, s, dialogue) {
  if (!natives.has(dialogue)) natives.set(dialogue, nativeReplies(dialogue.steps));
  const native = await natives.get(dialogue);
  assert.equal(native.status, dialogue.status, "the native game's exit status");
  let expected = native.replies[0];
  let written = expected;  // by the game
  let echoes = "";
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
    echoes += step.echo;
    written += native.replies[i + 1];
    const after = `after ${JSON.stringify(step.echo)}`;
    assert.equal(await s.text("#transcript"), expected, after);
    // The typed lines in their own style, the game's output in none, the error style unused.
    assert.deepEqual(await s.evaluate(() => ["typed", "error"].map((kind) =>
      [...document.querySelectorAll(`#transcript .${kind}`)].map((e) => e.textContent).join(""))),
    [echoes, ""], after);
    if (await s.attribute("#console", "data-state") === "waiting") {
      // A phone's number pad for a guess, its letters for the answer to "Play again? (Y/N)".
      assert.equal(await s.property("#line", "inputMode"),
        written.endsWith(PROMPT) ? "numeric" : "text", after);
      assert.ok(await isFocused(s, "line"), `the field has the focus ${after}`);
      // Chromium's selection leaves out a last line break, as after "Play again? (Y/N)".
      if (!expected.endsWith("\n")) {
        assert.equal(await seen(s) ?? expected, expected, `as laid out, ${after}`);
      }
    }
  }
  return true;
}


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
          assert.ok(await s.property("#restart", "hidden"), "the New game button is hidden");
          assert.ok(await isFocused(s, "line"), "the field has the focus");
          assert.deepEqual(await s.evaluate(() => [document.cookie, localStorage.length]),
            ["", 0]);
        }
        assert.deepEqual(await s.problems(), []);
        await s.close();
      });
    }

    // A blind player hears, after each line, the game's answer to it once, and nothing older:
    // Firefox spoke only the last line added (never "correct"), Chromium all the lines again.
    if (READ_BY_ORCA.includes(name)) {
      test("Orca speaks the answer to each line once, and nothing of an earlier round",
        async () => {
        const orca = await startOrca();
        const reading = await launch(orca.env);
        try {
          const { steps } = dialogues[0];
          const { replies } = await nativeReplies(steps);
          const lines = replies.flatMap((reply) => reply.split("\n")).map((text) => text.trim())
            .filter(Boolean);
          let heard = 0;
          const hears = async (answer) => {
            const words = answer.replace(/\s+/g, " ").trim();
            const said = () => orca.spoken().slice(heard).join(" ");
            await until(() => said().includes(words), 5, `${JSON.stringify(words)} unsaid`);
            await sleep(500);  // for what else is said with it
            const all = said();
            const rest = all.replace(words, "");
            heard = orca.spoken().length;
            assert.ok(rest !== all, `${JSON.stringify(words)} unsaid`);
            assert.deepEqual(lines.filter((text) => rest.includes(text)), [], `beside ${words}`);
          };
          const s = await reading.open(address, { moment: MOMENT_MS });
          await hears(replies[0]);
          for (const [i, step] of steps.entries()) {
            await step.act(s);
            await s.settled();
            await hears(replies[i + 1].trim() || "The game is over: you chose to stop.");
          }
          await s.close();
        } finally {
          await reading.close();
          await orca.stop();
        }
      });
    }

    for (const network of networks.filter((row) => row.everywhere || name === "Chromium")) {
      test(`once kept, the page starts at once from its release: the network ${network.name}`,
        (t) => withNetwork(async (net) => {
          const s = await openKept(engine, net, { noCache: true, ...network.first });
          if (network.lost) await lose(s, network.lost);
          for (const fault of network.faults) {
            await net.set({ folder: "v1", noCache: true, fault });
            const start = Date.now();
            await s.visit();
            const seconds = (Date.now() - start) / 1000;
            assert.ok(seconds < 5, `${JSON.stringify(fault)}: the page started in ${seconds} s`);
            await requireRelease(s, "v1");
            assert.ok(await playDialogue(t, s, dialogues[0]), JSON.stringify(fault));
          }
          await requireKept(s, net.address, releases.v1);
          await s.close();
        }));
    }

    for (const deploy of deploys.filter((row) => row.everywhere || name === "Chromium")) {
      test(`the second visit after ${deploy.name} plays ${deploy.shows}, whole, and offline`,
        (t) => withNetwork(async (net) => {
          const s = await openKept(engine, net);
          if (deploy.lost) await lose(s, deploy.lost);
          if (deploy.room) await giveRoom(s, deploy.room);
          await net.set(deploy.state);
          await visitFindingRelease(s, net, deploy.state.fault?.file);
          await requireRelease(s, deploy.finds ?? "v1");
          // Played from the server, which the page itself asked for guess.wasm: the new release
          // may still be being kept.
          if (deploy.finds) await untilWorker(s, "waiting", true);
          if (deploy.room) await requireKept(s, net.address, releases.v1);  // no room for v2
          const asked = net.requested(deploy.mismatch);
          if (deploy.down) await net.set({ folder: "v2", fault: deploy.down });
          // A release not kept is tried again at the visit, and then asks the server for nothing.
          await (deploy.mismatch ? visitFindingRelease(s, net, "sw.js") : s.visit());
          await requireRelease(s, deploy.shows);
          // Kept as it plays from the server, where the older release had to make room first.
          await (deploy.room && !deploy.down ? untilKept : requireKept)(s, net.address,
            releases[deploy.shows]);
          if (deploy.mismatch) {
            assert.equal(net.requested(deploy.mismatch), asked, "asked again for the release");
            assert.equal((await s.problems()).filter((said) => said.includes(
              `${net.address}${deploy.mismatch} has SHA-256`)).length, 1, "said once");
          }
          await net.set({ folder: "v2", fault: { refuse: true } });
          await s.visit();
          await requireRelease(s, deploy.shows);
          assert.ok(await playDialogue(t, s, dialogues[0]));
          if (deploy.down) {
            await net.set({ folder: "v2" });
            await s.visit();
            await requireRelease(s, "v2");
            await untilKept(s, net.address, releases.v2);
          }
          await s.close();
        }));
    }

    test("a start while another tab's request holds the old worker plays, its handover bounded",
      () => withNetwork(async (net) => {
        const s = await openKept(engine, net);
        const other = await engine.open(net.address, { moment: MOMENT_MS, context: s.context });
        await net.set({ folder: "v2" });
        await visitFindingRelease(s, net);
        // The other tab asks the old worker for a file that the browser lost, which the server
        // never answers: the worker cannot hand over. It used to answer every start with the
        // handover, and the browser loaded the page without end.
        await lose(s, ["favicon.svg"]);
        await net.set({ folder: "v2", fault: { hang: true, file: "favicon.svg" } });
        await other.evaluate(() => { fetch("favicon.svg"); return true; });
        await s.visit();
        await net.set({ folder: "v2" });  // which ends the request, and lets v2 take over
        await untilWorker(s, "waiting", false);
        await requireRelease(s, "v2");
        await other.close();
        await s.close();
      }));

    if (name !== "Chromium") return;
    test("a first visit where a file is not the release's plays, keeps nothing, and says so once",
      () => withNetwork(async (net) => {
        await net.set({ folder: "v1",
          fault: { file: "apple-touch-icon.png", body: "recompressed" } });
        const s = await engine.open(net.address, { moment: MOMENT_MS });
        const said = async () => (await s.problems()).filter((problem) =>
          problem.includes(`${net.address}apple-touch-icon.png has SHA-256`));
        await until(async () => (await said()).length > 0, 10, "nothing said of the file");
        const asked = net.requested("apple-touch-icon.png");
        await visitFindingRelease(s, net, "sw.js");
        assert.equal(await s.attribute("#console", "data-state"), "waiting", "it plays");
        assert.equal(net.requested("apple-touch-icon.png"), asked, "asked again for the release");
        assert.equal((await said()).length, 1, "said once");
        assert.deepEqual((await s.evaluate(() => caches.keys())).filter((name) =>
          !name.startsWith("guess unkept ")), [], "nothing kept");
        await s.close();
      }));

    test("a host withdraws the page with the worker of doc/building.md, and what was kept goes",
      () => withNetwork(async (net) => {
        const s = await openKept(engine, net);
        await net.set({ folder: "withdrawn" });
        await s.visit();  // from the kept release, as the browser finds the withdrawing worker
        await until(async () => await s.page.title().catch(() => "") === "Gone", 10,
          "the host's page did not show");
        assert.deepEqual(await s.page.evaluate(async () => [await caches.keys(),
          (await navigator.serviceWorker.getRegistrations()).length]), [[], 0]);
        await s.close();
      }));

    // Playwright's own actions on Chromium: a phone's screen, and axe-core.
    test("a phone: a tap on the transcript brings the keyboard, and a game plays", async (t) => {
      const s = await engine.open(address, { moment: MOMENT_MS,
        options: { ...devices["Pixel 7"] } });
      const { page } = s;
      await page.locator("#line").blur();
      await s.tap("#transcript");
      assert.ok(await isFocused(s, "line"));
      // Nor does a press on Send take the focus, before it ends: the keyboard would go down and
      // up again between lines. Let go elsewhere, it sends nothing.
      const send = await page.locator("#send").boundingBox();
      await page.mouse.move(send.x + send.width / 2, send.y + send.height / 2);
      await page.mouse.down();
      assert.ok(await isFocused(s, "line"), "the field keeps the focus as Send is pressed");
      await page.mouse.move(0, 0);
      await page.mouse.up();
      const width = await page.evaluate(() => document.documentElement.scrollWidth);
      assert.ok(width <= page.viewportSize().width, `the page is ${width} px wide`);
      await playDialogue(t, s, dialogues[0]);
      assert.deepEqual(await s.problems(), []);
      await s.close();
    });

    test("a phone: a whole game played with taps on Send", async (t) => {
      const s = await engine.open(address, { moment: MOMENT_MS,
        options: { ...devices["Pixel 7"] } });
      const { width, height } = await s.page.locator("#send").boundingBox();
      assert.ok(width >= 44 && height >= 44, `Send is ${width} by ${height} px`);
      const tapped = dialogues[0].steps.map((step) => sentWithSend(step.echo.trim(), "tap"));
      assert.ok(await playDialogue(t, s, { ...dialogues[0], steps: tapped }));
      assert.deepEqual(await s.problems(), []);
      await s.close();
    });

    test("a phone turned, or its keyboard opened, keeps the field in view", async () => {
      for (const [turn, size] of [["turned", { width: 915, height: 412 }],
        ["with its keyboard open", { width: 412, height: 520 }]]) {
        const s = await engine.open(address, { moment: MOMENT_MS,
          options: { ...devices["Pixel 7"] } });
        const { page } = s;
        await s.paste("0\n".repeat(20));  // a transcript taller than the turned phone
        await s.settled();
        assert.ok(await fieldInView(s), "the field is in view before");
        await page.setViewportSize(size);
        assert.ok(await fieldInView(s), `the field is in view, the phone ${turn}`);
        await s.close();
      }
    });

    for (const failure of unloadable) {
      test(`where the game cannot load, it says why and offers to try again: ${failure.name}`,
        async () => {
          const url = `${address}${failure.file}`;
          const s = await engine.open(address, { moment: MOMENT_MS,
            prepare: (page) => page.route(url, failure.answer) });
          assert.equal(await s.attribute("#console", "data-state"), "failed");
          const said = await s.text("#status");
          assert.match(said, /^The game could not load here \(.+\)\. Check the connection and try again\.$/);
          assert.ok(said.includes(failure.reason), said);
          assert.ok(!await s.evaluate(() => document.getElementById("line").checkVisibility()),
            "the field is hidden");
          assert.ok(!await s.page.locator("#restart").isVisible(),
            "New game is hidden, beside Try again");
          await s.page.unroute(url);
          const reloaded = s.page.waitForEvent("domcontentloaded");
          await s.click("#retry");
          await reloaded;
          await s.settled();
          assert.equal(await s.text("#transcript"), PROMPT, "played once tried again");
          await s.close();
        });
    }

    test("opened from a file, the page says that it must be served", async () => {
      const s = await engine.open(`file://${folder}/index.html`, { moment: MOMENT_MS });
      assert.equal(await s.attribute("#console", "data-state"), "failed");
      assert.match(await s.text("#status"), /^The game cannot run from a file: its page must be served/);
      assert.ok(await s.page.locator("#retry").isVisible());
      await s.close();
    });

    test("a line sent while the game loads shows after the first prompt, which the loading line"
      + " stands until", async () => {
      let first = true;  // a page loaded again asks for guess.wasm again
      let loading;  // the status and the transcript once the line is sent, the game held back
      const s = await engine.open(address, { moment: MOMENT_MS, prepare: (page) =>
        page.route(`${address}guess.wasm`, async (route) => {
          if (!first) return route.continue();
          first = false;
          // The page stands, its field focused, but the game has not started.
          await page.waitForFunction(() => document.activeElement?.id === "line");
          await page.evaluate(() => { window.notReloaded = true; });
          await page.keyboard.type("50");
          await page.keyboard.press("Enter");
          loading = await page.evaluate(() => [document.getElementById("status").textContent,
            document.getElementById("transcript").textContent]);
          await route.continue();
        }) });
      assert.ok(await s.evaluate(() => window.notReloaded), "the page was loaded again");
      assert.deepEqual(loading, ["Loading the game…", ""]);
      assert.equal(await s.text("#transcript"), `${PROMPT}50\n${LOW}${PROMPT}`);
      assert.equal(await s.text("#status"), "");
      assert.deepEqual(await s.problems(), []);
      await s.close();
    });

    test("Enter held down on the last answer does not start a new game", async () => {
      const s = await engine.open(address, { moment: MOMENT_MS });
      await line("71").act(s);
      await s.settled();
      await s.type("n");
      await s.page.keyboard.down("Enter");
      await s.settled();
      const ended = await s.text("#transcript");
      await s.page.keyboard.down("Enter");  // the key's repeats, on the New game button
      await s.page.keyboard.down("Enter");
      assert.equal(await s.attribute("#console", "data-state"), "ended");
      assert.equal(await s.text("#transcript"), ended);
      await s.page.keyboard.up("Enter");
      await s.press("Enter");
      await s.settled();
      assert.equal(await s.text("#transcript"), PROMPT, "a fresh press starts a new game");
      await s.close();
    });

    test("Ctrl-D on other keyboard layouts: the D key's place, or a layout's own d", async () => {
      for (const { name: layout, key, code, ends } of layouts) {
        const s = await engine.open(address, { moment: MOMENT_MS });
        await s.evaluate(() => addEventListener("keydown", (event) => {
          window.prevented = event.defaultPrevented;
        }));
        const keys = await s.page.context().newCDPSession(s.page);
        for (const type of ["rawKeyDown", "keyUp"]) {
          await keys.send("Input.dispatchKeyEvent", { type, key, code, modifiers: 2 });
        }
        assert.equal(await s.evaluate(() => window.prevented), ends, layout);
        if (ends) await s.settled();
        assert.equal(await s.attribute("#console", "data-state"), ends ? "ended" : "waiting",
          layout);
        await s.close();
      }
    });

    test("a paste of 20,000 lines keeps the last 2000, the field in view and guesses quick,"
      + " as does a line of 1 MB", async () => {
        const s = await engine.open(address, { moment: MOMENT_MS });
        // The median time of `count` guesses of 0, in ms: one slowed by the machine's other
        // work counts for no more than one.
        const guesses = async (count) => {
          const times = [];
          for (let guess = 0; guess < count; guess += 1) {
            const start = Date.now();
            await line("0").act(s);
            await s.settled();
            times.push(Date.now() - start);
          }
          return times.sort((a, b) => a - b)[count >> 1];
        };
        await guesses(1);  // the first, slower as the page's code is compiled
        const before = await guesses(5);
        // The lines echoed as pasted, then the game's answers, of which the last 2000 lines are
        // kept. Laid out at every write, 2000 lines took 80 s; once a frame, 20,000 take half a
        // second. (The page's own timers stand still while it lays out, so the time is the
        // test's.)
        const played = PROMPT + `0\n${LOW}${PROMPT}`.repeat(5) + "0\n".repeat(20000)
          + `${LOW}${PROMPT}`.repeat(20000);
        const kept = played.split(/(?<=\n)/).slice(-SCROLLBACK).join("");
        const start = Date.now();
        await s.paste("0\n".repeat(20000));
        await s.page.waitForFunction((tail) => document.getElementById("transcript").textContent
          .endsWith(tail), kept);
        const seconds = (Date.now() - start) / 1000;
        assert.ok(seconds < 10, `20,000 lines took ${seconds} s`);
        await s.settled();
        assert.equal(await s.evaluate(() => document.getElementById("transcript")
          .childElementCount), SCROLLBACK, "the transcript's lines");
        assert.ok(await s.text("#transcript") === kept, "the transcript keeps the last lines");
        assert.ok(await fieldInView(s), "the field is in view after the paste");
        // Every line kept made a guess slower: 160 ms after this paste, 20 ms before it.
        const afterwards = await guesses(5);
        assert.ok(afterwards < Math.max(50, 3 * before),
          `a guess took ${before} ms before the paste, ${afterwards} ms after it`);
        // A guess lays out its own line, not the long one again: 600 ms a guess, where one
        // block held every line; 50 ms with a block a line.
        await s.paste(`${"9".repeat(1 << 20)}\n`);
        await s.settled();
        const each = await guesses(20);
        assert.ok(each < 250, `a guess after a line of 1 MB took ${each} ms`);
        await s.close();
      });

    test("a release that lands while the worker keeps the one before is kept only whole",
      (t) => withNetwork(async (net) => {
        const s = await openKept(engine, net);
        // v2's worker asks for guess.wasm, and v3 lands before the answer goes.
        await net.set({ folder: "v2", fault: { late: 1000, file: "guess.wasm" } });
        await visitFindingRelease(s, net, "guess.wasm", () => net.set({ folder: "v3" }));
        await requireKept(s, net.address, releases.v1);
        await visitFindingRelease(s, net);
        await requireRelease(s, "v1");
        await s.visit();
        await requireRelease(s, "v3");
        await requireKept(s, net.address, releases.v3);
        assert.ok(await playDialogue(t, s, dialogues[0]));
        await s.close();
      }));

    test("a tab in the middle of a game plays on, online and offline, as a new release takes over",
      (t) => withNetwork(async (net) => {
        const s = await openKept(engine, net);
        await s.visit();  // from the kept release
        // Another tab finds v2 and starts it, and then the network goes down.
        const takeover = { echo: "", sent: "", act: async () => {
          await net.set({ folder: "v2" });
          const other = await engine.open(net.address, { moment: MOMENT_MS,
            context: s.page.context() });
          await visitFindingRelease(other, net);
          await other.visit();
          await requireRelease(other, "v2");
          await other.close();
          await net.set({ folder: "v2", fault: { refuse: true } });
        } };
        const [first, ...rest] = dialogues[0].steps;
        assert.ok(await playDialogue(t, s, { ...dialogues[0], steps: [first, takeover, ...rest] }));
        await requireRelease(s, "v1", { stayedOpen: true });
        await s.close();
      }));

    test("a new release kept while the page is open is offered under the console, and starts",
      (t) => withNetwork(async (net) => {
        const s = await openKept(engine, net);
        await s.visit();  // from the kept release
        assert.ok(!await s.page.locator("#update").isVisible(), "nothing new yet");
        await net.set({ folder: "v2" });
        await s.evaluate(async () => {
          await (await navigator.serviceWorker.ready).update();
          return true;
        });
        await s.page.locator("#update").waitFor({ state: "visible" });
        assert.equal((await s.text("#update")).replace(/\s+/g, " "),
          "A new version of the game is ready. Start it");
        await s.click("#start-update");
        await s.page.waitForFunction(() => document.body.dataset.release === "v2");
        await s.settled();
        await requireRelease(s, "v2");
        assert.ok(!await s.page.locator("#update").isVisible(), "the line is gone");
        assert.ok(await playDialogue(t, s, dialogues[0]));
        await s.close();
      }));

    test("where no service worker runs, the page plays as it is", async (t) => {
      for (const [where, url, options, secure] of [
        ["over plain HTTP by a host name", address.replace("127.0.0.1", INSECURE_HOST), {}, false],
        ["with workers turned off", address, { serviceWorkers: "block" }, true]]) {
        const s = await engine.open(url, { moment: MOMENT_MS, options });
        assert.equal(await s.evaluate(() => window.isSecureContext), secure, where);
        assert.ok(await playDialogue(t, s, dialogues[0]), where);
        assert.deepEqual((await s.problems()).filter((problem) =>
          problem !== "Service Worker registration blocked by Playwright"), [], where);
        await s.close();
      }
    });

    test("Chromium can install the page, and an iPhone finds its home screen icon", async () => {
      // Not in a context of its own: Chromium installs nothing from an incognito window.
      const profile = mkdtempSync(join(tmpdir(), "guess-profile-"));
      const context = await chromium.launchPersistentContext(profile,
        { executablePath: GUESS_CHROMIUM });
      try {
        const page = context.pages()[0] ?? await context.newPage();
        await page.goto(address);
        await page.waitForFunction(() => navigator.serviceWorker.ready.then(() => true));
        const cdp = await context.newCDPSession(page);
        assert.deepEqual((await cdp.send("Page.getInstallabilityErrors")).installabilityErrors,
          []);
        const size = await page.evaluate(async () => {
          const icon = document.querySelector('link[rel="apple-touch-icon"]').href;
          const png = new DataView(await (await fetch(icon)).arrayBuffer());
          return [png.getUint32(16), png.getUint32(20)];  // IHDR's width and height
        });
        assert.deepEqual(size, [180, 180]);
      } finally {
        await context.close();
        rmSync(profile, { recursive: true, force: true });
      }
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
