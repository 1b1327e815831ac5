// Runs a WASI command module on the page's own thread: the WASI functions that the game
// imports, with standard input read from `input` and standard output and error handed to
// `write`, and binaryen's Asyncify, which lets a read wait for the player without blocking the
// page.

const SUCCESS = 0;
const EBADF = 8;
const EINVAL = 28;
const ESPIPE = 70;
const FILETYPE_CHARACTER_DEVICE = 2;
const CLOCK_REALTIME = 0;
// Every right but seeking and telling, which is what a terminal has.
const TERMINAL_RIGHTS = ~(4n | 32n) & 0xffffffffffffffffn;
const ASYNCIFY_UNWINDING = 1;
const PAGE_SIZE = 64 * 1024;  // WebAssembly's
const ASYNCIFY_BUFFER_SIZE = PAGE_SIZE;

// The status that the program ended with, thrown out of it by proc_exit.
class Exit extends Error {
  constructor(status) {
    super(`exit ${status}`);
    this.status = status;
  }
}

// Runs `module`, a compiled WebAssembly.Module, to its end; resolves to its exit status.
// `input.take(size)` returns a Uint8Array of at most `size` bytes without waiting, an empty one
// at the end of input, or null where nothing has come yet; `input.arrival()` is a promise of the
// next arrival. `write(fd, bytes)` shows bytes written to standard output (1) or error (2).
// `now()` is the clock, in milliseconds since the epoch.
export async function runWasi(module, input, write, now) {
  let instance = null;
  let buffer = 0;  // Asyncify's buffer, in the program's memory
  let waiting = false;  // fd_read has unwound the program, to be rewound once input has come
  const memory = () => new DataView(instance.exports.memory.buffer);
  const bytes = (address, length) =>
    new Uint8Array(instance.exports.memory.buffer, address, length);
  // The iovec array at `iovs`, as [address, length] pairs.
  const vectors = (iovs, count) =>
    Array.from({ length: count }, (_, i) => [
      memory().getUint32(iovs + i * 8, true),
      memory().getUint32(iovs + i * 8 + 4, true),
    ]);

  const wasi = {
    fd_read(fd, iovs, count, readPtr) {
      if (fd !== 0) return EBADF;
      if (waiting) {  // rewound, now that input has come
        waiting = false;
        instance.exports.asyncify_stop_rewind();
      }
      const [address, length] = vectors(iovs, count).find(([, size]) => size > 0) ?? [0, 0];
      const chunk = length > 0 ? input.take(length) : new Uint8Array(0);
      if (chunk === null) {
        // A page of memory that the program's own allocation never takes: memory it grows
        // starts past the memory's end at the time.
        buffer ||= instance.exports.memory.grow(ASYNCIFY_BUFFER_SIZE / PAGE_SIZE) * PAGE_SIZE;
        memory().setUint32(buffer, buffer + 8, true);
        memory().setUint32(buffer + 4, buffer + ASYNCIFY_BUFFER_SIZE, true);
        instance.exports.asyncify_start_unwind(buffer);
        waiting = true;
        return SUCCESS;
      }
      bytes(address, chunk.length).set(chunk);
      memory().setUint32(readPtr, chunk.length, true);
      return SUCCESS;
    },
    fd_write(fd, iovs, count, writtenPtr) {
      if (fd !== 1 && fd !== 2) return EBADF;
      let written = 0;
      for (const [address, length] of vectors(iovs, count)) {
        write(fd, bytes(address, length).slice());
        written += length;
      }
      memory().setUint32(writtenPtr, written, true);
      return SUCCESS;
    },
    fd_fdstat_get(fd, statPtr) {
      if (fd > 2) return EBADF;
      const view = memory();
      view.setUint8(statPtr, FILETYPE_CHARACTER_DEVICE);
      view.setUint16(statPtr + 2, 0, true);
      view.setBigUint64(statPtr + 8, TERMINAL_RIGHTS, true);
      view.setBigUint64(statPtr + 16, TERMINAL_RIGHTS, true);
      return SUCCESS;
    },
    fd_seek: (fd) => (fd > 2 ? EBADF : ESPIPE),
    fd_close: (fd) => (fd > 2 ? EBADF : SUCCESS),
    // Reached only where a read or write would have blocked, which the page's never do.
    poll_oneoff: () => EINVAL,
    clock_time_get(id, precision, timePtr) {
      if (id !== CLOCK_REALTIME) return EINVAL;
      memory().setBigUint64(timePtr, BigInt(Math.floor(now())) * 1000000n, true);
      return SUCCESS;
    },
    environ_sizes_get(countPtr, sizePtr) {
      memory().setUint32(countPtr, 0, true);
      memory().setUint32(sizePtr, 0, true);
      return SUCCESS;
    },
    environ_get: () => SUCCESS,
    proc_exit(status) {
      throw new Exit(status);
    },
  };

  instance = await WebAssembly.instantiate(module, { wasi_snapshot_preview1: wasi });
  for (;;) {
    try {
      instance.exports._start();
    } catch (error) {
      if (error instanceof Exit) return error.status;
      throw error;
    }
    if (instance.exports.asyncify_get_state() !== ASYNCIFY_UNWINDING) return 0;
    instance.exports.asyncify_stop_unwind();
    await input.arrival();
    instance.exports.asyncify_start_rewind(buffer);
  }
}
