#pragma once

namespace ui {

class ControlFactory;

// Registers the UI layer's own picture, list and chart controls with the factory, each under
// its class name and under the tag the skins use for it, so that a skin built with or without a
// window finds them.
void RegisterCustomControls(ControlFactory& factory);

}  // namespace ui
