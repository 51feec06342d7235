// service-worker.js -- keeps the page's files for offline play: one whole, checked copy per build, never a file unchecked.
//
// The build (platform/web/service_worker.cmake) writes in this build's files
// with their SHA-256 and size, and names the cache from them. Every file the
// page loads by name it asks for at NAME?sha256=DIGEST, so such a file is
// the same in any build's cache, and a page keeps the build it started with
// until it reloads, whichever worker serves it by then.
//
// Nothing is stored or served unchecked: a file is taken only when its size
// and digest are the build's. The install takes every file or none, and a
// failed one deletes what it stored. A cached file that fails its check is
// deleted and fetched again; what comes back checked is stored in its place.
// A build's cache is deleted once no open page uses it (the pages are asked).
const CACHE = '@PELMARIC_CACHE@';
const FILES = [
  @PELMARIC_CACHE_FILES@];

const address = url => new URL(url, self.registration.scope).href;
for (const file of FILES) {
  file.href = address(file.url);
  file.pinned = file.url.includes('?sha256=');
}

const hex = bytes => Array.from(new Uint8Array(bytes), b => b.toString(16).padStart(2, '0')).join('');

// The file a request asks for: one of this build's (by address or plain
// name), or another build's named by its digest; null for anything else.
function wanted(request) {
  const url = new URL(request.url);
  if (url.origin !== self.location.origin)
    return null;
  if (request.mode === 'navigate')
    return FILES.find(file => file.url === './');
  const own = FILES.find(file => file.href === url.href || address(file.name) === url.href);
  if (own)
    return own;
  const sha256 = url.searchParams.get('sha256');
  return /^[0-9a-f]{64}$/.test(sha256 || '') ? {href: url.href, sha256, size: null, pinned: true} : null;
}

// The response as a fresh one when its bytes are `file`, else null. The
// length is checked before the body is read, so a huge wrong file is not.
async function checked(response, file) {
  if (!response || !response.ok)
    return null;
  const length = response.headers.get('Content-Length');
  if (file.size !== null && length !== null && !response.headers.get('Content-Encoding') && Number(length) !== file.size) {
    if (response.body)
      response.body.cancel().catch(() => {});
    return null;
  }
  const bytes = await response.arrayBuffer().catch(() => null);
  if (!bytes || (file.size !== null && bytes.byteLength !== file.size) ||
      hex(await crypto.subtle.digest('SHA-256', bytes)) !== file.sha256)
    return null;
  return new Response(bytes, {status: 200, statusText: 'OK', headers: response.headers});
}

// A good copy of `file` from any cache (an unchanged file of an earlier
// build is not fetched again), else from the network: the browser's HTTP
// cache asked to revalidate, so what the page itself already fetched does
// not cross the network twice.
async function take(file) {
  return await checked(await caches.match(file.href), file) ||
         await checked(await fetch(file.href, {cache: 'no-cache'}).catch(() => null), file);
}

self.addEventListener('install', event => {
  event.waitUntil((async () => {
    const cache = await caches.open(CACHE);
    const results = await Promise.allSettled(FILES.map(async file => {
      const body = await take(file);
      if (!body)
        throw new Error(file.url + ' is not this build\'s file');
      await cache.put(file.href, body);
    }));
    const failed = results.find(result => result.status === 'rejected');
    if (failed) {
      await caches.delete(CACHE);
      throw failed.reason;
    }
  })());
});

// Which files an open page loaded, or null when it does not answer.
function filesOf(client) {
  return new Promise(resolve => {
    const channel = new MessageChannel();
    channel.port1.onmessage = event => resolve(Array.isArray(event.data) ? event.data : null);
    client.postMessage('pelmaric-files', [channel.port2]);
    setTimeout(() => resolve(null), 3000);
  });
}

// Deletes each other build's cache that no open page needs: one holding
// none of the files a page uses that this build's cache lacks. A page that
// does not answer may need any: then every cache stays, until a later look.
async function tidy() {
  const others = (await caches.keys()).filter(name => name.startsWith('pelmaric-') && name !== CACHE);
  if (others.length === 0 || self.registration.installing || self.registration.waiting)
    return;   // a newer build may be filling its cache
  const used = await Promise.all((await self.clients.matchAll({type: 'window', includeUncontrolled: true})).map(filesOf));
  if (used.includes(null))
    return;
  const own = await caches.open(CACHE);
  const lacking = (await Promise.all(used.flat().map(async url => await own.match(url) ? null : url))).filter(Boolean);
  for (const name of others) {
    const cache = await caches.open(name);
    const needed = (await Promise.all(lacking.map(url => cache.match(url)))).some(Boolean);
    if (!needed && !self.registration.installing)
      await caches.delete(name);
  }
}

self.addEventListener('activate', event => {
  event.waitUntil(self.clients.claim().then(tidy));
});

// A page that has just started asks for the tidying: the page it replaced is gone by then.
self.addEventListener('message', event => {
  if (event.data === 'take-over')
    self.skipWaiting();
  else if (event.data === 'tidy')
    event.waitUntil(tidy());
});

// Puts a checked file of this build back in its cache, if the cache is
// still there (a page starting over may have deleted it).
async function keep(file, body) {
  if (await caches.has(CACHE))
    await caches.open(CACHE).then(cache => cache.put(file.href, body));
}

async function serve(file, request) {
  const cached = await (file.size === null ? caches.match(file.href) : caches.open(CACHE).then(cache => cache.match(file.href)));
  const good = await checked(cached, file);
  if (good)
    return good;
  if (cached)
    await Promise.all((await caches.keys()).map(name => caches.open(name).then(cache => cache.delete(file.href))));
  const response = await fetch(request).catch(() => null);
  if (!file.pinned) {
    // The page, the manifest and the icons: whatever the network has (its
    // files are named by digest), stored only when it is this build's.
    const copy = response && response.ok ? await checked(response.clone(), file) : null;
    if (copy)
      await keep(file, copy);
    return response || Response.error();
  }
  // A file named by its digest is that file or nothing: never another build's.
  const body = await checked(response, file);
  if (!body)
    return new Response('not the file asked for', {status: 503, statusText: 'Wrong file'});
  if (file.size !== null)
    await keep(file, body.clone());
  return body;
}

self.addEventListener('fetch', event => {
  if (event.request.method !== 'GET')
    return;
  const file = wanted(event.request);
  if (!file)
    return;
  event.respondWith(serve(file, event.request));
});
