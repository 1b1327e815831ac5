// Says, where the game cannot load or run, why in the page's own words, and offers to try
// again. A classic script, which runs before the page's module, as soon as the page's body has
// been read, and where no module can run.
"use strict";
(() => {
  const retry = document.getElementById("retry");
  const status = document.getElementById("status");

  // A screen reader speaks what a live region comes to say, not what it said as the page
  // arrived: so the loading line is taken out, and put back two frames later (once the browser
  // has shown the page to the screen reader) where the game is still loading. A game that
  // starts at once is heard, and seen, with no loading line.
  const loading = status.textContent;
  status.textContent = "";
  requestAnimationFrame(() => requestAnimationFrame(() => {
    const started = document.getElementById("transcript").hasChildNodes();
    if (!started && retry.hidden) status.textContent = loading;
  }));

  // Leaves nothing to type into, and says why the game is not running.
  function fail(reason) {
    document.getElementById("console").dataset.state = "failed";
    document.getElementById("entry").hidden = true;
    document.getElementById("line").disabled = true;
    document.getElementById("restart").hidden = true;
    status.textContent = location.protocol === "file:"
      ? "The game cannot run from a file: its page must be served by a web server, such as"
        + " python3 -m http.server in the page's folder, and opened at the address it gives."
      : `The game could not load here (${reason}). Check the connection and try again.`;
    retry.hidden = false;
  }

  retry.addEventListener("click", () => location.reload());
  // main.js's word that the game could not run.
  document.addEventListener("guess-failed", (event) => fail(event.detail.message));
})();
