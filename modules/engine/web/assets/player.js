// The station page's player: a play button and volume over the page's <audio>, the best stream
// for this browser, reconnection after the network or the source goes away, and the title,
// listeners and recent titles kept fresh from /nowplaying.json. Text from the station only ever
// goes in as textContent.
//
// It reads the page through ids and data attributes (the README lists them), so an operator's
// own page can carry the same elements and include this file:
//   #station        data-stream, data-type, data-hls, data-hls-library, data-nowplaying,
//                   data-name, data-artwork
//   #station-audio  the <audio> element (with controls and src: it plays without this script)
//   #station-controls, #station-play, #station-volume, #station-state
//   #station-title, #station-listeners, #station-onair, #station-recent  (each optional)
'use strict';
(() => {
    const root = document.getElementById('station');
    const audio = document.getElementById('station-audio');
    if (!root || !audio) {
        return;
    }
    const byId = (id) => document.getElementById(id);
    const data = root.dataset;
    const playButton = byId('station-play');
    const volume = byId('station-volume');
    const state = byId('station-state');

    const kFirstRetryMs = 1000;
    const kLastRetryMs = 30000;
    const kPollMs = 2000;
    // Playback that has not moved for this long is taken for a dead connection.
    const kStuckMs = 8000;

    // What to play: the stream where the browser says it can, native HLS (Safari, iOS) where
    // the station offers it, hls.js for an MP3 station's HLS where neither works.
    function chooseSource() {
        if (data.stream && audio.canPlayType(data.type || 'audio/mpeg') !== '') {
            return { kind: 'stream', url: data.stream };
        }
        if (data.hls && audio.canPlayType('application/vnd.apple.mpegurl') !== '') {
            return { kind: 'native-hls', url: data.hls };
        }
        if (data.hls && data.hlsLibrary && window.MediaSource) {
            return { kind: 'hls.js', url: data.hls };
        }
        return { kind: 'stream', url: data.stream };
    }
    const source = chooseSource();

    let wanted = false;  // the listener pressed play and not pause since
    let retryMs = kFirstRetryMs;
    let retryTimer = 0;
    let hls = null;
    let lastTime = -1;
    let lastMoved = 0;
    let onAir = true;

    function say(text) {
        if (state) {
            state.textContent = text;
        }
    }

    function showButton() {
        if (playButton) {
            playButton.textContent = wanted ? 'Pause' : 'Play';
        }
        if ('mediaSession' in navigator) {
            navigator.mediaSession.playbackState = wanted ? 'playing' : 'paused';
        }
    }

    let hlsLoading = null;
    function loadHlsLibrary() {
        if (!hlsLoading) {
            hlsLoading = new Promise((resolve, reject) => {
                const script = document.createElement('script');
                script.src = data.hlsLibrary;
                script.onload = () => (window.Hls ? resolve(window.Hls) : reject(new Error('no Hls')));
                script.onerror = () => reject(new Error('hls.js did not load'));
                document.head.appendChild(script);
            });
        }
        return hlsLoading;
    }

    function detach() {
        if (hls) {
            hls.destroy();
            hls = null;
        }
        audio.removeAttribute('src');
        audio.load();
    }

    // (Re)connects from scratch: a new request each time, past any cache on the way.
    async function connect() {
        detach();
        lastTime = -1;
        lastMoved = Date.now();
        say('Connecting...');
        try {
            if (source.kind === 'hls.js') {
                const Hls = await loadHlsLibrary();
                if (!wanted) {
                    return;
                }
                // No worker: it would start from a blob: script the page's policy refuses.
                hls = new Hls({ enableWorker: false, liveDurationInfinity: true });
                hls.on(Hls.Events.ERROR, (event, detail) => {
                    if (detail.fatal) {
                        trouble();
                    }
                });
                hls.loadSource(source.url);
                hls.attachMedia(audio);
            } else {
                const bust = (source.url.includes('?') ? '&' : '?') + 't=' + Date.now();
                audio.src = source.url + bust;
            }
            await audio.play();
        } catch (error) {
            // Autoplay refusals leave the button as it was; anything else is tried again.
            if (error && error.name === 'NotAllowedError') {
                wanted = false;
                showButton();
                say('Press play to listen.');
            } else {
                trouble();
            }
        }
    }

    // The connection failed or ended: try again later, each wait twice the last, up to 30 s.
    function trouble() {
        if (!wanted || retryTimer) {
            return;
        }
        const seconds = Math.round(retryMs / 1000);
        say(onAir ? `Reconnecting in ${seconds} s...` : `Off air. Trying again in ${seconds} s...`);
        retryTimer = setTimeout(() => {
            retryTimer = 0;
            if (wanted) {
                connect();
            }
        }, retryMs);
        retryMs = Math.min(retryMs * 2, kLastRetryMs);
    }

    function retryNow() {
        if (retryTimer) {
            clearTimeout(retryTimer);
            retryTimer = 0;
            connect();
        }
    }

    function play() {
        if (wanted) {
            return;
        }
        wanted = true;
        retryMs = kFirstRetryMs;
        showButton();
        connect();
    }

    function pause() {
        wanted = false;
        clearTimeout(retryTimer);
        retryTimer = 0;
        showButton();
        // A live stream is not resumed where it stopped: let the connection go.
        detach();
        say('Paused.');
    }

    for (const event of ['error', 'ended']) {
        audio.addEventListener(event, () => trouble());
    }
    audio.addEventListener('playing', () => {
        retryMs = kFirstRetryMs;
        say('Playing.');
    });
    // A stalled connection may recover by itself; one that stays stuck is replaced.
    setInterval(() => {
        if (!wanted || retryTimer) {
            return;
        }
        if (audio.currentTime !== lastTime) {
            lastTime = audio.currentTime;
            lastMoved = Date.now();
        } else if (Date.now() - lastMoved > kStuckMs) {
            trouble();
        }
    }, 1000);

    // The script's own controls replace the browser's.
    const controls = byId('station-controls');
    if (controls && playButton) {
        audio.removeAttribute('controls');
        audio.removeAttribute('src');
        audio.preload = 'none';
        controls.hidden = false;
        playButton.addEventListener('click', () => (wanted ? pause() : play()));
        showButton();
    }
    if (volume) {
        let saved = null;
        try {
            saved = localStorage.getItem('station-volume');
        } catch (error) {
            // Storage may be off: the volume is then not remembered.
        }
        if (saved !== null && !Number.isNaN(Number(saved))) {
            volume.value = saved;
        }
        audio.volume = Number(volume.value);
        volume.addEventListener('input', () => {
            audio.volume = Number(volume.value);
            try {
                localStorage.setItem('station-volume', volume.value);
            } catch (error) {
                // As above.
            }
        });
    }

    // Media Session: the title on the lock screen and in the system's media controls.
    const artwork = data.artwork ? [{ src: data.artwork, sizes: '512x512' }] : [];
    function describe(title) {
        if (!('mediaSession' in navigator) || !window.MediaMetadata) {
            return;
        }
        const name = data.name || document.title;
        navigator.mediaSession.metadata =
            new MediaMetadata({ title: title || name, artist: name, album: name, artwork });
    }
    if ('mediaSession' in navigator) {
        navigator.mediaSession.setActionHandler('play', play);
        navigator.mediaSession.setActionHandler('pause', pause);
        navigator.mediaSession.setActionHandler('stop', pause);
    }

    function setText(id, text) {
        const element = byId(id);
        if (element && element.textContent !== text) {
            element.textContent = text;
        }
    }

    function clock(seconds) {
        const two = (n) => String(n).padStart(2, '0');
        return `${two(Math.floor(seconds / 3600))}:${two(Math.floor(seconds / 60) % 60)}:` +
               two(seconds % 60);
    }

    let shownTitle = null;
    let shownRecent = '';
    function show(now) {
        const wasOnAir = onAir;
        onAir = now.on_air === true;
        const title = typeof now.title === 'string' ? now.title : '';
        if (title !== shownTitle) {
            shownTitle = title;
            setText('station-title', title || (onAir ? 'No title yet' : 'Nothing on air'));
            describe(title);
        }
        setText('station-listeners', String(now.listeners ?? 0));
        setText('station-onair', onAir ? `On air for ${clock(now.on_air_seconds ?? 0)}` : 'Off air');
        const recent = Array.isArray(now.recent) ? now.recent : [];
        const list = byId('station-recent');
        const key = JSON.stringify(recent);
        if (list && key !== shownRecent) {
            shownRecent = key;
            list.replaceChildren(...recent.map((entry) => {
                const item = document.createElement('li');
                item.textContent = String(entry.title ?? '');
                return item;
            }));
        }
        // The source is back: no need to wait out the back-off.
        if (onAir && !wasOnAir) {
            retryNow();
        }
    }

    // One request at a time, every 2 s while the page is seen or plays.
    async function poll() {
        if (!data.nowplaying) {
            return;
        }
        if (document.visibilityState === 'visible' || wanted) {
            try {
                const answer = await fetch(data.nowplaying, { cache: 'no-store' });
                if (answer.ok) {
                    show(await answer.json());
                }
            } catch (error) {
                // The station is unreachable for now; the next poll tries again.
            }
        }
        setTimeout(poll, kPollMs);
    }
    describe(byId('station-title')?.textContent.trim() ?? '');
    poll();
})();
