#pragma once
// What this installer program pins down about the client it installs: build settings, which
// CMake writes into a generated source (app/install_pins.cpp.in).

#include "install/worker.h"

extern const InstallPins kInstallPins;
