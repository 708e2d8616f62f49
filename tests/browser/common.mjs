// What the browser tests share: their settings from the environment (exit 101 when one is
// missing, as the gtest drivers expect) and axe-core's source, injected into the pages.
import { readFileSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));

export function setting(name) {
    const value = process.env[name];
    if (!value) {
        console.error(`${name} is not set`);
        process.exit(101);
    }
    return value;
}

export const axeSource = readFileSync(path.join(here, 'node_modules/axe-core/axe.min.js'), 'utf8');
