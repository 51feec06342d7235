// web_library.js -- the page side of the browser backend: canvas, pointer, input and Web Audio.
//
// Emscripten emits this library at the top level of its script, so its state
// lives in PelmaricWeb, a name of its own beside the page's window.pelmaric.
// Linked with --js-library; the C++ side is web_video.cpp and web_audio.cpp,
// and web_page.h lists every crossing. The page can read a few counters as
// window.pelmaric (frames, audio starts, ...): the game shows no text, so
// this is how its tests and measurements see it run.

var LibraryPelmaricWeb = {
  $PelmaricWeb: {
    canvas: null,
    context2d: null,
    image: null,          // ImageData over the game's RGBA copy in wasm memory
    width: 0,
    height: 0,
    listeners: [],
    stopped: false,
    firstPresentMs: -1,
    presents: 0,

    // Web Audio. The context is made at the first key or click: browsers
    // start audio only after a gesture, and until then the game is silent.
    audio: null,
    limiter: null,
    effectGain: null,
    sounds: {},            // url -> {bytes, buffer, stamp, checkedMs, loading, waiting}
    playing: {},           // url -> [{source, gain, startedMs, ended}], oldest first
    music: {url: null, wanted: false, source: null, endsPending: 0},
    counts: {effectStarts: 0, effectsSilent: 0, effectsInPhase: 0, musicPlays: 0, musicEnds: 0},
    startsByFile: {},      // file name -> effect starts heard

    // The desktop's way of keeping many effects clean: a start of an effect
    // that began less than inPhaseMs ago adds nothing (in phase, it would only
    // double the amplitude); at most copiesPerEffect copies of one effect
    // sound together, a further start fading the oldest out; effects play at
    // three quarters, and a limiter keeps the sum under full scale.
    inPhaseMs: 8,
    copiesPerEffect: 4,
    stealFadeSeconds: 0.02,
    effectVolume: 0.75,
    // A file is asked for again at most this often, so an edited file is
    // heard without fetching it at every explosion.
    recheckMs: 1000,

    listen: function(target, type, handler, options) {
      target.addEventListener(type, handler, options);
      PelmaricWeb.listeners.push([target, type, handler, options]);
    },

    // Canvas pixels per CSS pixel is a whole number: each game pixel becomes
    // k x k screen pixels, k the screen's density rounded down (at least 1).
    fitCanvas: function() {
      var density = window.devicePixelRatio || 1;
      var k = Math.max(1, Math.floor(density));
      PelmaricWeb.canvas.style.width = (PelmaricWeb.width * k / density) + 'px';
      PelmaricWeb.canvas.style.height = (PelmaricWeb.height * k / density) + 'px';
    },

    // A pointer event's position in game pixels, fractions kept.
    gamePosition: function(e) {
      var box = PelmaricWeb.canvas.getBoundingClientRect();
      return [(e.clientX - box.left) * PelmaricWeb.width / box.width,
              (e.clientY - box.top) * PelmaricWeb.height / box.height];
    },

    shiftState: function(e) {
      return (e.shiftKey ? 1 : 0) | (e.ctrlKey ? 2 : 0) | (e.altKey ? 4 : 0);
    },

    // ---- Audio ----

    gesture: function() {
      if (PelmaricWeb.stopped)
        return;
      if (!PelmaricWeb.audio) {
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context)
          return;
        var audio = new Context();
        PelmaricWeb.audio = audio;
        PelmaricWeb.limiter = audio.createDynamicsCompressor();
        PelmaricWeb.limiter.threshold.value = -0.3;   // 0.97 of full scale
        PelmaricWeb.limiter.knee.value = 0;
        PelmaricWeb.limiter.ratio.value = 20;
        PelmaricWeb.limiter.attack.value = 0;
        PelmaricWeb.limiter.release.value = 0.15;
        PelmaricWeb.limiter.connect(audio.destination);
        PelmaricWeb.effectGain = audio.createGain();
        PelmaricWeb.effectGain.gain.value = PelmaricWeb.effectVolume;
        PelmaricWeb.effectGain.connect(PelmaricWeb.limiter);
        audio.onstatechange = function() { PelmaricWeb.startMusicIfDue(); };
      }
      // A page closed (Esc) before the resume completes rejects it: nothing to report.
      if (PelmaricWeb.audio.state === 'suspended')
        PelmaricWeb.audio.resume().catch(function() {});
      PelmaricWeb.startMusicIfDue();
    },

    audible: function() {
      return PelmaricWeb.audio !== null && PelmaricWeb.audio.state === 'running';
    },

    // What tells one version of a file from the next.
    stampOf: function(response) {
      var h = response.headers;
      return [h.get('Last-Modified'), h.get('ETag'), h.get('Content-Length')].join('|');
    },

    // Calls then(buffer) with the decoded file at `url` (null when missing or
    // broken): at once when it is known and was checked recently, else after
    // asking the server, which answers "not modified" for an unchanged file,
    // so a decoded file is kept until the file itself changes.
    withSound: function(url, then) {
      var s = PelmaricWeb.sounds[url];
      if (!s)
        s = PelmaricWeb.sounds[url] = {bytes: null, buffer: null, stamp: null, checkedMs: -Infinity, loading: false, waiting: []};
      if (s.loading) {
        // Asking again whether a known file changed: the known version plays meanwhile.
        if (s.buffer)
          then(s.buffer);
        else
          s.waiting.push(then);
        return;
      }
      if (performance.now() - s.checkedMs < PelmaricWeb.recheckMs) {
        if (s.buffer) {
          then(s.buffer);
        } else if (s.bytes && PelmaricWeb.audio) {
          s.waiting.push(then);
          PelmaricWeb.decode(s);
        } else {
          then(null);   // missing, broken, or no audio yet to decode it with
        }
        return;
      }
      // The version known plays at once; a changed file is heard from the next start.
      if (s.buffer)
        then(s.buffer);
      else
        s.waiting.push(then);
      s.loading = true;
      s.checkedMs = performance.now();
      fetch(url, {cache: 'no-cache'}).then(function(response) {
        if (!response.ok)
          throw new Error(url + ': ' + response.status);
        var stamp = PelmaricWeb.stampOf(response);
        if (stamp === s.stamp)
          return null;
        s.stamp = stamp;
        s.buffer = null;
        return response.arrayBuffer().then(function(bytes) { s.bytes = bytes; });
      }).then(function() {
        s.loading = false;
        if (!(s.bytes && PelmaricWeb.audio && PelmaricWeb.decode(s)))
          PelmaricWeb.release(s, s.buffer);
      }).catch(function() {
        s.loading = false;
        s.bytes = null;
        s.buffer = null;
        s.stamp = null;
        PelmaricWeb.release(s, null);
      });
    },

    // Decodes a file's fetched bytes; they are given up to the decoder. Returns true.
    decode: function(s) {
      var bytes = s.bytes;
      s.bytes = null;
      s.loading = true;
      PelmaricWeb.audio.decodeAudioData(bytes, function(buffer) {
        s.loading = false;
        s.buffer = buffer;
        PelmaricWeb.release(s, buffer);
      }, function() {
        s.loading = false;
        s.buffer = null;
        PelmaricWeb.release(s, null);
      });
      return true;
    },

    release: function(s, buffer) {
      var waiting = s.waiting;
      s.waiting = [];
      waiting.forEach(function(then) { then(buffer); });
    },

    startEffect: function(url, buffer) {
      if (!buffer || !PelmaricWeb.audible())
        return;
      var now = performance.now();
      var copies = (PelmaricWeb.playing[url] || []).filter(function(c) { return !c.ended; });
      PelmaricWeb.playing[url] = copies;
      if (copies.length > 0 && now - copies[copies.length - 1].startedMs < PelmaricWeb.inPhaseMs) {
        PelmaricWeb.counts.effectsInPhase++;
        return;
      }
      if (copies.length >= PelmaricWeb.copiesPerEffect) {
        var oldest = copies.shift();
        var t = PelmaricWeb.audio.currentTime;
        oldest.gain.gain.setValueAtTime(oldest.gain.gain.value, t);
        oldest.gain.gain.linearRampToValueAtTime(0, t + PelmaricWeb.stealFadeSeconds);
        oldest.source.stop(t + PelmaricWeb.stealFadeSeconds);
      }
      var copy = {source: PelmaricWeb.audio.createBufferSource(), gain: PelmaricWeb.audio.createGain(), startedMs: now, ended: false};
      copy.source.buffer = buffer;
      copy.source.connect(copy.gain);
      copy.gain.connect(PelmaricWeb.effectGain);
      copy.source.onended = function() { copy.ended = true; copy.gain.disconnect(); };
      copy.source.start();
      copies.push(copy);
      PelmaricWeb.counts.effectStarts++;
      var name = url.substring(url.lastIndexOf('/') + 1);
      PelmaricWeb.startsByFile[name] = (PelmaricWeb.startsByFile[name] || 0) + 1;
    },

    startMusicIfDue: function() {
      var m = PelmaricWeb.music;
      if (!m.wanted || m.source || !m.url || !PelmaricWeb.audible())
        return;
      var url = m.url;
      PelmaricWeb.withSound(url, function(buffer) {
        if (!buffer || !m.wanted || m.source || m.url !== url || !PelmaricWeb.audible())
          return;
        var source = PelmaricWeb.audio.createBufferSource();
        source.buffer = buffer;
        source.connect(PelmaricWeb.limiter);
        source.onended = function() {
          if (m.source !== source)
            return;
          m.source = null;
          m.wanted = false;
          m.endsPending++;
          PelmaricWeb.counts.musicEnds++;
        };
        m.source = source;
        source.start();
        PelmaricWeb.counts.musicPlays++;
      });
    },

    stopMusic: function() {
      var m = PelmaricWeb.music;
      m.wanted = false;
      if (m.source) {
        var source = m.source;
        m.source = null;
        source.onended = null;
        source.stop();
      }
    },

    // The page's read-only view of the game, window.PelmaricWeb.
    publish: function() {
      var view = {};
      var counters = {
        frames: function() { return _web_frame_count() >>> 0; },
        presents: function() { return PelmaricWeb.presents; },
        firstPresentMs: function() { return PelmaricWeb.firstPresentMs; },
        pointerHidden: function() { return PelmaricWeb.canvas.style.cursor === 'none'; },
        stopped: function() { return PelmaricWeb.stopped; },
        audioState: function() { return PelmaricWeb.audio ? PelmaricWeb.audio.state : 'none'; },
        musicPlaying: function() { return PelmaricWeb.music.source !== null; },
        effectStartsByFile: function() { return Object.assign({}, PelmaricWeb.startsByFile); },
      };
      Object.keys(PelmaricWeb.counts).forEach(function(name) {
        counters[name] = function() { return PelmaricWeb.counts[name]; };
      });
      Object.keys(counters).forEach(function(name) {
        Object.defineProperty(view, name, {get: counters[name], enumerable: true});
      });
      window['pelmaric'] = Object.freeze(view);
    },
  },

  web_page_start__deps: ['$PelmaricWeb'],
  web_page_start: function(width, height) {
    var canvas = document.getElementById('screen');
    canvas.width = width;
    canvas.height = height;
    PelmaricWeb.canvas = canvas;
    PelmaricWeb.width = width;
    PelmaricWeb.height = height;
    PelmaricWeb.context2d = canvas.getContext('2d', {alpha: false});
    PelmaricWeb.fitCanvas();
    PelmaricWeb.listen(window, 'resize', PelmaricWeb.fitCanvas);
    PelmaricWeb.listen(canvas, 'mousemove', function(e) {
      var p = PelmaricWeb.gamePosition(e);
      _web_post_mouse(0, 0, PelmaricWeb.shiftState(e), p[0], p[1]);
    });
    PelmaricWeb.listen(canvas, 'mousedown', function(e) {
      var p = PelmaricWeb.gamePosition(e);
      var code = e.button === 0 ? 1 : e.button === 2 ? 2 : e.button === 1 ? 4 : 0;
      _web_post_mouse(1, code, PelmaricWeb.shiftState(e), p[0], p[1]);
    });
    // Audio may start in the handler of the first key or click.
    PelmaricWeb.listen(window, 'keydown', PelmaricWeb.gesture, true);
    PelmaricWeb.listen(window, 'mousedown', PelmaricWeb.gesture, true);
    PelmaricWeb.listen(window, 'touchend', PelmaricWeb.gesture, true);
    PelmaricWeb.publish();
  },

  web_page_put__deps: ['$PelmaricWeb'],
  web_page_put: function(rgba, rects, count, onePut) {
    var p = PelmaricWeb;
    if (!p.image || p.image.data.buffer !== HEAPU8.buffer || p.image.data.byteOffset !== rgba)
      p.image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, p.width * p.height * 4), p.width, p.height);
    var r = rects >> 2;
    if (onePut) {
      var x0 = p.width, y0 = p.height, x1 = 0, y1 = 0;
      for (var i = 0; i < count; ++i, r += 4) {
        x0 = Math.min(x0, HEAP32[r]);
        y0 = Math.min(y0, HEAP32[r + 1]);
        x1 = Math.max(x1, HEAP32[r] + HEAP32[r + 2]);
        y1 = Math.max(y1, HEAP32[r + 1] + HEAP32[r + 3]);
      }
      p.context2d.putImageData(p.image, 0, 0, x0, y0, x1 - x0, y1 - y0);
    } else {
      for (var j = 0; j < count; ++j, r += 4)
        p.context2d.putImageData(p.image, 0, 0, HEAP32[r], HEAP32[r + 1], HEAP32[r + 2], HEAP32[r + 3]);
    }
    p.presents++;
    if (p.firstPresentMs < 0)
      p.firstPresentMs = performance.now();
  },

  web_page_hide_pointer__deps: ['$PelmaricWeb'],
  web_page_hide_pointer: function(hidden) {
    PelmaricWeb.canvas.style.cursor = hidden ? 'none' : '';
  },

  web_page_stop__deps: ['$PelmaricWeb'],
  web_page_stop: function() {
    PelmaricWeb.stopped = true;
    PelmaricWeb.listeners.forEach(function(l) { l[0].removeEventListener(l[1], l[2], l[3]); });
    PelmaricWeb.listeners = [];
    PelmaricWeb.stopMusic();
    if (PelmaricWeb.audio)
      PelmaricWeb.audio.close().catch(function() {});
  },

  web_audio_effect__deps: ['$PelmaricWeb'],
  web_audio_effect: function(path) {
    if (!PelmaricWeb.audible()) {
      PelmaricWeb.counts.effectsSilent++;
      return;
    }
    var url = UTF8ToString(path);
    PelmaricWeb.withSound(url, function(buffer) { PelmaricWeb.startEffect(url, buffer); });
  },

  web_audio_music_load__deps: ['$PelmaricWeb'],
  web_audio_music_load: function(path) {
    PelmaricWeb.music.url = UTF8ToString(path);
    // Fetched now, decoded once audio may start.
    PelmaricWeb.withSound(PelmaricWeb.music.url, function() {});
  },

  web_audio_music_play__deps: ['$PelmaricWeb'],
  web_audio_music_play: function() {
    PelmaricWeb.music.wanted = true;
    PelmaricWeb.startMusicIfDue();
  },

  web_audio_music_stop__deps: ['$PelmaricWeb'],
  web_audio_music_stop: function() {
    PelmaricWeb.stopMusic();
  },

  web_audio_music_ended__deps: ['$PelmaricWeb'],
  web_audio_music_ended: function() {
    if (PelmaricWeb.music.endsPending === 0)
      return 0;
    PelmaricWeb.music.endsPending--;
    return 1;
  },
};

mergeInto(LibraryManager.library, LibraryPelmaricWeb);
