// A server of the page that a test switches, as it goes, between the states of a network that a
// phone meets: serving one folder or another (each by Python's own static file server, as
// static_server.mjs serves it, with its headers or with `Cache-Control: no-cache` added),
// refusing connections, accepting them and never answering, answering late, answering every
// address with a login page, and answering one file wrongly.
import { createServer, request } from "node:http";
import { setTimeout as sleep } from "node:timers/promises";
import { createGzip } from "node:zlib";
import { serve } from "./static_server.mjs";

export const LOGIN_PAGE = "<!doctype html><title>Log in</title><p>Log in to use the Wi-Fi.";

// Starts serving `folders` (names to paths) on a free port of the loopback address, the first
// folder first; resolves to { address, set(state), requested(path), close() }. A state is
//   { folder: name, noCache: true (no-cache on every answer), gzip: true (every file compressed
//   for a browser that accepts it, as most static hosts send it), fault }, where fault is one of
//   { refuse: true }               no connection is accepted
//   { hang: true, file }           connections are accepted and never answered (for `file`
//                                  alone, where given)
//   { portal: true }               every address answers 200 with LOGIN_PAGE
//   { late: ms, file }             `file` (or every file) is answered `ms` later, as the state
//                                  then says
//   { file, status, body, type }   `file` is answered with that status (200 unless given), body
//                                  (the file's own unless given) and Content-Type (the file's own
//                                  unless given)
// A state's change ends the answers that hang. `requested(path)` counts that path's requests.
export async function networkServer(folders) {
  const origins = {};
  for (const [name, folder] of Object.entries(folders)) origins[name] = await serve(folder);
  let state = { folder: Object.keys(folders)[0] };
  const counts = new Map();
  const hanging = new Set();
  const sockets = new Set();

  const answer = async (req, res) => {
    const path = new URL(req.url, "http://host").pathname.slice(1);
    counts.set(path, (counts.get(path) ?? 0) + 1);
    const { fault = {} } = state;
    if (fault.hang && (fault.file === undefined || fault.file === path)) {
      hanging.add(res.socket);
      return;
    }
    if (fault.late && (fault.file === undefined || fault.file === path)) {
      await sleep(fault.late, null, { ref: false });
    }
    const now = state;  // as it stands when the answer goes
    const wrong = now.fault?.file === path ? now.fault : null;
    if (now.fault?.portal) {
      res.writeHead(200, { "Content-Type": "text/html" }).end(LOGIN_PAGE);
      return;
    }
    const upstream = request(`${origins[now.folder].address}${req.url.slice(1)}`,
      { headers: req.headers }, (from) => {
        const headers = { ...from.headers };
        if (now.noCache) headers["cache-control"] = "no-cache";
        if (wrong?.type) headers["content-type"] = wrong.type;
        if (wrong?.body !== undefined) {
          delete headers["last-modified"];
          headers["content-length"] = Buffer.byteLength(wrong.body);
          res.writeHead(wrong.status ?? 200, headers).end(wrong.body);
          from.resume();
          return;
        }
        const gzip = now.gzip && /\bgzip\b/.test(req.headers["accept-encoding"] ?? "");
        if (gzip) {
          delete headers["content-length"];
          headers["content-encoding"] = "gzip";
        }
        res.writeHead(wrong?.status ?? from.statusCode, headers);
        (gzip ? from.pipe(createGzip({ level: 9 })) : from).pipe(res);
      });
    upstream.on("error", () => res.destroy());
    upstream.end();
  };

  const server = createServer((req, res) => {
    answer(req, res).catch(() => res.destroy());
  });
  server.on("connection", (socket) => {
    sockets.add(socket);
    socket.on("close", () => sockets.delete(socket));
  });
  const listen = (port) => new Promise((resolve, reject) => {
    server.once("error", reject).listen(port, "127.0.0.1", () => resolve(server.address().port));
  });
  const port = await listen(0);
  let listening = true;

  return {
    address: `http://127.0.0.1:${port}/`,
    async set(next) {
      for (const socket of hanging) socket.destroy();
      hanging.clear();
      state = next;
      if (next.fault?.refuse && listening) {
        listening = false;
        const closed = new Promise((resolve) => { server.close(resolve); });
        for (const socket of sockets) socket.destroy();
        await closed;
      } else if (!next.fault?.refuse && !listening) {
        listening = true;
        await listen(port);
      }
    },
    requested: (path) => counts.get(path) ?? 0,
    async close() {
      for (const socket of sockets) socket.destroy();
      if (listening) server.close();
      for (const { server: origin } of Object.values(origins)) origin.kill();
    },
  };
}
