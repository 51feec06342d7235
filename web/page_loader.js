// page_loader.js -- loads the game's script and WebAssembly, checked, and gets the page out of a bad offline copy.
//
// index.html lists this build's files (pelmaricFiles) at addresses naming
// their contents, with their integrity strings; the bench's page lists none
// and loads plain names. A page whose game cannot start is never left
// there: it loads once more from the network, after deleting the offline
// copy and unregistering the worker when they served it; only if that fails
// too (or the network cannot be reached) does it say, in one line, what happened.
(function() {
  var files = window.pelmaricFiles || {};
  var script = document.body.dataset.script;
  var wasm = script.replace(/\.js$/, '.wasm');
  // Set while the page loads again after a failure: what failed, 'network' or 'offline copy'.
  var RETRY = 'pelmaric-from-network';
  var failed = false;

  function address(name) { return files[name] ? files[name].url : name; }
  function integrity(name) { return files[name] ? files[name].integrity : ''; }
  window.pelmaricAddress = address;

  function remembered() {
    try { return sessionStorage.getItem(RETRY); } catch (e) { return null; }
  }
  // False when the page cannot remember: then it must not reload, or it might for ever.
  function remember(value) {
    try {
      if (value) sessionStorage.setItem(RETRY, value); else sessionStorage.removeItem(RETRY);
      return true;
    } catch (e) {
      return false;
    }
  }

  function say(text) {
    var box = document.getElementById('failed');
    box.textContent = 'Pelmaric could not start: ' + text;
    box.hidden = false;
  }

  // Every offline copy deleted and every worker unregistered; the page then loads from the network.
  function startOver() {
    var deleting = caches.keys().then(function(names) {
      return Promise.all(names.filter(function(name) { return name.indexOf('pelmaric-') === 0; })
        .map(function(name) { return caches.delete(name); }));
    });
    var unregistering = navigator.serviceWorker.getRegistrations().then(function(registrations) {
      return Promise.all(registrations.map(function(r) { return r.unregister(); }));
    });
    return Promise.all([deleting, unregistering]);
  }

  // `file` did not load or would not run. The first time, the page loads
  // again from the network (a reload revalidates the page itself, which may
  // be older than the server's files); from the offline copy, that copy is
  // deleted and the worker unregistered first, unless the network is out of
  // reach. The second time, or offline, the page says what happened.
  window.pelmaricFailed = function(file) {
    if (failed)
      return;
    failed = true;
    var advice = ' Reloading the page may help; if it does not, try another browser.';
    var before = remembered();
    if (before || !remember('network')) {
      remember(null);
      say(file + ' did not load' + (before === 'offline copy' ?
          ' from the network either, after the offline copy failed and was deleted.' : '.') + advice);
      return;
    }
    if (!('serviceWorker' in navigator && navigator.serviceWorker.controller)) {
      location.reload();
      return;
    }
    // The worker passes over HEAD requests: this one asks the network itself.
    fetch('service-worker.js', {method: 'HEAD', cache: 'no-store'}).then(function(response) {
      if (!response.ok)
        throw new Error('no worker on the server: ' + response.status);
      remember('offline copy');
      return startOver().then(function() { location.reload(); });
    }).catch(function() {
      say(file + ' did not load from the offline copy, and the network cannot be reached to fetch it again.' + advice);
    });
  };

  // The worker asks which files this page uses before it deletes an old
  // build's copy; a page that starts asks it to look.
  if ('serviceWorker' in navigator) {
    navigator.serviceWorker.addEventListener('message', function(e) {
      if (e.data === 'pelmaric-files' && e.ports[0])
        e.ports[0].postMessage(Object.keys(files).map(function(name) { return new URL(files[name].url, location.href).href; }));
    });
    navigator.serviceWorker.startMessages();
    if (navigator.serviceWorker.controller)
      navigator.serviceWorker.controller.postMessage('tidy');
  }

  // The WebAssembly, fetched with its integrity and compiled here, so that
  // any failure, the network's, the check's or the compiler's, is seen.
  window.Module = {
    instantiateWasm: function(imports, receive) {
      fetch(address(wasm), {credentials: 'same-origin', integrity: integrity(wasm)}).then(function(response) {
        if (!response.ok)
          throw new Error(wasm + ': ' + response.status);
        return response.arrayBuffer();
      }).then(function(bytes) {
        return WebAssembly.instantiate(bytes, imports);
      }).then(function(result) {
        remember(null);
        receive(result.instance, result.module);
      }, function() {
        window.pelmaricFailed(wasm);
      });
      return {};
    },
  };

  var tag = document.createElement('script');
  tag.src = address(script);
  if (integrity(script))
    tag.integrity = integrity(script);
  tag.onerror = function() { window.pelmaricFailed(script); };
  tag.onload = function() {
    if (!window.pelmaricScriptRan)
      window.pelmaricFailed(script);
  };
  document.body.appendChild(tag);
})();
