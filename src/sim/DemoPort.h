// The demo: the simulated TNC and BBS as nami's port, and the profile
// settings that let an autopilot run work against it.
#pragma once

#include <memory>

#include "time/Clock.h"
#include "link/Port.h"
#include "settings/Settings.h"

namespace nami {

// The in-process simulated TNC and BBS (built-in messages) as a port, for
// `nami --demo` and tests. Its output is released as `clock` advances; its
// TNC powers on with `echo` as its ECHO.
std::unique_ptr<IPort> MakeDemoPort(IClock& clock, bool echo = true);
// The settings the demo profile needs (call, prompt, readcom, fields ...),
// written into `settings`' current profile section when they are missing.
void FillDemoProfile(CSettings& settings);

// What the demo shows at each start of the program, on top of the profile
// above: local echo on, the station's own call, one mail file queued
// (written beside the settings file) and the last mail number put back, so
// the first run sends a mail and finds new messages.
void PrepareDemoStation(CSettings& settings);

namespace demo {
inline constexpr const char* kCall = "QZ1ABC";
inline constexpr const char* kPrompt = "QZ1ABC BBS>";
inline constexpr const char* kLastMailNo = "1220";  // the built-in base has 1201 to 1230
inline constexpr const char* kMyCall = "QZ1XYZ";    // the simulated TNC's MYCALL
inline constexpr const char* kMailFile = "demo-mail.UPL";
}  // namespace demo

}  // namespace nami
