// Starts the page's console (main.js), lets a page once visited load with no network (sw.js),
// and where the game cannot load or run, says why in the page's own words and offers to try
// again. A classic script, so that it runs where a module cannot: from a file, or where the
// server sends a module as something else or not at all.
"use strict";
(() => {
  const consoleArea = document.getElementById("console");
  const entry = document.getElementById("entry");
  const field = document.getElementById("line");
  const status = document.getElementById("status");
  const restart = document.getElementById("restart");
  const retry = document.getElementById("retry");

  // Leaves nothing to type into, and says why the game is not running.
  function fail(error) {
    consoleArea.dataset.state = "failed";
    entry.hidden = true;
    field.disabled = true;
    restart.hidden = true;
    status.textContent = location.protocol === "file:"
      ? "The game cannot run from a file: its page must be served by a web server, such as"
        + " python3 -m http.server in the page's folder, and opened at the address it gives."
      : `The game could not load here (${error.message}). Check the connection and try again.`;
    retry.hidden = false;
  }

  // Where no worker can run (not a secure context, or turned off), the page plays as it is.
  function keepForOffline() {
    if (!window.isSecureContext || !("serviceWorker" in navigator)) return;
    navigator.serviceWorker.register("sw.js").catch(() => {});
  }

  retry.addEventListener("click", () => location.reload());
  // The worker starts once the game waits for its first guess, rather than compete with its
  // start for the network and the processor.
  import("./main.js").then((page) => page.start(fail)).then(keepForOffline, fail);
})();
