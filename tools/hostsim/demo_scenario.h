// The built-in demo scenario (tests/scenarios/demo.k4, embedded at build time).
#pragma once

namespace k4::hostsim {
extern const char* const kDemoScenario;
}
