// web_library.js -- the page side of the browser backend: canvas, layout, input (keys, mouse, touch, pads) and Web Audio.
//
// Emscripten emits this library at the top level of its script, so its state
// lives in PelmaricWeb, a name of its own beside the page's window.pelmaric.
// Linked with --js-library; the C++ side is web_video.cpp and web_audio.cpp,
// and web_page.h lists every crossing. The page can read a few counters as
// window.pelmaric (frames, audio starts, ...): the game shows no text, so
// this is how its tests and measurements see it run.

var LibraryPelmaricWeb = {
  $PelmaricWeb__postset: 'PelmaricWeb.preparePage();',
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
    fits: 0,

    // The page's course: 'loading' (the script fetches the game), 'ready'
    // (the start screen waits for a gesture), 'playing', 'ended'.
    state: 'loading',
    startWanted: false,

    // The canvas's size: the largest whole number of device pixels per game
    // pixel when it fills at least this share of the space along the side
    // that limits it; else the canvas fits the space exactly.
    wholeFactorShare: 0.85,
    padGap: 8,           // CSS px between the canvas and the launch pads
    padRowHeight: 64,    // the pads in a row below the canvas
    padColumnWidth: 96,  // or in a column beside it
    // The launch pads, left to right, and which each finger (or 'mouse')
    // holds; what a pad does, and its repeat, is the game pads' rule (platform/pad.cpp).
    pads: [],
    heldPads: {},        // touch identifier or 'mouse' -> the pad element it holds
    aimTouch: null,      // the identifier of the finger that aims

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

    // The desktop's way of keeping many effects clean, handed over by the
    // game as it opens (web_audio_start): a start of an effect that began
    // less than inPhaseMs ago adds nothing; at most copiesPerEffect copies of
    // one effect sound together, a further start fading the oldest out over
    // stealFadeSeconds; effects play at effectVolume, and a limiter keeps the
    // sum under `ceiling` of full scale. Null until then: no effect plays.
    mixing: null,

    listen: function(target, type, handler, options) {
      target.addEventListener(type, handler, options);
      PelmaricWeb.listeners.push([target, type, handler, options]);
    },

    // The canvas's size in CSS px for a space of w x h CSS px: k device
    // pixels per game pixel, k whole, when that fills enough of the space
    // (sharp, every game pixel the same size); else exactly the space.
    canvasScale: function(w, h) {
      var density = window.devicePixelRatio || 1;
      var exact = Math.max(0, Math.min(w / PelmaricWeb.width, h / PelmaricWeb.height));
      var k = Math.floor(exact * density);
      return k >= 1 && k >= PelmaricWeb.wholeFactorShare * exact * density ? k / density : exact;
    },

    // Lays the game area out: the help bar at the bottom, the canvas as
    // large as the rest allows, and on a touch screen the pads in a row below
    // the canvas or a column beside it, whichever leaves the canvas larger.
    // Called at start and on every resize, turn and change of fullscreen.
    fitCanvas: function() {
      var p = PelmaricWeb;
      var game = document.getElementById('game');
      var stage = document.getElementById('stage');
      var pads = document.querySelectorAll('.pad');
      var w = game.clientWidth, h = game.clientHeight - document.getElementById('bar').offsetHeight;
      var touch = game.classList.contains('touch');
      var below = touch ? p.canvasScale(w, h - p.padRowHeight - p.padGap) : 0;
      var beside = touch ? p.canvasScale(w - p.padColumnWidth - p.padGap, h) : 0;
      var scale = touch ? Math.max(below, beside) : p.canvasScale(w, h);
      var cw = p.width * scale, ch = p.height * scale;
      var density = window.devicePixelRatio || 1;
      var snap = function(v) { return Math.round(v * density) / density; };
      var x, y;
      if (touch && beside > below) {
        x = snap((w - cw - p.padColumnWidth - p.padGap) / 2);
        y = snap((h - ch) / 2);
        var padH = Math.max(48, Math.min(96, (ch - 2 * p.padGap) / 3));
        for (var i = 0; i < pads.length; ++i)
          p.place(pads[i], x + cw + p.padGap, y + (ch - 3 * padH - 2 * p.padGap) / 2 + i * (padH + p.padGap),
                  p.padColumnWidth, padH);
      } else {
        var rowH = touch ? p.padRowHeight + p.padGap : 0;
        x = snap((w - cw) / 2);
        y = snap((h - ch - rowH) / 2);
        // The pads under the launch points: at the canvas's left edge, centre and right edge.
        var padW = Math.max(48, Math.min(140, (cw - 2 * p.padGap) / 3));
        for (var j = 0; j < pads.length; ++j)
          p.place(pads[j], x + j * (cw - padW) / 2, y + ch + p.padGap, padW, p.padRowHeight);
      }
      p.place(stage, x, y, cw, ch);
      p.fits++;
    },

    place: function(element, x, y, w, h) {
      element.style.left = x + 'px';
      element.style.top = y + 'px';
      element.style.width = w + 'px';
      element.style.height = h + 'px';
    },

    // A pointer event's or a touch's position in game pixels, fractions kept.
    gamePosition: function(e) {
      var box = PelmaricWeb.canvas.getBoundingClientRect();
      return [(e.clientX - box.left) * PelmaricWeb.width / box.width,
              (e.clientY - box.top) * PelmaricWeb.height / box.height];
    },

    // ---- The page around the game ----

    // Runs as the script loads, before the game: lays the page out and waits
    // on the start screen for the first gesture, which runs the game's
    // start-up (so its sound starts with play). The bench page starts at once.
    preparePage: function() {
      var p = PelmaricWeb;
      window['pelmaricScriptRan'] = true;
      Module['noInitialRun'] = true;
      Module['onRuntimeInitialized'] = function() {
        p.setState('ready');
        if (p.startWanted || document.body.dataset.start === 'load')
          p.begin();
      };
      // Only the loading can fail before the game runs: the script is here, so the WebAssembly is not.
      Module['onAbort'] = function() {
        if (p.state === 'loading')
          window['pelmaricFailed']('pelmaric.wasm');
      };
      p.canvas = document.getElementById('screen');
      p.pads = Array.prototype.slice.call(document.querySelectorAll('.pad'));
      p.width = p.canvas.width;
      p.height = p.canvas.height;
      var game = document.getElementById('game');
      if (window.matchMedia && window.matchMedia('(pointer: coarse)').matches)
        game.classList.add('touch');
      p.fitCanvas();
      window.addEventListener('resize', p.fitCanvas);
      document.addEventListener('fullscreenchange', p.fitCanvas);
      if (window.visualViewport)
        window.visualViewport.addEventListener('resize', p.fitCanvas);

      // The first gesture starts the game; audio may start only in one.
      var gesture = function(e) {
        if (p.state === 'loading' || p.state === 'ready') {
          if (e.type === 'keydown' && (e.ctrlKey || e.altKey || e.metaKey || e.key === 'Escape'))
            return;   // a browser shortcut, not a wish to play
          p.begin();
        }
        p.gesture();
      };
      window.addEventListener('keydown', gesture, true);
      window.addEventListener('mousedown', gesture, true);
      window.addEventListener('touchend', gesture, true);

      // Keys that would scroll or find-as-you-type stay with the game while it
      // runs (web_video.cpp says which); before it, the start key is kept too.
      window.addEventListener('keydown', function(e) {
        // Esc leaves fullscreen, as the browser's own Esc does (web_video.cpp passes it over).
        if (e.keyCode === 27 && document.fullscreenElement)
          document.exitFullscreen().catch(function() {});
        if (p.state !== 'ended' && !e.ctrlKey && !e.altKey && !e.metaKey && p.scrollKeys.indexOf(e.keyCode) >= 0)
          e.preventDefault();
      });

      // Touch: no scrolling, zooming, back-swiping, text selection or menus on the game area.
      game.addEventListener('touchstart', function(e) {
        game.classList.add('touch');
        if (p.fits && !game.dataset.padsShown) {
          game.dataset.padsShown = '1';
          p.fitCanvas();
        }
        if (!e.target.closest || !e.target.closest('#again, #fullscreen'))
          e.preventDefault();
        p.touches(e);
      }, {passive: false});
      game.addEventListener('touchmove', function(e) { e.preventDefault(); p.touches(e); }, {passive: false});
      game.addEventListener('touchend', function(e) { p.touches(e); });
      game.addEventListener('touchcancel', function(e) { p.touches(e); });
      game.addEventListener('contextmenu', function(e) { e.preventDefault(); });

      // A pad also answers a mouse, for touch laptops used either way.
      p.pads.forEach(function(pad) {
        pad.addEventListener('mousedown', function(e) { e.preventDefault(); p.padDown('mouse', pad); });
      });
      window.addEventListener('mouseup', function() { p.padUp('mouse'); });

      var fullscreen = document.getElementById('fullscreen');
      fullscreen.addEventListener('click', function() { fullscreen.blur(); p.enterFullscreen(); });
      p.canvas.addEventListener('dblclick', p.enterFullscreen);
      document.getElementById('again').addEventListener('click', function() { location.reload(); });

      p.publish();
      p.watchPadsForStart();
      p.watchWorker();
    },

    // Keys kept from the browser while the game runs: the game's own and
    // Space, PageUp, PageDown, End, Home and the arrows, which would scroll.
    scrollKeys: [27, 32, 33, 34, 35, 36, 37, 38, 39, 40, 65, 68, 83],

    setState: function(state) {
      PelmaricWeb.state = state;
      document.body.dataset.state = state;
    },

    begin: function() {
      var p = PelmaricWeb;
      if (p.state !== 'ready') {
        p.startWanted = p.state === 'loading';
        return;
      }
      p.setState('playing');
      document.getElementById('start').hidden = true;
      callMain([]);
    },

    enterFullscreen: function() {
      var game = document.getElementById('game');
      if (!document.fullscreenElement && game.requestFullscreen)
        game.requestFullscreen().catch(function() {});
    },

    // The crosshair to (x, y), game pixels: from the mouse (e its event) or a finger.
    moveAim: function(x, y, e) {
      var p = PelmaricWeb;
      if (p.state === 'playing' && !p.stopped)
        _web_post_mouse(0, 0, e.shiftKey, e.ctrlKey, e.altKey, x, y);
    },

    // Every finger at once: the first on the canvas aims and drags the
    // crosshair, each on a pad holds that pad.
    touches: function(e) {
      var p = PelmaricWeb;
      var ending = e.type === 'touchend' || e.type === 'touchcancel';
      for (var i = 0; i < e.changedTouches.length; ++i) {
        var t = e.changedTouches[i];
        if (ending) {
          if (p.aimTouch === t.identifier)
            p.aimTouch = null;
          p.padUp(t.identifier);
          continue;
        }
        var pad = e.type === 'touchstart' && t.target.closest ? t.target.closest('.pad') : null;
        if (pad) {
          p.padDown(t.identifier, pad);
        } else if (e.type === 'touchstart' && t.target === p.canvas && p.aimTouch === null) {
          p.aimTouch = t.identifier;
        }
        if (p.aimTouch === t.identifier) {
          var at = p.gamePosition(t);
          p.moveAim(Math.min(Math.max(at[0], 0), p.width - 1), Math.min(Math.max(at[1], 0), p.height - 1), e);
        }
      }
    },

    // A pad is down while any finger (or the mouse) holds it; the game hears
    // when the first one presses it and when the last one lets go.
    padDown: function(id, pad) {
      var p = PelmaricWeb;
      if (p.state !== 'playing' || p.stopped || p.heldPads[id])
        return;
      p.heldPads[id] = pad;
      if (!pad.classList.contains('held')) {
        pad.classList.add('held');
        _web_touch_pad(p.pads.indexOf(pad), 1);
      }
    },

    padUp: function(id) {
      var p = PelmaricWeb;
      var pad = p.heldPads[id];
      if (!pad)
        return;
      delete p.heldPads[id];
      for (var other in p.heldPads)
        if (p.heldPads[other] === pad)
          return;
      pad.classList.remove('held');
      if (!p.stopped)
        _web_touch_pad(p.pads.indexOf(pad), 0);
    },

    // Pads are read only through navigator.getGamepads, never kept.
    gamepadList: function() {
      return (navigator.getGamepads && navigator.getGamepads()) || [];
    },

    pressed: function(pad, button) {
      var b = pad.buttons[button];
      return !!b && (b.pressed || b.value > 0.5);
    },

    // Before play a gamepad's first button press counts as the starting gesture.
    watchPadsForStart: function() {
      var p = PelmaricWeb;
      var look = function() {
        if (p.state !== 'loading' && p.state !== 'ready')
          return;
        var pads = p.gamepadList();
        for (var i = 0; i < pads.length; ++i) {
          for (var b = 0; pads[i] && b < pads[i].buttons.length; ++b) {
            if (p.pressed(pads[i], b)) {
              p.gesture();
              p.begin();
            }
          }
        }
        requestAnimationFrame(look);
      };
      requestAnimationFrame(look);
    },

    // Once a game frame (web_video.cpp's plat_process_events): hands each
    // listed gamepad's left stick and buttons (a bit each, in the standard
    // layout's order; the first 31, of its 17) to the game's pad rules.
    readGamepads: function() {
      var p = PelmaricWeb;
      var pads = p.gamepadList();
      for (var i = 0; i < pads.length; ++i) {
        var pad = pads[i];
        if (!pad || pad.connected === false)
          continue;
        var buttons = 0;
        for (var b = 0; b < pad.buttons.length && b < 31; ++b)
          if (p.pressed(pad, b))
            buttons |= 1 << b;
        _web_gamepad(i, pad.axes[0] || 0, pad.axes[1] || 0, buttons);
      }
    },

    // The service worker keeps the page's files for offline play. A page
    // keeps the version it loaded with; a new version takes over only while
    // no game runs (the start screen, which then reloads), so no game ever
    // mixes files of two builds.
    watchWorker: function() {
      if (!('serviceWorker' in navigator) || !window.isSecureContext)
        return;
      var p = PelmaricWeb;
      var watch = function(registration) {
        if (!registration)
          return;
        var offer = function() {
          if (registration.waiting && navigator.serviceWorker.controller && (p.state === 'loading' || p.state === 'ready'))
            registration.waiting.postMessage('take-over');
        };
        var follow = function() {
          if (registration.installing)
            registration.installing.addEventListener('statechange', offer);
        };
        registration.addEventListener('updatefound', follow);
        follow();
        offer();
        // A worker that finished installing between two of these looks would
        // wait for ever: look again every second while no game runs.
        setInterval(offer, 1000);
      };
      navigator.serviceWorker.addEventListener('controllerchange', function() {
        if (p.state === 'loading' || p.state === 'ready')
          location.reload();
      });
      // A page the worker served asks whether the build changed.
      if (navigator.serviceWorker.controller) {
        navigator.serviceWorker.getRegistration().then(function(registration) {
          watch(registration);
          if (registration)
            registration.update().catch(function() {});
        });
      }
      p.registerWorker = function() {
        navigator.serviceWorker.register('service-worker.js', {updateViaCache: 'none'}).then(watch).catch(function() {});
      };
    },
    registerWorker: function() {},

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
        PelmaricWeb.limiter.knee.value = 0;
        PelmaricWeb.limiter.ratio.value = 20;
        PelmaricWeb.limiter.attack.value = 0;
        PelmaricWeb.limiter.connect(audio.destination);
        PelmaricWeb.effectGain = audio.createGain();
        PelmaricWeb.effectGain.connect(PelmaricWeb.limiter);
        PelmaricWeb.applyMixing();
        audio.onstatechange = function() { PelmaricWeb.startMusicIfDue(); };
      }
      // A page closed (Esc) before the resume completes rejects it: nothing to report.
      if (PelmaricWeb.audio.state === 'suspended')
        PelmaricWeb.audio.resume().catch(function() {});
      PelmaricWeb.startMusicIfDue();
    },

    // Sets the limiter's ceiling and release and the effects' volume from the
    // mixing rules. The audio graph is made at the first gesture, which
    // normally starts the game (and so hands the rules over) just before; a
    // gesture while the game still loads makes the graph first. Whichever
    // comes second calls this with both there.
    applyMixing: function() {
      var m = PelmaricWeb.mixing;
      if (!PelmaricWeb.audio || !m)
        return;
      PelmaricWeb.limiter.threshold.value = 20 * Math.log10(m.ceiling);
      PelmaricWeb.limiter.release.value = m.releaseSeconds;
      PelmaricWeb.effectGain.gain.value = m.effectVolume;
    },

    audible: function() {
      return PelmaricWeb.audio !== null && PelmaricWeb.audio.state === 'running';
    },

    // Calls then(buffer) with the decoded file at `url` (null when missing,
    // broken or too large). Within a visit each file is fetched once, its
    // sound kept; an effect goes through the desktop's checks first
    // (web_audio.cpp), so a huge or overlong file is neither fetched whole nor decoded.
    withSound: function(url, then) {
      var s = PelmaricWeb.sounds[url];
      if (!s) {
        s = PelmaricWeb.sounds[url] = {bytes: null, buffer: null, fetched: false, loading: false, waiting: []};
        s.effect = url !== PelmaricWeb.music.url;
      }
      if (s.buffer) {
        then(s.buffer);
        return;
      }
      s.waiting.push(then);
      if (s.loading)
        return;
      if (s.fetched) {
        if (s.bytes && PelmaricWeb.audio)
          PelmaricWeb.decode(s);
        else
          PelmaricWeb.release(s, null);   // missing, broken, or no audio yet to decode it with
        return;
      }
      s.loading = true;
      fetch(url).then(function(response) {
        if (!response.ok)
          throw new Error(url + ': ' + response.status);
        return s.effect ? PelmaricWeb.readEffect(response) : response.arrayBuffer();
      }).then(function(bytes) {
        s.loading = false;
        s.fetched = true;
        s.bytes = bytes;
        if (bytes && PelmaricWeb.audio)
          PelmaricWeb.decode(s);
        else
          PelmaricWeb.release(s, null);
      }).catch(function() {
        s.loading = false;
        s.fetched = true;
        s.bytes = null;
        PelmaricWeb.release(s, null);
      });
    },

    // An effect's bytes, or null when the file is not one the game plays: more
    // than the largest effect is never read past that size, and the header
    // must pass web_audio.cpp's check (the desktop's) before decoding.
    readEffect: function(response) {
      var most = _web_effect_most_bytes();
      var declared = Number(response.headers.get('Content-Length'));
      if (declared > most || !response.body) {
        if (response.body)
          response.body.cancel().catch(function() {});
        return declared > most ? null : response.arrayBuffer().then(PelmaricWeb.checkEffect);
      }
      var reader = response.body.getReader();
      var chunks = [], total = 0;
      var pump = function() {
        return reader.read().then(function(part) {
          if (part.done) {
            var bytes = new Uint8Array(total);
            for (var i = 0, at = 0; i < chunks.length; at += chunks[i].length, ++i)
              bytes.set(chunks[i], at);
            return PelmaricWeb.checkEffect(bytes.buffer);
          }
          total += part.value.length;
          if (total > most) {
            reader.cancel().catch(function() {});
            return null;
          }
          chunks.push(part.value);
          return pump();
        });
      };
      return pump();
    },

    checkEffect: function(bytes) {
      var head = Math.min(bytes.byteLength, _web_effect_head_size());
      HEAPU8.set(new Uint8Array(bytes, 0, head), _web_effect_head());
      return _web_effect_acceptable(bytes.byteLength, head) ? bytes : null;
    },

    // Decodes a file's fetched bytes, which are given up to the decoder. A
    // file that does not decode is silent, and no error reaches the console.
    decode: function(s) {
      var bytes = s.bytes;
      s.bytes = null;
      s.loading = true;
      var done = function(buffer) {
        s.loading = false;
        s.buffer = buffer;
        PelmaricWeb.release(s, buffer);
      };
      var decoding = PelmaricWeb.audio.decodeAudioData(bytes, done, function() { done(null); });
      if (decoding && decoding.catch)
        decoding.catch(function() {});
    },

    release: function(s, buffer) {
      var waiting = s.waiting;
      s.waiting = [];
      waiting.forEach(function(then) { then(buffer); });
    },

    startEffect: function(url, buffer) {
      var m = PelmaricWeb.mixing;
      if (!buffer || !m || !PelmaricWeb.audible())
        return;
      var now = performance.now();
      var copies = (PelmaricWeb.playing[url] || []).filter(function(c) { return !c.ended; });
      PelmaricWeb.playing[url] = copies;
      if (copies.length > 0 && now - copies[copies.length - 1].startedMs < m.inPhaseMs) {
        PelmaricWeb.counts.effectsInPhase++;
        return;
      }
      if (copies.length >= m.copiesPerEffect) {
        var oldest = copies.shift();
        var t = PelmaricWeb.audio.currentTime;
        oldest.gain.gain.setValueAtTime(oldest.gain.gain.value, t);
        oldest.gain.gain.linearRampToValueAtTime(0, t + m.stealFadeSeconds);
        oldest.source.stop(t + m.stealFadeSeconds);
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

    // The music is fetched once the game's first picture shows, never before it.
    startMusicIfDue: function() {
      var m = PelmaricWeb.music;
      if (!m.wanted || m.source || !m.url || !PelmaricWeb.audible() || PelmaricWeb.firstPresentMs < 0)
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
        frames: function() { return PelmaricWeb.state === 'playing' || PelmaricWeb.state === 'ended' ? _web_frame_count() >>> 0 : 0; },
        state: function() { return PelmaricWeb.state; },
        fits: function() { return PelmaricWeb.fits; },
        aim: function() { return PelmaricWeb.state === 'playing' || PelmaricWeb.state === 'ended' ? [_web_aim_x(), _web_aim_y()] : [0, 0]; },
        presents: function() { return PelmaricWeb.presents; },
        firstPresentMs: function() { return PelmaricWeb.firstPresentMs; },
        pointerHidden: function() { return PelmaricWeb.canvas.style.cursor === 'none'; },
        soundsFetched: function() {
          return Object.keys(PelmaricWeb.sounds).filter(function(url) { return PelmaricWeb.sounds[url].fetched; });
        },
        stopped: function() { return PelmaricWeb.stopped; },
        audioState: function() { return PelmaricWeb.audio ? PelmaricWeb.audio.state : 'none'; },
        musicPlaying: function() { return PelmaricWeb.music.source !== null; },
        effectStartsByFile: function() { return Object.assign({}, PelmaricWeb.startsByFile); },
        // The mixing rules as handed over, and what the audio graph was set to from them.
        mixing: function() {
          var p = PelmaricWeb;
          if (!p.mixing)
            return null;
          var graph = p.audio ? {threshold: p.limiter.threshold.value, release: p.limiter.release.value,
                                 effectVolume: p.effectGain.gain.value} : null;
          return Object.assign({graph: graph}, p.mixing);
        },
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

  // The page was prepared as the script loaded (preparePage); the game now
  // opens its window: the canvas gets its context and the mouse its listeners.
  web_page_start__deps: ['$PelmaricWeb'],
  web_page_start: function(width, height) {
    var canvas = PelmaricWeb.canvas;
    canvas.width = width;
    canvas.height = height;
    PelmaricWeb.width = width;
    PelmaricWeb.height = height;
    PelmaricWeb.context2d = canvas.getContext('2d', {alpha: false});
    PelmaricWeb.fitCanvas();
    PelmaricWeb.listen(canvas, 'mousemove', function(e) {
      var p = PelmaricWeb.gamePosition(e);
      PelmaricWeb.moveAim(p[0], p[1], e);
    });
    PelmaricWeb.listen(canvas, 'mousedown', function(e) {
      var p = PelmaricWeb.gamePosition(e);
      _web_post_mouse(1, e.button, e.shiftKey, e.ctrlKey, e.altKey, p[0], p[1]);
    });
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
    if (p.firstPresentMs < 0) {
      p.firstPresentMs = performance.now();
      // What waited for the first picture: the music and the offline copy.
      setTimeout(function() {
        p.startMusicIfDue();
        p.registerWorker();
      }, 0);
    }
  },

  web_page_hide_pointer__deps: ['$PelmaricWeb'],
  web_page_hide_pointer: function(hidden) {
    PelmaricWeb.canvas.style.cursor = hidden ? 'none' : '';
  },

  web_page_stop__deps: ['$PelmaricWeb'],
  web_page_stop: function() {
    PelmaricWeb.stopped = true;
    PelmaricWeb.setState('ended');
    Object.keys(PelmaricWeb.heldPads).forEach(PelmaricWeb.padUp);
    document.getElementById('end').hidden = false;
    document.getElementById('again').focus({preventScroll: true});
    PelmaricWeb.listeners.forEach(function(l) { l[0].removeEventListener(l[1], l[2], l[3]); });
    PelmaricWeb.listeners = [];
    PelmaricWeb.stopMusic();
    if (PelmaricWeb.audio)
      PelmaricWeb.audio.close().catch(function() {});
  },

  web_page_read_gamepads__deps: ['$PelmaricWeb'],
  web_page_read_gamepads: function() {
    PelmaricWeb.readGamepads();
  },

  web_audio_start__deps: ['$PelmaricWeb'],
  web_audio_start: function(inPhaseMs, copiesPerEffect, stealFadeMs, effectVolume, ceiling, releaseSeconds) {
    PelmaricWeb.mixing = {inPhaseMs: inPhaseMs, copiesPerEffect: copiesPerEffect, stealFadeSeconds: stealFadeMs / 1000,
                          effectVolume: effectVolume, ceiling: ceiling, releaseSeconds: releaseSeconds};
    PelmaricWeb.applyMixing();
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
    PelmaricWeb.startMusicIfDue();
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
