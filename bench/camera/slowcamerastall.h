#pragma once

// The GUI-stall measure against a camera whose extension-unit requests take
// 2 s (bench_guistall --slow-camera); re-runs the program with the
// user-space camera preloaded. The exit code is 2 when the worst stall is
// over 50 ms.
int runSlowCameraStall(int argc, char** argv);
