// Runs the KWin script shipped for following the focus against a stand-in of KWin's scripting
// API (workspace, callDBus), for Plasma 6 and Plasma 5 names, and checks what it sends.
'use strict';
const fs = require('fs');
const vm = require('vm');
const assert = require('assert');

const source = fs.readFileSync(process.argv[2], 'utf8');
// Objects made in the script's own context, compared by value.
const plain = o => JSON.parse(JSON.stringify(o));

function run(plasma6, tesselRunning) {
    const calls = [];
    const handlers = [];
    const signal = {connect: h => handlers.push(h)};
    const first = {desktopFileName: 'org.kde.konsole', resourceClass: 'konsole', resourceName: 'konsole',
                   caption: 'Shell', pid: 42};
    const workspace = plasma6 ? {windowActivated: signal, activeWindow: first}
                              : {clientActivated: signal, activeClient: first};
    const callDBus = (...args) => {
        calls.push(args.filter(a => typeof a !== 'function'));
        const reply = args.find(a => typeof a === 'function');
        if (reply)
            reply(tesselRunning);
    };
    vm.runInNewContext(source, {workspace, callDBus, String, Number});
    assert.strictEqual(handlers.length, 1, 'one handler for activations');
    handlers[0]({resourceClass: 'steam_app_570', resourceName: 'dota2', caption: 'Dota 2', pid: 7});
    handlers[0](null);
    return calls.filter(c => c[3] === 'ReportActiveWindow');
}

for (const plasma6 of [true, false]) {
    const reports = run(plasma6, true);
    assert.deepStrictEqual(reports.map(r => r.slice(0, 4)),
        Array(2).fill(['org.tessel.Tessel', '/org/tessel/Tessel', 'org.tessel.Tessel1', 'ReportActiveWindow']));
    assert.deepStrictEqual(plain(reports[0][4]), {app_id: 'org.kde.konsole', wm_class: 'konsole', wm_instance: 'konsole',
                                           title: 'Shell', pid: 42});
    assert.deepStrictEqual(plain(reports[1][4]), {app_id: '', wm_class: 'steam_app_570', wm_instance: 'dota2',
                                           title: 'Dota 2', pid: 7});
    assert.strictEqual(run(plasma6, false).length, 0, 'nothing is sent while Tessel is not running');
}
console.log('kwin script: ok');
