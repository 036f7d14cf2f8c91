// Checks a rewrite against its original with a conforming HTML tokenizer: the rewrite must be the original
// with exactly the edits the host's report lists, each landing where the tokenizer puts a token boundary
// (or an attribute boundary of a real start tag), so that none of the page's own text or attributes turns
// into markup and none of the worker's markup into text.
//
// Everything works on decoded characters: the caller decodes both pages as the browser did and gives the
// character offsets of every edit.
import { SAXParser } from 'parse5-sax-parser';

// Elements whose content the tokenizer reads as text (scripting on, as in a browser).
const RAW_TEXT = new Set(['script', 'style', 'textarea', 'title', 'xmp', 'iframe', 'noembed', 'noframes',
                          'noscript', 'plaintext']);

// The tokenizer fed with the parser's feedback (raw-text elements, foreign content), keeping every
// character token with its own source range rather than runs of text.
class CTokenRecorder extends SAXParser {
    constructor() {
        super({ sourceCodeLocationInfo: true });
        this.tokens = [];
    }
    onCharacter(token) {
        const loc = token.location;
        this.tokens.push({ type: 'text', s: loc.startOffset, e: loc.endOffset, text: token.chars });
    }
    onWhitespaceCharacter(token) { this.onCharacter(token); }
    onNullCharacter(token) { this.onCharacter(token); }
    onEof() { this.stopped = true; }
    onStartTag(token) {
        const loc = token.location;
        const attrs = token.attrs.map((a) => {
            const at = loc.attrs?.[a.name];
            return { name: a.name, value: a.value, s: at ? at.startOffset : -1, e: at ? at.endOffset : -1 };
        });
        this.tokens.push({ type: 'start', s: loc.startOffset, e: loc.endOffset, name: token.tagName,
                           selfClosing: token.selfClosing, attrs });
    }
    onEndTag(token) {
        const loc = token.location;
        this.tokens.push({ type: 'end', s: loc.startOffset, e: loc.endOffset, name: token.tagName });
    }
    onComment(token) {
        const loc = token.location;
        this.tokens.push({ type: 'comment', s: loc.startOffset, e: loc.endOffset, text: token.data });
    }
    onDoctype(token) {
        const loc = token.location;
        this.tokens.push({ type: 'doctype', s: loc.startOffset, e: loc.endOffset, name: token.name });
    }
}

// The tokens of a text; a run of text is one token spanning the source between the markup around it
// (the tokenizer's own ranges of character tokens are not exact next to character references).
export function tokenize(text) {
    const recorder = new CTokenRecorder();
    recorder.tokenizer.write(text, true);
    const out = [];
    for (const t of recorder.tokens) {
        const last = out[out.length - 1];
        if (t.type === 'text' && last && last.type === 'text')
            last.text += t.text;
        else
            out.push({ ...t });
    }
    for (let i = 0; i < out.length; ++i) {
        if (out[i].type !== 'text')
            continue;
        out[i].s = i > 0 ? out[i - 1].e : 0;
        out[i].e = i + 1 < out.length ? out[i + 1].s : text.length;
    }
    return out;
}

// Adjacent text tokens as one, for comparing streams whose text runs were cut differently.
function mergeText(tokens) {
    const out = [];
    for (const t of tokens) {
        const last = out[out.length - 1];
        if (t.type === 'text' && t.text === '')
            continue;
        if (t.type === 'text' && last && last.type === 'text')
            out.push({ ...out.pop(), text: last.text + t.text, e: t.e });
        else
            out.push({ ...t });
    }
    return out;
}

function show(t) {
    if (!t)
        return 'the end of the page';
    const cut = (s) => JSON.stringify(s.length > 80 ? s.slice(0, 80) + '...' : s);
    switch (t.type) {
    case 'start':
        return `<${t.name}${t.attrs.map((a) => ` ${a.name}=${cut(a.value)}`).join('')}${t.selfClosing ? '/' : ''}>`;
    case 'end':
        return `</${t.name}>`;
    case 'comment':
        return `comment ${cut(t.text)}`;
    case 'doctype':
        return `doctype ${t.name}`;
    default:
        return `text ${cut(t.text)}`;
    }
}

function same(a, b) {
    if (!a || !b || a.type !== b.type)
        return false;
    switch (a.type) {
    case 'start':
        return a.name === b.name && a.selfClosing === b.selfClosing && a.attrs.length === b.attrs.length &&
               a.attrs.every((x, i) => x.name === b.attrs[i].name && x.value === b.attrs[i].value);
    case 'end':
        return a.name === b.name;
    case 'doctype':
        return a.name === b.name;
    default:
        return a.text === b.text;
    }
}

// The place a position takes among the tokens of a page: null when it is between tokens, else a text
// saying why it is not. Inside a run of text any place between characters is between tokens, except
// inside a character reference; inside a start tag, its attribute boundaries are.
function placeOf(source, tokens, pos, what) {
    for (const t of tokens) {
        if (t.s >= pos)
            break;
        if (!(t.s < pos && pos < t.e))
            continue;
        if (t.type === 'text') {
            const amp = source.lastIndexOf('&', pos - 1);
            if (amp < t.s || !/^&[#A-Za-z0-9]*$/.test(source.slice(amp, pos)) || !/[#A-Za-z0-9;]/.test(source[pos]))
                return null;
            return `${what} at character ${pos} falls inside the character reference ` +
                   `${JSON.stringify(source.slice(amp, pos + 8))}`;
        }
        if (t.type === 'start') {
            const nameEnd = t.s + 1 + t.name.length;
            const inAttr = t.attrs.find((a) => a.s < pos && pos < a.e);
            if (pos >= nameEnd && !inAttr && pos < t.e)
                return null;
            // An edit of a value stays between its quotes (or inside an unquoted value).
            if (inAttr && valueRange(source, inAttr)[0] <= pos && pos <= valueRange(source, inAttr)[1])
                return null;
            return `${what} at character ${pos} falls inside ${inAttr ? `the attribute ${inAttr.name} of ` : ''}` +
                   `the tag ${show(t)}`;
        }
        return `${what} at character ${pos} falls inside the ${show(t)}`;
    }
    return null;
}

// The source range of an attribute's value, inside its quotes.
function valueRange(source, attr) {
    const src = source.slice(attr.s, attr.e);
    const eq = src.indexOf('=');
    if (eq < 0)
        return [attr.e, attr.e];
    let a = attr.s + eq + 1;
    while (/[\t\n\f\r ]/.test(source[a]) && a < attr.e)
        ++a;
    const quoted = source[a] === '"' || source[a] === "'";
    return quoted ? [a + 1, attr.e - 1] : [a, attr.e];
}

// Text tokens cut at the given places, each piece with its own text: the piece read again by the
// tokenizer in the state its run was read in.
function cutText(source, tokens, cuts) {
    const out = [];
    let lastMarkup = null;
    for (const t of tokens) {
        const inner = cuts.filter((c) => t.s < c && c < t.e);
        if (t.type !== 'text' || inner.length === 0) {
            out.push(t);
            if (t.type !== 'text')
                lastMarkup = t;
            continue;
        }
        const bounds = [t.s, ...[...new Set(inner)].sort((x, y) => x - y), t.e];
        const raw = lastMarkup && lastMarkup.type === 'start' && RAW_TEXT.has(lastMarkup.name);
        for (let i = 0; i + 1 < bounds.length; ++i) {
            const piece = (raw ? `<${lastMarkup.name}>` : '') + source.slice(bounds[i], bounds[i + 1]);
            const text = tokenize(piece).filter((x) => x.type === 'text').map((x) => x.text).join('');
            out.push({ type: 'text', s: bounds[i], e: bounds[i + 1], text });
        }
    }
    return out;
}

// A start tag of the original once the edits inside it are applied, as the tokenizer reads the edited
// source; null when the edits make it something else. The attribute names must be the original's less
// the deleted ones plus the inserted ones: an edit of a value that breaks out of it adds or loses names.
function editedTag(source, tag, deletes, inserts) {
    let text = '';
    let cursor = tag.s;
    const edits = [...deletes.map((d) => ({ at: Math.max(d.a, tag.s), end: Math.min(d.b, tag.e) })),
                   ...inserts.map((x) => ({ at: x.p, end: x.p, text: x.text }))]
        .sort((x, y) => x.at - y.at || (x.text !== undefined ? -1 : 1));
    for (const e of edits) {
        text += source.slice(cursor, e.at) + (e.text ?? '');
        cursor = Math.max(cursor, e.end);
    }
    text += source.slice(cursor, tag.e);
    const own = tokenize(text);
    if (own.length !== 1 || own[0].type !== 'start' || own[0].name !== tag.name)
        return { fault: `the edits of ${show(tag)} make it ${own.map(show).join(' ')}` };
    const names = [];
    for (const a of tag.attrs) {
        if (!deletes.some((d) => d.a <= a.s && a.e <= d.b))
            names.push(a.name);
    }
    for (const x of inserts) {
        const inAttr = tag.attrs.find((a) => a.s < x.p && x.p < a.e);
        // Text (a folder into a path) may go into a value; markup read as part of the value may not.
        if (inAttr && tokenize(x.text).some((t) => t.type !== 'text'))
            return { fault: `the insert ${JSON.stringify(x.text.slice(0, 40))} is markup that lands inside the value ` +
                            `of ${inAttr.name} of ${show(tag)}, where the browser reads it as the value's text` };
        if (inAttr)
            continue;
        const added = tokenize(`<x ${x.text}>`);
        if (added.length !== 1 || added[0].type !== 'start')
            return { fault: `an attribute insert into ${show(tag)} is no list of attributes` };
        names.push(...added[0].attrs.map((a) => a.name));
    }
    const got = own[0].attrs.map((a) => a.name);
    if ([...new Set(names)].sort().join(' ') !== [...got].sort().join(' '))
        return { fault: `the edits of ${show(tag)} leave the attributes ${got.join(' ')}, not ${[...new Set(names)].join(' ')}` };
    return { tag: { ...tag, attrs: own[0].attrs } };
}

/**
 * orig, sent: the two pages as decoded text.
 * edits: [{kind: 'delete', a, b} | {kind: 'insert', p, text, r0, r1}] in characters: a delete's range of
 * the original, an insert's position in the original, its intended text and its range in the rewrite.
 * Returns a list of faults, empty when every edit is sound.
 */
export function checkEdits(orig, sent, edits) {
    const faults = [];
    const deletes = edits.filter((x) => x.kind === 'delete');
    const inserts = edits.filter((x) => x.kind === 'insert');
    const origTokens = tokenize(orig);
    const sentTokens = tokenize(sent);
    const pieces = cutText(orig, origTokens, [...deletes.flatMap((d) => [d.a, d.b]), ...inserts.map((x) => x.p)]);

    for (const d of deletes) {
        for (const [pos, what] of [[d.a, `a delete starting`], [d.b, `a delete ending`]]) {
            const fault = placeOf(orig, origTokens, pos, what);
            if (fault)
                faults.push(fault);
        }
    }
    for (const ins of inserts) {
        const fault = placeOf(orig, origTokens, ins.p, `the insert ${JSON.stringify(ins.text.slice(0, 40))}`);
        if (fault)
            faults.push(fault);
        if (sent.slice(ins.r0, ins.r1) !== ins.text)
            faults.push(`the insert at character ${ins.p} reads ${JSON.stringify(sent.slice(ins.r0, ins.r1))} in ` +
                        `the page, not ${JSON.stringify(ins.text)}`);
    }

    // The tokens the rewrite should hold: the original's, less the deleted, with the edited attributes,
    // and each insert's own tokens where it goes in.
    const expected = [];
    const pending = [...inserts].sort((x, y) => x.p - y.p);
    let lastMarkup = null; // the last token that is no text: a raw-text element's start tag takes inserts as text
    const emitInsertsUpTo = (pos, inclusive) => {
        while (pending.length && (inclusive ? pending[0].p <= pos : pending[0].p < pos)) {
            const ins = pending.shift();
            const rawText = lastMarkup && lastMarkup.type === 'start' && RAW_TEXT.has(lastMarkup.name);
            const own = tokenize(ins.text);
            // Text (script code into a script) may go into a raw-text element; markup read as its text may not.
            if (rawText && own.some((t) => t.type !== 'text'))
                faults.push(`the insert ${JSON.stringify(ins.text.slice(0, 40))} at character ${ins.p} is markup ` +
                            `that lands inside <${lastMarkup.name}>, where the browser reads it as text`);
            if (rawText)
                expected.push({ type: 'text', text: ins.text.replace(/\r\n?/g, '\n'), s: -1, e: -1, insert: true });
            else
                for (const t of own)
                    expected.push({ ...t, s: -1, e: -1, insert: true });
        }
    };
    for (const t of pieces) {
        emitInsertsUpTo(t.s, true);
        const inside = pending.filter((x) => t.s < x.p && x.p < t.e);
        if (deletes.some((d) => d.a <= t.s && t.e <= d.b)) {
            for (const x of inside)
                pending.splice(pending.indexOf(x), 1);
            continue;
        }
        const cut = deletes.filter((d) => (t.s < d.a && d.a < t.e) || (t.s < d.b && d.b < t.e));
        if (t.type === 'start' && (inside.length || cut.length)) {
            const edited = editedTag(orig, t, cut, inside);
            for (const x of inside)
                pending.splice(pending.indexOf(x), 1);
            if (edited.fault)
                faults.push(edited.fault);
            expected.push(edited.tag ?? t);
        } else {
            expected.push(t);
        }
        if (t.type !== 'text')
            lastMarkup = t;
    }
    emitInsertsUpTo(Infinity, true);

    const want = mergeText(expected);
    const got = mergeText(sentTokens);
    const n = Math.max(want.length, got.length);
    for (let i = 0; i < n; ++i) {
        if (same(want[i], got[i]))
            continue;
        const at = got[i] ? got[i].s : sent.length;
        const from = want[i] && want[i].insert ? "the worker's insert" : 'the original';
        faults.push(`token ${i} of the rewrite (character ${at}: ` +
                    `${JSON.stringify(sent.slice(Math.max(0, at - 40), at + 60))}) is ${show(got[i])}, ` +
                    `where ${from} has ${show(want[i])}`);
        break;
    }
    return faults;
}
