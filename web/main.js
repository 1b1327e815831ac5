// The page's console: plays guess.wasm with the transcript as its screen and the text field
// as its keyboard, the way a terminal with line editing does.
import { runWasi } from "./wasi.js";

const consoleArea = document.getElementById("console");
const transcript = document.getElementById("transcript");
const spoken = document.getElementById("spoken");
const entry = document.getElementById("entry");
const field = document.getElementById("line");
const status = document.getElementById("status");
const restart = document.getElementById("restart");
const send = document.getElementById("send");
const update = document.getElementById("update");
const startUpdate = document.getElementById("start-update");
const encoder = new TextEncoder();
const END_OF_INPUT = new Uint8Array(0);
const LINE_BREAK = /\r\n|\r|\n/;
const PROMPT = "Please enter a guess between 1 and 100: ";
// The lines the transcript keeps, the oldest going first, as a terminal keeps its scrollback:
// every line kept made each later guess slower, and a long session's page ever larger.
const SCROLLBACK = 2000;

// Standard input as a terminal's line editing hands it on: each sent line is one read, a read
// takes no more than the game asks for, and an empty chunk is the end of input (Ctrl-D).
class Input {
  constructor() {
    this.chunks = [];
    this.wake = null;
  }

  push(bytes) {
    this.chunks.push(bytes);
    this.wake?.();
    this.wake = null;
  }

  take(size) {
    if (this.chunks.length === 0) return null;
    const chunk = this.chunks[0];
    if (chunk.length <= size) {
      this.chunks.shift();
      return chunk;
    }
    this.chunks[0] = chunk.subarray(size);
    return chunk.subarray(0, size);
  }

  // Resolves once more has been pushed, or at once where some waits to be taken.
  arrival() {
    if (this.chunks.length > 0) return Promise.resolve();
    return new Promise((resolve) => {
      this.wake = resolve;
    });
  }
}

let input = new Input();
// What the player sent before the first game first waited, as [bytes, echo] pairs: handed on then,
// so that a line typed while the game loads shows after the first prompt, where the game takes it.
let held = [];
// Once, when the first game first waits.
let firstWait = () => {
  const sent = held;
  held = null;
  for (const [bytes, echo] of sent) toGame(bytes, echo);
  keepForOffline();
};
let lines = 0;  // the transcript's, the one being written included
let scrolling = false;

// Keeps the field in view, once a frame however much is written: laying out the whole
// transcript at every write made a paste of many lines take time that grew with its square.
function scrollToField() {
  if (scrolling) return;
  scrolling = true;
  requestAnimationFrame(() => {
    scrolling = false;
    field.scrollIntoView({ block: "nearest" });
  });
}

// And as the view changes size: a phone turned, or its keyboard opened, which cuts the visual
// viewport alone. Where there is none, the window's size is the view's.
(window.visualViewport ?? window).addEventListener("resize", scrollToField);

// Adds `text` to the line being written, in the style `kind` where given.
function append(line, text, kind) {
  const last = line.lastChild;
  if (kind === "" && last?.nodeType === Node.TEXT_NODE) {
    last.appendData(text);
  } else if (kind === "") {
    line.append(text);
  } else {
    const span = document.createElement("span");
    span.className = kind;
    span.textContent = text;
    line.append(span);
  }
}

// Adds `text` at the end of the transcript, in the style `kind` where given. Each finished line
// is a block of its own, so that what is added later lays out only the line being written: one
// long line in a single block made every later guess lay out all of it again.
function show(text, kind = "") {
  for (const piece of text.split(/(?<=\n)/)) {
    let line = transcript.lastElementChild;
    if (line === null || line.classList.contains("ended")) {
      line = document.createElement("span");
      transcript.append(line);
      lines += 1;
    }
    append(line, piece, kind);
    if (piece.endsWith("\n")) line.className = "ended";
  }
  for (; lines > SCROLLBACK; lines -= 1) transcript.firstElementChild.remove();
  scrollToField();
}

// What the game wrote since it took the player's last line, which a screen reader is to speak
// once the game waits for the next: the answer alone, where the transcript holds every line.
let unspoken = "";

// Hands what the game has answered to a screen reader, once the game has taken every line sent:
// one new paragraph in a live region of its own, which the transcript is not, as a reader speaks
// an addition once, where the transcript's writes had it read again in full (Chromium) or only
// its last line (Firefox).
function speak() {
  if (unspoken.trim() === "" || input.chunks.length > 0) return;
  const said = document.createElement("p");
  said.textContent = unspoken;
  spoken.replaceChildren(said);
  unspoken = "";
}

// Hands `bytes` to the game, which runs until it waits again, showing `echo` as typed.
function toGame(bytes, echo = "") {
  if (held) {
    held.push([bytes, echo]);
    return;
  }
  if (echo !== "") show(echo, "typed");
  consoleArea.dataset.state = "running";
  input.push(bytes);
}

// Hands `text` to the game as typed, echoed where it was typed.
function type(text) {
  toGame(encoder.encode(text), text);
}

// Enter, or a tap on Send, which a phone's number pad needs for want of a return key.
entry.addEventListener("submit", (event) => {
  event.preventDefault();
  type(`${field.value}\n`);
  field.value = "";
  field.focus();
});

// A tap on Send leaves the focus in the field, and so a phone's keyboard up between lines.
send.addEventListener("mousedown", (event) => event.preventDefault());

// The D key with Ctrl, where it is on the keyboard whatever letter the layout gives it (a
// Russian layout gives "в"), as a terminal takes it; a layout's own Latin d counts where it is.
function isCtrlD(event) {
  if (!event.ctrlKey || event.altKey || event.metaKey) return false;
  return /^[a-z]$/i.test(event.key) ? event.key.toLowerCase() === "d" : event.code === "KeyD";
}

field.addEventListener("keydown", (event) => {
  if (!isCtrlD(event)) return;
  event.preventDefault();  // the browser's own Ctrl-D bookmarks the page
  if (field.value === "") {
    toGame(END_OF_INPUT);
  } else {
    type(field.value);  // without a line end, as a terminal hands on a line ended by Ctrl-D
    field.value = "";
  }
});

// Several lines pasted at once are sent line by line, as if typed; the last stays to edit.
field.addEventListener("paste", (event) => {
  const pasted = event.clipboardData?.getData("text/plain") ?? "";
  if (!LINE_BREAK.test(pasted)) return;
  event.preventDefault();
  const { value, selectionStart, selectionEnd } = field;
  const lines = (value.slice(0, selectionStart) + pasted).split(LINE_BREAK);
  const last = lines.pop();
  field.value = last + value.slice(selectionEnd);
  field.setSelectionRange(last.length, last.length);  // after the pasted text, as typed
  for (const line of lines) type(`${line}\n`);
});

// A tap anywhere on the console types into the field, as on a terminal, unless text is being
// selected there to copy.
consoleArea.addEventListener("click", () => {
  if (!field.disabled && window.getSelection().isCollapsed) field.focus();
});

// Compiled as it downloads where the server names its type, as most do; else once downloaded.
const game = fetch("guess.wasm").then((response) => {
  if (!response.ok) throw new Error(`guess.wasm: ${response.status} ${response.statusText}`);
  return response.headers.get("Content-Type") === "application/wasm"
    ? WebAssembly.compileStreaming(response)
    : response.arrayBuffer().then((bytes) => WebAssembly.compile(bytes));
});

// Plays one game, from an empty transcript to the game's exit.
async function play() {
  const decoders = { 1: new TextDecoder(), 2: new TextDecoder() };
  transcript.textContent = "";
  spoken.textContent = "";
  unspoken = "";
  lines = 0;
  restart.hidden = true;
  entry.hidden = false;
  field.disabled = false;
  field.focus();
  input = new Input();
  consoleArea.dataset.state = "running";
  let shown = "";  // the end of what the game wrote last, as long as the prompt
  const write = (fd, bytes) => {
    const text = decoders[fd].decode(bytes, { stream: true });
    if (fd === 1) shown = (shown + text).slice(-PROMPT.length);
    unspoken += text;
    show(text, fd === 2 ? "error" : "");
  };
  // What the status said (that the game loads, or how the last one ended) stands until the
  // first prompt does.
  let started = false;
  // The game waits for the player; "waiting" tells tests so too. A phone shows its number pad
  // for a guess, and letters for the answer to "Play again? (Y/N)".
  const waits = () => {
    field.inputMode = shown.endsWith(PROMPT) ? "numeric" : "text";
    consoleArea.dataset.state = "waiting";
    if (!started) status.textContent = "";
    started = true;
    firstWait();
    firstWait = () => {};
    speak();
    return input.arrival();
  };
  const take = (size) => {
    const taken = input.take(size);
    if (taken !== null) unspoken = "";
    return taken;
  };
  const exitStatus = await runWasi(await game, { take, arrival: waits }, write, () => Date.now());
  speak();
  field.value = "";
  field.disabled = true;
  entry.hidden = true;
  consoleArea.dataset.state = "ended";
  status.textContent = exitStatus === 0
    ? "The game is over: you chose to stop."
    : "The game is over: its input ended before you chose to stop.";
  restart.hidden = false;
  restart.focus();
}

// Enter held down on the last answer repeats onto the New game button, which has just taken the
// focus: only a fresh press starts a new game.
restart.addEventListener("keydown", (event) => {
  if (event.repeat) event.preventDefault();
});

// Lets a page once visited start at once from the release that sw.js keeps, with or without a
// network. It starts once the game waits for its first guess, rather than compete with the
// game's start; where no worker can run (not a secure context, or turned off), the page plays as
// it is. The browser asks the server itself for the worker at each start, past its own cache.
function keepForOffline() {
  if (!window.isSecureContext || !("serviceWorker" in navigator)) return;
  // The worker's word, for whoever hosts the page, that the server's files are not the bytes
  // that the build hashed, so that nothing is kept: the page plays on from the network.
  navigator.serviceWorker.onmessage = (event) => {
    if (event.data?.unkept) console.error(event.data.unkept);
  };
  navigator.serviceWorker.register("sw.js", { updateViaCache: "none" }).then(offerNewRelease)
    .catch(() => {});
}

// Says under the console, for as long as it is so, that a new release is kept and waits for the
// page's next start; its control starts it now.
function offerNewRelease(registration) {
  const offer = () => {
    update.hidden = !(registration.waiting && registration.active);
  };
  const follow = (worker) => worker?.addEventListener("statechange", offer);
  registration.addEventListener("updatefound", () => follow(registration.installing));
  follow(registration.installing);
  follow(registration.waiting);
  offer();
  startUpdate.addEventListener("click", () => {
    const next = registration.waiting;
    if (!next) {
      location.reload();
      return;
    }
    next.addEventListener("statechange", () => location.reload());
    next.postMessage("start");
  });
}

// Tells load.js, which says so on the page, that the game could not run.
function fail(error) {
  document.dispatchEvent(new CustomEvent("guess-failed", { detail: error }));
}

restart.addEventListener("click", () => play().catch(fail));
play().catch(fail);
