'use strict';
// The page's sound output. The program mixes the song on the page's thread in
// blocks, each for a frame of the audio context; this plays every block at
// its frame, whatever the time it arrived (a block that comes late loses the
// part already due) and silence where there is none. It runs as an audio
// worklet, and, where a page has none (a page not served over https or from
// this machine), on the page's thread behind a script processor (demo.js).

// Blocks waiting to be played, in the order of their frames.
class BlockPlayer {
  constructor() {
    this.blocks = [];
    this.lateFrames = 0;  // frames that arrived after their time
  }

  // `samples`: interleaved stereo from context frame `frame` on.
  push(frame, samples) {
    this.blocks.push({ frame, samples, started: false });
  }

  flush() {
    this.blocks = [];
  }

  // Fills `left` and `right` with the context frames from `frame` on.
  render(left, right, frame) {
    const count = left.length;
    left.fill(0);
    right.fill(0);
    const end = frame + count;
    let done = 0;
    for (const block of this.blocks) {
      const blockEnd = block.frame + block.samples.length / 2;
      if (block.frame >= end) break;
      if (!block.started) {
        block.started = true;
        if (block.frame < frame) this.lateFrames += Math.min(blockEnd, frame) - block.frame;
      }
      const from = Math.max(frame, block.frame);
      const to = Math.min(end, blockEnd);
      for (let f = from; f < to; ++f) {
        const i = (f - block.frame) * 2;
        left[f - frame] = block.samples[i];
        right[f - frame] = block.samples[i + 1];
      }
      if (blockEnd <= end) ++done;
    }
    if (done > 0) this.blocks.splice(0, done);
  }
}

if (typeof registerProcessor === 'function') {
  // Tells the page every eight render quanta (about 23 ms) how far it has
  // played, which is when the program mixes more.
  class SongPlayer extends AudioWorkletProcessor {
    constructor() {
      super();
      this.player = new BlockPlayer();
      this.quanta = 0;
      this.port.onmessage = (event) => {
        const m = event.data;
        if (m.flush) this.player.flush();
        else this.player.push(m.frame, m.samples);
      };
    }

    process(inputs, outputs) {
      const out = outputs[0];
      this.player.render(out[0], out[1] || out[0], currentFrame);
      if (++this.quanta % 8 === 0) this.port.postMessage({ frame: currentFrame, lateFrames: this.player.lateFrames });
      return true;
    }
  }
  registerProcessor('song-player', SongPlayer);
}
