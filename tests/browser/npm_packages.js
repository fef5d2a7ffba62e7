// The npm packages the browser tests check the pages with (axe-core,
// html-validate), as package.json and package-lock.json beside this file
// name them: installed with npm ci into the build folder when that folder
// has not got this lock's packages yet, so a fresh clone fetches them
// once from the registry and later runs ask nothing.
'use strict';
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');

function npmPackages(out) {
  const dir = path.join(out, 'browser-npm');
  const lock = fs.readFileSync(path.join(__dirname, 'package-lock.json'));
  const stamp = path.join(dir, 'node_modules', '.kesto-lock.json');
  if (!fs.existsSync(stamp) || !fs.readFileSync(stamp).equals(lock)) {
    fs.mkdirSync(dir, { recursive: true });
    for (const f of ['package.json', 'package-lock.json']) fs.copyFileSync(path.join(__dirname, f), path.join(dir, f));
    try {
      execFileSync('npm', ['ci', '--no-audit', '--no-fund', '--loglevel=error'], { cwd: dir, stdio: ['ignore', 'pipe', 'pipe'] });
    } catch (e) {
      throw new Error('npm ci in ' + dir + ' failed (the npm registry is needed once per build folder):\n' +
                      (e.stderr || e.message).toString());
    }
    fs.writeFileSync(stamp, lock);
  }
  return (name) => require(require.resolve(name, { paths: [dir] }));
}

module.exports = { npmPackages };
