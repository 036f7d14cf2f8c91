// The tokenizer check of edits must pass sound edits and refuse each kind of unsound one the browser
// suite relies on it to catch.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { checkEdits } from './editcheck.mjs';

// The page with the edits applied, each insert given its range in the result.
function apply(page, edits) {
    const at = (e) => (e.kind === 'delete' ? e.a : e.p);
    let out = '';
    let cursor = 0;
    for (const e of [...edits].sort((x, y) => at(x) - at(y))) {
        if (e.kind === 'insert') {
            out += page.slice(cursor, e.p);
            e.r0 = out.length;
            out += e.text;
            e.r1 = out.length;
            cursor = e.p;
        } else {
            out += page.slice(cursor, e.a);
            cursor = e.b;
        }
    }
    return out + page.slice(cursor);
}

const PAGE = '<html><head><title>a </body> b</title></head><body>' +
             '<a href="x" title="</body><img src=x onerror=alert(1)>">t &amp; u</a>' +
             "<a title='</body><img src=x onerror=alert(2)>'>v</a>" +
             '<script>var s = "</body>";</script><!-- </body> --></body></html>';
const REAL_END = PAGE.lastIndexOf('</body>');
const nth = (what, n) => {
    let p = -1;
    for (let i = 0; i <= n; ++i)
        p = PAGE.indexOf(what, p + 1);
    return p;
};
const insert = (p, text) => ({ kind: 'insert', p, text });
const remove = (a, b) => ({ kind: 'delete', a, b });

const CASES = [
    // [name, edits, a text every fault list must hold, or null when the edits are sound]
    ['a menu at the real body end', [insert(REAL_END, '<div id="m">menu</div>')], null],
    ['a script after <head>', [insert(PAGE.indexOf('<title>'), '<script>var g = 1;</script>')], null],
    ['an attribute added to a real tag', [insert(PAGE.indexOf(' title='), ' onclick="f()"')], null],
    ['an attribute removed with its space', [remove(PAGE.indexOf(' title='), PAGE.indexOf('">t') + 1)], null],
    ['a whole element removed', [remove(PAGE.indexOf('<script>'), PAGE.indexOf('<!--'))], null],
    ['text inserted between characters', [insert(PAGE.indexOf('u</a>'), 'v ')], null],
    ['a path inserted into a value', [insert(PAGE.indexOf('x" title'), 'dir/')], null],
    ['part of a value deleted', [remove(PAGE.indexOf('</body><img'), PAGE.indexOf('<img src=x'))], null],
    ['a value edit that breaks out of its quotes', [insert(PAGE.indexOf('x" title'), '" onmouseover="f()')],
     'leave the attributes'],
    ['a menu inside a single-quoted value', [insert(nth('</body>', 2), '<div id="m">m</div>')],
     'lands inside the value of title'],
    ['code inserted into a script', [insert(PAGE.indexOf('var s'), 'var k = 2; ')], null],
    ['a menu in the title element', [insert(nth('</body>', 0), '<div>m</div>')], 'inside <title>'],
    ['a menu in an attribute value', [insert(nth('</body>', 1), '<div id="m">m</div>')], 'the edits of'],
    ['a menu in a script', [insert(nth('</body>', 3), '<div>m</div>')], 'inside <script>'],
    ['a menu in a comment', [insert(nth('</body>', 4), '<div>m</div>')], 'inside the comment'],
    ['an insert inside a character reference', [insert(PAGE.indexOf('amp;'), 'x')], 'character reference'],
    ['a delete that cuts a tag', [remove(PAGE.indexOf('<a ') + 1, PAGE.indexOf(' title='))], 'inside'],
    ['a delete that takes the closing quote of a value', [remove(PAGE.indexOf('title=') + 8, PAGE.indexOf('">t') + 1)],
     'the edits of'],
    ['an attribute insert that is no attribute', [insert(PAGE.indexOf(' title='), ' "><b>')], 'the edits of'],
];

for (const [name, edits, fault] of CASES) {
    test(name, () => {
        const faults = checkEdits(PAGE, apply(PAGE, edits), edits);
        if (fault === null)
            assert.deepEqual(faults, []);
        else
            assert.ok(faults.some((f) => f.includes(fault)), JSON.stringify(faults));
    });
}

test('an insert whose text reads otherwise in the page', () => {
    const edits = [insert(REAL_END, '<b>x</b>')];
    const sent = apply(PAGE, edits).replace('<b>x</b>', '<i>x</i>');
    assert.ok(checkEdits(PAGE, sent, edits).some((f) => f.includes('reads')));
});

test('a cut-off page whose open comment swallows the menu', () => {
    const page = '<p>a<!-- b';
    const edits = [insert(page.length, '<div>menu</div>')];
    assert.ok(checkEdits(page, apply(page, edits), edits).some((f) => f.includes('is comment " b<div>menu</div>"')));
});
