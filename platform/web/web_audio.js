// web_audio.js -- the page's Web Audio: effects under the desktop's mixing rules, and the music.
//
// Linked with --js-library beside web_page.js; the C++ side is web_audio.cpp,
// and web_page.h lists the crossings. The page (web_page.js) hands over the
// player's gestures, the first picture and the end of the game.

var LibraryPelmaricAudio = {
  $PelmaricAudio: {
    // The context is made at the first key or click: browsers start audio
    // only after a gesture, and until then the game is silent.
    audio: null,
    limiter: null,
    effectGain: null,
    sounds: {},            // url -> {bytes, buffer, fetched, loading, waiting, effect}
    playing: {},           // url -> [{source, gain, startedMs, ended}], oldest first
    music: {url: null, wanted: false, source: null, endsPending: 0},
    counts: {effectStarts: 0, effectsSilent: 0, effectsInPhase: 0, musicPlays: 0, musicEnds: 0},
    startsByFile: {},      // file name -> effect starts heard
    fetching: 0,           // sound files on their way
    whenQuiet: [],         // called once none is

    // The desktop's way of keeping many effects clean, handed over by the
    // game as it opens (web_audio_start): a start of an effect that began
    // less than inPhaseMs ago adds nothing; at most copiesPerEffect copies of
    // one effect sound together, a further start fading the oldest out over
    // stealFadeSeconds; effects play at effectVolume, and a limiter keeps the
    // sum under `ceiling` of full scale. Null until then: no effect plays.
    mixing: null,
    stopped: false,        // the game ended: nothing plays again
    pictureShown: false,   // the game's first picture is on the canvas
    // The player's sound switch (M, the sound button): a last gain behind the
    // limiter, glided so that nothing clicks. A pause (held) suspends the
    // context: music and effects wait where they are.
    master: null,
    soundOn: true,
    held: false,
    onStateChange: function() {},   // the page's, to say when the browser holds the sound back

    // A key, click or touch: the first makes the audio graph; any resumes it.
    gesture: function() {
      if (PelmaricAudio.stopped)
        return;
      if (!PelmaricAudio.audio) {
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context)
          return;
        var audio = new Context();
        PelmaricAudio.audio = audio;
        PelmaricAudio.limiter = audio.createDynamicsCompressor();
        PelmaricAudio.limiter.knee.value = 0;
        PelmaricAudio.limiter.ratio.value = 20;
        PelmaricAudio.limiter.attack.value = 0;
        PelmaricAudio.master = audio.createGain();
        PelmaricAudio.master.gain.value = PelmaricAudio.soundOn ? 1 : 0;
        PelmaricAudio.limiter.connect(PelmaricAudio.master);
        PelmaricAudio.master.connect(audio.destination);
        PelmaricAudio.effectGain = audio.createGain();
        PelmaricAudio.effectGain.connect(PelmaricAudio.limiter);
        PelmaricAudio.applyMixing();
        audio.onstatechange = function() {
          PelmaricAudio.startMusicIfDue();
          PelmaricAudio.onStateChange();
        };
        if (PelmaricAudio.held)
          audio.suspend().catch(function() {});
      }
      // A page closed (Esc) before the resume completes rejects it: nothing to report.
      if (PelmaricAudio.audio.state === 'suspended' && !PelmaricAudio.held)
        PelmaricAudio.audio.resume().catch(function() {});
      PelmaricAudio.startMusicIfDue();
    },

    // The pause: everything waits where it is, and goes on from there.
    hold: function(held) {
      var a = PelmaricAudio;
      a.held = held;
      if (!a.audio || a.stopped)
        return;
      if (held)
        a.audio.suspend().catch(function() {});
      else
        a.audio.resume().catch(function() {});
    },

    switchSound: function() {
      var a = PelmaricAudio;
      a.soundOn = !a.soundOn;
      if (a.master)
        a.master.gain.setTargetAtTime(a.soundOn ? 1 : 0, a.audio.currentTime, 0.005);
      a.onStateChange();
    },

    // Sets the limiter's ceiling and release and the effects' volume from the
    // mixing rules. The audio graph is made at the first gesture, which
    // normally starts the game (and so hands the rules over) just before; a
    // gesture while the game still loads makes the graph first. Whichever
    // comes second calls this with both there.
    applyMixing: function() {
      var m = PelmaricAudio.mixing;
      if (!PelmaricAudio.audio || !m)
        return;
      PelmaricAudio.limiter.threshold.value = 20 * Math.log10(m.ceiling);
      PelmaricAudio.limiter.release.value = m.releaseSeconds;
      PelmaricAudio.effectGain.gain.value = m.effectVolume;
    },

    audible: function() {
      return PelmaricAudio.audio !== null && PelmaricAudio.audio.state === 'running';
    },

    // Calls then(buffer) with the decoded file at `url` (null when missing,
    // broken or too large). Within a visit each file is fetched once, its
    // sound kept; an effect goes through the desktop's checks first
    // (web_audio.cpp), so a huge or overlong file is neither fetched whole nor decoded.
    withSound: function(url, then) {
      var s = PelmaricAudio.sounds[url];
      if (!s) {
        s = PelmaricAudio.sounds[url] = {bytes: null, buffer: null, fetched: false, loading: false, waiting: []};
        s.effect = url !== PelmaricAudio.music.url;
      }
      if (s.buffer) {
        then(s.buffer);
        return;
      }
      s.waiting.push(then);
      if (s.loading)
        return;
      if (s.fetched) {
        if (s.bytes && PelmaricAudio.audio)
          PelmaricAudio.decode(s);
        else
          PelmaricAudio.release(s, null);   // missing, broken, or no audio yet to decode it with
        return;
      }
      s.loading = true;
      PelmaricAudio.fetching++;
      fetch(PelmaricAudio.address(url)).then(function(response) {
        if (!response.ok)
          throw new Error(url + ': ' + response.status);
        return s.effect ? PelmaricAudio.readEffect(response) : response.arrayBuffer();
      }).then(function(bytes) {
        s.loading = false;
        s.fetched = true;
        s.bytes = bytes;
        if (bytes && PelmaricAudio.audio)
          PelmaricAudio.decode(s);
        else
          PelmaricAudio.release(s, null);
      }).catch(function() {
        s.loading = false;
        s.fetched = true;
        s.bytes = null;
        PelmaricAudio.release(s, null);
      }).then(PelmaricAudio.fetched);
    },

    // Where the page fetches a file of its build: at the address that names
    // its contents (page_loader.js), so a page keeps its build's sounds.
    address: function(url) {
      var name = url.replace(/^\.\//, '');
      return window['pelmaricAddress'] ? window['pelmaricAddress'](name) : url;
    },

    fetched: function() {
      if (--PelmaricAudio.fetching > 0)
        return;
      var waiting = PelmaricAudio.whenQuiet;
      PelmaricAudio.whenQuiet = [];
      waiting.forEach(function(then) { then(); });
    },

    // Calls then() once no sound is on its way (the page's service worker
    // then finds in the browser's cache what the page fetched: web_page.js).
    quiet: function(then) {
      if (PelmaricAudio.fetching === 0)
        then();
      else
        PelmaricAudio.whenQuiet.push(then);
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
        return declared > most ? null : response.arrayBuffer().then(PelmaricAudio.checkEffect);
      }
      var reader = response.body.getReader();
      var chunks = [], total = 0;
      var pump = function() {
        return reader.read().then(function(part) {
          if (part.done) {
            var bytes = new Uint8Array(total);
            for (var i = 0, at = 0; i < chunks.length; at += chunks[i].length, ++i)
              bytes.set(chunks[i], at);
            return PelmaricAudio.checkEffect(bytes.buffer);
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
        PelmaricAudio.release(s, buffer);
      };
      var decoding = PelmaricAudio.audio.decodeAudioData(bytes, done, function() { done(null); });
      if (decoding && decoding.catch)
        decoding.catch(function() {});
    },

    release: function(s, buffer) {
      var waiting = s.waiting;
      s.waiting = [];
      waiting.forEach(function(then) { then(buffer); });
    },

    startEffect: function(url, buffer) {
      var m = PelmaricAudio.mixing;
      if (!buffer || !m || !PelmaricAudio.audible())
        return;
      var now = performance.now();
      var copies = (PelmaricAudio.playing[url] || []).filter(function(c) { return !c.ended; });
      PelmaricAudio.playing[url] = copies;
      if (copies.length > 0 && now - copies[copies.length - 1].startedMs < m.inPhaseMs) {
        PelmaricAudio.counts.effectsInPhase++;
        return;
      }
      if (copies.length >= m.copiesPerEffect) {
        var oldest = copies.shift();
        var t = PelmaricAudio.audio.currentTime;
        oldest.gain.gain.setValueAtTime(oldest.gain.gain.value, t);
        oldest.gain.gain.linearRampToValueAtTime(0, t + m.stealFadeSeconds);
        oldest.source.stop(t + m.stealFadeSeconds);
      }
      var copy = {source: PelmaricAudio.audio.createBufferSource(), gain: PelmaricAudio.audio.createGain(), startedMs: now, ended: false};
      copy.source.buffer = buffer;
      copy.source.connect(copy.gain);
      copy.gain.connect(PelmaricAudio.effectGain);
      copy.source.onended = function() { copy.ended = true; copy.gain.disconnect(); };
      copy.source.start();
      copies.push(copy);
      PelmaricAudio.counts.effectStarts++;
      var name = url.substring(url.lastIndexOf('/') + 1);
      PelmaricAudio.startsByFile[name] = (PelmaricAudio.startsByFile[name] || 0) + 1;
    },

    // The music is fetched once the game's first picture shows, never before it.
    startMusicIfDue: function() {
      var m = PelmaricAudio.music;
      if (!m.wanted || m.source || !m.url || !PelmaricAudio.audible() || !PelmaricAudio.pictureShown)
        return;
      var url = m.url;
      PelmaricAudio.withSound(url, function(buffer) {
        if (!buffer || !m.wanted || m.source || m.url !== url || !PelmaricAudio.audible())
          return;
        var source = PelmaricAudio.audio.createBufferSource();
        source.buffer = buffer;
        source.connect(PelmaricAudio.limiter);
        source.onended = function() {
          if (m.source !== source)
            return;
          m.source = null;
          m.wanted = false;
          m.endsPending++;
          PelmaricAudio.counts.musicEnds++;
        };
        m.source = source;
        source.start();
        PelmaricAudio.counts.musicPlays++;
      });
    },

    stopMusic: function() {
      var m = PelmaricAudio.music;
      m.wanted = false;
      if (m.source) {
        var source = m.source;
        m.source = null;
        source.onended = null;
        source.stop();
      }
    },

    // The music waits for the game's first picture (web_page_put).
    firstPicture: function() {
      PelmaricAudio.pictureShown = true;
      PelmaricAudio.startMusicIfDue();
    },

    // The game ended (Esc): the music stops and the context closes.
    stop: function() {
      PelmaricAudio.stopped = true;
      PelmaricAudio.stopMusic();
      if (PelmaricAudio.audio)
        PelmaricAudio.audio.close().catch(function() {});
    },

    // What the page's window.pelmaric shows of the audio: a getter each.
    counters: function() {
      var a = PelmaricAudio;
      var counters = {
        soundsFetched: function() {
          return Object.keys(a.sounds).filter(function(url) { return a.sounds[url].fetched; });
        },
        audioState: function() { return a.audio ? a.audio.state : 'none'; },
        soundOn: function() { return a.soundOn; },
        outputGain: function() { return a.master ? a.master.gain.value : null; },
        musicPlaying: function() { return a.music.source !== null; },
        effectStartsByFile: function() { return Object.assign({}, a.startsByFile); },
        // The mixing rules as handed over, and what the audio graph was set to from them.
        mixing: function() {
          if (!a.mixing)
            return null;
          var graph = a.audio ? {threshold: a.limiter.threshold.value, release: a.limiter.release.value,
                                 effectVolume: a.effectGain.gain.value} : null;
          return Object.assign({graph: graph}, a.mixing);
        },
      };
      Object.keys(a.counts).forEach(function(name) {
        counters[name] = function() { return a.counts[name]; };
      });
      return counters;
    },
  },

  web_audio_start__deps: ['$PelmaricAudio'],
  web_audio_start: function(inPhaseMs, copiesPerEffect, stealFadeMs, effectVolume, ceiling, releaseSeconds) {
    PelmaricAudio.mixing = {inPhaseMs: inPhaseMs, copiesPerEffect: copiesPerEffect, stealFadeSeconds: stealFadeMs / 1000,
                          effectVolume: effectVolume, ceiling: ceiling, releaseSeconds: releaseSeconds};
    PelmaricAudio.applyMixing();
  },

  web_audio_effect__deps: ['$PelmaricAudio'],
  web_audio_effect: function(path) {
    if (!PelmaricAudio.audible()) {
      PelmaricAudio.counts.effectsSilent++;
      return;
    }
    var url = UTF8ToString(path);
    PelmaricAudio.withSound(url, function(buffer) { PelmaricAudio.startEffect(url, buffer); });
  },

  web_audio_music_load__deps: ['$PelmaricAudio'],
  web_audio_music_load: function(path) {
    PelmaricAudio.music.url = UTF8ToString(path);
    PelmaricAudio.startMusicIfDue();
  },

  web_audio_music_play__deps: ['$PelmaricAudio'],
  web_audio_music_play: function() {
    PelmaricAudio.music.wanted = true;
    PelmaricAudio.startMusicIfDue();
  },

  web_audio_music_stop__deps: ['$PelmaricAudio'],
  web_audio_music_stop: function() {
    PelmaricAudio.stopMusic();
  },

  web_audio_switch_sound__deps: ['$PelmaricAudio'],
  web_audio_switch_sound: function() {
    PelmaricAudio.switchSound();
  },

  web_audio_music_ended__deps: ['$PelmaricAudio'],
  web_audio_music_ended: function() {
    if (PelmaricAudio.music.endsPending === 0)
      return 0;
    PelmaricAudio.music.endsPending--;
    return 1;
  },
};

mergeInto(LibraryManager.library, LibraryPelmaricAudio);
