// lurva-player.js: the <lurva-player> element. It plays a screen saver show
// (*.sdt) in its own box with the Lurva core compiled to WebAssembly: the
// core composes each step exactly as the show window does, and the element
// copies only the rectangles that changed onto its canvas.
//
//   <script type="module" src="lurva-player.js"></script>
//   <lurva-player src="show.sdt"></lurva-player>
//
// Attributes: src (a URL), tick (draw the picture after that timer step and
// hold it). Methods: load(URL | File | Blob | ArrayBuffer), unmute(), mute(),
// enterFullscreen(), advance(steps). Properties: music ("none", "muted", "playing"), facts.
// data-state: "loading", "ready" (the first picture is on the canvas) or "error".

const base = new URL('.', import.meta.url);
const kStepMs = 100;
const kShowPath = '/show.sdt';
// A step late by more than this is not made up: the show goes on from now.
const kMaxCatchUpSteps = 10;
// The screen saver ends on the third mouse movement; the element leaves
// full screen on it.
const kMovesToLeave = 3;
const kInputEvents = ['keydown', 'mousedown', 'mousemove'];

const scripts = new Map();
// Loads a classic script once per page (the decoder and the synthesizer are
// not modules).
function loadScript(name) {
  if (!scripts.has(name)) {
    scripts.set(name, new Promise((resolve, reject) => {
      const script = document.createElement('script');
      script.src = new URL(name, base).href;
      script.onload = resolve;
      script.onerror = () => reject(new Error(`${name} could not be loaded`));
      document.head.append(script);
    }));
  }
  return scripts.get(name);
}

let jpegDecoder = null;
// libjpeg-turbo in WebAssembly, the library the desktop build decodes with:
// its pixels are the ones `sdtool render` shows.
function jpegDecoderReady() {
  if (!jpegDecoder) {
    jpegDecoder = loadScript('libjpegturbowasm_decode.js').then(() =>
      globalThis.libjpegturbowasm_decode({ locateFile: (file) => new URL(file, base).href })
    ).then((codec) => {
      const decoder = new codec.JPEGDecoder();
      return (bytes) => {
        decoder.getEncodedBuffer(bytes.length).set(bytes);
        decoder.decode();
        const info = decoder.getFrameInfo();
        return { width: info.width, height: info.height, components: info.componentCount,
                 pixels: decoder.getDecodedBuffer() };
      };
    });
  }
  return jpegDecoder;
}

let synthesizerReady = null;
let soundFont = null;
function synthesizerLoaded() {
  if (!synthesizerReady) {
    synthesizerReady = loadScript('libfluidsynth-2.3.0.js')
      .then(() => loadScript('js-synthesizer.min.js'))
      .then(() => globalThis.JSSynth.waitForReady());
  }
  return synthesizerReady;
}
function soundFontLoaded() {
  if (!soundFont) {
    soundFont = fetch(new URL('TimGM6mb.sf2', base)).then((response) => {
      if (!response.ok)
        throw new Error(`the sound font could not be loaded (HTTP ${response.status})`);
      return response.arrayBuffer();
    });
  }
  return soundFont;
}

let coreFactory = null;
function createCore() {
  if (!coreFactory)
    coreFactory = import(new URL('lurva-core.js', base).href).then((module) => module.default);
  return coreFactory.then((factory) => factory({ locateFile: (file) => new URL(file, base).href }));
}

// The version in a data file's header ("QDsm", then big-endian), as `sdtool
// info` reads it; null when there is no header.
function headerVersion(bytes) {
  if (bytes.length < 8 || String.fromCharCode(...bytes.subarray(0, 4)) !== 'QDsm')
    return null;
  return ((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]) >>> 0;
}

async function bytesOf(source) {
  if (source instanceof ArrayBuffer)
    return new Uint8Array(source.slice(0));
  if (ArrayBuffer.isView(source))
    return new Uint8Array(source.buffer.slice(source.byteOffset, source.byteOffset + source.byteLength));
  if (source instanceof Blob)
    return new Uint8Array(await source.arrayBuffer());
  const url = new URL(String(source), document.baseURI);
  let response;
  try {
    response = await fetch(url);
  } catch (e) {
    throw new Error(`The show could not be fetched from ${url.href}: ${e.message}`);
  }
  if (!response.ok)
    throw new Error(`The show could not be fetched from ${url.href}: HTTP ${response.status} ${response.statusText}`.trim());
  return new Uint8Array(await response.arrayBuffer());
}

const style = `
:host { display: block; position: relative; overflow: hidden; background: #000; contain: size layout; }
:host(:fullscreen) { width: 100vw; height: 100vh; }
canvas { position: absolute; left: 0; top: 0; width: 100%; height: 100%; image-rendering: pixelated; display: block; }
button { position: absolute; right: 0.75em; bottom: 0.75em; font: inherit; padding: 0.4em 0.8em;
  border: 1px solid #fff8; border-radius: 0.3em; background: #000a; color: #fff; cursor: pointer; }
[role=alert] { position: absolute; inset: 0; display: flex; align-items: center; justify-content: center;
  padding: 1em; white-space: pre-wrap; color: #fff; background: #300; font: 14px/1.4 sans-serif; text-align: center; }
[hidden] { display: none !important; }
`;

class LurvaPlayer extends HTMLElement {
  static observedAttributes = ['src', 'tick'];

  #canvas;
  #context;
  #alert;
  #unmute;
  #core = null;
  #loadToken = 0;
  #bytes = null;
  #firstStep = 0;
  #step = 0;          // the step whose picture is shown
  #hold = false;
  #size = null;
  #clock = null;      // { start, done }: performance.now() at the first step and steps made since
  #frame = 0;
  #image = null;
  #music = 'none';
  #midi = null;
  #musicWanted = false;
  #audio = null;      // { context, synth, node }
  #facts = null;
  #moves = 0;
  #resizeObserver;
  #resizeTimer = 0;
  #onInput;

  constructor() {
    super();
    const root = this.attachShadow({ mode: 'open' });
    root.innerHTML = `<style>${style}</style><canvas part="canvas"></canvas>` +
      `<button part="unmute" hidden>Sound on</button><div role="alert" part="alert" hidden></div>`;
    this.#canvas = root.querySelector('canvas');
    this.#context = this.#canvas.getContext('2d', { alpha: false });
    this.#alert = root.querySelector('[role=alert]');
    this.#unmute = root.querySelector('button');
    this.#unmute.addEventListener('click', (event) => { event.stopPropagation(); this.unmute(); });
    this.#resizeObserver = new ResizeObserver(() => this.#sizeChanged());
    this.#onInput = (event) => this.#input(event);
    // The count starts again once full screen is left. Not on entering: the
    // change event may come after the first movements in full screen.
    this.addEventListener('fullscreenchange', () => {
      if (document.fullscreenElement !== this)
        this.#moves = 0;
    });
  }

  connectedCallback() {
    if (!this.hasAttribute('tabindex'))
      this.tabIndex = 0;
    this.#resizeObserver.observe(this);
    // The whole document's input: in full screen the focus may still be on
    // whatever was clicked to get there.
    for (const type of kInputEvents)
      document.addEventListener(type, this.#onInput, true);
  }

  disconnectedCallback() {
    this.#resizeObserver.disconnect();
    for (const type of kInputEvents)
      document.removeEventListener(type, this.#onInput, true);
    this.#stopClock();
    this.#stopAudio();
  }

  attributeChangedCallback(name, oldValue, newValue) {
    if (oldValue === newValue)
      return;
    if (name === 'src' && newValue)
      this.load(newValue);
    else if (name === 'tick' && this.#bytes)
      this.#reopen(this.#tickAttribute() ?? 0);
  }

  get src() { return this.getAttribute('src') ?? ''; }
  set src(value) { this.setAttribute('src', value); }
  get tick() { return this.#tickAttribute(); }
  set tick(value) { value === null ? this.removeAttribute('tick') : this.setAttribute('tick', String(value)); }
  // "none" (the show has no music or plays none), "muted" or "playing".
  get music() { return this.#music; }
  // The show's facts as `sdtool info` gives them: version, characters,
  // loopTime (seconds), music (its name, or null when it plays none).
  get facts() { return this.#facts; }
  // The step whose picture is on the canvas.
  get step() { return this.#step; }

  // Loads and plays a show: a URL, a File, a Blob or an ArrayBuffer.
  async load(source) {
    const token = ++this.#loadToken;
    this.#stopClock();
    this.#stopAudio();
    this.#setMusic('none');
    this.#facts = null;
    this.#bytes = null;
    this.dataset.state = 'loading';
    this.#alert.hidden = true;
    try {
      const [bytes, core] = await Promise.all([bytesOf(source), this.#coreReady()]);
      if (token !== this.#loadToken)
        return;
      this.#bytes = bytes;
      this.#open(this.#tickAttribute() ?? 0, bytes);
    } catch (e) {
      if (token === this.#loadToken)
        this.#fail(e.message);
    }
  }

  async unmute() {
    if (!this.#midi || this.#hold)
      return;
    this.#musicWanted = true;
    try {
      if (!this.#audio) {
        const [, font] = await Promise.all([synthesizerLoaded(), soundFontLoaded()]);
        if (!this.#musicWanted || !this.#midi)
          return;
        const context = new AudioContext();
        const synth = new globalThis.JSSynth.Synthesizer();
        synth.init(context.sampleRate);
        const node = synth.createAudioNode(context, 8192);
        node.connect(context.destination);
        await synth.loadSFont(font);
        await synth.addSMFDataToPlayer(this.#midi);
        // The show plays its tune again from the start whenever it ends.
        synth.setPlayerLoop(-1);
        await synth.playPlayer();
        this.#audio = { context, synth, node };
      } else {
        await this.#audio.context.resume();
      }
      if (this.#musicWanted)
        this.#setMusic('playing');
    } catch (e) {
      console.warn(`lurva-player: no music: ${e.message}`);
      this.#setMusic('muted');
    }
  }

  mute() {
    this.#musicWanted = false;
    if (this.#audio)
      this.#audio.context.suspend();
    if (this.#music === 'playing')
      this.#setMusic('muted');
  }

  // Steps the show on by count steps at once and draws the last picture,
  // playing or held (for tools and benchmarks that keep their own time).
  advance(count = 1) {
    if (!this.#core || this.dataset.state !== 'ready')
      return;
    for (let i = 0; i < count; ++i) {
      this.#core._lurva_step();
      ++this.#step;
    }
    this.#paint();
  }

  enterFullscreen() {
    return this.requestFullscreen();
  }

  // The synthesizer, for tests that follow the tune's position.
  get synthesizer() { return this.#audio ? this.#audio.synth : null; }

  // --- inside ---

  #tickAttribute() {
    const text = this.getAttribute('tick');
    if (text === null)
      return null;
    const number = Number(text);
    return Number.isInteger(number) && number >= 0 ? number : null;
  }

  async #coreReady() {
    if (!this.#core) {
      const [core, decode] = await Promise.all([createCore(), jpegDecoderReady()]);
      core.lurvaDecodeJpeg = decode;
      core.lurvaMusic = {
        open: (bytes) => { this.#midi = bytes; },
        play: () => { if (!this.#hold) this.#setMusic(this.#musicWanted ? 'playing' : 'muted'); },
        stop: () => {},
        close: () => { this.#midi = null; this.#stopAudio(); this.#setMusic('none'); },
      };
      this.#core = core;
    }
    return this.#core;
  }

  // The box's size in CSS pixels: the screen the show is laid out on.
  #boxSize() {
    const box = this.getBoundingClientRect();
    return { width: Math.max(1, Math.round(box.width)), height: Math.max(1, Math.round(box.height)) };
  }

  #open(firstStep, bytes) {
    const core = this.#core;
    core.FS.writeFile(kShowPath, bytes);
    this.#hold = this.#tickAttribute() !== null;
    this.#size = this.#boxSize();
    this.#midi = null;
    const length = core.lengthBytesUTF8(kShowPath) + 1;
    const pointer = core._malloc(length);
    core.stringToUTF8(kShowPath, pointer, length);
    const opened = core._lurva_open(pointer, this.#size.width, this.#size.height, firstStep);
    core._free(pointer);
    if (!opened) {
      this.#fail(core.UTF8ToString(core._lurva_problem()));
      return;
    }
    this.#firstStep = firstStep;
    this.#step = firstStep;
    this.#readFacts(bytes);
    this.#canvas.width = core._lurva_width();
    this.#canvas.height = core._lurva_height();
    this.#image = null;
    this.#paint();
    this.dataset.state = 'ready';
    this.dispatchEvent(new Event('ready'));
    if (this.#hold)
      this.#setMusic('none');
    else
      this.#startClock();
  }

  #reopen(firstStep) {
    this.#stopClock();
    const hadAudio = this.#audio !== null;
    this.#open(firstStep, this.#bytes);
    if (hadAudio && this.#midi && this.#musicWanted)
      this.unmute();
  }

  #readFacts(bytes) {
    const core = this.#core;
    const facts = JSON.parse(core.UTF8ToString(core._lurva_facts()));
    const namePointer = core._lurva_music_name();
    let end = namePointer;
    while (core.HEAPU8[end] !== 0)
      ++end;
    const name = new TextDecoder('shift_jis').decode(core.HEAPU8.slice(namePointer, end));
    this.#facts = {
      version: headerVersion(bytes),
      characters: facts.characters,
      loopTime: facts.loopTime,
      music: facts.playsMusic && facts.hasMusic ? name : null,
    };
  }

  #fail(message) {
    this.#stopClock();
    this.dataset.state = 'error';
    this.#alert.textContent = message;
    this.#alert.hidden = false;
    this.#setMusic('none');
    this.dispatchEvent(new CustomEvent('loaderror', { detail: message }));
  }

  #setMusic(state) {
    this.#music = state;
    this.#unmute.hidden = state !== 'muted';
    this.dispatchEvent(new Event('musicchange'));
  }

  #stopAudio() {
    if (this.#audio) {
      this.#audio.synth.stopPlayer();
      this.#audio.node.disconnect();
      this.#audio.synth.close();
      this.#audio.context.close();
      this.#audio = null;
    }
  }

  // Copies the rectangles the core presented since the last look.
  #paint() {
    const core = this.#core;
    const count = core._lurva_take_changed();
    if (count === 0)
      return;
    const width = core._lurva_width();
    const height = core._lurva_height();
    const pixels = core._lurva_pixels();
    // A view of the core's picture, made again when its memory moved.
    if (!this.#image || this.#image.buffer !== core.HEAPU8.buffer || this.#image.pointer !== pixels) {
      const data = new Uint8ClampedArray(core.HEAPU8.buffer, pixels, width * height * 4);
      this.#image = { buffer: core.HEAPU8.buffer, pointer: pixels, data: new ImageData(data, width, height) };
    }
    const rects = core.HEAP32.subarray(core._lurva_rects() >> 2, (core._lurva_rects() >> 2) + count * 4);
    for (let i = 0; i < count * 4; i += 4)
      this.#context.putImageData(this.#image.data, 0, 0, rects[i], rects[i + 1], rects[i + 2] - rects[i], rects[i + 3] - rects[i + 1]);
  }

  #startClock() {
    this.#clock = { start: performance.now(), done: 0 };
    const frame = (now) => {
      const due = Math.floor((now - this.#clock.start) / kStepMs) - this.#clock.done;
      if (due > kMaxCatchUpSteps) {
        this.#clock.done += due - 1;
      }
      for (let i = Math.min(due, kMaxCatchUpSteps); i > 0; --i) {
        this.#core._lurva_step();
        ++this.#clock.done;
        ++this.#step;
      }
      if (due > 0)
        this.#paint();
      this.#frame = requestAnimationFrame(frame);
    };
    this.#frame = requestAnimationFrame(frame);
  }

  #stopClock() {
    cancelAnimationFrame(this.#frame);
    this.#clock = null;
  }

  #sizeChanged() {
    clearTimeout(this.#resizeTimer);
    this.#resizeTimer = setTimeout(() => {
      if (!this.#bytes || this.dataset.state !== 'ready')
        return;
      const size = this.#boxSize();
      if (this.#size && size.width === this.#size.width && size.height === this.#size.height)
        return;
      // The show is laid out again at the new size, at the step it stood at.
      this.#reopen(this.#step);
    }, 100);
  }

  // In full screen the element is a screen saver: a key, a click or the
  // third mouse movement ends it. Outside full screen the show just plays.
  #input(event) {
    if (document.fullscreenElement !== this) {
      this.#moves = 0;
      return;
    }
    if (event.type === 'mousemove' && ++this.#moves < kMovesToLeave)
      return;
    document.exitFullscreen();
  }
}

if (!customElements.get('lurva-player'))
  customElements.define('lurva-player', LurvaPlayer);

export { LurvaPlayer };
