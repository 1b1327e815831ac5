// Serves a folder as a player serves the web page: Python's own static file server, on a free
// port of the loopback address, with no special headers.
import { spawn } from "node:child_process";

// Starts serving `folder`; resolves to the server's process and its address.
export function serve(folder) {
  const server = spawn("python3", ["-u", "-m", "http.server", "--bind", "127.0.0.1",
    "--directory", folder, "0"], { stdio: ["ignore", "pipe", "ignore"] });
  return new Promise((resolve, reject) => {
    server.stdout.on("data", (data) => {
      const port = /port (\d+)/.exec(data.toString());
      if (port) resolve({ server, address: `http://127.0.0.1:${port[1]}/` });
    });
    server.on("exit", (status) => reject(new Error(`the file server ended: ${status}`)));
  });
}
