// Lumora's web remote: drives the agent's HTTP API with the token the user
// brought in the address's fragment (#token=...), which never reaches the
// server, or typed in. Kept in the tab's session storage, or the device's
// when the user asks.
'use strict';

(() => {
  const KEY = 'lumora.token';
  const CAMERA_KEY = 'lumora.camera';
  const $ = (id) => document.getElementById(id);
  let token = '';
  let cameras = [];
  let socket = null;
  let socketRetry = 1000;
  let picture = null;

  function takeToken() {
    const found = /(?:^#|&)token=([^&]*)/.exec(location.hash);
    if (found) {
      sessionStorage.setItem(KEY, decodeURIComponent(found[1]));
      // Out of the address bar and the history, where it could be copied on.
      history.replaceState(null, '', location.pathname + location.search);
    }
    token = sessionStorage.getItem(KEY) || localStorage.getItem(KEY) || '';
  }

  function say(text, error) {
    const status = $('status');
    status.textContent = text;
    status.classList.toggle('error', !!error);
  }

  const pause = (ms) => new Promise((done) => setTimeout(done, ms));

  // One API call; a busy agent (503: another request under way) or a rate
  // limit (429) is asked again a few times before the call is given up.
  async function api(method, path, body) {
    for (let attempt = 0; ; ++attempt) {
      const reply = await fetch('/api/v1/' + path, {
        method,
        cache: 'no-store',
        headers: Object.assign({ Authorization: 'Bearer ' + token },
                               body ? { 'Content-Type': 'application/json' } : {}),
        body: body ? JSON.stringify(body) : undefined,
      });
      if ((reply.status === 503 || reply.status === 429) && attempt < 8) {
        await pause(150 * (attempt + 1));
        continue;
      }
      if (reply.status === 401) {
        askForToken('The agent did not take the token.');
        throw new Error('not connected');
      }
      return reply;
    }
  }

  async function apiJson(method, path, body) {
    const reply = await api(method, path, body);
    const json = await reply.json().catch(() => ({}));
    if (!reply.ok) {
      throw new Error(json.error || ('the agent answered ' + reply.status));
    }
    return json;
  }

  // Moves go out one after the other: a stop must never overtake the start
  // it ends.
  let queue = Promise.resolve();
  function queued(task) {
    queue = queue.then(task).catch((error) => say(error.message, true));
    return queue;
  }

  const camera = () => $('camera').value;
  const cameraPath = (rest) => 'cameras/' + camera() + '/' + rest;
  const currentDevice = () => (cameras.find((c) => String(c.index) === camera()) || {}).device;

  function move(body) {
    return queued(() => apiJson('POST', cameraPath('move'), body));
  }

  // A button that acts while it is held: pointer down starts, and up,
  // leaving the button, a cancelled touch or the page losing focus stop.
  function holdButton(button, start, stop) {
    let held = false;
    const release = () => {
      if (!held) return;
      held = false;
      button.classList.remove('held');
      stop();
    };
    button.addEventListener('pointerdown', (event) => {
      event.preventDefault();
      if (held) return;
      held = true;
      button.classList.add('held');
      start();
    });
    for (const name of ['pointerup', 'pointerleave', 'pointercancel', 'lostpointercapture']) {
      button.addEventListener(name, release);
    }
    // Space or Enter held on a focused button acts the same way.
    button.addEventListener('keydown', (event) => {
      if ((event.key === ' ' || event.key === 'Enter') && !event.repeat && !held) {
        event.preventDefault();
        held = true;
        button.classList.add('held');
        start();
      }
    });
    button.addEventListener('keyup', (event) => {
      if (event.key === ' ' || event.key === 'Enter') release();
    });
    button.addEventListener('blur', release);
    window.addEventListener('blur', release);
    document.addEventListener('visibilitychange', release);
    button.addEventListener('contextmenu', (event) => event.preventDefault());
  }

  function wirePad() {
    for (const button of $('pad').querySelectorAll('button')) {
      const pan = Number(button.dataset.pan);
      const tilt = Number(button.dataset.tilt);
      if (pan === 0 && tilt === 0) {
        button.addEventListener('click', () => move({ stop: true }));
        continue;
      }
      holdButton(button, () => move({ pan, tilt }), () => move({ pan: 0, tilt: 0 }));
    }
    for (const button of $('zoom').querySelectorAll('button')) {
      const zoom = Number(button.dataset.zoom);
      holdButton(button, () => move({ zoom }), () => move({ zoom: 0 }));
    }
  }

  function flash(button, className) {
    button.classList.add(className);
    setTimeout(() => button.classList.remove(className), 900);
  }

  function wirePresets() {
    const grid = $('presets');
    const save = $('save');
    const saving = () => save.getAttribute('aria-pressed') === 'true';
    const setSaving = (on) => {
      save.setAttribute('aria-pressed', String(on));
      grid.parentElement.classList.toggle('saving', on);
      if (on) say('Tap a number to save the present position there.');
    };
    save.addEventListener('click', () => setSaving(!saving()));
    for (let number = 1; number <= 9; ++number) {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = String(number);
      button.dataset.preset = String(number);
      button.setAttribute('aria-label', 'Preset ' + number);
      button.addEventListener('click', () => {
        const what = saving() ? 'save' : 'recall';
        setSaving(false);
        queued(async () => {
          try {
            await apiJson('POST', cameraPath('presets/' + number + '/' + what));
          } catch (error) {
            flash(button, 'failed');
            throw error;
          }
          flash(button, 'done');
          say('Preset ' + number + (what === 'save' ? ' saved' : ' recalled'));
          if (what === 'recall') refreshPicture();
        });
      });
      grid.appendChild(button);
    }
  }

  function wireFraming() {
    const framing = $('framing');
    framing.addEventListener('change', () => {
      const on = framing.checked;
      queued(async () => {
        try {
          await apiJson('POST', cameraPath('framing'), { on });
          say('Auto framing ' + (on ? 'on' : 'off'));
        } catch (error) {
          framing.checked = !on;
          throw error;
        }
      });
    });
  }

  async function refreshPicture() {
    const device = currentDevice();
    try {
      const reply = await api('GET', cameraPath('snapshot.jpg'));
      if (!reply.ok || device !== currentDevice()) {
        if (!reply.ok) say('No picture: ' + ((await reply.json().catch(() => ({}))).error || reply.status), true);
        return;
      }
      const url = URL.createObjectURL(await reply.blob());
      $('snapshot').src = url;
      $('nopicture').hidden = true;
      if (picture) URL.revokeObjectURL(picture);
      picture = url;
    } catch (error) {
      say(error.message, true);
    }
  }

  function showCamera() {
    localStorage.setItem(CAMERA_KEY, camera());
    const chosen = cameras.find((c) => String(c.index) === camera());
    $('framing').checked = !!(chosen && chosen.framing);
    $('snapshot').removeAttribute('src');
    $('nopicture').hidden = false;
    refreshPicture();
  }

  async function loadCameras() {
    const json = await apiJson('GET', 'cameras');
    cameras = json.cameras || [];
    const select = $('camera');
    const wanted = select.value || localStorage.getItem(CAMERA_KEY);
    select.replaceChildren(...cameras.map((c) => new Option(c.description + ' (' + c.index + ')', c.index)));
    if (cameras.some((c) => String(c.index) === wanted)) select.value = wanted;
    $('remote').hidden = false;
    $('login').hidden = true;
    document.body.classList.add('connected');
    if (cameras.length === 0) {
      say('No camera is plugged in.', true);
      return;
    }
    say('Connected: ' + cameras.length + (cameras.length === 1 ? ' camera' : ' cameras'));
    showCamera();
  }

  function onEvent(message) {
    const device = currentDevice();
    if (message.event === 'plugged' || message.event === 'unplugged') {
      say(message.description + ' ' + message.event);
      loadCameras().catch((error) => say(error.message, true));
    } else if (message.event === 'framing' && message.device === device) {
      if (typeof message.on === 'boolean') $('framing').checked = message.on;
      if (message.what) say(message.what);
    }
  }

  // The token goes as a subprotocol: a browser's WebSocket has no other
  // way to send it.
  function connectEvents() {
    if (socket || !token) return;
    const link = $('link');
    const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/api/v1/events',
                           ['lumora.events', 'bearer.' + token]);
    socket.onopen = () => {
      socketRetry = 1000;
      link.classList.add('up');
      link.title = 'Events: connected';
    };
    socket.onmessage = (event) => {
      try { onEvent(JSON.parse(event.data)); } catch (error) { /* not ours */ }
    };
    socket.onclose = () => {
      socket = null;
      link.classList.remove('up');
      link.title = 'Events: not connected';
      setTimeout(connectEvents, socketRetry);
      socketRetry = Math.min(socketRetry * 2, 30000);
    };
  }

  function askForToken(why) {
    sessionStorage.removeItem(KEY);
    localStorage.removeItem(KEY);
    token = '';
    if (socket) socket.close();
    $('remote').hidden = true;
    $('login').hidden = false;
    document.body.classList.remove('connected');
    $('loginerror').textContent = why || '';
    $('token').focus();
  }

  function start() {
    takeToken();
    wirePad();
    wirePresets();
    wireFraming();
    $('refresh').addEventListener('click', refreshPicture);
    $('camera').addEventListener('change', showCamera);
    $('login').addEventListener('submit', (event) => {
      event.preventDefault();
      token = $('token').value.trim();
      $('token').value = '';
      if (!token) return;
      ($('remember').checked ? localStorage : sessionStorage).setItem(KEY, token);
      loadCameras().then(connectEvents).catch(() => {});
    });
    if (!token) {
      askForToken('');
      return;
    }
    loadCameras().then(connectEvents).catch((error) => say(error.message, true));
  }

  start();
})();
