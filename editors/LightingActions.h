#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "app/LightingSync.h"
#include "profiles/ProfileRecords.h"

class CVantikUSBDevice;

namespace editors {

// Device kinds as the lighting panel tells them apart.
inline constexpr int kKindKeyboard = 1;
inline constexpr int kKindMouse = 2;
inline constexpr int kKindMousePad = 3;
inline constexpr int kKindHeadset = 7;

// What the panel enables, shows and names for one mode of one device kind.
struct ModeLayout {
    bool colourOption = false;    // the seven-colour option
    bool colourAreas = false;     // swatches, colour edits and palette
    bool brightness = false;
    bool speed = false;
    bool speedVisible = true;
    bool direction = false;
    bool colourLayout = true;     // the whole colour block
    bool same = false;            // the same-lighting button may be offered
    bool subMode = false;         // keyboard sub-mode chooser
    bool customGroup = false;     // keyboard per-key colour groups
    bool audio = false;           // audio mode chooser and the audio colour page
    QString directionFirst, directionSecond;  // text ids of the two direction options
    friend bool operator==(const ModeLayout&, const ModeLayout&) = default;
};

ModeLayout LayoutFor(int kind, int mode);

// Mode families shared by every kind (0 breathing, 1 steady, 2 flashing, 3 wheel, 4 off):
// the family of a mode, -1 when it has none; and the mode of a family for a kind.
int ModeFamily(int kind, int mode);
int FamilyMode(int kind, int family);

// The kind of a device object (keyboard, mouse, mouse pad, headset).
int KindOf(const CVantikUSBDevice& device);
// Whether a device is connected: its tab is shown and its transport is ready.
bool IsConnected(const CVantikUSBDevice& device);

// Makes `info` the device's lighting: into the profile held in memory and its file, into the
// light state (the preview follows), and onto the device (posted to its I/O worker).
void StoreAndSendLight(CVantikUSBDevice& device, const LightInfo& info, bool dragging = false);

// Carries the lighting of `current` to every connected device of `devices` (keyboards, then
// mice, then mouse pads and headsets), each in the mode of the same family for its kind, marks
// them for same lighting and shows the result in their panels. False, with nothing changed,
// when the current mode belongs to no family. `sync` receives the shared effect's settings.
bool ApplySameLighting(CVantikUSBDevice& current, const std::vector<CVantikUSBDevice*>& devices,
                       app::LightingSync::Settings* sync);

// A game event: `w` 0 remembers the current mode (1..20, else 1) and switches to mode `m`; 1
// and 2 switch without remembering; anything else only restarts the return timer (the caller's).
void ApplyGameEvent(CVantikUSBDevice& device, int w, int m);
// The return after the last game event: back to the remembered mode.
void RestoreAfterGame(CVantikUSBDevice& device);

// Set by the main window: runs the same-lighting action from the current device's panel.
using SameLightingHandler = std::function<void(CVantikUSBDevice& current)>;
void SetSameLightingHandler(SameLightingHandler handler);
const SameLightingHandler& GetSameLightingHandler();

}  // namespace editors
