// web_page.js -- the page side of the browser backend: canvas, layout, input (keys, mouse, touch, pads).
//
// Emscripten emits this library at the top level of its script, so its state
// lives in PelmaricWeb, a name of its own beside the page's window.pelmaric.
// Linked with --js-library, as is its sound (web_audio.js); the C++ side is
// web_backend.cpp, and web_page.h lists every crossing. The page can read a few counters as
// window.pelmaric (frames, audio starts, ...): the game shows no text, so
// this is how its tests and measurements see it run.

var LibraryPelmaricWeb = {
  $PelmaricWeb__postset: 'PelmaricWeb.preparePage();',
  $PelmaricWeb__deps: ['$PelmaricAudio', '$PelmaricReplay'],
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
    paused: false,       // the pause screen shows (the game holds between two frames)
    padStarted: false,   // a gamepad's button started the game: no gesture to the browser

    shownW: 800,         // the canvas's size in device pixels, as web_scale_fit laid it out
    shownH: 600,
    // A fitted picture is shown sharp and even: #sharp holds it enlarged by
    // a whole factor (nearest neighbour), and the browser filters that down
    // to the canvas's size, blending only the seams between game pixels.
    // Below half size the browser's filter takes in only some game pixels
    // and a one-pixel dot can vanish, so the picture is first halved (each
    // halving averages 2 x 2, losing none) until what is left is at least half.
    // A worker draws #sharp (web/sharp_worker.js): producing the enlarged
    // layer on this thread took most of a slow phone's frame.
    sharp: null,
    sharpWorker: null,   // null until the first fitted picture; false where it cannot run
    sharpReads: [],      // readSharp's promises, answered in turn
    sharpRows: [],       // buffers the worker has emptied, to carry the next changes
    sharpFactor: 0,
    halvings: 0,
    padGap: 8,           // CSS px between the canvas and the launch pads
    padRowHeight: 64,    // the pads in a row below the canvas
    padColumnWidth: 96,  // or in a column beside it
    // The launch pads, left to right, and which each finger (or 'mouse')
    // holds; what a pad does, and its repeat, is the game pads' rule (platform/core/pad.cpp).
    pads: [],
    heldPads: {},        // touch identifier or 'mouse' -> the pad element it holds
    aimTouch: null,      // the identifier of the finger that aims

    listen: function(target, type, handler, options) {
      target.addEventListener(type, handler, options);
      PelmaricWeb.listeners.push([target, type, handler, options]);
    },

    // The canvas's size in CSS px for a space of w x h CSS px, by the
    // desktop's rule (web_scale_fit): a whole number of device pixels per
    // game pixel when that fills enough of the space, else exactly the space.
    // The last space asked about is the one the pointer goes through. Until
    // the game has loaded, the start screen fills the space exactly.
    canvasScale: function(w, h) {
      var p = PelmaricWeb, density = window.devicePixelRatio || 1;
      if (p.state === 'loading')
        return Math.max(0, Math.min(w / p.width, h / p.height));
      var device = function(v) { return Math.max(0, Math.floor(v * density + 1e-6)); };
      p.shownW = _web_scale_fit(device(w), device(h));
      p.shownH = _web_scale_height();
      p.sharpFactor = _web_scale_sharp_factor();
      p.halvings = _web_scale_halvings();
      return p.shownW / density / p.width;
    },

    // Brings #sharp to the layout's factor (none at a whole factor) and
    // hands its worker the whole picture. Where no worker can draw it, the
    // canvas shows itself.
    fitSharp: function() {
      var p = PelmaricWeb, k = p.state === 'loading' ? 0 : p.sharpFactor;
      if (k > 0 && p.context2d && p.sharpWorker === null)
        p.startSharpWorker();
      document.getElementById('stage').classList.toggle('sharp', k > 0 && p.sharpWorker !== false);
      if (k === 0 || !p.context2d || !p.sharpWorker)
        return;
      var picture = p.context2d.getImageData(0, 0, p.width, p.height);
      p.sharpWorker.postMessage({fit: [k, p.halvings], picture: picture}, [picture.data.buffer]);
    },

    startSharpWorker: function() {
      var p = PelmaricWeb;
      p.sharpWorker = false;
      if (!p.sharp.transferControlToOffscreen || typeof Worker === 'undefined')
        return;
      var worker = new Worker(window['pelmaricAddress'] ? window['pelmaricAddress']('sharp_worker.js') : 'sharp_worker.js');
      var canvas = p.sharp.transferControlToOffscreen();
      worker.postMessage({canvas: canvas}, [canvas]);
      worker.onmessage = function(e) {
        if (e.data.rows)
          p.sharpRows.push(e.data.rows);
        else
          p.sharpReads.shift()(e.data.pixels);
      };
      // A worker that fails to load leaves the canvas to show the picture.
      worker.onerror = function() {
        p.sharpWorker = false;
        document.getElementById('stage').classList.remove('sharp');
        p.sharpReads.splice(0).forEach(function(resolve) { resolve(null); });
      };
      p.sharpWorker = worker;
    },

    // #sharp's pixels (an ImageData, or null without the layer) once the
    // worker has drawn every picture sent so far: for the page's tests.
    readSharp: function() {
      var p = PelmaricWeb;
      if (!p.sharpWorker)
        return Promise.resolve(null);
      return new Promise(function(resolve) {
        p.sharpReads.push(resolve);
        p.sharpWorker.postMessage({read: true});
      });
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
      var scale = !touch ? p.canvasScale(w, h) : beside > below ? p.canvasScale(w - p.padColumnWidth - p.padGap, h)
                                                                : p.canvasScale(w, h - p.padRowHeight - p.padGap);
      var density = window.devicePixelRatio || 1;
      var cw = p.state === 'loading' ? p.width * scale : p.shownW / density;
      var ch = p.state === 'loading' ? p.height * scale : p.shownH / density;
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
      p.fitSharp();
      p.fits++;
    },

    place: function(element, x, y, w, h) {
      element.style.left = x + 'px';
      element.style.top = y + 'px';
      element.style.width = w + 'px';
      element.style.height = h + 'px';
    },

    // A pointer event's or a touch's place on the canvas in device pixels,
    // fractions kept (the canvas's corner lies on a device pixel: fitCanvas
    // snaps it; the rounding drops what the CSS px arithmetic adds).
    canvasPosition: function(e) {
      var box = PelmaricWeb.canvas.getBoundingClientRect(), density = window.devicePixelRatio || 1;
      var device = function(v) { return Math.round(v * density * 1e6) / 1e6; };
      return [device(e.clientX - box.left), device(e.clientY - box.top)];
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
        p.fitCanvas();
        if (p.startWanted || document.body.dataset.start === 'load')
          p.begin();
      };
      // Only the loading can fail before the game runs: the script is here, so the WebAssembly is not.
      Module['onAbort'] = function() {
        if (p.state === 'loading')
          window['pelmaricFailed']('pelmaric.wasm');
      };
      p.canvas = document.getElementById('screen');
      p.sharp = document.getElementById('sharp');
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
          if (e.target.closest && e.target.closest('.replay-control'))
            return;   // choosing a replay (web_replay.js)
          p.begin();
        }
        PelmaricAudio.gesture();
      };
      window.addEventListener('keydown', gesture, true);
      window.addEventListener('mousedown', gesture, true);
      window.addEventListener('touchend', gesture, true);

      // Keys that would scroll the page stay with it until the game ends; the
      // game's own keys are kept from the browser by web_backend.cpp.
      window.addEventListener('keydown', function(e) {
        // Esc leaves fullscreen, as the browser's own Esc does (web_backend.cpp passes it over).
        if (e.key === 'Escape' && document.fullscreenElement)
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
        if (!e.target.closest || !e.target.closest('button:not(.pad), .replay-control'))
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

      // The game pauses by itself when nobody can see or play it: another
      // tab in front, another window, the phone's screen off. Only the
      // player plays on.
      document.addEventListener('visibilitychange', function() {
        if (document.hidden)
          p.pause();
      });
      window.addEventListener('pagehide', p.pause);
      window.addEventListener('blur', p.pause);
      document.getElementById('pause').addEventListener('click', function(e) { e.currentTarget.blur(); p.pause(); });
      // A click or tap anywhere on the pause screen plays on, but for its other buttons.
      var paused = document.getElementById('paused');
      paused.addEventListener('click', function(e) {
        if (!e.target.closest('#endgame')) p.playOn();
      });
      paused.addEventListener('touchend', function(e) {
        if (!e.target.closest('#endgame')) {
          e.preventDefault();
          p.playOn();
        }
      });
      document.getElementById('endgame').addEventListener('click', function() { _web_end_game(); });
      document.getElementById('sound').addEventListener('click', p.soundButton);
      PelmaricAudio.onStateChange = p.showSoundState;

      p.publish();
      p.watchPadsForStart();
      p.watchWorker();
    },

    // Space, PageUp, PageDown, End, Home and the arrows.
    scrollKeys: [32, 33, 34, 35, 36, 37, 38, 39, 40],

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
      var args = PelmaricReplay.startArguments(); // a replay to watch, or a new game
      if (args === null)
        return;
      p.setState('playing');
      document.getElementById('start').hidden = true;
      callMain(args);
    },

    // The page's ways to pause (its button, going out of sight or focus) and
    // to play on; the game's own keys and pads ask in web_backend.cpp, and the
    // game tells the page (web_page_pause) whoever asked.
    pause: function() {
      var p = PelmaricWeb;
      if (p.state !== 'playing' || p.stopped || p.paused)
        return;
      _web_pause();
      p.showPause(true);
    },

    playOn: function() {
      var p = PelmaricWeb;
      if (!p.paused)
        return;
      _web_play_on();
      p.showPause(false);
    },

    showPause: function(paused) {
      var p = PelmaricWeb;
      if (p.stopped || paused === p.paused)
        return;
      p.paused = paused;
      document.getElementById('paused').hidden = !paused;
      if (paused)
        Object.keys(p.heldPads).forEach(p.padUp);
      PelmaricAudio.hold(paused);
      p.showSoundState();
    },

    // The sound button switches the sound; where the browser held it back
    // (a game started by a gamepad), it starts it: a click is a gesture.
    soundButton: function(e) {
      var a = PelmaricAudio;
      e.currentTarget.blur();
      if (PelmaricWeb.state === 'playing' && !a.held && !(a.audio && a.audio.state === 'running')) {
        if (!a.soundOn)
          a.switchSound();
        a.gesture();
      } else {
        a.switchSound();
      }
      PelmaricWeb.showSoundState();
    },

    // The sound button's word, and the line that says the browser holds the sound back.
    showSoundState: function() {
      var p = PelmaricWeb, a = PelmaricAudio;
      var running = !!a.audio && a.audio.state === 'running';
      document.getElementById('sound').textContent = a.soundOn && (running || a.held) ? 'Sound off' : 'Sound on';
      document.getElementById('soundheld').hidden =
        !(p.state === 'playing' && p.padStarted && !p.stopped && !p.paused && !running);
    },

    enterFullscreen: function() {
      var game = document.getElementById('game');
      if (!document.fullscreenElement && game.requestFullscreen)
        game.requestFullscreen().catch(function() {});
    },

    // The crosshair to the game pixel shown at (x, y), device pixels on the
    // canvas: from the mouse (e its event) or a finger.
    moveAim: function(x, y, e) {
      var p = PelmaricWeb;
      if (p.state === 'playing' && !p.stopped && !p.paused)
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
          if (p.aimTouch === t.identifier) {
            p.aimTouch = null;
            document.getElementById('reticle').hidden = true;
          }
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
          // A finger just past the picture's edge aims at the edge.
          var at = p.canvasPosition(t);
          var x = Math.min(Math.max(at[0], 0), p.shownW - 0.5), y = Math.min(Math.max(at[1], 0), p.shownH - 0.5);
          p.moveAim(x, y, e);
          // The finger covers the crosshair: a reticle on its own layer shows where it aims.
          if (p.state === 'playing' && !p.stopped) {
            var reticle = document.getElementById('reticle'), density = window.devicePixelRatio || 1;
            reticle.style.left = x / density + 'px';
            reticle.style.top = y / density + 'px';
            reticle.hidden = false;
          }
        }
      }
    },

    // A pad is down while any finger (or the mouse) holds it; the game hears
    // when the first one presses it and when the last one lets go.
    padDown: function(id, pad) {
      var p = PelmaricWeb;
      if (p.state !== 'playing' || p.stopped || p.paused || p.heldPads[id])
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

    // A pad object without buttons (a browser's or a script's fault) presses nothing.
    pressed: function(pad, button) {
      var b = pad.buttons && pad.buttons[button];
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
          try {
            if (pads[i])
              document.getElementById('padgo').hidden = false;
            for (var b = 0; pads[i] && b < pads[i].buttons.length; ++b) {
              if (p.pressed(pads[i], b)) {
                // No gesture to the browser: the sound may stay held back (showSoundState says so).
                p.padStarted = true;
                PelmaricAudio.gesture();
                p.begin();
                setTimeout(p.showSoundState, 500);
              }
            }
          } catch (e) {
            // A pad object the browser (or a script) got wrong is passed over.
          }
        }
        requestAnimationFrame(look);
      };
      requestAnimationFrame(look);
    },

    // On the end screen a gamepad's South or Start presses "Play again": a
    // press begun there, not the Start still held from Back + Start.
    watchPadsForAgain: function() {
      var p = PelmaricWeb;
      var was = {};
      var look = function() {
        var pads = p.gamepadList();
        for (var i = 0; i < pads.length; ++i) {
          for (var j = 0; pads[i] && j < p.againButtons.length; ++j) {
            var key = i + ':' + p.againButtons[j], now = p.pressed(pads[i], p.againButtons[j]);
            if (now && was[key] === false) {
              document.getElementById('again').click();
              return;
            }
            was[key] = now;
          }
        }
        requestAnimationFrame(look);
      };
      look();
    },
    againButtons: [0, 9],   // South and Start in the standard layout

    // Once a game frame (web_backend.cpp's plat_process_events): hands each
    // listed gamepad's left stick and buttons (a bit each, in the standard
    // layout's order; the first 31, of its 17) to the game's pad rules.
    readGamepads: function() {
      var p = PelmaricWeb;
      var pads = p.gamepadList();
      for (var i = 0; i < pads.length; ++i) {
        var pad = pads[i];
        if (!pad || pad.connected === false)
          continue;
        // A malformed pad (no buttons or axes, a getter that throws) is
        // passed over, as if not listed: it must not stop the game's frame.
        try {
          var buttons = 0;
          for (var b = 0; b < pad.buttons.length && b < 31; ++b)
            if (p.pressed(pad, b))
              buttons |= 1 << b;
          var x = +pad.axes[0] || 0, y = +pad.axes[1] || 0;
        } catch (e) {
          continue;
        }
        _web_gamepad(i, x, y, buttons);
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

    // The page's read-only view of the game, window.pelmaric.
    publish: function() {
      var view = {};
      var counters = {
        frames: function() { return PelmaricWeb.state === 'playing' || PelmaricWeb.state === 'ended' ? _web_frame_count() >>> 0 : 0; },
        launches: function() { return PelmaricWeb.state === 'playing' || PelmaricWeb.state === 'ended' ? _web_launch_count() >>> 0 : 0; },
        state: function() { return PelmaricWeb.state; },
        fits: function() { return PelmaricWeb.fits; },
        aim: function() { return PelmaricWeb.state === 'playing' || PelmaricWeb.state === 'ended' ? [_web_aim_x(), _web_aim_y()] : [0, 0]; },
        presents: function() { return PelmaricWeb.presents; },
        firstPresentMs: function() { return PelmaricWeb.firstPresentMs; },
        pointerHidden: function() { return PelmaricWeb.canvas.style.cursor === 'none'; },
        stopped: function() { return PelmaricWeb.stopped; },
        paused: function() { return PelmaricWeb.paused; },
      };
      Object.assign(counters, PelmaricAudio.counters());
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
      var p = PelmaricWeb.canvasPosition(e);
      PelmaricWeb.moveAim(p[0], p[1], e);
    });
    PelmaricWeb.listen(canvas, 'mousedown', function(e) {
      var p = PelmaricWeb.canvasPosition(e);
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
    if (p.sharpFactor > 0 && p.sharpWorker) {
      // The worker gets the rows holding every changed rectangle, copied out
      // at once into a buffer it hands back (a new one each frame would keep
      // the collector busy).
      var list = HEAP32.slice(rects >> 2, (rects >> 2) + count * 4), top = p.height, bottom = 0;
      for (var n = 0; n < list.length; n += 4) {
        top = Math.min(top, list[n + 1]);
        bottom = Math.max(bottom, list[n + 1] + list[n + 3]);
      }
      var rows = p.sharpRows.pop() || new ArrayBuffer(p.width * p.height * 4);
      new Uint8Array(rows).set(HEAPU8.subarray(rgba + top * p.width * 4, rgba + bottom * p.width * 4));
      p.sharpWorker.postMessage({rows: rows, y: top, height: bottom - top, rects: list}, [rows, list.buffer]);
    }
    p.presents++;
    if (p.firstPresentMs < 0) {
      p.firstPresentMs = performance.now();
      // What waited for the first picture: the music, then the offline copy,
      // which takes what the page fetched from the browser's cache.
      setTimeout(function() {
        PelmaricAudio.firstPicture();
        PelmaricAudio.quiet(p.registerWorker);
      }, 0);
    }
  },

  web_page_hide_pointer__deps: ['$PelmaricWeb'],
  web_page_hide_pointer: function(hidden) {
    PelmaricWeb.canvas.style.cursor = hidden ? 'none' : '';
  },

  web_page_pause__deps: ['$PelmaricWeb'],
  web_page_pause: function(paused) {
    PelmaricWeb.showPause(!!paused);
  },

  web_page_stop__deps: ['$PelmaricWeb'],
  web_page_stop: function() {
    PelmaricWeb.stopped = true;
    PelmaricWeb.paused = false;
    document.getElementById('paused').hidden = true;
    document.getElementById('soundheld').hidden = true;
    PelmaricWeb.setState('ended');
    Object.keys(PelmaricWeb.heldPads).forEach(PelmaricWeb.padUp);
    document.getElementById('reticle').hidden = true;
    document.getElementById('end').hidden = false;
    document.getElementById('again').focus({preventScroll: true});
    PelmaricWeb.listeners.forEach(function(l) { l[0].removeEventListener(l[1], l[2], l[3]); });
    PelmaricWeb.listeners = [];
    PelmaricAudio.stop();
    PelmaricWeb.watchPadsForAgain();
  },

  web_page_read_gamepads__deps: ['$PelmaricWeb'],
  web_page_read_gamepads: function() {
    PelmaricWeb.readGamepads();
  },

};

mergeInto(LibraryManager.library, LibraryPelmaricWeb);
