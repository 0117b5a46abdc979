// Every word the dialog asks its catalog for is there in both languages, and
// neither language holds a word the other lacks: a missing key would show
// itself ("countRule") on the operator's screen.  Every refusal the server
// words (a key) has its Chinese text; in English the server's own line stands.
//
//   node catalog_test.mjs SOURCE_DIR
import { readFileSync, readdirSync } from 'node:fs';
import { join } from 'node:path';
import vm from 'node:vm';

const source = process.argv[2];
const assets = join(source, 'web', 'assets');
const context = {};
vm.runInNewContext(readFileSync(join(assets, 'catalog.js'), 'utf8') + '\nthis.CATALOG = CATALOG;', context);
const catalog = context.CATALOG;
const script = readFileSync(join(assets, 'dialog.js'), 'utf8');
const page = readFileSync(join(assets, 'index.html'), 'utf8');

const used = new Set([
  ...[...script.matchAll(/\bt\('([A-Za-z_]+)'[,)]/g)].map((m) => m[1]),
  ...[...page.matchAll(/data-t(?:-title)?="([A-Za-z_]+)"/g)].map((m) => m[1]),
]);
// Keys made from data: the bill types, the roles, the report's method roles.
for (const key of ['sales', 'returns', 'closer', 'supervisor', 'admin', 'role_stock', 'role_deducted', 'role_left_out'])
  used.add(key);

const problems = [];
const worded = new Set();
for (const dir of ['backoffice', 'web']) {
  for (const file of readdirSync(join(source, dir)).filter((f) => f.endsWith('.cpp'))) {
    const text = readFileSync(join(source, dir, file), 'utf8');
    for (const m of text.matchAll(/\.Worded\("([A-Za-z]+)"|\{"key", "([A-Za-z]+)"\}/g)) worded.add(m[1] || m[2]);
    for (const m of text.matchAll(/AskToSignIn\(res, "[^"]*", "([A-Za-z]+)"\)/g)) worded.add(m[1]);
  }
}
if (worded.size < 30) problems.push(`only ${worded.size} worded refusals found: has the way they are written changed?`);
for (const key of worded) if (!(('msg_' + key) in catalog['zh-CN'])) problems.push(`zh-CN lacks msg_${key}, which the server words`);
for (const key of Object.keys(catalog['zh-CN']).filter((k) => k.startsWith('msg_')))
  if (!worded.has(key.slice(4))) problems.push(`zh-CN has ${key}, which the server never words`);
for (const language of ['zh-CN', 'en']) {
  for (const key of used) if (!(key in catalog[language])) problems.push(`${language} lacks ${key}`);
}
for (const key of Object.keys(catalog['zh-CN']))
  if (!key.startsWith('msg_') && !(key in catalog.en)) problems.push(`en lacks ${key}, which zh-CN has`);
for (const key of Object.keys(catalog.en)) if (!(key in catalog['zh-CN'])) problems.push(`zh-CN lacks ${key}, which en has`);
if (problems.length) {
  console.error(problems.join('\n'));
  process.exit(1);
}
console.log(`ok   ${used.size} keys used, all in both languages; ${worded.size} worded refusals, all in Chinese`);
