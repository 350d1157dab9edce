// A lab for vesk-host's routers in Ember+ providers: node-emberplus's provider serving a tree,
// a system folder whose router lives there, and vesk-host run against it. Shared by the
// consumer tests (host_consumer.js) and the benchmark (bench_consumer.js).
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const net = require('net');
const os = require('os');
const path = require('path');
const readline = require('readline');

const ember = path.resolve(__dirname, '..');
const children = [];

function stopAll() {
    for (const c of children) {
        if (c.exitCode === null && c.signalCode === null) {
            c.kill('SIGKILL');
        }
    }
}
process.on('exit', stopAll);

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// node_modules from package-lock.json; false when npm cannot install it.
function ensurePeers() {
    const have = ['node-emberplus', 'emberplus-connection'].every((p) =>
        fs.existsSync(path.join(ember, 'node_modules', p, 'package.json')));
    if (have) {
        return true;
    }
    console.log('installing the Ember+ peers with npm ci into ' + ember);
    const npm = process.platform === 'win32' ? 'npm.cmd' : 'npm';
    const r = childProcess.spawnSync(npm, ['ci', '--no-audit', '--no-fund'],
        {cwd: ember, stdio: 'inherit', timeout: 120000});
    return r.status === 0;
}

// A child whose output lines can be awaited; `stamps` holds when each line came.
function start(program, args, options = {}) {
    const child = childProcess.spawn(program, args, {stdio: ['pipe', 'pipe', 'pipe'], ...options});
    children.push(child);
    child.lines = [];
    child.stamps = [];
    child.errors = [];
    child.waiters = [];
    readline.createInterface({input: child.stdout}).on('line', (line) => {
        if (process.env.EMBER_VERBOSE) {
            console.log(`  [${path.basename(program)}] ${line}`);
        }
        child.lines.push(line);
        child.stamps.push(process.hrtime.bigint());
        child.waiters = child.waiters.filter((w) => !w(line));
    });
    readline.createInterface({input: child.stderr}).on('line', (line) => {
        if (process.env.EMBER_VERBOSE) {
            console.log(`  [${path.basename(program)} stderr] ${line}`);
        }
        child.errors.push(line);
    });
    child.exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
    child.waitFor = (pattern, ms = 5000, from = 0) => new Promise((resolve, reject) => {
        const seen = child.lines.slice(from).find((l) => pattern.test(l));
        if (seen) {
            return resolve(seen);
        }
        const timer = setTimeout(() => reject(new Error(`no line like ${pattern} within ${ms} ms; ` +
            `got: ${JSON.stringify(child.lines.slice(-30))}`)), ms);
        child.waiters.push((line) => {
            if (pattern.test(line)) {
                clearTimeout(timer);
                resolve(line);
                return true;
            }
            return false;
        });
    });
    return child;
}

function freePort() {
    return new Promise((resolve, reject) => {
        const s = net.createServer();
        s.listen(0, '127.0.0.1', () => {
            const port = s.address().port;
            s.close(() => resolve(port));
        });
        s.on('error', reject);
    });
}

async function untilListening(port, ms) {
    const end = Date.now() + ms;
    while (Date.now() < end) {
        const ok = await new Promise((resolve) => {
            const s = net.connect(port, '127.0.0.1', () => {
                s.destroy();
                resolve(true);
            });
            s.on('error', () => resolve(false));
        });
        if (ok) {
            return;
        }
        await sleep(50);
    }
    throw new Error(`nothing listens on ${port} after ${ms} ms`);
}

// node-emberplus's serve tool on `port`, serving `tree` (a file of this folder by default).
async function serveTree(port, tree = path.join(__dirname, 'studio_tree.json')) {
    const provider = start(process.execPath, [path.join(ember, 'with_parent.js'),
        path.join(ember, 'node_modules', 'node-emberplus', 'lib', 'tools', 'serve.js'),
        '--host', '127.0.0.1', '--port', String(port), '--file', tree, '--json'], {cwd: ember});
    await untilListening(port, 10000);
    return provider;
}

// A third-party consumer (node-emberplus's) on the provider, with its matrix read.
async function otherConsumer(port, matrixPath = '0.0.0') {
    const {EmberClient} = require(path.join(ember, 'node_modules', 'node-emberplus'));
    const client = new EmberClient({host: '127.0.0.1', port, timeoutValue: 3000});
    client.on('error', () => {});
    await client.connectAsync();
    await client.getDirectoryAsync();
    const matrix = await client.getElementByPathAsync(matrixPath);
    return {client, matrix};
}

// A system folder whose device 3 is a router in the provider at `provider` (HOST:PORT), and
// workstation 12's follow panel on its destination 7, as in the examples.
function labSystem(provider, matrix = 'studio/router/matrix') {
    const root = fs.mkdtempSync(path.join(os.tmpdir(), 'vesk-ember-lab-'));
    const dir = path.join(root, 'lab');
    fs.mkdirSync(path.join(dir, 'config', 'system'), {recursive: true});
    fs.mkdirSync(path.join(dir, 'panels'));
    const write = (file, lines) => fs.writeFileSync(path.join(dir, file), lines.join('\n') + '\n');
    write('config/system/dev_003.ini', ['[Device]', 'kind=router', 'name=lab router', '[Ember]',
        `provider=${provider}`, `matrix=${matrix}`]);
    write('config/system/host.ini', ['[Host]', 'info=Ember+ lab', '[Instances]', 'router1=3 0']);
    write('config/system/configdb.ini', ['[workstation_settings.12]', 'monitor=7', 'panel=main']);
    write('panels/main.ini', ['[button]', 'kind=button', 'text=Follow', 'stylesheet=view_nottrailing',
        '[m]', 'kind=button', 'text=Take', '[tally]', 'kind=text', 'text=']);
    process.on('exit', () => fs.rmSync(root, {recursive: true, force: true}));
    return dir;
}

// vesk-host with viewTrail on workstation 12 of `system`, running `scenario` (lines).
function runHost(host, script, system, scenario, extra = []) {
    const file = path.join(path.dirname(system), `${children.length}.scenario`);
    fs.writeFileSync(file, scenario.join('\n') + '\n');
    return start(host, ['--script', script, '--system', system, '--workstation', '12',
        ...extra, file]);
}

module.exports = {ensurePeers, start, freePort, untilListening, serveTree, otherConsumer, labSystem,
    runHost, sleep, stopAll};
