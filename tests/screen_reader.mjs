// Orca, Debian's screen reader, as a blind player runs it: on a D-Bus session and an accessibility
// bus of its own, on the X display in DISPLAY, with its default settings. What it speaks is read
// from its debug log, which it is made to write a line at a time (it opens the file with
// Python's default buffer, which would hold the last few kilobytes back).
//
// startOrca() resolves, once Orca has said that it is on, to:
//   env        the variables that a browser needs to be read: its buses and GTK's bridge
//   spoken()   every utterance so far, in order, each with its white space run together
//   stop()     ends Orca and its buses
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { setTimeout as sleep } from "node:timers/promises";

const LINE_BUFFERED = `import builtins, runpy, sys
plain = builtins.open
builtins.open = lambda name, mode="r", *rest, **options: plain(name, mode, 1, *rest, **options) \\
    if name == sys.argv[1][len("--debug-file="):] else plain(name, mode, *rest, **options)
sys.argv[0] = "/usr/bin/orca"
runpy.run_path(sys.argv[0], run_name="__main__")`;

// Waits, for at most `seconds`, until `ready()` holds (or resolves to true), saying `what` where
// it does not.
export async function until(ready, seconds, what) {
  for (let waited = 0; !await ready(); waited += 0.05) {
    if (waited > seconds) throw new Error(`${what} in ${seconds} s`);
    await sleep(50);
  }
}

export async function startOrca() {
  const folder = mkdtempSync(join(tmpdir(), "guess-orca-"));
  const log = join(folder, "orca.log");
  const started = [];
  const start = (command, args, env) => {
    const child = spawn(command, args, { env, stdio: ["ignore", "pipe", "ignore"] });
    started.push(child);
    return child;
  };
  const stop = async () => {
    for (const child of started.reverse().filter((c) => c.exitCode === null && !c.signalCode)) {
      child.kill();
      await new Promise((resolve) => child.on("exit", resolve));
    }
    rmSync(folder, { recursive: true, force: true });
  };
  try {
    const bus = start("dbus-daemon", ["--session", "--nofork", "--print-address=1"]);
    let address = "";
    bus.stdout.on("data", (data) => { address += data; });
    await until(() => address.includes("\n"), 10, "dbus-daemon gave no address");
    const env = { ...process.env, DBUS_SESSION_BUS_ADDRESS: address.trim(), HOME: folder,
      XDG_CONFIG_HOME: join(folder, "config"), XDG_DATA_HOME: join(folder, "data"),
      XDG_RUNTIME_DIR: folder, GTK_MODULES: "gail:atk-bridge", GNOME_ACCESSIBILITY: "1",
      NO_AT_BRIDGE: "0" };
    start("/usr/libexec/at-spi-bus-launcher", ["--launch-immediately"], env);
    start("/usr/bin/python3", ["-c", LINE_BUFFERED, `--debug-file=${log}`], env);
    const spoken = () => [...(existsSync(log) ? readFileSync(log, "utf8") : "")
      .matchAll(/SPEECH OUTPUT: '([^]*?)'(?: ?\[?\{[^\n]*| voice=\w+)?\n/g)]
      .map(([, said]) => said.replace(/\s+/g, " ").trim());
    await until(() => spoken().includes("Screen reader on."), 30, "Orca did not start");
    return { env, spoken, stop };
  } catch (error) {
    await stop();
    throw error;
  }
}
