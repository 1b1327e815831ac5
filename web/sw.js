// Lets a page once visited load and play with no network. Each of the page's own files comes
// from the network first, and the copy kept from an earlier visit only where the network fails,
// so that a new release is never hidden behind an old copy. Nothing else is kept.
const CACHE = `guess @PROJECT_VERSION@ ${self.registration.scope}`;
const FILES = new Set(["./", @guess_cached_files@]
  .map((file) => new URL(file, self.registration.scope).href));

self.addEventListener("install", (event) => {
  self.skipWaiting();  // it serves as the old worker does, so it may take over at once
  event.waitUntil(caches.open(CACHE).then((cache) =>
    cache.addAll([...FILES].map((url) => new Request(url, { cache: "no-cache" })))));
});

// Removes the caches of this page's earlier releases, not those of a page in another folder.
self.addEventListener("activate", (event) => {
  const scope = ` ${self.registration.scope}`;
  event.waitUntil(caches.keys()
    .then((names) => Promise.all(names
      .filter((name) => name !== CACHE && name.startsWith("guess ") && name.endsWith(scope))
      .map((name) => caches.delete(name))))
    // The page's own request goes out as the worker starts, rather than once it has started.
    .then(() => self.registration.navigationPreload?.enable())
    .then(() => self.clients.claim()));
});

// The network's answer, as the browser fetches without a worker, its own cache doing what the
// server says.
const fromNetwork = async (event) => await event.preloadResponse ?? fetch(event.request);

self.addEventListener("fetch", (event) => {
  const url = new URL(event.request.url);
  url.search = "";
  url.hash = "";
  if (event.request.method !== "GET") return;
  if (!FILES.has(url.href)) {
    // Another page of the folder comes from the network, as without a worker, but through
    // the worker: where navigation preload is on and the worker leaves a navigation alone,
    // WebKitGTK 2.52 corrupts its network process's memory (on Debian 13, in 5 of 10 runs of
    // the browser test's WebKitGTK rows, whose pages are not the worker's).
    if (event.request.mode === "navigate") {
      event.respondWith(fromNetwork(event));
    }
    return;
  }
  event.respondWith((async () => {
    const cache = await caches.open(CACHE);
    try {
      const response = await fromNetwork(event);
      if (response.ok) event.waitUntil(cache.put(url.href, response.clone()));
      return response;
    } catch (error) {
      const kept = await cache.match(url.href);
      if (kept) return kept;
      throw error;
    }
  })());
});
