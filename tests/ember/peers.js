// Our Ember+ provider and consumer against third-party peers from npm (node-emberplus and
// emberplus-connection), which judge the protocol. Usage: node peers.js TEST EMBER_PEER
// where EMBER_PEER is the ember_peer program, or, for the host-* tests,
// node peers.js TEST VESK_HOST SCRIPT_LIBRARY SYSTEM_DIR (vesk-host --ember with viewTrail on
// the demo system). Every process started here is stopped on the way
// out; the whole test is bounded by a watchdog. Exit 77 means skipped (the peers could not be
// installed).
//
// With EMBER_CAPTURE_DIR set, every connection goes through a relay that writes the bytes of
// each direction to files there (how the fuzz corpus was taken).
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const net = require('net');
const path = require('path');
const readline = require('readline');

const {freePort, sleep, untilListening} = require('./lab/lab.js');

const here = __dirname;
const [test, peerProgram, ...hostArgs] = process.argv.slice(2);
const children = [];
const servers = [];

function stopAll() {
    for (const c of children) {
        if (c.exitCode === null && c.signalCode === null) {
            c.kill('SIGKILL');
        }
    }
    for (const s of servers) {
        s.close();
    }
}
process.on('exit', stopAll);

function finish(code, message) {
    if (message) {
        console.log(message);
    }
    stopAll();
    process.exit(code);
}

const watchdog = setTimeout(() => finish(1, `FAIL: ${test} took longer than 60 s`), 60000);
watchdog.unref();

function ensurePeers() {
    const have = ['node-emberplus', 'emberplus-connection'].every((p) =>
        fs.existsSync(path.join(here, 'node_modules', p, 'package.json')));
    if (have) {
        return;
    }
    console.log('installing the Ember+ peers with npm ci into ' + here);
    const npm = process.platform === 'win32' ? 'npm.cmd' : 'npm';
    const r = childProcess.spawnSync(npm, ['ci', '--no-audit', '--no-fund'],
        {cwd: here, stdio: 'inherit', timeout: 120000});
    if (r.status !== 0) {
        finish(77, 'SKIPPED: node_modules is absent and npm could not install the Ember+ peers');
    }
}

// A child whose output lines can be awaited.
function start(program, args, options = {}) {
    const child = childProcess.spawn(program, args, {stdio: ['pipe', 'pipe', 'inherit'], ...options});
    children.push(child);
    child.lines = [];
    child.waiters = [];
    readline.createInterface({input: child.stdout}).on('line', (line) => {
        if (process.env.EMBER_VERBOSE) {
            console.log(`  [${path.basename(args[0] || program)}] ${line}`);
        }
        child.lines.push(line);
        child.waiters = child.waiters.filter((w) => !w(line));
    });
    child.waitFor = (pattern, ms = 5000, from = 0) => new Promise((resolve, reject) => {
        const seen = child.lines.slice(from).find((l) => pattern.test(l));
        if (seen) {
            return resolve(seen);
        }
        const timer = setTimeout(() => reject(new Error(`no line like ${pattern} within ${ms} ms; ` +
            `got: ${JSON.stringify(child.lines)}`)), ms);
        child.waiters.push((line) => {
            if (pattern.test(line)) {
                clearTimeout(timer);
                resolve(line);
                return true;
            }
            return false;
        });
    });
    child.say = (line) => child.stdin.write(line + '\n');
    return child;
}

// Times include the pipes to and from our test program: upper bounds.
function figure(what, since) {
    const ms = Number(process.hrtime.bigint() - since) / 1e6;
    console.log(`figure: ${what}: ${ms.toFixed(2)} ms`);
}


async function until(what, check, ms = 3000) {
    const end = Date.now() + ms;
    while (Date.now() < end) {
        if (check()) {
            return;
        }
        await sleep(1);
    }
    throw new Error(`${what}: not seen within ${ms} ms`);
}

function expect(condition, what) {
    if (!condition) {
        throw new Error(what);
    }
}

// Optionally interposes a relay that records both directions; returns the port to use.
let relayCount = 0;
async function via(port, name) {
    const dir = process.env.EMBER_CAPTURE_DIR;
    if (!dir) {
        return port;
    }
    fs.mkdirSync(dir, {recursive: true});
    const server = net.createServer((inbound) => {
        const n = relayCount++;
        const outbound = net.connect(port, '127.0.0.1');
        const toProvider = fs.createWriteStream(path.join(dir, `${name}-${n}-to-provider.bin`));
        const toConsumer = fs.createWriteStream(path.join(dir, `${name}-${n}-to-consumer.bin`));
        inbound.on('data', (d) => {
            toProvider.write(d);
            outbound.write(d);
        });
        outbound.on('data', (d) => {
            toConsumer.write(d);
            inbound.write(d);
        });
        inbound.on('close', () => outbound.destroy());
        outbound.on('close', () => inbound.destroy());
        inbound.on('error', () => {});
        outbound.on('error', () => {});
    });
    servers.push(server);
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return server.address().port;
}

async function serveOurs(...size) {
    const ours = start(peerProgram, ['serve', ...size]);
    const line = await ours.waitFor(/^listening \d+$/);
    return {ours, port: Number(line.split(' ')[1])};
}

const expectedTargets = ['MON 1', 'MON 2', 'MON 3', 'MON 4'];
const expectedSources = ['CAM 1', 'CAM 2', 'CAM 3', 'CAM 4', 'CAM 5', 'CAM 6'];

// node-emberplus's consumer reads our demo matrix, routes it and sees our pushed change.
async function providerNodeEmberplus() {
    const {EmberClient} = require(path.join(here, 'node_modules', 'node-emberplus'));
    const {ours, port} = await serveOurs();
    const client = new EmberClient({host: '127.0.0.1', port: await via(port, 'nep'), timeoutValue: 3000});
    client.on('error', () => {});
    await client.connectAsync();
    await client.getDirectoryAsync();
    const product = await client.getElementByPathAsync('vesk/identity/product');
    expect(product.contents.value === 'vesk-host', `product is ${product.contents.value}`);
    const m = await client.getElementByPathAsync('0.1.0');
    expect(m.contents.targetCount === 4 && m.contents.sourceCount === 6,
        `size ${m.contents.targetCount} x ${m.contents.sourceCount}`);
    const base = m.contents.labels[0].basePath;
    for (const [n, want] of [[1, expectedTargets], [2, expectedSources]]) {
        const node = await client.getElementByPathAsync(`${base}.${n}`);
        const got = [...node.elements.values()].map((p) => p.contents.value);
        expect(JSON.stringify(got) === JSON.stringify(want), `labels ${n}: ${JSON.stringify(got)}`);
    }
    for (let t = 0; t < 4; ++t) {
        expect(JSON.stringify(m.connections[t].sources) === `[${t}]`, `connection of ${t}`);
    }
    await client.matrixConnectAsync(m, 2, [5]);
    await ours.waitFor(/^connect 2 5$/);
    await until('target 2 on source 5', () => JSON.stringify(m.connections[2].sources) === '[5]');
    const t0 = process.hrtime.bigint();
    ours.say('route 0 3');
    await until('the pushed route 0 <- 3', () => JSON.stringify(m.connections[0].sources) === '[3]');
    figure('our route to node-emberplus\'s consumer', t0);
    await client.disconnectAsync();
}

// emberplus-connection's consumer does the same.
async function providerEmberplusConnection() {
    const {EmberClient} = require(path.join(here, 'node_modules', 'emberplus-connection'));
    const {ours, port} = await serveOurs();
    const client = new EmberClient('127.0.0.1', await via(port, 'epc'));
    client.on('error', () => {});
    await client.connect();
    await (await client.getDirectory(client.tree)).response;
    const m = await client.getElementByPath('vesk.router.matrix');
    expect(m, 'no matrix at vesk.router.matrix');
    await (await client.getDirectory(m)).response;
    expect(m.contents.targetCount === 4 && m.contents.sourceCount === 6,
        `size ${m.contents.targetCount} x ${m.contents.sourceCount}`);
    const base = m.contents.labels[0].basePath;
    for (const [n, want] of [[1, expectedTargets], [2, expectedSources]]) {
        const node = await client.getElementByPath(`${base}.${n}`);
        await (await client.getDirectory(node)).response;
        const got = Object.values(node.children).map((p) => p.contents.value);
        expect(JSON.stringify(got) === JSON.stringify(want), `labels ${n}: ${JSON.stringify(got)}`);
    }
    // emberplus-connection keeps the connections of the last update only, keyed by their place
    // in it: look a target up by its number.
    const sourcesOf = (t) => {
        const c = Object.values(m.contents.connections || {}).find((x) => x.target === t);
        return c ? JSON.stringify(c.sources) : 'none';
    };
    for (let t = 0; t < 4; ++t) {
        expect(sourcesOf(t) === `[${t}]`, `connection of ${t}: ${sourcesOf(t)}`);
    }
    await (await client.matrixConnect(m, 1, [4])).response;
    await ours.waitFor(/^connect 1 4$/);
    await until('target 1 on source 4', () => sourcesOf(1) === '[4]');
    ours.say('route 3 0');
    await until('the pushed route 3 <- 0', () => sourcesOf(3) === '[0]');
    await client.disconnect();
}

// Our consumer against node-emberplus's provider, a third-party consumer routing beside it, the
// provider going away; then a missing matrix, a provider that sends noise, and one that is not
// there.
async function consumerNodeEmberplus() {
    const port = await freePort();
    const provider = start(process.execPath, [path.join(here, 'with_parent.js'),
        path.join(here, 'node_modules', 'node-emberplus', 'lib', 'tools', 'serve.js'),
        '--host', '127.0.0.1', '--port', String(port), '--file', path.join(here, 'tree.json'), '--json'],
    {cwd: here});
    await untilListening(port, 10000);
    const ours = start(peerProgram, ['consume', '127.0.0.1', String(await via(port, 'ours')), 'lab/router/matrix']);
    await ours.waitFor(/^done$/);
    const want = ['ready 4 5', 'target 0 OUT A', 'target 3 OUT D', 'source 0 SRC 1', 'source 4 SRC 5',
        'xp 0 1', 'xp 1 2', 'xp 2 0', 'xp 3 -'];
    for (const line of want) {
        expect(ours.lines.includes(line), `our consumer did not report "${line}": ${JSON.stringify(ours.lines)}`);
    }
    let from = ours.lines.length;
    let t0 = process.hrtime.bigint();
    ours.say('route 3 4');
    await ours.waitFor(/^xp 3 4$/, 3000, from);
    figure('our route to its tally, through node-emberplus', t0);

    const {EmberClient} = require(path.join(here, 'node_modules', 'node-emberplus'));
    const other = new EmberClient({host: '127.0.0.1', port, timeoutValue: 3000});
    other.on('error', () => {});
    await other.connectAsync();
    await other.getDirectoryAsync();
    const m = await other.getElementByPathAsync('0.0.0');
    expect(JSON.stringify(m.connections[3].sources) === '[4]', 'our route did not land on the provider');
    from = ours.lines.length;
    t0 = process.hrtime.bigint();
    await other.matrixConnectAsync(m, 1, [0]);
    await ours.waitFor(/^xp 1 0$/, 3000, from);
    figure('a third party\'s route on node-emberplus to our consumer', t0);
    await other.disconnectAsync();

    // The provider goes away in the middle of the run: our consumer says so.
    provider.kill('SIGKILL');
    await ours.waitFor(/^failed: connection closed: the provider closed the connection$/, 3000);

    // The same port again once the first has let it go, or the probe below would find the
    // dying one.
    if (provider.exitCode === null && provider.signalCode === null) {
        await new Promise((resolve) => provider.on('exit', resolve));
    }
    const again = start(process.execPath, [path.join(here, 'with_parent.js'),
        path.join(here, 'node_modules', 'node-emberplus', 'lib', 'tools', 'serve.js'),
        '--host', '127.0.0.1', '--port', String(port), '--file', path.join(here, 'tree.json'), '--json'],
    {cwd: here});
    await untilListening(port, 10000);
    const missing = start(peerProgram, ['consume', '127.0.0.1', String(port), 'lab/router/nothing']);
    await missing.waitFor(/^failed: no element 'nothing' under '0.0'$/);
    again.kill('SIGKILL');

    // A "provider" that answers with noise.
    const noisy = net.createServer((socket) => {
        socket.on('error', () => {});
        socket.write(Buffer.from('HTTP/1.1 400 Bad Request\r\n\r\n'.repeat(200)));
    });
    servers.push(noisy);
    await new Promise((resolve) => noisy.listen(0, '127.0.0.1', resolve));
    const confused = start(peerProgram, ['consume', '127.0.0.1', String(noisy.address().port), '0.0.0']);
    await confused.waitFor(/^failed: the provider sent what is not Ember\+/);
    const closed = await freePort();
    const unreachable = start(peerProgram, ['consume', '127.0.0.1', String(closed), '0.0.0']);
    await unreachable.waitFor(/^failed: cannot connect/);
}

// Each peer's own S101 codec asks for a keep-alive and reads our answer.
async function keepAlives(port) {
    const codecs = [
        ['node-emberplus', new (require(path.join(here, 'node_modules', 'node-emberplus', 'lib',
            'socket', 's101.codec')).S101Codec)(), 'keepAliveResp'],
        ['emberplus-connection', new (require(path.join(here, 'node_modules',
            'emberplus-connection', 'dist', 'S101', 'S101Codec')).default)(), 'keepaliveResp'],
    ];
    for (const [name, codec, event] of codecs) {
        const socket = net.connect(port, '127.0.0.1');
        socket.on('error', () => {});
        let answered = false;
        codec.on(event, () => { answered = true; });
        socket.on('data', (d) => codec.dataIn(d));
        await new Promise((resolve) => socket.on('connect', resolve));
        socket.write(codec.keepAliveRequest());
        await until(`${name}: our answer to its keep-alive`, () => answered);
        socket.destroy();
    }
}

// Keep-alives are answered; bytes that are not Ember+ close that session and leave the
// provider serving the others.
async function providerGarbage() {
    const {ours, port} = await serveOurs();
    await keepAlives(port);
    const junk = net.connect(port, '127.0.0.1');
    junk.on('error', () => {});
    let closed = false;
    junk.on('close', () => { closed = true; });
    await new Promise((resolve) => junk.on('connect', resolve));
    let seed = 12345;
    const noise = Buffer.alloc(256 * 1024);
    for (let i = 0; i < noise.length; ++i) {
        seed = (seed * 1103515245 + 12345) & 0x7fffffff;
        noise[i] = seed >> 16;
    }
    junk.write(noise);
    await until('the provider closing a session that sends noise', () => closed, 5000);
    const {EmberClient} = require(path.join(here, 'node_modules', 'node-emberplus'));
    const client = new EmberClient({host: '127.0.0.1', port, timeoutValue: 3000});
    client.on('error', () => {});
    await client.connectAsync();
    await client.getDirectoryAsync();
    const m = await client.getElementByPathAsync('0.1.0');
    expect(m.contents.targetCount === 4, 'the provider stopped serving after the noise');
    await client.disconnectAsync();
    ours.say('quit');
}

// A matrix whose labels and connections take several packets: both consumers join them.
async function providerLarge() {
    const {ours, port} = await serveOurs('128', '500');
    const nep = require(path.join(here, 'node_modules', 'node-emberplus'));
    const a = new nep.EmberClient({host: '127.0.0.1', port, timeoutValue: 5000});
    a.on('error', () => {});
    await a.connectAsync();
    await a.getDirectoryAsync();
    const m = await a.getElementByPathAsync('0.1.0');
    expect(m.contents.targetCount === 128 && Object.keys(m.connections).length === 128,
        'node-emberplus: not all 128 connections');
    const labels = [...(await a.getElementByPathAsync('0.1.1.2')).elements.values()];
    expect(labels.length === 500 && labels[499].contents.value === 'CAM 500',
        'node-emberplus: not all 500 source labels');
    await a.disconnectAsync();

    const epc = require(path.join(here, 'node_modules', 'emberplus-connection'));
    const b = new epc.EmberClient('127.0.0.1', port);
    b.on('error', () => {});
    await b.connect();
    await (await b.getDirectory(b.tree)).response;
    const n = await b.getElementByPath('0.1.1.2');
    await (await b.getDirectory(n)).response;
    const values = Object.values(n.children).map((p) => p.contents.value);
    expect(values.length === 500 && values[499] === 'CAM 500',
        'emberplus-connection: not all 500 source labels');
    await b.disconnect();
    ours.say('quit');
}

// vesk-host serving the demo system with viewTrail: the script follows router 3's destination
// 7 (MON 7, Ember+ target 6), which starts on BARS.
async function serveHost(...more) {
    const [library, system] = hostArgs;
    const host = start(peerProgram, ['--script', library, '--system', system, '--workstation', '12',
        '--ember', '0', ...more]);
    host.exited = new Promise((resolve) => host.on('exit', (code, signal) => resolve({code, signal})));
    const line = await host.waitFor(/^vesk-host: Ember\+ provider on 127\.0\.0\.1:\d+$/, 10000);
    host.say('parent panel=main');
    host.say('parent instance=router1');
    await host.waitFor(/TP 'text=BARS' '1' 'tally'/);
    return {host, port: Number(line.split(':').pop())};
}

// SIGTERM ends serving; the run reports as usual.
async function stopHost(host) {
    host.kill('SIGTERM');
    const {code, signal} = await host.exited;
    expect(code === 0, `vesk-host ended with ${code} ${signal}: ${JSON.stringify(host.lines.slice(-5))}`);
    expect(host.lines.some((l) => /^vesk-host: passed: /.test(l)), 'no passing summary line');
}

const demoTargets = ['TX', 'PVW', 'MON 3', 'MON 4', 'MON 5', 'MON 6', 'MON 7', 'MON 8'];
const demoSources = ['CAM 1', 'CAM 2', 'CAM 3', 'CAM 4', 'CAM 5', 'CAM 6', 'CAM 7', 'Jo\'s desk',
    'CAM 9', 'CAM 10', 'CAM 11', 'CAM 12', 'VT 1', 'VT 2', 'GFX', 'BARS'];

// node-emberplus's consumer reads vesk-host's demo router and its other devices, routes it so
// that the script hears it, and sees the script's crosspoint and the system's changes.
async function hostNodeEmberplus() {
    const {EmberClient} = require(path.join(here, 'node_modules', 'node-emberplus'));
    const {host, port} = await serveHost();
    const client = new EmberClient({host: '127.0.0.1', port: await via(port, 'host-nep'), timeoutValue: 3000});
    client.on('error', () => {});
    await client.connectAsync();
    await client.getDirectoryAsync();
    const m = await client.getElementByPathAsync('vesk-host/studio-router/matrix');
    expect(m.contents.targetCount === 8 && m.contents.sourceCount === 16,
        `size ${m.contents.targetCount} x ${m.contents.sourceCount}`);
    const base = m.contents.labels[0].basePath;
    for (const [n, want] of [[1, demoTargets], [2, demoSources]]) {
        const node = await client.getElementByPathAsync(`${base}.${n}`);
        const got = [...node.elements.values()].map((p) => p.contents.value);
        expect(JSON.stringify(got) === JSON.stringify(want), `labels ${n}: ${JSON.stringify(got)}`);
    }
    const sourcesOf = (t) => JSON.stringify(m.connections[t] && m.connections[t].sources);
    for (const [t, want] of [[0, '[0]'], [1, '[0]'], [6, '[15]']]) {
        expect(sourcesOf(t) === want, `connection of ${t}: ${sourcesOf(t)}`);
    }

    // A consumer's connect is a route made elsewhere: the registered script hears it.
    let from = host.lines.length;
    let t0 = process.hrtime.bigint();
    await client.matrixConnectAsync(m, 6, [2]);
    await host.waitFor(/TP 'text=CAM 3' '1' 'tally'/, 3000, from);
    figure('node-emberplus\'s connect to the script\'s tally line', t0);
    await until('target 6 on source 2', () => sourcesOf(6) === '[2]');

    // The script's own crosspoint reaches the consumer.
    t0 = process.hrtime.bigint();
    host.say('parent source=12');
    host.say('press 1 button');
    await until('the script\'s crosspoint 6 <- 11', () => sourcesOf(6) === '[11]');
    figure('the script\'s crosspoint to node-emberplus\'s consumer', t0);
    host.say('route 3 5 2');
    await until('a route typed in, 1 <- 4', () => sourcesOf(1) === '[4]');

    // A text slot written by the consumer lands in the system; a state set there reaches it.
    const slot = await client.getElementByPathAsync('0.20.1');
    from = host.lines.length;
    await client.setValueAsync(slot, 'NEWS');
    await host.waitFor(/slot 2 now "NEWS"/, 3000, from);
    const state = await client.getElementByPathAsync('0.30.0');
    expect(state.contents.value === false, `state 1 is ${state.contents.value}`);
    host.say('state 30 1 on');
    await until('state 1 on', () => state.contents.value === true);
    await client.disconnectAsync();
    await keepAlives(port);
    await stopHost(host);
}

// emberplus-connection's consumer does the same, with the page served beside the provider.
async function hostEmberplusConnection() {
    const {EmberClient} = require(path.join(here, 'node_modules', 'emberplus-connection'));
    const {host, port} = await serveHost('--serve', '0');
    await host.waitFor(/^serving http:\/\/127\.0\.0\.1:\d+\/$/);
    const client = new EmberClient('127.0.0.1', await via(port, 'host-epc'));
    client.on('error', () => {});
    await client.connect();
    await (await client.getDirectory(client.tree)).response;
    const m = await client.getElementByPath('0.3.0');
    expect(m, 'no matrix at 0.3.0');
    await (await client.getDirectory(m)).response;
    expect(m.contents.targetCount === 8 && m.contents.sourceCount === 16,
        `size ${m.contents.targetCount} x ${m.contents.sourceCount}`);
    const base = m.contents.labels[0].basePath;
    for (const [n, want] of [[1, demoTargets], [2, demoSources]]) {
        const node = await client.getElementByPath(`${base}.${n}`);
        await (await client.getDirectory(node)).response;
        const got = Object.values(node.children).map((p) => p.contents.value);
        expect(JSON.stringify(got) === JSON.stringify(want), `labels ${n}: ${JSON.stringify(got)}`);
    }
    // emberplus-connection keeps the connections of the last update only: look a target up.
    const sourcesOf = (t) => {
        const c = Object.values(m.contents.connections || {}).find((x) => x.target === t);
        return c ? JSON.stringify(c.sources) : 'none';
    };
    expect(sourcesOf(6) === '[15]', `connection of 6: ${sourcesOf(6)}`);

    let from = host.lines.length;
    const t0 = process.hrtime.bigint();
    await (await client.matrixConnect(m, 6, [4])).response;
    await host.waitFor(/TP 'text=CAM 5' '1' 'tally'/, 3000, from);
    figure('emberplus-connection\'s connect to the script\'s tally line', t0);
    await until('target 6 on source 4', () => sourcesOf(6) === '[4]');
    // A disconnect leaves a router's destination where it is.
    await (await client.matrixDisconnect(m, 6, [4])).response;
    await sleep(100);
    expect(sourcesOf(6) === '[4]', `after a disconnect: ${sourcesOf(6)}`);

    host.say('parent source=12');
    host.say('press 1 button');
    await until('the script\'s crosspoint 6 <- 11', () => sourcesOf(6) === '[11]');
    await client.disconnect();
    await stopHost(host);
}

const tests = {
    'host-node-emberplus': hostNodeEmberplus,
    'host-emberplus-connection': hostEmberplusConnection,
    'provider-large': providerLarge,
    'provider-node-emberplus': providerNodeEmberplus,
    'provider-emberplus-connection': providerEmberplusConnection,
    'provider-keepalive-garbage': providerGarbage,
    'consumer-node-emberplus': consumerNodeEmberplus,
};

if (!tests[test] || !peerProgram) {
    finish(2, `usage: node peers.js {${Object.keys(tests).join('|')}} EMBER_PEER`);
}
ensurePeers();
tests[test]().then(() => finish(0, `PASS: ${test}`), (e) => finish(1, `FAIL: ${test}: ${e.stack || e}`));
