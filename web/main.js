// The page's console: plays guess.wasm with the transcript as its screen and the text field
// as its keyboard, the way a terminal with line editing does.
import { runWasi } from "./wasi.js";

const consoleArea = document.getElementById("console");
const transcript = document.getElementById("transcript");
const entry = document.getElementById("entry");
const field = document.getElementById("line");
const status = document.getElementById("status");
const restart = document.getElementById("restart");
const encoder = new TextEncoder();
const END_OF_INPUT = new Uint8Array(0);
const LINE_BREAK = /\r\n|\r|\n/;

// Standard input as a terminal's line editing hands it on: each sent line is one read, a read
// takes no more than the game asks for, and an empty chunk is the end of input (Ctrl-D).
class Input {
  constructor() {
    this.chunks = [];
    this.wake = null;
  }

  push(bytes) {
    this.chunks.push(bytes);
    consoleArea.dataset.state = "running";
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

  // The game waits for the player here; "waiting" tells tests so too.
  arrival() {
    consoleArea.dataset.state = "waiting";
    return new Promise((resolve) => {
      this.wake = resolve;
    });
  }
}

let input = new Input();

// Adds `text` at the end of the transcript, in the style `kind` where given.
function show(text, kind = "") {
  const last = transcript.lastChild;
  if (kind === "" && last?.nodeType === Node.TEXT_NODE) {
    last.appendData(text);
  } else if (kind === "") {
    transcript.append(text);
  } else {
    const span = document.createElement("span");
    span.className = kind;
    span.textContent = text;
    transcript.append(span);
  }
  field.scrollIntoView({ block: "nearest" });
}

// Hands `text` to the game as typed, echoed where it was typed.
function send(text) {
  show(text, "typed");
  input.push(encoder.encode(text));
}

entry.addEventListener("submit", (event) => {
  event.preventDefault();
  send(`${field.value}\n`);
  field.value = "";
});

field.addEventListener("keydown", (event) => {
  if (event.key.toLowerCase() !== "d" || !event.ctrlKey || event.altKey || event.metaKey) return;
  event.preventDefault();  // the browser's own Ctrl-D bookmarks the page
  if (field.value === "") {
    input.push(END_OF_INPUT);
  } else {
    send(field.value);  // without a line end, as a terminal hands on a line ended by Ctrl-D
    field.value = "";
  }
});

// Several lines pasted at once are sent line by line, as if typed; the last stays to edit.
field.addEventListener("paste", (event) => {
  const pasted = event.clipboardData?.getData("text/plain") ?? "";
  if (!LINE_BREAK.test(pasted)) return;
  event.preventDefault();
  const { value, selectionStart, selectionEnd } = field;
  const lines = (value.slice(0, selectionStart) + pasted + value.slice(selectionEnd))
    .split(LINE_BREAK);
  field.value = lines.pop();
  for (const line of lines) send(`${line}\n`);
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
  status.textContent = "";
  restart.hidden = true;
  entry.hidden = false;
  field.disabled = false;
  field.focus();
  input = new Input();
  consoleArea.dataset.state = "running";
  const write = (fd, bytes) =>
    show(decoders[fd].decode(bytes, { stream: true }), fd === 2 ? "error" : "");
  const exitStatus = await runWasi(await game, input, write, () => Date.now());
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

function fail(error) {
  consoleArea.dataset.state = "failed";
  status.textContent = `The game could not run here: ${error.message}`;
}

restart.addEventListener("click", () => play().catch(fail));
play().catch(fail);
