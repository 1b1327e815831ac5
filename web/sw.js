// Keeps the page's release whole, so that a page once visited starts at once from its copy, on
// any network or none. A release is kept only where every one of its files came with the bytes
// that the build hashed: a login page, a failed or cut answer, or a file of another release is
// never kept. A new release is kept in the background and starts with the page's next start,
// never in the middle of one: a page already open plays on with what it loaded.

// Written by the build: the version, and the SHA-256 of each of the page's files.
const RELEASE = @guess_release@;
const SCOPE = self.registration.scope;
const FILES = Object.keys(RELEASE.files);
const urlOf = (file) => new URL(file, SCOPE).href;
// The addresses that the worker answers, each with the file it answers with: the folder's own
// address is its index.html.
const ANSWERS = new Map([[SCOPE, "index.html"], ...FILES.map((file) => [urlOf(file), file])]);

const sha256 = async (bytes) => [...new Uint8Array(await crypto.subtle.digest("SHA-256", bytes))]
  .map((byte) => byte.toString(16).padStart(2, "0")).join("");
// The release's cache, named by its contents as well as its version and folder, so that two
// builds of one version never share one.
const CACHE = sha256(new TextEncoder().encode(JSON.stringify(RELEASE)))
  .then((id) => `guess ${RELEASE.version} ${id.slice(0, 16)} ${SCOPE}`);

// Resolves to `file` with exactly the release's bytes, asked of the server past any copy in the
// browser's cache that the server no longer vouches for; rejects on anything else.
async function fetchChecked(file) {
  const response = await fetch(urlOf(file), { cache: "no-cache" });
  const bytes = await response.arrayBuffer();
  if (!response.ok || await sha256(bytes) !== RELEASE.files[file]) {
    throw new Error(`${file}: ${response.status}, not this release's bytes`);
  }
  const type = response.headers.get("Content-Type");
  return () => new Response(bytes, { headers: type ? { "Content-Type": type } : {} });
}

// Keeps every file of the release, or none: the install fails, and an older release stays.
self.addEventListener("install", (event) => {
  event.waitUntil((async () => {
    const answers = await Promise.all(FILES.map(fetchChecked));
    const name = await CACHE;
    const cache = await caches.open(name);
    try {
      await Promise.all([...ANSWERS].map(([url, file]) =>
        cache.put(url, answers[FILES.indexOf(file)]())));
    } catch (error) {  // no room for it all
      await caches.delete(name);
      throw error;
    }
  })());
});

// Removes what earlier releases of this page kept, not what a page in another folder keeps.
self.addEventListener("activate", (event) => {
  event.waitUntil((async () => {
    const name = await CACHE;
    const names = await caches.keys();
    await Promise.all(names.filter((other) => other !== name && other.startsWith("guess ")
      && other.endsWith(` ${SCOPE}`)).map((other) => caches.delete(other)));
  })());
});

// The page's word that the player chose to start the new release now.
self.addEventListener("message", (event) => {
  if (event.data === "start") self.skipWaiting();
});

// A start of the page while a new release waits: the new release takes over, and the browser is
// told to ask again, so that the page starts whole from it. It takes over only once this answer
// has gone, as a worker is replaced only once it has answered what it was asked.
function startNewRelease() {
  self.registration.waiting.postMessage("start");
  return new Response('<!doctype html><meta http-equiv="refresh" content="0">',
    { headers: { "Content-Type": "text/html" } });
}

// The page's own files come from the kept release, at once; the network is asked only for what
// is not kept. Everything else is left to the browser.
self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  url.search = "";
  url.hash = "";
  if (event.request.method !== "GET" || !ANSWERS.has(url.href)) return;
  event.respondWith((async () => {
    if (event.request.mode === "navigate" && self.registration.waiting) {
      return startNewRelease();
    }
    return await caches.match(url.href, { cacheName: await CACHE }) ?? fetch(event.request);
  })());
});
