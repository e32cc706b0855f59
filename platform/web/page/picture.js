'use strict';
// The ways the page puts the program's picture on its canvas (demo.js picks
// one): the glyphs of the cells the program hands over drawn by a script on
// a 2D canvas or by the GPU, either on a worker's thread or on the page's, or
// the program's own pixels put on a 2D canvas. Each painter has drawsCells,
// method, the calls the program makes (setGlyphs and showCells, or
// showPicture) and pixels(): the canvas's pixels, RGBA from the top, for the
// tests.

// The program draws the pixels (the shared rasterizer) and they go on a 2D canvas.
function pixelPainter(canvas) {
  const context = canvas.getContext('2d', { alpha: false });
  return {
    method: '2d',
    drawsCells: false,
    showPicture(rgba, width, height) {
      context.putImageData(new ImageData(new Uint8ClampedArray(rgba.buffer, rgba.byteOffset, rgba.length), width, height), 0, 0);
    },
    pixels: () => context.getImageData(0, 0, canvas.width, canvas.height).data,
  };
}

// The GPU draws the glyphs (WebGL 2), which leaves the page's thread only
// the cells to hand over: a texture of 80 x 50 texels (the cells as they
// lie in the program's memory: the glyph byte in red, the attribute's low
// byte in blue), the glyphs as the program's rasterizer drew them (80 to a
// row, 1 where drawn), the 16 colours, and one triangle over the canvas.
// Each of the canvas's pixels looks up its cell, its glyph's pixel and its
// colour, so the picture is the rasterizer's, pixel for pixel. Null where
// the browser has no WebGL 2.
function glyphPainter(canvas) {
  const attributes = { alpha: false, antialias: false, depth: false, stencil: false, preserveDrawingBuffer: false };
  const gl = canvas.getContext('webgl2', attributes);
  if (!gl) return null;
  const vertexShader = `#version 300 es
    void main() {
      gl_Position = vec4(gl_VertexID == 1 ? 3.0 : -1.0, gl_VertexID == 2 ? 3.0 : -1.0, 0.0, 1.0);
    }`;
  const fragmentShader = `#version 300 es
    precision highp float;
    precision highp int;
    uniform highp usampler2D cells;
    uniform highp usampler2D glyphs;
    uniform vec3 palette[16];
    uniform int height;
    out vec4 colour;
    void main() {
      ivec2 p = ivec2(int(gl_FragCoord.x), height - 1 - int(gl_FragCoord.y));
      uvec4 cell = texelFetch(cells, p / 8, 0);
      int glyph = int(cell.r);
      bool on = texelFetch(glyphs, ivec2(glyph % 80, glyph / 80) * 8 + p % 8, 0).r != 0u;
      colour = vec4(on ? palette[int(cell.b & 15u)] : vec3(0.0), 1.0);
    }`;
  let program = null;
  let cellTexture = null;
  let columns = 80, rows = 50;
  let glyphs = null;   // kept to be given again to a restored context
  const texture = (unit, format, type, width, height, bytes) => {
    const t = gl.createTexture();
    gl.activeTexture(gl.TEXTURE0 + unit);
    gl.bindTexture(gl.TEXTURE_2D, t);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.NEAREST);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.NEAREST);
    gl.texImage2D(gl.TEXTURE_2D, 0, format, width, height, 0, type, gl.UNSIGNED_BYTE, bytes);
    return t;
  };
  const prepare = () => {
    const shader = (kind, text) => {
      const s = gl.createShader(kind);
      gl.shaderSource(s, text);
      gl.compileShader(s);
      return s;
    };
    program = gl.createProgram();
    gl.attachShader(program, shader(gl.VERTEX_SHADER, vertexShader));
    gl.attachShader(program, shader(gl.FRAGMENT_SHADER, fragmentShader));
    gl.linkProgram(program);
    if (!gl.getProgramParameter(program, gl.LINK_STATUS)) {
      if (!gl.isContextLost()) console.error('The picture\'s shaders: ' + gl.getProgramInfoLog(program));
      program = null;
      return;
    }
    gl.useProgram(program);
    gl.uniform1i(gl.getUniformLocation(program, 'cells'), 0);
    gl.uniform1i(gl.getUniformLocation(program, 'glyphs'), 1);
    gl.uniform1i(gl.getUniformLocation(program, 'height'), canvas.height);
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
    gl.viewport(0, 0, canvas.width, canvas.height);
    cellTexture = texture(0, gl.RGBA8UI, gl.RGBA_INTEGER, columns, rows, null);
    if (glyphs) painter.setGlyphs(...glyphs);
  };
  const draw = () => {
    if (program) gl.drawArrays(gl.TRIANGLES, 0, 3);
  };
  canvas.addEventListener('webglcontextlost', (event) => {
    event.preventDefault();
    program = null;
  });
  canvas.addEventListener('webglcontextrestored', prepare);
  const painter = {
    method: 'webgl2',
    drawsCells: true,
    setGlyphs(bytes, width, height, palette) {
      glyphs = [bytes.slice(), width, height, palette.slice()];
      if (!program) return;
      texture(1, gl.R8UI, gl.RED_INTEGER, width, height, glyphs[0]);
      gl.activeTexture(gl.TEXTURE0);
      gl.bindTexture(gl.TEXTURE_2D, cellTexture);
      gl.uniform3fv(gl.getUniformLocation(program, 'palette'), Float32Array.from(palette, (v) => v / 255));
    },
    showCells(cells, width, height) {
      if (!program) return;
      if (width !== columns || height !== rows) {
        [columns, rows] = [width, height];
        gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA8UI, columns, rows, 0, gl.RGBA_INTEGER, gl.UNSIGNED_BYTE, null);
      }
      gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, columns, rows, gl.RGBA_INTEGER, gl.UNSIGNED_BYTE, cells);
      draw();
    },
    // Drawn again and read at once: the drawing buffer is not kept after
    // the page shows it.
    pixels() {
      const width = canvas.width, height = canvas.height;
      const bottomUp = new Uint8Array(width * height * 4);
      draw();
      gl.readPixels(0, 0, width, height, gl.RGBA, gl.UNSIGNED_BYTE, bottomUp);
      const out = new Uint8ClampedArray(bottomUp.length);
      for (let y = 0; y < height; ++y) out.set(bottomUp.subarray((height - 1 - y) * width * 4, (height - y) * width * 4), y * width * 4);
      return out;
    },
  };
  prepare();
  return program ? painter : null;
}

// The glyphs drawn by a script from the cells, on a 2D canvas: what the
// program's rasterizer does, for the glyphs it drew once (80 to a row, 8 x 8
// pixels, 1 where drawn), redrawing only the cells whose glyph or colour
// changed and putting only the rectangle around them on the canvas. Meant for
// a worker's thread.
function cellRasterPainter(canvas) {
  const context = canvas.getContext('2d', { alpha: false });
  if (!context) return null;
  const image = context.createImageData(canvas.width, canvas.height);
  const pixels = new Uint32Array(image.data.buffer);   // little-endian: 0xAABBGGRR
  const palette = new Uint32Array(16);
  let glyphs = null, glyphsWidth = 0;
  let last = null;   // the cells drawn last
  return {
    setGlyphs(bytes, width, height, rgb) {
      glyphs = bytes;
      glyphsWidth = width;
      for (let c = 0; c < 16; ++c) palette[c] = 0xFF000000 | rgb[3 * c + 2] << 16 | rgb[3 * c + 1] << 8 | rgb[3 * c];
      last = null;
    },
    showCells(cells, columns, rows) {
      if (!glyphs) return;
      const width = canvas.width;
      let top = rows, bottom = -1, left = columns, right = -1;
      for (let r = 0, i = 0; r < rows; ++r) {
        for (let c = 0; c < columns; ++c, i += 4) {
          const glyph = cells[i], colour = cells[i + 2] & 15;
          if (last && last[i] === glyph && (last[i + 2] & 15) === colour) continue;
          if (r < top) top = r;
          bottom = r;
          if (c < left) left = c;
          if (c > right) right = c;
          const ink = palette[colour], black = palette[0];
          let from = ((glyph / 80) | 0) * 8 * glyphsWidth + (glyph % 80) * 8;
          let to = r * 8 * width + c * 8;
          for (let y = 0; y < 8; ++y, from += glyphsWidth, to += width) {
            for (let x = 0; x < 8; ++x) pixels[to + x] = glyphs[from + x] ? ink : black;
          }
        }
      }
      last = cells;
      if (bottom >= 0) context.putImageData(image, 0, 0, left * 8, top * 8, (right - left + 1) * 8, (bottom - top + 1) * 8);
    },
    pixels: () => context.getImageData(0, 0, canvas.width, canvas.height).data,
  };
}

// A painter on a worker's thread (this script, run as a worker), drawing on
// the canvas handed to it: the page's thread only copies the cells to it.
// `kind`: 'webgl2' (glyphPainter; where the page's compositor draws in
// software, a browser without GPU compositing, each WebGL frame is read back
// to the processor on the thread that drew it: on the worker's, not the
// page's) or '2d' (cellRasterPainter). Null where the browser cannot hand a
// canvas to a worker or, for WebGL 2, has none. pixels() is a promise here.
function workerPainter(canvas, kind) {
  if (!canvas.transferControlToOffscreen || typeof Worker === 'undefined' || typeof OffscreenCanvas === 'undefined' ||
      !new OffscreenCanvas(1, 1).getContext(kind)) {
    return null;
  }
  const worker = new Worker('picture.js');
  const offscreen = canvas.transferControlToOffscreen();
  worker.postMessage({ canvas: offscreen, kind }, [offscreen]);
  const waiting = [];   // pixels() and drawTimes() asked for, in order
  worker.onmessage = (event) => {
    if (event.data.pixels) waiting.shift()(new Uint8ClampedArray(event.data.pixels));
    else if (event.data.drawMs) waiting.shift()(event.data.drawMs);
    else console.error(event.data.problem);
  };
  const ask = (message) => new Promise((resolve) => {
    waiting.push(resolve);
    worker.postMessage(message);
  });
  return {
    method: 'worker-' + kind,
    drawsCells: true,
    setGlyphs(glyphs, width, height, palette) {
      worker.postMessage({ glyphs: [glyphs.slice(), width, height, palette.slice()] });
    },
    showCells(cells, columns, rows) {
      const copy = cells.slice();
      worker.postMessage({ cells: [copy, columns, rows] }, [copy.buffer]);
    },
    pixels: () => ask({ pixels: true }),
    // The time the worker spent on each set of cells, in ms: its thread is
    // not slowed by Chromium's CPU throttle, so the benchmarks print it apart.
    drawTimes: () => ask({ drawMs: true }),
  };
}

// As the worker: the canvas first, then the glyphs and the cells to draw, or
// a request for the pixels.
if (typeof WorkerGlobalScope !== 'undefined' && self instanceof WorkerGlobalScope) {
  let painter = null;
  const drawMs = [];
  self.onmessage = (event) => {
    const m = event.data;
    if (m.canvas) {
      painter = m.kind === '2d' ? cellRasterPainter(m.canvas) : glyphPainter(m.canvas);
      if (!painter) self.postMessage({ problem: 'The picture: no ' + m.kind + ' context on the worker\'s canvas' });
    } else if (!painter) {
      return;
    } else if (m.glyphs) {
      painter.setGlyphs(...m.glyphs);
    } else if (m.cells) {
      const begin = performance.now();
      painter.showCells(...m.cells);
      if (drawMs.length < 100000) drawMs.push(performance.now() - begin);
    } else if (m.drawMs) {
      self.postMessage({ drawMs });
    } else if (m.pixels) {
      const pixels = painter.pixels();
      self.postMessage({ pixels: pixels.buffer }, [pixels.buffer]);
    }
  };
}
