// The page's side of the game: its arguments, where the files it keeps live, when sound may
// start, and how the page looks once the game has ended.
(function () {
  var root = document.documentElement;
  var KEPT = '/kept';  // mirrored in the browser's storage
  // How long a browser that neither grants nor refuses storage may hold up the start, ms.
  var STORAGE_WAIT = 5000;
  var kept = { ready: false, busy: false, again: false };
  var lastError = '';

  function storage(state) { root.dataset.storage = state; }
  function game(state) { root.dataset.game = state; }

  // ?seed=N starts the random generator from N, as the desktop game's --seed does.
  var seed = new URLSearchParams(location.search).get('seed');
  Module.arguments = seed === null ? [] : ['--seed', seed];
  Module.canvas = document.getElementById('canvas');
  // The game's own complaint ("vantorel: ...") names the reason best; any last line otherwise.
  var gameError = '';
  Module.printErr = function (text) {
    if (text.indexOf('vantorel: ') === 0) gameError = text.slice(10);
    lastError = text;
    console.warn(text);
  };
  game('loading');
  storage('loading');

  // Every file the game keeps is written below KEPT: settings in the config folder, the rest
  // in the data folder (the game's own folder is read-only in the browser).
  Module.preRun = Module.preRun || [];
  Module.preRun.push(function () {
    FS.mkdir(KEPT);
    FS.mount(IDBFS, {}, KEPT);
    ENV.XDG_CONFIG_HOME = KEPT + '/config';
    ENV.XDG_DATA_HOME = KEPT + '/data';
    addRunDependency('kept-files');
    var answered = false;
    function loaded(ok) {
      if (answered) return;
      answered = true;
      kept.ready = ok;
      storage(ok ? 'ready' : 'unavailable');
      removeRunDependency('kept-files');
    }
    // A private window or a browser that refuses storage still plays, keeping nothing.
    try {
      FS.syncfs(true, function (err) { loaded(!err); });
    } catch (e) {
      loaded(false);
    }
    setTimeout(function () { loaded(false); }, STORAGE_WAIT);
  });

  // Called after every file the game writes; one copy runs at a time, the last write wins.
  Module.persist = function () {
    if (!kept.ready) return;
    if (kept.busy) {
      kept.again = true;
      return;
    }
    kept.busy = true;
    storage('saving');
    FS.syncfs(false, function (err) {
      kept.busy = false;
      if (err) {
        storage('unavailable');
      } else if (kept.again) {
        kept.again = false;
        Module.persist();
      } else {
        storage('saved');
      }
    });
  };

  Module.firstFrame = function () {
    Module.firstFrameMs = performance.now();
    game('running');
    watchSound();
  };

  function end(text) {
    if (document.fullscreenElement) document.exitFullscreen();
    document.getElementById('ended-text').textContent = text;
    document.body.classList.add('ended');
  }
  Module.gameEnded = function () {
    end('Vantorel has ended.');
    game('ended');
  };
  Module.onAbort = function () {
    end('Vantorel stopped: ' + (gameError || lastError || 'an internal error') + '.');
    game('failed');
  };
  // Start-up refused (no WebGL 2, a bad seed): main returned without starting the frames.
  Module.postRun = Module.postRun || [];
  Module.postRun.push(function () {
    if (root.dataset.game === 'loading' && !Browser.mainLoop.func) {
      end('Vantorel could not start: ' + (gameError || lastError || 'unknown reason') + '.');
      game('failed');
    }
  });

  // Browsers start sound only after the player's first key or click; the line says so until then.
  function watchSound() {
    var context = Module.SDL2 && Module.SDL2.audioContext;
    if (context && context.state === 'running') {
      document.getElementById('sound').hidden = true;
      return;
    }
    if (root.dataset.game === 'running') setTimeout(watchSound, 250);
  }

  // F11 belongs to the game, which makes the canvas fullscreen, not the whole browser window.
  // The game's window layer would swallow every function key and Ctrl combination; reloading
  // and the browser's other shortcuts stay the player's.
  window.addEventListener('keydown', function (e) {
    if (e.key === 'F11') e.preventDefault();
    else if (e.key === 'F5' || e.key === 'F12' || e.ctrlKey || e.metaKey) e.stopPropagation();
  }, true);
  document.getElementById('fullscreen').addEventListener('click', function (e) {
    e.currentTarget.blur();
    Module.canvas.requestFullscreen();
  });
})();
