// The page's texts catalogue: every language says every text the page uses,
// with the same placeholders.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { readCatalogue } from './harness.mjs';

const webDir = path.dirname(path.dirname(fileURLToPath(import.meta.url)));
const LANGUAGES = ['en', 'de', 'fr', 'es', 'it', 'pt', 'nl', 'pl', 'tr', 'ar'];

const catalogue = readCatalogue(readFileSync(path.join(webDir, 'lang', 'TVXHandvane.LNG'), 'utf8'));
const placeholders = (text) => [...text.matchAll(/\{(\w+)\}/g)].map((match) => match[1]).sort().join();

test('every language has every text, with the same placeholders, and no other', () => {
  const english = catalogue.get('en');
  assert.deepEqual([...catalogue.keys()], LANGUAGES);
  const wrong = [];
  for (const [tag, texts] of catalogue) {
    for (const [name, text] of english) {
      if (!texts.has(name)) wrong.push(`${tag}: ${name} missing`);
      else if (!texts.get(name)) wrong.push(`${tag}: ${name} empty`);
      else if (placeholders(texts.get(name)) !== placeholders(text)) wrong.push(`${tag}: ${name} placeholders`);
    }
    for (const name of texts.keys()) if (!english.has(name)) wrong.push(`${tag}: ${name} unknown`);
    if (!['ltr', 'rtl'].includes(texts.get('dir'))) wrong.push(`${tag}: dir ${texts.get('dir')}`);
  }
  assert.deepEqual(wrong, []);
  assert.equal(catalogue.get('ar').get('dir'), 'rtl');
});

test('every text the page names is in the catalogue', () => {
  const page = readFileSync(path.join(webDir, 'index.html'), 'utf8');
  const named = new Set([
    ...[...page.matchAll(/\b(?:say|ReportFailure)\('(\w+)'/g)].map((match) => match[1]),
    ...[...page.matchAll(/data-(?:text|label)="(\w+)"/g)].map((match) => match[1]),
    'vibrated', 'flashed', 'codeA0', 'codeA5', 'codeB0', 'codeB1', 'codeB2', 'codeC0', 'codeC7',
  ]);
  const english = catalogue.get('en');
  assert.ok(named.size > 30, `${named.size} texts found in the page`);
  assert.deepEqual([...named].filter((name) => !english.has(name)), []);
});
