// web_replay.js -- the page's kept games: the last 20 in IndexedDB, "Watch again" and "Download" on the end screen, a replay opened or dropped on the page.
//
// The game hands over each finished game (web_replay_keep) and a watched
// game's verdict (web_replay_verdict); web_replay.cpp is the C++ side. A
// replay is watched as on the desktop: written to the game's memory file
// system and started with --replay, at the player's gesture on the start
// screen (sound needs one). A game cannot start twice in one page, so a
// replay chosen after the game has run is put aside in IndexedDB and the page
// reloads to it (#watch). The page can read window.pelmaricReplay: the last
// kept game's name, a watched game's verdict, a refused replay's reason.

var LibraryPelmaricReplay = {
  $PelmaricReplay__deps: ['$FS'],
  $PelmaricReplay__postset: 'PelmaricReplay.prepare();',
  $PelmaricReplay: {
    keepLast: 20,
    kept: null,       // {name, text}: the game that just ended, or the replay just watched
    watching: null,   // the text the next start plays
    verdict: '',
    refusal: '',

    // The database: 'games' holds the kept games by name (their date and
    // time, so name order is age order), 'watch' the replay a reload plays.
    request: function(mode, stores, work) {
      return new Promise(function(resolve, reject) {
        if (!window.indexedDB) {
          reject(new Error('this browser keeps no data (no IndexedDB)'));
          return;
        }
        var open = indexedDB.open('pelmaric', 1);
        open.onupgradeneeded = function() {
          open.result.createObjectStore('games');
          open.result.createObjectStore('watch');
        };
        open.onerror = function() { reject(open.error); };
        open.onsuccess = function() {
          var db = open.result;
          var t = db.transaction(stores, mode);
          var result = work(t);
          t.oncomplete = function() { db.close(); resolve(result.value); };
          t.onerror = t.onabort = function() { db.close(); reject(t.error); };
        };
      });
    },

    store: function(name, text) {
      return PelmaricReplay.request('readwrite', ['games'], function(t) {
        var games = t.objectStore('games');
        games.put(text, name);
        var keys = games.getAllKeys();
        keys.onsuccess = function() {
          var all = keys.result.slice().sort();
          for (var i = 0; i + PelmaricReplay.keepLast < all.length; ++i)
            games.delete(all[i]);
        };
        return {};
      });
    },

    // The name a game is kept by, as the desktop names its files: 2026-12-08_06-41-41.
    nameNow: function() {
      var d = new Date();
      var two = function(n) { return (n < 10 ? '0' : '') + n; };
      return d.getFullYear() + '-' + two(d.getMonth() + 1) + '-' + two(d.getDate()) + '_' + two(d.getHours()) +
             '-' + two(d.getMinutes()) + '-' + two(d.getSeconds());
    },

    show: function(id, shown) {
      var element = document.getElementById(id);
      if (element)
        element.hidden = !shown;
    },

    say: function(id, text) {
      var element = document.getElementById(id);
      element.textContent = text;
      element.hidden = text === '';
    },

    // A replay to watch. Before the game has started it waits for the
    // start gesture; afterwards the page reloads to it.
    offer: function(text) {
      var p = PelmaricReplay;
      var state = document.body.dataset.state || 'loading';
      if (state === 'loading' || state === 'ready') {
        p.watching = text;
        p.refusal = '';
        if (state === 'ready')
          p.check();
        if (p.watching !== null)
          p.say('replay-note', 'A replay is ready: click, tap or press a key to watch it.');
        return;
      }
      p.request('readwrite', ['watch'], function(t) {
        t.objectStore('watch').put(text, 'next');
        return {};
      }).then(function() {
        location.hash = 'watch';
        location.reload();
      }, function(error) {
        p.say('verdict', 'This replay cannot be put aside to watch: ' + error.message);
      });
    },

    // Asks the game whether the replay can be played here; a refused one
    // is dropped with its reason on the start screen.
    check: function() {
      var p = PelmaricReplay;
      FS.writeFile(UTF8ToString(_web_replay_path()), p.watching);
      p.refusal = UTF8ToString(_web_replay_refusal());
      if (p.refusal !== '') {
        p.watching = null;
        p.say('replay-note', 'This replay cannot be played: ' + p.refusal + '.');
      }
    },

    // The arguments the game starts with, or null when the replay it was
    // to play is refused.
    startArguments: function() {
      var p = PelmaricReplay;
      if (p.watching === null)
        return [];
      p.check();
      if (p.watching === null)
        return null;
      p.kept = {name: null, text: p.watching};
      return ['--replay', UTF8ToString(_web_replay_path())];
    },

    readFile: function(file) {
      if (!file)
        return;
      file.text().then(PelmaricReplay.offer, function(error) {
        PelmaricReplay.say('replay-note', 'This file cannot be read: ' + error.message);
      });
    },

    download: function() {
      var p = PelmaricReplay;
      if (!p.kept)
        return;
      var link = document.createElement('a');
      link.href = URL.createObjectURL(new Blob([p.kept.text], {type: 'text/plain'}));
      link.download = (p.kept.name || 'pelmaric') + '.replay';
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(function() { URL.revokeObjectURL(link.href); }, 60000);
    },

    prepare: function() {
      var p = PelmaricReplay;
      var view = {};
      var fields = {
        kept: function() { return p.kept ? p.kept.name : null; },
        verdict: function() { return p.verdict; },
        refusal: function() { return p.refusal; },
        watching: function() { return p.watching !== null; },
      };
      Object.keys(fields).forEach(function(name) {
        Object.defineProperty(view, name, {get: fields[name], enumerable: true});
      });
      window['pelmaricReplay'] = Object.freeze(view);

      var chooser = document.getElementById('replay-file');
      if (!chooser)
        return;   // a page without the controls (the benchmark's)
      document.getElementById('open-replay').addEventListener('click', function() { chooser.click(); });
      chooser.addEventListener('change', function() { p.readFile(chooser.files[0]); });
      document.getElementById('watch-again').addEventListener('click', function() {
        if (p.kept)
          p.offer(p.kept.text);
      });
      document.getElementById('download').addEventListener('click', p.download);
      window.addEventListener('dragover', function(e) { e.preventDefault(); });
      window.addEventListener('drop', function(e) {
        e.preventDefault();
        if (e.dataTransfer && e.dataTransfer.files.length)
          p.readFile(e.dataTransfer.files[0]);
      });
      if (location.hash === '#watch') {
        history.replaceState(null, '', location.pathname + location.search);
        p.request('readonly', ['watch'], function(t) {
          var got = t.objectStore('watch').get('next');
          var result = {};
          got.onsuccess = function() { result.value = got.result; };
          return result;
        }).then(function(text) {
          if (typeof text === 'string')
            p.offer(text);
        }, function() {});
      }
    },
  },

  // The game just ended: kept, and offered for watching and download.
  web_replay_keep__deps: ['$PelmaricReplay'],
  web_replay_keep: function(text, size) {
    var p = PelmaricReplay;
    p.kept = {name: p.nameNow(), text: UTF8ToString(text, size)};
    p.show('watch-again', true);
    p.show('download', true);
    p.store(p.kept.name, p.kept.text).catch(function(error) {
      console.warn('Pelmaric: this game cannot be kept: ' + error.message);
    });
  },

  // A watched game ended: its verdict on the end screen.
  web_replay_verdict__deps: ['$PelmaricReplay'],
  web_replay_verdict: function(verdict, matched) {
    var p = PelmaricReplay;
    p.verdict = UTF8ToString(verdict);
    p.say('verdict', matched ? 'The replay matched the recorded game.' : 'The replay did not match: ' + p.verdict);
    p.show('watch-again', true);
    p.show('download', true);
  },
};

mergeInto(LibraryManager.library, LibraryPelmaricReplay);
