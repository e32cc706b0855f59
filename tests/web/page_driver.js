// Drives the web page in headless Chromium (puppeteer-core, /usr/bin/chromium)
// from a local web server of its own (on 127.0.0.1, or HOST), for web_page_test and the
// web benchmarks. Prints what it saw as lines of words on stdout.
//
//   node page_driver.js picture SITE QUERY OUT CELLS REFERENCE.png [CELLS REFERENCE.png]...
//       each cells file shown through the page's own present; prints
//       "picture N canvas-wrong A screen-wrong B scale S method M", the
//       pixels of the canvas and of a screenshot of it that differ from the
//       reference PNG (the frame tool's, at scale 1; the screenshot compared
//       at its scale), and how the page drew them (webgl2-worker, webgl2 or 2d)
//   node page_driver.js play SITE QUERY SECONDS [THROTTLE]
//       the page with sound allowed unasked, its processor slowed THROTTLE
//       times (Chromium's CPU throttling, as DevTools emulates a slower
//       device; default 1); Esc after SECONDS; prints
//       "order EPOCH_MS ORDER" per frame, "latency base S output S worklet
//       true|false" (the audio context's), "escape EPOCH_MS", "state S",
//       "late-frames N", "end-text TEXT", "frame-ms MS" per frame, and
//       "worker-draw-ms MS" per frame a picture worker drew (its thread is
//       not throttled)
//   node page_driver.js start SITE QUERY SECONDS
//       the page as a person meets it, sound only after a gesture: prints
//       "state S" and "hint TEXT" of the start screen, clicks it, "state S",
//       "frames-per-second N" over SECONDS, double-clicks twice, "fullscreen
//       true|false" after each, presses Esc, "state S", clicks
//       "Play again", "state S"
//   node page_driver.js touch SITE QUERY [SHOTS]
//       a phone (Chromium's emulation of a Pixel 5, touch, sound only after
//       a gesture): prints "state S" and "hint TEXT", taps the start screen,
//       "state S", "sound running|..." (the audio context's state),
//       "picture portrait|landscape LEFT TOP WIDTH HEIGHT VIEW-WIDTH
//       VIEW-HEIGHT SCROLL-WIDTH SCROLL-HEIGHT" in CSS pixels, and after
//       taps where the End control shows: "double-tap fullscreen true|false
//       end-shown true|false state S" (twice, the second in landscape),
//       "colours N" (distinct, in a screenshot of the picture sideways once
//       there are four or more),
//       "single-tap end-shown true|false state S", then taps the End control
//       and prints "state S" and "end-text TEXT"; with SHOTS, screenshots of
//       the start screen, the picture upright and sideways, and the End
//       control in that folder (phone-*.png)
//   node page_driver.js fail SITE QUERY
//       clicks the start screen and waits for the page to report a
//       failure; prints "state S",
//       "caption TEXT", "text TEXT"
// Every mode also prints "page-error TEXT" for uncaught errors and
// "console-error TEXT" for errors the page logged.
'use strict';
const http = require('node:http');
const fs = require('node:fs');
const path = require('node:path');
const puppeteer = require('puppeteer-core');  // found through NODE_PATH

const [mode, site, ...rest] = process.argv.slice(2);
// The address served on: this machine's loopback unless HOST names another
// (a plain http address elsewhere gets no audio worklet).
const host = process.env.HOST || '127.0.0.1';
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.txt': 'text/plain' };

function serve(folder) {
  const server = http.createServer((request, response) => {
    const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(folder, name === '/' ? 'index.html' : name);
    fs.readFile(file, (error, bytes) => {
      if (error) {
        response.writeHead(404);
        response.end();
        return;
      }
      response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
      response.end(bytes);
    });
  });
  return new Promise((resolve) => server.listen(0, host, () => resolve(server)));
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitForState(page, states, ms) {
  const end = Date.now() + ms;
  for (;;) {
    const state = await page.evaluate(() => window.compofiller ? window.compofiller.state() : 'none');
    if (states.includes(state) || Date.now() > end) return state;
    await sleep(50);
  }
}

const line = (...words) => console.log(words.join(' ').replace(/\n/g, ' '));

// Opens the page and lets it settle before anything is asked of it: each
// page.evaluate counts as a user gesture, which during the page's first
// moments would let it start its sound, and so the demo, unasked.
async function open(page, url) {
  await page.goto(url, { waitUntil: 'networkidle0' });
  await sleep(1000);
}

async function main() {
  const server = await serve(site);
  const base = `http://${host}:${server.address().port}/`;
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    headless: 'new',
    ignoreDefaultArgs: ['--mute-audio'],
    args: ['--no-sandbox',
           '--autoplay-policy=' + (mode === 'play' ? 'no-user-gesture-required' : 'document-user-activation-required')],
    defaultViewport: { width: 1280, height: 800, deviceScaleFactor: 1 },
  });
  try {
    const page = await browser.newPage();
    page.on('pageerror', (e) => line('page-error', e.message));
    page.on('console', (m) => { if (m.type() === 'error') line('console-error', m.text()); });

    if (mode === 'picture') {
      const [query, out, ...pairs] = rest;
      await open(page, base + query);
      await waitForState(page, ['ready'], 20000);
      const dataUrl = (bytes) => 'data:image/png;base64,' + bytes.toString('base64');
      for (let n = 0; 2 * n < pairs.length; ++n) {
        const text = fs.readFileSync(pairs[2 * n], 'utf8');
        const ok = await page.evaluate((t) => window.compofiller.presentCells(t), text);
        if (!ok) {
          line('picture', n, 'not-shown');
          continue;
        }
        // A painter on a worker draws after the present returns: its pixels
        // are asked for (which waits for it), and two refreshes let the
        // page show them.
        await page.evaluate(async () => {
          await window.compofiller.canvasPixels();
          await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
        });
        const canvas = await page.$('#screen');
        const shot = await canvas.screenshot({ path: path.join(out, `page-${n}.png`) });
        const result = await page.evaluate(async (refUrl, shotUrl) => {
          const pixels = async (url) => {
            const bitmap = await createImageBitmap(await (await fetch(url)).blob(), { colorSpaceConversion: 'none' });
            const c = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
            c.drawImage(bitmap, 0, 0);
            return c.getImageData(0, 0, bitmap.width, bitmap.height);
          };
          const ref = await pixels(refUrl);
          const screen = await pixels(shotUrl);
          const own = { data: await window.compofiller.canvasPixels() };
          const scale = Math.round(screen.width / 640);
          let canvasWrong = 0, screenWrong = 0;
          for (let y = 0; y < 400; ++y) {
            for (let x = 0; x < 640; ++x) {
              const i = (y * 640 + x) * 4;
              const same = (img, j) => img.data[j] === ref.data[i] && img.data[j + 1] === ref.data[i + 1] &&
                                        img.data[j + 2] === ref.data[i + 2];
              if (!same(own, i)) ++canvasWrong;
              for (let sy = 0; sy < scale; ++sy) {
                for (let sx = 0; sx < scale; ++sx) {
                  if (!same(screen, ((y * scale + sy) * screen.width + x * scale + sx) * 4)) ++screenWrong;
                }
              }
            }
          }
          const sized = ref.width === 640 && ref.height === 400 && screen.width === 640 * scale &&
                        screen.height === 400 * scale;
          return { canvasWrong, screenWrong: sized ? screenWrong : -1, scale, method: window.compofiller.pictureMethod() };
        }, dataUrl(fs.readFileSync(pairs[2 * n + 1])), dataUrl(shot));
        line('picture', n, 'canvas-wrong', result.canvasWrong, 'screen-wrong', result.screenWrong, 'scale', result.scale,
             'method', result.method);
      }
    } else if (mode === 'play') {
      const [query, seconds, throttle = '1'] = rest;
      await page.emulateCPUThrottling(Number(throttle));
      await page.goto(base + query, { waitUntil: 'load' });
      const state = await waitForState(page, ['running', 'failed'], 60000);
      if (state === 'running') {
        await sleep(Number(seconds) * 1000);
        const audio = await page.evaluate(() => window.compofiller.audio());
        line('latency base', audio.base, 'output', audio.output, 'worklet', audio.worklet);
        line('escape', Date.now());
        await page.keyboard.press('Escape');
      }
      line('state', await waitForState(page, ['ended', 'failed'], 5000));
      const report = await page.evaluate(() => ({
        stats: window.compofiller.stats,
        endText: document.getElementById('end-text').textContent,
        endShown: !document.getElementById('end').hidden,
      }));
      line('end-shown', report.endShown);
      line('end-text', report.endText);
      line('late-frames', report.stats.lateFrames);
      for (const [at, order] of report.stats.orders) line('order', at.toFixed(3), order);
      for (const ms of report.stats.frameMs) line('frame-ms', ms.toFixed(3));
      const drawMs = await page.evaluate(() => window.compofiller.pictureDrawMs());
      if (drawMs) for (const ms of drawMs) line('worker-draw-ms', ms.toFixed(3));
    } else if (mode === 'start') {
      const [query, seconds] = rest;
      const frames = () => page.evaluate(() => window.compofiller.stats.frames);
      await open(page, base + query);
      line('state', await waitForState(page, ['ready'], 20000));
      line('hint', await page.evaluate(() => document.getElementById('start-hint').textContent));
      await page.mouse.click(640, 400);
      line('state', await waitForState(page, ['running'], 10000));
      await sleep(500);
      const before = await frames();
      await sleep(Number(seconds) * 1000);
      line('frames-per-second', (await frames() - before) / Number(seconds));
      await page.mouse.click(640, 400, { clickCount: 2 });
      await sleep(500);
      line('fullscreen', await page.evaluate(() => document.fullscreenElement !== null));
      await page.mouse.click(640, 400, { clickCount: 2 });
      await sleep(500);
      line('fullscreen', await page.evaluate(() => document.fullscreenElement !== null));
      await page.keyboard.press('Escape');
      line('state', await waitForState(page, ['ended'], 5000));
      await page.click('#again');
      line('state', await waitForState(page, ['running'], 10000));
    } else if (mode === 'touch') {
      const [query, shots] = rest;
      const phone = puppeteer.KnownDevices['Pixel 5'];
      const shot = async (name) => { if (shots) await page.screenshot({ path: path.join(shots, name) }); };
      const tap = async ([x, y]) => page.touchscreen.tap(x, y);
      const picture = () => page.evaluate(() => {
        const r = document.getElementById('screen').getBoundingClientRect();
        const s = document.scrollingElement;
        return [r.left, r.top, r.width, r.height, innerWidth, innerHeight, s.scrollWidth, s.scrollHeight]
          .map((v) => v.toFixed(2)).join(' ');
      });
      // Where the End control shows (it takes its place while hidden).
      const control = () => page.evaluate(() => {
        const r = document.getElementById('end-control').getBoundingClientRect();
        return [r.left + r.width / 2, r.top + r.height / 2];
      });
      // The distinct colours of the picture on the screen: the 16 of text
      // mode at most where it is drawn without smoothing.
      const colours = async () => page.evaluate(async (url) => {
        const bitmap = await createImageBitmap(await (await fetch(url)).blob(), { colorSpaceConversion: 'none' });
        const c = new OffscreenCanvas(bitmap.width, bitmap.height).getContext('2d');
        c.drawImage(bitmap, 0, 0);
        const data = c.getImageData(0, 0, bitmap.width, bitmap.height).data;
        const seen = new Set();
        for (let i = 0; i < data.length; i += 4) seen.add((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]);
        return seen.size;
      }, 'data:image/png;base64,' + (await (await page.$('#screen')).screenshot()).toString('base64'));
      const seen = () => page.evaluate(() => ({
        fullscreen: document.fullscreenElement !== null,
        endShown: getComputedStyle(document.getElementById('end-control')).visibility === 'visible',
        state: window.compofiller.state(),
      }));
      await page.emulate(phone);
      await open(page, base + query);
      line('state', await waitForState(page, ['ready'], 20000));
      line('hint', await page.evaluate(() => document.getElementById('start-hint').textContent));
      await shot('phone-start.png');
      await tap([phone.viewport.width / 2, phone.viewport.height / 2]);
      line('state', await waitForState(page, ['running'], 10000));
      await sleep(500);
      line('sound', await page.evaluate(() => window.compofiller.audio().running ? 'running' : 'silent'));
      line('picture portrait', await picture());
      if (shots) await sleep(4000);  // past the song's dark first seconds
      await shot('phone-portrait.png');
      // Double taps, each where the End control would show: full screen and
      // back, and nothing ended.
      for (const view of [null, puppeteer.KnownDevices['Pixel 5 landscape'].viewport]) {
        if (view) {
          await page.setViewport(view);
          await sleep(500);
          line('picture landscape', await picture());
          await shot('phone-landscape.png');
        }
        const at = await control();
        await tap(at);
        await tap(at);
        await sleep(700);
        const s = await seen();
        line('double-tap fullscreen', s.fullscreen, 'end-shown', s.endShown, 'state', s.state);
      }
      // The picture's colours on the screen, once it is more than the dark
      // of the song's first seconds.
      let count = await colours();
      for (const end = Date.now() + 10000; count < 4 && Date.now() < end; count = await colours()) await sleep(100);
      line('colours', count);
      // A single tap there shows the End control and ends nothing; a tap on
      // the control ends it.
      await tap(await control());
      await sleep(700);
      const s = await seen();
      line('single-tap end-shown', s.endShown, 'state', s.state);
      await shot('phone-end-control.png');
      await tap(await control());
      line('state', await waitForState(page, ['ended'], 5000));
      line('end-text', await page.evaluate(() => document.getElementById('end-text').textContent));
      await shot('phone-ended.png');
    } else if (mode === 'fail') {
      const [query] = rest;
      await open(page, base + query);
      if (await waitForState(page, ['ready', 'failed'], 20000) === 'ready') {
        await page.mouse.click(640, 400);
      }
      line('state', await waitForState(page, ['failed', 'running'], 20000));
      const message = await page.evaluate(() => ({
        shown: !document.getElementById('message').hidden,
        caption: document.getElementById('message-caption').textContent,
        text: document.getElementById('message-text').textContent,
      }));
      line('message-shown', message.shown);
      line('caption', message.caption);
      line('text', message.text);
    } else {
      throw new Error('unknown mode ' + mode);
    }
  } finally {
    await browser.close();
    server.close();
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
