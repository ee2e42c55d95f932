#pragma once

// The program's version, written once. The build reads kVersionText from here for the
// project version, the settings keep kVersionNumber ("lastRunVersion"), and every text that
// names the version is made from these.
namespace Version {
inline constexpr int kVersionNumber = 2800;
inline constexpr char kVersionText[] = "2.8";
} // namespace Version
