'use strict';
// The page around the program (compofiller.js and .wasm): loads it with the
// song and the font, starts the demo on the first click, tap or key (at once
// where the browser lets a page play sound unasked), runs its frames at the times
// the program asks for, plays its sound, and shows the end with a way to play
// again. Each run is a fresh instance of the program, as a program starts
// with all its state zero.
//
// Address options: ?fps=N (frames a second, 0 to 1000, 0 back to back;
// default 60), ?song=FILE (another module, beside the page),
// ?picture=worker-2d|worker-webgl2|webgl2|2d (how the picture is drawn,
// picture.js; default worker-2d where the browser can).
(() => {
  const rate = 44100;
  const params = new URLSearchParams(location.search);
  const fps = frameRate(params.get('fps'));
  const songUrl = params.get('song') || 'QUILLOW3.oxm';
  const songName = '/' + (songUrl.split('/').pop().replace(/[^A-Za-z0-9._-]/g, '_') || 'song');

  const $ = (id) => document.getElementById(id);
  const canvas = $('screen');
  // How the picture is drawn (picture.js): from the cells on a worker's
  // thread where the browser can, else on the page's.
  const method = params.get('picture') || 'worker-2d';
  const painters = { 'worker-2d': () => workerPainter(canvas, '2d'), 'worker-webgl2': () => workerPainter(canvas, 'webgl2'),
                     'webgl2': () => glyphPainter(canvas), '2d': () => pixelPainter(canvas) };
  const picture = (painters[method] && painters[method]()) || workerPainter(canvas, '2d') || glyphPainter(canvas) ||
                  pixelPainter(canvas);

  // loading, ready (the start screen), starting, running, ended, failed
  let state = 'loading';
  let files = null;     // { song, songProblem, font }
  let program = null;   // the running instance
  let endedBy = '';    // 'Esc' or 'End' (the touch screen's control) when the person ended it
  let runningSince = Infinity;  // performance.now() when the run began
  const stats = { frames: 0, frameMs: [], orders: [], lateFrames: 0 };

  function frameRate(text) {
    if (text === null) return 60;
    const n = Number(text);
    return Number.isInteger(n) && n >= 0 && n <= 1000 ? n : 60;
  }

  function setState(s) {
    state = s;
    document.body.dataset.state = s;
  }

  // ---- Sound: one audio context for the page, at the song's rate.
  const sound = {
    context: null,
    node: null,       // the audio worklet, or null
    fallback: null,   // a script processor playing a BlockPlayer
    origin: 0,        // context frame of the program's output frame 0
    problem: '',

    async prepare() {
      const Context = window.AudioContext || window.webkitAudioContext;
      if (!Context) {
        this.problem = 'this browser has no Web Audio';
        return;
      }
      try {
        this.context = new Context({ sampleRate: rate, latencyHint: 'playback' });
      } catch (e) {
        this.problem = 'no audio output: ' + e.message;
        return;
      }
      if (this.context.sampleRate !== rate) {
        this.problem = 'the audio output does not run at ' + rate + ' Hz';
        return;
      }
      const pump = (m) => {
        if (m) stats.lateFrames = m.lateFrames;
        if (program && state === 'running') program._webSoundPump();
      };
      if (this.context.audioWorklet) {
        await this.context.audioWorklet.addModule('sound-worklet.js');
        this.node = new AudioWorkletNode(this.context, 'song-player',
                                         { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2] });
        this.node.port.onmessage = (event) => pump(event.data);
        this.node.connect(this.context.destination);
      } else {
        // Its callbacks run on the page's thread, between the frames: buffers
        // of 93 ms leave room for a long frame.
        const player = new BlockPlayer();
        const processor = this.context.createScriptProcessor(4096, 0, 2);
        const fallback = { player, processor, next: 0 };
        processor.onaudioprocess = (event) => {
          const out = event.outputBuffer;
          const frame = Math.round(event.playbackTime * rate);
          player.render(out.getChannelData(0), out.getChannelData(1), frame);
          // The processor fills its buffers ahead of the context's time, and
          // the next one may be filled before a block mixed now reaches it.
          fallback.next = frame + 2 * out.length;
          pump({ lateFrames: player.lateFrames });
        };
        processor.connect(this.context.destination);
        this.fallback = fallback;
      }
    },

    // True when the browser lets the context play.
    running() {
      return this.context !== null && this.context.state === 'running';
    },

    // The program's calls (Module.page).
    open() {
      if (this.problem) return this.problem;
      if (!this.running()) return 'the browser did not let the page play sound';
      this.flush();
      this.origin = Math.ceil(this.context.currentTime * rate);
      return '';
    },
    renderedFrame() {
      const next = this.fallback ? this.fallback.next : 0;
      return Math.max(this.context.currentTime * rate, next) - this.origin;
    },
    // What the speakers play now: the output's own timestamp where the
    // browser gives one, else what is rendered less the output's latency.
    heardFrame() {
      const c = this.context;
      let seconds = null;
      if (c.getOutputTimestamp) {
        const t = c.getOutputTimestamp();
        if (t.contextTime > 0) seconds = t.contextTime + (performance.now() - t.performanceTime) / 1000;
      }
      if (seconds === null) seconds = c.currentTime - (c.outputLatency || 0) - (c.baseLatency || 0);
      return seconds * rate - this.origin;
    },
    queue(samples, at) {
      const copy = new Float32Array(samples);
      if (this.node) this.node.port.postMessage({ frame: this.origin + at, samples: copy }, [copy.buffer]);
      else this.fallback.player.push(this.origin + at, copy);
    },
    flush() {
      if (this.node) this.node.port.postMessage({ flush: true });
      else if (this.fallback) this.fallback.player.flush();
    },
  };

  // ---- What the program calls on the page (Module.page).
  const page = {
    // The views of the program's memory are valid during the call.
    drawsCells: () => picture.drawsCells,
    setGlyphs: (glyphs, width, height, palette) => picture.setGlyphs(glyphs, width, height, palette),
    showCells: (cells, columns, rows) => picture.showCells(cells, columns, rows),
    showPicture: (rgba, width, height) => picture.showPicture(rgba, width, height),
    setTitle(title) {
      document.title = title;
    },
    showMessage(caption, text) {
      $('message-caption').textContent = caption;
      $('message-text').textContent = text;
      $('message').hidden = false;
    },
    audioOpen: () => sound.open(),
    audioRenderedFrame: () => sound.renderedFrame(),
    audioHeardFrame: () => sound.heardFrame(),
    audioQueue: (samples, at) => sound.queue(samples, at),
    audioFlush: () => sound.flush(),
  };

  // ---- Loading: the program, the song and the font, before the start screen.
  async function fetchBytes(url) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(url + ': ' + response.status + ' ' + response.statusText);
    return new Uint8Array(await response.arrayBuffer());
  }

  async function load() {
    const [song, font] = await Promise.all([
      fetchBytes(songUrl).then((bytes) => ({ bytes }), (e) => ({ problem: e.message })),
      fetchBytes('font.psf.gz'),
      sound.prepare().catch((e) => { sound.problem = 'no audio output: ' + e.message; }),
    ]);
    files = { song: song.bytes || null, songProblem: song.problem || '', font };
    $('start-hint').textContent = pageTouch.touchFirst() ? 'Tap to start (with sound)'
                                                         : 'Click or press a key to start (with sound)';
    setState('ready');
    // Where the browser lets a page play sound unasked, it starts at once.
    if (sound.context && !sound.running()) {
      await Promise.race([sound.context.resume(), new Promise((done) => setTimeout(done, 300))]);
    }
    if (sound.running() && state === 'ready') start();
  }

  // ---- A run.
  async function start() {
    if (state !== 'ready' && state !== 'ended') return;
    setState('starting');
    // A click, a tap or a key lets the context play.
    if (sound.context && !sound.running()) await sound.context.resume().catch(() => {});
    endedBy = '';
    $('message').hidden = true;
    try {
      program = await createDemo({ page, noInitialRun: true, print: console.log, printErr: console.error });
    } catch (e) {
      fail('The program could not start: ' + e.message);
      return;
    }
    program.FS.writeFile('/font.psf.gz', files.font);
    if (files.song) program.FS.writeFile(songName, files.song);
    $('start').hidden = true;
    $('end').hidden = true;
    canvas.hidden = false;
    fit();
    if (!program.ccall('webStart', 'number', ['string', 'number'], [songName, fps])) {
      const why = files.songProblem ? 'the page could not fetch ' + files.songProblem : program.UTF8ToString(program._webProblem());
      $('message-text').textContent += '\n' + songUrl + ': ' + why;
      canvas.hidden = true;
      $('end-text').textContent = 'The song ' + songUrl + ' could not be loaded.';
      $('again').hidden = true;
      $('end').hidden = false;
      setState('failed');
      return;
    }
    setState('running');
    runningSince = performance.now();
    stats.frames = 0;
    stats.frameMs = [];
    stats.orders = [];
    frameLoop();
  }

  function fail(text) {
    page.showMessage('Error', text);
    setState('failed');
  }

  function finish() {
    const problem = program.UTF8ToString(program._webEnd());
    program = null;
    setState('ended');
    endControl.hide();
    $('end-text').textContent = (endedBy === 'Esc' ? 'Ended with Esc.' : endedBy ? 'Ended.' : 'The end.') +
                                (problem ? ' The song played without sound: ' + problem + '.' : '');
    canvas.hidden = true;
    $('end').hidden = false;
    if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
  }

  // ---- The frames: each when the program asks for it. While the page is
  // shown, in step with the display: a frame runs at the display's refresh
  // nearest its time. A hidden page gets no refreshes; a timer runs them then.
  let waitToken = 0;
  let refreshMs = 1000 / 60;
  let lastRefresh = 0;
  const immediate = new MessageChannel();

  function frameLoop() {
    let due = performance.now();
    const step = () => {
      if (state !== 'running') return;
      const begin = performance.now();
      const goOn = program._webFrame();
      const end = performance.now();
      stats.frames += 1;
      if (stats.frameMs.length < 100000) {
        stats.frameMs.push(end - begin);
        stats.orders.push([performance.timeOrigin + begin, program._webOrder()]);
      }
      if (!goOn) {
        finish();
        return;
      }
      due = fps === 0 ? end : program._webNextFrameMs();
      wait();
    };
    const wait = () => {
      const token = ++waitToken;
      const run = () => {
        if (token === waitToken) step();
      };
      if (fps === 0) {
        immediate.port1.onmessage = run;
        immediate.port2.postMessage(0);
        return;
      }
      const visible = document.visibilityState === 'visible';
      if (visible) {
        const onRefresh = (t) => {
          if (token !== waitToken) return;
          if (lastRefresh > 0 && t > lastRefresh) refreshMs = 0.9 * refreshMs + 0.1 * Math.min(100, t - lastRefresh);
          lastRefresh = t;
          if (performance.now() >= due - Math.min(refreshMs, 1000 / fps) / 2) run();
          else requestAnimationFrame(onRefresh);
        };
        requestAnimationFrame(onRefresh);
      }
      // Also the backstop for a page hidden while it waits for a refresh.
      setTimeout(run, Math.max(0, due - performance.now()) + (visible ? 250 : 0));
    };
    step();
  }

  // ---- The picture: 640 x 400, black around, as large as fits. With a
  // mouse at the largest whole scale of the screen's own pixels, so every
  // pixel of the picture is as large as the next; on a touch screen at any
  // scale, filling the width (the height in landscape), where a phone's
  // whole scale would leave half of its small screen black. Either way
  // without smoothing (image-rendering), and in whole pixels of the screen.
  function fit() {
    const ratio = window.devicePixelRatio || 1;
    const fits = Math.min(innerWidth * ratio / 640, innerHeight * ratio / 400);
    const scale = pageTouch.touchFirst() ? fits : Math.max(1, Math.floor(fits));
    canvas.style.width = Math.floor(640 * scale) / ratio + 'px';
    canvas.style.height = Math.floor(400 * scale) / ratio + 'px';
  }

  // Full screen and back; a phone or tablet also turns to landscape, where
  // the picture is largest, where the browser lets the page lock it (some
  // do in full screen, others refuse).
  function toggleFullscreen() {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else if (document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen().then(() => {
        if (pageTouch.touchFirst() && screen.orientation && screen.orientation.lock) {
          screen.orientation.lock('landscape').catch(() => {});
        }
      }, () => {});
    }
  }

  function endByPerson(how) {
    if (state !== 'running') return;
    endedBy = how;
    program._webPressEscape();
  }

  window.addEventListener('resize', fit);
  document.addEventListener('keydown', (event) => {
    if (event.key === 'Escape' && state === 'running') {
      endByPerson('Esc');
      return;
    }
    const starts = !['F11', 'Tab', 'Shift', 'Control', 'Alt', 'Meta', 'Escape'].includes(event.key);
    if (starts && (state === 'ready' || state === 'ended') && !event.repeat) start();
  });
  $('stage').addEventListener('click', (event) => {
    if (event.target.tagName !== 'BUTTON' && state === 'ready') start();
  });
  $('stage').addEventListener('dblclick', (event) => {
    if (event.target.tagName !== 'BUTTON' && !pageTouch.byTouch()) toggleFullscreen();
  });
  // On a touch screen: a double tap for full screen; while the demo runs, a
  // single tap shows the End control (or hides it), and a tap on that ends
  // it. The tap that started the run shows nothing.
  const endControl = pageTouch.endControl($('end-control'), () => endByPerson('End'));
  pageTouch.watchTaps($('stage'), {
    doubleTap: toggleFullscreen,
    singleTap: (tap) => {
      if (state === 'running' && tap.timeStamp > runningSince) endControl.toggle();
    },
  });
  $('fullscreen').addEventListener('click', toggleFullscreen);
  $('again').addEventListener('click', start);
  $('message-ok').addEventListener('click', () => { $('message').hidden = true; });

  // For the tests and benchmarks: the page's state, and the program's own
  // present for cells given in the frame tool's format (one instance for
  // them all, so each present after the first draws over the one before).
  let presenting = null;
  window.compofiller = {
    state: () => state,
    // The canvas's 640 x 400 pixels (RGBA, from the top), and how they were drawn.
    canvasPixels: () => picture.pixels(),
    pictureMethod: () => picture.method,
    // A worker painter's time on each frame (ms), or null on the page's thread.
    pictureDrawMs: () => picture.drawTimes ? picture.drawTimes() : null,
    audio: () => sound.context ? { base: sound.context.baseLatency, output: sound.context.outputLatency,
                                   worklet: sound.node !== null, running: sound.running() } : null,
    stats,
    endedBy: () => endedBy,
    async presentCells(text) {
      if (!presenting) {
        presenting = await createDemo({ page, noInitialRun: true });
        presenting.FS.writeFile('/font.psf.gz', files.font);
      }
      const instance = presenting;
      canvas.hidden = false;
      $('start').hidden = true;
      fit();
      return instance.ccall('webPresentCells', 'number', ['string'], [text]);
    },
  };

  load().catch((e) => fail('The page could not load: ' + e.message));
})();
