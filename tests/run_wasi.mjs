// Runs a WebAssembly program built for WASI as a console program under Node.js's node:wasi:
// this process's standard streams, arguments after the program's path, no environment, no files,
// and the program's exit status as this process's. With --closed-input, every read of standard
// input fails as a read of a closed file descriptor does; with --closed-output, every write of
// standard output does.
//
// Usage: node --no-warnings run_wasi.mjs [--closed-input] [--closed-output] PROGRAM.wasm [ARG...]
import { readFile } from "node:fs/promises";
import process from "node:process";
import { WASI } from "node:wasi";

const EBADF = 8;
const options = ["--closed-input", "--closed-output"];
const given = process.argv.slice(2);
const closed = given.filter((argument) => options.includes(argument));
const [program, ...args] = given.slice(closed.length);
const wasi = new WASI({ version: "preview1", args: [program, ...args], returnOnExit: true });
const imports = { ...wasi.wasiImport };
// Each closed descriptor and the call that fails on it.
for (const [option, fd, call] of [["--closed-input", 0, "fd_read"],
  ["--closed-output", 1, "fd_write"]]) {
  if (!closed.includes(option)) continue;
  imports[call] = (target, ...rest) => (target === fd ? EBADF : wasi.wasiImport[call](target, ...rest));
}
const module = await WebAssembly.compile(await readFile(program));
const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: imports });
process.exitCode = wasi.start(instance);
