// The browser as judge of a rewrite. For every case of a manifest (a page as OWA sent it, the page as the
// host sent it, the host's JSON report and the response's Content-Type) it
//  - serves both pages from a loopback server with that Content-Type, so Chromium picks the character
//    set itself, and decodes both with Chromium's own decoder in the set it picked;
//  - checks that the report's edits give the page sent, and with a conforming tokenizer that each edit
//    lands between tokens and the rewrite is the original with exactly those edits (editcheck.mjs);
//  - loads both pages in headless Chromium with every function they call stubbed, runs every event
//    handler and follows every javascript: link, and fails when the rewrite makes a call the original
//    does not (alert, confirm, prompt, window.open, or any function the worker's own edits do not call);
//  - checks that each attachment name and id of the case reaches a call of the worker's handlers as the
//    browser decoded it from the original page.
// Prints one line per case, "RESULT <tab> id <tab> PASS" or "RESULT <tab> id <tab> FAIL" followed by a line
// "FAULT <tab> id <tab> text" per fault found (the first eight); exits 0 when every case passed, 1 when one
// failed, 2 when the judge itself could not run.
//
// Usage: node judge.mjs manifest.json
// manifest: {"cases": [{"id", "name", "original", "sent", "report", "contentType",
//            "rewritten": true|false|null, "marker": "text the rewrite must hold",
//            "values": [{"name": [bytes as the page holds them], "id": [bytes]}]}]}
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import puppeteer from 'puppeteer-core';

import { checkEdits } from './editcheck.mjs';

const CHROMIUM = process.env.DLSW_CHROMIUM || '/usr/bin/chromium';
const CASE_TIMEOUT_MS = 30000;
const MARKERS = new Set(['alert', 'confirm', 'prompt', 'open']);

function fatal(message) {
    console.log(`FATAL\t${message}`);
    process.exit(2);
}

// ---- the loopback server ----

function startServer(cases) {
    const byId = new Map(cases.map((c) => [String(c.id), c]));
    const server = http.createServer((req, res) => {
        const m = /^\/case\/([^/]+)\/(original|sent)$/.exec(req.url.split('?')[0]);
        if (req.url === '/blank') {
            res.writeHead(200, { 'Content-Type': 'text/html; charset=utf-8' });
            res.end('<!doctype html><title>judge</title>');
            return;
        }
        if (m && byId.has(m[1])) {
            const c = byId.get(m[1]);
            const headers = c.contentType ? { 'Content-Type': c.contentType } : {};
            res.writeHead(200, { ...headers, 'Cache-Control': 'no-store' });
            res.end(m[2] === 'original' ? c.originalBytes : c.sentBytes);
            return;
        }
        res.writeHead(404, { 'Content-Type': 'text/plain' });
        res.end();
    });
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// ---- the edits the host's report lists ----

// The report's instructions as runs of the original kept, deleted and inserted, with their byte ranges
// in the original and in the page sent. Inserts at one place are one run (their texts in the page's
// order are what the page sent holds there).
function runsOf(report, originalLength) {
    const list = (report.instructions || []).map((x, i) => ({ ...x, i }));
    list.sort((x, y) => x.position - y.position || (x.kind === 'insert' ? 0 : 1) - (y.kind === 'insert' ? 0 : 1) ||
                        x.i - y.i);
    const runs = [];
    let cursor = 0;
    for (const x of list) {
        if (x.position > cursor)
            runs.push({ kind: 'keep', a: cursor, b: x.position });
        if (x.kind === 'insert') {
            const last = runs[runs.length - 1];
            const bytes = Buffer.from(x.text, 'utf8');
            if (last && last.kind === 'insert' && last.p === x.position) {
                last.texts.push(x.text);
                last.length += bytes.length;
                last.exact &&= !x.text.includes('\ufffd');
            } else {
                runs.push({ kind: 'insert', p: x.position, texts: [x.text], length: bytes.length,
                            exact: !x.text.includes('\ufffd') });
            }
            cursor = Math.max(cursor, x.position);
        } else if (x.kind === 'delete') {
            runs.push({ kind: 'delete', a: x.position, b: x.position + x.length });
            cursor = x.position + x.length;
        } else {
            throw new Error(`an instruction of kind ${x.kind}`);
        }
    }
    if (cursor < originalLength)
        runs.push({ kind: 'keep', a: cursor, b: originalLength });
    return runs;
}

// Places the runs in the page sent (byte ranges r0, r1); a fault when they do not give it.
function placeRuns(runs, original, sent) {
    const keptAndKnown = runs.reduce((n, r) => n + (r.kind === 'keep' ? r.b - r.a : r.kind === 'insert' && r.exact ? r.length : 0), 0);
    const unknown = runs.filter((r) => r.kind === 'insert' && !r.exact);
    if (unknown.length === 1)
        unknown[0].length = sent.length - keptAndKnown;
    else if (unknown.length > 1)
        return 'more than one insert holds bytes the report cannot show';
    let at = 0;
    for (const r of runs) {
        if (r.kind === 'delete')
            continue;
        const length = r.kind === 'keep' ? r.b - r.a : r.length;
        r.r0 = at;
        r.r1 = at + length;
        at += length;
        if (r.kind === 'keep' && !original.subarray(r.a, r.b).equals(sent.subarray(r.r0, r.r1)))
            return `the page sent does not hold the original's bytes ${r.a} to ${r.b} where the report's edits put them`;
        // One place's inserts go in from the latest the list holds to the first.
        const held = (texts) => Buffer.from(texts.join(''), 'utf8').equals(sent.subarray(r.r0, r.r1));
        if (r.kind === 'insert' && r.exact && !held([...r.texts].reverse()) && !held(r.texts))
            return `the page sent does not hold the insert at byte ${r.p} where the report's edits put it`;
    }
    if (at !== sent.length)
        return `the report's edits give ${at} bytes, the page sent has ${sent.length}`;
    return null;
}

// ---- the browser ----

// Runs in every document before its own scripts: records alert, confirm, prompt, window.open and every
// stubbed function, and the names the page found undefined.
function prelude(stubs) {
    const shown = (v) => (v === undefined ? '<undefined>'
                          : v === null || ['string', 'number', 'boolean'].includes(typeof v) ? v
                          : typeof v === 'function' ? '<function>' : '<object>');
    const own = (window.__dlsw = { calls: [], errors: [] });
    const sink = () => {
        try {
            if (window.top !== window && window.top.__dlsw)
                return window.top.__dlsw;
        } catch (e) { /* a frame of another origin keeps its own */ }
        return own;
    };
    const record = (name, args) => sink().calls.push([name, Array.from(args, shown)]);
    window.alert = function alert() { record('alert', arguments); };
    window.confirm = function confirm() { record('confirm', arguments); return false; };
    window.prompt = function prompt() { record('prompt', arguments); return null; };
    window.open = function open() { record('open', arguments); return null; };
    for (const name of stubs) {
        if (!(name in window))
            window[name] = function () { record(name, arguments); };
    }
    window.addEventListener('error', (e) => sink().errors.push(String(e.message)));
}

// Runs after the load: every event handler of every element (with a left and a right button), then every
// javascript: link, in the top document and its frames of the same origin. Returns the errors thrown.
async function runEverything() {
    const errors = [];
    const docs = [document];
    for (let i = 0; i < docs.length; ++i) {
        for (const frame of docs[i].querySelectorAll('iframe,frame,object')) {
            try {
                if (frame.contentDocument)
                    docs.push(frame.contentDocument);
            } catch (e) { /* another origin */ }
        }
    }
    for (const doc of docs) {
        const win = doc.defaultView;
        for (const el of [...doc.querySelectorAll('*')]) {
            for (const attr of [...el.attributes]) {
                const name = attr.name.toLowerCase();
                if (!name.startsWith('on') || typeof el[name] !== 'function')
                    continue;
                for (const button of [0, 2]) {
                    try {
                        el[name].call(el, new win.MouseEvent(name.slice(2), { button, bubbles: true, cancelable: true }));
                    } catch (e) {
                        errors.push(String(e && e.message));
                    }
                }
            }
        }
        for (const el of [...doc.querySelectorAll('[href]')]) {
            let url;
            try {
                url = new URL(el.getAttribute('href'), doc.baseURI);
            } catch (e) {
                continue;
            }
            if (url.protocol !== 'javascript:')
                continue;
            // The script a javascript: URL runs: its percent escapes decoded as bytes, read as UTF-8.
            const raw = url.href.slice('javascript:'.length);
            const bytes = [];
            for (let i = 0; i < raw.length; ++i) {
                if (raw[i] === '%' && /^[0-9a-fA-F]{2}$/.test(raw.slice(i + 1, i + 3))) {
                    bytes.push(parseInt(raw.slice(i + 1, i + 3), 16));
                    i += 2;
                } else {
                    bytes.push(...new TextEncoder().encode(raw[i]));
                }
            }
            try {
                (0, win.eval)(new TextDecoder().decode(new Uint8Array(bytes)));
            } catch (e) {
                errors.push(String(e && e.message));
            }
        }
    }
    return errors;
}

function withTimeout(promise, ms, what) {
    let timer;
    return Promise.race([promise, new Promise((_, reject) => {
        timer = setTimeout(() => reject(new Error(`${what} took longer than ${ms / 1000} s`)), ms);
    })]).finally(() => clearTimeout(timer));
}

class CJudge {
    constructor(browser, base) {
        this.browser = browser;
        this.base = base;
        this.stubs = new Set();
    }

    async helper() {
        if (!this.helperPage) {
            this.helperPage = await this.browser.newPage();
            await this.helperPage.goto(`${this.base}/blank`);
        }
        return this.helperPage;
    }

    // The one tab every page loads in: a new tab per load costs several times the load itself. Requests
    // leave for the loopback server only, and no handler navigates the tab away from the page loaded.
    async tab() {
        if (this.page)
            return this.page;
        const page = await this.browser.newPage();
        await page.setRequestInterception(true);
        page.on('request', (req) => {
            const mainNavigation = req.isNavigationRequest() && req.frame() === page.mainFrame();
            if (!req.url().startsWith(this.base))
                return req.abort().catch(() => {});
            if (mainNavigation) {
                if (!this.current || this.current.navigated)
                    return req.abort().catch(() => {});
                this.current.navigated = true;
            }
            return req.continue().catch(() => {});
        });
        page.on('dialog', (d) => {
            this.current?.dialogs.push(`${d.type()}(${JSON.stringify(d.message())})`);
            d.dismiss().catch(() => {});
        });
        page.on('pageerror', (e) => this.current?.errors.push(String(e && e.message)));
        this.page = page;
        return page;
    }

    // Loads one page with those names stubbed, runs everything it holds, and returns what it called.
    async load(url, stubs) {
        const page = await this.tab();
        const key = [...stubs].sort().join(' ');
        if (this.preludeKey !== key) {
            if (this.preludeId)
                await page.removeScriptToEvaluateOnNewDocument(this.preludeId);
            this.preludeId = (await page.evaluateOnNewDocument(prelude, [...stubs])).identifier;
            this.preludeKey = key;
        }
        const result = { calls: [], errors: [], charset: null, dialogs: [], navigated: false };
        this.current = result;
        try {
            await page.goto(url, { waitUntil: 'load', timeout: CASE_TIMEOUT_MS });
            result.charset = await page.evaluate(() => document.characterSet);
            result.errors.push(...(await page.evaluate(runEverything)));
            // Timers the handlers set.
            await new Promise((r) => setTimeout(r, 50));
            const state = await page.evaluate(() => window.__dlsw ? { calls: window.__dlsw.calls, errors: window.__dlsw.errors } : null);
            if (state) {
                result.calls = state.calls;
                result.errors.push(...state.errors);
            }
        } finally {
            this.current = null;
        }
        return result;
    }

    // The bytes decoded by Chromium in that set, with the character offset of each byte position given; a
    // position that cuts a character is reported.
    async decode(bytes, charset, positions) {
        const page = await this.helper();
        return page.evaluate((b64, label, positions) => {
            const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
            if (label.toLowerCase() === 'replacement')
                return { text: bytes.length ? '\ufffd' : '', offsets: positions.map((p) => (p ? 1 : 0)), cuts: [] };
            const text = new TextDecoder(label).decode(bytes);
            const cuts = [];
            const offsets = positions.map((p) => {
                const streamed = new TextDecoder(label).decode(bytes.subarray(0, p), { stream: true });
                const whole = new TextDecoder(label).decode(bytes.subarray(0, p));
                if (whole.length !== streamed.length)
                    cuts.push(p);
                return streamed.length;
            });
            return { text, offsets, cuts };
        }, bytes.toString('base64'), charset, positions);
    }

    async htmlText(texts) {
        const page = await this.helper();
        return page.evaluate((texts) => texts.map((t) => {
            const area = document.createElement('textarea');
            area.innerHTML = t;
            return area.value;
        }), texts);
    }

    async judge(c) {
        const faults = [];
        const original = c.originalBytes;
        const sent = c.sentBytes;
        // A list the host refused leaves the page as OWA sent it; the worker should not have made it.
        const submitted = Boolean(c.report.instructions_submitted);
        if (!submitted && (c.report.instructions || []).length)
            faults.push(`the host refused the worker's edits: ${c.report.submit_error || 'no reason given'}`);
        const runs = runsOf(submitted ? c.report : {}, original.length);
        const edits = runs.filter((r) => r.kind !== 'keep');
        if (c.rewritten === true && (edits.length === 0 || original.equals(sent)))
            faults.push('the page went out as OWA sent it: it should be rewritten');
        if (c.rewritten === false && !original.equals(sent))
            faults.push('the page should go out as OWA sent it');
        if (c.marker && !sent.includes(Buffer.from(c.marker, 'utf8')))
            faults.push(`the rewrite does not hold ${JSON.stringify(c.marker)}`);
        const placed = placeRuns(runs, original, sent);
        if (placed)
            faults.push(placed);

        // Stubs grow until neither page finds a name undefined; the names found serve every later case.
        const stubs = this.stubs;
        let before;
        let after;
        for (let round = 0; round < 8; ++round) {
            before = await this.load(`${this.base}/case/${c.id}/original`, stubs);
            after = await this.load(`${this.base}/case/${c.id}/sent`, stubs);
            let grown = false;
            for (const message of [...before.errors, ...after.errors]) {
                const m = /([A-Za-z_$][\w$]*) is not defined/.exec(message);
                if (m && !stubs.has(m[1])) {
                    stubs.add(m[1]);
                    grown = true;
                }
            }
            if (!grown)
                break;
        }
        if (before.charset !== after.charset)
            faults.push(`the browser reads the original as ${before.charset} and the rewrite as ${after.charset}`);

        // The edits, read as the browser reads both pages. A page in the replacement encoding (a set that
        // browsers refuse to read, such as HZ) is one U+FFFD whatever its bytes, and runs nothing.
        const readable = before.charset && before.charset.toLowerCase() !== 'replacement';
        if (!placed && readable && edits.length) {
            const origPositions = [];
            const sentPositions = [];
            for (const r of runs) {
                if (r.kind === 'delete')
                    origPositions.push(r.a, r.b);
                else
                    origPositions.push(r.kind === 'insert' ? r.p : r.a, r.kind === 'insert' ? r.p : r.b);
                if (r.kind !== 'delete')
                    sentPositions.push(r.r0, r.r1);
            }
            const o = await this.decode(original, before.charset, origPositions);
            const s = await this.decode(sent, before.charset, sentPositions);
            for (const p of o.cuts)
                faults.push(`an edit at byte ${p} of the original cuts a character of ${before.charset}`);
            for (const p of s.cuts)
                faults.push(`an edit at byte ${p} of the rewrite cuts a character of ${before.charset}`);
            const charEdits = [];
            let oi = 0;
            let si = 0;
            for (const r of runs) {
                const oa = o.offsets[oi++];
                const ob = o.offsets[oi++];
                if (r.kind === 'delete') {
                    charEdits.push({ kind: 'delete', a: oa, b: ob });
                    continue;
                }
                const sa = s.offsets[si++];
                const sb = s.offsets[si++];
                if (r.kind === 'keep') {
                    if (o.text.slice(oa, ob) !== s.text.slice(sa, sb))
                        faults.push(`the original's bytes ${r.a} to ${r.b} read otherwise once edited: ` +
                                    `${JSON.stringify(o.text.slice(oa, Math.min(ob, oa + 60)))} became ` +
                                    `${JSON.stringify(s.text.slice(sa, Math.min(sb, sa + 60)))}`);
                } else {
                    // The insert as its bytes read on their own in the page's set.
                    const own = await this.decode(sent.subarray(r.r0, r.r1), before.charset, []);
                    charEdits.push({ kind: 'insert', p: oa, text: own.text, r0: sa, r1: sb });
                }
            }
            if (faults.length === 0 || !faults.some((f) => f.includes('read otherwise')))
                faults.push(...checkEdits(o.text, s.text, charEdits));
        }

        // Calls the rewrite makes that the original does not.
        const workerNames = new Set();
        for (const r of runs) {
            if (r.kind === 'insert')
                for (const m of r.texts.join('').matchAll(/([A-Za-z_$][\w$]*)\s*\(/g))
                    workerNames.add(m[1]);
        }
        const counted = (calls) => {
            const n = new Map();
            for (const call of calls) {
                const key = JSON.stringify(call);
                n.set(key, (n.get(key) || 0) + 1);
            }
            return n;
        };
        const was = counted(before.calls);
        const now = counted(after.calls);
        for (const [key, n] of now) {
            const [name] = JSON.parse(key);
            if (!MARKERS.has(name) && workerNames.has(name))
                continue;
            if (n > (was.get(key) || 0))
                faults.push(`the rewrite calls ${name}(${JSON.parse(key)[1].map((a) => JSON.stringify(a)).join(', ')}), ` +
                            `which the original does not`);
        }
        // A hostile page must be harmless as OWA sent it, or it proves nothing of the rewrite.
        for (const [name, args] of before.calls)
            if (MARKERS.has(name))
                faults.push(`the page as OWA sent it already calls ${name}(${args.map((a) => JSON.stringify(a)).join(', ')})`);
        for (const d of after.dialogs)
            if (!before.dialogs.includes(d))
                faults.push(`the rewrite opens a dialog ${d}, which the original does not`);

        // Each attachment name and id reaches the worker's handlers as the browser read it in the original.
        if (c.values && c.values.length) {
            const decoded = [];
            for (const v of c.values) {
                const name = (await this.decode(Buffer.from(v.name), before.charset, [])).text;
                const id = (await this.decode(Buffer.from(v.id), before.charset, [])).text;
                decoded.push({ name, id });
            }
            const names = await this.htmlText(decoded.map((d) => d.name));
            const passed = new Set(after.calls.filter(([name]) => workerNames.has(name)).flatMap(([, args]) => args));
            decoded.forEach((d, i) => {
                const name = names[i].trim();
                if (!passed.has(name))
                    faults.push(`no handler of the rewrite passes the attachment name ${JSON.stringify(name)}`);
                if (!passed.has(d.id))
                    faults.push(`no handler of the rewrite passes the attachment id ${JSON.stringify(d.id)}`);
            });
        }
        return faults;
    }
}

async function main() {
    const manifestPath = process.argv[2];
    if (!manifestPath)
        fatal('usage: node judge.mjs manifest.json');
    if (!fs.existsSync(CHROMIUM))
        fatal(`no browser at ${CHROMIUM} (scripts/install-deps installs Debian's chromium)`);
    const manifest = JSON.parse(fs.readFileSync(manifestPath, 'utf8'));
    for (const c of manifest.cases) {
        c.originalBytes = fs.readFileSync(c.original);
        c.report = JSON.parse(fs.readFileSync(c.report, 'utf8'));
        c.sentBytes = c.report.instructions_submitted && fs.existsSync(c.sent) ? fs.readFileSync(c.sent) : c.originalBytes;
    }
    const server = await startServer(manifest.cases);
    const base = `http://127.0.0.1:${server.address().port}`;
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'dlsw-chromium-'));
    let browser;
    let failed = 0;
    try {
        browser = await puppeteer.launch({
            executablePath: CHROMIUM,
            headless: true,
            userDataDir: profile,
            protocolTimeout: CASE_TIMEOUT_MS * 2,
            args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-extensions',
                   '--disable-background-networking', '--disable-dev-shm-usage'],
        });
        const judge = new CJudge(browser, base);
        for (const c of manifest.cases) {
            let faults;
            const started = Date.now();
            try {
                faults = await withTimeout(judge.judge(c), CASE_TIMEOUT_MS * 2, 'the case');
            } catch (e) {
                faults = [`the judge failed: ${e && e.stack ? e.stack : e}`];
            }
            console.error(`${c.id} ${c.name}: ${Date.now() - started} ms`);
            if (faults.length) {
                ++failed;
                console.log(`RESULT\t${c.id}\tFAIL`);
                for (const fault of [...new Set(faults)].slice(0, 8))
                    console.log(`FAULT\t${c.id}\t${fault.replace(/[\r\n]/g, ' ')}`);
            } else {
                console.log(`RESULT\t${c.id}\tPASS`);
            }
        }
    } catch (e) {
        fatal(`the browser did not run: ${e && e.message}`);
    } finally {
        if (browser)
            await browser.close().catch(() => {});
        server.close();
        fs.rmSync(profile, { recursive: true, force: true });
    }
    console.log(`${manifest.cases.length - failed} passed, ${failed} failed`);
    process.exit(failed ? 1 : 0);
}

main();
