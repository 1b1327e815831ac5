// Runs a WebAssembly program built for WASI as a console program under Node.js's node:wasi:
// this process's standard streams, arguments after the program's path, no environment, no files,
// and the program's exit status as this process's. With --closed-input, every read of standard
// input fails as a read of a closed file descriptor does; with --closed-output, every write of
// standard output does. With --memory-file=FILE, FILE holds the program's memory in KiB as it
// stood when the program started, last began a read or ended: what the program itself holds,
// which the process's, mostly Node.js's, does not tell.
//
// Usage: node --no-warnings run_wasi.mjs [--closed-input] [--closed-output] [--memory-file=FILE]
//        PROGRAM.wasm [ARG...]
import { renameSync, writeFileSync } from "node:fs";
import { readFile } from "node:fs/promises";
import process from "node:process";
import { WASI } from "node:wasi";

const EBADF = 8;
const given = process.argv.slice(2);
const options = given.slice(0, Math.max(0, given.findIndex((argument) => !argument.startsWith("--"))));
const [program, ...args] = given.slice(options.length);
const memoryFile = options.find((option) => option.startsWith("--memory-file="))?.slice(14);
const wasi = new WASI({ version: "preview1", args: [program, ...args], returnOnExit: true });
const imports = { ...wasi.wasiImport };
// Each closed descriptor and the call that fails on it.
for (const [option, fd, call] of [["--closed-input", 0, "fd_read"],
  ["--closed-output", 1, "fd_write"]]) {
  if (!options.includes(option)) continue;
  imports[call] = (target, ...rest) => (target === fd ? EBADF : wasi.wasiImport[call](target, ...rest));
}
let instance;
let reported;
// A program's memory only grows, so what it holds while it waits for input is its peak so far.
// The file is replaced whole, so that a reader never sees half a number.
function reportMemory() {
  const kib = instance.exports.memory.buffer.byteLength / 1024;
  if (kib === reported) return;
  writeFileSync(`${memoryFile}.new`, `${kib}\n`);
  renameSync(`${memoryFile}.new`, memoryFile);
  reported = kib;
}
if (memoryFile) {
  const read = imports.fd_read;
  imports.fd_read = (...rest) => (reportMemory(), read(...rest));
}
const module = await WebAssembly.compile(await readFile(program));
instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: imports });
if (memoryFile) reportMemory();
process.exitCode = wasi.start(instance);
if (memoryFile) reportMemory();
