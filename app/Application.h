#pragma once

#include <QString>

// The process entry of Tessel and the start-up pieces tests run on their own.
namespace app {

// Runs Tessel: fonts, single instance, skin, control classes, messages, the main window and the
// event loop. Returns the exit code, 0 on every path. Arguments are ignored.
int Run(int argc, char** argv);

// Points the UI layer at `skinFolder`, loads its resource index and applies its style sheet at
// `dpi`. False when "res.xml" is missing or broken (the windows then build no skin).
bool SetUpSkin(const QString& skinFolder, int dpi = 96);
// The DPI the main window is going to choose on the primary screen, so that the style sheet
// and the window are built at it once, not restyled and resized after they are shown.
int StartupDpi();
// Applies the skin's style sheet at `dpi` (every pixel length scaled by dpi / 96, as the
// windows' layouts and fonts are). Re-applies only when the DPI changed; false without a sheet.
bool ApplyStyleSheet(int dpi);
// `sheet` with every "<number>px" scaled by dpi / 96 (at least 1px where it was non-zero).
QString ScaleStyleSheet(const QString& sheet, int dpi);
// Registers the application's own control classes with the control factory, in their fixed
// order; each layer that brings a class adds it here.
void RegisterControlClasses();
// The device classes, whose objects are the device pages.
void RegisterDeviceClasses();
// Maps the interface font faces chosen by language to the fonts that are really there.
void InstallFontSubstitutes(const QStringList& simplifiedChineseFamilies);

}  // namespace app
