// Every word the dialog asks its catalog for is there in both languages, and
// neither language holds a word the other lacks: a missing key would show
// itself ("countRule") on the operator's screen.
//
//   node catalog_test.mjs ASSETS_DIR
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import vm from 'node:vm';

const assets = process.argv[2];
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
for (const language of ['zh-CN', 'en']) {
  for (const key of used) if (!(key in catalog[language])) problems.push(`${language} lacks ${key}`);
}
for (const key of Object.keys(catalog['zh-CN'])) if (!(key in catalog.en)) problems.push(`en lacks ${key}, which zh-CN has`);
for (const key of Object.keys(catalog.en)) if (!(key in catalog['zh-CN'])) problems.push(`zh-CN lacks ${key}, which en has`);
if (problems.length) {
  console.error(problems.join('\n'));
  process.exit(1);
}
console.log(`ok   ${used.size} keys used, all in both languages`);
