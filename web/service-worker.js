// service-worker.js -- keeps the page's files for offline play, one complete set per build.
//
// The build fills in the cache's name, from the version and a hash of every
// file below, so a changed file makes a new worker with a cache of its own.
// A worker serves only from its own cache, filled whole before it installs;
// a new one waits until a page with no game running asks it to take over.
const CACHE = '@PELMARIC_CACHE@';
const FILES = [@PELMARIC_CACHE_FILES@];
// An effect larger than the game plays (platform/sdl/wav_header.h) is not
// kept: the page would not play it, and must not be made to fetch it whole.
const MOST_EFFECT_BYTES = @PELMARIC_EFFECT_MOST_BYTES@;

// Every file or none: a failed fetch fails the install, and the worker before stays.
self.addEventListener('install', event => {
  event.waitUntil(caches.open(CACHE).then(cache => Promise.all(FILES.map(file =>
    fetch(new Request(file, {cache: 'reload'})).then(response => {
      if (!response.ok)
        throw new Error(file + ': ' + response.status);
      if (file.endsWith('.wav') && Number(response.headers.get('Content-Length')) > MOST_EFFECT_BYTES)
        return response.body.cancel();
      return cache.put(file, response);
    })))));
});

self.addEventListener('activate', event => {
  event.waitUntil(caches.keys().then(names => Promise.all(
    names.filter(name => name.startsWith('pelmaric-') && name !== CACHE).map(name => caches.delete(name))))
    .then(() => self.clients.claim()));
});

self.addEventListener('message', event => {
  if (event.data === 'take-over')
    self.skipWaiting();
});

self.addEventListener('fetch', event => {
  if (event.request.method !== 'GET')
    return;
  event.respondWith(caches.open(CACHE)
    .then(cache => cache.match(event.request, {ignoreSearch: true}))
    .then(found => found || fetch(event.request)));
});
