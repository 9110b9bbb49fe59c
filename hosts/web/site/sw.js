// The service worker: the app's own files kept when it installs, each face
// kept the first time a drawing needs it, and everything served from them,
// so that the app opens and draws offline. A new version installs beside
// the running one and takes over when the page asks (the user chose to
// reload). Drawings a phone's share sheet sends (a POST to ./share) wait in
// a cache of their own until the page takes them; nothing goes to a server.
const VERSION = '@VERSION@';  // made from the site's files by build_web.sh
const SHELL_CACHE = `plotmira-shell-${VERSION}`;
const FONT_CACHE = 'plotmira-fonts';
const SHARED_CACHE = 'plotmira-shared';
const SHELL = ['./', 'viewer.js', 'tools.js', 'render_worker.js', 'style.css', 'plotmira.mjs', 'plotmira.wasm',
  'manifest.webmanifest', 'icons/icon-192.png', 'icons/icon-512.png'];

self.addEventListener('install', (event) => {
  // Past the browser's HTTP cache: the module and its script of one build.
  event.waitUntil(caches.open(SHELL_CACHE).then((cache) =>
    cache.addAll(SHELL.map((url) => new Request(url, { cache: 'reload' })))));
});

self.addEventListener('message', (event) => {
  if (event.data === 'take over') self.skipWaiting();
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const name of await caches.keys()) {
      if (name.startsWith('plotmira-shell-') && name !== SHELL_CACHE) await caches.delete(name);
    }
    await self.clients.claim();
  })());
});

// A response from the cache, else from the network, kept when it is a face.
async function cached(cacheName, request, keep) {
  const cache = await caches.open(cacheName);
  const hit = await cache.match(request, { ignoreSearch: request.mode === 'navigate' });
  if (hit) return hit;
  const response = await fetch(request);
  if (keep && response.ok) await cache.put(request, response.clone());
  return response;
}

// Shared drawings: kept for the page, which then opens them (?shared).
async function share(request) {
  const form = await request.formData();
  const cache = await caches.open(SHARED_CACHE);
  let n = 0;
  for (const file of form.getAll('drawings')) {
    if (typeof file === 'string') continue;
    await cache.put(new Request(`shared/${Date.now()}-${n++}/${encodeURIComponent(file.name)}`), new Response(file));
  }
  return Response.redirect('./?shared', 303);
}

self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (url.origin !== self.location.origin) return;
  const scope = new URL(self.registration.scope);
  if (request.method === 'POST' && url.pathname === scope.pathname + 'share') {
    event.respondWith(share(request));
  } else if (request.method === 'GET' && url.pathname.startsWith(scope.pathname + 'fonts/')) {
    event.respondWith(cached(FONT_CACHE, request, true));
  } else if (request.method === 'GET') {
    // The page itself is the shell's "./", whatever its query.
    event.respondWith(cached(SHELL_CACHE, request.mode === 'navigate' ? new Request(scope.href) : request, false));
  }
});
