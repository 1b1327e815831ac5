// Runs a WebAssembly program built for WASI as a console program under Node.js's node:wasi:
// this process's standard streams, arguments after the program's path, no environment, no files,
// and the program's exit status as this process's. With --closed-input, every read of standard
// input fails as a read of a closed file descriptor does.
//
// Usage: node --no-warnings run_wasi.mjs [--closed-input] PROGRAM.wasm [ARGUMENT...]
import { readFile } from "node:fs/promises";
import process from "node:process";
import { WASI } from "node:wasi";

const closedInput = process.argv[2] === "--closed-input";
const [program, ...args] = process.argv.slice(closedInput ? 3 : 2);
const wasi = new WASI({ version: "preview1", args: [program, ...args], returnOnExit: true });
const imports = { ...wasi.wasiImport };
if (closedInput) {
  const EBADF = 8;
  imports.fd_read = (fd, ...rest) => (fd === 0 ? EBADF : wasi.wasiImport.fd_read(fd, ...rest));
}
const module = await WebAssembly.compile(await readFile(program));
const instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: imports });
process.exitCode = wasi.start(instance);
