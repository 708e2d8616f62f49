// The operator's web console in Debian's Chromium the size of a phone, over HTTPS, as an operator
// uses it: sent to the login form, a mistyped password, the login, the dashboard with the live
// source, a new title, an mpg123 listener kicked, an address banned and let in again, the
// source, reports and log pages, the settings page and its Reload, the logout. Along the way: the session cookie's flags as the browser stored them, axe-core on
// every page (light and dark), forms posted without their token or from another origin, and the
// old cookie replayed after the logout.
//
// Run by console_browser_test.cpp, which starts the station and passes, in the environment:
//   ORV_CONSOLE_URL          https://127.0.0.1:PORT
//   ORV_CONSOLE_CA           the CA the station's certificate is issued by (for Node's requests)
//   ORV_CONSOLE_CERTIFICATE  the station's certificate (Chromium trusts its key, and only it)
//   ORV_CONSOLE_USER, ORV_CONSOLE_PASSWORD
//   ORV_SCREENSHOT_DIR       where the screenshots go
//   ORV_BROWSER_PROFILE      a scratch Chromium profile
// Prints one line per check ("ok ..." / "FAILED ..."); the exit code is the number of failures
// (capped at 100), 101 when the run stopped early.
import { spawn } from 'node:child_process';
import { createHash, X509Certificate } from 'node:crypto';
import { readFileSync } from 'node:fs';
import http from 'node:http';
import https from 'node:https';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

import { axeSource, setting } from './common.mjs';

const base = setting('ORV_CONSOLE_URL');
const ca = readFileSync(setting('ORV_CONSOLE_CA'));
const certificate = readFileSync(setting('ORV_CONSOLE_CERTIFICATE'));
const user = setting('ORV_CONSOLE_USER');
const password = setting('ORV_CONSOLE_PASSWORD');
const screenshots = setting('ORV_SCREENSHOT_DIR');
const profile = setting('ORV_BROWSER_PROFILE');

// The whole run is bounded; the browser goes with it.
let browser = null;
const deadline = setTimeout(async () => {
    console.error('FAILED: the run did not finish within 75 s');
    await browser?.close().catch(() => {});
    process.exit(101);
}, 75000);

let failures = 0;
function check(passed, what, detail = '') {
    if (passed) {
        console.log(`ok ${what}`);
    } else {
        failures += 1;
        console.log(`FAILED ${what}${detail ? `\n    ${detail}` : ''}`);
    }
    return passed;
}

// A plain-HTTP GET from `from` (a loopback address), on the port that also speaks TLS; the
// answer's status line alone.
function plainStatus(target, from) {
    return new Promise((resolve, reject) => {
        const url = new URL(target, base);
        const outgoing = http.get({ host: url.hostname, port: url.port, path: url.pathname,
                                    localAddress: from }, (incoming) => {
            resolve(incoming.statusCode);
            incoming.destroy();
        });
        outgoing.setTimeout(10000, () => outgoing.destroy(new Error(`GET ${target}: no answer`)));
        outgoing.on('error', reject);
    });
}

// mpg123 listening to the station as a listener's player would; `ended` settles when it exits.
let player = null;
function startPlayer() {
    const url = new URL('/stream', base);
    url.protocol = 'http:';
    player = spawn('mpg123', ['-q', '-w', '/dev/null', url.href], { stdio: 'ignore' });
    player.ended = new Promise((resolve) => player.once('exit', () => resolve(true)));
    return player;
}

function within(promise, ms) {
    return Promise.race([promise, new Promise((resolve) => setTimeout(() => resolve(false), ms))]);
}

// A request from Node itself, with headers a browser would not let a page set (Origin) or with
// a cookie the browser no longer holds. The station's certificate is checked against the CA.
function request(method, target, headers = {}, body = '') {
    return new Promise((resolve, reject) => {
        const url = new URL(target, base);
        const outgoing = https.request(
            { host: url.hostname, port: url.port, path: url.pathname + url.search, method, ca,
              headers: { ...headers, 'Content-Length': Buffer.byteLength(body) } },
            (incoming) => {
                let text = '';
                incoming.setEncoding('utf8');
                incoming.on('data', (piece) => { text += piece; });
                incoming.on('end', () => resolve({ status: incoming.statusCode,
                                                   headers: incoming.headers, body: text }));
            });
        outgoing.setTimeout(10000, () => outgoing.destroy(new Error(`${method} ${target}: no answer`)));
        outgoing.on('error', reject);
        outgoing.end(body);
    });
}

function form(fields) {
    return new URLSearchParams(fields).toString();
}

async function stationTitle() {
    const status = await request('GET', '/status-json.xsl');
    return JSON.parse(status.body).icestats.source?.title;
}

// axe-core in the page, in the light and the dark colour scheme; every violation is a failure,
// printed with the elements it names. axe goes in through the DevTools protocol
// (Runtime.evaluate), which the page's Content-Security-Policy does not govern, so the page is
// checked with its own policy in force: no setBypassCSP, no script tag.
async function accessible(page, name) {
    for (const scheme of ['light', 'dark']) {
        await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
        // axe measures contrast against the colours the page paints; a page that leaves its
        // background to the browser's canvas is measured against white even in the dark.
        const background = await page.evaluate(() => getComputedStyle(document.body).backgroundColor);
        const [r, g, b, alpha = 1] = (background.match(/[\d.]+/g) ?? []).map(Number);
        check(alpha === 1 && (scheme === 'dark' ? r + g + b < 150 : r + g + b > 600),
              `the ${name} paints its own ${scheme} background`, background);
        if (!(await page.evaluate(() => typeof window.axe === 'object'))) {
            await page.evaluate(axeSource);
        }
        const result = await page.evaluate(() => window.axe.run(document, {
            runOnly: { type: 'tag',
                       values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa',
                                'best-practice'] },
        }));
        const found = result.violations.map((v) => `${v.id} (${v.impact}): ${v.help}\n` +
            v.nodes.map((n) => `        ${n.target.join(' ')}: ${n.failureSummary.replace(/\n/g, ' ')}`)
                .join('\n'));
        check(found.length === 0 && result.passes.length > 0,
              `axe finds nothing on the ${name} (${scheme}, ${result.passes.length} rules pass)`,
              found.join('\n    '));
    }
    await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: 'light' }]);
}

// Nothing is wider than the phone: no sideways scrolling.
async function fitsThePhone(page, name) {
    const width = await page.evaluate(() => document.documentElement.scrollWidth);
    check(width <= 390, `the ${name} fits 390 px without sideways scrolling`, `scrollWidth ${width}`);
}

async function rows(page) {
    return page.$$eval('tr', (all) => Object.fromEntries(all.map((row) =>
        [row.querySelector('th')?.textContent.trim(), row.querySelector('td')?.textContent.trim()])));
}

async function submit(page, selector) {
    const [response] = await Promise.all([
        page.waitForNavigation({ waitUntil: 'load' }),
        page.tap(selector),  // a finger, not a mouse
    ]);
    return response;
}

async function run() {
    // Chromium trusts the station's key and nothing else it would otherwise refuse: the
    // SPKI pin, not --ignore-certificate-errors, so a wrong certificate still fails.
    const spki = createHash('sha256')
        .update(new X509Certificate(certificate).publicKey.export({ type: 'spki', format: 'der' }))
        .digest('base64');
    browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        headless: true,
        userDataDir: profile,
        // Chromium's sandbox needs user namespaces that containers and root do not give it;
        // the only pages loaded are the test station's.
        args: ['--no-sandbox', `--ignore-certificate-errors-spki-list=${spki}`, '--disable-gpu',
               '--no-first-run', '--disable-background-networking', '--disable-component-update',
               '--disable-sync', '--disable-quic'],
        defaultViewport: { width: 390, height: 844, deviceScaleFactor: 1, isMobile: true,
                           hasTouch: true },
        timeout: 30000,
        protocolTimeout: 30000,
    });
    const page = await browser.newPage();
    page.setDefaultTimeout(15000);

    // The console's address sends a browser without a session to the login form.
    let response = await page.goto(`${base}/admin/`, { waitUntil: 'load' });
    check(page.url() === `${base}/admin/login`, 'the console sends to the login form', page.url());
    check(response.status() === 200, 'the login form is 200', `${response.status()}`);
    check(response.securityDetails() !== null, 'the login form came over TLS');
    const policy = response.headers()['content-security-policy'] ?? '';
    check(policy.includes("default-src 'none'") && !policy.includes('script-src'),
          'the login form allows no script', policy);
    check((await page.title()) === 'Log in - Orvanta Server', 'the login form\'s title',
          await page.title());
    // The policy holds in this browser: a script put into the page does not run.
    await page.addScriptTag({ content: 'document.documentElement.dataset.ran = "yes";' })
        .catch(() => {});
    check((await page.evaluate(() => document.documentElement.dataset.ran)) === undefined,
          'an inline script in the console does not run');
    await page.screenshot({ path: path.join(screenshots, 'console-login-390x844.png') });
    await accessible(page, 'login form');
    await fitsThePhone(page, 'login form');

    // A mistyped password: the form again, with the reason read out.
    await page.type('#user', user);
    await page.type('#password', `${password}!`);
    response = await submit(page, 'form[action="/admin/login"] button[type=submit]');
    check(response.status() === 403, 'a wrong password is refused', `${response.status()}`);
    const alert = await page.$eval('[role=alert]', (e) => e.textContent).catch(() => '');
    check(alert === 'Wrong user or password.', 'the refusal says why', alert);
    check((await page.cookies()).every((c) => c.name !== 'ovadmin'),
          'a wrong password opens no session');
    await accessible(page, 'refused login');

    // The right one.
    await page.type('#user', user);
    await page.type('#password', password);
    response = await submit(page, 'form[action="/admin/login"] button[type=submit]');
    check(page.url() === `${base}/admin/`, 'the login leads to the dashboard', page.url());
    const h1 = await page.$eval('h1', (e) => e.textContent);
    check(h1 === 'Dashboard', 'the dashboard\'s heading', h1);
    const headings = await page.$$eval('h2', (all) => all.map((e) => e.textContent));
    check(headings.includes('On air'), 'the dashboard has "On air"', headings.join(', '));
    let table = await rows(page);
    check(/^On air \(.+\) for /.test(table.State ?? ''), 'the station is on air', table.State);
    check((table.Stream ?? '').startsWith('audio/mpeg') && table.Stream.includes('128 kbit/s'),
          'the dashboard shows ffmpeg\'s stream', table.Stream);

    // The session cookie as the browser stored it (the DevTools protocol sees HttpOnly ones).
    const session = (await page.cookies()).find((c) => c.name === 'ovadmin');
    if (check(session !== undefined, 'the login sets the session cookie')) {
        check(session.httpOnly, 'the session cookie is HttpOnly');
        check(session.secure, 'the session cookie is Secure over HTTPS');
        check(session.sameSite === 'Strict', 'the session cookie is SameSite=Strict',
              `${session.sameSite}`);
        check(session.path === '/admin', 'the session cookie is for /admin only', session.path);
        check(session.session, 'the session cookie ends with the browser', `${session.expires}`);
        check(session.value.length >= 43, 'the session id is long', `${session.value.length}`);
    }
    check(!(await page.evaluate(() => document.cookie)).includes('ovadmin'),
          'the page cannot read the session cookie');
    await accessible(page, 'dashboard');
    await fitsThePhone(page, 'dashboard');

    // A title through the form: on the dashboard and in the status document.
    const title = 'Dawn Chorus – live from the marsh';
    await page.$eval('#title', (e) => { e.value = ''; });
    await page.type('#title', title);
    response = await submit(page, 'form[action="/admin/title"] button[type=submit]');
    check(page.url() === `${base}/admin/?done=title`, 'the title form leads back to the dashboard',
          page.url());
    const notice = await page.$eval('[role=status]', (e) => e.textContent).catch(() => '');
    check(notice === 'The title is set.', 'the dashboard says the title is set', notice);
    table = await rows(page);
    check(table.Title === title, 'the dashboard shows the new title', table.Title);
    check((await page.$eval('#title', (e) => e.value)) === title, 'the form holds the new title');
    check((await stationTitle()) === title, '/status-json.xsl has the new title');
    await page.screenshot({ path: path.join(screenshots, 'console-dashboard-390x844.png') });
    await accessible(page, 'dashboard with a notice');

    // Forms that are not the dashboard's own. First, from a page of the same origin (the status
    // document, which carries no policy against fetch), a POST without the token: the browser
    // sends the cookie and its own Origin, so only the token is missing.
    const other = await browser.newPage();
    await other.goto(`${base}/status-json.xsl`, { waitUntil: 'load' });
    const forged = await other.evaluate(async () => {
        const answer = await fetch('/admin/title', {
            method: 'POST', redirect: 'manual', credentials: 'same-origin',
            headers: { 'Content-Type': 'application/x-www-form-urlencoded' },
            body: 'title=Forged+without+a+token',
        });
        return { status: answer.status, body: await answer.text() };
    });
    check(forged.status === 403 && forged.body.includes('That form is not one of ours.'),
          'a title form without its token is refused', `${forged.status}`);
    await other.close();

    // Then with the right cookie and token but a foreign Origin, which only a non-browser can
    // forge; and the same request from our own origin, to show the cookie and token were good.
    const token = await page.$eval('form[action="/admin/title"] input[name=csrf]', (e) => e.value);
    const cookie = `ovadmin=${session?.value}`;
    const post = (origin, fields, who = cookie) => request('POST', '/admin/title', {
        Cookie: who, Origin: origin, 'Content-Type': 'application/x-www-form-urlencoded',
    }, form(fields));
    const foreign = await post('https://evil.example', { csrf: token, title: 'Forged elsewhere' });
    check(foreign.status === 403 && foreign.body.includes('That form is not one of ours.'),
          'a title form from another origin is refused', `${foreign.status}`);
    check((await stationTitle()) === title, 'the refused forms changed no title');
    const own = await post(base, { csrf: token, title });
    check(own.status === 303 && own.headers.location === '/admin/?done=title',
          'the same form from our origin with its token is taken', `${own.status}`);

    // Who listens: mpg123 is listed with its player, and Kick ends its connection (the player
    // sees the stream end and exits).
    startPlayer();
    let row = -1;
    for (let tries = 0; tries < 50 && row < 0; ++tries) {
        await page.goto(`${base}/admin/listeners`, { waitUntil: 'load' });
        row = await page.$$eval('tbody tr', (all) =>
            all.findIndex((tr) => tr.cells[2]?.textContent.includes('mpg123')));
        if (row < 0) {
            await new Promise((resolve) => setTimeout(resolve, 200));
        }
    }
    if (check(row >= 0, 'the listeners page lists mpg123')) {
        await accessible(page, 'listeners page');
        await fitsThePhone(page, 'listeners page');
        await page.screenshot({ path: path.join(screenshots, 'console-listeners-390x844.png') });
        await submit(page, `tbody tr:nth-child(${row + 1}) form[action="/admin/kick"] button`);
        const kicked = await page.$eval('[role=status]', (e) => e.textContent).catch(() => '');
        check(/^Listener \d+ is disconnected\.$/.test(kicked), 'the page says who was kicked',
              kicked);
        check(await within(player.ended, 5000), 'the kicked mpg123 sees its stream end');
    }

    // A ban from the bans page: the banned address gets 403, this one keeps its console.
    await page.goto(`${base}/admin/bans`, { waitUntil: 'load' });
    await page.type('#address', '127.0.0.2');
    await submit(page, 'form[action="/admin/ban"] button[type=submit]');
    const banned = await page.$eval('[role=status]', (e) => e.textContent).catch(() => '');
    check(banned === 'The ban is in force and saved.', 'the bans page says the ban holds', banned);
    check((await page.$$eval('tbody td', (all) => all.map((e) => e.textContent)))
              .includes('127.0.0.2'), 'the bans page lists the ban');
    await accessible(page, 'bans page');
    await fitsThePhone(page, 'bans page');
    check(await plainStatus('/stream', '127.0.0.2') === 403,
          'a listener from the banned address gets 403');
    check(await plainStatus('/status-json.xsl', '127.0.0.1') === 200,
          'this address is not banned');
    await submit(page, 'form[action="/admin/unban"] button[type=submit]');
    check(await plainStatus('/status-json.xsl', '127.0.0.2') === 200,
          'Remove lifts the ban');

    // The dashboard's chart is drawn inside the page, under the page's own policy.
    await page.goto(`${base}/admin/`, { waitUntil: 'load' });
    const chart = await page.$eval('svg.chart', (e) => ({
        label: e.getAttribute('aria-label'), width: e.getBoundingClientRect().width,
    })).catch(() => null);
    check(/^Listeners over the last 60 minutes: now \d+, highest \d+$/.test(chart?.label ?? ''),
          'the dashboard draws the listener chart with its text alternative', chart?.label);
    check((chart?.width ?? 0) > 200, 'the chart takes the width of the page', `${chart?.width}`);

    // The source page: ffmpeg as it named itself, the kick form; checked like the others.
    await page.goto(`${base}/admin/source`, { waitUntil: 'load' });
    table = await rows(page);
    check((table.Encoder ?? '').startsWith('Lavf'), 'the source page shows ffmpeg\'s User-Agent',
          table.Encoder);
    check((await page.$('form[action="/admin/source/kick"]')) !== null,
          'the source page offers the kick');
    await page.screenshot({ path: path.join(screenshots, 'console-source-390x844.png') });
    await accessible(page, 'source page');
    await fitsThePhone(page, 'source page');

    // The log page holds what was just done, and its filter narrows it.
    await page.goto(`${base}/admin/log?q=KICKED`, { waitUntil: 'load' });
    const logged = await page.$eval('pre.log', (e) => e.textContent).catch(() => '');
    check(logged.includes('(kicked by admin on the web console)') &&
          logged.split('\n').filter((l) => l).every((l) => l.toLowerCase().includes('kicked')),
          'the log page shows the kick, and only lines that hold the filter', logged.slice(0, 200));
    await accessible(page, 'log page');
    await fitsThePhone(page, 'log page');

    // The reports page: today's listening (the kicked mpg123 among it), its charts with their
    // tables, and the export links; checked like the others.
    let report = '';
    for (let tries = 0; tries < 20 && !/Sessions\s*[1-9]/.test(report); ++tries) {
        await page.goto(`${base}/admin/reports?range=today`, { waitUntil: 'load' });
        report = await page.$eval('main', (e) => e.innerText).catch(() => '');
        if (!/Sessions\s*[1-9]/.test(report)) {
            await new Promise((resolve) => setTimeout(resolve, 250));
        }
    }
    check(/Sessions\s*[1-9]/.test(report) && report.includes('Total listening hours'),
          'the reports page counts today\'s sessions', report.slice(0, 300));
    check((await page.$$('svg.chart')).length >= 2 && (await page.$$('main table')).length >= 3,
          'the reports page draws its charts with their tables');
    check((await page.$('a[href^="/admin/reports/export?what=sessions&format=csv"]')) !== null,
          'the reports page links the exports');
    await page.screenshot({ path: path.join(screenshots, 'console-reports-390x844.png') });
    await accessible(page, 'reports page');
    await fitsThePhone(page, 'reports page');

    // Settings: read-only, the source password only as "set"; Reload re-reads Config.ini and
    // the page shows what it said.
    await page.goto(`${base}/admin/settings`, { waitUntil: 'load' });
    const shown = await page.$eval('main', (e) => e.textContent);
    check(!shown.includes('hackme') && !shown.includes('pbkdf2'),
          'the settings page shows no password and no hash');
    await accessible(page, 'settings page');
    await fitsThePhone(page, 'settings page');
    await submit(page, 'form[action="/admin/reload"] button[type=submit]');
    let said = '';
    for (let tries = 0; tries < 25 && !said.includes('re-read'); ++tries) {
        await page.goto(`${base}/admin/settings`, { waitUntil: 'load' });
        said = await page.$eval('main', (e) => e.textContent);
        if (!said.includes('re-read')) {
            await new Promise((resolve) => setTimeout(resolve, 200));
        }
    }
    check(said.includes('Last reload:') && said.includes('re-read; nothing changed.'),
          'Reload re-reads the configuration and the page says what it did', said.slice(0, 300));

    // The logout, from the button in the header.
    response = await submit(page, 'header form[action="/admin/logout"] button[type=submit]');
    check(page.url() === `${base}/admin/login`, 'the logout leads to the login form', page.url());
    check((await page.cookies()).every((c) => c.name !== 'ovadmin'),
          'the logout removes the session cookie');
    await page.goto(`${base}/admin/`, { waitUntil: 'load' });
    check(page.url() === `${base}/admin/login`, 'after the logout the dashboard sends to the login',
          page.url());
    const replayed = await request('GET', '/admin/', { Cookie: cookie });
    check(replayed.status === 303 && replayed.headers.location === '/admin/login',
          'the old cookie replayed gets no dashboard', `${replayed.status} ${replayed.body.slice(0, 80)}`);
    const replayedForm = await post(base, { csrf: token, title: 'After the logout' });
    check(replayedForm.status === 403 && replayedForm.body.includes('Your session has ended.'),
          'the old cookie and token replayed set no title', `${replayedForm.status}`);
    check((await stationTitle()) === title, 'the title is still the one the operator set');
}

try {
    await run();
} catch (error) {
    console.log(`FAILED: the run stopped: ${error.stack ?? error}`);
    failures = -1;
} finally {
    if (player !== null && player.exitCode === null && player.signalCode === null) {
        player.kill();
    }
    await browser?.close().catch(() => {});
    clearTimeout(deadline);
}
process.exit(failures < 0 ? 101 : Math.min(failures, 100));
