// Whether a message box would reach a person, for the tool (which prints boxes instead where
// none would) and the display tests (which are skipped where none would).
#pragma once

namespace kest {

// Null where a box can be seen and answered; else why not:
// - the process's window station is invisible (a service, a non-interactive logon such as
//   an SSH session or a scheduled task without a desktop);
// - under Wine, the graphics driver is "null" (HKCU\Software\Wine\Drivers\Graphics), or
//   neither DISPLAY nor WAYLAND_DISPLAY is set, as Wine then falls back to the null driver.
//   Wine's null driver reports a 1024x768 screen and a visible window station, so screen
//   metrics cannot tell.
const char* whyNoDisplay() noexcept;

}  // namespace kest
