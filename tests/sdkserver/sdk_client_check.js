// A lighting tool's view of Tessel: the openrgb-sdk client (written by others) lists the
// controllers, sets colours and a mode, and the simulated devices' memory must show them.
// Usage: node sdk_client_check.js MODULE_DIR PORT DEVSIM SIM_DIR
'use strict';
const { execFileSync } = require('child_process');
const [moduleDir, port, devsim, simDir] = process.argv.slice(2);
const { Client } = require(moduleDir + '/node_modules/openrgb-sdk');

function sim(...args) {
  return JSON.parse(execFileSync(devsim, ['--dir', simDir, ...args], { encoding: 'utf8' }));
}
function frameTriples(device) {
  const hex = sim('dump', device, 'frame').hex;
  const out = [];
  for (let i = 0; i + 6 <= hex.length; i += 6)
    out.push([0, 2, 4].map(k => parseInt(hex.substr(i + k, 2), 16)));
  return out;
}
// Frames carry each component scaled by the LED's brightness (full here): c * 255 >> 8.
const scaled = c => (c * 255) >> 8;
const same = (t, c) => t[0] === scaled(c.red) && t[1] === scaled(c.green) && t[2] === scaled(c.blue);
async function until(what, test, ms = 10000) {
  const end = Date.now() + ms;
  for (;;) {
    if (test()) return;
    if (Date.now() > end) throw new Error('timed out waiting for ' + what);
    await new Promise(r => setTimeout(r, 50));
  }
}
function check(ok, what) {
  if (!ok) throw new Error('check failed: ' + what);
  console.log('ok  ' + what);
}

(async () => {
  const client = new Client('Tessel SDK check', Number(port), '127.0.0.1');
  await client.connect();
  // Tessel finds the four devices in its own time after it starts.
  let count = 0;
  for (const end = Date.now() + 20000; Date.now() < end; await new Promise(r => setTimeout(r, 100)))
    if ((count = await client.getControllerCount()) >= 4) break;
  // Each device reads its mode list after it connects; the controllers show them after that.
  let list = [];
  for (const end = Date.now() + 20000; Date.now() < end; await new Promise(r => setTimeout(r, 100))) {
    list = [];
    for (let i = 0; i < count; i++) list.push(Object.assign(await client.getControllerData(i), { index: i }));
    if (list.every(d => d.modes.length > 1)) break;
  }
  for (const d of list)
    console.log(`${d.index}: ${d.name} type ${d.type}; zones ${d.zones.map(z => z.name + ' ' + z.ledsCount).join(', ')}; ` +
                `${d.leds.length} LEDs; modes ${d.modes.map(m => m.name).join(', ')}`);
  check(count === 4, 'four controllers');
  const byType = t => list.find(d => d.type === t);
  // The index of the controller of a device type now: the list changes when a device comes or
  // goes, as clients hear, so each request looks it up afresh.
  const at = async type => {
    const n = await client.getControllerCount();
    for (let i = 0; i < n; i++)
      if ((await client.getControllerData(i)).type === type) return i;
    throw new Error('no controller of type ' + type);
  };
  const kb = byType(5), mouse = byType(6), pad = byType(7), headset = byType(8);
  check(kb && mouse && pad && headset, 'a keyboard, a mouse, a mouse pad and a headset');
  check(kb.zones.length === 1 && kb.zones[0].type === 2 && kb.zones[0].ledsCount === kb.leds.length,
        'the keyboard is one matrix zone');
  check(kb.leds.length >= 80 && kb.leds.some(l => l.name === 'Key: Esc'), 'the keys have their names');
  check(mouse.zones.length === 7 && mouse.leds.length === 15, 'the mouse: 15 LEDs in seven groups');
  check(pad.zones.length === 1 && pad.leds.length === 15, 'the pad: a ring of 15');
  check(headset.leds.length === 13, 'the headset: 13 LEDs');
  for (const d of list)
    check(d.modes[0].name === 'Direct' && d.modes.length > 1, d.name + ': Direct first, then its own modes');

  // Direct mode on the keyboard: every key one colour, then one key another.
  const blue = { red: 0x12, green: 0x34, blue: 0x56 };
  await client.updateMode((await at(5)), 'Direct');
  await client.updateLeds((await at(5)), Array(kb.leds.length).fill(blue));
  await until('the keyboard frame', () => frameTriples('keyboard').filter(t => same(t, blue)).length >= 80);
  check(true, 'the keyboard frame carries the colour of every key');
  const red = { red: 0xF0, green: 0x10, blue: 0x20 };
  await client.updateSingleLed((await at(5)), 0, red);
  await until('one red key', () => {
    const f = frameTriples('keyboard');
    return f.filter(t => same(t, red)).length === 1 && f.filter(t => same(t, blue)).length >= 80;
  });
  check(true, 'a single LED changes one key only');

  // The mouse by zone, the pad whole.
  const green = { red: 0, green: 0xC0, blue: 0 };
  await client.updateZoneLeds((await at(6)), 6, Array(3).fill(green));
  // Group 7 is LEDs 6, 14 and 7 of the mouse.
  await until('the mouse group', () => {
    const f = frameTriples('mouse');
    return [6, 14, 7].every(i => same(f[i], green)) && !same(f[0], green);
  });
  check(true, 'a zone of the mouse lights its LED group only');
  await client.updateLeds((await at(7)), Array(15).fill(red));
  await until('the pad ring', () => frameTriples('pad').slice(0, 15).every(t => same(t, red)));
  check(true, 'the pad ring shows the colours');
  const reports = sim('state').devices.headset.counters.headsetLightReports;
  await client.updateLeds((await at(8)), Array(13).fill(green));
  await until('headset lighting reports', () => sim('state').devices.headset.counters.headsetLightReports > reports);
  check(true, 'the headset is sent its lighting reports');

  // One of the pad's own modes, with its colour: rendered by Tessel's engine into the frames.
  const still = pad.modes.findIndex((m, i) => i > 0 && (m.flags & 64) && !(m.flags & 1));
  check(still > 0, 'the pad has a still mode with a colour of its own');
  await client.updateMode((await at(7)), Object.assign({}, pad.modes[still], { colors: [{ red: 0, green: 0, blue: 0xFF }] }));
  await until('the pad in its own mode', () => frameTriples('pad').slice(0, 15).every(t => t[0] === 0 && t[1] === 0 && t[2] > 0));
  check(true, 'a mode of the pad with its colour');
  const again = await client.getControllerData((await at(7)));
  check(again.activeMode === still, 'the controller reports the mode it was set to');

  // The D-Bus switch rules over the server: while another program holds the lighting nothing
  // reaches the keyboard; taken back, the colours set meanwhile go out.
  const lightingControl = on => execFileSync('gdbus', ['call', '--session', '--dest', 'org.tessel.Tessel',
    '--object-path', '/org/tessel/Tessel', '--method', 'org.tessel.Tessel1.SetLightingControl', String(on)]);
  lightingControl(false);
  const amber = { red: 0xE0, green: 0x90, blue: 0x08 };
  await client.updateLeds((await at(5)), Array(kb.leds.length).fill(amber));
  // The headset is outside the switch: its reports show the server took the request after.
  const reportsNow = sim('state').devices.headset.counters.headsetLightReports;
  await client.updateLeds((await at(8)), Array(13).fill(amber));
  await until('the headset after the keyboard', () => sim('state').devices.headset.counters.headsetLightReports > reportsNow);
  check(!frameTriples('keyboard').some(t => same(t, amber)), 'nothing reaches the keyboard while another program holds the lighting');
  lightingControl(true);
  await until('the keyboard after the switch', () => frameTriples('keyboard').filter(t => same(t, amber)).length >= 80);
  check(true, 'taken back, the client\'s colours go out');

  // Gone: the profile's lighting returns (the keyboard is sent its settings again).
  const settingsWrites = () => sim('state').devices.keyboard.counters.commands['0x06'] || 0;
  const before = settingsWrites();
  await client.disconnect();
  await until('the keyboard profile back', () => settingsWrites() > before);
  check(true, 'the profile\'s lighting is sent to the keyboard when the client goes');
  await until('the pad profile back', () => !frameTriples('pad').slice(0, 15).every(t => t[0] === 0 && t[1] === 0 && t[2] > 0));
  check(true, 'the pad leaves the client\'s mode');
  process.exit(0);
})().catch(e => { console.error('FAIL: ' + (e && e.stack || e)); process.exit(1); });
